// The top floor of Talvenor.exe: it knows every screen. It creates the screens by type
// number, picks the first one by mode, runs host mode, and shows the messages of every floor.
// CLauncherMgr reaches the screens through the hooks installed here: core knows none.
#pragma once

class CLauncherMgr;

// Installs the message hook through which CLauncherMgr shows its messages: the skinned
// message box, or in host mode a "message : ID : TEXT" line with questions answered "no".
// Call before CLauncherMgr::Init, which may already show one.
void UseLauncherMessages();

// Host mode's answer to a message: the pipe line, then no (question) or OK.
int ShowHostMessage(int stringId, const char* text, int type);

// Installs the screen hooks through which CLauncherMgr creates and destroys the screens and
// runs: call before CLauncherMgr::Run.
void UseLauncherScreens();

// The run after start-up: the first screen by mode and the message loop, or host mode.
void RunLauncher(CLauncherMgr& mgr);
// Host mode ("/pipe"): the run without a dialog, driven through standard input/output.
void RunHostMode(CLauncherMgr& mgr);
