// The simulated tracker's line intake and argument parsing, fed arbitrary
// bytes with arbitrary gaps between them. Whatever arrives, a taken line is
// never longer than the firmware's limit, the settings page survives, and the
// flash holds only records or erased bytes.
#include "sim/Tracker.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace korvessan;
using namespace std::chrono_literals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  sim::TTracker::ParseEraseArgument({reinterpret_cast<const char *>(data), size});

  // Fast flash, so an erase the input starts ends within the run.
  sim::TTracker tracker({.BlockErase = 1ms, .PageErase = 1ms});
  TTime now{};
  // Each byte comes with a gap: a low bit picks short gaps around the
  // character time, otherwise tens of milliseconds, across the receive gaps.
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint8_t gap = data[i];
    now += (gap & 1) ? std::chrono::microseconds(gap * 10) : std::chrono::milliseconds(gap);
    tracker.AdvanceTo(now);
    tracker.Receive({now, data[i + 1]});
  }
  tracker.AdvanceTo(now + 30s);

  for (const std::string &line : tracker.LinesTaken())
    if (line.size() > sim::TTracker::MaxLineLength)
      std::abort();
  for (const std::uint8_t byte : tracker.Page(sim::TTracker::SettingsPage))
    if (byte != sim::TTracker::RecordPattern)
      std::abort();
  for (std::size_t page = 0; page < sim::TTracker::PageCount; page += 7) {
    const std::uint8_t first = tracker.Page(page)[0];
    if (first != sim::TTracker::RecordPattern && first != sim::TTracker::ErasedByte)
      std::abort();
  }
  return 0;
}
