#!/usr/bin/env bash
# Acquisition figures, run by hand (not by CI):
#   bench/acquisition.sh [BUILD_DIR [SECONDS]]
# 1. CPU, select-byte lateness and exchange overhead over SECONDS (default 120)
#    of live acquisition against the simulated instrument, normal and silent,
#    with the alarms watching limits on eight channels, and normal without
#    the alarms for comparison;
# 2. what one store costs with its syncs on the disk (a folder in BUILD_DIR,
#    as datafiles/ lies beside the executable), beside the same on tmpfs
#    (/dev/shm), where a sync costs nothing;
# 3. what a scan's alarms cost: none changing, and eight events written with
#    their sync, on the disk and on tmpfs;
# 4. an accelerated month on a fake clock, with the month's file checked. It
#    runs on tmpfs: on a disk its 178,560 syncs would take minutes.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
seconds="${2:-120}"
cmake --build "$build" --target tarvek-bench tarvek-instrument -j2 >/dev/null

# However the bench ends, the instrument stops and the temporary folder goes.
instrument=""
folder=""
cleanup() {
    if [[ -n $instrument ]]; then
        kill "$instrument" 2>/dev/null || true
        wait "$instrument" 2>/dev/null || true
    fi
    if [[ -n $folder ]]; then
        rm -rf "$folder"
    fi
    instrument=""
    folder=""
}
trap cleanup EXIT

for run in normal silent normal-without-alarms; do
    mode=${run%-without-alarms}
    [[ $run == *-without-alarms ]] && export TARVEK_BENCH_NO_ALARMS=1
    folder=$(mktemp -d /tmp/tarvek-bench.XXXXXX)
    "$build/tarvek-instrument" --folder "$folder" --line 1 --mode "$mode" --verbose 2>"$folder/instrument.log" &
    instrument=$!
    for _ in $(seq 50); do [[ -e $folder/ports/COM1 ]] && break; sleep 0.1; done
    [[ -e $folder/ports/COM1 ]] || { echo "the instrument made no link in $folder/ports" >&2; exit 1; }
    echo "== instrument mode: $run"
    "$build/tarvek-bench" live "$folder" "$seconds" "$folder/instrument.log"
    cleanup
    unset TARVEK_BENCH_NO_ALARMS
done

echo "== one store (record, sync, count, sync)"
for parent in "$build" /dev/shm; do
    folder=$(mktemp -d "$parent/tarvek-stores.XXXXXX")
    echo "  on $(df --output=fstype "$folder" | tail -1):"
    "$build/tarvek-bench" stores "$folder" 200
    rm -rf "$folder"
done

echo "== the alarms of a scan"
for parent in "$build" /dev/shm; do
    folder=$(mktemp -d "$parent/tarvek-events.XXXXXX")
    echo "  on $(df --output=fstype "$folder" | tail -1):"
    "$build/tarvek-bench" events "$folder" 200
    rm -rf "$folder"
done

folder=$(mktemp -d /dev/shm/tarvek-bench.XXXXXX)
echo "== accelerated month (on $(df --output=fstype "$folder" | tail -1) /dev/shm, where the syncs cost nothing)"
"$build/tarvek-bench" month "$folder"
