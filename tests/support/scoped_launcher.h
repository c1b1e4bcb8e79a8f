// g_launcher prepared for one Windows test: initialised with its lines captured, the
// launcher's resources and screens loaded, a scratch game directory; the fields a test may set are
// cleared again when the object goes, so the next test starts from the same state.
#pragma once
#include <string>

#include "launcher/app/launcher_app.h"
#include "launcher/core/launcher_mgr.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

class ScopedLauncher {
 public:
  ScopedLauncher() {
    Clear();
    mgr.m_hInstance = LauncherResources();
    UseLauncherScreens();
    CopyString(mgr.m_gameDir, (game.path() + "\\").c_str());
    CopyString(mgr.m_title, "talvenor");
  }
  ~ScopedLauncher() {
    Clear();
    mgr.m_hInstance = nullptr;
  }
  ScopedLauncher(const ScopedLauncher&) = delete;
  ScopedLauncher& operator=(const ScopedLauncher&) = delete;

  std::string GamePath(const std::string& name) const { return game / name; }

  CLauncherMgr& mgr = g_launcher;
  ScopedTempDir game;
  LogCapture log{g_launcher};

 private:
  void Clear() {
    for (char* field : {mgr.m_gameDir, mgr.m_title, mgr.m_loginAddress, mgr.m_clientArgs, mgr.m_domain, mgr.m_passN,
                        mgr.m_passV, mgr.m_passT, mgr.m_passport}) {
      field[0] = '\0';
    }
    mgr.m_npc = false;
    mgr.m_mainWnd = nullptr;
    mgr.m_installedFiles.Clear();
    mgr.m_installedFilesDirty = false;
  }
};
