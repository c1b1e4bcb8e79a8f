#include "launcher/core/token_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(TokenReader& reader) {
  std::vector<std::string> out;
  while (char* t = reader.NextToken()) out.emplace_back(t);
  return out;
}

std::vector<std::string> Lines(TokenReader& reader) {
  std::vector<std::string> out;
  while (char* t = reader.NextLine()) out.emplace_back(t);
  return out;
}

}  // namespace

TEST(TokenReader, SplitsOnDelimitersAndSkipsRuns) {
  TokenReader reader("  a\tb  ");
  reader.AddDelimiter(' ').AddDelimiter('\t');
  EXPECT_EQ(Tokens(reader), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(reader.NextToken(), nullptr);  // stays at the end
}

TEST(TokenReader, WithoutDelimitersTheWholeTextIsOneToken) {
  TokenReader reader("one two");
  EXPECT_EQ(Tokens(reader), (std::vector<std::string>{"one two"}));
}

TEST(TokenReader, EmptyAndNullTextsYieldNothing) {
  TokenReader empty("");
  empty.AddDelimiter(' ');
  EXPECT_EQ(empty.NextToken(), nullptr);
  TokenReader null(nullptr);
  EXPECT_EQ(null.NextToken(), nullptr);
  EXPECT_EQ(null.NextLine(), nullptr);
  TokenReader onlyDelimiters("   ");
  onlyDelimiters.AddDelimiter(' ');
  EXPECT_EQ(onlyDelimiters.NextToken(), nullptr);
}

TEST(TokenReader, NextLineSkipsEmptyLinesAndKeepsSpaces) {
  TokenReader reader("\r\n\r\nx\r\n");
  EXPECT_EQ(Lines(reader), (std::vector<std::string>{"x"}));
  TokenReader spaced(" a b \n\nc");
  spaced.AddDelimiter(' ');  // ignored by NextLine
  EXPECT_EQ(Lines(spaced), (std::vector<std::string>{" a b ", "c"}));
}

TEST(TokenReader, KeepsOnlyTheFirstFifteenDelimiters) {
  TokenReader reader("a1b2c3d4e5f6g7h8i9j0kPl");
  const char delimiters[] = "1234567890ABCDEP";  // 16: "P" is one too many
  for (int i = 0; i < 16; ++i) reader.AddDelimiter(delimiters[i]);
  EXPECT_EQ(Tokens(reader),
            (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "kPl"}));
}

TEST(TokenReader, QuotesAreOrdinaryBytesAndSetTextStartsOver) {
  TokenReader reader("\"a b\"");
  reader.AddDelimiter(' ');
  EXPECT_EQ(Tokens(reader), (std::vector<std::string>{"\"a", "b\""}));
  reader.SetText("c d");
  std::string token;
  ASSERT_TRUE(reader.NextTokenString(token));
  EXPECT_EQ(token, "c");
  ASSERT_TRUE(reader.NextTokenString(token));
  EXPECT_EQ(token, "d");
  EXPECT_FALSE(reader.NextTokenString(token));
  EXPECT_EQ(token, "d");  // unchanged at the end
}

TEST(TokenReader, RewindReadsWhatIsLeftOfTheCutText) {
  TokenReader reader("a b");
  reader.AddDelimiter(' ');
  EXPECT_EQ(Tokens(reader), (std::vector<std::string>{"a", "b"}));
  reader.Rewind();
  EXPECT_EQ(Tokens(reader), (std::vector<std::string>{"a", "b"}));
}
