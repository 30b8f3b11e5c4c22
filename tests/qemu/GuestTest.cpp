// Runs inside a small QEMU guest against QEMU's emulated FT232 bridge, with a
// host-side simulated tracker behind it: the libftdi backend through every
// call the tool makes, in real time on real USB. Prints one line per check
// and exits non-zero when any fails.
#include "device/Protocol.h"
#include "driver/LibFtdiBridge.h"
#include "platform/Clock.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace korvessan;
using namespace std::chrono_literals;

namespace {

int Failures = 0;

void Check(bool ok, const std::string &what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  if (!ok)
    ++Failures;
}

long long Ms(TDuration duration) { return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count(); }

// Whether the kernel's serial driver is bound to the bridge's interface.
bool SerialDriverBound() {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/sys/bus/usb-serial/devices", error))
    if (entry.path().filename().string().starts_with("ttyUSB"))
      return true;
  return false;
}

bool WaitFor(TClock &clock, bool (*condition)(), TDuration limit) {
  const TTime end = clock.Now() + limit;
  while (!condition()) {
    if (clock.Now() > end)
      return false;
    clock.Sleep(20ms);
  }
  return true;
}

std::string ListString(TFtdiDriver &driver, DWORD index, DWORD which) {
  std::array<char, ListStringBufferSize> text{};
  void *const indexArgument = reinterpret_cast<void *>(static_cast<std::uintptr_t>(index));
  if (driver.FT_ListDevices(indexArgument, text.data(), FT_LIST_BY_INDEX | which) != FT_OK)
    return "<error>";
  return text.data();
}

void ExpectSerial(const char *expectedSerial) {
  TRealClock clock;
  std::string error;
  std::vector<std::string> denied;
  auto driver = CreateLibFtdiDriver(clock, {[&](const std::string &node) { denied.push_back(node); }}, error);
  Check(driver != nullptr, "libftdi starts " + error);
  if (!driver)
    return;

  Check(WaitFor(clock, SerialDriverBound, 10s), "ftdi_sio is bound before the tool opens anything");
  DWORD count = 0;
  const FT_STATUS listed = driver->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
  Check(listed == FT_OK && count == 1, "one bridge listed, got " + std::to_string(count));
  Check(ListString(*driver, 0, FT_OPEN_BY_DESCRIPTION) == "QEMU USB SERIAL", "description");
  Check(ListString(*driver, 0, FT_OPEN_BY_SERIAL_NUMBER) == expectedSerial, "serial number");
  Check(SerialDriverBound(), "listing leaves ftdi_sio attached");
  Check(denied.empty(), "root is not denied");

  FT_HANDLE handle = nullptr;
  Check(driver->FT_Open(0, &handle) == FT_OK, "open");
  Check(!SerialDriverBound(), "open detaches ftdi_sio");
  Check(driver->FT_SetBaudRate(handle, LineBaudRate) == FT_OK &&
            driver->FT_SetTimeouts(handle, IdentifyProfile.ReadMs, IdentifyProfile.WriteMs) == FT_OK &&
            driver->FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
            driver->FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0) == FT_OK &&
            driver->FT_SetLatencyTimer(handle, LineLatencyMs) == FT_OK,
        "line set to 115200 8N1, no flow control, latency 1 ms");

  // Nothing pending: the read must give up after its own 100 ms, not after
  // the USB time-out of a transfer the idle bridge never answers.
  std::array<char, 64> reply{};
  DWORD transferred = 99;
  TTime start = clock.Now();
  FT_STATUS status = driver->FT_Read(handle, reply.data(), VersionReplyLength, &transferred);
  const TDuration idle = clock.Now() - start;
  Check(status == FT_OK && transferred == 0, "idle read returns FT_OK with no bytes");
  // libftdi's own USB time-out is 5 s; anything near the 100 ms is ours.
  Check(idle >= 100ms && idle < 1000ms, "idle read took " + std::to_string(Ms(idle)) + " ms for a 100 ms time-out");

  Check(driver->FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX) == FT_OK, "purge both directions");
  Check(driver->FT_Write(handle, ReadVersionCommand.data(), static_cast<DWORD>(ReadVersionCommand.size()),
                         &transferred) == FT_OK &&
            transferred == ReadVersionCommand.size(),
        "version command written");
  status = driver->FT_Read(handle, reply.data(), VersionReplyLength, &transferred);
  Check(status == FT_OK && transferred == VersionReplyLength &&
            std::string(reply.data(), VersionReplyLength) == "QUIN-2.4g\n",
        "version reply: " + std::string(reply.data(), transferred));

  // The erase as the tool runs it: 1 ms time-outs, a byte at a time.
  Check(driver->FT_SetTimeouts(handle, EraseProfile.ReadMs, EraseProfile.WriteMs) == FT_OK, "erase time-outs");
  driver->FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
  driver->FT_Write(handle, EraseAllCommand.data(), static_cast<DWORD>(EraseAllCommand.size()), &transferred);
  std::vector<int> progress;
  unsigned reads = 0;
  start = clock.Now();
  while (clock.Now() - start < 20s && (progress.empty() || progress.back() != LastProgressByte)) {
    unsigned char byte = 0;
    ++reads;
    if (driver->FT_Read(handle, &byte, 1, &transferred) != FT_OK)
      break;
    if (transferred == 1)
      progress.push_back(byte);
  }
  bool inOrder = progress.size() == LastProgressByte + 1u;
  for (std::size_t i = 0; inOrder && i < progress.size(); ++i)
    inOrder = progress[i] == static_cast<int>(i);
  Check(inOrder, "progress bytes 0..31 in order, got " + std::to_string(progress.size()) + " bytes in " +
                     std::to_string(reads) + " reads, " + std::to_string(Ms(clock.Now() - start)) + " ms");

  Check(driver->FT_ResetDevice(handle) == FT_OK, "reset");
  Check(driver->FT_Close(handle) == FT_OK, "close");
  Check(driver->FT_Close(handle) == FT_INVALID_HANDLE, "a second close is refused");
  Check(WaitFor(clock, SerialDriverBound, 5s), "close gives the bridge back to ftdi_sio");
}

// A user without rights to the device node still sees the bridge listed, and
// is told which node it is.
void ExpectAccessDeniedReported() {
  if (setgid(65534) != 0 || setuid(65534) != 0) {
    Check(false, "drop to nobody");
    return;
  }
  TRealClock clock;
  std::string error;
  std::vector<std::string> denied;
  auto driver = CreateLibFtdiDriver(clock, {[&](const std::string &node) { denied.push_back(node); }}, error);
  DWORD count = 0;
  Check(driver && driver->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK && count == 1,
        "nobody still lists the bridge");
  Check(denied.size() == 1 && denied[0].starts_with("/dev/bus/usb/"),
        "nobody is told the node: " + (denied.empty() ? std::string("none") : denied[0]));
  driver->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
  Check(denied.size() == 1, "told once while the bridge stays plugged in");
  FT_HANDLE handle = nullptr;
  Check(driver->FT_Open(0, &handle) == FT_DEVICE_NOT_OPENED && handle == nullptr, "nobody cannot open it");
}

} // namespace

int main(int argc, char **argv) {
  const char *serial = argc > 1 ? argv[1] : "777";
  ExpectSerial(serial);
  ExpectAccessDeniedReported();
  std::printf("%s\n", Failures == 0 ? "GUEST-TEST-PASSED" : "GUEST-TEST-FAILED");
  return Failures == 0 ? 0 : 1;
}
