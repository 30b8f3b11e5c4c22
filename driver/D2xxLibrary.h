#pragma once

#include "driver/FtdiDriver.h"

#include <memory>
#include <string>

namespace korvessan {

// The platform's name of the vendor's D2XX library.
const char *D2xxLibraryName();

// Loads the vendor's D2XX library by name through the system's dynamic
// loader and resolves the calls the tool uses. Returns null, with the
// loader's reason in `error`, when the library or one of its calls is missing.
std::unique_ptr<TFtdiDriver> LoadD2xxLibrary(const std::string &name, std::string &error);

} // namespace korvessan
