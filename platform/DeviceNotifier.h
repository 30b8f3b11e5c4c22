#pragma once

#include <functional>
#include <memory>

namespace korvessan {

// Tells the GUI thread that a USB device arrived or left. The callback runs
// from the event loop, so a notification that comes while a handler blocks
// the loop waits until that handler has returned.
class TDeviceNotifier {
public:
  virtual ~TDeviceNotifier() = default;
};

// Watches udev for usb_device add and remove events. Returns null when udev
// cannot be watched; the tool then still scans once at start-up.
std::unique_ptr<TDeviceNotifier> CreateUdevNotifier(std::function<void()> onChange);

} // namespace korvessan
