// Stamping an extracted file with the modification time its archive entry records.
#pragma once
#include <cstdint>

// Sets the file's last-write and last-access time to the DOS date and time, read as local
// time. False when the time is not a valid date or the file cannot be stamped.
bool SetFileDosTime(const char* path, std::uint16_t dosDate, std::uint16_t dosTime);
