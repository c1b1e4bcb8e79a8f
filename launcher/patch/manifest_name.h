// Whether a manifest name may be joined to the game directory: a publisher's mistake or a
// tampered manifest must not make the launcher write or delete outside the game.
#pragma once

#include <string>

// False for an empty name, an absolute name ("\x", "/x"), one that carries a drive or
// stream (any ":"), and one with a "." or ".." component.
bool IsSafeManifestName(const char* name);

// A safe manifest name that also fits one line of the launcher's own records in the
// temporary folder (the journal of moves, the record of downloads): shorter than kMaxPath
// and free of control characters, which are those records' delimiters.
bool IsSafeRecordedName(const std::string& name);
