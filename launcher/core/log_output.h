// Where finished log lines go: the debugger output, then the end of the log file when a
// path is set. The file is opened for each line and must already exist.
#pragma once
#include <cstddef>

void WriteLogOutput(const char* logPath, const char* line, std::size_t length);
