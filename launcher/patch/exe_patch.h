// The self-extracting patch: a launcher whose executable carries a zip archive of changed
// game files (and the range of game versions it applies to) patches from that archive
// instead of the server. Also the development client, fetched and unpacked over FTP.
#pragma once

#include "launcher/patch/patch_result.h"

class CPatchHelper;

// Done: patched, or current already.
PatchResult ExePatchMainProc(CPatchHelper& helper);
// Extracts the archive into the temporary folder and fills the copy list.
bool ExtractPatch(CPatchHelper& helper);
// Downloads DevClient.zip from the address and unpacks it into the game directory.
bool FetchDevClient(const char* address, CPatchHelper& helper);
