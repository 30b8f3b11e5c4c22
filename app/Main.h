#pragma once

#include "driver/FtdiDriver.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Ui {
class TMainForm;
}

namespace korvessan {

class TBeeper;
class TClock;

// The tool's one window. Handlers run on the GUI thread and block it until
// they return, as the device exchanges are short and strictly sequential.
class TMainForm : public QWidget {
public:
  TMainForm(TFtdiDriver &driver, TClock &clock, TBeeper &beeper, QWidget *parent = nullptr);
  ~TMainForm() override;

  // Appends one printf-formatted line to the status log. The level is kept
  // for the callers' sake and changes nothing.
  void LogMessage(int level, const char *format, ...) __attribute__((format(printf, 3, 4)));

  // A device arrived, left or changed: look for the tracker again.
  void WMDeviceChange();
  // Queues a WMDeviceChange behind whatever handler is running now.
  void PostDeviceChange();
  void ScanDevices();
  void Button1Click();

protected:
  void showEvent(QShowEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
#ifdef Q_OS_WIN
  bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
#endif

private:
  friend class TMainFormProbe; // tests reach the connection through it

  void FormShow();

  // The device connection: one open-to-close stretch per operation.
  bool OpenDevice(int deviceNumber, bool eraseMode);
  void CloseDevice();
  void PurgeBuffers();
  void WriteCommand();
  void SendCommand(std::string_view text);
  void ReadReply(void *buffer, DWORD count);

  std::unique_ptr<Ui::TMainForm> FUi;
  TFtdiDriver &FDriver;
  TClock &FClock;
  TBeeper &FBeeper;
  bool FFirstScanQueued = false;
  // The tracker the window shows, so the erase goes to that one.
  std::optional<int> FIdentifiedDevice;

  FT_HANDLE FDevice = nullptr;
  DWORD FTransferred = 0;
  std::string FCommand;
};

} // namespace korvessan
