#!/usr/bin/env bash
# The long crash test, run by hand (the suite runs tens of kills):
#   bench/crash.sh [BUILD_DIR [KILLS]]
# kills the storing worker KILLS times (default 400) at random moments, in one
# month's file and across month changes, and checks the data files after every
# kill and at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
cmake --build "$build" --target tarvek_tests -j2 >/dev/null
TARVEK_CRASH_KILLS="${2:-400}" "$build/tests/tarvek_tests" --gtest_filter='CrashSafeStorage.KilledWhileStoring'
