// The update documents a download manager fetches ("version.txt", "talvenor.txt"). A
// launcher built with the publisher's key also fetches "NAME.minisig" from the same place,
// right after the document, and uses the document only when the signature verifies.
#pragma once
#include <cstdint>
#include <memory>

class CDownloadMgr;

enum class DocumentFetch {
  kFetched,     // *block holds the document (verified when a key is built in)
  kNotFetched,  // the document itself did not arrive; nothing logged
  kRefused,     // its signature is missing or wrong; logged, the document dropped
};

// How a document and its signature are read: GetFileIntoMemory's signature.
using DocumentReader = bool (*)(const char* name, CDownloadMgr* mgr, char** block, std::uint32_t* size);

// *block is released when the result is not kFetched; it may be larger than *size. read
// defaults to GetFileIntoMemory.
DocumentFetch GetSignedFileIntoMemory(const char* name, CDownloadMgr* mgr, std::unique_ptr<char[]>* block,
                                      std::uint32_t* size, DocumentReader read = nullptr);
