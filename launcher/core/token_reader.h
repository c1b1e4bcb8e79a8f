// The one tokenizer of the launcher: cuts a private copy of a text into words in place.
// Works on bytes; there is no quoting and no escape.
#pragma once
#include <cstdint>
#include <string>

class TokenReader {
 public:
  static constexpr std::uint32_t kMaxDelimiters = 15;

  explicit TokenReader(const char* text = nullptr);
  ~TokenReader();
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // Frees the old copy and starts over on a copy of text (null counts as empty).
  void SetText(const char* text);
  // Appends a delimiter byte; the 16th and later ones are ignored.
  TokenReader& AddDelimiter(char delimiter);
  // The next token, pointing into the reader's copy, or null at the end.
  char* NextToken();
  bool NextTokenString(std::string& out);
  // The next non-empty line (CR and LF separate; the delimiter set is ignored), or null.
  char* NextLine();
  // Back to the start; bytes already cut stay cut.
  void Rewind() { position_ = 0; }

 private:
  char* Next(const char* delimiters, std::uint32_t count);

  char* text_ = nullptr;
  std::uint32_t length_ = 0;
  char delimiters_[kMaxDelimiters + 1] = {};
  std::uint32_t delimiterCount_ = 0;
  std::uint32_t position_ = 0;
};
