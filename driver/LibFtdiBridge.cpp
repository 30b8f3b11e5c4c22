#include "driver/LibFtdiBridge.h"

#include <ftdi.h>
#include <libusb.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <vector>

namespace korvessan {
namespace {

constexpr int FtdiVendorId = 0x0403;

struct TProduct {
  int ProductId;
  int InterfaceCount;
};

// The product IDs the vendor's library lists without being told more.
constexpr TProduct FtdiProducts[] = {
    {0x6001, 1}, // FT232R, FT232AM/BM, FT245
    {0x6010, 2}, // FT2232C/D/H
    {0x6011, 4}, // FT4232H
    {0x6014, 1}, // FT232H
    {0x6015, 1}, // FT-X series
    {0x6048, 4}, // FT4232HA
};

// libusb waits this long per transfer when a read has no time-out of its own.
constexpr int UnboundedTransferMs = 1000;

struct TListedDevice {
  libusb_device *Device = nullptr; // holds a reference while listed
  int Interface = 0;               // 0 for A, 1 for B ...
  std::string Description;
  std::string SerialNumber;
};

struct TOpenDevice {
  ftdi_context *Context = nullptr;
  ULONG ReadTimeoutMs = 0;
  ULONG WriteTimeoutMs = 0;
  // Received bytes the caller has not asked for yet.
  std::deque<unsigned char> Pending{};
};

// Every packet the bridge sends starts with two modem status bytes.
constexpr int PacketStatusBytes = 2;

std::string DeviceNode(libusb_device *device) {
  std::array<char, 32> node{};
  std::snprintf(node.data(), node.size(), "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  return node.data();
}

// The order the bus enumerates devices in: by bus, then by the ports on the
// way to the device.
std::vector<std::uint8_t> EnumerationKey(libusb_device *device) {
  std::vector<std::uint8_t> key(8);
  const int depth = libusb_get_port_numbers(device, key.data(), static_cast<int>(key.size()));
  key.resize(static_cast<std::size_t>(std::max(depth, 0)));
  key.insert(key.begin(), libusb_get_bus_number(device));
  key.push_back(libusb_get_device_address(device));
  return key;
}

// Copies a list string into the caller's 64-byte buffer, always terminated.
void CopyListString(const std::string &text, void *buffer) {
  const std::size_t length = std::min<std::size_t>(text.size(), ListStringBufferSize - 1);
  std::memcpy(buffer, text.data(), length);
  static_cast<char *>(buffer)[length] = '\0';
}

class TLibFtdiBridge final : public TFtdiDriver {
public:
  TLibFtdiBridge(TClock &clock, TLibFtdiOptions options, ftdi_context *listContext)
      : FClock(clock), FOptions(std::move(options)), FListContext(listContext) {}

  ~TLibFtdiBridge() override {
    for (TOpenDevice *open : FOpen)
      CloseContext(open);
    ForgetList();
    ftdi_free(FListContext);
  }

  FT_STATUS FT_ListDevices(void *arg1, void *arg2, DWORD flags) override {
    if (flags & FT_LIST_NUMBER_ONLY) {
      if (!arg1)
        return FT_INVALID_PARAMETER;
      const FT_STATUS status = Relist();
      *static_cast<DWORD *>(arg1) = status == FT_OK ? static_cast<DWORD>(FListed.size()) : 0;
      return status;
    }
    if (!(flags & FT_LIST_BY_INDEX) || !arg2)
      return FT_INVALID_PARAMETER;
    const auto index = reinterpret_cast<std::uintptr_t>(arg1);
    if (index >= FListed.size())
      return FT_DEVICE_NOT_FOUND;
    const TListedDevice &listed = FListed[index];
    if (flags & FT_OPEN_BY_SERIAL_NUMBER)
      CopyListString(listed.SerialNumber, arg2);
    else if (flags & FT_OPEN_BY_DESCRIPTION)
      CopyListString(listed.Description, arg2);
    else
      return FT_INVALID_PARAMETER;
    return FT_OK;
  }

  FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle) override {
    if (!handle)
      return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (FListed.empty() && Relist() != FT_OK)
      return FT_DEVICE_NOT_FOUND;
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= FListed.size())
      return FT_DEVICE_NOT_FOUND;
    const TListedDevice &listed = FListed[static_cast<std::size_t>(deviceNumber)];
    ftdi_context *context = ftdi_new();
    if (!context)
      return FT_INSUFFICIENT_RESOURCES;
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    if (ftdi_set_interface(context, static_cast<ftdi_interface>(INTERFACE_A + listed.Interface)) < 0 ||
        ftdi_usb_open_dev(context, listed.Device) < 0) {
      ftdi_free(context);
      return FT_DEVICE_NOT_OPENED;
    }
    auto *open = new TOpenDevice{.Context = context};
    FOpen.insert(open);
    *handle = open;
    return FT_OK;
  }

  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    if (baudRate > static_cast<ULONG>(INT32_MAX))
      return FT_INVALID_BAUD_RATE;
    const int result = ftdi_set_baudrate(open->Context, static_cast<int>(baudRate));
    return result == -1 ? FT_INVALID_BAUD_RATE : StatusOf(result);
  }

  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    open->ReadTimeoutMs = readTimeout;
    open->WriteTimeoutMs = writeTimeout;
    return FT_OK;
  }

  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    if ((wordLength != FT_BITS_7 && wordLength != FT_BITS_8) ||
        (stopBits != FT_STOP_BITS_1 && stopBits != FT_STOP_BITS_2) || parity > SPACE)
      return FT_INVALID_PARAMETER;
    return StatusOf(ftdi_set_line_property(open->Context, static_cast<ftdi_bits_type>(wordLength),
                                           stopBits == FT_STOP_BITS_2 ? STOP_BIT_2 : STOP_BIT_1,
                                           static_cast<ftdi_parity_type>(parity)));
  }

  FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    switch (flowControl) {
    case FT_FLOW_NONE:
      return StatusOf(ftdi_setflowctrl(open->Context, SIO_DISABLE_FLOW_CTRL));
    case FT_FLOW_RTS_CTS:
      return StatusOf(ftdi_setflowctrl(open->Context, SIO_RTS_CTS_HS));
    case FT_FLOW_DTR_DSR:
      return StatusOf(ftdi_setflowctrl(open->Context, SIO_DTR_DSR_HS));
    case FT_FLOW_XON_XOFF:
      return StatusOf(ftdi_setflowctrl_xonxoff(open->Context, xon, xoff));
    default:
      return FT_INVALID_PARAMETER;
    }
  }

  FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    const int result = ftdi_set_latency_timer(open->Context, latencyMs);
    return result == -1 ? FT_INVALID_PARAMETER : StatusOf(result);
  }

  FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    const bool rx = mask & FT_PURGE_RX, tx = mask & FT_PURGE_TX;
    if (rx)
      open->Pending.clear();
    if (rx && tx)
      return StatusOf(ftdi_tcioflush(open->Context));
    if (rx)
      return StatusOf(ftdi_tciflush(open->Context));
    if (tx)
      return StatusOf(ftdi_tcoflush(open->Context));
    return FT_INVALID_PARAMETER;
  }

  FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, DWORD count, DWORD *written) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    if (!written || (!buffer && count) || count > static_cast<DWORD>(INT32_MAX))
      return FT_INVALID_PARAMETER;
    *written = 0;
    open->Context->usb_write_timeout = TransferTimeout(open->WriteTimeoutMs);
    const int result =
        ftdi_write_data(open->Context, static_cast<const unsigned char *>(buffer), static_cast<int>(count));
    // A write time-out is not an error to the vendor's library: the count
    // tells how much went out.
    if (result == LIBUSB_ERROR_TIMEOUT)
      return FT_OK;
    if (result < 0)
      return FT_IO_ERROR;
    *written = static_cast<DWORD>(result);
    return FT_OK;
  }

  // Returns when `count` bytes have come or the read time-out has passed.
  // A bridge with nothing to say may hold a transfer for its whole USB
  // time-out, so every transfer is given only the time that is left. The
  // transfers are libusb's own, one packet each: a transfer that times out
  // just as its packet arrives still reports the packet, which libftdi's
  // ftdi_read_data would drop.
  FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count, DWORD *read) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    if (!read || (!buffer && count))
      return FT_INVALID_PARAMETER;
    *read = 0;
    auto *bytes = static_cast<unsigned char *>(buffer);
    const bool bounded = open->ReadTimeoutMs != 0;
    const TTime deadline = FClock.Now() + std::chrono::milliseconds(open->ReadTimeoutMs);
    std::vector<unsigned char> packet(static_cast<std::size_t>(open->Context->max_packet_size));
    while (*read < count) {
      if (!open->Pending.empty()) {
        const DWORD take = std::min<DWORD>(count - *read, static_cast<DWORD>(open->Pending.size()));
        std::copy_n(open->Pending.begin(), take, bytes + *read);
        open->Pending.erase(open->Pending.begin(), open->Pending.begin() + take);
        *read += take;
        continue;
      }
      int transferMs = UnboundedTransferMs;
      if (bounded) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - FClock.Now()).count();
        if (left <= 0)
          break;
        transferMs = static_cast<int>(std::min<long long>(left, INT32_MAX));
      }
      int received = 0;
      const int result = libusb_bulk_transfer(open->Context->usb_dev, static_cast<unsigned char>(open->Context->out_ep),
                                              packet.data(), static_cast<int>(packet.size()), &received, transferMs);
      if (result != 0 && result != LIBUSB_ERROR_TIMEOUT)
        return FT_IO_ERROR;
      if (received > PacketStatusBytes)
        open->Pending.insert(open->Pending.end(), packet.begin() + PacketStatusBytes, packet.begin() + received);
    }
    return FT_OK;
  }

  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    return StatusOf(ftdi_usb_reset(open->Context));
  }

  FT_STATUS FT_Close(FT_HANDLE handle) override {
    TOpenDevice *open = Find(handle);
    if (!open)
      return FT_INVALID_HANDLE;
    FOpen.erase(open);
    CloseContext(open);
    return FT_OK;
  }

