#include "tests/Fixtures.h"

#include <QPlainTextEdit>

#include <algorithm>

namespace korvessan {

void TScriptedPeer::Receive(const sim::TTimedByte &byte) {
  Received.push_back(static_cast<char>(byte.Value));
  if (byte.Value != '$')
    return;
  for (const auto &[delay, value] : FScript)
    FPending.push_back({byte.Time + delay, value});
  std::stable_sort(FPending.begin(), FPending.end(),
                   [](const sim::TTimedByte &a, const sim::TTimedByte &b) { return a.Time < b.Time; });
}

std::vector<sim::TTimedByte> TScriptedPeer::AdvanceTo(TTime time) {
  const auto end =
      std::find_if(FPending.begin(), FPending.end(), [time](const sim::TTimedByte &byte) { return byte.Time > time; });
  std::vector<sim::TTimedByte> sent(FPending.begin(), end);
  FPending.erase(FPending.begin(), end);
  return sent;
}

std::optional<TTime> TScriptedPeer::NextEvent() const {
  if (FPending.empty())
    return std::nullopt;
  return FPending.front().Time;
}

QStringList TFormFixture::LogLines() const {
  const auto *memo = Form.findChild<QPlainTextEdit *>("DebugMemo");
  const QString text = memo->toPlainText();
  return text.isEmpty() ? QStringList{} : text.split('\n');
}

} // namespace korvessan
