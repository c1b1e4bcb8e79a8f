// How a patch run ended. The values are the system's: host mode prints them on its
// "result" line, maps them to its exit code, and the logs show them as numbers.
#pragma once

enum PatchResult : int {
  PatchStopped = -1,          // the user or the host stopped the run
  PatchFailed = 0,
  PatchDone = 1,              // the game is current
  PatchLauncherUpdated = 2,   // the new launcher was handed to renamer
  PatchPlayRefused = 3,       // the game may not be played now (maintenance, client running)
  PatchRepaired = 4,          // repair run: broken files were fetched again or removed ones taken away
  PatchIntact = 5,            // repair run: every file was as the latest version has it
};

// The results after which the game may be started.
inline bool IsPlayableResult(PatchResult result) {
  return result == PatchDone || result == PatchRepaired || result == PatchIntact;
}
