#include "launcher/patch/leading_number.h"

#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Magnitude of the digits (saturated at UINT64_MAX) and the sign.
std::uint64_t Magnitude(const char* text, bool* negative) {
  *negative = false;
  if (text == nullptr) return 0;
  while (IsBlank(*text)) ++text;
  if (*text == '+' || *text == '-') *negative = (*text++ == '-');
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (; *text >= '0' && *text <= '9'; ++text) {
    const unsigned digit = static_cast<unsigned>(*text - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

template <typename T>
T Signed(const char* text) {
  bool negative;
  const std::uint64_t m = Magnitude(text, &negative);
  const std::uint64_t max = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (!negative) return m > max ? std::numeric_limits<T>::max() : static_cast<T>(m);
  if (m > max) return std::numeric_limits<T>::min();
  return static_cast<T>(-static_cast<T>(m));
}

}  // namespace

int LeadingInt(const char* text) { return Signed<int>(text); }

std::int64_t LeadingInt64(const char* text) { return Signed<std::int64_t>(text); }

std::uint64_t LeadingUInt64(const char* text) {
  bool negative;
  const std::uint64_t m = Magnitude(text, &negative);
  if (m == std::numeric_limits<std::uint64_t>::max()) return m;
  return negative ? 0 - m : m;
}
