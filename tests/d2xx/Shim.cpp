// A stand-in for the vendor's libftd2xx.so, built from the simulated bridge,
// so the D2XX backend is tested through the real dynamic loader. It exports
// the calls with 32-bit DWORD and ULONG, as the Windows library declares them.
#include "sim/SimBridge.h"

#include <cstdint>

namespace {

korvessan::TVirtualClock Clock;
korvessan::sim::TSimBridge Bridge(Clock);

using DWORD32 = std::uint32_t;
using korvessan::FT_HANDLE;
using korvessan::FT_STATUS;
using korvessan::UCHAR;
using korvessan::USHORT;

} // namespace

extern "C" {

__attribute__((visibility("default"))) korvessan::sim::TSimBridge *KorvessanShimBridge() { return &Bridge; }
__attribute__((visibility("default"))) korvessan::TVirtualClock *KorvessanShimClock() { return &Clock; }

__attribute__((visibility("default"))) FT_STATUS FT_ListDevices(void *arg1, void *arg2, DWORD32 flags) {
  return Bridge.FT_ListDevices(arg1, arg2, flags);
}
__attribute__((visibility("default"))) FT_STATUS FT_Open(int number, FT_HANDLE *handle) {
  return Bridge.FT_Open(number, handle);
}
__attribute__((visibility("default"))) FT_STATUS FT_SetBaudRate(FT_HANDLE handle, DWORD32 baud) {
  return Bridge.FT_SetBaudRate(handle, baud);
}
__attribute__((visibility("default"))) FT_STATUS FT_SetTimeouts(FT_HANDLE handle, DWORD32 read, DWORD32 write) {
  return Bridge.FT_SetTimeouts(handle, read, write);
}
__attribute__((visibility("default"))) FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR bits, UCHAR stop,
                                                                           UCHAR parity) {
  return Bridge.FT_SetDataCharacteristics(handle, bits, stop, parity);
}
__attribute__((visibility("default"))) FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon,
                                                                   UCHAR xoff) {
  return Bridge.FT_SetFlowControl(handle, flow, xon, xoff);
}
__attribute__((visibility("default"))) FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latency) {
  return Bridge.FT_SetLatencyTimer(handle, latency);
}
__attribute__((visibility("default"))) FT_STATUS FT_Purge(FT_HANDLE handle, DWORD32 mask) {
  return Bridge.FT_Purge(handle, mask);
}
__attribute__((visibility("default"))) FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD32 count,
                                                          DWORD32 *written) {
  return Bridge.FT_Write(handle, buffer, count, written);
}
__attribute__((visibility("default"))) FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD32 count, DWORD32 *read) {
  return Bridge.FT_Read(handle, buffer, count, read);
}
__attribute__((visibility("default"))) FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
  return Bridge.FT_ResetDevice(handle);
}
__attribute__((visibility("default"))) FT_STATUS FT_Close(FT_HANDLE handle) { return Bridge.FT_Close(handle); }
}
