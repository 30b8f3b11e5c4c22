#!/usr/bin/env bash
# Runs the real korvessan-erase under Xvfb with a private D-Bus session and
# accessibility on, and drives it from outside through AT-SPI.
# Usage: run-e2e.sh KORVESSAN_ERASE OUTDIR   (OUTDIR receives window.png)
set -euo pipefail
binary=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
fb=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$fb"' EXIT

exec 3>"$fb/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -fbdir "$fb" -nocursor -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [[ -s $fb/display ]] && break; sleep 0.05; done
display=:$(head -1 "$fb/display")

# Debian's pyatspi belongs to the system python, whatever python is first on
# PATH.
DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 \
  dbus-run-session -- /usr/bin/python3 "$here/erase_e2e.py" "$binary" "$fb/Xvfb_screen0" "$out"
