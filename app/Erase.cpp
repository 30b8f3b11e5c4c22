// The erase of all records: the tool's main operation.
#include "app/Main.h"
#include "device/Protocol.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "resources/Texts.h"

namespace korvessan {
namespace {

using namespace std::chrono_literals;

// The tracker sends 32 progress bytes; a device that sends more than this
// without the last one is not erasing anything we understand.
constexpr unsigned MaxProgressBytes = 120;
// Between two progress bytes the tracker erases 16 blocks, at most about
// 1.6 s on the slowest memory; five empty reads half a second apart wait
// longer than that before giving up.
constexpr unsigned MaxIdleReads = 5;
constexpr TDuration IdleReadPause = 500ms;

constexpr unsigned SuccessToneHz = 523, SuccessToneMs = 50;
constexpr unsigned FailureToneHz = 100, FailureToneMs = 100;

} // namespace

void TMainForm::Button1Click() {
  // Device number 0 serves when discovery identified nothing, so a tracker
  // whose bridge strings were never programmed can still be erased.
  if (!OpenDevice(FIdentifiedDevice.value_or(0), true)) {
    LogMessage(1, Texts::NotConnected);
    return;
  }
  LogMessage(1, Texts::EraseStarted);
  SendCommand(EraseAllCommand);

  unsigned idleReads = 0;
  unsigned progressBytes = 0;
  while (progressBytes < MaxProgressBytes && idleReads < MaxIdleReads) {
    std::uint8_t progress = 0;
    ReadReply(&progress, 1);
    if (FTransferred == 1 && progress == LastProgressByte) {
      LogMessage(1, Texts::EraseDone);
      CloseDevice();
      FBeeper.Beep(SuccessToneHz, SuccessToneMs);
      return;
    }
    if (FTransferred == 1) {
      LogMessage(2, Texts::SectorErased, progress);
      idleReads = 0;
      ++progressBytes;
    } else {
      ++idleReads;
      FClock.Sleep(IdleReadPause);
    }
  }
  // Silence and an endless stream alike leave the erase unconfirmed.
  LogMessage(1, Texts::EraseFailed);
  CloseDevice();
  FBeeper.Beep(FailureToneHz, FailureToneMs);
}

} // namespace korvessan
