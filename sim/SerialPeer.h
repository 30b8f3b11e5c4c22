#pragma once

#include "driver/FtdiDriver.h"
#include "platform/Clock.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace korvessan::sim {

// The character format of one end of a serial line.
struct TLineSettings {
  ULONG BaudRate = 9600;
  UCHAR WordLength = FT_BITS_8;
  UCHAR StopBits = FT_STOP_BITS_1;
  UCHAR Parity = FT_PARITY_NONE;
  USHORT FlowControl = FT_FLOW_NONE;

  bool operator==(const TLineSettings &) const = default;
};

inline constexpr TLineSettings TrackerLine{115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE, FT_FLOW_NONE};

// Time one character takes on the wire: start bit, data, parity, stop bits.
TDuration CharacterTime(const TLineSettings &line);

struct TTimedByte {
  TTime Time; // when the byte's last bit has arrived
  std::uint8_t Value;
};

// Whatever sits at the far end of a simulated bridge's serial line. The
// bridge feeds it bytes with their arrival times and asks it what it has
// sent by a given time; a peer never sleeps, it computes its behaviour from
// the times it is given.
class TSerialPeer {
public:
  virtual ~TSerialPeer() = default;
  // Arrival times are never earlier than the time of the last AdvanceTo.
  virtual void Receive(const TTimedByte &byte) = 0;
  // Runs the peer up to `time` and returns the bytes it finished sending by then.
  virtual std::vector<TTimedByte> AdvanceTo(TTime time) = 0;
  // The next time after the last AdvanceTo at which the peer may send a byte.
  virtual std::optional<TTime> NextEvent() const = 0;
};

// A device that listens and never answers: a bridge with nothing behind it.
class TSilentPeer final : public TSerialPeer {
public:
  void Receive(const TTimedByte &byte) override { FReceived.push_back(byte.Value); }
  std::vector<TTimedByte> AdvanceTo(TTime) override { return {}; }
  std::optional<TTime> NextEvent() const override { return std::nullopt; }

  const std::vector<std::uint8_t> &Received() const { return FReceived; }

private:
  std::vector<std::uint8_t> FReceived;
};

} // namespace korvessan::sim
