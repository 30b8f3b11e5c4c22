#include "app/Application.h"

#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace korvessan {
namespace {

// An exception escaping a handler is shown to the user, and the tool goes on.
TEST(Application, HandlerExceptionIsShownInAMessageBox) {
  struct TThrower : QObject {
    bool event(QEvent *event) override {
      if (event->type() == QEvent::User)
        throw std::runtime_error("сбой обработчика");
      return QObject::event(event);
    }
  } thrower;
  QString shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&shown] {
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->done(0);
    }
  });
  closer.start(1);
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown, "сбой обработчика");
}

} // namespace
} // namespace korvessan
