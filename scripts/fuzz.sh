#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for
# a bounded time from the seed corpus in tests/fuzz/corpus (copied, so the
# repository is left as it is). Any finding fails the run and leaves its
# input in build/fuzz/findings. Usage: scripts/fuzz.sh [SECONDS per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-30}}
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
export QT_QPA_PLATFORM=offscreen
findings=build/fuzz/findings
mkdir -p "$findings"
for target in SerialNumberFuzz TrackerIntakeFuzz FormFuzz; do
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/$target/* "$corpus/"
  echo "=== $target, ${seconds} s ==="
  if ! build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -artifact_prefix="$findings/$target-" -print_final_stats=1 "$corpus" 2>"$findings/$target.log"; then
    tail -40 "$findings/$target.log"
    echo "$target: finding, input saved in $findings"
    exit 1
  fi
  grep -E "stat::number_of_executed_units|DONE" "$findings/$target.log" | tail -2
  rm -rf "$corpus"
done