private:
  // libftdi answers -1..-n for its own checks and libusb's codes for the
  // bus; none of them says more to the caller than that the bridge failed.
  static FT_STATUS StatusOf(int result) { return result < 0 ? FT_IO_ERROR : FT_OK; }

  static int TransferTimeout(ULONG ms) {
    return ms == 0 ? 0 : static_cast<int>(std::min<ULONG>(ms, static_cast<ULONG>(INT32_MAX)));
  }

  TOpenDevice *Find(FT_HANDLE handle) const {
    const auto found = FOpen.find(static_cast<TOpenDevice *>(handle));
    return found == FOpen.end() ? nullptr : *found;
  }

  static void CloseContext(TOpenDevice *open) {
    ftdi_usb_close(open->Context);
    ftdi_free(open->Context);
    delete open;
  }

  void ForgetList() {
    for (TListedDevice &listed : FListed)
      if (listed.Interface == 0)
        libusb_unref_device(listed.Device);
    FListed.clear();
  }

  FT_STATUS Relist() {
    ForgetList();
    std::vector<std::pair<libusb_device *, int>> found;
    for (const TProduct &product : FtdiProducts) {
      ftdi_device_list *list = nullptr;
      if (ftdi_usb_find_all(FListContext, &list, FtdiVendorId, product.ProductId) < 0) {
        ftdi_list_free(&list);
        for (auto &[device, interfaces] : found)
          libusb_unref_device(device);
        return FT_IO_ERROR;
      }
      for (ftdi_device_list *item = list; item; item = item->next)
        found.emplace_back(libusb_ref_device(item->dev), product.InterfaceCount);
      ftdi_list_free(&list);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto &a, const auto &b) { return EnumerationKey(a.first) < EnumerationKey(b.first); });

    std::set<std::string> denied;
    for (auto &[device, interfaces] : found) {
      const std::string node = DeviceNode(device);
      std::array<char, ListStringBufferSize> description{}, serial{};
      // Opening the device node is all that reading its strings takes: no
      // interface is claimed and the kernel's driver stays attached.
      if (ftdi_usb_get_strings(FListContext, device, nullptr, 0, description.data(), description.size(), serial.data(),
                               serial.size()) < 0) {
        description.fill(0);
        serial.fill(0);
        if (access(node.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
          denied.insert(node);
      }
      for (int i = 0; i < interfaces; ++i) {
        TListedDevice listed{device, i, description.data(), serial.data()};
        if (interfaces > 1 && !listed.Description.empty()) {
          listed.Description += std::string(" ") + static_cast<char>('A' + i);
          listed.SerialNumber += static_cast<char>('A' + i);
        }
        FListed.push_back(std::move(listed));
      }
    }
    for (const std::string &node : denied)
      if (!FReportedDenied.count(node) && FOptions.OnAccessDenied)
        FOptions.OnAccessDenied(node);
    FReportedDenied = std::move(denied);
    return FT_OK;
  }

  TClock &FClock;
  TLibFtdiOptions FOptions;
  ftdi_context *FListContext;
  std::vector<TListedDevice> FListed;
  std::set<TOpenDevice *> FOpen;
  std::set<std::string> FReportedDenied;
};

} // namespace

std::unique_ptr<TFtdiDriver> CreateLibFtdiDriver(TClock &clock, TLibFtdiOptions options, std::string &error) {
  ftdi_context *listContext = ftdi_new();
  if (!listContext) {
    error = "libftdi could not start libusb";
    return nullptr;
  }
  return std::make_unique<TLibFtdiBridge>(clock, std::move(options), listContext);
}

} // namespace korvessan
