// Test helper: stands in for a restarted launcher. Records its whole command line in
// "launcher_args.txt" beside its own executable and exits. The file is written under
// another name and renamed, so a test that sees it sees all of it.
#include "launcher/core/windows_api.h"

#include <cstring>
#include <string>

#include "launcher/core/win_handle.h"

int main() {
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof(module));
  if (n == 0 || n >= sizeof(module)) return 2;
  std::string folder(module);
  folder.erase(folder.find_last_of("\\/") + 1);
  const std::string partial = folder + "launcher_args.part";
  const char* commandLine = GetCommandLineA();
  {
    CFileHandle file(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 3;
    DWORD written = 0;
    if (!WriteFile(file.get(), commandLine, static_cast<DWORD>(std::strlen(commandLine)), &written, nullptr)) return 4;
  }
  return MoveFileExA(partial.c_str(), (folder + "launcher_args.txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
