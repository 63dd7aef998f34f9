#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 10),
# starting from the seed corpus in tests/fuzz/corpus/<target>. New inputs go
# to a scratch folder, never into the tree. Fails when a target does (a
# finding, a start-up error, a kill), printing the end of its log, and keeps
# the scratch folder with the log and the failing input then.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 60 fuzz_value_text
#
# TARVEK_FUZZ_BUILD names the build folder (default build-fuzz), TARVEK_FUZZ_JOBS
# the parallel compile jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
build=${TARVEK_FUZZ_BUILD:-build-fuzz}

bash scripts/install-deps.sh fuzz

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DTARVEK_BENCH=OFF \
    -DTARVEK_FUZZ=ON -DTARVEK_SANITIZE=ON -DTARVEK_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz -j"${TARVEK_FUZZ_JOBS:-$(nproc)}"

targets=("$@")
if ((${#targets[@]} == 0)); then
    for target in "$build"/tests/fuzz/fuzz_*; do
        [[ -x "$target" && -f "$target" ]] && targets+=("$(basename "$target")")
    done
fi

# The file-based targets run faster on a memory file system.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi
scratch=$(mktemp -d /tmp/tarvek-fuzz.XXXXXX)

# A target's log from the sanitizer's or libFuzzer's report on; without one
# (a kill, a start-up error), the end of the log.
report() {
    local start='==[0-9]+==ERROR|ERROR: libFuzzer|runtime error:'
    if grep -qE "$start" "$1"; then
        sed -nE "/$start/,\$p" "$1"
    else
        tail -n 40 "$1"
    fi
}

for name in "${targets[@]}"; do
    target="$build/tests/fuzz/$name"
    [[ -x $target ]] || { echo "no fuzz target $name" >&2; exit 1; }
    seeds="tests/fuzz/corpus/${name#fuzz_}"
    mkdir -p "$scratch/$name"
    corpora=("$scratch/$name")
    [[ -d $seeds ]] && corpora+=("$seeds")
    echo "== $name for ${seconds}s"
    # The whole output goes to a log: a sanitizer report or a start-up error
    # is kept whole, and the target's own exit status decides.
    log="$scratch/$name.log"
    status=0
    "$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$scratch/" "${corpora[@]}" >"$log" 2>&1 || status=$?
    grep -E '^(Done|#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    if ((status != 0)); then
        echo "fuzz target $name failed with exit status $status:" >&2
        report "$log" >&2
        echo "its log and any failing input are kept in $scratch:" >&2
        ls "$scratch" >&2
        exit 1
    fi
done
rm -rf "$scratch"
