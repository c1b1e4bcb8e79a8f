// Program entry of talvremover.exe: deletes the launcher's executable once the launcher has
// exited, then its folder when that is empty, then itself. No window, no log, exit code 0.
#include "launcher/core/windows_api.h"

#include "remover/remover_args.h"
#include "remover/self_delete.h"

namespace {

constexpr int kAttempts = 10;
constexpr DWORD kPauseMs = 1000;

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Retries until the path is gone; the launcher may still be closing for a while.
template <typename Remove>
void RemoveWithRetries(const char* path, Remove remove) {
  for (int attempt = 0; attempt < kAttempts && Exists(path); ++attempt) {
    remove(path);
    Sleep(kPauseMs);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RemoverArgs args;
  if (ParseRemoverCommandLine(commandLine, &args)) {
    RemoveWithRetries(args.file, DeleteFileA);
    // Removal succeeds only once the folder is empty: the game's data keeps it.
    if (args.folder[0] != '\0') RemoveWithRetries(args.folder, RemoveDirectoryA);
  }
  DeleteOwnExecutable();
  return 0;
}
