// Two ways of timing a patch run, both in the same Wine as the launcher.
//
//   patch_bench.exe HOST REMOTE_FOLDER NAME_LIST LOCAL_FOLDER
//     The floor a patch run is measured against: the same files fetched over one WinINet
//     connection with the launcher's request flags and 64 KiB reads, written to disk and
//     hashed with the launcher's MD5, and nothing else (no manifest, no moves, no panel).
//     NAME_LIST holds one relative name ("data\f0001.bin") per line. Prints "bare <seconds>"
//     and exits 1 when a file could not be fetched.
//
//   patch_bench.exe launch pipe|dialog GAME_DIR PATCH_URL
//     Starts GAME_DIR\Talvenor.exe on PATCH_URL and times it from the start until the game
//     is current: in host mode ("/pipe") until it exits; on the dialog until the start
//     button 1026 is enabled, watched from outside as a user would see it. Prints
//     "launch <seconds>"; exits 1 when the run did not end with the game current.
#include "launcher/core/windows_api.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_clock.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/md5.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kRunLimitMs = 30 * 60 * 1000;  // far beyond any run of the benchmark

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

int Bare(char** argv) {
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

int HostModeRun(const std::string& exe, const std::string& gameDir, const std::string& patchUrl) {
  // The progress lines go to NUL and the command input ends at once, which changes nothing.
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  CFileHandle nul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr));
  if (!nul) return 1;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  std::string line = "\"" + exe + "\" /pipe patchurl:" + patchUrl;
  PROCESS_INFORMATION info = {};
  const double start = NowSeconds();
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, gameDir.c_str(), &startup, &info)) {
    return 1;
  }
  CloseHandle(info.hThread);
  CKernelHandle process(info.hProcess);
  DWORD code = 1;
  if (WaitForSingleObject(process.get(), kRunLimitMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &code) ||
      code != 0) {
    std::fprintf(stderr, "host mode ended with %lu\n", static_cast<unsigned long>(code));
    TerminateProcess(process.get(), 99);
    return 1;
  }
  std::printf("launch %.3f\n", NowSeconds() - start);
  return 0;
}

int DialogRun(const std::string& exe, const std::string& gameDir, const std::string& patchUrl) {
  ChildProcess launcher;
  const double start = NowSeconds();
  if (!launcher.Start("\"" + exe + "\" patchurl:" + patchUrl, gameDir)) return 1;
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher.Id(), 1035), kRunLimitMs);
  // A failed run says so in a message box and leaves the start button disabled. Looking
  // for a box walks every window, work the launcher's own calls would queue behind: once a
  // half second is enough.
  UiWindow box = nullptr;
  int polls = 0;
  const bool ready = screen != nullptr && WaitUntil(
                                              [&] {
                                                if (ui::IsEnabled(screen, 1026)) return true;
                                                if (++polls % 25 != 0) return false;
                                                box = ui::WaitForMessageBox(launcher.Id(), 0);
                                                return box != nullptr || launcher.Wait(0);
                                              },
                                              kRunLimitMs) &&
                     box == nullptr && ui::IsEnabled(screen, 1026);
  const double seconds = NowSeconds() - start;
  if (!ready) {
    std::fprintf(stderr, "the dialog did not enable its start button%s%s\n", box != nullptr ? ": " : "",
                 box != nullptr ? ui::MessageBoxText(box).c_str() : "");
    return 1;
  }
  // With the run over, the close button ends the launcher.
  if (!ui::Click(screen, 1010) || !launcher.Wait(30000)) {
    std::fprintf(stderr, "the launcher did not end on its close button\n");
    return 1;
  }
  std::printf("launch %.3f\n", seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "launch") == 0) {
    const std::string gameDir = argv[3];
    const std::string exe = gameDir + "\\Talvenor.exe";
    if (std::strcmp(argv[2], "pipe") == 0) return HostModeRun(exe, gameDir, argv[4]);
    if (std::strcmp(argv[2], "dialog") == 0) return DialogRun(exe, gameDir, argv[4]);
  } else if (argc == 5) {
    return Bare(argv);
  }
  std::fprintf(stderr,
               "usage: patch_bench.exe HOST REMOTE_FOLDER NAME_LIST LOCAL_FOLDER\n"
               "       patch_bench.exe launch pipe|dialog GAME_DIR PATCH_URL\n");
  return 2;
}
