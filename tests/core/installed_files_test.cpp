#include "launcher/core/installed_file_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "tests/support/log_capture.h"

namespace {

using AddResult = InstalledFileTree::AddResult;

std::string Reparsed(const std::string& text) {
  InstalledFileTree tree;
  EXPECT_TRUE(tree.Parse(text.data(), text.size())) << text;
  return tree.Serialize();
}

}  // namespace

TEST(InstalledFiles, TextFormOfTwoFilesInOneFolder) {
  InstalledFileTree tree;
  EXPECT_EQ(tree.Serialize(), "%");
  EXPECT_EQ(tree.Add("C:\\G\\version.dat"), AddResult::Added);
  EXPECT_EQ(tree.Add("C:\\G\\a.lnk"), AddResult::Added);
  const std::string text = "C:*G*a.lnk*%version.dat*%%%%";
  EXPECT_EQ(tree.Serialize(), text);
  EXPECT_EQ(Reparsed(text), text);
}

TEST(InstalledFiles, RoundTripsOfDeepWideAndLongNamedRecords) {
  InstalledFileTree tree;
  for (const char* path : {"C:/Games/Talvenor/data/a.pak", "D:\\x", "C:\\Games\\Talvenor\\\xAD\xB5\xA4\xE5.txt",
                           "C:\\Games\\Talvenor\\data\\b.pak"}) {
    EXPECT_EQ(tree.Add(path), AddResult::Added) << path;
  }
  // Names up to the node limit survive the text form, the 64-byte ones included.
  const std::string name64(64, 'n'), name255(255, 'm');
  EXPECT_EQ(tree.Add(("C:\\" + name64 + "\\" + name255).c_str()), AddResult::Added);
  std::string deep;
  for (std::size_t i = 0; i < InstalledFileTree::kMaxDepth; ++i) deep += "d\\";
  EXPECT_EQ(tree.Add(deep.c_str()), AddResult::Added);
  EXPECT_EQ(tree.Add((deep + "e").c_str()), AddResult::Refused);

  const std::string text = tree.Serialize();
  EXPECT_EQ(Reparsed(text), text);
  EXPECT_EQ(text.rfind("d*d*", 0), 0u);  // the last recorded top-level node comes first
}

TEST(InstalledFiles, RecordingTwiceAndLetterCase) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  mgr.AddInstalledFile("C:\\G\\version.dat");
  EXPECT_TRUE(mgr.m_installedFilesDirty);
  const std::string once = mgr.m_installedFiles.Serialize();
  mgr.m_installedFilesDirty = false;

  mgr.AddInstalledFile("C:/G//version.dat");  // same components, other separators
  mgr.AddInstalledFile(nullptr);
  EXPECT_FALSE(mgr.m_installedFilesDirty);
  EXPECT_EQ(mgr.m_installedFiles.Serialize(), once);

  mgr.AddInstalledFile("C:\\g\\version.dat");
  EXPECT_TRUE(mgr.m_installedFilesDirty);
  EXPECT_EQ(mgr.m_installedFiles.Serialize(), "C:*g*version.dat*%%G*version.dat*%%%%");
  // A new folder above a known file is a change too.
  mgr.m_installedFilesDirty = false;
  mgr.AddInstalledFile("C:\\G");
  EXPECT_FALSE(mgr.m_installedFilesDirty);
  EXPECT_TRUE(log.lines().empty()) << log.Joined();
}

TEST(InstalledFiles, PathsTheTextFormCannotHoldAreRefused) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  const std::string longName(256, 'x');
  for (const std::string& path : {std::string("C:\\G\\100%.txt"), std::string("C:\\a*b"), std::string(""),
                                 std::string("\\//"), "C:\\" + longName}) {
    mgr.AddInstalledFile(path.c_str());
    EXPECT_TRUE(log.Contains("CLauncherMgr::AddInstalledFile() : \"" + path + "\" cannot be recorded.")) << path;
  }
  EXPECT_FALSE(mgr.m_installedFilesDirty);
  EXPECT_TRUE(mgr.m_installedFiles.empty());
}

TEST(InstalledFiles, DamagedTextEndsTheParseAndKeepsWhatCameBefore) {
  const std::string tooLong(256, 'L');
  std::string tooDeep;
  for (std::size_t i = 0; i <= InstalledFileTree::kMaxDepth; ++i) tooDeep += "d*";
  struct Case {
    std::string text;
    std::string kept;
  } cases[] = {
      {"", "%"},
      {"C:*G*a.lnk*%version.dat*%%%", "C:*G*a.lnk*%version.dat*%%%%"},  // last "%" missing
      {"C:*G*a.lnk", "C:*G*a.lnk*%%%%"},
      {"C:*G", "C:*G*%%%"},
      {"C:**%%%", "C:*%%"},                     // stray "*": an empty name
      {"*%", "%"},
      {"a*%" + tooLong + "*%%", "a*%%"},        // a name beyond the node limit
      {tooDeep, ""},                            // checked below: nothing beyond the limit
      {std::string("a*%\0b*%%", 8), "a*%%"},    // the value ends at its zero
  };
  for (const auto& c : cases) {
    InstalledFileTree tree;
    tree.Add("Z:\\old");  // replaced by whatever the parse reads
    EXPECT_FALSE(tree.Parse(c.text.data(), c.text.size())) << c.text;
    if (!c.kept.empty()) {
      EXPECT_EQ(tree.Serialize(), c.kept) << c.text;
    }
  }
  // Trailing bytes after the closing "%" are not part of the record.
  InstalledFileTree tree;
  EXPECT_TRUE(tree.Parse("a*%%junk*", 9));
  EXPECT_EQ(tree.Serialize(), "a*%%");
  // A node without a child list is read as a file.
  EXPECT_TRUE(tree.Parse("a%", 2));
  EXPECT_EQ(tree.Serialize(), "a*%%");

  CLauncherMgr mgr;
  LogCapture log(mgr);
  mgr.m_installedFilesDirty = true;
  EXPECT_FALSE(mgr.ParseInstalledFiles("C:*G", 4));
  EXPECT_FALSE(mgr.m_installedFilesDirty);
  EXPECT_TRUE(log.Contains("CLauncherMgr::LoadInstalledFiles() : \"Files\" is damaged; the record ends at the fault."));
}

TEST(InstalledFiles, WalkVisitsFilesThenTheirFolder) {
  InstalledFileTree tree;
  tree.Add("C:\\G\\version.dat");
  tree.Add("C:\\G\\sub\\x.bin");
  tree.Add("C:\\G\\a.lnk");
  tree.Add("top.txt");
  const std::string wide = "C:\\" + std::string(255, 'w');
  tree.Add((wide + "\\" + std::string(10, 'v')).c_str());  // the file's path is too long to name
  std::vector<std::string> visits;
  tree.Walk(
      [](const char* path, bool folder, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(folder ? "D " : "F ") + path);
      },
      &visits);
  const std::vector<std::string> expected = {
      "F top.txt", "D " + wide, "F C:\\G\\a.lnk", "F C:\\G\\sub\\x.bin", "D C:\\G\\sub",
      "F C:\\G\\version.dat", "D C:\\G", "D C:",
  };
  EXPECT_EQ(visits, expected);
}
