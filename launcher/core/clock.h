// Millisecond tick and sleep, the two time services the transfer and pipe code need.
#pragma once
#include <cstdint>

// Millisecond tick of the multimedia timer (wraps around after about 49 days).
std::uint32_t TickCount();
void SleepMs(std::uint32_t milliseconds);
