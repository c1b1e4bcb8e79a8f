#include "launcher/patch/move_journal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

JournalMove Backup(const char* game, const char* backup) {
  JournalMove move;
  move.kind = JournalMoveKind::kBackup;
  move.gameName = game;
  move.backupName = backup;
  return move;
}

JournalMove New(const char* game) {
  JournalMove move;
  move.gameName = game;
  return move;
}

bool Parse(const std::string& text, MoveJournal* journal) { return ParseMoveJournal(text.data(), text.size(), journal); }

TEST(MoveJournal, WhatIsWrittenReadsBack) {
  const std::string text = FormatJournalRun(1, 2) + FormatJournalMove(Backup("data\\a.txt", "patch\\old\\data\\a.txt")) +
                           FormatJournalMove(New("data\\\xB3\x5C.txt")) + FormatJournalUndo(0) + FormatJournalUndone();
  MoveJournal journal;
  ASSERT_TRUE(Parse(text, &journal));
  EXPECT_TRUE(journal.hasRun);
  EXPECT_EQ(journal.fromVersion, 1u);
  EXPECT_EQ(journal.toVersion, 2u);
  ASSERT_EQ(journal.moves.size(), 2u);
  EXPECT_EQ(journal.moves[0].kind, JournalMoveKind::kBackup);
  EXPECT_EQ(journal.moves[0].gameName, "data\\a.txt");
  EXPECT_EQ(journal.moves[0].backupName, "patch\\old\\data\\a.txt");
  EXPECT_EQ(journal.moves[1].kind, JournalMoveKind::kNew);
  EXPECT_EQ(journal.moves[1].gameName, "data\\\xB3\x5C.txt");
  EXPECT_EQ(journal.undoStarted, (std::vector<bool>{true, false}));
  EXPECT_TRUE(journal.undone);
  EXPECT_FALSE(journal.committed);
  EXPECT_EQ(FormatJournalRun(4294967295u, 0), "run 4294967295 0\n");
}

TEST(MoveJournal, ALineCutByAKillIsLeftOut) {
  const std::string whole = FormatJournalRun(3, 4) + FormatJournalMove(New("a.bin"));
  const std::string next = FormatJournalMove(New("b.bin"));
  for (std::size_t cut = 0; cut < next.size(); ++cut) {
    MoveJournal journal;
    ASSERT_TRUE(Parse(whole + next.substr(0, cut), &journal)) << cut;
    EXPECT_EQ(journal.moves.size(), 1u) << cut;
  }
  MoveJournal journal;
  ASSERT_TRUE(Parse("run 3", &journal));  // even the first line: nothing had moved
  EXPECT_FALSE(journal.hasRun);
  ASSERT_TRUE(Parse("", &journal));
  EXPECT_FALSE(JournalNeedsUndo(journal, 0));
}

TEST(MoveJournal, AnythingElseIsRefused) {
  const std::string run = FormatJournalRun(1, 2);
  for (const std::string& text : std::vector<std::string>{
           "new a.txt\n",                       // no run line first
           run + run,                                        // a second run
           "run 1\n", "run 1 2 3\n", "run -1 2\n", "run 1 99999999999\n", "run 1 4294967296\n",
           run + "new ..\\x\n", run + "new C:\\x\n", run + "new \\x\n", run + "new \n",
           run + "backup a.txt\n", run + "backup a.txt\t..\\b\n", run + "backup a\tb\tc\n",
           run + "new a\tb\n", run + std::string("new a\0b\n", 8),
           run + "undo 0\n",                                  // nothing to undo yet
           run + "new a\nundo 0\n",                           // a new file is undone by deleting
           run + "backup a\tb\nundo 1\n", run + "backup a\tb\nundo x\n",
           run + "commit\nnew a\n", run + "undone\ncommit\n", run + "move a\n", run + "\n",
       }) {
    MoveJournal journal;
    EXPECT_FALSE(Parse(text, &journal)) << text;
    EXPECT_TRUE(journal.moves.empty());
  }
  EXPECT_EQ(FormatJournalMove(New("..\\x")), "");
  EXPECT_EQ(FormatJournalMove(New("a\tb")), "");
  EXPECT_EQ(FormatJournalMove(Backup("a", "b\nc")), "");
  EXPECT_EQ(FormatJournalMove(New(std::string(260, 'x').c_str())), "");
}

TEST(MoveJournal, WhichRunsAreUndone) {
  const std::string moved = FormatJournalRun(1, 2) + FormatJournalMove(New("a.txt"));
  struct Case {
    std::string text;
    std::uint32_t installed;
    bool undo;
  } cases[] = {
      {moved, 1, true},
      {moved, 2, false},  // killed between the version write and the commit line
      {moved + FormatJournalCommit(), 1, false},
      {moved + FormatJournalUndone(), 1, false},
      {FormatJournalRun(1, 2), 1, false},  // nothing moved yet
      {FormatJournalRun(2, 2) + FormatJournalMove(New("a.txt")), 2, true},  // a forced run
  };
  for (const Case& c : cases) {
    MoveJournal journal;
    ASSERT_TRUE(Parse(c.text, &journal)) << c.text;
    EXPECT_EQ(JournalNeedsUndo(journal, c.installed), c.undo) << c.text << c.installed;
  }
}

}  // namespace
