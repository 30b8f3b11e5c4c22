#pragma once

#include "sim/SerialPeer.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvessan::sim {

// The tracker as its serial port sees it: line intake, the version request,
// the erase of its DataFlash record memory with progress bytes, command mode,
// start-up and pass-through. It never sleeps: every call computes what the
// firmware would have done by the given time, so it runs in virtual time in
// tests and in real time behind the tool's --simulate.
struct TTrackerConfig {
  std::string Version = "QUIN-2.4g"; // nine characters
  // Typical times of the AT45DB-family memory; the datasheet's worst case is
  // about 100 ms per block.
  TDuration BlockErase = std::chrono::milliseconds(45);
  TDuration PageErase = std::chrono::milliseconds(15);
  // A tracker powered up with its PC connection already active uses the
  // shorter receive gap.
  bool PoweredUpWithPcConnection = false;
  // When power came on; the tracker answers nothing during its start-up.
  TTime PoweredOnAt = -std::chrono::seconds(1);
  TDuration StartUp = std::chrono::seconds(1);
  // How long the main loop takes to notice a complete line.
  TDuration LoopLatency = std::chrono::milliseconds(1);
};

class TTracker final : public TSerialPeer {
public:
  static constexpr std::size_t PageSize = 528;
  static constexpr std::size_t PageCount = 4096;
  static constexpr std::size_t BlockCount = 512;
  static constexpr std::size_t PagesPerBlock = 8;
  static constexpr std::size_t SettingsPage = 4095;
  static constexpr std::size_t ReceiveBufferSize = 512;
  static constexpr std::size_t MaxLineLength = 400;
  // What the pages hold before any erase: neither erased (0xFF) nor zero.
  static constexpr std::uint8_t RecordPattern = 0x5A;
  static constexpr std::uint8_t ErasedByte = 0xFF;

  struct TRingPosition {
    unsigned WritePage, WriteRecord, SendPage, SendRecord, LastPage, LastRecord;
    bool operator==(const TRingPosition &) const = default;
  };

  explicit TTracker(TTrackerConfig config = {});

  void Receive(const TTimedByte &byte) override;
  std::vector<TTimedByte> AdvanceTo(TTime time) override;
  std::optional<TTime> NextEvent() const override;

  // Inputs of the tracker, applied at the time of the last AdvanceTo.
  void SetPcConnection(bool active);
  void SetExternalPower(bool present);
  void EnterPassThrough();

  // What the tracker holds at the time of the last AdvanceTo.
  std::span<const std::uint8_t> Page(std::size_t page);
  bool RedLed() const;
  bool SecondIndicator() const;
  TRingPosition Ring() const { return FRing; }
  // Every line the main loop took, as it took it.
  const std::vector<std::string> &LinesTaken() const { return FLinesTaken; }
  bool Busy() const { return FNow < FBusyUntil; }

  // The erase argument as the firmware reads it after the first comma.
  static std::int32_t ParseEraseArgument(std::string_view text);

private:
  struct TErase {
    TTime Start;
    long Last;           // last block, -1 for none
    std::size_t Applied; // operations whose effect is already on the pages
    std::size_t Count() const;
    TTime OperationEnd(std::size_t index, const TTrackerConfig &config) const;
  };

  void SetInputs(bool pcConnection, bool externalPower);
  bool CommandModeAt(TTime time) const;
  TDuration ReceiveGap() const;
  std::optional<TTime> TakeTime() const;
  void Store(const TTimedByte &byte);
  void Take(TTime time);
  void Execute(const std::string &line, TTime time);
  void StartErase(std::int32_t n, TTime time);
  void Send(std::uint8_t value, TTime queuedAt);
  void ApplyErase(TTime time);
  void EmitPassThrough(TTime time);

  TTrackerConfig FConfig;
  TTime FNow{};
  std::vector<std::uint8_t> FFlash;
  TRingPosition FRing{1234, 5, 1200, 17, 1234, 4};

  bool FPcConnection = true;
  bool FExternalPower = false;
  bool FPassThrough = false;
  TTime FCommandModeSince;
  std::optional<TTime> FNextGpsLine;

  std::deque<TTimedByte> FIncoming;
  std::vector<std::uint8_t> FBuffer;
  std::optional<TTime> FLastByteAt;
  std::optional<TTime> FLineCompleteAt;

  TTime FBusyUntil{};
  std::optional<TErase> FErase;
  std::optional<TTime> FRedLedOff;
  TTime FRedLedOn{};
  TTime FIndicatorOn{};
  TTime FIndicatorOff{};

  TTime FLineFreeAt{};
  std::deque<TTimedByte> FOutgoing;
  std::vector<std::string> FLinesTaken;
};

} // namespace korvessan::sim
