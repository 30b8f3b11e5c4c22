#pragma once

#include <chrono>

namespace korvessan {

// All waiting in the tool goes through one clock: the form's sleeps, the
// driver's read time-outs and the simulated tracker's pace. A virtual clock
// makes a 45-second erase run in microseconds with exact timings.
using TDuration = std::chrono::nanoseconds;
using TTime = std::chrono::nanoseconds; // since the clock's own epoch

using namespace std::chrono_literals;

class TClock {
public:
  virtual ~TClock() = default;
  virtual TTime Now() const = 0;
  virtual void Sleep(TDuration duration) = 0;

  void SleepUntil(TTime time) {
    const TTime now = Now();
    if (time > now)
      Sleep(time - now);
  }
};

class TRealClock final : public TClock {
public:
  TRealClock();
  TTime Now() const override;
  void Sleep(TDuration duration) override;

private:
  std::chrono::steady_clock::time_point FEpoch;
};

// Sleeping advances the time at once; nothing else moves it.
class TVirtualClock final : public TClock {
public:
  TTime Now() const override { return FNow; }
  void Sleep(TDuration duration) override {
    if (duration > TDuration::zero())
      FNow += duration;
  }

private:
  TTime FNow{};
};

} // namespace korvessan
