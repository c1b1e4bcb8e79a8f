#include "launcher/install/shortcuts.h"

#include "launcher/core/text.h"

bool FormatDesktopIni(const char* iconFile, const char* tip, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  // The shell reads the file either way; the bare line feed at the end is how it has
  // always been written.
  if (!FormatString(out, outSize,
                    "[.ShellClassInfo]\r\nConfirmFileOp=0\r\nNoSharing=1\r\nIconFile=%s\r\nIconIndex=0\r\nInfoTip=%s\n",
                    iconFile != nullptr ? iconFile : "", tip != nullptr ? tip : "")) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool TitleLinkName(const char* title, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  if (!FormatString(out, outSize, "%s.lnk", title != nullptr ? title : "")) {
    out[0] = '\0';
    return false;
  }
  return true;
}
