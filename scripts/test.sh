#!/usr/bin/env bash
# Builds everything and runs every test: once in the debug build with
# warnings as errors, once under AddressSanitizer and UBSan; then clang-tidy,
# the suites under valgrind, each fuzz target for a bounded time, and the
# Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
# Both builds boot the same kernel in the QEMU test; fetch it once.
export KORVESSAN_KERNEL_CACHE=$PWD/build/qemu-kernel

for preset in default sanitize; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "=== clang-tidy ==="
scripts/tidy.sh
echo "=== valgrind memcheck ==="
scripts/memcheck.sh
echo "=== fuzzing ==="
scripts/fuzz.sh

echo "=== package ==="
deb=$(scripts/package.sh)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for file in usr/bin/korvessan-erase usr/share/applications/korvessan-erase.desktop \
  usr/share/icons/hicolor/scalable/apps/korvessan-erase.svg usr/lib/udev/rules.d/60-korvessan-erase.rules; do
  [[ -f $unpacked/$file ]] || { echo "package lacks $file"; exit 1; }
done
grep -q 'TAG+="uaccess"' "$unpacked/usr/lib/udev/rules.d/60-korvessan-erase.rules"
desktop-file-validate "$unpacked/usr/share/applications/korvessan-erase.desktop"
"$unpacked/usr/bin/korvessan-erase" --version
dpkg-deb -f "$deb" Depends | grep -q qt6-qpa-plugins
echo "package ok: $deb"
