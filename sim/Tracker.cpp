#include "sim/Tracker.h"

#include <algorithm>
#include <limits>

namespace korvessan::sim {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view VersionCommandName = "FL_READ_VERSION";
constexpr std::string_view EraseCommandName = "FL_ERASE_NUM";
constexpr std::size_t LastBlock = TTracker::BlockCount - 1;
constexpr std::size_t FirstPageOfLastBlock = LastBlock * TTracker::PagesPerBlock;
constexpr std::size_t PagesErasedOfLastBlock = TTracker::PagesPerBlock - 1; // page 4095 keeps the settings
constexpr std::size_t BlocksPerProgressByte = 16;
constexpr TDuration IndicatorFlash = 50ms;
// In pass-through the tracker forwards its GPS receiver's lines at the GPS
// rate, which a 115200-baud receiver takes for noise.
constexpr std::string_view GpsLine = "$GPRMC,120000.00,A,5545.0000,N,03737.0000,E,0.0,0.0,111226,,,A*6C\r\n";
constexpr ULONG GpsBaudRate = 9600;
constexpr TDuration GpsLinePeriod = 1s;

bool IsFirmwareSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

std::size_t TTracker::TErase::Count() const {
  if (Last < 0)
    return 0;
  return static_cast<std::size_t>(Last) < LastBlock ? static_cast<std::size_t>(Last) + 1
                                                    : LastBlock + PagesErasedOfLastBlock;
}

TTime TTracker::TErase::OperationEnd(std::size_t index, const TTrackerConfig &config) const {
  if (index < LastBlock)
    return Start + config.BlockErase * static_cast<long>(index + 1);
  return Start + config.BlockErase * static_cast<long>(LastBlock) +
         config.PageErase * static_cast<long>(index - LastBlock + 1);
}

TTracker::TTracker(TTrackerConfig config)
    : FConfig(std::move(config)), FFlash(PageSize * PageCount, RecordPattern),
      FCommandModeSince(FConfig.PoweredOnAt + FConfig.StartUp) {}

std::int32_t TTracker::ParseEraseArgument(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsFirmwareSpace(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) {
      overflow = true;
      value = std::numeric_limits<std::uint32_t>::max();
    }
  }
  auto result = static_cast<std::uint32_t>(value);
  if (negative && !overflow)
    result = 0u - result;
  return static_cast<std::int32_t>(result);
}

bool TTracker::CommandModeAt(TTime time) const {
  return FPcConnection && !FExternalPower && !FPassThrough && time >= FCommandModeSince;
}

TDuration TTracker::ReceiveGap() const { return FConfig.PoweredUpWithPcConnection ? 80ms : 200ms; }

std::optional<TTime> TTracker::TakeTime() const {
  if (!FLineCompleteAt)
    return std::nullopt;
  return std::max(*FLineCompleteAt + FConfig.LoopLatency, FBusyUntil);
}

void TTracker::Receive(const TTimedByte &byte) {
  const auto at = std::upper_bound(FIncoming.begin(), FIncoming.end(), byte.Time,
                                   [](TTime time, const TTimedByte &other) { return time < other.Time; });
  FIncoming.insert(at, byte);
}

void TTracker::Store(const TTimedByte &byte) {
  if (!CommandModeAt(byte.Time))
    return;
  if (FLastByteAt && byte.Time - *FLastByteAt > ReceiveGap())
    FBuffer.clear(); // the complete-line mark survives this
  FLastByteAt = byte.Time;
  if (FBuffer.size() < ReceiveBufferSize)
    FBuffer.push_back(byte.Value);
  if (byte.Value == '$' && !FLineCompleteAt)
    FLineCompleteAt = byte.Time;
}

void TTracker::Take(TTime time) {
  const std::size_t length = std::min(FBuffer.size(), MaxLineLength);
  std::string line(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(length));
  FBuffer.clear();
  FLineCompleteAt.reset();
  FLinesTaken.push_back(line);
  if (CommandModeAt(time))
    Execute(line, time);
}

void TTracker::Execute(const std::string &line, TTime time) {
  if (line.starts_with(VersionCommandName)) {
    // The version is kept as nine characters, a line feed and two NULs; the
    // reply is everything up to the first NUL.
    std::string field = FConfig.Version + '\n';
    field = field.substr(0, field.find('\0'));
    FIndicatorOn = time;
    for (const char c : field)
      Send(static_cast<std::uint8_t>(c), time);
    FIndicatorOff = FLineFreeAt;
  } else if (line.starts_with(EraseCommandName)) {
    // Lines without the argument are outside the protocol; the tracker is
    // kept from erasing anything on one.
    const std::size_t comma = line.find(',');
    if (comma != std::string::npos)
      StartErase(ParseEraseArgument(std::string_view(line).substr(comma + 1)), time);
  }
}

