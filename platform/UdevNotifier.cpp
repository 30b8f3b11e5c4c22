#include "platform/DeviceNotifier.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace korvessan {
namespace {

class TUdevNotifier final : public TDeviceNotifier {
public:
  TUdevNotifier(udev *context, udev_monitor *monitor, std::function<void()> onChange)
      : FContext(context), FMonitor(monitor), FOnChange(std::move(onChange)),
        FSocket(udev_monitor_get_fd(monitor), QSocketNotifier::Read) {
    QObject::connect(&FSocket, &QSocketNotifier::activated, [this] { Receive(); });
  }

  ~TUdevNotifier() override {
    udev_monitor_unref(FMonitor);
    udev_unref(FContext);
  }

private:
  void Receive() {
    udev_device *device = udev_monitor_receive_device(FMonitor);
    if (device == nullptr)
      return;
    const char *action = udev_device_get_action(device);
    const bool relevant = action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
    udev_device_unref(device);
    if (relevant)
      FOnChange();
  }

  udev *FContext;
  udev_monitor *FMonitor;
  std::function<void()> FOnChange;
  QSocketNotifier FSocket;
};

} // namespace

std::unique_ptr<TDeviceNotifier> CreateUdevNotifier(std::function<void()> onChange) {
  udev *context = udev_new();
  if (context == nullptr)
    return nullptr;
  udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    if (monitor != nullptr)
      udev_monitor_unref(monitor);
    udev_unref(context);
    return nullptr;
  }
  return std::make_unique<TUdevNotifier>(context, monitor, std::move(onChange));
}

} // namespace korvessan
