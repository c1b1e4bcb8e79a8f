#include "launcher/ui/dlg_notice.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/windows_version.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/installer_layout.h"

void ShowServiceAgreement(HWND dialog) {
  std::uint32_t size = 0;
  const void* agreement = g_launcher.LoadBinResource(IDR_AGREEMENT, &size);
  if (agreement == nullptr) return;
  // The resource carries no terminating zero of its own.
  std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
  if (!text) return;
  std::memcpy(text.get(), agreement, size);
  text[size] = '\0';
  SetItemText(dialog, IDC_AGREEMENT_TEXT, text.get());
}

void CDlgLauncherNotice::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDC_NEXT:
      Destroy();
      if (g_launcher.StartClient(g_launcher.m_clientArgs, g_launcher.ReadClientVersion())) {
        g_launcher.MinimizeMainWindow();
        g_launcher.DestroyMainWindow();
      } else {
        g_launcher.ShowMessage(0, IDS_RUN_FAILED, kMessageInfo);
      }
      break;
    case IDC_CANCEL_PAGE:
    case IDC_CLOSE_BOX: g_launcher.DestroyMainWindow(); break;
    default: break;
  }
}

void CDlgNotice::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDC_NEXT: {
      const ScreenType next =
          ScreenAfterAgreement(GetWindowsVersionClass(), IsUserAdministrator(), g_launcher.m_gameDir);
      Destroy();
      g_launcher.CreateDialog(next);
      break;
    }
    case IDC_CANCEL_PAGE:
    case IDC_CLOSE_BOX:
      if (g_launcher.ShowMessage(0, IDS_CANCEL_INSTALL, kMessageQuestion) == IDYES) {
        g_launcher.DestroyMainWindow();
      }
      break;
    default: break;
  }
}
