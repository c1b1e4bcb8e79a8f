// What every patch run registers before its work, with or without a dialog: the game as a
// lobby application (only when the product key has no such entry yet, so an installer's
// values are kept) and the game client's browser-emulation level. Needs m_gameDir set.
#pragma once

// True when both registrations hold afterwards; each failure is logged by the registry
// store and does not stop the run.
bool PerformStartUpRegistrations();
