#include "launcher/core/change_hook.h"

namespace {
ChangeHook g_changeHook = nullptr;
}  // namespace

void SetChangeHook(ChangeHook hook) { g_changeHook = hook; }

void NoteFileChange() {
  if (g_changeHook != nullptr) g_changeHook();
}
