// Linked only into Talvenor_nojournal.exe, the benchmark's launcher: the same program with
// the move journal switched off, so bench/patch/run can say what the journal costs a run.
#include "launcher/patch/move_journal_file.h"

namespace {

struct SwitchOff {
  SwitchOff() { SetMoveJournalEnabled(false); }
} g_switchOff;

}  // namespace
