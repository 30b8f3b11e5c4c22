// Discovery and erase of the real form, on a simulated bridge whose list
// strings, device replies, failing calls and removals the fuzzer chooses.
// Whatever the devices do: the erase ends with one of its three messages,
// success only when a device really sent the last progress byte, and every
// open is closed exactly once.
#include "device/Protocol.h"
#include "resources/Texts.h"
#include "tests/Fixtures.h"

#include <QApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace korvessan;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication application(*argc, *argv);
  return 0;
}

namespace {

std::string ListString(FuzzedDataProvider &input) {
  switch (input.ConsumeIntegralInRange(0, 2)) {
  case 0:
    return "BLACK BOX";
  case 1:
    return "Korvessan";
  default:
    return input.ConsumeRandomLengthString(70);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  TFormFixture fixture;
  bool lastByteSent = false;
  const int devices = input.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < devices; ++i) {
    sim::TSimDeviceConfig config;
    config.Description = ListString(input);
    config.SerialNumber = input.ConsumeBool() ? std::to_string(input.ConsumeIntegral<int>()) : ListString(input);
    config.TerminateStrings = input.ConsumeBool();
    TScriptedPeer::TScript script;
    const int replies = input.ConsumeIntegralInRange(0, 60);
    for (int r = 0; r < replies; ++r) {
      const auto delay = std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 1500));
      const auto byte = input.ConsumeIntegral<std::uint8_t>();
      lastByteSent = lastByteSent || byte == LastProgressByte;
      script.push_back({delay, byte});
    }
    config.Peer = std::make_shared<TScriptedPeer>(script);
    fixture.Bridge.Plug(config);
    const int faults = input.ConsumeIntegralInRange(0, 2);
    for (int f = 0; f < faults; ++f)
      fixture.Bridge.InjectFault(
          static_cast<std::size_t>(i),
          static_cast<sim::TCall>(input.ConsumeIntegralInRange<std::size_t>(0, sim::CallCount - 1)),
          {input.ConsumeIntegralInRange<FT_STATUS>(1, FT_OTHER_ERROR), input.ConsumeIntegralInRange(0u, 40u)});
    if (input.ConsumeBool())
      fixture.Bridge.UnplugAt(static_cast<std::size_t>(i),
                              std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 30000)));
  }
  if (input.ConsumeBool())
    fixture.Bridge.InjectListCountFault({input.ConsumeIntegralInRange<FT_STATUS>(1, FT_OTHER_ERROR), 0});

  fixture.Form.ScanDevices();
  fixture.Form.Button1Click();

  const QString last = fixture.LogLines().back();
  const QString done = QString::fromUtf8(Texts::EraseDone);
  if (last != done && last != QString::fromUtf8(Texts::EraseFailed) && last != QString::fromUtf8(Texts::NotConnected))
    std::abort();
  if (last == done && !lastByteSent)
    std::abort();
  if (fixture.Bridge.OpenHandles() != 0 || fixture.Bridge.OpenCount() != fixture.Bridge.CloseCount())
    std::abort();
  return 0;
}
