// Where dialogs, message boxes and the small modal dialogs draw their skinned look: the
// framed background and the owner-drawn controls (labels, buttons, close and minimise
// boxes). Every window of the launcher paints through these two, so the skin is wired in
// at one place.
#pragma once
#include "launcher/core/windows_api.h"

// The frame background over the window's client area.
void PaintDialogBackground(HDC dc, HWND window);
// One owner-drawn control with its text ("#" centres a label line, "@" marks the default
// button; neither marker is drawn).
void PaintDialogItem(const char* text, const DRAWITEMSTRUCT* item);
