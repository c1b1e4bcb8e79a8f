// Names as the host gives them and as the launcher reads them. The launcher reads every
// name (manifests, archive entries) in code page 950, Big5 as Windows has it; the host gives
// names as UTF-8 (Linux) or UTF-16 (Windows). Every name talvpack writes goes through
// LauncherName, the one conversion, so that both builds write the same bytes.
#pragma once
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace talvpack {

// The command words after the program's name, as UTF-8 on every host (Windows gives them
// as UTF-16; its narrow words would have lost what the code page lacks).
std::vector<std::string> CommandWords(int argc, char** argv);

// The path a command word names.
std::filesystem::path PathOfWord(const std::string& word);

// A path in the host's narrow form, for messages and the launcher's narrow file functions:
// UTF-8 on Linux, the ANSI code page on Windows.
std::string Shown(const std::filesystem::path& path);

// The code points of a host name; false when the name is not valid text.
bool CodePointsOf(const std::filesystem::path& name, std::u32string* out);

// The code page 950 bytes of text; false when a character has no Big5 form (no
// best-fit substitutes: a name is kept exactly or refused).
bool ToCodePage950(const std::u32string& text, std::string* out);

// The text of code page 950 bytes; false for bytes that are not Big5.
bool FromCodePage950(const std::string& bytes, std::u32string* out);

// The host path of a name in code page 950 whose components are separated by "\" or "/"
// (scanned by character: a Big5 trail byte 0x5C separates nothing). False when the bytes
// are not Big5.
bool HostPathOf(const std::string& launcherName, std::filesystem::path* out);

// Where a patch server tree keeps the file the launcher fetches as "Talvenor/" + name: the
// launcher asks for the code page 950 bytes as they are. Linux servers (nginx, FTP) serve
// file names as bytes, so there the file is named by those bytes; Windows keeps names in
// UTF-16 and its servers read a request in the system code page, so there it is HostPathOf.
// False when the bytes are not Big5.
bool ServedPathOf(const std::string& launcherName, std::filesystem::path* out);

// The name the launcher reads for a host path relative to the game folder: its components
// in code page 950 joined by separator ('\\' for manifests, '/' for archives). False, with
// why, when a component has no Big5 form.
bool LauncherName(const std::filesystem::path& relative, char separator, std::string* out, std::string* error);

// The key under which Windows' file system takes two names for one: letters compared
// without case (Latin, Greek, Cyrillic, full-width and Roman numerals, as far as Big5 has
// them) and "/" as "\".
std::u32string CaseKey(const std::u32string& text);

// stdio on a host path.
std::FILE* OpenHostFile(const std::filesystem::path& path, const char* mode);

// A file's modification time.
bool ModificationTime(const std::filesystem::path& path, std::time_t* out);

}  // namespace talvpack
