#!/usr/bin/env bash
# The Modbus RTU poll against its budget: eight channels from eight simulated
# devices at 9600 bit/s, each poll's time beside the frames' own length on
# the wire, then with one device and with every device silent. Usage:
#   bench/modbus.sh [BUILD_DIR [POLLS]]
# BUILD_DIR is a configured tree (default: build); POLLS defaults to 5.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$(cd "${1:-$root/build}" && pwd)"
polls="${2:-5}"

cmake --build "$build" --target tarvek-modbus-bench tarvek-instrument -j2 >/dev/null
"$build/tarvek-modbus-bench" "$build/tarvek-instrument" "$polls"
