// The pure half of the launcher self-update: when to update, which downloaded names are
// acceptable, and renamer's command line. The Windows half (connection, download, writing
// and starting renamer) is in launcher_update_win.cpp.
#pragma once
#include <cstddef>

class CLauncherMgr;

// An update is due when forced or when the published launcher version is newer than this
// build. The comparison is unsigned: a negative published version counts as newer.
bool IsLauncherUpdateDue(int publishedVersion, bool forced);

// Whether the first name of the launcher manifest can be downloaded into the game directory
// and handed to renamer: a bare file name (renamer resolves it against the game directory),
// at most 127 bytes (renamer's limit), without blanks (renamer splits its command line at
// blanks) and not the running launcher's own name (the download would overwrite it).
bool IsUsableLauncherName(const char* name, const char* ownName);

// renamer's command line: "\"RENAMER\" OWN NEW", then "bg" when the launcher is not to be
// restarted (host mode: the host restarts it), then the launcher's pass-through options.
// out holds at most 4096 bytes. Options that would not fit are left out as a whole (logged):
// a cut option would hand the restarted launcher a value it was never given. False when
// not even the names fit.
bool BuildRenamerCommandLine(const CLauncherMgr& mgr, const char* renamerPath, const char* ownName,
                             const char* newName, bool background, char* out, std::size_t outSize);
