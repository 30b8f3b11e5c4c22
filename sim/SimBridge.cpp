#include "sim/SimBridge.h"

#include <algorithm>
#include <cstring>

namespace korvessan::sim {
namespace {

// Bytes sent with the wrong character format arrive as garbage at the other
// end; inverting every bit is garbage that can never spell a command.
std::uint8_t Garble(std::uint8_t value) { return static_cast<std::uint8_t>(~value); }

std::size_t Index(TCall call) { return static_cast<std::size_t>(call); }

} // namespace

TDuration CharacterTime(const TLineSettings &line) {
  const unsigned bits =
      1 + line.WordLength + (line.Parity == FT_PARITY_NONE ? 0 : 1) + (line.StopBits == FT_STOP_BITS_2 ? 2 : 1);
  const ULONG baud = std::max<ULONG>(line.BaudRate, 1);
  return TDuration(std::chrono::nanoseconds(1'000'000'000LL * bits / baud));
}

TSimBridge::TSimBridge(TClock &clock) : FClock(clock) {}
TSimBridge::~TSimBridge() = default;

std::size_t TSimBridge::Plug(TSimDeviceConfig config) {
  auto device = std::make_shared<TDevice>();
  device->Config = std::move(config);
  FDevices.push_back(device);
  if (FOnChange)
    FOnChange();
  return FDevices.size() - 1;
}

void TSimBridge::Unplug(std::size_t index) {
  if (index >= FDevices.size())
    return;
  FDevices[index]->Removed = true;
  FDevices.erase(FDevices.begin() + static_cast<std::ptrdiff_t>(index));
  if (FOnChange)
    FOnChange();
}

void TSimBridge::UnplugAt(std::size_t index, TTime time) { FRemovals.emplace(time, FDevices.at(index)); }

void TSimBridge::ApplyScheduledRemovals() {
  while (!FRemovals.empty() && FRemovals.begin()->first <= FClock.Now()) {
    const auto device = FRemovals.begin()->second;
    FRemovals.erase(FRemovals.begin());
    const auto it = std::find(FDevices.begin(), FDevices.end(), device);
    if (it != FDevices.end())
      Unplug(static_cast<std::size_t>(it - FDevices.begin()));
  }
}

void TSimBridge::InjectFault(std::size_t index, TCall call, TFault fault) {
  FDevices.at(index)->Faults[Index(call)] = fault;
}

TLineSettings TSimBridge::LineOf(std::size_t index) const { return FDevices.at(index)->Line; }

FT_STATUS TSimBridge::Fault(TDevice &device, TCall call) {
  const unsigned calls = device.Calls[Index(call)]++;
  const auto &fault = device.Faults[Index(call)];
  if (fault && calls >= fault->SucceedFirst)
    return fault->Status;
  return FT_OK;
}

FT_STATUS TSimBridge::Enter(FT_HANDLE handle, TCall call, const std::string &text, TDevice *&device) {
  ApplyScheduledRemovals();
  FCallLog.push_back(text);
  const auto it = FHandles.find(handle);
  if (it == FHandles.end())
    return FT_INVALID_HANDLE;
  device = it->second.get();
  if (device->Removed && call != TCall::Close)
    return FT_IO_ERROR;
  return Fault(*device, call);
}

FT_STATUS TSimBridge::FT_ListDevices(void *arg1, void *arg2, DWORD flags) {
  ApplyScheduledRemovals();
  if (flags == FT_LIST_NUMBER_ONLY) {
    FCallLog.push_back("FT_ListDevices(count)");
    if (arg1 == nullptr)
      return FT_INVALID_PARAMETER;
    if (FCountFault && FCountCalls++ >= FCountFault->SucceedFirst)
      return FCountFault->Status;
    *static_cast<DWORD *>(arg1) = static_cast<DWORD>(FDevices.size());
    return FT_OK;
  }
  const DWORD what = flags & ~FT_LIST_BY_INDEX;
  if ((flags & FT_LIST_BY_INDEX) == 0 || (what != FT_OPEN_BY_DESCRIPTION && what != FT_OPEN_BY_SERIAL_NUMBER) ||
      arg2 == nullptr)
    return FT_INVALID_PARAMETER;
  const auto index = reinterpret_cast<std::uintptr_t>(arg1);
  FCallLog.push_back("FT_ListDevices(" + std::to_string(index) +
                     (what == FT_OPEN_BY_DESCRIPTION ? ",description)" : ",serial)"));
  if (index >= FDevices.size())
    return FT_DEVICE_NOT_FOUND;
  TDevice &device = *FDevices[index];
  if (const FT_STATUS status = Fault(device, TCall::ListDevices); status != FT_OK)
    return status;
  const std::string &text = what == FT_OPEN_BY_DESCRIPTION ? device.Config.Description : device.Config.SerialNumber;
  if (!device.Config.TerminateStrings) {
    std::memcpy(arg2, text.data(), std::min<std::size_t>(text.size(), ListStringBufferSize));
    return FT_OK;
  }
  const std::size_t length = std::min<std::size_t>(text.size(), ListStringBufferSize - 1);
  std::memcpy(arg2, text.data(), length);
  static_cast<char *>(arg2)[length] = '\0';
  return FT_OK;
}

FT_STATUS TSimBridge::FT_Open(int deviceNumber, FT_HANDLE *handle) {
  ApplyScheduledRemovals();
  FCallLog.push_back("FT_Open(" + std::to_string(deviceNumber) + ")");
  if (handle == nullptr)
    return FT_INVALID_PARAMETER;
  if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= FDevices.size())
    return FT_DEVICE_NOT_FOUND;
  const auto &device = FDevices[static_cast<std::size_t>(deviceNumber)];
  if (device->IsOpen)
    return FT_DEVICE_NOT_OPENED;
  if (const FT_STATUS status = Fault(*device, TCall::Open); status != FT_OK)
    return status;
  // A fresh open starts from the chip's power-on defaults.
  device->IsOpen = true;
  device->Line = TLineSettings{};
  device->ReadTimeoutMs = device->WriteTimeoutMs = 0;
  device->LatencyMs = 16;
  Pump(*device);
  device->FromPeer.clear();
  *handle = reinterpret_cast<FT_HANDLE>(FNextHandle++);
  FHandles.emplace(*handle, device);
  ++FOpens;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) {
  TDevice *device = nullptr;
  const FT_STATUS status =
      Enter(handle, TCall::SetBaudRate, "FT_SetBaudRate(" + std::to_string(baudRate) + ")", device);
  if (status != FT_OK)
    return status;
  if (baudRate < 183 || baudRate > 3'000'000)
    return FT_INVALID_BAUD_RATE;
  device->Line.BaudRate = baudRate;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) {
  TDevice *device = nullptr;
  const FT_STATUS status =
      Enter(handle, TCall::SetTimeouts,
            "FT_SetTimeouts(" + std::to_string(readTimeout) + "," + std::to_string(writeTimeout) + ")", device);
  if (status != FT_OK)
    return status;
  device->ReadTimeoutMs = readTimeout;
  device->WriteTimeoutMs = writeTimeout;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::SetDataCharacteristics,
                                 "FT_SetDataCharacteristics(" + std::to_string(wordLength) + "," +
                                     std::to_string(stopBits) + "," + std::to_string(parity) + ")",
                                 device);
  if (status != FT_OK)
    return status;
  if ((wordLength != FT_BITS_7 && wordLength != FT_BITS_8) ||
      (stopBits != FT_STOP_BITS_1 && stopBits != FT_STOP_BITS_2) || parity > 4)
    return FT_INVALID_PARAMETER;
  device->Line.WordLength = wordLength;
  device->Line.StopBits = stopBits;
  device->Line.Parity = parity;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::SetFlowControl,
                                 "FT_SetFlowControl(" + std::to_string(flowControl) + "," + std::to_string(xon) + "," +
                                     std::to_string(xoff) + ")",
                                 device);
  if (status != FT_OK)
    return status;
  device->Line.FlowControl = flowControl;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) {
  TDevice *device = nullptr;
  const FT_STATUS status =
      Enter(handle, TCall::SetLatencyTimer, "FT_SetLatencyTimer(" + std::to_string(latencyMs) + ")", device);
  if (status != FT_OK)
    return status;
  if (latencyMs < 1)
    return FT_INVALID_PARAMETER;
  device->LatencyMs = latencyMs;
  return FT_OK;
}

