// How a patch run ended. The values are the system's: host mode prints them on its
// "result" line, maps them to its exit code, and the logs show them as numbers.
#pragma once

enum PatchResult : int {
  PatchStopped = -1,          // the user or the host stopped the run
  PatchFailed = 0,
  PatchDone = 1,              // the game is current
  PatchLauncherUpdated = 2,   // the new launcher was handed to renamer
  PatchPlayRefused = 3,       // the game may not be played now (maintenance, client running)
};
