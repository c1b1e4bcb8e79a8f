#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/update_signature.h"
#include "launcher/transfer/http_win.h"

namespace {

constexpr int kFetchAttempts = 4;
constexpr DWORD kFetchPauseMs = 1000;

// The fetch of one text, tried kFetchAttempts times a pause apart. 0: nothing arrived.
std::uint32_t FetchText(const char* url, char* body, SYSTEMTIME* serverTime) {
  std::uint32_t length = 0;
  for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
    length = CHttp::ReadFromHTTP(url, body, serverTime);
    if (length != 0) break;
    if (attempt < kFetchAttempts) Sleep(kFetchPauseMs);
  }
  return length;
}

}  // namespace

std::uint64_t LocalServerTime(const SYSTEMTIME& utc) {
  TIME_ZONE_INFORMATION zone;
  SYSTEMTIME local = utc;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID ||
      !SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) {
    // Without the zone rules the time is taken as it is.
    local = utc;
  }
  return EncodeDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
}

bool CPatchInfo::Read(const char* url) {
  char body[kHttpTextSize + 1];
  SYSTEMTIME serverTime = {};
  const std::uint32_t length = FetchText(url, body, &serverTime);
  if (length == 0) {
    g_launcher.Log("fail to read http patch url : %s", url != nullptr ? url : "");
    return false;
  }
  body[length] = '\0';
  if (HasUpdateKey(g_launcher.m_updatePublicKey)) {
    // The signature comes from beside the document, fetched the same way.
    char signatureUrl[kMaxPath + sizeof(kSignatureSuffix)];
    char signature[kHttpTextSize];
    SYSTEMTIME ignored = {};
    std::uint32_t signatureLength = 0;
    if (CopyString(signatureUrl, url) && AppendString(signatureUrl, kSignatureSuffix)) {
      signatureLength = FetchText(signatureUrl, signature, &ignored);
    }
    if (!IsDocumentTrusted(g_launcher.m_updatePublicKey, url, body, length,
                           signatureLength != 0 ? signature : nullptr, signatureLength)) {
      return false;
    }
  }
  if (!Parse(body)) return false;

  if (HasServiceWindow()) {
    // No Date from the server: the machine's own clock is the best guess left, rather than
    // a zeroed time that no window could ever contain.
    if (serverTime.wYear == 0) GetSystemTime(&serverTime);
    ApplyServiceWindow(LocalServerTime(serverTime));
  }
  return true;
}
