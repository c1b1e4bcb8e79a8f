// Numbers read from the leading characters of a token, as the patch documents use them:
// optional white space and sign, then decimal digits; no digits reads as 0. Out-of-range
// values stop at the type's limit instead of wrapping into something plausible.
#pragma once
#include <cstdint>

int LeadingInt(const char* text);
std::int64_t LeadingInt64(const char* text);
// A minus sign negates modulo 2^64, as the C library's unsigned reading does.
std::uint64_t LeadingUInt64(const char* text);
