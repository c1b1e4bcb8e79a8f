// The work of the launcher dialog's worker thread, shared with the host-mode run: patch
// information, launcher update, then the game's patch pipeline.
#pragma once

#include "launcher/patch/patch_result.h"

struct PatchContext;

PatchResult RunLauncherWorker(PatchContext& context);

// Decides and runs the launcher self-update. Returns whether an update was attempted;
// *result is then the worker result.
bool UpdateLauncher(PatchContext& context, PatchResult* result);

// Removes what earlier self-updates left in the game folder: renamers that did not delete
// themselves (killed, or never started) and the placeholders of renamers no longer there.
void RemoveRenamerLeftovers();
