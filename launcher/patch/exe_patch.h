// The self-extracting patch: a launcher whose executable carries a zip archive of changed
// game files (and the range of game versions it applies to) patches from that archive
// instead of the server. Also the development client, fetched and unpacked over FTP.
#pragma once

class CPatchHelper;

// 1 success (patched or current), 0 failure, -1 stopped.
int ExePatchMainProc(CPatchHelper& helper);
// Extracts the archive into the temporary folder and fills the copy list.
bool ExtractPatch(CPatchHelper& helper);
// Downloads DevClient.zip from the address and unpacks it into the game directory.
bool FetchDevClient(const char* address, CPatchHelper& helper);
