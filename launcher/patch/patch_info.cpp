#include "launcher/patch/patch_info.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/core/token_reader.h"
#include "launcher/patch/manifest_name.h"

namespace {

// The text values end up in the client's command line and in connection addresses: a cut
// value would point somewhere else, so an over-long one fails the whole document.
bool CopyValue(char (&field)[kMaxPath], const char* key, const char* value) {
  if (std::strlen(value) >= kMaxPath) {
    g_launcher.Log("CPatchInfo::Read() : value of \"%s\" is too long.", key);
    return false;
  }
  return CopyString(field, value);
}

}  // namespace

std::uint64_t EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  std::uint64_t v = static_cast<std::uint64_t>(year);
  for (int part : {month, day, hour, minute, second}) v = v * 100 + static_cast<std::uint64_t>(part);
  return v;
}

bool CPatchInfo::Parse(const char* text) {
  TokenReader reader(text);
  reader.AddDelimiter('\r').AddDelimiter('\n').AddDelimiter('\t').AddDelimiter(' ').AddDelimiter('=');

  static const char* const kKeys[] = {"patch_accept", "patch_version", "ftp", "launcher_version", "login"};
  for (const char* key : kKeys) {
    const char* token = reader.NextToken();
    if (token == nullptr) {
      g_launcher.Log("CPatchInfo::Read() : unexpected eof while finding \"%s\".", key);
      return false;
    }
    if (!EqualsNoCase(token, key)) {
      g_launcher.Log("CPatchInfo::Read() : invalid token \"%s\" , \"%s\" is expected.", token, key);
      return false;
    }
    const char* value = reader.NextToken();
    if (value == nullptr) {
      g_launcher.Log("CPatchInfo::Read() : unexpected eof while finding \"%s\" value.", key);
      return false;
    }
    if (key == kKeys[0]) {
      blocked = LeadingInt(value) == 0;
    } else if (key == kKeys[1]) {
      patch_version = LeadingInt(value);
    } else if (key == kKeys[2]) {
      if (!CopyValue(ftp, key, value)) return false;
    } else if (key == kKeys[3]) {
      launcher_version = LeadingInt(value);
    } else if (!CopyValue(login, key, value)) {
      return false;
    }
  }

  bool mirrorsRead = false;  // the first "mirror" of a document replaces an earlier list
  while (const char* token = reader.NextToken()) {
    if (EqualsNoCase(token, "arg")) {
      if (const char* line = reader.NextLine()) {
        if (!CopyValue(arg, "arg", line)) return false;
      }
    } else if (EqualsNoCase(token, "ping")) {
      const char* value = reader.NextToken();
      if (value == nullptr) {
        g_launcher.Log("CPatchInfo::Read() : unexpected eof while finding \"ping\" version value.");
        return false;
      }
      ping = LeadingInt(value);
    } else if (EqualsNoCase(token, "st_dt") || EqualsNoCase(token, "ed_dt")) {
      const bool start = EqualsNoCase(token, "st_dt");
      const char* value = reader.NextToken();
      if (value != nullptr && std::strlen(value) == 14) (start ? st_dt : ed_dt) = LeadingUInt64(value);
    } else if (EqualsNoCase(token, "connections")) {
      if (const char* value = reader.NextToken()) {
        const int n = LeadingInt(value);
        connections = n >= kMinConnections && n <= kMaxConnections ? n : kMinConnections;
      }
    } else if (EqualsNoCase(token, "mirror")) {
      const char* value = reader.NextToken();
      if (value == nullptr) continue;
      if (!mirrorsRead) mirror_count = 0;
      mirrorsRead = true;
      if (mirror_count == kMaxMirrors) {
        g_launcher.Log("CPatchInfo::Read() : more than %d mirrors, \"%s\" ignored.", kMaxMirrors, value);
        continue;
      }
      if (!CopyValue(mirror[mirror_count], "mirror", value)) return false;
      ++mirror_count;
    } else if (EqualsNoCase(token, "forms")) {
      // Only an enhancement: a bad name costs the forms, never the document.
      const char* value = reader.NextToken();
      if (value == nullptr || std::strlen(value) >= kMaxPath || !IsSafeManifestName(value)) {
        g_launcher.Log("CPatchInfo::Read() : invalid \"forms\" value : no transfer index.");
        forms[0] = '\0';
      } else {
        CopyString(forms, value);
      }
    }
  }

  g_launcher.Log("blocked : %d", blocked ? 1 : 0);
  g_launcher.Log("patch version : %d", patch_version);
  g_launcher.Log("launcher version : %d", launcher_version);
  return true;
}

void CPatchInfo::ApplyServiceWindow(std::uint64_t localNow) {
  if (!HasServiceWindow()) return;
  if (st_dt <= localNow && localNow < ed_dt) blocked = true;
}
