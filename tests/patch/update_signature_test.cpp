// Signatures of the update documents: made by Debian's minisign (-G -W, -S, -S -l) and checked
// by the launcher's reader, with every way a signature can be wrong.
#include <gtest/gtest.h>

#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/update_signature.h"
#include "tests/support/log_capture.h"

namespace {

const char kDocument[] = "patch_accept 1\r\npatch_version 101\r\n";

const char kKeyA[] =
    "untrusted comment: minisign public key 589268F14EF02442\n"
    "RWRCJPBO8WiSWNVfiA0vSZRbkEWka4z3FU3X21WVi7RGTTTkTMhEo4QG\n";
const char kKeyB[] =
    "untrusted comment: minisign public key 33FB63CC839C481B\n"
    "RWQbSJyDzGP7MyR7YIw/v1v0dRctpRSm7xgGi8Q+aRi398MIkzAGakGr\n";

// minisign -S (prehashed) with key A.
const char kHashedA[] =
    "untrusted comment: signature from minisign secret key\n"
    "RURCJPBO8WiSWDwblD6Sy0audQJPqecWoqSWFDm3tsz4ZC+qzRRBZZAmHtWD26mw/BnSK5ac46gTha3CuRzsmp+Ipkw1DBc2ZQI=\n"
    "trusted comment: timestamp:1796878957\tfile:doc\thashed\n"
    "24rYM+FYfUqissE6n/fkOvpuAzYBeheYle/HvMN88P6apQVXCW2Io5zG3m9LzDx6hjSnQqAzpZu+CAFdx1CCBg==\n";
// minisign -S -l (legacy) with key A.
const char kLegacyA[] =
    "untrusted comment: signature from minisign secret key\n"
    "RWRCJPBO8WiSWGLKdDkGO4PXPN7XeRk+OW0LS6MFlXlBHJPuDWh+r470z4vLGcU22nykIKHk52Xzzgk7QZXr0FAhU7OXqMRnFQY=\n"
    "trusted comment: timestamp:1796878957\tfile:doc\n"
    "wEe+9VzQUZmIgFLWm1u2ZK/x592xGTzGnx/FrYJkz4lhuXnHkAajpnO3WKeSGztkWlOJuswekBGJH9vtZ4DzDw==\n";
// minisign -S with key B.
const char kHashedB[] =
    "untrusted comment: signature from minisign secret key\n"
    "RUQbSJyDzGP7Mz5GWgtLow743bC36pAUGm3mDpxe3PEGX6vrk7ee8gPGjmDwzUEfp7Vi9zLORM8WOJjFtDIVjJhJDvT3Pi7dTAc=\n"
    "trusted comment: timestamp:1796878957\tfile:doc\thashed\n"
    "TyohHsebL6lqHfToSiWmau5e7tVw1uwhiG2pJqi+kutM3N7fIMHk+MKQV8PEyj69NFwbWABmNP7JGV4opF82AQ==\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

const char* Check(const char* keyText, const std::string& document, const std::string& signature) {
  UpdatePublicKey key;
  if (!ParseUpdatePublicKey(keyText, std::string(keyText).size(), &key)) return "bad key";
  return CheckUpdateSignature(key, document.data(), document.size(), signature.data(), signature.size());
}

struct Case {
  const char* what;
  const char* key;
  std::string document;
  std::string signature;
  const char* problem;  // null: accepted
};

TEST(UpdateSignature, ChecksWhatMinisignChecks) {
  const std::string doc = kDocument;
  auto crlf = [](std::string s) {
    for (std::size_t p = 0; (p = s.find('\n', p)) != std::string::npos; p += 2) s.insert(p, "\r");
    return s;
  };
  const Case cases[] = {
      {"prehashed", kKeyA, doc, kHashedA, nullptr},
      {"legacy", kKeyA, doc, kLegacyA, nullptr},
      {"CR LF lines, no final line break", kKeyA, doc, crlf(kHashedA).substr(0, crlf(kHashedA).size() - 2), nullptr},
      {"another key", kKeyA, doc, kHashedB, "signed with another key"},
      {"key B's signature for key B", kKeyB, doc, kHashedB, nullptr},
      {"document changed", kKeyA, Replace(doc, "101", "102"), kHashedA, "signature does not match the document"},
      {"legacy, document changed", kKeyA, doc + " ", kLegacyA, "signature does not match the document"},
      {"trusted comment changed", kKeyA, doc, Replace(kHashedA, "file:doc", "file:dob"),
       "trusted comment signature does not match"},
      {"signature bytes changed", kKeyA, doc, Replace(kHashedA, "RURCJPBO8WiSWDwb", "RURCJPBO8WiSWDwc"),
       "signature does not match the document"},
      {"legacy key id, prehashed signature", kKeyA, doc, Replace(kHashedA, "RURC", "RWRC"),
       "signature does not match the document"},
      {"unknown algorithm", kKeyA, doc, Replace(kHashedA, "RURC", "RUVC"), "unsupported signature algorithm"},
      {"truncated", kKeyA, doc, std::string(kHashedA).substr(0, 120), "truncated signature"},
      {"empty", kKeyA, doc, "", "truncated signature"},
      {"short global signature", kKeyA, doc, Replace(kHashedA, "CAFdx1CCBg==", "CAFdx1CC"), "malformed signature"},
      {"no trusted comment prefix", kKeyA, doc, Replace(kHashedA, "trusted comment: t", "t"), "malformed signature"},
      {"not base64", kKeyA, doc, Replace(kHashedA, "RURC", "RU*C"), "malformed signature"},
      {"zero in the trusted comment", kKeyA, doc, Replace(kHashedA, "file:doc", std::string("file\0doc", 8)),
       "malformed signature"},
  };
  for (const Case& c : cases) {
    const char* problem = Check(c.key, c.document, c.signature);
    if (c.problem == nullptr) {
      EXPECT_EQ(problem, nullptr) << c.what << ": " << problem;
    } else {
      EXPECT_STREQ(problem, c.problem) << c.what;
    }
  }
}

TEST(UpdateSignature, PublicKeyTextForms) {
  UpdatePublicKey whole, line;
  ASSERT_TRUE(ParseUpdatePublicKey(kKeyA, sizeof(kKeyA) - 1, &whole));
  const std::string bare = "  RWRCJPBO8WiSWNVfiA0vSZRbkEWka4z3FU3X21WVi7RGTTTkTMhEo4QG";
  ASSERT_TRUE(ParseUpdatePublicKey(bare.data(), bare.size(), &line));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(whole.key), 32), std::string(reinterpret_cast<char*>(line.key), 32));
  const unsigned char id[] = {0x42, 0x24, 0xF0, 0x4E, 0xF1, 0x68, 0x92, 0x58};  // the comment's id, little-endian
  EXPECT_EQ(std::string(reinterpret_cast<char*>(whole.keyId), 8), std::string(reinterpret_cast<const char*>(id), 8));

  UpdatePublicKey key;
  for (const std::string& bad : {std::string(), std::string("untrusted comment: only\n"), bare.substr(0, 40),
                                Replace(bare, "RWRC", "RURC"), std::string(kKeyA) + std::string(kKeyB)}) {
    EXPECT_FALSE(ParseUpdatePublicKey(bad.data(), bad.size(), &key)) << bad;
  }
}

