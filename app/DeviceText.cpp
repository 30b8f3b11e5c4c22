#include "app/DeviceText.h"

#include <limits>

namespace korvessan {

std::int32_t SerialNumberValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  constexpr std::int64_t Limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min(value * 10 + (text[i] - '0'), Limit);
  if (negative)
    return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, Limit - 1));
}

std::string DisplayText(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  if (!bytes.empty() && bytes.back() == '\n')
    bytes.remove_suffix(1);
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes)
    text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  return text;
}

} // namespace korvessan
