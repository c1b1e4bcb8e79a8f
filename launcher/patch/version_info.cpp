#include "launcher/patch/version_info.h"

#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/core/token_reader.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The size and digest tokens that follow a name in both forms; where names the reader in
// the log lines.
bool ReadSizeAndHash(TokenReader& reader, const char* where, CVersionInfo::Entry* entry) {
  const char* size = reader.NextToken();
  if (size == nullptr) {
    g_launcher.Log("%s : Fail to get size.", where);
    return false;
  }
  entry->size = static_cast<std::uint64_t>(LeadingInt64(size));
  const char* hash = reader.NextToken();
  if (hash == nullptr) {
    g_launcher.Log("%s : Fail to get hashcode.", where);
    return false;
  }
  if (!ParseDigestText(hash, entry->hash)) {
    g_launcher.Log("%s : invalid hashcode.", where);
    return false;
  }
  return true;
}

}  // namespace

bool ParseDigestText(const char* text, unsigned char out[kMd5DigestSize]) {
  if (text == nullptr || std::strlen(text) != 2 * kMd5DigestSize) return false;
  for (std::size_t i = 0; i < kMd5DigestSize; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return true;
}

bool CVersionInfo::IsNumericToken(const char* token) {
  return LeadingInt(token) != 0 || std::strcmp(token, "0") == 0;
}

bool CVersionInfo::ReadFromBlock(const char* block, std::size_t size) {
  if (block == nullptr && size > 0) return ReadFromMemory(nullptr);
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + 2]);
  if (!text) return false;
  if (size > 0) std::memcpy(text.get(), block, size);
  text[size] = '\0';
  text[size + 1] = '\0';
  return ReadFromMemory(text.get());
}

bool CVersionInfo::ReadFromMemory(const char* text) {
  if (text == nullptr) {
    g_launcher.Log("CVersionInfo::ReadFromMemory() : invalid param.");
    return false;
  }
  entries_.clear();
  TokenReader reader(text);
  reader.AddDelimiter('\r').AddDelimiter('\n').AddDelimiter('\t').AddDelimiter(',');

  char* token = reader.NextToken();
  while (token != nullptr) {
    if (IsNumericToken(token)) return ParseOldToken(reader);
    Entry entry;
    entry.name = token;
    if (!ReadSizeAndHash(reader, "CVersionInfo::ReadFromMemory()", &entry)) return false;
    const char* version = reader.NextToken();
    if (version == nullptr) {
      g_launcher.Log("CVersionInfo::ReadFromMemory() : Fail to get update version.");
      return false;
    }
    entry.updateVersion = LeadingInt(version);
    entries_.push_back(std::move(entry));
    token = reader.NextToken();
  }
  return true;
}

// The older manifests carry a count up front and no versions. The reader starts again from
// the top; cut delimiters read as delimiters, so the tokens come out as before.
bool CVersionInfo::ParseOldToken(TokenReader& reader) {
  reader.Rewind();
  const char* countToken = reader.NextToken();
  if (countToken == nullptr) {
    g_launcher.Log("CVersionInfo::ParseOldToken() : Fail to get count.");
    return false;
  }
  const std::uint32_t count = static_cast<std::uint32_t>(LeadingInt(countToken));
  for (std::uint32_t i = 0; i < count; ++i) {
    const char* name = reader.NextToken();
    if (name == nullptr) {  // the size is what is missing first
      g_launcher.Log("CVersionInfo::ParseOldToken() : Fail to get size.");
      return false;
    }
    Entry entry;
    entry.name = name;
    if (!ReadSizeAndHash(reader, "CVersionInfo::ParseOldToken()", &entry)) return false;
    entry.updateVersion = LauncherVersion;
    entries_.push_back(std::move(entry));
  }
  return true;
}
