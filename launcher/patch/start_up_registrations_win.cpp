#include "launcher/patch/start_up_registrations.h"

#include "launcher/core/launcher_mgr.h"

bool PerformStartUpRegistrations() {
  bool lobby = g_launcher.IsLobbyApplicationRegistered() || g_launcher.RegisterLobbyApplication();
  bool emulation = g_launcher.SetBrowserEmulation();
  return lobby && emulation;
}
