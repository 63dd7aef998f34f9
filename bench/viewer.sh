#!/usr/bin/env bash
# tarvek-view figures, run by hand (not by CI):
#   bench/viewer.sh [BUILD_DIR [MONTHS [PNG]]]
# Writes MONTHS (default 12) month files with the logger's writer into a
# scratch folder, then prints each figure beside its floor, drawing once
# offscreen and once on a real X server (xvfb-run); then the figures of a
# month of 100,000 events (tarvek-events-bench), offscreen.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
months="${2:-12}"
cmake --build "$build" --target tarvek-view-bench tarvek-events-bench -j2 >/dev/null

folder=$(mktemp -d /tmp/tarvek-view-bench.XXXXXX)
trap 'rm -rf "$folder"' EXIT
echo "== offscreen"
QT_QPA_PLATFORM=offscreen "$build/tarvek-view-bench" "$folder" "$months" ${3:+"$3"}
echo "== X server (xvfb-run)"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tarvek-view-bench" "$folder" "$months"
echo "== a month of 100,000 events (offscreen)"
QT_QPA_PLATFORM=offscreen "$build/tarvek-events-bench" "$folder"
