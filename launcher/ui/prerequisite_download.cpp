#include "launcher/ui/prerequisite_download.h"

#include <cstring>
#include <string>

#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/transfer/download_mgr.h"

namespace {


// The next blank-free word of text at *p; advances *p past it.
std::string NextWord(const char** p) {
  while (**p != '\0' && IsBlank(**p)) ++*p;
  const char* start = *p;
  while (**p != '\0' && !IsBlank(**p)) ++*p;
  return std::string(start, *p);
}

bool CopyPart(char* out, std::size_t size, const char* begin, const char* end) {
  const std::size_t length = static_cast<std::size_t>(end - begin);
  if (length >= size) return false;
  std::memcpy(out, begin, length);
  out[length] = '\0';
  return true;
}

}  // namespace

bool FormatDownloadParameter(const char* address, std::uint32_t size, const char* folder, char* out,
                             std::size_t outSize) {
  return FormatString(out, outSize, "%s %u %s", address != nullptr ? address : "", size,
                      folder != nullptr ? folder : "");
}

bool ParseDownloadParameter(const char* parameter, DownloadRequest* out) {
  *out = DownloadRequest();
  if (parameter == nullptr) return false;
  const char* p = parameter;
  const std::string address = NextWord(&p);
  if (address.empty() || !CopyString(out->address, address.c_str())) return false;
  // A size that is no number ends the reading, as a scanf would: the folder word is lost.
  const std::string size = NextWord(&p);
  if (size.empty() || size.size() > 10 || size.find_first_not_of("0123456789") != std::string::npos) return true;
  const unsigned long long value = std::stoull(size);
  if (value > 0xFFFFFFFFull) return true;
  out->size = static_cast<std::uint32_t>(value);
  return CopyString(out->folder, NextWord(&p).c_str());
}

bool IsFtpAddress(const char* address) { return address != nullptr && std::strncmp(address, "ftp", 3) == 0; }

namespace {

// "scheme//[user[:password]@]server[:port]/path" taken apart by the download managers' own
// address reading; *path is where the path begins. The port, when given, must be a number
// from 1 to 65535.
bool SplitAddress(const char* address, ServerAddress* server, const char** path) {
  const char* host = std::strstr(address, "//");
  if (host == nullptr) return false;
  host += 2;
  *path = std::strchr(host, '/');
  if (*path == nullptr) *path = host + std::strlen(host);
  const std::string authority(host, *path);
  *server = ServerAddress();
  if (!ParseServerAddress(authority.c_str(), server) || server->host[0] == '\0') return false;
  const std::size_t at = authority.rfind('@');
  const std::size_t colon = authority.find(':', at == std::string::npos ? 0 : at + 1);
  if (colon == std::string::npos) return true;
  const std::string port = authority.substr(colon + 1);
  return !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
         server->port >= 1 && server->port <= 65535;
}

}  // namespace

bool ParseFtpAddress(const char* address, FtpAddress* out) {
  *out = FtpAddress();
  if (!IsFtpAddress(address)) return false;
  ServerAddress server;
  const char* path = nullptr;
  if (!SplitAddress(address, &server, &path) || *path != '/') return false;
  if (!CopyString(out->user, server.user) || !CopyString(out->password, server.password) ||
      !CopyString(out->server, server.host)) {
    return false;
  }
  if (server.port != 0) out->port = static_cast<std::uint16_t>(server.port);
  const char* lastSlash = std::strrchr(path, '/');
  if (!CopyPart(out->directory, sizeof(out->directory), path, lastSlash + 1)) return false;
  return lastSlash[1] != '\0' && CopyString(out->file, lastSlash + 1);
}

bool ParseHttpAddress(const char* address, HttpAddress* out) {
  *out = HttpAddress();
  if (address == nullptr || !StartsWithNoCase(address, "http://", 7)) return false;
  ServerAddress server;
  const char* path = nullptr;
  if (!SplitAddress(address, &server, &path)) return false;
  if (server.port != 0) out->port = static_cast<std::uint16_t>(server.port);
  return CopyString(out->user, server.user) && CopyString(out->password, server.password) &&
         CopyString(out->server, server.host) && CopyString(out->object, *path != '\0' ? path : "/");
}

bool DownloadFileName(const char* address, char* out, std::size_t outSize) {
  if (outSize > 0) out[0] = '\0';
  if (address == nullptr || outSize == 0) return false;
  // "/", "?" and "#" are never the second byte of a Big5 character.
  const char* end = address + std::strcspn(address, "?#");
  const char* name = address;
  for (const char* p = address; p < end; ++p) {
    if (*p == '/') name = p + 1;
  }
  if (name == end || !CopyPart(out, outSize, name, end)) return false;
  // Scanned by character: a Big5 second byte may be the byte of "\".
  bool valid = std::strcmp(out, ".") != 0 && std::strcmp(out, "..") != 0;
  for (const char* p = out; valid && *p != '\0'; p = NextPathChar(p)) {
    const unsigned char c = static_cast<unsigned char>(*p);
    valid = c >= 0x20 && std::strchr("\\/:*?\"<>|", c) == nullptr;
  }
  // A trailing dot or blank is dropped by Windows: the file would be another one.
  const char last = out[std::strlen(out) - 1];
  if (!valid || last == '.' || last == ' ') {
    out[0] = '\0';
    return false;
  }
  return true;
}

int DownloadPercent(std::uint64_t received, std::uint32_t expected) {
  if (expected == 0) return 0;
  const std::uint64_t percent = received * 100 / expected;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

bool DownloadComplete(std::uint64_t received, std::uint32_t expected, std::int64_t announced, bool readFailed) {
  if (readFailed || received == 0) return false;
  if (expected != 0 && received < expected) return false;
  if (announced >= 0 && received != static_cast<std::uint64_t>(announced)) return false;
  return true;
}
