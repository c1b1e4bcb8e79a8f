#include "remover/remover_args.h"

#include <cstring>

#include "launcher/core/paths.h"
#include "launcher/core/text.h"

bool ParseRemoverCommandLine(const char* tail, RemoverArgs* args) {
  *args = RemoverArgs();
  if (!CopyString(args->file, tail)) {
    args->file[0] = '\0';
    return false;
  }
  // The trail byte of a Big5 character may be 0x5C; it never separates.
  std::size_t cut = 0;
  for (std::size_t i = 0; args->file[i] != '\0'; ++i) {
    const unsigned char c = static_cast<unsigned char>(args->file[i]);
    if (IsLeadByte(c) && args->file[i + 1] != '\0') {
      ++i;
    } else if (IsPathSeparator(args->file[i])) {
      cut = i + 1;
    }
  }
  std::memcpy(args->folder, args->file, cut);
  args->folder[cut] = '\0';
  return true;
}
