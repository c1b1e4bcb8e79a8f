// The dialog procedure of the prerequisite download, for IDD_PREREQUISITE_DOWNLOAD (and for tests that
// build an equivalent template in memory). The parameter is the text of
// FormatDownloadParameter.
#pragma once
#include "launcher/core/windows_api.h"

#include "launcher/ui/prerequisite_download.h"

INT_PTR CALLBACK DownloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
