// CPatchInfo: the patch information document of the patch server ("patch_live.txt"): whether
// play is allowed, the latest game and launcher versions, the patch file server, the login
// server, client arguments, an optional service-block window in server time and the name of
// an optional transfer index.
#pragma once
#include <cstdint>

#include "launcher/core/limits.h"

struct _SYSTEMTIME;

// Transfers at once and further file servers, from the optional keys "connections" and
// "mirror"; a document without them keeps the one-connection, one-server behaviour.
constexpr int kMinConnections = 1;
constexpr int kMaxConnections = 16;
constexpr int kMaxMirrors = 8;

class CPatchInfo {
 public:
  bool blocked = true;
  char ftp[kMaxPath] = {};
  char arg[kMaxPath] = {};
  std::uint64_t st_dt = 0;  // YYYYMMDDhhmmss, 0: none
  std::uint64_t ed_dt = 0;
  int patch_version = 0;
  int launcher_version = 0;
  char login[kMaxPath] = {};
  int ping = 11000;
  int connections = kMinConnections;
  char mirror[kMaxMirrors][kMaxPath] = {};  // tried after ftp, in this order
  int mirror_count = 0;
  // The transfer index's name on the patch file server; empty: the tree offers none.
  char forms[kMaxPath] = {};

  // Fetches the document (4 attempts, 1 s apart) and parses it; the window is judged by the
  // reply's Date converted to the machine's local time. Windows only.
  bool Read(const char* url);

  // The parse of a fetched document, up to and including the three summary log lines.
  // Optional fields keep earlier values when the text lacks their key.
  bool Parse(const char* text);
  // Blocks when st_dt <= localNow < ed_dt and both bounds are set; never unblocks.
  void ApplyServiceWindow(std::uint64_t localNow);
  bool HasServiceWindow() const { return st_dt != 0 && ed_dt != 0; }
};

// YYYYMMDDhhmmss of calendar fields, the form st_dt and ed_dt are written in.
std::uint64_t EncodeDateTime(int year, int month, int day, int hour, int minute, int second);

#if defined(_WIN32)
// The Date of a reply (UTC) in the machine's local time by its current time-zone rules,
// encoded as EncodeDateTime does. Windows only.
std::uint64_t LocalServerTime(const _SYSTEMTIME& utc);
#endif
