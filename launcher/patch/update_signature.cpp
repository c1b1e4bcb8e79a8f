#include "launcher/patch/update_signature.h"

#include <sodium.h>

#include <cstring>

#include "launcher/core/launcher_mgr.h"

namespace {

constexpr char kUntrustedPrefix[] = "untrusted comment:";
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr std::size_t kAlgorithmSize = 2;
constexpr std::size_t kPublicKeyBlob = kAlgorithmSize + kSignatureKeyIdSize + kSignaturePublicKeySize;
constexpr std::size_t kSignatureBlob = kAlgorithmSize + kSignatureKeyIdSize + kSignatureSize;

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool StartsWith(const char* text, std::size_t size, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return size >= n && std::memcmp(text, prefix, n) == 0;
}

// Splits text into lines at LF, each without its LF and one CR before it.
class LineReader {
 public:
  LineReader(const char* text, std::size_t size) : m_text(text), m_end(text + size) {}
  bool Next(const char** line, std::size_t* size) {
    if (m_text == nullptr || m_text >= m_end) return false;
    const char* lf = static_cast<const char*>(std::memchr(m_text, '\n', static_cast<std::size_t>(m_end - m_text)));
    const char* stop = lf != nullptr ? lf : m_end;
    *line = m_text;
    *size = static_cast<std::size_t>(stop - m_text);
    if (*size > 0 && (*line)[*size - 1] == '\r') --*size;
    m_text = lf != nullptr ? lf + 1 : m_end;
    return true;
  }

 private:
  const char* m_text;
  const char* m_end;
};

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

bool Verify(const unsigned char* signature, const unsigned char* message, std::size_t size,
            const unsigned char* key) {
  return crypto_sign_verify_detached(signature, message, size, key) == 0;
}

}  // namespace

std::size_t DecodeBase64(const char* text, std::size_t size, unsigned char* out, std::size_t outSize) {
  if (text == nullptr || size == 0 || size % 4 != 0) return 0;
  std::size_t padding = 0;
  if (text[size - 1] == '=') padding = text[size - 2] == '=' ? 2 : 1;
  const std::size_t decoded = size / 4 * 3 - padding;
  if (decoded > outSize) return 0;
  std::size_t o = 0;
  for (std::size_t i = 0; i < size; i += 4) {
    std::uint32_t group = 0;
    const std::size_t digits = i + 4 == size ? 4 - padding : 4;
    for (std::size_t k = 0; k < 4; ++k) {
      int v = 0;
      if (k < digits) {
        v = Base64Value(text[i + k]);
        if (v < 0) return 0;
      }
      group = (group << 6) | static_cast<std::uint32_t>(v);
    }
    // Bits below the last whole byte must be zero: one text, one encoding.
    if ((padding == 1 && i + 4 == size && (group & 0xFFu) != 0) ||
        (padding == 2 && i + 4 == size && (group & 0xFFFFu) != 0)) {
      return 0;
    }
    const unsigned char bytes[3] = {static_cast<unsigned char>(group >> 16), static_cast<unsigned char>(group >> 8),
                                    static_cast<unsigned char>(group)};
    for (std::size_t k = 0; k < 3 && o < decoded; ++k) out[o++] = bytes[k];
  }
  return decoded;
}

std::string EncodeBase64(const unsigned char* data, std::size_t size) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::size_t n = size - i < 3 ? size - i : 3;
    std::uint32_t group = static_cast<std::uint32_t>(data[i]) << 16;
    if (n > 1) group |= static_cast<std::uint32_t>(data[i + 1]) << 8;
    if (n > 2) group |= data[i + 2];
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += n > 1 ? kDigits[(group >> 6) & 63] : '=';
    out += n > 2 ? kDigits[group & 63] : '=';
  }
  return out;
}

bool ParseUpdatePublicKey(const char* text, std::size_t size, UpdatePublicKey* key) {
  if (text == nullptr || key == nullptr) return false;
  LineReader lines(text, size);
  const char* line = nullptr;
  std::size_t n = 0;
  // The comment line is optional: a build setting may carry the key line alone.
  do {
    if (!lines.Next(&line, &n)) return false;
    while (n > 0 && (*line == ' ' || *line == '\t')) {
      ++line;
      --n;
    }
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) --n;
  } while (n == 0 || StartsWith(line, n, kUntrustedPrefix));
  unsigned char blob[kPublicKeyBlob];
  if (DecodeBase64(line, n, blob, sizeof(blob)) != sizeof(blob) || std::memcmp(blob, "Ed", kAlgorithmSize) != 0) {
    return false;
  }
  // Nothing but blank lines may follow: a second key would be a mistake, not a choice.
  while (lines.Next(&line, &n)) {
    for (std::size_t i = 0; i < n; ++i) {
      if (line[i] != ' ' && line[i] != '\t') return false;
    }
  }
  std::memcpy(key->keyId, blob + kAlgorithmSize, kSignatureKeyIdSize);
  std::memcpy(key->key, blob + kAlgorithmSize + kSignatureKeyIdSize, kSignaturePublicKeySize);
  return true;
}

