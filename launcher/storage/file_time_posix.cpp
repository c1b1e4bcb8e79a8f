#include "launcher/storage/file_time.h"

#include <sys/time.h>

#include <ctime>

bool SetFileDosTime(const char* path, std::uint16_t dosDate, std::uint16_t dosTime) {
  std::tm local{};
  local.tm_year = 80 + (dosDate >> 9);
  local.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  local.tm_mday = dosDate & 0x1F;
  local.tm_hour = dosTime >> 11;
  local.tm_min = (dosTime >> 5) & 0x3F;
  local.tm_sec = (dosTime & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday == 0 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59) {
    return false;
  }
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return false;
  struct timeval times[2] = {{when, 0}, {when, 0}};
  return utimes(path, times) == 0;
}
