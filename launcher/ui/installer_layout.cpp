#include "launcher/ui/installer_layout.h"

namespace {

// The page as designed: 780 x 438 on an 800 x 600 screen.
constexpr int kPageWidth = 780;
constexpr int kPageHeight = 438;
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 600;
// Room kept under the page for the panel.
constexpr int kPanelRoom = 24;

constexpr int kNewestVersionClass = 7;

}  // namespace

LayoutRect InstallerPageArea(const LayoutRect& client) {
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  int w = width * kPageWidth / kDesignWidth;
  int h = w * kPageHeight / kPageWidth;
  const int byHeight = height * kPageHeight / kDesignHeight;
  if (h >= byHeight - kPanelRoom) {
    w = byHeight * kPageWidth / kPageHeight;
    h = byHeight;
  }
  LayoutRect area;
  area.left = client.left + (width - w) / 2;
  area.top = client.top + (height - h) / 2;
  area.right = area.left + w;
  area.bottom = area.top + h;
  return area;
}

LayoutPoint MovedControl(const LayoutRect& client, const LayoutRect& dialog, const LayoutRect& control) {
  const int width = client.right - client.left;
  const int dialogWidth = dialog.right - dialog.left;
  LayoutPoint at;
  at.x = client.left + (width - dialogWidth) / 2 + control.left;
  at.y = dialog.top + client.bottom + control.top - dialog.bottom;
  return at;
}

ScreenType ScreenAfterAgreement(int windowsVersionClass, bool administrator, const char* gameDir) {
  const bool hasGameDir = gameDir != nullptr && gameDir[0] != '\0';
  if (windowsVersionClass == kNewestVersionClass && !administrator && hasGameDir) return ScreenInstaller;
  return ScreenInstallFolder;
}
