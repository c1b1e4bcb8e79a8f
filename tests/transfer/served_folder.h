// A folder of a test's own under the fixture servers' document root, removed afterwards,
// with the URLs of its files on nginx and on the fault server.
#pragma once
#include "launcher/core/windows_api.h"

#include <string>

#include "tests/support/win_test_util.h"

// The document root in Windows form. An environment file written without quotes loses the
// backslashes of the _WIN form when a shell sources it; the Unix form gives it back then.
inline std::string WwwRootWin() {
  const std::string win = ServerEnv("TALV_WWW_ROOT_WIN");
  if (win.find('\\') != std::string::npos) return win;
  std::string root = "Z:" + ServerEnv("TALV_WWW_ROOT");
  for (char& c : root) {
    if (c == '/') c = '\\';
  }
  return root;
}

class ServedFolder {
 public:
  ServedFolder() {
    static int counter = 0;
    name_ = "t" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_" +
            std::to_string(++counter);
    path_ = WwwRootWin() + "\\" + name_;
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ServedFolder() { RemoveTree(path_); }
  ServedFolder(const ServedFolder&) = delete;
  ServedFolder& operator=(const ServedFolder&) = delete;

  const std::string& name() const { return name_; }
  bool Put(const std::string& file, const std::string& bytes) const { return WriteFileBytes(path_ + "\\" + file, bytes); }
  std::string Nginx(const std::string& file) const {
    return "http://" + ServerEnv("TALV_HTTP_HOST") + "/" + name_ + "/" + file;
  }
  // behaviour: a path prefix of the fault server such as "nodate/" or "slow/100/50/".
  std::string Fault(const std::string& behaviour, const std::string& file) const {
    return "http://" + ServerEnv("TALV_FAULT_HOST") + "/" + behaviour + name_ + "/" + file;
  }

 private:
  std::string name_;
  std::string path_;
};