TEST(UpdateSignature, Base64IsStrict) {
  unsigned char out[8];
  EXPECT_EQ(DecodeBase64("TWFu", 4, out, sizeof(out)), 3u);
  EXPECT_EQ(DecodeBase64("TWE=", 4, out, sizeof(out)), 2u);
  EXPECT_EQ(DecodeBase64("TQ==", 4, out, sizeof(out)), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 1), "M");
  for (const char* bad : {"TWF", "TQ=a", "TR==", "TWF=", "=QQQ", "T===", "TWFuTWFuTWFu"}) {
    EXPECT_EQ(DecodeBase64(bad, std::string(bad).size(), out, sizeof(out)), 0u) << bad;
  }
  const unsigned char bytes[] = {0, 1, 2, 250, 251, 252, 253};
  for (std::size_t n = 1; n <= sizeof(bytes); ++n) {
    const std::string text = EncodeBase64(bytes, n);
    ASSERT_EQ(DecodeBase64(text.data(), text.size(), out, sizeof(out)), n) << text;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), std::string(reinterpret_cast<const char*>(bytes), n));
  }
}

TEST(UpdateSignature, DocumentRuleLogsOneLine) {
  LogCapture log;
  const std::string doc = kDocument;
  EXPECT_TRUE(IsDocumentTrusted("", "version.txt", doc.data(), doc.size(), nullptr, 0));
  EXPECT_TRUE(IsDocumentTrusted(kKeyA, "version.txt", doc.data(), doc.size(), kHashedA, sizeof(kHashedA) - 1));
  EXPECT_TRUE(log.lines().empty());
  EXPECT_FALSE(IsDocumentTrusted(kKeyA, "version.txt", doc.data(), doc.size(), nullptr, 0));
  EXPECT_FALSE(IsDocumentTrusted(kKeyA, "talvenor.txt", doc.data(), doc.size(), kHashedB, sizeof(kHashedB) - 1));
  EXPECT_FALSE(IsDocumentTrusted("RWQ", "patch_live.txt", doc.data(), doc.size(), kHashedA, sizeof(kHashedA) - 1));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "Signature of \"version.txt\" refused : signature not found.",
                             "Signature of \"talvenor.txt\" refused : signed with another key.",
                             "Signature of \"patch_live.txt\" refused : malformed public key in this launcher.",
                         }));
}

}  // namespace
