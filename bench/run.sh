#!/usr/bin/env bash
# The benchmark (not a test): builds the release and prints, side by side on
# one Xvfb display, the tool against Debian's cutecom (the serial terminal a
# technician would otherwise type the command into) for time from exec until
# the window is mapped and peak resident memory, as medians with the ratio;
# then the tool's own scan and erase costs on the simulated tracker.
# Usage: bench/run.sh [RUNS]   (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
scripts/install-deps.sh
if ! command -v cutecom >/dev/null; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get install -y -qq cutecom
fi
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
export DISPLAY=:$(head -1 "$work/display") HOME=$work QT_QPA_PLATFORM=xcb

# Each run is measured one second after its window is mapped, so the tool's
# first scan is inside its peak memory. The two alternate to share any drift.
for _ in $(seq "$runs"); do
  build/release/bench/korvessan-map-time 1000 build/release/korvessan-erase --simulate >>"$work/tool" 2>/dev/null
  build/release/bench/korvessan-map-time 1000 cutecom >>"$work/cutecom" 2>/dev/null
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
tool_map=$(cut -d' ' -f1 "$work/tool" | median)
tool_rss=$(cut -d' ' -f2 "$work/tool" | median)
cute_map=$(cut -d' ' -f1 "$work/cutecom" | median)
cute_rss=$(cut -d' ' -f2 "$work/cutecom" | median)
echo
echo "Medians of $runs runs on one Xvfb display, $(date -u +%F), $(nproc) cores:"
printf '%-32s %14s %14s %8s\n' "" korvessan-erase "cutecom $(dpkg-query -W -f='${Version}' cutecom)" ratio
printf '%-32s %11.1f ms %11.1f ms %8.2f\n' "exec until the window is mapped" "$tool_map" "$cute_map" \
  "$(echo "$tool_map $cute_map" | awk '{ print $1 / $2 }')"
printf '%-32s %11.1f MB %11.1f MB %8.2f\n' "peak resident memory" "$(echo "$tool_rss" | awk '{ print $1 / 1024 }')" \
  "$(echo "$cute_rss" | awk '{ print $1 / 1024 }')" "$(echo "$tool_rss $cute_rss" | awk '{ print $1 / $2 }')"
echo
echo "The tool on the simulated tracker, in virtual time:"
build/release/bench/korvessan-scan-bench 2>/dev/null
