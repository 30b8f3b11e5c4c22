#pragma once

#include "driver/FtdiDriver.h"
#include "platform/Clock.h"

#include <functional>
#include <memory>
#include <string>

namespace korvessan {

struct TLibFtdiOptions {
  // Told once for each bridge that is plugged in but that this user may not
  // open, with its USB device node; told again only after it was unplugged.
  std::function<void(const std::string &deviceNode)> OnAccessDenied;
};

// The bridge driver on libftdi1 and libusb: FTDI bridges of every product ID
// in USB enumeration order, each interface of a multi-port chip a device of
// its own, as the vendor's library lists them. Listing reads the strings
// without claiming anything; opening detaches the kernel's serial driver and
// closing gives the bridge back to it. The clock only measures read
// time-outs. Returns null, with the reason in `error`, if libftdi cannot start.
std::unique_ptr<TFtdiDriver> CreateLibFtdiDriver(TClock &clock, TLibFtdiOptions options, std::string &error);

} // namespace korvessan
