#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/http_win.h"

std::uint32_t CHttp::ReadFromHTTP(const char* url, char* buffer, SYSTEMTIME* serverTime) {
  if (url == nullptr || buffer == nullptr || serverTime == nullptr) return 0;

  CInternetHandle root(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!root) {
    g_launcher.Log("CHttp::ReadFromHTTP() : InternetOpen() failed : code:%d", static_cast<int>(GetLastError()));
    return 0;
  }
  // Declared after root: the request handle closes first.
  CInternetHandle request(InternetOpenUrlA(root.get(), url, nullptr, 0, INTERNET_FLAG_RELOAD, 0));
  if (!request) {
    g_launcher.Log("CHttp::ReadFromHTTP() : InternetOpenUrl() failed : code:%d", static_cast<int>(GetLastError()));
    return 0;
  }

  std::memset(buffer, 0, kHttpTextSize);
  std::uint32_t total = 0;
  DWORD room = kHttpTextSize;
  char* position = buffer;
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.get(), position, room, &got)) {
      g_launcher.Log("CHttp::ReadFromHTTP() : InternetReadFile() failed : code:%d", static_cast<int>(GetLastError()));
      total = 0;
      break;
    }
    if (got == 0) break;
    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) ||
        status != 200) {
      total = 0;
      break;
    }
    // A misbehaving library must not push the write position past the buffer.
    if (got > room) got = room;
    total += got;
    room -= got;
    position += got;
    if (room == 0) break;
  }

  // The server's clock is wanted even when the body was refused.
  char date[kHttpTextSize] = {};
  DWORD dateSize = sizeof(date) - 1;
  if (!HttpQueryInfoA(request.get(), HTTP_QUERY_DATE, date, &dateSize, nullptr)) {
    g_launcher.Log("CHttp::ReadFromHTTP() : HTTP_QUERY_DATE failed : code:%d", static_cast<int>(GetLastError()));
  } else if (InternetTimeToSystemTimeA(date, serverTime, 0)) {
    g_launcher.Log("CHttp::ReadFromHTTP() : SystemTime : %s", date);
  }
  return total;
}
