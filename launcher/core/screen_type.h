// The launcher's screens by type: CLauncherMgr::CreateDialog makes them, and a screen names
// the one that follows it. The values are the system's and appear in the log.
#pragma once

// Any other value makes the launcher screen.
enum ScreenType : int {
  ScreenLogo = 0,
  ScreenAgreement = 1,
  ScreenInstallFolder = 2,
  ScreenInstaller = 3,
  ScreenPrerequisites = 4,
  ScreenFinish = 5,
  ScreenLauncher = 6,
  ScreenPlayAgreement = 7,
  ScreenUninstaller = 8,
};
