// Signing the update documents the launcher checks: key pairs and detached signatures in
// minisign's formats (see launcher/patch/update_signature.h), so that Debian's minisign
// verifies what talvpack signs and talvpack signs with minisign's unencrypted keys.
#pragma once
#include <filesystem>
#include <string>

#include "launcher/patch/update_signature.h"

namespace talvpack {

struct SecretKey {
  unsigned char keyId[kSignatureKeyIdSize] = {};
  unsigned char key[kSignatureSecretKeySize] = {};
};

// A new key pair as the texts of minisign's ".pub" and unencrypted secret key files.
bool MakeKeyPair(std::string* publicText, std::string* secretText, std::string* error);

// An unencrypted minisign secret key file ("minisign -G -W", "talvpack keygen").
bool LoadSecretKey(const std::filesystem::path& path, SecretKey* key, std::string* error);

// The ".minisig" text of document (prehashed, like minisign -S); the trusted comment names
// fileName and the time.
std::string SignDocument(const SecretKey& key, const std::string& document, const std::string& fileName);

// Writes FILE.minisig beside file.
bool SignFile(const SecretKey& key, const std::filesystem::path& file, std::string* error);

}  // namespace talvpack