void TTracker::StartErase(std::int32_t n, TTime time) {
  const long last = std::min<long>((static_cast<long>(n) - 1) / static_cast<long>(PagesPerBlock), LastBlock);
  FErase = TErase{time, last, 0};
  FRedLedOn = time;
  for (std::size_t u = 0; u < std::min(FErase->Count(), LastBlock); u += BlocksPerProgressByte) {
    const TTime blockStart = u == 0 ? time : FErase->OperationEnd(u - 1, FConfig);
    Send(static_cast<std::uint8_t>(u / BlocksPerProgressByte), blockStart);
  }
  const std::size_t count = FErase->Count();
  const TTime end = count == 0 ? time : FErase->OperationEnd(count - 1, FConfig);
  FRedLedOff = end;
  FIndicatorOn = end;
  FIndicatorOff = end + IndicatorFlash;
  FBusyUntil = end + IndicatorFlash;
}

void TTracker::Send(std::uint8_t value, TTime queuedAt) {
  const TTime done = std::max(queuedAt, FLineFreeAt) + CharacterTime(TrackerLine);
  FLineFreeAt = done;
  FOutgoing.push_back({done, value});
}

void TTracker::ApplyErase(TTime time) {
  if (!FErase)
    return;
  const std::size_t count = FErase->Count();
  for (; FErase->Applied < count && FErase->OperationEnd(FErase->Applied, FConfig) <= time; ++FErase->Applied) {
    const std::size_t index = FErase->Applied;
    const std::size_t firstPage = index < LastBlock ? index * PagesPerBlock : FirstPageOfLastBlock + index - LastBlock;
    const std::size_t pages = index < LastBlock ? PagesPerBlock : 1;
    std::fill_n(FFlash.begin() + static_cast<std::ptrdiff_t>(firstPage * PageSize), pages * PageSize, ErasedByte);
  }
  const TTime end = count == 0 ? FErase->Start : FErase->OperationEnd(count - 1, FConfig);
  if (time >= end) {
    FRing = TRingPosition{0, 0, 0, 0, 0, 0};
    FErase.reset();
  }
}

void TTracker::EmitPassThrough(TTime time) {
  TLineSettings gps = TrackerLine;
  gps.BaudRate = GpsBaudRate;
  TTime at = time;
  for (const char c : GpsLine) {
    at += CharacterTime(gps);
    const TTimedByte noise{at, static_cast<std::uint8_t>(~static_cast<unsigned char>(c))};
    const auto where = std::upper_bound(FOutgoing.begin(), FOutgoing.end(), at,
                                        [](TTime t, const TTimedByte &other) { return t < other.Time; });
    FOutgoing.insert(where, noise);
  }
  FNextGpsLine = time + GpsLinePeriod;
}

std::vector<TTimedByte> TTracker::AdvanceTo(TTime time) {
  for (;;) {
    const std::optional<TTime> take = TakeTime();
    const std::optional<TTime> incoming =
        FIncoming.empty() ? std::nullopt : std::optional<TTime>(FIncoming.front().Time);
    // Bytes that arrive by the time a line is taken become part of it.
    if (incoming && *incoming <= time && (!take || *incoming <= *take)) {
      ApplyErase(*incoming);
      Store(FIncoming.front());
      FIncoming.pop_front();
    } else if (take && *take <= time) {
      ApplyErase(*take);
      Take(*take);
    } else if (FNextGpsLine && *FNextGpsLine <= time) {
      EmitPassThrough(*FNextGpsLine);
    } else {
      break;
    }
  }
  FNow = std::max(FNow, time);
  ApplyErase(FNow);
  std::vector<TTimedByte> sent;
  while (!FOutgoing.empty() && FOutgoing.front().Time <= time) {
    sent.push_back(FOutgoing.front());
    FOutgoing.pop_front();
  }
  return sent;
}

std::optional<TTime> TTracker::NextEvent() const {
  std::optional<TTime> next;
  const auto consider = [&next](std::optional<TTime> time) {
    if (time)
      next = next ? std::min(*next, *time) : *time;
  };
  if (!FOutgoing.empty())
    consider(FOutgoing.front().Time);
  if (!FIncoming.empty())
    consider(FIncoming.front().Time);
  consider(TakeTime());
  consider(FNextGpsLine);
  return next;
}

void TTracker::SetInputs(bool pcConnection, bool externalPower) {
  const bool before = CommandModeAt(FNow);
  FPcConnection = pcConnection;
  FExternalPower = externalPower;
  if (!pcConnection || externalPower) {
    FPassThrough = false;
    FNextGpsLine.reset();
  }
  // Entering command mode starts with an empty receive buffer.
  if (!before && CommandModeAt(FNow)) {
    FBuffer.clear();
    FLineCompleteAt.reset();
  }
}

void TTracker::SetPcConnection(bool active) { SetInputs(active, FExternalPower); }

void TTracker::SetExternalPower(bool present) { SetInputs(FPcConnection, present); }

void TTracker::EnterPassThrough() {
  if (!CommandModeAt(FNow))
    return;
  FPassThrough = true;
  FNextGpsLine = FNow;
}

std::span<const std::uint8_t> TTracker::Page(std::size_t page) {
  ApplyErase(FNow);
  return std::span<const std::uint8_t>(FFlash).subspan(page * PageSize, PageSize);
}

bool TTracker::RedLed() const { return FRedLedOff && FNow >= FRedLedOn && FNow < *FRedLedOff; }

bool TTracker::SecondIndicator() const { return FNow >= FIndicatorOn && FNow < FIndicatorOff; }

} // namespace korvessan::sim
