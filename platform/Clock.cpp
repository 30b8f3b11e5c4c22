#include "platform/Clock.h"

#include <thread>

namespace korvessan {

TRealClock::TRealClock() : FEpoch(std::chrono::steady_clock::now()) {}

TTime TRealClock::Now() const { return std::chrono::duration_cast<TTime>(std::chrono::steady_clock::now() - FEpoch); }

void TRealClock::Sleep(TDuration duration) {
  if (duration > TDuration::zero())
    std::this_thread::sleep_for(duration);
}

} // namespace korvessan
