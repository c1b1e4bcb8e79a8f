// The controls of a dialog by id: find one, set or read its text, enable or show it. A
// missing control is no error: the call does nothing (reads give an empty text).
#pragma once
#include "launcher/core/windows_api.h"

#include <cstddef>

inline HWND FindItem(HWND dialog, int id) { return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr; }

inline void SetItemText(HWND dialog, int id, const char* text) {
  if (HWND item = FindItem(dialog, id)) SetWindowTextA(item, text);
}

// Reads at most size - 1 bytes, always terminated.
inline void GetItemText(HWND dialog, int id, char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  if (HWND item = FindItem(dialog, id)) GetWindowTextA(item, buffer, static_cast<int>(size));
}

inline void EnableItem(HWND dialog, int id, bool enable) {
  if (HWND item = FindItem(dialog, id)) EnableWindow(item, enable ? TRUE : FALSE);
}

inline void ShowItem(HWND dialog, int id, bool show) {
  if (HWND item = FindItem(dialog, id)) ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}
