#include "launcher/core/log_output.h"

#include "launcher/core/windows_api.h"

#include <mutex>

#include "launcher/core/win_handle.h"

void WriteLogOutput(const char* logPath, const char* line, std::size_t length) {
  OutputDebugStringA(line);
  if (logPath == nullptr || logPath[0] == '\0') return;
  // The transfers of one download stage log from threads of their own: they take turns,
  // or the file opened without sharing would refuse all but one of them.
  static std::mutex turns;
  std::lock_guard<std::mutex> turn(turns);
  // No sharing: two appends (of two processes) that collide lose one line rather than interleave.
  CFileHandle file(CreateFileA(logPath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}
