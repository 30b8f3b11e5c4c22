// What reaches the tool from a device is untrusted: odd list strings, driver
// faults on every call, devices vanishing, notification storms and long
// device lists. Whatever comes, the user sees a clear outcome, a failure is
// never reported as success, and every open is closed exactly once.
#include "resources/Texts.h"
#include "sim/Tracker.h"
#include "tests/Fixtures.h"

#include <QCoreApplication>
#include <QLabel>

#include <gtest/gtest.h>

namespace korvessan {
namespace {

using namespace std::chrono_literals;

QString Utf8(const char *text) { return QString::fromUtf8(text); }

struct TBadInputTest : ::testing::Test, TFormFixture {
  QString Panel() { return Form.findChild<QLabel *>("SerPanel")->text(); }

  void ExpectEveryOpenClosedOnce() {
    EXPECT_EQ(Bridge.OpenHandles(), 0u);
    EXPECT_EQ(Bridge.OpenCount(), Bridge.CloseCount());
  }
};

TEST_F(TBadInputTest, ListStrings) {
  struct TCase {
    const char *Name;
    std::string Description;
    std::string SerialNumber;
    bool Terminated;
    QString Panel;   // what the serial-number panel shows
    QStringList Log; // after the scan
  };
  const std::string digits63(63, '9'), ones64(64, '1'), tracker = "BLACK BOX";
  const QString untouched = "10000"; // the panel's caption before any tracker
  const TCase cases[] = {
      {"empty description", "", "777", true, untouched, {}},
      {"63-byte description", std::string(63, 'B'), "777", true, untouched, {}},
      {"64-byte unterminated description", std::string(64, 'B'), "777", false, untouched, {}},
      {"description with a high byte", "BLACK BOX\xd0", "777", true, untouched, {}},
      {"unterminated short description", tracker, "777", false, "777", {"Серийный номер 777"}},
      {"empty serial", tracker, "", true, "", {"Неизвестный номер 0"}},
      {"63-digit serial", tracker, digits63, true, QString::fromStdString(digits63), {"Неизвестный номер 2147483647"}},
      {"64-byte unterminated serial",
       tracker,
       ones64,
       false,
       QString::fromStdString(ones64),
       {"Неизвестный номер 2147483647"}},
      {"serial with high and control bytes", tracker, "7\xff\x01", true, "7??", {"Серийный номер 7"}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TFormFixture fixture;
    fixture.Bridge.Plug({.Description = c.Description,
                         .SerialNumber = c.SerialNumber,
                         .Peer = std::make_shared<sim::TTracker>(),
                         .TerminateStrings = c.Terminated});
    fixture.Form.ScanDevices();
    EXPECT_EQ(fixture.Form.findChild<QLabel *>("SerPanel")->text(), c.Panel);
    EXPECT_EQ(fixture.LogLines(), c.Log);
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
  }
}

// A fault on one driver call, from its first use on, through a scan and an
// erase of a healthy tracker.
TEST_F(TBadInputTest, EveryDriverCallFailing) {
  using sim::TCall;
  struct TCase {
    TCall Call;
    const char *EraseEnd; // the erase's last log line
  };
  const TCase cases[] = {
      // Nothing identified: the erase still reaches device 0.
      {TCall::ListDevices, Texts::EraseDone},
      {TCall::Open, Texts::NotConnected},
      {TCall::SetBaudRate, Texts::NotConnected},
      {TCall::SetTimeouts, Texts::NotConnected},
      {TCall::SetDataCharacteristics, Texts::NotConnected},
      {TCall::SetFlowControl, Texts::NotConnected},
      {TCall::SetLatencyTimer, Texts::NotConnected},
      // Stale bytes may stay, but the command still goes out and is answered.
      {TCall::Purge, Texts::EraseDone},
      {TCall::Write, Texts::EraseFailed},
      {TCall::Read, Texts::EraseFailed},
      {TCall::ResetDevice, Texts::EraseDone},
      {TCall::Close, Texts::EraseDone},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Call));
    TFormFixture fixture;
    fixture.Bridge.Plug({.Peer = std::make_shared<sim::TTracker>()});
    fixture.Bridge.InjectFault(0, c.Call, {FT_IO_ERROR, 0});
    fixture.Form.ScanDevices();
    fixture.Form.Button1Click();
    EXPECT_EQ(fixture.LogLines().back(), Utf8(c.EraseEnd));
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
    EXPECT_EQ(fixture.Bridge.OpenCount(), fixture.Bridge.CloseCount());
  }
}

TEST_F(TBadInputTest, DeviceRemovedMidScanIsClosedAndNotShownAsIdentified) {
  Bridge.Plug({.Peer = std::make_shared<sim::TSilentPeer>()});
  Bridge.UnplugAt(0, 1s); // during the version attempts
  Form.ScanDevices();
  EXPECT_EQ(Form.findChild<QLabel *>("VerLabel")->text(), "");
  ExpectEveryOpenClosedOnce();
  Form.Button1Click();
  EXPECT_EQ(LogLines().back(), Utf8(Texts::NotConnected));
  ExpectEveryOpenClosedOnce();
}

TEST_F(TBadInputTest, DeviceRemovedMidEraseIsAnError) {
  Bridge.Plug({.Peer = std::make_shared<sim::TTracker>()});
  Form.ScanDevices();
  Bridge.UnplugAt(0, Clock.Now() + 5s);
  Form.Button1Click();
  EXPECT_EQ(LogLines().back(), Utf8(Texts::EraseFailed));
  EXPECT_FALSE(LogLines().contains(Utf8(Texts::EraseDone)));
  ExpectEveryOpenClosedOnce();
}

TEST_F(TBadInputTest, ThousandNotificationsInARowEachScanOnce) {
  Bridge.Plug({.Peer = std::make_shared<sim::TTracker>()});
  for (int i = 0; i < 1000; ++i)
    Form.PostDeviceChange();
  QCoreApplication::processEvents();
  EXPECT_EQ(LogLines().size(), 1000);
  EXPECT_EQ(Bridge.OpenCount(), 1000u);
  ExpectEveryOpenClosedOnce();
}

TEST_F(TBadInputTest, HundredTwentySevenDevicesAreEachIdentifiedAndTheLastIsErased) {
  for (int i = 1; i <= 127; ++i)
    Bridge.Plug({.SerialNumber = std::to_string(i), .Peer = std::make_shared<sim::TTracker>()});
  Form.ScanDevices();
  EXPECT_EQ(LogLines().size(), 127);
  EXPECT_EQ(LogLines().back(), "Серийный номер 127");
  EXPECT_EQ(Panel(), "127");
  Bridge.ClearCallLog();
  Form.Button1Click();
  EXPECT_EQ(Bridge.CallLog().front(), "FT_Open(126)");
  EXPECT_EQ(LogLines().back(), Utf8(Texts::EraseDone));
  ExpectEveryOpenClosedOnce();
}

} // namespace
} // namespace korvessan
