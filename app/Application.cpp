#include "app/Application.h"

#include <QMessageBox>

#include <exception>

namespace korvessan {

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &error) {
    ShowException(error.what());
  } catch (...) {
    ShowException("");
  }
  return false;
}

void TApplication::ShowException(const char *what) {
  QMessageBox::critical(nullptr, applicationDisplayName(), QString::fromUtf8(what));
}

} // namespace korvessan
