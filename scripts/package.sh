#!/usr/bin/env bash
# Builds the release and its Debian package; prints the package's path.
# Install it with: sudo apt install ./build/release/korvessan-erase_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake --preset release >&2
cmake --build --preset release >&2
(cd build/release && rm -f korvessan-erase_*.deb && cpack -G DEB >&2)
ls "$PWD"/build/release/korvessan-erase_*.deb
