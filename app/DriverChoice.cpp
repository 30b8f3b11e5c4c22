#include "app/DriverChoice.h"
#include "driver/D2xxLibrary.h"

namespace korvessan {

TDriverChoice ChooseDriver(const std::string &name, const std::string &d2xxLibrary, TClock &clock,
                           TLibFtdiOptions libFtdiOptions) {
  TDriverChoice choice;
  if (name.empty() || name == "d2xx") {
    choice.Driver = LoadD2xxLibrary(d2xxLibrary, choice.Error);
    if (choice.Driver || name == "d2xx") {
      if (!choice.Driver)
        choice.MissingLibrary = d2xxLibrary;
      return choice;
    }
  }
  choice.Driver = CreateLibFtdiDriver(clock, std::move(libFtdiOptions), choice.Error);
  if (!choice.Driver)
    choice.MissingLibrary = "libftdi1";
  return choice;
}

} // namespace korvessan
