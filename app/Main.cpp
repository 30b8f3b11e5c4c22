#include "app/Main.h"

#include "device/Protocol.h"
#include "platform/Beeper.h"
#include "platform/Clock.h"
#include "resources/Texts.h"
#include "ui_Main.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QScrollBar>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <cstdarg>
#include <cstdio>

namespace korvessan {

TMainForm::TMainForm(TFtdiDriver &driver, TClock &clock, TBeeper &beeper, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FUi(std::make_unique<Ui::TMainForm>()), FDriver(driver), FClock(clock), FBeeper(beeper) {
  FUi->setupUi(this);
  setFixedSize(size());
  connect(FUi->Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
}

TMainForm::~TMainForm() = default;

void TMainForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  FormShow();
}

void TMainForm::FormShow() {
  if (const QScreen *screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  activateWindow();
  setFocus();
}

void TMainForm::paintEvent(QPaintEvent *event) {
  QWidget::paintEvent(event);
  // The first discovery waits until the window has been painted once, so the
  // user sees the window while a slow tracker is being identified.
  if (!FFirstScanQueued) {
    FFirstScanQueued = true;
    PostDeviceChange();
  }
}

void TMainForm::PostDeviceChange() {
  QMetaObject::invokeMethod(this, &TMainForm::WMDeviceChange, Qt::QueuedConnection);
}

#ifdef Q_OS_WIN
bool TMainForm::nativeEvent(const QByteArray &eventType, void *message, qintptr *result) {
  constexpr unsigned WM_DEVICECHANGE = 0x0219;
  const auto *msg = static_cast<const MSG *>(message);
  if (eventType == "windows_generic_MSG" && msg->message == WM_DEVICECHANGE) {
    WMDeviceChange();
    *result = 1;
    return true;
  }
  return QWidget::nativeEvent(eventType, message, result);
}
#endif

void TMainForm::LogMessage(int level, const char *format, ...) {
  static_cast<void>(level);
  // Measured first, then formatted, so no line is ever cut short.
  std::va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string line(static_cast<std::size_t>(std::max(length, 0)), '\0');
  va_start(args, format);
  if (length > 0)
    std::vsnprintf(line.data(), line.size() + 1, format, args);
  va_end(args);

  FUi->DebugMemo->appendPlainText(QString::fromUtf8(line));
  QScrollBar *scrollBar = FUi->DebugMemo->verticalScrollBar();
  scrollBar->setValue(scrollBar->maximum());
  // Handlers hold the event loop, so the line is painted now or not at all
  // until the handler returns.
  FUi->DebugMemo->viewport()->repaint();
}

void TMainForm::WMDeviceChange() { ScanDevices(); }

} // namespace korvessan
