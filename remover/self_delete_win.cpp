#include "remover/self_delete.h"

#include <cstring>

#include "launcher/core/file_system.h"
#include "launcher/core/limits.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"
#include "launcher/core/windows_api.h"

void DeleteOwnExecutable() {
  char modulePath[kMaxPath];
  char shortPath[kMaxPath];
  char shell[kMaxPath];
  if (!GetModulePath(modulePath)) return;
  DWORD n = GetShortPathNameA(modulePath, shortPath, sizeof(shortPath));
  if (n == 0 || n >= sizeof(shortPath)) return;
  n = GetEnvironmentVariableA("COMSPEC", shell, sizeof(shell));
  if (n == 0 || n >= sizeof(shell)) return;

  // Where the volume keeps no 8.3 names the short path is the long one and may hold
  // spaces, which "del" would take as several names.
  char parameters[kMaxPath + 32];
  const char* format = std::strchr(shortPath, ' ') != nullptr ? "/c del \"%s\" > nul" : "/c del %s > nul";
  if (!FormatString(parameters, sizeof(parameters), format, shortPath)) return;

  SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "Open";
  info.lpFile = shell;
  info.lpParameters = parameters;
  info.lpDirectory = nullptr;
  info.nShow = SW_HIDE;
  if (ShellExecuteExA(&info)) {
    CKernelHandle interpreter(info.hProcess);
    if (interpreter) {
      SetPriorityClass(interpreter.get(), IDLE_PRIORITY_CLASS);
      SetProcessPriorityBoost(interpreter.get(), TRUE);
    }
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, shortPath, nullptr);
  } else {
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
  }
}
