// Test helper: holds a file open without delete or write sharing for a while.
//   hold_file.exe PATH MILLISECONDS READY_FILE
// READY_FILE is created once the file is held, so a test waits for it instead of sleeping.
#include "launcher/core/windows_api.h"

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  CloseHandle(file);
  return 0;
}
