// Program entry of talvremover.exe (removes the launcher after an uninstallation).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
