// Test helper: stands in for the game client, the installed launcher and the self-remover.
// Writes its exact command line and, on a second line, its working directory to
// "<own path>.cmdline", or to the file named by TALV_STUB_RECORD when that is set. The
// record appears whole (written beside and renamed), so a test can wait for the name.
#include "launcher/core/windows_api.h"

#include <string>

int main() {
  char record[MAX_PATH + 16];
  DWORD n = GetEnvironmentVariableA("TALV_STUB_RECORD", record, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    n = GetModuleFileNameA(nullptr, record, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    lstrcatA(record, ".cmdline");
  }
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof(cwd), cwd);
  const std::string text = std::string(GetCommandLineA()) + "\n" + cwd + "\n";
  const std::string part = std::string(record) + ".part";
  HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return MoveFileExA(part.c_str(), record, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
