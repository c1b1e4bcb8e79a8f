// Whether a manifest name may be joined to the game directory: a publisher's mistake or a
// tampered manifest must not make the launcher write or delete outside the game.
#pragma once

// False for an empty name, an absolute name ("\x", "/x"), one that carries a drive or
// stream (any ":"), and one with a "." or ".." component.
bool IsSafeManifestName(const char* name);
