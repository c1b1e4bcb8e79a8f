#include "launcher/ui/dlg_notice.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/windows_version.h"
#include "launcher/ui/installer_layout.h"

namespace {

constexpr int kMessageCancelInstall = 3;

}  // namespace

void ShowServiceAgreement(HWND dialog) {
  std::uint32_t size = 0;
  const void* agreement = g_launcher.LoadBinResource(111, &size);
  if (agreement == nullptr) return;
  // The resource carries no terminating zero of its own.
  std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
  if (!text) return;
  std::memcpy(text.get(), agreement, size);
  text[size] = '\0';
  SetDlgItemTextA(dialog, 1001, text.get());
}

void CDlgLauncherNotice::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case 1009:
      Destroy();
      if (g_launcher.StartClient(g_launcher.m_clientArgs, g_launcher.ReadClientVersion())) {
        g_launcher.MinimizeMainWindow();
        g_launcher.DestroyMainWindow();
      } else {
        g_launcher.ShowMessage(0, 35, kMessageInfo);
      }
      break;
    case 1010:
    case 1032: g_launcher.DestroyMainWindow(); break;
    default: break;
  }
}

void CDlgNotice::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case 1009: {
      const int next = ScreenAfterAgreement(GetWindowsVersionClass(), IsUserAdministrator(), g_launcher.m_gameDir);
      Destroy();
      g_launcher.CreateDialog(next);
      break;
    }
    case 1010:
    case 1032:
      if (g_launcher.ShowMessage(0, kMessageCancelInstall, kMessageQuestion) == IDYES) {
        g_launcher.DestroyMainWindow();
      }
      break;
    default: break;
  }
}
