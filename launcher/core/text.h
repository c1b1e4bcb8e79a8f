// Bounded string primitives for the launcher's fixed buffers, and the code-page 950 aware
// comparisons the command line uses. No Windows header: built and fuzzed on the host too.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#if defined(__MINGW32__)
#define TALV_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define TALV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// Copies src into dst of size bytes (terminator included). A null src copies the empty
// string. Returns false when src did not fit; dst then holds the cut text.
bool CopyString(char* dst, std::size_t size, const char* src);

// Appends src behind the text already in dst. Returns false (dst cut) when it does not fit.
bool AppendString(char* dst, std::size_t size, const char* src);

// snprintf into a fixed buffer. Returns false when the result was cut.
bool FormatString(char* dst, std::size_t size, const char* fmt, ...) TALV_PRINTF(3, 4);
bool FormatStringV(char* dst, std::size_t size, const char* fmt, va_list args);

template <std::size_t N>
bool CopyString(char (&dst)[N], const char* src) { return CopyString(dst, N, src); }
template <std::size_t N>
bool AppendString(char (&dst)[N], const char* src) { return AppendString(dst, N, src); }

// Lead byte of a double-byte character in code page 950 (Big5).
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Case-insensitive comparisons that fold only single-byte ASCII letters: the trail byte of
// a double-byte character is compared as it is, as the system's multibyte compare does.
bool EqualsNoCase(const char* a, const char* b);
// True when the first n bytes of text equal prefix without case (prefix holds n bytes).
bool StartsWithNoCase(const char* text, const char* prefix, std::size_t n);

// The C locale's white space: blank, tab, line feed, vertical tab, form feed, carriage return.
inline bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value of the decimal digits text begins with (none reads as 0), saturated at
// UINT64_MAX. *end, when given, receives where the digits stop.
std::uint64_t LeadingNumber(const char* text, const char** end = nullptr);

// Numbers read from the leading characters of a token, as the patch documents use them:
// optional white space and sign, then decimal digits; no digits reads as 0. Out-of-range
// values stop at the type's limit instead of wrapping into something plausible.
int LeadingInt(const char* text);
std::int64_t LeadingInt64(const char* text);
// A minus sign negates modulo 2^64, as the C library's unsigned reading does.
std::uint64_t LeadingUInt64(const char* text);
