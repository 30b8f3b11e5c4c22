#pragma once

#include <memory>

namespace korvessan {

class TClock;

// A synchronous tone: the call returns once the tone has sounded for its
// whole duration.
class TBeeper {
public:
  virtual ~TBeeper() = default;
  virtual void Beep(unsigned frequencyHz, unsigned durationMs) = 0;
};

// Plays to ALSA's default PCM device; where none opens, it waits the duration
// on the clock instead, so a beep always takes the same time.
std::unique_ptr<TBeeper> CreateSoundBeeper(TClock &clock);

} // namespace korvessan
