#include "app/Main.h"
#include "app/Application.h"
#include "driver/D2xxLibrary.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "resources/Texts.h"
#include "sim/SimBridge.h"
#include "sim/Tracker.h"

#include <QCommandLineParser>

#include <cstdio>
#include <exception>

using namespace korvessan;

namespace {

const char *const HelpText = R"(
Drivers:
  d2xx  the vendor's D2XX library (libftd2xx.so), loaded at start-up
  sim   a built-in simulated bridge with one tracker ("BLACK BOX", serial 777)
        erasing in real time, about 23 s

Without --driver the D2XX library is used when it loads; otherwise the tool
starts without devices and says so in its log.)";

int Run(TApplication &application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(Texts::AppTitle) + HelpText);
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption driverOption("driver", "Bridge driver: d2xx or sim.", "name");
  const QCommandLineOption simulate("simulate", "Short for --driver=sim.");
  parser.addOption(driverOption);
  parser.addOption(simulate);
  parser.process(application);

  QString driverName = parser.isSet(simulate) ? "sim" : parser.value(driverOption);
  if (!driverName.isEmpty() && driverName != "sim" && driverName != "d2xx") {
    std::fprintf(stderr, "korvessan-erase: unknown driver '%s' (d2xx or sim)\n", qPrintable(driverName));
    return 2;
  }

  TRealClock clock;
  const auto beeper = CreateSoundBeeper(clock);
  // A bridge with no devices stands in when no real driver can be had.
  sim::TSimBridge bridge(clock);
  std::unique_ptr<TFtdiDriver> library;
  std::string loadError;
  if (driverName != "sim")
    library = LoadD2xxLibrary(D2xxLibraryName(), loadError);
  if (driverName == "sim")
    bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "777", .Peer = std::make_shared<sim::TTracker>()});

  TFtdiDriver &driver = library ? *library : static_cast<TFtdiDriver &>(bridge);
  TMainForm MainForm(driver, clock, *beeper);
  if (driverName != "sim" && !library) {
    std::fprintf(stderr, "korvessan-erase: %s\n", loadError.c_str());
    MainForm.LogMessage(1, Texts::DriverMissing, D2xxLibraryName());
  }
  // The simulated bridge announces its own plugging like udev does.
  bridge.SetOnChange([&MainForm] { MainForm.PostDeviceChange(); });
  const auto notifier = CreateUdevNotifier([&MainForm] { MainForm.WMDeviceChange(); });
  MainForm.show();
  return application.exec();
}

} // namespace

int main(int argc, char **argv) {
  TApplication application(argc, argv);
  application.setApplicationName("korvessan-erase");
  application.setApplicationVersion(KORVESSAN_VERSION);
  application.setApplicationDisplayName(QString::fromUtf8(Texts::AppTitle));
  try {
    return Run(application);
  } catch (const std::exception &error) {
    TApplication::ShowException(error.what());
  } catch (...) {
    TApplication::ShowException("");
  }
  return 0;
}
