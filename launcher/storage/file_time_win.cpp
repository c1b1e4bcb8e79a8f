#include "launcher/storage/file_time.h"

#include "launcher/core/win_handle.h"
#include "launcher/core/windows_api.h"

bool SetFileDosTime(const char* path, std::uint16_t dosDate, std::uint16_t dosTime) {
  FILETIME dosFileTime;
  SYSTEMTIME local, utc;
  // Converted with the time-zone rules of that date, not the bias in force today.
  if (!DosDateTimeToFileTime(dosDate, dosTime, &dosFileTime) || !FileTimeToSystemTime(&dosFileTime, &local) ||
      !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) {
    return false;
  }
  FILETIME when;
  if (!SystemTimeToFileTime(&utc, &when)) return false;
  CFileHandle file(CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  return SetFileTime(file.get(), nullptr, &when, &when) != FALSE;
}
