#include "launcher/core/token_reader.h"

#include <cstring>

TokenReader::TokenReader(const char* text) { SetText(text); }

TokenReader::~TokenReader() { delete[] text_; }

void TokenReader::SetText(const char* text) {
  delete[] text_;
  position_ = 0;
  if (text == nullptr) text = "";
  std::size_t len = std::strlen(text);
  if (len > UINT32_MAX - 1) len = UINT32_MAX - 1;
  length_ = static_cast<std::uint32_t>(len);
  text_ = new char[length_ + 1];
  std::memcpy(text_, text, length_);
  text_[length_] = '\0';
}

TokenReader& TokenReader::AddDelimiter(char delimiter) {
  if (delimiterCount_ < kMaxDelimiters) delimiters_[delimiterCount_++] = delimiter;
  return *this;
}

char* TokenReader::Next(const char* delimiters, std::uint32_t count) {
  auto isDelimiter = [&](char c) { return std::memchr(delimiters, c, count) != nullptr; };
  if (position_ >= length_) return nullptr;
  std::uint32_t i = position_;
  while (i < length_ && (text_[i] == '\0' || isDelimiter(text_[i]))) ++i;
  if (i >= length_) {
    position_ = length_;
    return nullptr;
  }
  std::uint32_t start = i;
  // A byte already cut to zero by an earlier pass ends the token like the end of the text.
  while (i < length_ && text_[i] != '\0' && !isDelimiter(text_[i])) ++i;
  text_[i] = '\0';
  position_ = i + 1;
  return text_ + start;
}

char* TokenReader::NextToken() { return Next(delimiters_, delimiterCount_); }

bool TokenReader::NextTokenString(std::string& out) {
  char* token = NextToken();
  if (token == nullptr) return false;
  out = token;
  return true;
}

char* TokenReader::NextLine() { return Next("\r\n", 2); }
