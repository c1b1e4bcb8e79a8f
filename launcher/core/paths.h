// Path strings: "\" and "/" both separate. Every function writes only inside the buffer
// size it is given; a result that does not fit is refused (empty output, false).
#pragma once
#include <cstddef>
#include <string>

#include "launcher/core/limits.h"

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Paths are scanned by character, not by byte: the second byte of a Big5 character can be
// 0x5C, the byte of "\" (as in 許 or 功), and must not be taken for a separator.
// Returns the start of the character after p (p must not point at the terminator).
const char* NextPathChar(const char* p);
// Offset of the last separator in path[0, length), or -1.
long LastSeparator(const char* path, std::size_t length);

// Appends "\" unless the path already ends with a separator; "" becomes "\".
bool AddTrailingSeparator(char* path, std::size_t size);
template <std::size_t N>
bool AddTrailingSeparator(char (&path)[N]) { return AddTrailingSeparator(path, N); }

void RemoveTrailingSeparators(char* path);

// folder + separator + name without one leading separator. Nothing happens when name, out
// or folder is null. Returns false (out emptied) when the result does not fit.
bool JoinPath(const char* name, char* out, const char* folder, std::size_t outSize);
template <std::size_t N>
bool JoinPath(const char* name, char (&out)[N], const char* folder) {
  return JoinPath(name, out, folder, N);
}

// The path without its last component, keeping the separator before it. One trailing
// separator of the input is ignored first. No separator at all gives "".
char* GetParentDir(char* out, const char* path, std::size_t outSize = kMaxPath);
// The text after the last separator ("" if the path ends with one).
char* GetFileNamePart(char* out, const char* path, std::size_t outSize = kMaxPath);

void ToForwardSlashes(char* path);

// Replaces every occurrence of what, left to right, never rescanning inserted text.
void ReplaceAll(std::string& text, const std::string& what, const std::string& with);
