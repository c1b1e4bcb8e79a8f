// The version file is written beside as "version.new" and renamed over "version.dat"
// (CLauncherMgr::WriteClientVersion), so a kill leaves the old number or the new one, never
// a cut file. A kill before the rename leaves the draft behind; the next start removes it.
#pragma once

void RemoveVersionDraft(const char* gameDir);
