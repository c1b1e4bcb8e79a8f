// Command lines of the game client and of a relaunched launcher. Pure: the client and the
// relaunched launcher read these lines byte for byte, so they are tested on the host too.
#include <cstring>

#include "launcher/core/launcher_mgr.h"

namespace {

constexpr unsigned kClientCode = 1622;
constexpr unsigned kNpcClientCode = 1214;

bool Refuse(const CLauncherMgr& mgr, const char* operation, char* out) {
  mgr.Log("CLauncherMgr::%s() : command line longer than %u characters; not started.", operation,
          static_cast<unsigned>(kMaxShortCommandLine - 1));
  out[0] = '\0';
  return false;
}

}  // namespace

// The options the launcher was given and hands on: domain, the /N: /V: /T: triple (all
// three or none) and the passport as "/P:".
bool CLauncherMgr::AppendPassThroughOptions(char* out, std::size_t size) const {
  char option[kMaxCommandLine + 8];
  bool ok = true;
  if (m_domain[0] != '\0') {
    ok = ok && FormatString(option, sizeof(option), " domain:%s", m_domain) && AppendString(out, size, option);
  }
  if (m_passN[0] != '\0' && m_passV[0] != '\0' && m_passT[0] != '\0') {
    ok = ok && FormatString(option, sizeof(option), " /N:%s /V:%s /T:%s", m_passN, m_passV, m_passT) &&
         AppendString(out, size, option);
  }
  if (m_passport[0] != '\0') {
    ok = ok && FormatString(option, sizeof(option), " /P:%s", m_passport) && AppendString(out, size, option);
  }
  return ok;
}

bool CLauncherMgr::BuildClientCommandLine(const char* exePath, bool devClient, const char* extraArgs, int version,
                                          char* out, std::size_t outSize) const {
  if (out == nullptr || outSize == 0) return false;
  if (outSize > kMaxShortCommandLine) outSize = kMaxShortCommandLine;
  bool ok = FormatString(out, outSize, "\"%s\" code:%u ver:%d logip:%s logport:11000 %s", exePath != nullptr ? exePath : "",
                         m_npc ? kNpcClientCode : kClientCode, version, m_loginAddress,
                         extraArgs != nullptr ? extraArgs : "");
  if (ok && devClient) ok = AppendString(out, outSize, " asset:no");
  ok = ok && AppendPassThroughOptions(out, outSize);
  return ok || Refuse(*this, "StartClient", out);
}

bool CLauncherMgr::BuildLauncherCommandLine(const char* exePath, char* out, std::size_t outSize) const {
  if (out == nullptr || outSize == 0) return false;
  if (outSize > kMaxShortCommandLine) outSize = kMaxShortCommandLine;
  bool ok = FormatString(out, outSize, "\"%s\"", exePath != nullptr ? exePath : "") &&
            AppendPassThroughOptions(out, outSize);
  return ok || Refuse(*this, "StartLauncher", out);
}
