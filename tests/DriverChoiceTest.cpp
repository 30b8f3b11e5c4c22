#include "app/DriverChoice.h"
#include "resources/Texts.h"
#include "tests/Fixtures.h"

#include <gtest/gtest.h>

namespace korvessan {
namespace {

constexpr char Absent[] = "libftd2xx-not-installed.so";

// Asked for the vendor's library by name and it is not there: the tool runs
// without devices, says which library is missing, and the erase says no
// device is connected.
TEST(DriverChoice, MissingD2xxLibraryLeavesTheToolWithoutDevicesAndSaysSo) {
  TVirtualClock clock;
  const TDriverChoice choice = ChooseDriver("d2xx", Absent, clock, {});
  EXPECT_EQ(choice.Driver, nullptr);
  EXPECT_EQ(choice.MissingLibrary, Absent);
  EXPECT_NE(choice.Error.find(Absent), std::string::npos) << choice.Error;

  TFormFixture fixture; // the empty bridge that stands in for a driver
  fixture.Form.LogMessage(1, Texts::DriverMissing, choice.MissingLibrary.c_str());
  fixture.Form.ScanDevices();
  fixture.Form.Button1Click();
  EXPECT_EQ(fixture.LogLines(),
            (QStringList{"Библиотека драйвера libftd2xx-not-installed.so не найдена, устройства недоступны",
                         "Устройство не подключено"}));
}

TEST(DriverChoice, WithoutTheVendorLibraryTheDefaultIsLibFtdi) {
  TVirtualClock clock;
  const TDriverChoice choice = ChooseDriver("", Absent, clock, {});
  // libftdi starts wherever libusb does; without USB at all it is the one
  // reported missing, never the vendor's library.
  if (choice.Driver) {
    DWORD count = 0;
    EXPECT_EQ(choice.Driver->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  } else {
    EXPECT_EQ(choice.MissingLibrary, "libftdi1");
  }
}

} // namespace
} // namespace korvessan
