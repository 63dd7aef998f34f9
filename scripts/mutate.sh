#!/usr/bin/env bash
# How many small faults does the suite notice? Applies random one-operator
# changes to the C++ files of a folder, one at a time: builds, runs the suite,
# puts the file back, and prints each change as caught or missed, then the
# share caught.
#   scripts/mutate.sh [--seed S] [--build DIR] [--tests REGEX] [--list] FOLDER [N]
#     N        changes to run (30)
#     --seed   draws the same changes again on the same sources (default: random, printed)
#     --build  build folder (build-mutate), configured on first use as a
#              Release build with the standard library's index checks on, so
#              a read past the end of a vector or array fails as under the
#              sanitizers; configure it yourself beforehand to add options
#     --tests  runs only the tests whose names match REGEX (ctest -R); given
#              again, the stages run in that order, each only when those
#              before it passed, so fast tables catch a change before slow
#              tests run; a REGEX led by ! runs all tests but those (ctest -E).
#              For src/publish (one ctest entry per test or row):
#              --tests '^(MqttLinkTest|Publish/(RecordPayload|ChannelPayload|RecordFeedScript|StartingPosition)|Follow/MonthFolderUsers|DeliveryWindow|SessionChurn|PublishSettings|PublishFolder|RecordFeedTest|Notif|EventPayload|EventFeed|FoldedLogs)'
#              --tests '^(PublishBroker|Publish/(PublishOnce|PublishDisrupted))\.'
#              (default: the whole suite in one stage)
#     --list   prints the drawn changes without building
# Changes: < <=, > >=, == !=, && ||, + 1 - 1, return true/false, a dropped !.
# A change that does not compile is counted apart and another one is drawn.
# The suite stops at its first failure. Minutes per change: not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."

seed=$((RANDOM * 32768 + RANDOM)) build=build-mutate list=0 stages=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --seed) seed=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --tests) stages+=("$2"); shift 2 ;;
    --list) list=1; shift ;;
    -h | --help) sed -n '2,24p' "$0" | cut -c3-; exit 0 ;;
    -*) echo "mutate.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
folder=${1:?usage: scripts/mutate.sh [--seed S] [--build DIR] [--tests REGEX] [--list] FOLDER [N]}
wanted=${2:-30}
[[ -d $folder ]] || { echo "mutate.sh: no folder $folder" >&2; exit 2; }

