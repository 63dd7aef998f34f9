#!/usr/bin/env bash
# Installs what is missing, builds TARVEK and starts it against the simulated
# instrument; closing the program stops the instrument.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=()
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    extra=(xvfb xauth) # no screen: run in a virtual one
fi
bash scripts/install-deps.sh "${extra[@]}"

# Only the programs it runs: the test suite is the test command's to build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build --target tarvek tarvek-instrument -j"$(nproc)"

# The simulated instrument answers on serial line 1 of the program's folder
# (build/ports/COM1) for as long as the program runs. An instrument of your
# own: remove that link and see the README on serial lines.
build/tarvek-instrument --folder build --line 1 &
instrument=$!
trap 'kill "$instrument" 2>/dev/null; wait "$instrument" 2>/dev/null' EXIT
for _ in $(seq 50); do [[ -e build/ports/COM1 ]] && break; sleep 0.1; done
[[ -e build/ports/COM1 ]] || { echo "the simulated instrument did not start (no build/ports/COM1)" >&2; exit 1; }

echo "Press Start in the window: values appear within 15 s; at the default storage rate"
echo "(every 30 seconds) the month's data file grows in build/datafiles/."
if ((${#extra[@]})); then
    echo "No display found: running inside a virtual X server (xvfb-run)."
    xvfb-run -a build/tarvek
else
    build/tarvek
fi
