#include "launcher/core/windows_api.h"

#include "launcher/core/win_handle.h"
#include "launcher/core/windows_version.h"

int GetWindowsVersionClass() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const bool queried = GetVersionExA(&info) != FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return WindowsVersionClassOf(info.dwMajorVersion, info.dwMinorVersion, queried);
}

bool IsUserAdministrator() {
  CKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  return IsAdministratorToken(token.get());
}

bool IsAdministratorToken(void* token) {
  TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevationType, &elevation, sizeof(elevation), &size)) return false;
  BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sidBuffer);
  PSID administrators = sidBuffer;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize)) return false;

  if (elevation != TokenElevationTypeLimited) return IsUserAnAdmin() != FALSE;
  // A filtered token lists the group as deny-only; the linked full token tells membership.
  TOKEN_LINKED_TOKEN linked = {};
  if (!GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size)) return false;
  CKernelHandle full(linked.LinkedToken);
  BOOL member = FALSE;
  if (!CheckTokenMembership(full.get(), administrators, &member)) return false;
  return member != FALSE;
}
