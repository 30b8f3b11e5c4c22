#!/usr/bin/env bash
# The test suites once under valgrind memcheck, on the default build: any
# invalid access, use of uninitialised memory or definite leak fails.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
memcheck=(valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
  --show-leak-kinds=definite --num-callers=30)
"${memcheck[@]}" build/default/tests/korvessan-tests --gtest_brief=1
LD_LIBRARY_PATH=build/default/tests/d2xx "${memcheck[@]}" build/default/tests/korvessan-d2xx-tests --gtest_brief=1
