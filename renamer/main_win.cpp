// Program entry of renamer.exe (replaces the launcher after a self-update).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
