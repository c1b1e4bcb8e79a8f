#include "launcher/patch/download_record.h"

#include <cstring>
#include <set>

#include "launcher/patch/manifest_name.h"
#include "launcher/patch/version_info.h"

namespace {

const char kHeader[] = "downloads 1";
const char kDone[] = "done ";
const char kPart[] = "part ";

// 1 to 20 decimal digits, at least 1 and within 64 bits.
bool ParseSize(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (v == 0) return false;
  *value = v;
  return true;
}

bool ParseEntry(const std::string& rest, bool complete, RecordedDownload* file) {
  const std::size_t first = rest.find('\t');
  if (first == std::string::npos) return false;
  const std::size_t second = rest.find('\t', first + 1);
  if (second == std::string::npos) return false;
  file->name = rest.substr(0, first);
  file->complete = complete;
  const std::string digest = rest.substr(second + 1);
  return IsSafeRecordedName(file->name) && ParseSize(rest.substr(first + 1, second - first - 1), &file->size) &&
         digest.size() == 2 * kMd5DigestSize && ParseDigestText(digest.c_str(), file->md5);
}

}  // namespace

std::string FormatDownloadRecord(const DownloadRecord& record) {
  std::string text = std::string(kHeader) + "\n";
  std::set<std::string> names;
  for (const RecordedDownload& file : record.files) {
    if (!IsSafeRecordedName(file.name) || file.size == 0 || !names.insert(file.name).second) return std::string();
    char digest[2 * kMd5DigestSize + 1];
    FormatDigest(file.md5, digest);
    text += file.complete ? kDone : kPart;
    text += file.name + "\t" + std::to_string(file.size) + "\t" + digest + "\n";
  }
  return text;
}

bool ParseDownloadRecord(const char* text, std::size_t size, DownloadRecord* record) {
  *record = DownloadRecord();
  if (text == nullptr) return false;
  std::set<std::string> names;
  bool header = false;
  std::size_t at = 0;
  while (at < size) {
    const void* found = std::memchr(text + at, '\n', size - at);
    // The record is renamed into place whole: a line without its end is not one of ours.
    if (found == nullptr) break;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - text);
    std::string line(text + at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!header) {
      if (line != kHeader) break;
      header = true;
    } else {
      RecordedDownload file;
      const bool complete = line.compare(0, std::strlen(kDone), kDone) == 0;
      if (!complete && line.compare(0, std::strlen(kPart), kPart) != 0) break;
      if (!ParseEntry(line.substr(std::strlen(kDone)), complete, &file) || !names.insert(file.name).second) break;
      record->files.push_back(std::move(file));
    }
    at = end + 1;
  }
  if (header && at == size) return true;
  *record = DownloadRecord();
  return false;
}
