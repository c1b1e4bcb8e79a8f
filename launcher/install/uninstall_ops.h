// What an uninstallation removes besides the screen that asks for it. Every operation
// ignores the failures of the ones before it: whatever can go, goes.
#pragma once

// The start-menu folder Programs \ m_title with all its content, m_gameDir's
// "Uninstall.lnk", and on the desktop m_title + ".lnk" and the link named by string 58.
// Only inside the installation's places (see install_places.h), and never through a link.
void RemoveShortcuts();

// Deletes the five values of the Add/Remove Programs entry of m_title under the local
// machine; the key itself stays.
void RemoveUninstallEntry();

// The removal steps of the uninstall command, in order: the recorded files (loaded first),
// the shortcuts, the uninstall entry, the DirectPlay8 key, the product key and the browser
// emulation value; last the product key is written again with an empty default value.
// The screen then shows its message and starts the self-remover.
void RemoveInstallation();
