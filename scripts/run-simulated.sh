#!/usr/bin/env bash
# Builds the tool and starts it on the built-in simulated bridge and tracker.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake --preset default >/dev/null
cmake --build --preset default --target korvessan-erase
exec build/default/korvessan-erase --simulate "$@"