void TSimBridge::Pump(TDevice &device) {
  const TTime now = FClock.Now();
  TSerialPeer &peer = *device.Config.Peer;
  const bool intact = LineMatches(device);
  while (!device.ToPeer.empty() && device.ToPeer.front().Time <= now) {
    TTimedByte byte = device.ToPeer.front();
    device.ToPeer.pop_front();
    if (!intact)
      byte.Value = Garble(byte.Value);
    peer.Receive(byte);
  }
  const TDuration latency = std::chrono::milliseconds(device.LatencyMs);
  for (TTimedByte byte : peer.AdvanceTo(now)) {
    if (!device.IsOpen)
      continue; // nobody holds the port: the bytes are lost
    if (!intact)
      byte.Value = Garble(byte.Value);
    byte.Time += latency;
    device.FromPeer.push_back(byte);
  }
}

std::optional<TTime> TSimBridge::NextEvent(const TDevice &device) const {
  std::optional<TTime> next = device.Config.Peer->NextEvent();
  const auto consider = [&next](TTime time) { next = next ? std::min(*next, time) : time; };
  const TTime now = FClock.Now();
  for (const TTimedByte &byte : device.FromPeer)
    if (byte.Time > now) {
      consider(byte.Time);
      break;
    }
  if (!device.ToPeer.empty())
    consider(device.ToPeer.front().Time);
  if (!FRemovals.empty())
    consider(FRemovals.begin()->first);
  return next;
}

