#include "launcher/patch/transfer_index.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/patch/version_info.h"

namespace {

constexpr char kFirstLine[] = "talvenor-forms 1";
constexpr std::size_t kMaxLine = 4096;

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// Sizes are plain decimal digits: the index is written by a tool, never by hand, and a value
// that is not one is a damaged index.
bool ParseSize(const std::string& text, std::uint64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  *out = v;
  return true;
}

bool Fail(std::size_t lineNo, const char* why) {
  g_launcher.Log("CTransferIndex::Read() : line %u : %s.", static_cast<unsigned>(lineNo), why);
  return false;
}

}  // namespace

bool CTransferIndex::Read(const char* block, std::size_t size) {
  m_files.clear();
  if (block == nullptr) return Fail(0, "no text");
  std::map<std::string, TransferFileForms> files;
  std::size_t lineNo = 0;
  for (std::size_t at = 0; at < size;) {
    std::size_t end = at;
    while (end < size && block[end] != '\n' && block[end] != '\r') ++end;
    std::string line(block + at, end - at);
    if (end < size && block[end] == '\r' && end + 1 < size && block[end + 1] == '\n') ++end;
    at = end + 1;
    ++lineNo;
    if (line.size() > kMaxLine) return Fail(lineNo, "line too long");
    if (line.find('\0') != std::string::npos) return Fail(lineNo, "NUL in the text");
    if (lineNo == 1) {
      if (line != kFirstLine) return Fail(lineNo, "not a transfer index of this version");
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string> f = SplitFields(line);
    TransferForm form;
    if (f[0] == "whole" && f.size() == 6) {
      form.kind = TransferFormKind::kWhole;
    } else if (f[0] == "delta" && f.size() == 8) {
      form.kind = TransferFormKind::kDelta;
      if (!ParseSize(f[6], &form.sourceSize) || !ParseDigestText(f[7].c_str(), form.sourceMd5))
        return Fail(lineNo, "bad source size or digest");
    } else if (f[0] == "whole" || f[0] == "delta") {
      return Fail(lineNo, "wrong number of fields");
    } else {
      continue;  // a kind of a later version of the index
    }
    unsigned char resultMd5[kMd5DigestSize];
    if (!ParseDigestText(f[2].c_str(), resultMd5)) return Fail(lineNo, "bad result digest");
    if (!ParseSize(f[4], &form.size) || !ParseDigestText(f[5].c_str(), form.md5))
      return Fail(lineNo, "bad size or digest");
    // The name joins the game directory and the path the server's directory; both are kept
    // inside them as the manifest's names are.
    if (!IsSafeManifestName(f[1].c_str())) return Fail(lineNo, "unsafe file name");
    if (!IsSafeManifestName(f[3].c_str())) return Fail(lineNo, "unsafe server path");
    form.path = f[3];
    TransferFileForms& file = files[f[1]];
    if (file.forms.empty()) {
      std::memcpy(file.resultMd5, resultMd5, kMd5DigestSize);
    } else if (std::memcmp(file.resultMd5, resultMd5, kMd5DigestSize) != 0) {
      return Fail(lineNo, "forms of one file decode to different contents");
    }
    file.forms.push_back(form);
  }
  if (lineNo == 0) return Fail(0, "empty text");
  m_files.swap(files);
  return true;
}

const TransferFileForms* CTransferIndex::Find(const std::string& name,
                                              const unsigned char resultMd5[kMd5DigestSize]) const {
  const auto it = m_files.find(name);
  if (it == m_files.end() || std::memcmp(it->second.resultMd5, resultMd5, kMd5DigestSize) != 0) return nullptr;
  return &it->second;
}
