#include "driver/D2xxLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvessan {
namespace {

#if defined(_WIN32) && !defined(_WIN64)
#define FTAPI __stdcall
#else
#define FTAPI
#endif

// Our own declarations of the library's calls. On Windows ULONG and DWORD are
// 32 bits. Builds of the library for other systems have declared them as
// either 32 or 64 bits; values passed in are therefore widened to unsigned
// long, counts coming back are read into zeroed 64-bit cells, and the status
// is taken from its low 32 bits, which is right for either width.
#ifdef _WIN32
using TWide = std::uint32_t;
#else
using TWide = unsigned long;
#endif
using TStatus = std::uint32_t;

using TListDevices = TStatus(FTAPI *)(void *, void *, TWide);
using TOpen = TStatus(FTAPI *)(int, FT_HANDLE *);
using THandleWide = TStatus(FTAPI *)(FT_HANDLE, TWide);
using TSetTimeouts = TStatus(FTAPI *)(FT_HANDLE, TWide, TWide);
using TSetDataCharacteristics = TStatus(FTAPI *)(FT_HANDLE, UCHAR, UCHAR, UCHAR);
using TSetFlowControl = TStatus(FTAPI *)(FT_HANDLE, USHORT, UCHAR, UCHAR);
using TSetLatencyTimer = TStatus(FTAPI *)(FT_HANDLE, UCHAR);
using TTransfer = TStatus(FTAPI *)(FT_HANDLE, void *, TWide, TWide *);
using THandleOnly = TStatus(FTAPI *)(FT_HANDLE);

class TD2xxLibrary final : public TFtdiDriver {
public:
  ~TD2xxLibrary() override {
    if (FModule == nullptr)
      return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(FModule));
#else
    dlclose(FModule);
#endif
  }

  bool Load(const std::string &name, std::string &error) {
#ifdef _WIN32
    FModule = LoadLibraryA(name.c_str());
#else
    FModule = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (FModule == nullptr) {
      error = LoaderError(name);
      return false;
    }
    return Resolve(FListDevices, "FT_ListDevices", error) && Resolve(FOpen, "FT_Open", error) &&
           Resolve(FSetBaudRate, "FT_SetBaudRate", error) && Resolve(FSetTimeouts, "FT_SetTimeouts", error) &&
           Resolve(FSetDataCharacteristics, "FT_SetDataCharacteristics", error) &&
           Resolve(FSetFlowControl, "FT_SetFlowControl", error) &&
           Resolve(FSetLatencyTimer, "FT_SetLatencyTimer", error) && Resolve(FPurge, "FT_Purge", error) &&
           Resolve(FWrite, "FT_Write", error) && Resolve(FRead, "FT_Read", error) &&
           Resolve(FResetDevice, "FT_ResetDevice", error) && Resolve(FClose, "FT_Close", error);
  }

  FT_STATUS FT_ListDevices(void *arg1, void *arg2, DWORD flags) override {
    if (flags == FT_LIST_NUMBER_ONLY) {
      TWide count = 0;
      const TStatus status = FListDevices(&count, arg2, flags);
      *static_cast<DWORD *>(arg1) = static_cast<DWORD>(count);
      return status;
    }
    return FListDevices(arg1, arg2, flags);
  }
  FT_STATUS FT_Open(int deviceNumber, FT_HANDLE *handle) override { return FOpen(deviceNumber, handle); }
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override { return FSetBaudRate(handle, baudRate); }
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) override {
    return FSetTimeouts(handle, readTimeout, writeTimeout);
  }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override {
    return FSetDataCharacteristics(handle, wordLength, stopBits, parity);
  }
  FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff) override {
    return FSetFlowControl(handle, flowControl, xon, xoff);
  }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs) override {
    return FSetLatencyTimer(handle, latencyMs);
  }
  FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override { return FPurge(handle, mask); }
  FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, DWORD count, DWORD *written) override {
    TWide moved = 0;
    const TStatus status = FWrite(handle, const_cast<void *>(buffer), count, &moved);
    *written = static_cast<DWORD>(moved);
    return status;
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count, DWORD *read) override {
    TWide moved = 0;
    const TStatus status = FRead(handle, buffer, count, &moved);
    *read = static_cast<DWORD>(moved);
    return status;
  }
  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override { return FResetDevice(handle); }
  FT_STATUS FT_Close(FT_HANDLE handle) override { return FClose(handle); }

private:
  template <typename T> bool Resolve(T &call, const char *name, std::string &error) {
#ifdef _WIN32
    call = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(FModule), name)));
#else
    call = reinterpret_cast<T>(dlsym(FModule, name));
#endif
    if (call == nullptr)
      error = std::string(name) + ": not exported";
    return call != nullptr;
  }

  static std::string LoaderError(const std::string &name) {
#ifdef _WIN32
    return name + ": error " + std::to_string(GetLastError());
#else
    const char *reason = dlerror();
    return reason != nullptr ? reason : name;
#endif
  }

  void *FModule = nullptr;
  TListDevices FListDevices = nullptr;
  TOpen FOpen = nullptr;
  THandleWide FSetBaudRate = nullptr;
  TSetTimeouts FSetTimeouts = nullptr;
  TSetDataCharacteristics FSetDataCharacteristics = nullptr;
  TSetFlowControl FSetFlowControl = nullptr;
  TSetLatencyTimer FSetLatencyTimer = nullptr;
  THandleWide FPurge = nullptr;
  TTransfer FWrite = nullptr;
  TTransfer FRead = nullptr;
  THandleOnly FResetDevice = nullptr;
  THandleOnly FClose = nullptr;
};

} // namespace

const char *D2xxLibraryName() {
#if defined(_WIN32)
  return "ftd2xx.dll";
#elif defined(__APPLE__)
  return "libftd2xx.dylib";
#else
  return "libftd2xx.so";
#endif
}

std::unique_ptr<TFtdiDriver> LoadD2xxLibrary(const std::string &name, std::string &error) {
  auto library = std::make_unique<TD2xxLibrary>();
  if (!library->Load(name, error))
    return nullptr;
  return library;
}

} // namespace korvessan
