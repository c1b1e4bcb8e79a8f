#include "tools/talvpack/signing.h"

#include "tools/talvpack/host_names.h"

#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr char kUntrustedPrefix[] = "untrusted comment: ";
constexpr std::size_t kAlgorithmSize = 2;
// "Ed" | kdf | "B2" | salt | opslimit | memlimit | key id | secret key | check
constexpr std::size_t kKdfOffset = kAlgorithmSize;
constexpr std::size_t kCheckAlgorithmOffset = kKdfOffset + kAlgorithmSize;
constexpr std::size_t kKeyIdOffset = kCheckAlgorithmOffset + kAlgorithmSize + kSignatureKdfSaltSize + 8 + 8;
constexpr std::size_t kSecretOffset = kKeyIdOffset + kSignatureKeyIdSize;
constexpr std::size_t kCheckOffset = kSecretOffset + kSignatureSecretKeySize;
constexpr std::size_t kSecretBlob = kCheckOffset + kSignatureKeyCheckSize;

// minisign's check of a secret key: BLAKE2b-256 of the algorithm, the key id and the key.
void KeyCheck(const unsigned char* blob, unsigned char* check) {
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, kSignatureKeyCheckSize);
  crypto_generichash_update(&state, blob, kAlgorithmSize);
  crypto_generichash_update(&state, blob + kKeyIdOffset, kSignatureKeyIdSize);
  crypto_generichash_update(&state, blob + kSecretOffset, kSignatureSecretKeySize);
  crypto_generichash_final(&state, check, kSignatureKeyCheckSize);
}

// The key id as minisign prints it: the eight bytes read as a little-endian number.
std::string KeyIdText(const unsigned char* id) {
  char text[2 * kSignatureKeyIdSize + 1];
  for (std::size_t i = 0; i < kSignatureKeyIdSize; ++i) {
    std::snprintf(text + 2 * i, 3, "%02X", id[kSignatureKeyIdSize - 1 - i]);
  }
  return text;
}

bool Ready(std::string* error) {
  if (sodium_init() >= 0) return true;
  *error = "the crypto library cannot start";
  return false;
}

}  // namespace

bool MakeKeyPair(std::string* publicText, std::string* secretText, std::string* error) {
  if (!Ready(error)) return false;
  unsigned char secret[kSecretBlob] = {};
  std::memcpy(secret, "Ed", kAlgorithmSize);
  // kdf "\0\0": not encrypted; salt and limits stay zero, as minisign -W leaves them.
  std::memcpy(secret + kCheckAlgorithmOffset, "B2", kAlgorithmSize);
  randombytes_buf(secret + kKeyIdOffset, kSignatureKeyIdSize);
  unsigned char publicBlob[kAlgorithmSize + kSignatureKeyIdSize + kSignaturePublicKeySize];
  std::memcpy(publicBlob, "Ed", kAlgorithmSize);
  std::memcpy(publicBlob + kAlgorithmSize, secret + kKeyIdOffset, kSignatureKeyIdSize);
  if (crypto_sign_keypair(publicBlob + kAlgorithmSize + kSignatureKeyIdSize, secret + kSecretOffset) != 0) {
    *error = "cannot make a key pair";
    return false;
  }
  KeyCheck(secret, secret + kCheckOffset);
  const std::string id = KeyIdText(secret + kKeyIdOffset);
  *publicText = std::string(kUntrustedPrefix) + "minisign public key " + id + "\n" +
                EncodeBase64(publicBlob, sizeof(publicBlob)) + "\n";
  *secretText = std::string(kUntrustedPrefix) + "minisign secret key " + id + "\n" +
                EncodeBase64(secret, sizeof(secret)) + "\n";
  sodium_memzero(secret, sizeof(secret));
  return true;
}