FT_STATUS TSimBridge::FT_Purge(FT_HANDLE handle, ULONG mask) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::Purge, "FT_Purge(" + std::to_string(mask) + ")", device);
  if (status != FT_OK)
    return status;
  Pump(*device);
  if (mask & FT_PURGE_RX)
    device->FromPeer.clear();
  if (mask & FT_PURGE_TX)
    device->ToPeer.clear();
  return FT_OK;
}

FT_STATUS TSimBridge::FT_Write(FT_HANDLE handle, const void *buffer, DWORD count, DWORD *written) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::Write, "FT_Write(" + std::to_string(count) + ")", device);
  if (written != nullptr)
    *written = 0;
  if (status != FT_OK)
    return status;
  if (written == nullptr || (buffer == nullptr && count > 0))
    return FT_INVALID_PARAMETER;
  Pump(*device);
  const TDuration character = CharacterTime(device->Line);
  TTime at = std::max(FClock.Now(), device->LineFreeAt);
  const auto *bytes = static_cast<const std::uint8_t *>(buffer);
  for (DWORD i = 0; i < count; ++i) {
    at += character;
    device->ToPeer.push_back({at, bytes[i]});
  }
  device->LineFreeAt = at;
  *written = count;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_Read(FT_HANDLE handle, void *buffer, DWORD count, DWORD *read) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::Read, "FT_Read(" + std::to_string(count) + ")", device);
  if (read != nullptr)
    *read = 0;
  if (status != FT_OK)
    return status;
  if (read == nullptr || (buffer == nullptr && count > 0))
    return FT_INVALID_PARAMETER;
  const std::optional<TTime> deadline =
      device->ReadTimeoutMs == 0
          ? std::nullopt
          : std::optional<TTime>(FClock.Now() + std::chrono::milliseconds(device->ReadTimeoutMs));
  const auto available = [&] {
    const TTime now = FClock.Now();
    return static_cast<DWORD>(std::count_if(device->FromPeer.begin(), device->FromPeer.end(),
                                            [now](const TTimedByte &byte) { return byte.Time <= now; }));
  };
  for (;;) {
    Pump(*device);
    if (device->Removed)
      return FT_IO_ERROR;
    if (available() >= count)
      break;
    const std::optional<TTime> next = NextEvent(*device);
    // Nothing further will ever come; without a time-out a real driver would
    // block for good, which a simulation has no use for.
    if (!next && !deadline)
      break;
    if (deadline && (!next || *next >= *deadline)) {
      FClock.SleepUntil(*deadline);
      Pump(*device);
      ApplyScheduledRemovals();
      if (device->Removed)
        return FT_IO_ERROR;
      break;
    }
    FClock.SleepUntil(std::max(*next, FClock.Now() + TDuration(1)));
    ApplyScheduledRemovals();
  }
  const DWORD taken = std::min(count, available());
  auto *out = static_cast<std::uint8_t *>(buffer);
  for (DWORD i = 0; i < taken; ++i) {
    out[i] = device->FromPeer.front().Value;
    device->FromPeer.pop_front();
  }
  *read = taken;
  return FT_OK;
}

FT_STATUS TSimBridge::FT_ResetDevice(FT_HANDLE handle) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::ResetDevice, "FT_ResetDevice()", device);
  if (status != FT_OK)
    return status;
  Pump(*device);
  device->FromPeer.clear();
  device->ToPeer.clear();
  return FT_OK;
}

FT_STATUS TSimBridge::FT_Close(FT_HANDLE handle) {
  TDevice *device = nullptr;
  const FT_STATUS status = Enter(handle, TCall::Close, "FT_Close()", device);
  if (device == nullptr)
    return status;
  // The handle is released even when the close reports a fault, as the
  // vendor's driver does; otherwise no caller could ever get rid of it.
  Pump(*device);
  device->IsOpen = false;
  device->ToPeer.clear();
  device->FromPeer.clear();
  FHandles.erase(handle);
  ++FCloses;
  return status;
}

} // namespace korvessan::sim
