// The floor a patch run is measured against: the same files fetched over one WinINet
// connection with the launcher's request flags and 64 KiB reads, written to disk and
// hashed with the launcher's MD5, and nothing else (no manifest, no moves, no panel).
//
//   patch_bench.exe HOST REMOTE_FOLDER NAME_LIST LOCAL_FOLDER
//
// NAME_LIST holds one relative name ("data\f0001.bin") per line. Prints "bare <seconds>"
// and exits 1 when a file could not be fetched.
#include "launcher/core/windows_api.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_clock.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/md5.h"

namespace {

void CreateParents(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

bool Fetch(HINTERNET connection, const std::string& remote, const std::string& local, char* buffer,
           unsigned char digest[kMd5DigestSize]) {
  CInternetHandle request(HttpOpenRequestA(connection, "GET", remote.c_str(), nullptr, nullptr, nullptr,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE, 0));
  if (!request || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return false;
  CreateParents(local);
  CFileHandle file(CreateFileA(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  MD5_CTX md5;
  MD5Init(&md5);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), buffer, 64 * 1024, &read)) return false;
    if (read == 0) break;
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer, read, &written, nullptr) || written != read) return false;
    MD5Update(&md5, buffer, read);
  }
  MD5Final(digest, &md5);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: patch_bench.exe HOST REMOTE_FOLDER NAME_LIST LOCAL_FOLDER\n");
    return 2;
  }
  std::ifstream list(argv[3]);
  std::string name;
  std::unique_ptr<char[]> buffer(new char[64 * 1024]);
  const double start = NowSeconds();
  CInternetHandle root(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  CInternetHandle connection(InternetConnectA(root.get(), argv[1], 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return 1;
  unsigned long files = 0;
  unsigned char digest[kMd5DigestSize];
  while (std::getline(list, name)) {
    if (!name.empty() && name.back() == '\r') name.pop_back();
    if (name.empty()) continue;
    std::string remote = std::string(argv[2]) + "/" + name;
    for (char& c : remote) {
      if (c == '\\') c = '/';
    }
    if (!Fetch(connection.get(), remote, std::string(argv[4]) + "\\" + name, buffer.get(), digest)) {
      std::fprintf(stderr, "failed: %s\n", remote.c_str());
      return 1;
    }
    ++files;
  }
  std::printf("bare %.3f (%lu files)\n", NowSeconds() - start, files);
  return 0;
}
