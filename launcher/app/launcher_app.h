// The top floor of Talvenor.exe: it knows every screen. It creates the screens by type
// number, picks the first one by mode, runs host mode, and shows the messages of every floor.
// The CLauncherMgr operations that need the screens (Run, Shutdown, CreateDialog,
// RunHostMode) are defined here, not in launcher/core.
#pragma once

// Installs the message hook through which CLauncherMgr shows its messages: the skinned
// message box, or in host mode a "message : ID : TEXT" line with questions answered "no".
// Call before CLauncherMgr::Init, which may already show one.
void UseLauncherMessages();

// Host mode's answer to a message: the pipe line, then no (question) or OK.
int ShowHostMessage(int stringId, const char* text, int type);
