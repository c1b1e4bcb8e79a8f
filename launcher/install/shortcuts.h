// The shortcuts, folders and desktop.ini files an installation leaves behind it: the
// game's start-menu folder and user folder with their links, the desktop link, and the
// folder settings that give those folders the game's icon. Everything written is recorded
// in the installed-file list, so that the uninstaller takes it away again.
#pragma once
#include <cstddef>

// The desktop.ini text for an icon file and an info tip. False (out emptied) when it does
// not fit.
bool FormatDesktopIni(const char* iconFile, const char* tip, char* out, std::size_t outSize);

// title + ".lnk": the link names built from the product title. False (out emptied) when it
// does not fit.
bool TitleLinkName(const char* title, char* out, std::size_t outSize);

// --- Windows effects (shortcuts_win.cpp) ---------------------------------------------------

// Creates the start-menu folder Programs \ m_title and the user folder
// Documents \ m_userFolderName with its screenshots and my-files folders, writes the
// desktop.ini of both and the eight links of the installation (game folder, desktop, start
// menu), and records every file it writes. COM must be initialised on the calling thread.
void CreateShortcuts();

// Writes folder \ "desktop.ini" (hidden and system) with the game's icon, marks the folder
// as a system folder so that the shell reads it, and records the file. relativeIcon names
// the icon "Talvenor.exe" beside the file (the game folder's own), else the launcher in
// m_gameDir. False when the file could not be written; nothing for a null or empty folder.
bool WriteDesktopIni(const char* folder, bool relativeIcon);
