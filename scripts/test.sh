#!/usr/bin/env bash
# Installs what is missing, builds TARVEK and runs the whole test suite headless.
#   scripts/test.sh              the suite, in build/
#   scripts/test.sh --sanitize   the suite under AddressSanitizer and
#                                UndefinedBehaviorSanitizer, in build-asan/;
#                                any report fails the run
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

# The prefix /usr: CI packages this very tree (scripts/package-check.sh build).
build=build
type=Release
options=(-DCMAKE_INSTALL_PREFIX=/usr -DTARVEK_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
    build=build-asan
    type=RelWithDebInfo
    # -O0 with line tables only: reports still name file and line, and the
    # instrumented build takes far less time than optimised with full debug
    # info; the suite mostly waits on children, brokers and timers.
    options+=(-DTARVEK_SANITIZE=ON -DTARVEK_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O0 -g1 -DNDEBUG")
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
fi

bash scripts/install-deps.sh

# Qt wants a private runtime folder (the suite itself runs without a display).
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d /tmp/tarvek-runtime.XXXXXX)
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
chmod 0700 "$XDG_RUNTIME_DIR"

jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="$type" "${options[@]}"
cmake --build "$build" -j"$jobs"
# Most tests wait on a child process, a broker or a timer: twice as many
# run as there are processors.
ctest --test-dir "$build" -j$((2 * jobs)) --output-on-failure
