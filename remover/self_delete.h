// The last act of both companion programs: a running executable cannot delete itself, so
// the command interpreter is asked to, at idle priority, while this process runs at
// real-time priority so that it has exited before "del" runs. Failures are silent.
#pragma once

void DeleteOwnExecutable();
