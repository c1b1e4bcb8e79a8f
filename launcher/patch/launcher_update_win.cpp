// The launcher self-update.
#include "launcher/patch/launcher_worker.h"

bool UpdateLauncher(PatchContext&, int* result) {
  if (result != nullptr) *result = 0;
  return false;  // not attempted
}
