#include "launcher/core/clock.h"

#include "launcher/core/windows_api.h"

#include <mmsystem.h>

std::uint32_t TickCount() { return timeGetTime(); }
void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }
