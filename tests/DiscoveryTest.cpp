#include "app/DeviceText.h"
#include "resources/Texts.h"
#include "sim/Tracker.h"
#include "tests/Fixtures.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>

namespace korvessan {
namespace {

using namespace std::chrono_literals;
using TCallLog = std::vector<std::string>;

long Count(const sim::TSimBridge &bridge, const std::string &call) {
  return std::count(bridge.CallLog().begin(), bridge.CallLog().end(), call);
}

std::shared_ptr<sim::TTracker> Tracker(const char *version = "QUIN-2.4g") {
  return std::make_shared<sim::TTracker>(sim::TTrackerConfig{.Version = version});
}

struct TDiscoveryTest : ::testing::Test, TFormFixture {
  QString Panel() { return Form.findChild<QLabel *>("SerPanel")->text(); }
  QString Version() { return Form.findChild<QLabel *>("VerLabel")->text(); }
};

TEST(SerialNumberValue, ConvertsLikeTheFirmwareButNeverWraps) {
  struct TCase {
    const char *Text;
    std::int32_t Value;
  };
  const TCase cases[] = {
      {"777", 777},
      {"99999", 99999},
      {"0", 0},
      {"100000", 100000},
      {"A123", 0},
      {"", 0},
      {"  \t+42", 42},
      {"-5", -5},
      {"12abc", 12},
      {"4294967297", INT32_MAX}, // would wrap to 1
      {"99999999999999999999", INT32_MAX},
      {"-4294967297", INT32_MIN},
  };
  for (const TCase &c : cases)
    EXPECT_EQ(SerialNumberValue(c.Text), c.Value) << '"' << c.Text << '"';
}

TEST_F(TDiscoveryTest, SerialNumbers) {
  struct TCase {
    const char *Serial;
    const char *LogLine;
    bool Identified;
  };
  const TCase cases[] = {
      {"777", "Серийный номер 777", true},
      {"99999", "Серийный номер 99999", true},
      {"1", "Серийный номер 1", true},
      {"0", "Неизвестный номер 0", false},
      {"100000", "Неизвестный номер 100000", false},
      {"K777", "Неизвестный номер 0", false},
      {"  +12", "Серийный номер 12", true},
      {"4294967297", "Неизвестный номер 2147483647", false},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Serial);
    TFormFixture fixture;
    auto tracker = Tracker();
    fixture.Bridge.Plug({.SerialNumber = c.Serial, .Peer = tracker});
    fixture.Form.ScanDevices();
    EXPECT_EQ(fixture.Form.findChild<QLabel *>("SerPanel")->text(), c.Serial) << "shown as the driver gave it";
    EXPECT_EQ(fixture.LogLines(), QStringList{c.LogLine});
    EXPECT_EQ(fixture.Form.findChild<QLabel *>("VerLabel")->text(), c.Identified ? "QUIN-2.4g" : "MARL-0.0g");
    EXPECT_EQ(tracker->LinesTaken(), c.Identified ? TCallLog{"FL_READ_VERSION$"} : TCallLog{});
    EXPECT_EQ(fixture.Bridge.OpenCount(), c.Identified ? 1u : 0u);
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
    EXPECT_TRUE(fixture.Beeper.Beeps.empty());
  }
}

TEST_F(TDiscoveryTest, OnlyExactDescriptionsAreTrackers) {
  struct TCase {
    const char *Description;
    bool Accepted;
  };
  const TCase cases[] = {
      {"BLACK BOX", true}, {"Korvessan", true}, {"BLACK BOX 2", false},     {"black box", false}, {"KORVESSAN", false},
      {"Korvessa", false}, {"", false},         {"FT232R USB UART", false},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Description);
    TFormFixture fixture;
    fixture.Bridge.Plug({.Description = c.Description, .SerialNumber = "321", .Peer = Tracker()});
    fixture.Form.ScanDevices();
    EXPECT_EQ(fixture.Form.findChild<QLabel *>("SerPanel")->text(), c.Accepted ? "321" : "10000");
    EXPECT_EQ(fixture.LogLines().size(), c.Accepted ? 1 : 0);
    EXPECT_EQ(Count(fixture.Bridge, "FT_ListDevices(0,serial)"), c.Accepted ? 1 : 0);
  }
}

