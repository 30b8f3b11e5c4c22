#pragma once

#include "driver/FtdiDriver.h"
#include "platform/Clock.h"
#include "sim/SerialPeer.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvessan::sim {

enum class TCall {
  ListDevices,
  Open,
  SetBaudRate,
  SetTimeouts,
  SetDataCharacteristics,
  SetFlowControl,
  SetLatencyTimer,
  Purge,
  Write,
  Read,
  ResetDevice,
  Close,
};
inline constexpr std::size_t CallCount = 12;

// An injected failure: the call succeeds `SucceedFirst` times, then returns
// `Status` every time.
struct TFault {
  FT_STATUS Status = FT_IO_ERROR;
  unsigned SucceedFirst = 0;
};

struct TSimDeviceConfig {
  std::string Description = "BLACK BOX";
  std::string SerialNumber = "777";
  std::shared_ptr<TSerialPeer> Peer = std::make_shared<TSilentPeer>();
  TLineSettings PeerLine = TrackerLine;
  // A faulty driver fills the whole 64-byte list buffer and leaves the
  // string unterminated.
  bool TerminateStrings = true;
};

// The simulated bridge: a list of FTDI bridges, each with a peer on its
// serial line, behind the same calls as the vendor's driver. It paces reads
// by the shared clock: in virtual time a read that waits jumps the clock
// straight to the next byte or to its time-out.
class TSimBridge final : public TFtdiDriver {
public:
  explicit TSimBridge(TClock &clock);
  ~TSimBridge() override;

  std::size_t Plug(TSimDeviceConfig config);
  // Removes device `index` from the list; its open handle, if any, fails from
  // now on. A removal may be scheduled for a later time.
  void Unplug(std::size_t index);
  void UnplugAt(std::size_t index, TTime time);
  void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

  void InjectFault(std::size_t index, TCall call, TFault fault);
  void InjectListCountFault(TFault fault) { FCountFault = fault; }

  std::size_t DeviceCount() const { return FDevices.size(); }
  unsigned OpenCount() const { return FOpens; }
  unsigned CloseCount() const { return FCloses; }
  std::size_t OpenHandles() const { return FHandles.size(); }
  // Every call as text, e.g. "FT_SetTimeouts(1,1)", in order.
  const std::vector<std::string> &CallLog() const { return FCallLog; }
  void ClearCallLog() { FCallLog.clear(); }
  // The line settings the tool last made on device `index`.
  TLineSettings LineOf(std::size_t index) const;
  TSerialPeer &PeerOf(std::size_t index) const { return *FDevices.at(index)->Config.Peer; }

  FT_STATUS FT_ListDevices(void *arg1, void *arg2, DWORD flags) override;
  FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle) override;
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override;
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) override;
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
  FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff) override;
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override;
  FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override;
  FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, DWORD count, DWORD *written) override;
  FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count, DWORD *read) override;
  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override;
  FT_STATUS FT_Close(FT_HANDLE handle) override;

private:
  struct TDevice {
    TSimDeviceConfig Config;
    std::array<std::optional<TFault>, CallCount> Faults{};
    std::array<unsigned, CallCount> Calls{};
    bool IsOpen = false;
    bool Removed = false;
    TLineSettings Line;
    ULONG ReadTimeoutMs = 0;
    ULONG WriteTimeoutMs = 0;
    UCHAR LatencyMs = 16;
    std::deque<TTimedByte> ToPeer;   // written, each with the time it reaches the peer
    std::deque<TTimedByte> FromPeer; // each with the time the driver can hand it out
    TTime LineFreeAt{};
  };

  FT_STATUS Enter(FT_HANDLE handle, TCall call, const std::string &text, TDevice *&device);
  FT_STATUS Fault(TDevice &device, TCall call);
  void ApplyScheduledRemovals();
  void Pump(TDevice &device);
  std::optional<TTime> NextEvent(const TDevice &device) const;
  bool LineMatches(const TDevice &device) const { return device.Line == device.Config.PeerLine; }

  TClock &FClock;
  std::vector<std::shared_ptr<TDevice>> FDevices;
  std::map<FT_HANDLE, std::shared_ptr<TDevice>> FHandles;
  std::multimap<TTime, std::shared_ptr<TDevice>> FRemovals;
  std::optional<TFault> FCountFault;
  unsigned FCountCalls = 0;
  std::uintptr_t FNextHandle = 0x100;
  unsigned FOpens = 0;
  unsigned FCloses = 0;
  std::vector<std::string> FCallLog;
  std::function<void()> FOnChange;
};

} // namespace korvessan::sim
