#pragma once

#include "app/Main.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "sim/SimBridge.h"

#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace korvessan {

struct TBeep {
  unsigned FrequencyHz;
  unsigned DurationMs;
  TTime At;
  bool operator==(const TBeep &) const = default;
};

// Records each tone and takes its time on the clock, as a real beep would.
class TRecordingBeeper final : public TBeeper {
public:
  explicit TRecordingBeeper(TClock &clock) : FClock(clock) {}
  void Beep(unsigned frequencyHz, unsigned durationMs) override {
    Beeps.push_back({frequencyHz, durationMs, FClock.Now()});
    FClock.Sleep(std::chrono::milliseconds(durationMs));
  }
  std::vector<TBeep> Beeps;

private:
  TClock &FClock;
};

// Reaches the form's connection members, which only its handlers use.
class TMainFormProbe {
public:
  explicit TMainFormProbe(TMainForm &form) : FForm(form) {}
  bool OpenDevice(bool eraseMode, int deviceNumber = 0) { return FForm.OpenDevice(deviceNumber, eraseMode); }
  void CloseDevice() { FForm.CloseDevice(); }
  void SendCommand(std::string_view text) { FForm.SendCommand(text); }
  void ReadReply(void *buffer, DWORD count) { FForm.ReadReply(buffer, count); }
  DWORD Transferred() const { return FForm.FTransferred; }
  FT_HANDLE Device() const { return FForm.FDevice; }

private:
  TMainForm &FForm;
};

// A peer that answers every line ending in '$' with a fixed script of bytes,
// each at its own delay after the line's end.
class TScriptedPeer final : public sim::TSerialPeer {
public:
  using TScript = std::vector<std::pair<TDuration, std::uint8_t>>;
  explicit TScriptedPeer(TScript script) : FScript(std::move(script)) {}

  void Receive(const sim::TTimedByte &byte) override;
  std::vector<sim::TTimedByte> AdvanceTo(TTime time) override;
  std::optional<TTime> NextEvent() const override;

  std::string Received;

private:
  TScript FScript;
  std::vector<sim::TTimedByte> FPending;
};

// A window on a virtual clock and a simulated bridge, with recorded beeps.
struct TFormFixture {
  TVirtualClock Clock;
  sim::TSimBridge Bridge{Clock};
  TRecordingBeeper Beeper{Clock};
  TMainForm Form{Bridge, Clock, Beeper};
  TMainFormProbe Probe{Form};

  QStringList LogLines() const;
};

} // namespace korvessan
