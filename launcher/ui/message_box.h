// The launcher's modal message box: template 114 asks (yes 6, no 7), 115 informs (OK 1) and
// closes itself after a while. CLauncherMgr::MessageBox hands its text here through the
// message hook that the program installs (launcher/app).
#pragma once

// Shows text as type (4 question, else information) owned by the main window; returns the
// button that closed it, or 0 when an information box closed itself. A text beginning with a
// backspace or tab byte keeps the box on top (the byte is not shown).
int ShowMessageDialog(const char* text, int type);
