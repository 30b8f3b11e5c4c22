#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvessan {

// Text that comes from a device is untrusted: these turn it into numbers and
// captions without trusting its length, encoding or content.

// The decimal value of a bridge's serial-number text: leading white space,
// an optional sign, then digits up to the first other character; 0 when no
// digit follows. A value beyond 32 bits saturates instead of wrapping, so it
// can never pass for a small serial number.
std::int32_t SerialNumberValue(std::string_view text);

// The text up to its first NUL, with a trailing line feed dropped and every
// byte that is not printable ASCII shown as '?'. UTF-8.
std::string DisplayText(std::string_view bytes);

} // namespace korvessan
