#include "launcher/core/log_output.h"

#include <fcntl.h>
#include <unistd.h>

void WriteLogOutput(const char* logPath, const char* line, std::size_t length) {
  if (logPath == nullptr || logPath[0] == '\0') return;
  int fd = open(logPath, O_WRONLY | O_APPEND);
  if (fd < 0) return;
  ssize_t ignored = write(fd, line, length);
  (void)ignored;
  close(fd);
}