bool LoadSecretKey(const fs::path& path, SecretKey* key, std::string* error) {
  if (!Ready(error)) return false;
  std::ifstream in(path, std::ios::binary);
  std::string comment, line;
  if (!in || !std::getline(in, comment) || !std::getline(in, line)) {
    *error = "cannot read the secret key \"" + Shown(path) + "\"";
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  unsigned char blob[kSecretBlob];
  if (comment.compare(0, std::strlen(kUntrustedPrefix), kUntrustedPrefix) != 0 ||
      DecodeBase64(line.data(), line.size(), blob, sizeof(blob)) != sizeof(blob) ||
      std::memcmp(blob, "Ed", kAlgorithmSize) != 0 || std::memcmp(blob + kCheckAlgorithmOffset, "B2", 2) != 0) {
    *error = "\"" + Shown(path) + "\" is not a minisign secret key";
    return false;
  }
  if (blob[kKdfOffset] != 0 || blob[kKdfOffset + 1] != 0) {
    *error = "\"" + Shown(path) + "\" is encrypted; talvpack signs with unencrypted keys (talvpack keygen, "
             "or minisign -G -W)";
    return false;
  }
  // minisign -W leaves the check zero; a key that carries one must match it.
  unsigned char check[kSignatureKeyCheckSize];
  static const unsigned char kNoCheck[kSignatureKeyCheckSize] = {};
  KeyCheck(blob, check);
  if (std::memcmp(blob + kCheckOffset, kNoCheck, sizeof(kNoCheck)) != 0 &&
      std::memcmp(blob + kCheckOffset, check, sizeof(check)) != 0) {
    *error = "\"" + Shown(path) + "\" is damaged (its check does not match)";
    return false;
  }
  std::memcpy(key->keyId, blob + kKeyIdOffset, kSignatureKeyIdSize);
  std::memcpy(key->key, blob + kSecretOffset, kSignatureSecretKeySize);
  sodium_memzero(blob, sizeof(blob));
  return true;
}

std::string SignDocument(const SecretKey& key, const std::string& document, const std::string& fileName) {
  unsigned char digest[kSignatureDigestSize];
  crypto_generichash(digest, sizeof(digest), reinterpret_cast<const unsigned char*>(document.data()),
                     document.size(), nullptr, 0);
  unsigned char blob[kAlgorithmSize + kSignatureKeyIdSize + kSignatureSize];
  std::memcpy(blob, "ED", kAlgorithmSize);
  std::memcpy(blob + kAlgorithmSize, key.keyId, kSignatureKeyIdSize);
  unsigned char* signature = blob + kAlgorithmSize + kSignatureKeyIdSize;
  crypto_sign_detached(signature, nullptr, digest, sizeof(digest), key.key);

  const std::string trusted =
      "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr))) + "\tfile:" + fileName + "\thashed";
  std::string signedComment(reinterpret_cast<const char*>(signature), kSignatureSize);
  signedComment += trusted;
  unsigned char global[kSignatureSize];
  crypto_sign_detached(global, nullptr, reinterpret_cast<const unsigned char*>(signedComment.data()),
                       signedComment.size(), key.key);
  return std::string(kUntrustedPrefix) + "signature from talvpack secret key\n" + EncodeBase64(blob, sizeof(blob)) +
         "\ntrusted comment: " + trusted + "\n" + EncodeBase64(global, sizeof(global)) + "\n";
}

bool SignFile(const SecretKey& key, const fs::path& file, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = "cannot read \"" + Shown(file) + "\"";
    return false;
  }
  const std::string document((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string name = file.filename().string();
  // Written beside and renamed into place: a server never offers half a signature.
  fs::path target = file;
  target += kSignatureSuffix;
  fs::path temp = target;
  temp += ".talvpack-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << SignDocument(key, document, name);
    out.close();
    if (!out) {
      *error = "cannot write \"" + Shown(temp) + "\"";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    *error = "cannot write \"" + Shown(target) + "\"";
    return false;
  }
  return true;
}

}  // namespace talvpack
