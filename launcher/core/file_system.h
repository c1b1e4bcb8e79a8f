// File-system helpers every subsystem uses to test, prepare and link paths.
#pragma once

bool FileExists(const char* path);  // files and folders alike; false for null
void ClearReadOnly(const char* path);
// Creates the folder and every missing folder above it. With removeExisting, an existing
// folder is first removed with all its content.
bool CreateDirectories(const char* path, bool removeExisting);
// Writes a shell shortcut. Returns 0, or the error code of the first failing creation.
long CreateShellLink(const char* target, const char* linkPath, int iconIndex, const char* iconPath,
                     const char* description, const char* arguments, const char* workingDir);
