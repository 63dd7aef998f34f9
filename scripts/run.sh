#!/usr/bin/env bash
# Installs what is missing, builds TARVEK and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

extra=()
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    extra=(xvfb xauth) # no screen: run in a virtual one
fi
bash scripts/install-deps.sh "${extra[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

if ((${#extra[@]})); then
    echo "No display found: running inside a virtual X server (xvfb-run)."
    exec xvfb-run -a build/tarvek
fi
exec build/tarvek
