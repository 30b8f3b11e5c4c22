#include "device/Protocol.h"
#include "tests/Fixtures.h"

#include <gtest/gtest.h>

namespace korvessan {
namespace {

using namespace std::chrono_literals;
using sim::TCall;

using TCallLog = std::vector<std::string>;

const TCallLog ConfigureCalls(const char *timeouts, int device = 0) {
  return {"FT_Open(" + std::to_string(device) + ")",
          "FT_SetBaudRate(115200)",
          std::string("FT_SetTimeouts(") + timeouts + ")",
          "FT_SetDataCharacteristics(8,0,0)",
          "FT_SetFlowControl(0,0,0)",
          "FT_SetLatencyTimer(1)"};
}

struct TConnectionTest : ::testing::Test, TFormFixture {};

TEST_F(TConnectionTest, OpensTheGivenDeviceWithEachProfileAndClosesWithReset) {
  struct TCase {
    bool EraseMode;
    int Device;
    const char *Timeouts;
  };
  for (const TCase c : {TCase{true, 0, "1,1"}, TCase{false, 0, "100,100"}, TCase{false, 1, "100,100"}}) {
    SCOPED_TRACE(c.Timeouts);
    TFormFixture fixture;
    fixture.Bridge.Plug({.Description = "other", .SerialNumber = "1"});
    fixture.Bridge.Plug({});
    ASSERT_TRUE(fixture.Probe.OpenDevice(c.EraseMode, c.Device));
    fixture.Probe.CloseDevice();
    TCallLog expected = ConfigureCalls(c.Timeouts, c.Device);
    expected.insert(expected.end(), {"FT_ResetDevice()", "FT_Close()"});
    EXPECT_EQ(fixture.Bridge.CallLog(), expected);
    EXPECT_EQ(fixture.Bridge.LineOf(static_cast<std::size_t>(c.Device)), sim::TrackerLine);
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
  }
}

TEST_F(TConnectionTest, FailedConfigurationStepClosesTheDevice) {
  const TCall steps[] = {TCall::SetBaudRate, TCall::SetTimeouts, TCall::SetDataCharacteristics, TCall::SetFlowControl,
                         TCall::SetLatencyTimer};
  for (std::size_t step = 0; step < std::size(steps); ++step) {
    SCOPED_TRACE(step);
    TFormFixture fixture;
    fixture.Bridge.Plug({});
    fixture.Bridge.InjectFault(0, steps[step], {FT_IO_ERROR, 0});
    EXPECT_FALSE(fixture.Probe.OpenDevice(true));
    TCallLog expected = ConfigureCalls("1,1");
    expected.resize(step + 2); // FT_Open and the steps up to the failing one
    expected.insert(expected.end(), {"FT_ResetDevice()", "FT_Close()"});
    EXPECT_EQ(fixture.Bridge.CallLog(), expected);
    EXPECT_EQ(fixture.Bridge.OpenHandles(), 0u);
    EXPECT_EQ(fixture.Bridge.CloseCount(), 1u);
  }
}

TEST_F(TConnectionTest, FailedOpenLeavesNothingToClose) {
  EXPECT_FALSE(Probe.OpenDevice(true)) << "no device attached";
  Bridge.Plug({});
  Bridge.InjectFault(0, TCall::Open, {FT_DEVICE_NOT_OPENED, 0});
  EXPECT_FALSE(Probe.OpenDevice(false));
  EXPECT_EQ(Bridge.CallLog(), (TCallLog{"FT_Open(0)", "FT_Open(0)"}));
  EXPECT_EQ(Bridge.CloseCount(), 0u);
}

TEST_F(TConnectionTest, SendPurgesThenWritesTheWholeLineAndCountsBytes) {
  auto peer = std::make_shared<TScriptedPeer>(TScriptedPeer::TScript{{0ms, 'o'}, {0ms, 'k'}});
  Bridge.Plug({.Peer = peer});
  ASSERT_TRUE(Probe.OpenDevice(false));
  Bridge.ClearCallLog();
  Probe.SendCommand(EraseAllCommand);
  EXPECT_EQ(Bridge.CallLog(), (TCallLog{"FT_Purge(3)", "FT_Write(18)"}));
  EXPECT_EQ(Probe.Transferred(), 18u);

  char reply[VersionReplyLength] = {};
  Probe.ReadReply(reply, VersionReplyLength);
  EXPECT_EQ(Probe.Transferred(), 2u) << "the read replaces the write's count";
  EXPECT_EQ(peer->Received, EraseAllCommand);
  Probe.CloseDevice();
}

TEST_F(TConnectionTest, ReadTimeoutsOfBothProfiles) {
  auto peer = std::make_shared<TScriptedPeer>(TScriptedPeer::TScript{{0ms, '1'}, {0ms, '2'}, {0ms, '3'}, {0ms, '4'}});
  Bridge.Plug({.Peer = peer});

  ASSERT_TRUE(Probe.OpenDevice(true));
  std::uint8_t byte = 0;
  TTime start = Clock.Now();
  Probe.ReadReply(&byte, 1);
  EXPECT_EQ(Probe.Transferred(), 0u);
  EXPECT_EQ(Clock.Now() - start, 1ms);
  Probe.CloseDevice();

  ASSERT_TRUE(Probe.OpenDevice(false));
  Probe.SendCommand(ReadVersionCommand);
  char reply[VersionReplyLength] = {};
  start = Clock.Now();
  Probe.ReadReply(reply, VersionReplyLength);
  EXPECT_EQ(Probe.Transferred(), 4u);
  EXPECT_EQ(Clock.Now() - start, 100ms);
  Probe.CloseDevice();
}

// A failed read must not leave a count behind that passes for a reply.
TEST_F(TConnectionTest, FailedReadCountsAsNothingRead) {
  Bridge.Plug({});
  Bridge.InjectFault(0, TCall::Read, {FT_IO_ERROR, 0});
  ASSERT_TRUE(Probe.OpenDevice(false));
  Probe.SendCommand("0123456789");
  ASSERT_EQ(Probe.Transferred(), 10u);
  char reply[VersionReplyLength] = {};
  Probe.ReadReply(reply, VersionReplyLength);
  EXPECT_EQ(Probe.Transferred(), 0u);
  Probe.CloseDevice();
  EXPECT_EQ(Bridge.OpenHandles(), 0u);
}

} // namespace
} // namespace korvessan
