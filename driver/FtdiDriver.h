#pragma once

#include <cstdint>

namespace korvessan {

// The bridge driver: the D2XX calls the tool uses, with D2XX types, flag
// values and semantics, written here from the vendor's documented behaviour.
// Every backend (the vendor library, libftdi1, the simulated bridge) offers
// exactly these calls; a status of FT_OK is success.

using FT_HANDLE = void *;
using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;

enum : FT_STATUS {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INSUFFICIENT_RESOURCES = 5,
  FT_INVALID_PARAMETER = 6,
  FT_INVALID_BAUD_RATE = 7,
  FT_INVALID_ARGS = 16,
  FT_NOT_SUPPORTED = 17,
  FT_OTHER_ERROR = 18,
};

// FT_ListDevices flags. With FT_LIST_NUMBER_ONLY the first argument points to
// a DWORD that receives the count; with FT_LIST_BY_INDEX the first argument
// is the device index itself and the second a 64-byte buffer for the string
// chosen by FT_OPEN_BY_SERIAL_NUMBER or FT_OPEN_BY_DESCRIPTION.
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD ListStringBufferSize = 64;

constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_BITS_7 = 7;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_STOP_BITS_2 = 2;
constexpr UCHAR FT_PARITY_NONE = 0;
constexpr UCHAR FT_PARITY_ODD = 1;
constexpr UCHAR FT_PARITY_EVEN = 2;
constexpr USHORT FT_FLOW_NONE = 0x0000;
constexpr USHORT FT_FLOW_RTS_CTS = 0x0100;
constexpr USHORT FT_FLOW_DTR_DSR = 0x0200;
constexpr USHORT FT_FLOW_XON_XOFF = 0x0400;
constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;

class TFtdiDriver {
public:
  virtual ~TFtdiDriver() = default;

  virtual FT_STATUS FT_ListDevices(void *arg1, void *arg2, DWORD flags) = 0;
  virtual FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle) = 0;
  virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) = 0;
  // Time-outs in milliseconds. A read returns when its count has arrived or
  // the read time-out has passed: FT_OK either way, with a short count then.
  virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) = 0;
  virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) = 0;
  virtual FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff) = 0;
  virtual FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) = 0;
  virtual FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) = 0;
  virtual FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, DWORD count, DWORD *written) = 0;
  virtual FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count, DWORD *read) = 0;
  virtual FT_STATUS FT_ResetDevice(FT_HANDLE handle) = 0;
  virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
};

} // namespace korvessan
