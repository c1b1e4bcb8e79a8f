// The one way Windows files include the platform headers. The launcher's own operations
// carry names that <windows.h> defines as A/W macros (CreateDialog, MessageBox,
// RemoveDirectory, CreateProcess, ...); those macros are removed here so the names mean
// the launcher's members everywhere. Windows code calls the "A" functions by full name.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#undef CopyFile
#undef CreateDialog
#undef CreateDirectory
#undef CreateEvent
#undef CreateProcess
#undef DeleteFile
#undef FindResource
#undef GetCurrentDirectory
#undef GetTempFileName
#undef LoadBitmap
#undef LoadString
#undef MessageBox
#undef MoveFile
#undef RemoveDirectory
#undef SetCurrentDirectory
