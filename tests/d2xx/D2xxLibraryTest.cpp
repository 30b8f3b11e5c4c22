#include "driver/D2xxLibrary.h"
#include "resources/Texts.h"
#include "sim/Tracker.h"
#include "tests/Fixtures.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace korvessan {
namespace {

// The stand-in library is found by name through LD_LIBRARY_PATH, as the
// vendor's would be; its own bridge and clock are reached through it.
struct TD2xxTest : ::testing::Test {
  void SetUp() override {
    std::string error;
    Driver = LoadD2xxLibrary(D2xxLibraryName(), error);
    ASSERT_NE(Driver, nullptr) << error;
    void *shim = dlopen(D2xxLibraryName(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(shim, nullptr);
    Bridge = reinterpret_cast<sim::TSimBridge *(*)()>(dlsym(shim, "KorvessanShimBridge"))();
    Clock = reinterpret_cast<TVirtualClock *(*)()>(dlsym(shim, "KorvessanShimClock"))();
    dlclose(shim);
    while (Bridge->DeviceCount() > 0)
      Bridge->Unplug(0);
  }

  std::unique_ptr<TFtdiDriver> Driver;
  sim::TSimBridge *Bridge = nullptr;
  TVirtualClock *Clock = nullptr;
};

TEST_F(TD2xxTest, DiscoveryAndEraseThroughTheLoadedLibrary) {
  auto tracker = std::make_shared<sim::TTracker>(sim::TTrackerConfig{.Version = "DLL-01.2x"});
  Bridge->Plug({.Description = "other", .SerialNumber = "9", .Peer = std::make_shared<sim::TSilentPeer>()});
  Bridge->Plug({.Description = "Korvessan", .SerialNumber = "4242", .Peer = tracker});
  TRecordingBeeper beeper(*Clock);
  TMainForm form(*Driver, *Clock, beeper);

  form.ScanDevices();
  EXPECT_EQ(form.findChild<QLabel *>("SerPanel")->text(), "4242");
  EXPECT_EQ(form.findChild<QLabel *>("VerLabel")->text(), "DLL-01.2x");

  form.Button1Click();
  const QStringList lines = form.findChild<QPlainTextEdit *>("DebugMemo")->toPlainText().split('\n');
  EXPECT_EQ(lines.size(), 1 + 1 + 31 + 1);
  EXPECT_EQ(lines.back(), QString::fromUtf8(Texts::EraseDone));
  EXPECT_EQ(tracker->LinesTaken(), (std::vector<std::string>{"FL_READ_VERSION$", "FL_ERASE_NUM,8192$"}));
  EXPECT_EQ(Bridge->OpenHandles(), 0u);
  ASSERT_EQ(beeper.Beeps.size(), 1u);
  EXPECT_EQ(beeper.Beeps[0].FrequencyHz, 523u);
}

TEST_F(TD2xxTest, CountsComeBackWhole) {
  Bridge->Plug({});
  Bridge->Plug({});
  DWORD count = 0xFFFFFFFF;
  ASSERT_EQ(Driver->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 2u);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(Driver->FT_Open(1, &handle), FT_OK);
  DWORD written = 0xFFFFFFFF;
  EXPECT_EQ(Driver->FT_Write(handle, "FL_ERASE_NUM,8192$", 18, &written), FT_OK);
  EXPECT_EQ(written, 18u);
  EXPECT_EQ(Driver->FT_Close(handle), FT_OK);
  EXPECT_EQ(Driver->FT_Close(handle), FT_INVALID_HANDLE);
}

TEST(D2xxLoading, MissingLibraryIsReportedNotFatal) {
  std::string error;
  EXPECT_EQ(LoadD2xxLibrary("libftd2xx-not-installed.so", error), nullptr);
  EXPECT_NE(error.find("libftd2xx-not-installed.so"), std::string::npos) << error;
}

} // namespace
} // namespace korvessan
