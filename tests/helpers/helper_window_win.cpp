// Test helper: a top-level window of a given class that lives for a while.
//   helper_window.exe CLASS MILLISECONDS READY_FILE
// READY_FILE is created once the window exists; 0 milliseconds means "until killed".
#include "launcher/core/windows_api.h"

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  WNDCLASSA cls = {};
  cls.lpfnWndProc = DefWindowProcA;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = argv[1];
  if (RegisterClassA(&cls) == 0) return 3;
  HWND window = CreateWindowExA(0, argv[1], argv[1], WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, cls.hInstance, nullptr);
  if (window == nullptr) return 4;
  HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  const DWORD lifetime = static_cast<DWORD>(std::atoi(argv[2]));
  const DWORD start = GetTickCount();
  MSG msg;
  for (;;) {
    DWORD left = INFINITE;
    if (lifetime != 0) {
      DWORD elapsed = GetTickCount() - start;
      if (elapsed >= lifetime) break;
      left = lifetime - elapsed;
    }
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT) == WAIT_OBJECT_0) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
  }
  DestroyWindow(window);
  return 0;
}
