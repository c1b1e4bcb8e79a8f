#include "launcher/core/install_places.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Verdict = InstallPlaces::Verdict;

// Big5: 許 is B3 5C and 功 A5 5C (a trail byte that is the byte of "\"); A4 61 and A4 41
// are two different characters whose trail bytes are "a" and "A".
constexpr const char kUserFolder[] = "C:\\Docs\\\xB3\x5C\xA4\x61";

InstallPlaces Places() {
  InstallPlaces places;
  places.ProtectTree("C:\\Windows");
  places.Protect("C:\\Program Files");
  places.Protect("C:\\Users\\u");
  EXPECT_TRUE(places.AddFolder("C:\\Games\\Talvenor\\"));
  EXPECT_TRUE(places.AddFolder("C:/Menu/Programs/talvenor"));
  EXPECT_TRUE(places.AddFolder(kUserFolder));
  EXPECT_TRUE(places.AddFile("C:\\Users\\u\\Desktop\\talvenor.lnk"));
  return places;
}

}  // namespace

TEST(InstallPlaces, JudgesWholeComponentsWithoutCase) {
  const InstallPlaces places = Places();
  const std::string game = "C:\\Games\\Talvenor";
  struct Case {
    const char* path;
    Verdict verdict;
    const char* canonical;  // for Inside
    std::size_t placeLength;
  } cases[] = {
      {"C:\\Games\\Talvenor\\data\\a.pak", Verdict::Inside, "C:\\Games\\Talvenor\\data\\a.pak", game.size()},
      {"c:/games//TALVENOR/data/", Verdict::Inside, "c:\\games\\TALVENOR\\data", game.size()},
      {"C:\\Games\\Talvenor", Verdict::Inside, "C:\\Games\\Talvenor", game.size()},
      {"C:\\Menu\\Programs\\talvenor\\own.txt", Verdict::Inside, "C:\\Menu\\Programs\\talvenor\\own.txt", 25},
      {"C:\\Users\\u\\Desktop\\TALVENOR.LNK", Verdict::Inside, "C:\\Users\\u\\Desktop\\TALVENOR.LNK", 31},
      {"C:\\Docs\\\xB3\x5C\xA4\x61\\x.ini", Verdict::Inside, "C:\\Docs\\\xB3\x5C\xA4\x61\\x.ini", 12},
      {"C:\\Games", Verdict::Above, nullptr, 0},
      {"C:", Verdict::Above, nullptr, 0},
      {"C:\\", Verdict::Above, nullptr, 0},
      {"C:\\Users\\u\\Desktop", Verdict::Above, nullptr, 0},
      {"C:\\Games\\Talvenorfoo\\a.pak", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talveno", Verdict::Outside, nullptr, 0},
      {"D:\\Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"C:\\Users\\u\\Desktop\\other.lnk", Verdict::Outside, nullptr, 0},
      {"C:\\Users\\u\\Desktop\\talvenor.lnk\\x", Verdict::Outside, nullptr, 0},
      // Ways out of a place, or names Windows reads otherwise than they are written.
      {"C:\\Games\\Talvenor\\..\\..\\Windows\\system32\\kernel32.dll", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\.\\a.pak", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\...\\a.pak", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\a.pak.", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\a.pak ", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\a.pak:stream", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\a?.pak", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\nul.txt", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\COM1", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\a\tb", Verdict::Outside, nullptr, 0},
      {"Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"C:Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"\\Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"\\\\?\\C:\\Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"\\\\.\\C:\\Games\\Talvenor\\a.pak", Verdict::Outside, nullptr, 0},
      {"", Verdict::Outside, nullptr, 0},
      // Big5: a trail byte 0x5C is no separator, trail bytes are not folded, a lead byte
      // needs its trail (Windows would read the "/" after a bad pair as a separator).
      {"C:\\Docs\\\xB3\x5C\xA4\x41\\x.ini", Verdict::Outside, nullptr, 0},
      {"C:\\Docs\\\xB3\x5C\xA4\x61other\\x.ini", Verdict::Outside, nullptr, 0},
      {"C:\\Docs\\\xB3", Verdict::Outside, nullptr, 0},
      {"C:\\Games\\Talvenor\\\xA4/..\\\xA4/..\\..\\Windows\\x.dll", Verdict::Outside, nullptr, 0},
  };
  for (const auto& c : cases) {
    std::string canonical = "untouched";
    std::size_t placeLength = 99;
    EXPECT_EQ(places.Judge(c.path, &canonical, &placeLength), c.verdict) << c.path;
    if (c.verdict == Verdict::Inside) {
      EXPECT_EQ(canonical, c.canonical) << c.path;
      EXPECT_EQ(placeLength, c.placeLength) << c.path;
    }
  }
  EXPECT_EQ(places.Judge(nullptr, nullptr, nullptr), Verdict::Outside);
}

TEST(InstallPlaces, RefusesRootsAndProtectedFolders) {
  InstallPlaces places;
  places.ProtectTree("C:\\Windows");
  places.Protect("C:\\Program Files\\");
  places.Protect("C:\\Users\\u");
  struct Case {
    const char* folder;
    bool admitted;
  } cases[] = {
      {"C:\\Program Files\\Talvenor", true},
      {"\\\\server\\share\\Talvenor", true},
      {"C:\\", false},
      {"C:", false},
      {"\\\\server\\share", false},
      {"C:\\Windows", false},
      {"c:\\WINDOWS\\Temp\\Talvenor", false},
      {"C:\\Program Files", false},
      {"C:\\PROGRAM FILES\\", false},
      {"C:\\Users", false},
      {"C:\\Games\\..\\Windows", false},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(places.AddFolder(c.folder), c.admitted) << (c.folder ? c.folder : "(null)");
  }
  // What was refused admits nothing.
  EXPECT_EQ(places.Judge("C:\\Program Files", nullptr, nullptr), Verdict::Above);
  EXPECT_EQ(places.Judge("C:\\Program Files\\Other\\a.dll", nullptr, nullptr), Verdict::Outside);
  EXPECT_EQ(places.Judge("C:\\Windows\\Temp\\Talvenor\\a", nullptr, nullptr), Verdict::Outside);
}

TEST(InstallPlaces, SoundNames) {
  struct Case {
    const char* name;
    bool sound;
  } cases[] = {
      {"talvenor", true},    {"talvenor\xB9\x78\xBA\xF4.lnk", true}, {"\xB3\x5C", true},
      {"", false},           {".", false},                           {"..", false},
      {"a\\b", false},       {"a/b", false},                         {"con", false},
      {"Aux.lnk", false},    {"name.", false},                       {"C:", false},
      {nullptr, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSoundName(c.name), c.sound) << (c.name ? c.name : "(null)");
}
