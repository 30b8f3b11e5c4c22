#pragma once

#include "driver/FtdiDriver.h"
#include "driver/LibFtdiBridge.h"
#include "platform/Clock.h"

#include <memory>
#include <string>

namespace korvessan {

struct TDriverChoice {
  // Null when no driver could be had; the tool then runs without devices.
  std::unique_ptr<TFtdiDriver> Driver;
  // The library the user is told was not found, when Driver is null.
  std::string MissingLibrary;
  // The loader's or libftdi's own reason, for the terminal.
  std::string Error;
};

// Picks the real bridge driver by name: "d2xx", "libftdi", or empty for the
// vendor's library when it loads and libftdi1 otherwise.
TDriverChoice ChooseDriver(const std::string &name, const std::string &d2xxLibrary, TClock &clock,
                           TLibFtdiOptions libFtdiOptions);

} // namespace korvessan
