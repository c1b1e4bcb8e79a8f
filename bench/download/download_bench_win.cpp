// Throughput of GetFile against the bare WinINet loop it is built on: same server, same
// request flags, same 64 KiB buffer, same local file writes.
//
//   download_bench.exe HOST REMOTE_PATH LOCAL_FILE [ROUNDS]
//
// Prints one "<name> <bytes> <seconds> <MB/s>" line per measurement and the best of each.
#include "launcher/core/windows_api.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_clock.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/download_mgr.h"

namespace {

std::uint64_t BareLoop(const char* host, const char* path, const char* local) {
  CInternetHandle root(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  CInternetHandle connection(InternetConnectA(root.get(), host, 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  CInternetHandle request(HttpOpenRequestA(connection.get(), "GET", path, nullptr, nullptr, nullptr,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE, 0));
  CFileHandle file(CreateFileA(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!request || !file || !HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return 0;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      status != 200) {
    return 0;
  }
  std::unique_ptr<char[]> buffer(new char[kDownloadBlock]);
  std::uint64_t total = 0;
  DWORD count = 0;
  while (InternetReadFile(request.get(), buffer.get(), kDownloadBlock, &count) && count > 0) {
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer.get(), count, &written, nullptr)) return 0;
    total += count;
  }
  return total;
}

std::uint64_t WithGetFile(const char* host, const char* path, const char* local) {
  ServerAddress address;
  std::string text = std::string(host) + ":80";
  std::unique_ptr<CDownloadMgr> mgr(CDownloadMgr::CreateDownloadMgr(text.c_str(), &address));
  if (!mgr || !mgr->Connect(address.host, nullptr, nullptr, address.port)) return 0;
  if (!GetFile(nullptr, false, mgr.get(), path, local, nullptr)) return 0;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(local, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: download_bench HOST REMOTE_PATH LOCAL_FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
  double best[2] = {0, 0};
  const char* names[2] = {"bare", "getfile"};
  for (int round = 0; round < rounds; ++round) {
    for (int which = 0; which < 2; ++which) {  // alternate so drift hits both alike
      const double start = NowSeconds();
      const std::uint64_t bytes = which == 0 ? BareLoop(argv[1], argv[2], argv[3]) : WithGetFile(argv[1], argv[2], argv[3]);
      const double seconds = NowSeconds() - start;
      if (bytes == 0) {
        std::fprintf(stderr, "%s failed\n", names[which]);
        return 1;
      }
      const double rate = static_cast<double>(bytes) / seconds / 1e6;
      std::printf("%s %llu %.3f %.1f\n", names[which], static_cast<unsigned long long>(bytes), seconds, rate);
      std::fflush(stdout);
      if (rate > best[which]) best[which] = rate;
    }
  }
  std::printf("best bare %.1f\nbest getfile %.1f\n", best[0], best[1]);
  DeleteFileA(argv[3]);
  return 0;
}
