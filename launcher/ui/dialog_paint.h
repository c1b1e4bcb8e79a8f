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
// WM_PAINT and WM_DRAWITEM of the modal dialogs (message boxes, the download dialog), which
// draw a control's text from a 512-byte buffer. True when the message was one of the two.
bool PaintModalDialogMessage(HWND window, UINT message, LPARAM lParam);
