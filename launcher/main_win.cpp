// Program entry of Talvenor.exe.
#include "launcher/core/windows_api.h"

#include "launcher/app/launcher_app.h"
#include "launcher/core/launcher_mgr.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  UseLauncherMessages();
  if (!g_launcher.Init(commandLine, instance)) return 0;
  g_launcher.Run();
  const int exitCode = g_launcher.m_exitCode;
  g_launcher.Shutdown();
  return exitCode;
}
