// What "manifest" and "publish" share: the game directory's file list, the names the
// launcher's manifest reader can carry, digests, and the merge with a previous manifest.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"

namespace talvpack {

struct GameFile {
  std::string name;  // relative, "\" separators, as the manifest writes it
  std::filesystem::path path;
};

struct Options;

struct Record {
  std::string name;
  std::uint64_t size = 0;
  unsigned char digest[kMd5DigestSize] = {};
  int version = 0;
};

// Why the launcher could not read name back as written, or "" when it can.
std::string NameProblem(const std::string& name);

// Every regular file under dir, sorted by name. False (with a message) for an unreadable
// folder, a file that is neither a regular file nor a folder, or a name the manifest cannot
// carry.
bool ListGameFiles(const std::filesystem::path& dir, std::vector<GameFile>* files, std::string* error);

// Size and MD5 digest of a file.
bool HashFile(const std::filesystem::path& path, std::uint64_t* size, unsigned char digest[kMd5DigestSize],
              std::string* error);

// The records of a previous manifest (either form), read as the launcher reads it.
bool LoadManifest(const std::string& path, std::vector<Record>* records, std::string* error);

// Records for the files now present (their digests given), merged with the previous ones:
// an unchanged file keeps its version, a new or changed one gets version; a file the previous
// manifest lists but that is gone becomes a removal record (size 0, digest of nothing) of
// version, and a removal record already there is kept as it was. Sorted by name.
std::vector<Record> MergeRecords(const std::vector<Record>& current, const std::vector<Record>& previous, int version);

// The records of files (hashed now) merged with the manifest named by --previous, if any.
// An empty file is refused: its record would read as a removal.
bool BuildRecords(const std::vector<GameFile>& files, const Options& options, int version,
                  std::vector<Record>* records, std::string* error);

// The record form, one "name,size,DIGEST,version" line per record, CR LF after each.
std::string FormatManifest(const std::vector<Record>& records);

// Command-line options: "--name value" pairs (repeatable ones keep the last) and operands.
struct Options {
  std::map<std::string, std::string> values;           // the last value of each option
  std::map<std::string, std::vector<std::string>> all;  // every value, for repeatable options
  std::vector<std::string> operands;
};
// Parses args; only the names in known take a value. False (with a message) otherwise.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known, Options* out,
                  std::string* error);
// A positive decimal version number.
bool ParseVersion(const std::string& text, int* version);
// The required --version N.
bool ParseVersionOption(const Options& options, int* version, std::string* error);

// Runs a command body; an exception (a name the system cannot convert, no memory) becomes
// a reported failure instead of an abort.
int Guarded(const char* command, int (*body)(const std::vector<std::string>&), const std::vector<std::string>& args);

// Reports a failure of command on stderr and gives the exit code 1.
int Fail(const char* command, const std::string& message);

}  // namespace talvpack
