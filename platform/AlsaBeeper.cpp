#include "platform/Beeper.h"
#include "platform/Clock.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace korvessan {
namespace {

constexpr unsigned SampleRate = 48000;
constexpr double Amplitude = 0.3 * 32767;
constexpr unsigned FadeSamples = SampleRate / 1000; // 1 ms ramps keep the tone free of clicks

std::vector<short> MakeTone(unsigned frequencyHz, unsigned durationMs) {
  const std::size_t count = std::size_t{SampleRate} * durationMs / 1000;
  std::vector<short> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t edge = std::min(i, count - 1 - i);
    const double envelope = edge < FadeSamples ? double(edge) / FadeSamples : 1.0;
    const double phase = 2 * std::numbers::pi * frequencyHz * double(i) / SampleRate;
    samples[i] = static_cast<short>(Amplitude * envelope * std::sin(phase));
  }
  return samples;
}

class TAlsaBeeper final : public TBeeper {
public:
  explicit TAlsaBeeper(TClock &clock) : FClock(clock) {}

  void Beep(unsigned frequencyHz, unsigned durationMs) override {
    const TTime start = FClock.Now();
    Play(frequencyHz, durationMs);
    // Covers a missing sound device and a tone cut short alike.
    FClock.SleepUntil(start + std::chrono::milliseconds(durationMs));
  }

private:
  static void Play(unsigned frequencyHz, unsigned durationMs) {
    snd_pcm_t *pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
      return;
    bool played = false;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, SampleRate, 1, 100000) == 0) {
      const std::vector<short> tone = MakeTone(frequencyHz, durationMs);
      std::size_t done = 0;
      played = true;
      while (done < tone.size()) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, tone.data() + done, tone.size() - done);
        if (n < 0)
          n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) {
          played = false;
          break;
        }
        done += static_cast<std::size_t>(n);
      }
      if (played)
        snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
  }

  TClock &FClock;
};

} // namespace

std::unique_ptr<TBeeper> CreateSoundBeeper(TClock &clock) { return std::make_unique<TAlsaBeeper>(clock); }

} // namespace korvessan
