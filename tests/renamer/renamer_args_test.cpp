#include "renamer/renamer_args.h"

#include <gtest/gtest.h>

#include <string>

TEST(RenamerArgs, SplitsTargetNewFileAndRestartArguments) {
  struct Case {
    const char* tail;
    const char* target;
    const char* newFile;
    bool restart;
    const char* restartCommand;
  } cases[] = {
      {"Talvenor.exe new.exe domain:tw /N:n /V:v /T:t /P:p", "Talvenor.exe", "new.exe", true,
       "Talvenor.exe domain:tw /N:n /V:v /T:t /P:p"},
      {"Talvenor.exe new.exe", "Talvenor.exe", "new.exe", true, "Talvenor.exe "},
      {"  Talvenor.exe   new.exe   a    b  ", "Talvenor.exe", "new.exe", true, "Talvenor.exe a b"},
      {"Talvenor.exe new.exe bg domain:tw", "Talvenor.exe", "new.exe", false, "Talvenor.exe bg domain:tw"},
      {"Talvenor.exe new.exe BG", "Talvenor.exe", "new.exe", true, "Talvenor.exe BG"},
      {"Talvenor.exe new.exe x bg", "Talvenor.exe", "new.exe", true, "Talvenor.exe x bg"},
      {"Talvenor.exe new.exe bgx", "Talvenor.exe", "new.exe", true, "Talvenor.exe bgx"},
      // Tabs and quotes are ordinary characters.
      {"a\tb.exe \"n.exe\" c\td", "a\tb.exe", "\"n.exe\"", true, "a\tb.exe c\td"},
  };
  for (const auto& c : cases) {
    RenamerArgs args;
    ASSERT_TRUE(ParseRenamerCommandLine(c.tail, &args)) << c.tail;
    EXPECT_STREQ(args.target, c.target) << c.tail;
    EXPECT_STREQ(args.newFile, c.newFile) << c.tail;
    EXPECT_EQ(args.restart, c.restart) << c.tail;
    EXPECT_STREQ(args.restartCommand, c.restartCommand) << c.tail;
  }
}

TEST(RenamerArgs, NothingToReplaceWithFewerThanTwoTokensOrOverLongNames) {
  const std::string longest(127, 'n');
  const std::string tooLong(128, 'n');
  for (const std::string& tail : {std::string(), std::string("   "), std::string("Talvenor.exe"),
                                  "Talvenor.exe " + tooLong, tooLong + " new.exe"}) {
    RenamerArgs args;
    EXPECT_FALSE(ParseRenamerCommandLine(tail.c_str(), &args)) << tail;
    EXPECT_STREQ(args.target, "");
    EXPECT_STREQ(args.newFile, "");
    EXPECT_FALSE(args.restart);
  }
  RenamerArgs args;
  EXPECT_FALSE(ParseRenamerCommandLine(nullptr, &args));
  ASSERT_TRUE(ParseRenamerCommandLine((longest + " " + longest).c_str(), &args));
  EXPECT_EQ(std::string(args.target), longest);
  EXPECT_EQ(std::string(args.newFile), longest);
}

// Restart arguments beyond the limits are never cut: the launcher is replaced but not
// restarted with options it was not given.
TEST(RenamerArgs, RestartArgumentsBeyondTheLimitsPreventTheRestartOnly) {
  const std::string base = "Talvenor.exe new.exe";
  struct Case {
    std::string tail;
    bool restart;
  } cases[] = {
      {base + " 3 4 5 6 7 8 9 10", true},
      {base + " 3 4 5 6 7 8 9 10 11", false},
      {base + " " + std::string(1023, 'p'), true},
      {base + " " + std::string(1024, 'p'), false},
      {base + " " + std::string(1023, 'p') + " " + std::string(1002, 'q'), true},  // 2047 bytes
      {base + " " + std::string(1023, 'p') + " " + std::string(1003, 'q'), false},
  };
  for (const auto& c : cases) {
    RenamerArgs args;
    ASSERT_TRUE(ParseRenamerCommandLine(c.tail.c_str(), &args)) << c.tail.size();
    EXPECT_EQ(args.restart, c.restart) << c.tail.size();
    EXPECT_STREQ(args.target, "Talvenor.exe");
    EXPECT_STREQ(args.newFile, "new.exe");
    if (c.restart) {
      EXPECT_EQ(std::string(args.restartCommand), "Talvenor.exe " + c.tail.substr(base.size() + 1));
    } else {
      EXPECT_STREQ(args.restartCommand, "");
    }
  }
}
