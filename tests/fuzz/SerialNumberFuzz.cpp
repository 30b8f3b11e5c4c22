// The serial-number text comes from the bridge's memory, written by whoever
// programmed it. Its value must match the C library's strtol, saturated to 32
// bits instead of wrapped, and its caption must be plain printable text.
#include "app/DeviceText.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const std::int32_t value = korvessan::SerialNumberValue(text);

  const long expected = std::strtol(text.c_str(), nullptr, 10);
  const long saturated = expected < INT32_MIN ? INT32_MIN : expected > INT32_MAX ? INT32_MAX : expected;
  if (value != saturated)
    std::abort();

  const std::string caption = korvessan::DisplayText(text);
  if (caption.size() > text.size())
    std::abort();
  for (const char c : caption)
    if (c < 0x20 || c > 0x7E)
      std::abort();
  return 0;
}
