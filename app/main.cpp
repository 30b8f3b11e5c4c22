#include "app/Main.h"
#include "app/Application.h"
#include "app/DriverChoice.h"
#include "driver/D2xxLibrary.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "resources/Texts.h"
#include "sim/SimBridge.h"
#include "sim/Tracker.h"

#include <QCommandLineParser>

#include <cstdio>
#include <cstring>
#include <exception>

using namespace korvessan;

namespace {

const char *const HelpText = R"(
Drivers:
  d2xx     the vendor's D2XX library (libftd2xx.so), loaded at start-up
  libftdi  libftdi1 and libusb; detaches the kernel's ftdi_sio while the tool
           talks to the tracker and gives the bridge back afterwards
  sim      a built-in simulated bridge with one tracker ("BLACK BOX", serial
           777) erasing in real time, about 23 s; with --fast-flash its
           memory erases a block in 1 ms, so the erase takes about 0.5 s

Without --driver the D2XX library is used when it loads, otherwise libftdi1.

A bridge this user may not open is named in the log. The package installs a
udev rule that gives the logged-in user access to FTDI bridges; without it,
copy resources/60-korvessan-erase.rules to /etc/udev/rules.d/, run
"udevadm control --reload" and plug the tracker in again.)";

const QCommandLineOption driverOption("driver", "Bridge driver: d2xx, libftdi or sim.", "name");
const QCommandLineOption simulate("simulate", "Short for --driver=sim.");
const QCommandLineOption fastFlash("fast-flash", "With the simulated tracker: flash that erases a block in 1 ms.");

void DescribeOptions(QCommandLineParser &parser) {
  parser.setApplicationDescription(QString::fromUtf8(Texts::AppTitle) + HelpText);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(driverOption);
  parser.addOption(simulate);
  parser.addOption(fastFlash);
}

void NameApplication() {
  QCoreApplication::setApplicationName("korvessan-erase");
  QCoreApplication::setApplicationVersion(KORVESSAN_VERSION);
}

// --help and --version print and exit; they need no display.
bool OnlyAsksForText(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
      if (std::strcmp(argv[i], option) == 0)
        return true;
  return false;
}

int Run(TApplication &application) {
  QCommandLineParser parser;
  DescribeOptions(parser);
  parser.process(application);

  QString driverName = parser.isSet(simulate) ? "sim" : parser.value(driverOption);
  if (!driverName.isEmpty() && driverName != "sim" && driverName != "d2xx" && driverName != "libftdi") {
    std::fprintf(stderr, "korvessan-erase: unknown driver '%s' (d2xx, libftdi or sim)\n", qPrintable(driverName));
    return 2;
  }

  TRealClock clock;
  const auto beeper = CreateSoundBeeper(clock);
  // A bridge with no devices stands in when no real driver can be had.
  sim::TSimBridge bridge(clock);
  TMainForm *form = nullptr;
  TDriverChoice choice;
  if (driverName == "sim") {
    sim::TTrackerConfig tracker;
    if (parser.isSet(fastFlash))
      tracker.BlockErase = tracker.PageErase = 1ms;
    bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "777", .Peer = std::make_shared<sim::TTracker>(tracker)});
  } else {
    TLibFtdiOptions options{.OnAccessDenied = [&form](const std::string &node) {
      if (form)
        form->LogMessage(1, Texts::AccessDenied, node.c_str());
    }};
    choice = ChooseDriver(driverName.toStdString(), D2xxLibraryName(), clock, std::move(options));
  }

  TFtdiDriver &driver = choice.Driver ? *choice.Driver : static_cast<TFtdiDriver &>(bridge);
  TMainForm MainForm(driver, clock, *beeper);
  form = &MainForm;
  if (!choice.MissingLibrary.empty()) {
    std::fprintf(stderr, "korvessan-erase: %s\n", choice.Error.c_str());
    MainForm.LogMessage(1, Texts::DriverMissing, choice.MissingLibrary.c_str());
  }
  // The simulated bridge announces its own plugging like udev does.
  bridge.SetOnChange([&MainForm] { MainForm.PostDeviceChange(); });
  const auto notifier = CreateUdevNotifier([&MainForm] { MainForm.WMDeviceChange(); });
  MainForm.show();
  return application.exec();
}

} // namespace

int main(int argc, char **argv) {
  if (OnlyAsksForText(argc, argv)) {
    QCoreApplication core(argc, argv);
    NameApplication();
    QCommandLineParser parser;
    DescribeOptions(parser);
    parser.process(core);
    return 0;
  }
  TApplication application(argc, argv);
  NameApplication();
  // Lets the desktop match the window to the installed entry and its icon.
  QGuiApplication::setDesktopFileName("korvessan-erase");
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
