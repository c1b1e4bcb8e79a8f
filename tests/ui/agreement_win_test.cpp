// The service agreement as Talvenor.exe carries it: resource BIN 111, Big5 with CR LF
// lines and no terminator, the same text as its UTF-8 source in the repository.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

std::wstring Decode(const std::string& bytes, UINT codePage) {
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
  if (n <= 0) return L"<undecodable>";
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
  return wide;
}

}  // namespace

TEST(Agreement, TheResourceIsTheSourceTextInBig5) {
  const char* sourceDir = std::getenv("TALV_SOURCE_DIR");
  ASSERT_NE(sourceDir, nullptr);
  std::string source;
  ASSERT_TRUE(ReadFileBytes("Z:" + std::string(sourceDir) + "/launcher/resources/agreement/agreement.txt", &source));
  std::string expected;
  for (char c : source) {
    if (c == '\n') expected += '\r';
    if (c != '\r') expected += c;
  }

  ScopedLauncher launcher;
  std::uint32_t size = 0;
  const char* data = static_cast<const char*>(launcher.mgr.LoadBinResource(111, &size));
  ASSERT_NE(data, nullptr);
  const std::string bytes(data, size);
  EXPECT_GT(size, 9000u);
  EXPECT_LT(size, 12000u);
  EXPECT_EQ(bytes.find('\0'), std::string::npos);  // the launcher appends the zero itself
  for (std::size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1)) {
    ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
  }
  const std::wstring text = Decode(bytes, 950);
  EXPECT_TRUE(text == Decode(expected, CP_UTF8)) << "the resource differs from agreement.txt";
  EXPECT_NE(text.find(L"\u670d\u52d9\u689d\u6b3e"), std::wstring::npos);  // 服務條款
}
