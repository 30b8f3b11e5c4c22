#pragma once

#include <QApplication>

namespace korvessan {

// Shows any exception that escapes an event handler in a message box instead
// of letting it abort the process.
class TApplication final : public QApplication {
public:
  TApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;

  static void ShowException(const char *what);
};

} // namespace korvessan