TEST_F(TDiscoveryTest, SilentTrackerGetsFifteenAttemptsThenAnEmptyCaption) {
  Bridge.Plug({});
  Form.ScanDevices();
  EXPECT_EQ(Count(Bridge, "FT_Write(16)"), 15);
  EXPECT_EQ(Clock.Now(), 15 * (100ms + 400ms));
  EXPECT_EQ(Version(), "");
  EXPECT_EQ(Panel(), "777");
  EXPECT_EQ(LogLines(), QStringList{"Серийный номер 777"});
  EXPECT_EQ(Bridge.CloseCount(), 1u);
}

TEST_F(TDiscoveryTest, NineByteReplyIsShownAfterFifteenAttempts) {
  TScriptedPeer::TScript nine;
  for (const char c : std::string("QUIN-2.4g"))
    nine.push_back({0ms, static_cast<std::uint8_t>(c)});
  Bridge.Plug({.Peer = std::make_shared<TScriptedPeer>(nine)});
  Form.ScanDevices();
  EXPECT_EQ(Count(Bridge, "FT_Write(16)"), 15);
  EXPECT_EQ(Clock.Now(), 15 * (100ms + 400ms));
  EXPECT_EQ(Version(), "QUIN-2.4g");
}

TEST_F(TDiscoveryTest, VersionBytesAreShownSafely) {
  struct TCase {
    std::string Reply;
    const char *Shown;
  };
  const TCase cases[] = {
      {"QUIN-2.4g\n", "QUIN-2.4g"},
      {std::string("QU\x01N-\xff.4\rg", 10), "QU?N-?.4?g"},
      {std::string("QU\0N-2.4g\n", 10), "QU"},
      {"<b>X</b>\n\n", "<b>X</b>\n"},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Shown);
    TFormFixture fixture;
    TScriptedPeer::TScript reply;
    for (const char ch : c.Reply)
      reply.push_back({0ms, static_cast<std::uint8_t>(ch)});
    fixture.Bridge.Plug({.Peer = std::make_shared<TScriptedPeer>(reply)});
    fixture.Form.ScanDevices();
    const auto *label = fixture.Form.findChild<QLabel *>("VerLabel");
    EXPECT_EQ(label->text(), QString::fromUtf8(DisplayText(c.Reply)));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    // What a screen reader announces: the title, then the same text.
    EXPECT_EQ(label->accessibleName(), QString::fromUtf8("Версия прошивки: ") + label->text());
  }
}

TEST_F(TDiscoveryTest, OpenFailureBeepsLow) {
  Bridge.Plug({});
  Bridge.InjectFault(0, sim::TCall::Open, {FT_DEVICE_NOT_OPENED, 0});
  Form.ScanDevices();
  EXPECT_EQ(Beeper.Beeps, (std::vector<TBeep>{{50, 50, TTime{}}}));
  EXPECT_EQ(Version(), "MARL-0.0g");
  EXPECT_EQ(LogLines(), QStringList{"Серийный номер 777"});
}

TEST_F(TDiscoveryTest, ListFailures) {
  // Counting fails: nothing happens at all.
  Bridge.Plug({});
  Bridge.InjectListCountFault({});
  Form.ScanDevices();
  EXPECT_EQ(Bridge.CallLog(), TCallLog{"FT_ListDevices(count)"});
  EXPECT_TRUE(LogLines().isEmpty());

  // A description fails: the scan ends there, earlier results stay.
  TFormFixture fixture;
  fixture.Bridge.Plug({.SerialNumber = "101", .Peer = Tracker()});
  fixture.Bridge.Plug({.SerialNumber = "102", .Peer = Tracker()});
  fixture.Bridge.Plug({.SerialNumber = "103", .Peer = Tracker()});
  fixture.Bridge.InjectFault(1, sim::TCall::ListDevices, {});
  fixture.Form.ScanDevices();
  EXPECT_EQ(fixture.LogLines(), QStringList{"Серийный номер 101"});
  EXPECT_EQ(Count(fixture.Bridge, "FT_ListDevices(2,description)"), 0);

  // A serial number fails: that device is skipped.
  TFormFixture skip;
  skip.Bridge.Plug({.SerialNumber = "101", .Peer = Tracker()});
  skip.Bridge.Plug({.SerialNumber = "102", .Peer = Tracker()});
  skip.Bridge.InjectFault(0, sim::TCall::ListDevices, {FT_IO_ERROR, 1});
  skip.Form.ScanDevices();
  EXPECT_EQ(skip.LogLines(), QStringList{"Серийный номер 102"});
}

