// Fuzzes the signature file reader and the whole check against a fixed key: any bytes must
// give a reason or a verified document, never a read outside the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/update_signature.h"

namespace {

const char kKey[] = "RWRCJPBO8WiSWNVfiA0vSZRbkEWka4z3FU3X21WVi7RGTTTkTMhEo4QG";
const char kDocument[] = "patch_accept 1\r\npatch_version 101\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_launcher.m_initialized = true;
  // An exact-size copy, so a read past the end is caught.
  std::vector<char> text(data, data + size);
  UpdateSignature signature;
  if (ParseUpdateSignature(text.data(), text.size(), &signature) == nullptr) {
    const char* end = text.data() + text.size();
    if (signature.trustedComment < text.data() || signature.trustedComment + signature.trustedCommentSize > end) {
      __builtin_trap();
    }
  }
  UpdatePublicKey key;
  ParseUpdatePublicKey(text.data(), text.size(), &key);
  IsDocumentTrusted(kKey, "patch_live.txt", kDocument, sizeof(kDocument) - 1, text.data(), text.size());
  return 0;
}
