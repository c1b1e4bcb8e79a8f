// CHttp: one small document by URL in a single blocking call, with the server's clock from
// the reply's Date header. Keeps no connection and no state between calls.
#pragma once
#include <cstdint>

#include "launcher/core/windows_api.h"

constexpr std::uint32_t kHttpTextSize = 4096;

class CHttp {
 public:
  // Reads at most kHttpTextSize body bytes into buffer (its first kHttpTextSize bytes are
  // zeroed; no terminator is added) and returns their count; 0 for any failure, a status
  // other than 200 or an empty body. serverTime (UTC) is written only when the reply's Date
  // parses, also after a refused status or a failed read. Null arguments return 0 at once.
  static std::uint32_t ReadFromHTTP(const char* url, char* buffer, SYSTEMTIME* serverTime);
};
