// CVersionInfo: a version manifest (file name, size, MD5 digest, version in which the file
// last changed), in the order the text lists its files. Two forms are read: records
// "name,size,digest,version" one after another, and the older counted form "count" followed
// by count triples "name,size,digest".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"

class TokenReader;

class CVersionInfo {
 public:
  struct Entry {
    std::string name;  // relative to the game directory, exactly as written
    std::uint64_t size = 0;  // 0: the version removes this file
    unsigned char hash[kMd5DigestSize] = {};
    int updateVersion = 0;
  };

  CVersionInfo() = default;
  virtual ~CVersionInfo() = default;

  // Parses text (NUL-terminated). The entry list is replaced, not merged; after a failure
  // it keeps the entries read before the fault.
  bool ReadFromMemory(const char* text);
  // Parses a downloaded block of size bytes, which need not be terminated and is left
  // unchanged: the reader works on a copy with two zero bytes behind it.
  bool ReadFromBlock(const char* block, std::size_t size);
  // Reads a manifest file (Windows only).
  bool ReadFromFile(const char* path);

  std::size_t GetCount() const { return entries_.size(); }
  // Out-of-range indexes give "", 0, null and 0.
  const char* GetName(std::size_t i) const { return i < entries_.size() ? entries_[i].name.c_str() : ""; }
  std::uint64_t GetSize(std::size_t i) const { return i < entries_.size() ? entries_[i].size : 0; }
  const unsigned char* GetHash(std::size_t i) const { return i < entries_.size() ? entries_[i].hash : nullptr; }
  int GetUpdateVersion(std::size_t i) const { return i < entries_.size() ? entries_[i].updateVersion : 0; }
  const std::vector<Entry>& entries() const { return entries_; }

  // True when the launcher reads this first token of a record as a number, which switches the
  // reading to the counted form: its integer reading is not 0, or it is exactly "0".
  static bool IsNumericToken(const char* token);

  // The counted form, read again from the top of the text ReadFromMemory was given.
  bool ParseOldToken(TokenReader& reader);

 private:

  std::vector<Entry> entries_;
};

// Parses 32 hexadecimal digits (either case) into 16 bytes; false for any other text.
bool ParseDigestText(const char* text, unsigned char out[kMd5DigestSize]);
