// Detached signatures of the update documents ("patch_live.txt", "version.txt",
// "talvenor.txt") in minisign's format: an Ed25519 key of the publisher, compiled into the
// launcher, and "NAME.minisig" beside each document on the server. A launcher built without
// a key reads the documents unsigned, as before.
//
// The formats (all base64 lines in the standard alphabet with padding):
//   public key   "untrusted comment: ..." then  "Ed" | key id (8) | Ed25519 public key (32)
//   secret key   "untrusted comment: ..." then  "Ed" | kdf "\0\0" | "B2" | salt (32) |
//                opslimit (8) | memlimit (8) | key id (8) | Ed25519 secret key (64) | check (32)
//   signature    "untrusted comment: ..." then  "Ed" or "ED" | key id (8) | signature (64)
//                "trusted comment: TEXT"  then  global signature (64) of signature | TEXT
// "Ed" signs the document itself, "ED" its BLAKE2b-512 digest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kSignatureKeyIdSize = 8;
constexpr std::size_t kSignaturePublicKeySize = 32;
constexpr std::size_t kSignatureSecretKeySize = 64;
constexpr std::size_t kSignatureSize = 64;
constexpr std::size_t kSignatureDigestSize = 64;  // BLAKE2b-512 of a prehashed document
constexpr std::size_t kSignatureKeyCheckSize = 32;
constexpr std::size_t kSignatureKdfSaltSize = 32;
constexpr char kSignatureSuffix[] = ".minisig";  // NAME.minisig beside the document NAME

struct UpdatePublicKey {
  unsigned char keyId[kSignatureKeyIdSize] = {};
  unsigned char key[kSignaturePublicKeySize] = {};
};

// A parsed "NAME.minisig". The trusted comment points into the parsed text.
struct UpdateSignature {
  bool prehashed = false;  // "ED"
  unsigned char keyId[kSignatureKeyIdSize] = {};
  unsigned char signature[kSignatureSize] = {};
  const char* trustedComment = nullptr;
  std::size_t trustedCommentSize = 0;
  unsigned char globalSignature[kSignatureSize] = {};
};

// Strict base64 (standard alphabet, '=' padding, whole groups of four, no stray bits).
// Returns the decoded size, or 0 when text is not base64 of at most outSize bytes.
std::size_t DecodeBase64(const char* text, std::size_t size, unsigned char* out, std::size_t outSize);
std::string EncodeBase64(const unsigned char* data, std::size_t size);

// A public key as minisign writes it: the whole ".pub" text, or its key line alone.
bool ParseUpdatePublicKey(const char* text, std::size_t size, UpdatePublicKey* key);

// The four lines of a signature file (CR LF or LF; text after the fourth line is ignored).
// Null on success, else why the text is not a signature.
const char* ParseUpdateSignature(const char* text, std::size_t size, UpdateSignature* signature);

// What "minisign -V" checks: the key id, the signature over the document (or its digest),
// and the global signature over the signature and the trusted comment. Null when the
// document is the publisher's, else the reason.
const char* CheckUpdateSignature(const UpdatePublicKey& key, const void* document, std::size_t documentSize,
                                 const char* signatureText, std::size_t signatureSize);

// The launcher's rule for a fetched document: true when no key is configured (keyText empty
// or null) or the document verifies. Otherwise one log line names the document and the
// reason, and the document must not be used.
bool IsDocumentTrusted(const char* keyText, const char* name, const void* document, std::size_t documentSize,
                       const char* signatureText, std::size_t signatureSize);

// Whether a key is configured; a malformed one counts (and then refuses every document).
inline bool HasUpdateKey(const char* keyText) { return keyText != nullptr && keyText[0] != '\0'; }

// The signature file name of a document: "NAME.minisig".
std::string SignatureName(const char* documentName);
