// Discovery and identification: finds the tracker among the bridges, shows
// its serial number and firmware version.
#include "app/DeviceText.h"
#include "app/Main.h"
#include "device/Protocol.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "resources/Texts.h"
#include "ui_Main.h"

#include <array>
#include <cstring>

namespace korvessan {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view AcceptedDescriptions[] = {"BLACK BOX", "Korvessan"};
constexpr std::int32_t MinSerialNumber = 1;
constexpr std::int32_t MaxSerialNumber = 99999;
constexpr unsigned VersionAttempts = 15;
constexpr TDuration VersionRetryPause = 400ms;
constexpr unsigned OpenFailureToneHz = 50, OpenFailureToneMs = 50;

// One of the driver's 64-byte list strings. The buffer is larger than the
// driver is told, and only the first 64 bytes are ever read, so a driver that
// leaves the string unterminated cannot lead us past it.
class TListString {
public:
  void *Data() { return FBuffer.data(); }
  std::string_view Text() const { return {FBuffer.data(), strnlen(FBuffer.data(), ListStringBufferSize)}; }

private:
  std::array<char, std::size_t{2} * ListStringBufferSize> FBuffer{};
};

// A screen reader announces a label by its accessible name alone, so the
// name carries the value along with what the value is.
void ShowValue(QLabel &label, const char *title, const std::string &value) {
  label.setText(QString::fromStdString(value));
  const QString name = QString::fromUtf8(title);
  label.setAccessibleName(value.empty() ? name : name + ": " + label.text());
}

bool IsAccepted(std::string_view description) {
  for (const std::string_view accepted : AcceptedDescriptions)
    if (description == accepted)
      return true;
  return false;
}

} // namespace

void TMainForm::ScanDevices() {
  FIdentifiedDevice.reset();
  DWORD count = 0;
  if (FDriver.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
    return;
  for (DWORD i = 0; i < count; ++i) {
    // The driver takes the index itself in place of the first pointer.
    void *const index = reinterpret_cast<void *>(static_cast<std::uintptr_t>(i));
    TListString description;
    if (FDriver.FT_ListDevices(index, description.Data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK)
      return;
    if (!IsAccepted(description.Text()))
      continue;
    TListString serial;
    if (FDriver.FT_ListDevices(index, serial.Data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) != FT_OK)
      continue;
    const std::int32_t number = SerialNumberValue(serial.Text());
    ShowValue(*FUi->SerPanel, Texts::SerialNumberTitle, DisplayText(serial.Text()));
    if (number < MinSerialNumber || number > MaxSerialNumber) {
      LogMessage(1, Texts::UnknownNumber, number);
      continue;
    }
    LogMessage(1, Texts::SerialNumber, number);
    const int deviceNumber = static_cast<int>(i);
    FIdentifiedDevice = deviceNumber;
    if (!OpenDevice(deviceNumber, false)) {
      FBeeper.Beep(OpenFailureToneHz, OpenFailureToneMs);
      continue;
    }
    std::array<char, ListStringBufferSize> reply{};
    for (unsigned attempt = 0; attempt < VersionAttempts; ++attempt) {
      SendCommand(ReadVersionCommand);
      ReadReply(reply.data(), VersionReplyLength);
      if (FTransferred == VersionReplyLength) {
        reply[VersionReplyLength] = '\0';
        break;
      }
      FClock.Sleep(VersionRetryPause);
    }
    ShowValue(*FUi->VerLabel, Texts::VersionTitle,
              DisplayText({reply.data(), strnlen(reply.data(), VersionReplyLength)}));
    CloseDevice();
  }
}

} // namespace korvessan
