// Questions the launcher asks the machine before it patches, installs or starts anything.
#pragma once

#include <cstdint>

bool IsOtherGameRunning();
bool IsOtherLauncherRunning();
bool IsXmlLibraryInstalled();
bool IsDirectX9Installed();
// client.exe and the folders movie and mp3 in m_gameDir.
bool IsClientInstalled();
// More free space on the drive of path than string 24 (MiB) asks for.
bool HasEnoughDiskSpace(const char* path);
bool IsCompatibilityModeSet();
void ClearCompatibilityMode();

// Where HasEnoughDiskSpace gets the bytes free to the caller on a drive ("C:"); false when
// the question fails. Tests put their own figure here; null restores the system's.
using FreeSpaceQuery = bool (*)(const char* drive, std::uint64_t* freeBytes);
void SetFreeSpaceQuery(FreeSpaceQuery query);
