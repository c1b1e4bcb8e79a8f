#include "launcher/core/log_output.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/win_handle.h"

void WriteLogOutput(const char* logPath, const char* line, std::size_t length) {
  OutputDebugStringA(line);
  if (logPath == nullptr || logPath[0] == '\0') return;
  // No sharing: two appends that collide lose one line rather than interleave.
  CFileHandle file(CreateFileA(logPath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}
