// The arithmetic of the install screens, kept apart from the windows so that it can be
// checked on every build: where the installer page goes on the stretched installer screen,
// where its panel and cancel button move, and which screen follows the agreement.
#pragma once
#include "launcher/core/screen_type.h"

struct LayoutRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct LayoutPoint {
  int x = 0;
  int y = 0;
};

// The installer page's area in a main-window client area of width x height: 780 x 438 of
// an 800 x 600 client, scaled with the width unless the height would leave less than 24
// pixels under it, then scaled with the height.
LayoutRect InstallerPageArea(const LayoutRect& client);

// Where a control of the installer screen goes once the screen covers the client area:
// centred across as the whole template was, at the same distance from the bottom.
// dialog is the screen's window rectangle before it was stretched, control the control's
// rectangle within the screen.
LayoutPoint MovedControl(const LayoutRect& client, const LayoutRect& dialog, const LayoutRect& control);

// The screen after the agreement: the installer itself for a standard user of the newest
// systems, who could not create a folder in the proposed places, else the folder page.
// Without a game folder (none registered, none chosen) the installer would write into a
// relative path, so the folder page comes then whatever the rights.
ScreenType ScreenAfterAgreement(int windowsVersionClass, bool administrator, const char* gameDir);
