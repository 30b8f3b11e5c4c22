// The connection members of the main form: how the tool opens, configures,
// talks to and closes the tracker's bridge.
#include "app/Main.h"
#include "device/Protocol.h"

namespace korvessan {

bool TMainForm::OpenDevice(int deviceNumber, bool eraseMode) {
  if (FDriver.FT_Open(deviceNumber, &FDevice) != FT_OK) {
    FDevice = nullptr;
    return false;
  }
  const TTimeoutProfile profile = eraseMode ? EraseProfile : IdentifyProfile;
  const bool configured =
      FDriver.FT_SetBaudRate(FDevice, LineBaudRate) == FT_OK &&
      FDriver.FT_SetTimeouts(FDevice, profile.ReadMs, profile.WriteMs) == FT_OK &&
      FDriver.FT_SetDataCharacteristics(FDevice, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
      FDriver.FT_SetFlowControl(FDevice, FT_FLOW_NONE, 0, 0) == FT_OK &&
      FDriver.FT_SetLatencyTimer(FDevice, LineLatencyMs) == FT_OK;
  if (!configured) {
    CloseDevice();
    return false;
  }
  return true;
}

void TMainForm::CloseDevice() {
  FDriver.FT_ResetDevice(FDevice);
  FDriver.FT_Close(FDevice);
  FDevice = nullptr;
}

void TMainForm::PurgeBuffers() { FDriver.FT_Purge(FDevice, FT_PURGE_RX | FT_PURGE_TX); }

// A failed call counts as no bytes moved, whatever the driver left in the
// count: a stale count from an earlier exchange must never pass for a reply.
void TMainForm::WriteCommand() {
  FTransferred = 0;
  if (FDriver.FT_Write(FDevice, FCommand.data(), static_cast<DWORD>(FCommand.size()), &FTransferred) != FT_OK)
    FTransferred = 0;
}

void TMainForm::SendCommand(std::string_view text) {
  FCommand = text;
  // Whatever the device sent before this command is stale.
  PurgeBuffers();
  WriteCommand();
}

void TMainForm::ReadReply(void *buffer, DWORD count) {
  FTransferred = 0;
  if (FDriver.FT_Read(FDevice, buffer, count, &FTransferred) != FT_OK || FTransferred > count)
    FTransferred = 0;
}

} // namespace korvessan
