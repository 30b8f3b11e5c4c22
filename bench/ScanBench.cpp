// The tool's own costs on the simulated bridge in virtual time: CPU time of
// one scan for 1, 16 and 127 bridges, and how soon after the tracker's last
// progress byte the success message appears.
#include "app/Main.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "sim/SimBridge.h"
#include "sim/Tracker.h"

#include <QApplication>
#include <QPlainTextEdit>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace korvessan;

namespace {

class TSilentBeeper final : public TBeeper {
public:
  explicit TSilentBeeper(TClock &clock) : FClock(clock) {}
  void Beep(unsigned, unsigned durationMs) override { FClock.Sleep(std::chrono::milliseconds(durationMs)); }

private:
  TClock &FClock;
};

// Remembers when the tracker sent its last progress byte.
class TWatchedTracker final : public sim::TSerialPeer {
public:
  void Receive(const sim::TTimedByte &byte) override { FTracker.Receive(byte); }
  std::vector<sim::TTimedByte> AdvanceTo(TTime time) override {
    auto sent = FTracker.AdvanceTo(time);
    for (const auto &byte : sent)
      if (byte.Value == 31)
        LastByteAt = byte.Time;
    return sent;
  }
  std::optional<TTime> NextEvent() const override { return FTracker.NextEvent(); }
  std::optional<TTime> LastByteAt;

private:
  sim::TTracker FTracker;
};

double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void BenchScan(int devices) {
  constexpr int Runs = 7;
  std::vector<double> cpu;
  double virtualMs = 0;
  for (int run = 0; run < Runs; ++run) {
    TVirtualClock clock;
    sim::TSimBridge bridge(clock);
    for (int i = 0; i < devices; ++i)
      bridge.Plug({.Description = "BLACK BOX",
                   .SerialNumber = std::to_string(1000 + i),
                   .Peer = std::make_shared<sim::TTracker>()});
    TSilentBeeper beeper(clock);
    TMainForm form(bridge, clock, beeper);
    const TTime virtualStart = clock.Now();
    const double start = CpuMs();
    form.ScanDevices();
    cpu.push_back(CpuMs() - start);
    virtualMs = std::chrono::duration<double, std::milli>(clock.Now() - virtualStart).count();
  }
  std::printf("scan, %3d bridges: CPU %8.2f ms (median of %d), the user waits %.0f ms\n", devices, Median(cpu), Runs,
              virtualMs);
}

void BenchSuccessLatency() {
  TVirtualClock clock;
  sim::TSimBridge bridge(clock);
  auto tracker = std::make_shared<TWatchedTracker>();
  bridge.Plug({.Description = "BLACK BOX", .SerialNumber = "777", .Peer = tracker});
  TSilentBeeper beeper(clock);
  TMainForm form(bridge, clock, beeper);
  form.ScanDevices();
  std::optional<TTime> successAt;
  auto *log = form.findChild<QPlainTextEdit *>("DebugMemo");
  QObject::connect(log, &QPlainTextEdit::textChanged, [&] {
    if (!successAt && log->toPlainText().endsWith(QString::fromUtf8("светодиода")))
      successAt = clock.Now();
  });
  const TTime start = clock.Now();
  const double cpuStart = CpuMs();
  form.Button1Click();
  const double cpu = CpuMs() - cpuStart;
  if (!successAt || !tracker->LastByteAt) {
    std::printf("erase: no success message\n");
    return;
  }
  // Between progress bytes the erase reads every 500 ms, so this is mostly
  // where in that pause the last byte fell.
  std::printf("erase: success message %.1f ms after the last progress byte; the erase took %.1f s, CPU %.1f ms\n",
              std::chrono::duration<double, std::milli>(*successAt - *tracker->LastByteAt).count(),
              std::chrono::duration<double>(*successAt - start).count(), cpu);
}

} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  for (const int devices : {1, 16, 127})
    BenchScan(devices);
  BenchSuccessLatency();
  return 0;
}