const char* ParseUpdateSignature(const char* text, std::size_t size, UpdateSignature* signature) {
  if (text == nullptr || signature == nullptr) return "no signature";
  LineReader lines(text, size);
  const char* line[4] = {};
  std::size_t n[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (!lines.Next(&line[i], &n[i])) return "truncated signature";
  }
  if (!StartsWith(line[0], n[0], kUntrustedPrefix) || !StartsWith(line[2], n[2], kTrustedPrefix)) {
    return "malformed signature";
  }
  unsigned char blob[kSignatureBlob];
  if (DecodeBase64(line[1], n[1], blob, sizeof(blob)) != sizeof(blob) ||
      DecodeBase64(line[3], n[3], signature->globalSignature, kSignatureSize) != kSignatureSize) {
    return "malformed signature";
  }
  if (std::memcmp(blob, "Ed", kAlgorithmSize) == 0) {
    signature->prehashed = false;
  } else if (std::memcmp(blob, "ED", kAlgorithmSize) == 0) {
    signature->prehashed = true;
  } else {
    return "unsupported signature algorithm";
  }
  const std::size_t prefix = sizeof(kTrustedPrefix) - 1;
  // minisign reads the comment as a C string: a zero byte would cut what it signed.
  if (std::memchr(line[2] + prefix, '\0', n[2] - prefix) != nullptr) return "malformed signature";
  std::memcpy(signature->keyId, blob + kAlgorithmSize, kSignatureKeyIdSize);
  std::memcpy(signature->signature, blob + kAlgorithmSize + kSignatureKeyIdSize, kSignatureSize);
  signature->trustedComment = line[2] + prefix;
  signature->trustedCommentSize = n[2] - prefix;
  return nullptr;
}

const char* CheckUpdateSignature(const UpdatePublicKey& key, const void* document, std::size_t documentSize,
                                 const char* signatureText, std::size_t signatureSize) {
  if (!SodiumReady()) return "no crypto library";
  if (document == nullptr && documentSize != 0) return "no document";
  UpdateSignature signature;
  if (const char* problem = ParseUpdateSignature(signatureText, signatureSize, &signature)) return problem;
  if (std::memcmp(signature.keyId, key.keyId, kSignatureKeyIdSize) != 0) return "signed with another key";
  const auto* bytes = static_cast<const unsigned char*>(document);
  unsigned char digest[kSignatureDigestSize];
  if (signature.prehashed) {
    crypto_generichash(digest, sizeof(digest), bytes, documentSize, nullptr, 0);
    bytes = digest;
    documentSize = sizeof(digest);
  }
  if (!Verify(signature.signature, bytes, documentSize, key.key)) return "signature does not match the document";
  std::string signedComment(reinterpret_cast<const char*>(signature.signature), kSignatureSize);
  signedComment.append(signature.trustedComment, signature.trustedCommentSize);
  if (!Verify(signature.globalSignature, reinterpret_cast<const unsigned char*>(signedComment.data()),
              signedComment.size(), key.key)) {
    return "trusted comment signature does not match";
  }
  return nullptr;
}

bool IsDocumentTrusted(const char* keyText, const char* name, const void* document, std::size_t documentSize,
                       const char* signatureText, std::size_t signatureSize) {
  if (!HasUpdateKey(keyText)) return true;
  const char* problem = nullptr;
  UpdatePublicKey key;
  if (!ParseUpdatePublicKey(keyText, std::strlen(keyText), &key)) {
    problem = "malformed public key in this launcher";
  } else if (signatureText == nullptr) {
    problem = "signature not found";
  } else {
    problem = CheckUpdateSignature(key, document, documentSize, signatureText, signatureSize);
  }
  if (problem == nullptr) return true;
  g_launcher.Log("Signature of \"%s\" refused : %s.", name != nullptr ? name : "", problem);
  return false;
}

std::string SignatureName(const char* documentName) { return std::string(documentName) + kSignatureSuffix; }
