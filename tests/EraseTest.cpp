#include "resources/Texts.h"
#include "sim/Tracker.h"
#include "tests/Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvessan {
namespace {

using namespace std::chrono_literals;

const QString Started = QString::fromUtf8(Texts::EraseStarted);
const QString Done = QString::fromUtf8(Texts::EraseDone);
const QString Failed = QString::fromUtf8(Texts::EraseFailed);

QStringList ProgressLines(int first, int last) {
  QStringList lines;
  for (int k = first; k <= last; ++k)
    lines << QString("Сектор %1 стерт").arg(k);
  return lines;
}

long Reads(const sim::TSimBridge &bridge) {
  const auto &log = bridge.CallLog();
  return std::count(log.begin(), log.end(), std::string("FT_Read(1)"));
}

// Bytes at the given delays after the command's last byte reaches the peer.
TScriptedPeer::TScript Progress(std::initializer_list<std::pair<TDuration, int>> bytes) {
  TScriptedPeer::TScript script;
  for (const auto &[delay, value] : bytes)
    script.push_back({delay, static_cast<std::uint8_t>(value)});
  return script;
}

TScriptedPeer::TScript Regular(int first, int last, TDuration period) {
  TScriptedPeer::TScript script;
  for (int k = first; k <= last; ++k)
    script.push_back({period * (k - first), static_cast<std::uint8_t>(k)});
  return script;
}

struct TEraseTest : ::testing::Test, TFormFixture {
  void ExpectClosedOnce() {
    EXPECT_EQ(Bridge.OpenCount(), 1u);
    EXPECT_EQ(Bridge.CloseCount(), 1u);
    EXPECT_EQ(Bridge.OpenHandles(), 0u);
  }
};

TEST_F(TEraseTest, TypicalTrackerErasesEverythingItReports) {
  auto tracker = std::make_shared<sim::TTracker>();
  Bridge.Plug({.Peer = tracker});
  Form.Button1Click();

  EXPECT_EQ(LogLines(), QStringList{Started} + ProgressLines(0, 30) + QStringList{Done});
  ASSERT_EQ(Beeper.Beeps.size(), 1u);
  EXPECT_EQ(Beeper.Beeps[0].FrequencyHz, 523u);
  EXPECT_EQ(Beeper.Beeps[0].DurationMs, 50u);
  ExpectClosedOnce();
  EXPECT_EQ(tracker->LinesTaken(), std::vector<std::string>{"FL_ERASE_NUM,8192$"});
  // Byte 31 comes 31 x 16 blocks of 45 ms after the start; the tool takes it
  // at its next read, within one pause.
  const TTime byte31 = 31 * 16 * 45ms;
  EXPECT_GE(Beeper.Beeps[0].At, byte31);
  EXPECT_LE(Beeper.Beeps[0].At, byte31 + 510ms);
  EXPECT_LE(Reads(Bridge), 120);
  // The tracker is still erasing its last blocks: the red LED is on, and the
  // memory is clean once it goes out.
  EXPECT_TRUE(tracker->RedLed());
  tracker->AdvanceTo(Clock.Now() + 2s);
  EXPECT_FALSE(tracker->RedLed());
  for (std::size_t page = 0; page < sim::TTracker::PageCount; ++page)
    EXPECT_EQ(tracker->Page(page)[0],
              page == sim::TTracker::SettingsPage ? sim::TTracker::RecordPattern : sim::TTracker::ErasedByte);
}

// A healthy tracker on the slowest memory the part allows is followed to the
// end instead of being dropped when a fixed number of reads runs out.
TEST_F(TEraseTest, SlowFlashStillEndsInSuccess) {
  Bridge.Plug({.Peer = std::make_shared<sim::TTracker>(sim::TTrackerConfig{.BlockErase = 100ms})});
  Form.Button1Click();
  EXPECT_EQ(LogLines().back(), Done);
  EXPECT_EQ(LogLines().size(), 33);
  EXPECT_GT(Reads(Bridge), 120);
  ASSERT_EQ(Beeper.Beeps.size(), 1u);
  EXPECT_EQ(Beeper.Beeps[0].FrequencyHz, 523u);
  ExpectClosedOnce();
}

TEST_F(TEraseTest, Scenarios) {
  struct TCase {
    const char *Name;
    TScriptedPeer::TScript Script;
    QStringList Progress;
    bool Success;
    std::optional<long> ReadsUsed;
  };
  TScriptedPeer::TScript paused = Regular(0, 10, 100ms);
  for (const auto &[delay, value] : Regular(11, 31, 100ms))
    paused.push_back({delay + 1000ms + 1500ms, value});
  TScriptedPeer::TScript endless;
  for (int k = 0; k < 200; ++k)
    endless.push_back({k * 10ms, 5});

  const TCase cases[] = {
      // One byte a second: each costs the hit and about two empty reads.
      {"a byte every second", Regular(0, 31, 1s), ProgressLines(0, 30), true, 94},
      {"bytes 1.8 s apart", Regular(0, 31, 1800ms), ProgressLines(0, 30), true, std::nullopt},
      {"silent after byte 0", Progress({{0ms, 0}}), ProgressLines(0, 0), false, 1 + 1 + 5},
      {"a 1.5 s pause is tolerated", paused, ProgressLines(0, 30), true, std::nullopt},
      {"byte 31 first", Progress({{0ms, 31}}), {}, true, std::nullopt},
      {"a device that never stops talking", endless, QStringList(120, "Сектор 5 стерт"), false, std::nullopt},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TFormFixture fixture;
    auto peer = std::make_shared<TScriptedPeer>(c.Script);
    fixture.Bridge.Plug({.Peer = peer});
    fixture.Form.Button1Click();

    EXPECT_EQ(peer->Received, "FL_ERASE_NUM,8192$");
    EXPECT_EQ(fixture.LogLines(), QStringList{Started} + c.Progress + QStringList{c.Success ? Done : Failed});
    ASSERT_EQ(fixture.Beeper.Beeps.size(), 1u);
    EXPECT_EQ(fixture.Beeper.Beeps[0].FrequencyHz, c.Success ? 523u : 100u);
    EXPECT_EQ(fixture.Beeper.Beeps[0].DurationMs, c.Success ? 50u : 100u);
    if (c.ReadsUsed) {
      EXPECT_EQ(Reads(fixture.Bridge), *c.ReadsUsed);
    }
    EXPECT_EQ(fixture.Bridge.CloseCount(), 1u);
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
  }
}

TEST_F(TEraseTest, SilenceEndsTheEraseAfterFiveEmptyReads) {
  Bridge.Plug({.Peer = std::make_shared<TScriptedPeer>(Progress({{0ms, 0}}))});
  Form.Button1Click();
  // Byte 0 is taken at the second read (after one pause), then five empty
  // reads of 1 ms, each followed by its 500 ms pause.
  const TTime byte0Read = 1ms + 500ms;
  EXPECT_EQ(Beeper.Beeps.at(0).At, byte0Read + 5 * (1ms + 500ms));
}

TEST_F(TEraseTest, NoDeviceSendsNothing) {
  Form.Button1Click();
  EXPECT_EQ(LogLines(), QStringList{QString::fromUtf8(Texts::NotConnected)});
  EXPECT_TRUE(Beeper.Beeps.empty());
  EXPECT_EQ(Bridge.CallLog(), std::vector<std::string>{"FT_Open(0)"});
}

TEST_F(TEraseTest, SomethingElseAsDeviceZeroGetsTheCommandAndStaysSilent) {
  auto silent = std::make_shared<sim::TSilentPeer>();
  Bridge.Plug({.Description = "USB <-> Serial", .SerialNumber = "FT123456", .Peer = silent});
  Form.Button1Click();
  EXPECT_EQ(std::string(silent->Received().begin(), silent->Received().end()), "FL_ERASE_NUM,8192$");
  EXPECT_EQ(LogLines(), (QStringList{Started, Failed}));
  EXPECT_EQ(Beeper.Beeps, (std::vector<TBeep>{{100, 100, 5 * (1ms + 500ms)}}));
  ExpectClosedOnce();
}

TEST_F(TEraseTest, DeviceRemovedMidErase) {
  auto tracker = std::make_shared<sim::TTracker>();
  Bridge.Plug({.Peer = tracker});
  Bridge.UnplugAt(0, 5s);
  Form.Button1Click();
  const QStringList lines = LogLines();
  EXPECT_EQ(lines.back(), Failed);
  EXPECT_GT(lines.size(), 3);
  ASSERT_EQ(Beeper.Beeps.size(), 1u);
  EXPECT_EQ(Beeper.Beeps[0].FrequencyHz, 100u);
  ExpectClosedOnce();
}

TEST_F(TEraseTest, ConfigurationFailureMeansNotConnected) {
  Bridge.Plug({});
  Bridge.InjectFault(0, sim::TCall::SetLatencyTimer, {});
  Form.Button1Click();
  EXPECT_EQ(LogLines(), QStringList{QString::fromUtf8(Texts::NotConnected)});
  EXPECT_TRUE(Beeper.Beeps.empty());
  ExpectClosedOnce();
}

} // namespace
} // namespace korvessan
