#!/usr/bin/env bash
# CPU used while a poll waits for the instrument (by default a silent one,
# i.e. the full 2 s reply time-out). Usage:
#   bench/silent_wait.sh [BUILD_DIR [MODE [POLLS]]]
# BUILD_DIR is a configured and built tree (default: build); MODE is a
# tarvek-instrument mode (default: silent); POLLS defaults to 5.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$(cd "${1:-$root/build}" && pwd)"
mode="${2:-silent}"
polls="${3:-5}"

cmake --build "$build" --target tarvek-silent-wait tarvek-instrument -j2 >/dev/null
"$build/tarvek-silent-wait" "$build/tarvek-instrument" "$mode" "$polls"
