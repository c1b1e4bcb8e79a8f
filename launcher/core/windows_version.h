// Which Windows the launcher runs on, and whether its user may write the machine's settings.
#pragma once

// The version class the installer's screens decide by: 0 unknown, 1 4.0, 2 4.10, 3 4.90,
// 4 5.0, 5 5.2, 6 5.1, 7 major 6 or 7 and the other minors of 4 and 5.
int GetWindowsVersionClass();
// A member of the Administrators group, also when running with a filtered token.
bool IsUserAdministrator();
// The same test for a given access token (opened for querying); IsUserAdministrator asks it
// of the process's own token.
bool IsAdministratorToken(void* token);

// The class of a reported version; queried false when the system could not be asked.
int WindowsVersionClassOf(unsigned major, unsigned minor, bool queried);
