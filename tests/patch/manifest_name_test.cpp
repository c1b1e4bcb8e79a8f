#include "launcher/patch/manifest_name.h"

#include <gtest/gtest.h>

TEST(ManifestName, NamesThatStayInsideTheGameDirectory) {
  for (const char* name : {"client.exe", "data\\map.pak", "data/sub/x.bin", "..hidden", "a..b", ".cfg", "dir.\\x"}) {
    EXPECT_TRUE(IsSafeManifestName(name)) << name;
  }
}

TEST(ManifestName, NamesThatWouldLeaveItAreRefused) {
  for (const char* name : {"", "\\windows\\x.dll", "/etc/x", "C:\\x", "c:x", "..\\x", "data\\..\\..\\x", "data/../x",
                           "..", ".", "a\\.\\b", "a\\\\b", "a\\", "file.txt:stream"}) {
    EXPECT_FALSE(IsSafeManifestName(name)) << name;
  }
  EXPECT_FALSE(IsSafeManifestName(nullptr));
}

TEST(ManifestName, Big5NamesWhoseSecondByteIsABackslashStayInside) {
  EXPECT_TRUE(IsSafeManifestName("data\\\xB3\x5C.txt"));  // data\許.txt
  EXPECT_TRUE(IsSafeManifestName("\xA5\x5C"));            // 功
  EXPECT_FALSE(IsSafeManifestName("\xA5\x5C\\..\\..\\x"));
}
