#include "launcher/transfer/download_mgr.h"

#include <string>

#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/core/token_reader.h"

namespace {

// Leading decimal digits; an absurdly long run saturates instead of overflowing.
std::int32_t PortNumber(const std::string& text) {
  const std::uint64_t value = LeadingNumber(text.c_str());
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

}  // namespace

bool ParseServerAddress(const char* text, ServerAddress* address) {
  if (text == nullptr || address == nullptr) return false;
  const std::string all = text;

  // The last "@" ends the credentials, so a user name may itself hold "@".
  const std::size_t at = all.rfind('@');
  const bool hasCredentials = at != std::string::npos;
  std::string rest = hasCredentials ? all.substr(at + 1) : all;

  std::string hostPart;
  std::string path;
  const std::size_t slash = rest.find('/');
  const bool hasPath = slash != std::string::npos;
  if (hasPath) {
    hostPart = rest.substr(0, slash);
    path = rest.substr(slash);
  } else {
    hostPart = rest;
    while (!hostPart.empty() && IsPathSeparator(hostPart.back())) hostPart.pop_back();
  }

  std::int32_t port = address->port;
  bool hasPort = false;
  const std::size_t colon = hostPart.find(':');
  if (colon != std::string::npos) {
    hasPort = true;
    port = PortNumber(hostPart.substr(colon + 1));
    hostPart.erase(colon);
  }

  std::string user;
  std::string password;
  bool hasUser = false;
  bool hasPassword = false;
  if (hasCredentials) {
    TokenReader reader(all.substr(0, at).c_str());
    reader.AddDelimiter(':');
    hasUser = reader.NextTokenString(user);
    hasPassword = hasUser && reader.NextTokenString(password);
  }

  auto fits = [](const std::string& s) { return s.size() < kMaxPath; };
  if (!fits(hostPart) || !fits(path) || !fits(user) || !fits(password)) return false;

  CopyString(address->host, hostPart.c_str());
  if (hasPath) CopyString(address->path, path.c_str());
  if (hasPort) address->port = port;
  if (hasUser) CopyString(address->user, user.c_str());
  if (hasPassword) CopyString(address->password, password.c_str());
  return true;
}