# Every possible change, one per line: file, line, column (bytes), old, new;
# drawn in an order fixed by the seed. Comments, preprocessor lines and string
# literals are left alone; operators count only with blanks around them, as
# formatted, which keeps template brackets and << out.
mapfile -t changes < <(find "$folder" -name '*.cpp' -o -name '*.h' | LC_ALL=C sort | xargs perl -e '
    use List::Util qw(shuffle);
    my @rules = ([qr/ <= /, " < "], [qr/ < /, " <= "], [qr/ >= /, " > "], [qr/ > /, " >= "],
                 [qr/ == /, " != "], [qr/ != /, " == "], [qr/ && /, " || "], [qr/ \|\| /, " && "],
                 [qr/ \+ 1(?![\w.\x27])/, " - 1"], [qr/ - 1(?![\w.\x27])/, " + 1"],
                 [qr/\breturn true;/, "return false;"], [qr/\breturn false;/, "return true;"],
                 [qr/(?<=[( ])!(?=[\w(])/, ""]);
    my @all;
    for my $file (@ARGV) {
        open(my $in, "<", $file) or die "$file: $!";
        while (my $line = <$in>) {
            next if $line =~ m{^\s*(//|#|\*|/\*)};
            my $code = $line;
            $code =~ s/("(?:[^"\\]|\\.)*"|\x27(?:[^\x27\\]|\\.)*\x27)/"x" x length($1)/ge;
            $code =~ s{//.*}{};
            for my $rule (@rules) {
                my ($from, $to) = @$rule;
                while ($code =~ /$from/g) {
                    my ($at, $old) = ($-[0], substr($code, $-[0], $+[0] - $-[0]));
                    push @all, join("\t", $file, $., $at, $old, $to);
                    pos($code) = $at + 1;
                }
            }
        }
        close $in;
    }
    srand('"$seed"');
    print "$_\n" for shuffle(@all);
')
echo "mutate.sh: ${#changes[@]} possible changes in $folder, seed $seed, commit $(git rev-parse --short HEAD 2>/dev/null)$(git diff --quiet HEAD -- . 2>/dev/null || echo ' (changed)')"

show() { # file line column old new: "file:line: before → after"
    local text
    text=$(sed -n "$2p" "$1")
    printf '%s:%s: %s  →  %s' "$1" "$2" "$(sed 's/^ *//' <<<"$text")" \
        "$(sed 's/^ *//' <<<"${text:0:$3}$5${text:$(($3 + ${#4}))}")"
}

if ((list)); then
    for change in "${changes[@]:0:$wanted}"; do
        IFS=$'\t' read -r file line column old new <<<"$change"
        echo "$(show "$file" "$line" "$column" "$old" "$new")"
    done
    exit 0
fi

# A test binary that holds many cases stops at its first failure too.
export GTEST_FAIL_FAST=1
# Qt wants a private runtime folder (the suite itself runs without a display).
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/mutate-runtime.XXXXXX)}
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS >/dev/null
fi
echo "mutate.sh: building the unchanged sources in $build"
cmake --build "$build" -j2 >/dev/null
suite() { # the stages in order, up to the first that fails
    local stage
    for stage in "${stages[@]:-}"; do
        local select=(${stage:+-R "$stage"})
        [[ $stage == '!'* ]] && select=(-E "${stage:1}")
        ctest --test-dir "$build" -j2 --stop-on-failure "${select[@]}" "$@" || return 1
    done
}
suite >/dev/null || {
    echo "mutate.sh: the suite fails without a change" >&2
    exit 1
}

keep=$(mktemp -d /tmp/mutate.XXXXXX)
current=""
restore() {
    # Written back, not moved: the new time stamp makes the next build
    # compile the file again.
    [[ -n $current ]] && cat "$keep/original" >"$current"
    current=""
}
trap 'restore; rm -rf "$keep"' EXIT
trap 'exit 130' INT TERM

tried=0 caught=0 compiler=0
missed=()
for change in "${changes[@]}"; do
    ((tried < wanted)) || break
    IFS=$'\t' read -r file line column old new <<<"$change"
    what=$(show "$file" "$line" "$column" "$old" "$new")
    cp "$file" "$keep/original"
    current=$file
    LINE=$line COLUMN=$column OLD=$old NEW=$new perl -i -pe \
        'substr($_, $ENV{COLUMN}, length $ENV{OLD}) = $ENV{NEW} if $. == $ENV{LINE}' "$file"
    started=$SECONDS
    if ! cmake --build "$build" -j2 >"$keep/build.log" 2>&1; then
        compiler=$((compiler + 1))
        echo "  (does not compile, drawn again) $what"
        restore
        continue
    fi
    tried=$((tried + 1))
    if suite --timeout 120 >"$keep/test.log" 2>&1; then
        missed+=("$what")
        echo "$tried. MISSED  $what  ($((SECONDS - started)) s)"
    else
        caught=$((caught + 1))
        by=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*$/\1/p' "$keep/test.log" | head -1)
        echo "$tried. caught  $what  [${by:-?}] ($((SECONDS - started)) s)"
    fi
    restore
done
# The unchanged sources built again, so the folder is left as it was found.
cmake --build "$build" -j2 >/dev/null || true

echo "mutate.sh: $caught of $tried caught ($((tried ? 100 * caught / tried : 0))%), $compiler more did not compile;" \
    "seed $seed, $folder"
for m in "${missed[@]}"; do
    echo "  missed: $m"
done
