#include "app/Main.h"
#include "app/Application.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "resources/Texts.h"
#include "sim/SimBridge.h"
#include "sim/Tracker.h"

#include <QCommandLineParser>

#include <exception>

using namespace korvessan;

namespace {

int Run(TApplication &application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(Texts::AppTitle));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption simulate("simulate", "Work with a built-in simulated bridge and tracker.");
  parser.addOption(simulate);
  parser.process(application);

  TRealClock clock;
  const auto beeper = CreateSoundBeeper(clock);
  sim::TSimBridge bridge(clock);
  if (parser.isSet(simulate))
    bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "777", .Peer = std::make_shared<sim::TTracker>()});

  TMainForm MainForm(bridge, clock, *beeper);
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
