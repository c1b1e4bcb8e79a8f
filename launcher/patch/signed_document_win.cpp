#include "launcher/patch/signed_document.h"

#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/update_signature.h"
#include "launcher/transfer/download_mgr.h"

DocumentFetch GetSignedFileIntoMemory(const char* name, CDownloadMgr* mgr, std::unique_ptr<char[]>* block,
                                      std::uint32_t* size, DocumentReader read) {
  if (read == nullptr) read = &GetFileIntoMemory;
  char* bytes = nullptr;
  *size = 0;
  if (!read(name, mgr, &bytes, size)) return DocumentFetch::kNotFetched;
  block->reset(bytes);
  // Without a key no further request is made: the wire stays as it always was.
  if (!HasUpdateKey(g_launcher.m_updatePublicKey)) return DocumentFetch::kFetched;

  char* signature = nullptr;
  std::uint32_t signatureSize = 0;
  const bool fetched = read(SignatureName(name).c_str(), mgr, &signature, &signatureSize);
  std::unique_ptr<char[]> ownedSignature(signature);
  if (IsDocumentTrusted(g_launcher.m_updatePublicKey, name, block->get(), *size, fetched ? signature : nullptr,
                        signatureSize)) {
    return DocumentFetch::kFetched;
  }
  block->reset();
  *size = 0;
  return DocumentFetch::kRefused;
}
