#!/usr/bin/env bash
# Installs what is missing, builds TARVEK and starts it against the simulated
# instrument, with the sealer beside it; closing the program stops both.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=()
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    extra=(xvfb xauth) # no screen: run in a virtual one
fi
bash scripts/install-deps.sh "${extra[@]}"

# Only the programs it runs: the test suite is the test command's to build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build --target tarvek tarvek-instrument tarvek-seal tarvek-verify -j"$(nproc)"

# The simulated instrument answers on serial line 1 of the program's folder
# (build/ports/COM1) for as long as the program runs. An instrument of your
# own: remove that link and see the README on serial lines.
build/tarvek-instrument --folder build --line 1 &
instrument=$!
# The sealer as a plain process of this user, not as the package's service
# under a user of its own: the seals show what it does, not that operators
# cannot change them. Its Stop line is written when it is stopped.
build/tarvek-seal --data build/datafiles --seals build/seals --keys build/seal-key &
sealer=$!
trap 'kill "$instrument" "$sealer" 2>/dev/null; wait "$instrument" "$sealer" 2>/dev/null' EXIT
for _ in $(seq 50); do [[ -e build/ports/COM1 ]] && break; sleep 0.1; done
[[ -e build/ports/COM1 ]] || { echo "the simulated instrument did not start (no build/ports/COM1)" >&2; exit 1; }

echo "Press Start in the window: values appear within 15 s; at the default storage rate"
echo "(every 30 seconds) the month's data file grows in build/datafiles/, and its"
echo "sealed copy in build/seals/ (check them: build/tarvek-verify build)."
if ((${#extra[@]})); then
    echo "No display found: running inside a virtual X server (xvfb-run)."
    xvfb-run -a build/tarvek
else
    build/tarvek
fi
