// Linked only into the kill tests' builds: Talvenor_killable.exe reads TALV_KILL_AT_CHANGE,
// renamer_killable.exe (the renamer Talvenor_killable embeds) TALV_KILL_RENAMER_AT_CHANGE.
// With N in that variable the program ends itself, as a kill from outside would, just before
// its N-th change to a file of the game or of the launcher's temporary folder. Exit code 77
// tells the test that the kill came; a run that ends by itself has made fewer changes than N.
#include "launcher/core/windows_api.h"

#include <atomic>
#include <cstdlib>

#include "launcher/core/change_hook.h"

#ifndef TALV_KILL_VARIABLE
#define TALV_KILL_VARIABLE "TALV_KILL_AT_CHANGE"
#endif

namespace {

constexpr UINT kKilledExitCode = 77;
std::atomic<long> g_changesLeft{0};  // several transfers may change files at once

void CountChange() {
  if (g_changesLeft.fetch_sub(1) == 1) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
}

struct InstallHook {
  InstallHook() {
    char value[32] = {};
    const DWORD n = GetEnvironmentVariableA(TALV_KILL_VARIABLE, value, sizeof(value));
    if (n == 0 || n >= sizeof(value)) return;
    g_changesLeft = std::atol(value);
    if (g_changesLeft > 0) SetChangeHook(&CountChange);
  }
} g_installHook;

}  // namespace
