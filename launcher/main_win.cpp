// Program entry of Talvenor.exe.
#include "launcher/core/windows_api.h"

#include "launcher/app/launcher_app.h"
#include "launcher/core/launcher_mgr.h"

// The publisher's key of the update documents: each launcher program links its own
// definition, made from a build setting (empty: none).
extern const char kUpdatePublicKey[];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  g_launcher.m_updatePublicKey = kUpdatePublicKey;
  UseLauncherMessages();
  UseLauncherScreens();
  if (!g_launcher.Init(commandLine, instance)) return 0;
  g_launcher.Run();
  const int exitCode = g_launcher.m_exitCode;
  g_launcher.Shutdown();
  return exitCode;
}