// Each tracker is asked through its own device, and the erase goes to the
// one the window shows.
TEST_F(TDiscoveryTest, TwoTrackers) {
  auto first = Tracker("AAAA-1.0a");
  auto second = Tracker("BBBB-2.0b");
  Bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "111", .Peer = first});
  Bridge.Plug({.Description = "Korvessan", .SerialNumber = "222", .Peer = second});
  Form.ScanDevices();
  EXPECT_EQ(Count(Bridge, "FT_Open(0)"), 1);
  EXPECT_EQ(Count(Bridge, "FT_Open(1)"), 1);
  EXPECT_EQ(LogLines(), (QStringList{"Серийный номер 111", "Серийный номер 222"}));
  EXPECT_EQ(Panel(), "222");
  EXPECT_EQ(Version(), "BBBB-2.0b");

  Form.Button1Click();
  EXPECT_EQ(LogLines().back(), QString::fromUtf8(Texts::EraseDone));
  EXPECT_EQ(first->LinesTaken(), TCallLog{"FL_READ_VERSION$"});
  EXPECT_EQ(second->LinesTaken(), (TCallLog{"FL_READ_VERSION$", "FL_ERASE_NUM,8192$"}));
}

TEST_F(TDiscoveryTest, EraseFallsBackToDeviceZeroWhenNoTrackerIsShown) {
  auto other = std::make_shared<sim::TSilentPeer>();
  Bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "", .Peer = Tracker()});
  Bridge.Plug({.SerialNumber = "555", .Peer = other});
  Form.ScanDevices();
  Bridge.Unplug(1);
  Form.ScanDevices(); // the tracker shown before is gone and forgotten
  Bridge.ClearCallLog();
  Form.Button1Click();
  EXPECT_EQ(Bridge.CallLog().front(), "FT_Open(0)");
  EXPECT_EQ(LogLines().back(), QString::fromUtf8(Texts::EraseDone));
}

TEST_F(TDiscoveryTest, FirstScanRunsOnceAfterTheWindowIsShown) {
  Bridge.Plug({.Peer = Tracker()});
  Form.show();
  EXPECT_EQ(Count(Bridge, "FT_ListDevices(count)"), 0) << "not before the event loop runs";
  for (int i = 0; i < 3; ++i) {
    QApplication::processEvents();
    Form.repaint();
  }
  QApplication::processEvents();
  EXPECT_EQ(Count(Bridge, "FT_ListDevices(count)"), 1);
  EXPECT_EQ(Panel(), "777");
}

TEST_F(TDiscoveryTest, EachNotificationRunsOneScanAfterTheRunningHandler) {
  Bridge.SetOnChange([this] { Form.PostDeviceChange(); });
  Bridge.Plug({.Peer = Tracker()});
  Bridge.Plug({.Description = "other", .Peer = std::make_shared<sim::TSilentPeer>()});
  QApplication::processEvents();
  EXPECT_EQ(Count(Bridge, "FT_ListDevices(count)"), 2);

  // A device leaves during the erase: its scan waits for the erase to end.
  Bridge.UnplugAt(1, 3s);
  Bridge.ClearCallLog();
  Form.Button1Click();
  EXPECT_EQ(Count(Bridge, "FT_ListDevices(count)"), 0);
  EXPECT_EQ(Bridge.CallLog().back(), "FT_Close()");
  QApplication::processEvents();
  EXPECT_EQ(Count(Bridge, "FT_ListDevices(count)"), 1);
}

} // namespace
} // namespace korvessan
