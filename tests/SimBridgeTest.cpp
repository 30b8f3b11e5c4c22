#include "tests/Fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvessan::sim {
namespace {

using namespace std::chrono_literals;

struct TBridgeFixture : ::testing::Test {
  TVirtualClock Clock;
  TSimBridge Bridge{Clock};

  FT_HANDLE OpenConfigured(int number, ULONG readTimeout) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(Bridge.FT_Open(number, &handle), FT_OK);
    EXPECT_EQ(Bridge.FT_SetBaudRate(handle, 115200), FT_OK);
    EXPECT_EQ(Bridge.FT_SetTimeouts(handle, readTimeout, readTimeout), FT_OK);
    return handle;
  }
};

TEST_F(TBridgeFixture, ListsCountAndBoundedTerminatedStrings) {
  const std::string longDescription(100, 'D');
  Bridge.Plug({.Description = longDescription, .SerialNumber = "12345"});
  Bridge.Plug({.Description = "Korvessan", .SerialNumber = ""});

  DWORD count = 0;
  ASSERT_EQ(Bridge.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 2u);

  char buffer[ListStringBufferSize + 8];
  std::memset(buffer, 0x5A, sizeof buffer);
  ASSERT_EQ(Bridge.FT_ListDevices(reinterpret_cast<void *>(std::uintptr_t{0}), buffer,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  EXPECT_EQ(std::string(buffer), std::string(ListStringBufferSize - 1, 'D'));
  EXPECT_EQ(buffer[ListStringBufferSize], 0x5A) << "wrote past the 64-byte buffer";

  ASSERT_EQ(Bridge.FT_ListDevices(reinterpret_cast<void *>(std::uintptr_t{0}), buffer,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
            FT_OK);
  EXPECT_STREQ(buffer, "12345");
  ASSERT_EQ(Bridge.FT_ListDevices(reinterpret_cast<void *>(std::uintptr_t{1}), buffer,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
            FT_OK);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(Bridge.FT_ListDevices(reinterpret_cast<void *>(std::uintptr_t{2}), buffer,
                                  FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_DEVICE_NOT_FOUND);
}

TEST_F(TBridgeFixture, OpenRefusesMissingAndBusyDevicesAndHandlesDieOnClose) {
  Bridge.Plug({});
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(Bridge.FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(Bridge.FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
  ASSERT_EQ(Bridge.FT_Open(0, &handle), FT_OK);
  FT_HANDLE second = nullptr;
  EXPECT_NE(Bridge.FT_Open(0, &second), FT_OK) << "a device is opened by one program at a time";
  EXPECT_EQ(Bridge.OpenHandles(), 1u);

  EXPECT_EQ(Bridge.FT_Close(handle), FT_OK);
  EXPECT_EQ(Bridge.FT_Close(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(Bridge.FT_Purge(handle, FT_PURGE_RX), FT_INVALID_HANDLE);
  EXPECT_EQ(Bridge.FT_SetBaudRate(reinterpret_cast<FT_HANDLE>(std::uintptr_t{0xdead}), 115200), FT_INVALID_HANDLE);
  EXPECT_EQ(Bridge.OpenCount(), 1u);
  EXPECT_EQ(Bridge.CloseCount(), 1u);
  EXPECT_EQ(Bridge.OpenHandles(), 0u);
}

// A read returns when its count has arrived or its time-out has passed,
// whichever is first, with FT_OK and whatever arrived.
TEST_F(TBridgeFixture, ReadHonoursCountTimeoutAndLatency) {
  auto peer = std::make_shared<TScriptedPeer>(
      TScriptedPeer::TScript{{0ms, 'a'}, {0ms, 'b'}, {0ms, 'c'}, {0ms, 'd'}, {500ms, 'e'}});
  Bridge.Plug({.Peer = peer});
  FT_HANDLE handle = OpenConfigured(0, 100);
  ASSERT_EQ(Bridge.FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
  ASSERT_EQ(Bridge.FT_SetLatencyTimer(handle, 1), FT_OK);
  DWORD moved = 0;
  ASSERT_EQ(Bridge.FT_Write(handle, "$", 1, &moved), FT_OK);
  EXPECT_EQ(moved, 1u);

  const TTime start = Clock.Now();
  char buffer[10] = {};
  ASSERT_EQ(Bridge.FT_Read(handle, buffer, 10, &moved), FT_OK);
  EXPECT_EQ(moved, 4u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(Clock.Now() - start, 100ms);

  // The fifth byte leaves the peer 500 ms after the command's last bit and
  // reaches the host one latency period later; a read that asks for exactly
  // one byte returns then, not at its time-out.
  ASSERT_EQ(Bridge.FT_SetTimeouts(handle, 1000, 1000), FT_OK);
  ASSERT_EQ(Bridge.FT_Read(handle, buffer, 1, &moved), FT_OK);
  EXPECT_EQ(moved, 1u);
  EXPECT_EQ(buffer[0], 'e');
  EXPECT_EQ(Clock.Now(), CharacterTime(TrackerLine) + 500ms + 1ms);
  Bridge.FT_Close(handle);
}

TEST_F(TBridgeFixture, PeerHearsGarbageUnlessTheLineMatchesItsOwn) {
  struct TCase {
    const char *Name;
    ULONG Baud;
    UCHAR Bits;
    UCHAR Parity;
    USHORT Flow;
    bool Intact;
  };
  const TCase cases[] = {
      {"tracker line", 115200, FT_BITS_8, FT_PARITY_NONE, FT_FLOW_NONE, true},
      {"driver default speed", 9600, FT_BITS_8, FT_PARITY_NONE, FT_FLOW_NONE, false},
      {"seven bits", 115200, FT_BITS_7, FT_PARITY_NONE, FT_FLOW_NONE, false},
      {"even parity", 115200, FT_BITS_8, FT_PARITY_EVEN, FT_FLOW_NONE, false},
      {"hardware flow control", 115200, FT_BITS_8, FT_PARITY_NONE, FT_FLOW_RTS_CTS, false},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TVirtualClock clock;
    TSimBridge bridge(clock);
    auto peer = std::make_shared<TScriptedPeer>(TScriptedPeer::TScript{});
    bridge.Plug({.Peer = peer});
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(bridge.FT_Open(0, &handle), FT_OK);
    bridge.FT_SetBaudRate(handle, c.Baud);
    bridge.FT_SetDataCharacteristics(handle, c.Bits, FT_STOP_BITS_1, c.Parity);
    bridge.FT_SetFlowControl(handle, c.Flow, 0, 0);
    bridge.FT_SetTimeouts(handle, 10, 10);
    DWORD moved = 0;
    bridge.FT_Write(handle, "FL$", 3, &moved);
    char none = 0;
    bridge.FT_Read(handle, &none, 1, &moved);
    EXPECT_EQ(peer->Received == "FL$", c.Intact) << peer->Received;
    EXPECT_EQ(peer->Received.size(), 3u);
    bridge.FT_Close(handle);
  }
}

TEST_F(TBridgeFixture, PurgeThrowsAwayWhatTheBridgeHolds) {
  auto peer = std::make_shared<TScriptedPeer>(TScriptedPeer::TScript{{0ms, 'x'}, {50ms, 'y'}});
  Bridge.Plug({.Peer = peer});
  FT_HANDLE handle = OpenConfigured(0, 20);
  DWORD moved = 0;
  Bridge.FT_Write(handle, "$", 1, &moved);
  Clock.Sleep(10ms);
  ASSERT_EQ(Bridge.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  char buffer[2] = {};
  Bridge.FT_Read(handle, buffer, 2, &moved);
  EXPECT_EQ(moved, 0u) << "'x' arrived before the purge";
  Bridge.FT_SetTimeouts(handle, 100, 100);
  Bridge.FT_Read(handle, buffer, 2, &moved);
  ASSERT_EQ(moved, 1u);
  EXPECT_EQ(buffer[0], 'y');

  // Bytes written but not yet on the wire never reach the peer.
  peer->Received.clear();
  Bridge.FT_Write(handle, "abc", 3, &moved);
  Bridge.FT_Purge(handle, FT_PURGE_TX);
  Clock.Sleep(10ms);
  Bridge.FT_Read(handle, buffer, 1, &moved);
  EXPECT_EQ(peer->Received, "");
  Bridge.FT_Close(handle);
}

TEST_F(TBridgeFixture, InjectedFaultsAndRemoval) {
  Bridge.Plug({});
  Bridge.InjectFault(0, TCall::Read, {FT_IO_ERROR, 2});
  FT_HANDLE handle = OpenConfigured(0, 1);
  char byte = 0;
  DWORD moved = 7;
  EXPECT_EQ(Bridge.FT_Read(handle, &byte, 1, &moved), FT_OK);
  EXPECT_EQ(Bridge.FT_Read(handle, &byte, 1, &moved), FT_OK);
  EXPECT_EQ(Bridge.FT_Read(handle, &byte, 1, &moved), FT_IO_ERROR);
  EXPECT_EQ(moved, 0u);

  Bridge.UnplugAt(0, Clock.Now() + 5ms);
  Clock.Sleep(5ms);
  EXPECT_EQ(Bridge.FT_Purge(handle, FT_PURGE_RX), FT_IO_ERROR);
  EXPECT_EQ(Bridge.DeviceCount(), 0u);
  EXPECT_EQ(Bridge.FT_Close(handle), FT_OK) << "a removed device's handle can still be released";
  EXPECT_EQ(Bridge.OpenHandles(), 0u);
}

TEST_F(TBridgeFixture, RemovalEndsAWaitingRead) {
  Bridge.Plug({});
  FT_HANDLE handle = OpenConfigured(0, 1000);
  Bridge.UnplugAt(0, 300ms);
  char byte = 0;
  DWORD moved = 0;
  EXPECT_EQ(Bridge.FT_Read(handle, &byte, 1, &moved), FT_IO_ERROR);
  EXPECT_EQ(Clock.Now(), 300ms);
  Bridge.FT_Close(handle);
}

} // namespace
} // namespace korvessan::sim
