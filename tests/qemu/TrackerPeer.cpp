// The host side of the QEMU test: the simulated tracker, in real time, behind
// the unix socket that QEMU's emulated FT232 connects its serial line to.
#include "sim/Tracker.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using namespace korvessan;

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SOCKET\n", argv[0]);
    return 2;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
  unlink(argv[1]);
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  if (server < 0 || bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      listen(server, 1) != 0) {
    std::perror("tracker peer: socket");
    return 1;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  const int line = accept(server, nullptr, nullptr);
  if (line < 0) {
    std::perror("tracker peer: accept");
    return 1;
  }

  TRealClock clock;
  // Fast flash keeps the erase short under emulation; its pacing is the same.
  sim::TTracker tracker({.BlockErase = std::chrono::milliseconds(2), .PageErase = std::chrono::milliseconds(1)});
  for (;;) {
    const TTime now = clock.Now();
    for (const sim::TTimedByte &byte : tracker.AdvanceTo(now))
      if (write(line, &byte.Value, 1) != 1)
        return 0;
    int waitMs = 50;
    if (const auto next = tracker.NextEvent())
      waitMs = static_cast<int>(
          std::clamp<long long>(std::chrono::ceil<std::chrono::milliseconds>(*next - now).count(), 0, 50));
    pollfd readable{line, POLLIN, 0};
    if (poll(&readable, 1, waitMs) <= 0)
      continue;
    unsigned char received[256];
    const ssize_t count = read(line, received, sizeof received);
    if (count <= 0)
      return 0;
    const TTime arrived = clock.Now();
    for (ssize_t i = 0; i < count; ++i)
      tracker.Receive({arrived, received[i]});
    std::fprintf(stderr, "tracker peer: %zd bytes\n", count);
  }
}
