// Program entry of renamer.exe: finishes the launcher's self-update. Waits until no launcher
// window is left, replaces the launcher's executable with the downloaded one, restarts it,
// then deletes itself. No window, no log, exit code 0.
#include "launcher/core/windows_api.h"

#include "launcher/core/change_hook.h"
#include "remover/self_delete.h"
#include "renamer/renamer_args.h"

namespace {

constexpr char kLauncherWindowClass[] = "pinfox_launcher";
// The launcher has usually gone within a moment of starting this program: look often, and
// give it about 31 seconds in all.
constexpr int kWindowChecks = 311;
constexpr DWORD kWindowPauseMs = 100;
// The launcher's window goes before its process does, and the executable of a process that
// is still ending cannot be replaced: on a busy machine that takes seconds, so the move gets
// about half a minute.
constexpr int kMoveAttempts = 31;
constexpr DWORD kPauseMs = 1000;

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool LauncherGone() {
  for (int check = 0; check < kWindowChecks; ++check) {
    if (FindWindowA(kLauncherWindowClass, nullptr) == nullptr) return true;
    Sleep(kWindowPauseMs);
  }
  return false;
}

template <typename Operation>
bool WithRetries(Operation operation) {
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    if (operation()) return true;
    Sleep(kPauseMs);
  }
  return false;
}

void Update(const RenamerArgs& args) {
  if (!Exists(args.target) || !Exists(args.newFile)) return;
  if (!LauncherGone()) return;
  // One rename over the old launcher: at every moment the game folder holds the old
  // launcher or the new one, whenever this program is killed. (A delete followed by a
  // rename left no launcher at all between the two.) A failed attempt changes nothing, so
  // the move is one change however many attempts it takes.
  NoteFileChange();
  if (!WithRetries([&] {
        return MoveFileExA(args.newFile, args.target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
      })) {
    return;
  }
  if (!args.restart) return;
  Sleep(kPauseMs);
  WinExec(args.restartCommand, SW_SHOWNORMAL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RenamerArgs args;
  if (ParseRenamerCommandLine(commandLine, &args)) Update(args);
  // Killed before this, the program stays behind as ren*.tmp.exe; the launcher's next start
  // removes it.
  NoteFileChange();
  DeleteOwnExecutable();
  return 0;
}
