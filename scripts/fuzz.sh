#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 10),
# starting from the seed corpus in tests/fuzz/corpus/<target>. New inputs go
# to a scratch folder, never into the tree. Fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

bash scripts/install-deps.sh clang libclang-rt-14-dev

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVEK_FUZZ=ON -DTARVEK_SANITIZE=ON -DTARVEK_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

scratch=$(mktemp -d /tmp/tarvek-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
for target in build-fuzz/tests/fuzz/fuzz_*; do
    [[ -x "$target" && -f "$target" ]] || continue
    name=$(basename "$target")
    seeds="tests/fuzz/corpus/${name#fuzz_}"
    mkdir -p "$scratch/$name"
    corpora=("$scratch/$name")
    [[ -d $seeds ]] && corpora+=("$seeds")
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$scratch/" "${corpora[@]}" 2>&1 |
        grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
    # libFuzzer's exit status is lost in the pipe above: check for artifacts.
    if compgen -G "$scratch/crash-*" >/dev/null || compgen -G "$scratch/leak-*" >/dev/null ||
        compgen -G "$scratch/timeout-*" >/dev/null; then
        echo "fuzz target $name found a failing input:" >&2
        ls "$scratch" >&2
        exit 1
    fi
done
