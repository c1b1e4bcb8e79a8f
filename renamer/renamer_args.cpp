#include "renamer/renamer_args.h"

#include <cstring>

#include "launcher/core/text.h"
#include "launcher/core/token_reader.h"

bool ParseRenamerCommandLine(const char* tail, RenamerArgs* args) {
  *args = RenamerArgs();
  if (tail == nullptr) tail = "";
  // Only the space separates; tabs are ordinary characters and there is no quoting.
  TokenReader reader(tail);
  reader.AddDelimiter(' ');
  const char* target = reader.NextToken();
  const char* newFile = target != nullptr ? reader.NextToken() : nullptr;
  if (newFile == nullptr) return false;
  if (!CopyString(args->target, target) || !CopyString(args->newFile, newFile)) {
    args->target[0] = args->newFile[0] = '\0';
    return false;
  }

  bool fits = std::strlen(tail) < kRenamerCommandLineSize &&
              std::strlen(target) < kRenamerTokenSize && std::strlen(newFile) < kRenamerTokenSize;
  fits = FormatString(args->restartCommand, sizeof(args->restartCommand), "%s ", target) && fits;
  std::size_t tokens = 2;
  bool first = true;
  bool background = false;
  while (const char* token = reader.NextToken()) {
    if (++tokens > kRenamerMaxTokens || std::strlen(token) >= kRenamerTokenSize) fits = false;
    if (first && std::strcmp(token, "bg") == 0) background = true;
    if (!first) fits = AppendString(args->restartCommand, " ") && fits;
    fits = AppendString(args->restartCommand, token) && fits;
    first = false;
  }
  args->restart = fits && !background;
  if (!fits) args->restartCommand[0] = '\0';
  return true;
}
