// Starts a program on the X display and reports how long it took from exec
// until its first top-level window was mapped, then its peak resident memory
// once it has settled. Usage: map-time SETTLE_MS PROGRAM [ARGS...]
// Prints: <mapped ms> <peak RSS KiB>
#include <X11/Xlib.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SETTLE_MS PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const int settleMs = std::atoi(argv[1]);
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "map-time: no X display\n");
    return 1;
  }
  // Without a window manager a program's top-level windows are children of
  // the root window, so mapping one is a MapNotify on the root.
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify && !event.xmap.override_redirect)
      break;
  }
  const auto mapped = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  kill(child, SIGTERM);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  std::printf("%.1f %ld\n", std::chrono::duration<double, std::milli>(mapped - start).count(), usage.ru_maxrss);
  XCloseDisplay(display);
  return 0;
}
