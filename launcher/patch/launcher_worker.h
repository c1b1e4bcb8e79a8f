// The work of the launcher dialog's worker thread, shared with the host-mode run: patch
// information, launcher update, then the game's patch pipeline.
#pragma once

struct PatchContext;

// Worker results: 1 game current, 2 launcher update handed to renamer, 0 failure,
// -1 stopped, 3 play refused.
int RunLauncherWorker(PatchContext& context);

// Decides and runs the launcher self-update. Returns whether an update was attempted;
// *result is then the worker result.
bool UpdateLauncher(PatchContext& context, int* result);
