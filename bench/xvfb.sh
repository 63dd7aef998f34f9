#!/usr/bin/env bash
# CPU and timing of the program as an operator runs it, in a real X server
# (Xvfb, 1280x1024x24), run by hand (not by CI):
#   bench/xvfb.sh [BUILD_DIR [SECONDS [NAME=TARVEK...]]]
# BUILD_DIR is a Release build (default: build-release, configured with
# -DCMAKE_BUILD_TYPE=Release -DTARVEK_TESTS=OFF when absent); the floor
# program, the CPU probe, the simulated instrument and tarvek-setup come from
# it. Each NAME=TARVEK is a tarvek executable to measure (default: BUILD_DIR's
# own), e.g. another commit's build; they take turns in the same X server.
# SECONDS (default 300, whole quarter-minutes) is the time acquiring; stand-by
# before Start, acquiring beside three busy processes and stand-by after Stop
# take half of it each.
#
# The floor program runs throughout, its status bar in view below the
# program's window, and every figure of the program is set against the
# floor's CPU in the very same seconds, so that what other processes do to
# the machine meanwhile weighs on both alike.
#
# For each program: a scratch folder with the default set-up and the
# simulated instrument on line 1 (its --verbose log dates each select byte),
# the program started without an accessibility bus (no D-Bus session:
# DBUS_SESSION_BUS_ADDRESS unset and no bus to autolaunch; NO_AT_BRIDGE=1;
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON and QT_ACCESSIBILITY unset), stand-by
# measured, Start pressed from the keyboard, acquiring measured, then
# acquiring beside three busy processes, then Stop pressed and stand-by
# measured again. CPU is in ms per second (ms/s; 10 ms/s is 1% of one core).
# Needs the Debian packages xvfb and xdotool.
#
# The keyboard, not pixel positions: the window takes the X input focus and
# Space presses the button with the keyboard focus, Start (the window gives
# it the focus when it becomes active); Space again presses Stop, which Start
# hands the focus to. Each press is checked in acquisitionstatus.txt.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

if [[ ${1:-} != --inside ]]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" >/dev/null || {
            echo "xvfb.sh needs $tool (Debian packages xvfb, xdotool)" >&2
            exit 1
        }
    done
    build="${1:-$root/build-release}"
    [[ -e $build/CMakeCache.txt ]] ||
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEK_TESTS=OFF >/dev/null
    build="$(cd "$build" && pwd)"
    cmake --build "$build" --target tarvek tarvek-instrument tarvek-floor tarvek-cpu-probe -j2 >/dev/null
    seconds="${2:-300}"
    shift $(($# < 2 ? $# : 2))
    (($# > 0)) || set -- "tarvek=$build/tarvek"
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" --inside "$build" "$seconds" "$@"
fi

build="$2"
seconds="$3"
shift 3
half=$((seconds / 30 * 15))
scratch=$(mktemp -d /tmp/tarvek-xvfb.XXXXXX)
pids=()
cleanup() {
    ((${#pids[@]} == 0)) || kill "${pids[@]}" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# No accessibility bus and no D-Bus session for anything started here.
unset DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_ACCESSIBILITY
export NO_AT_BRIDGE=1 XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# flag_becomes FLAG: waits up to 5 s for the acquisition status file of
# $folder to hold FLAG.
flag_becomes() {
    for _ in $(seq 50); do
        [[ $(head -c 22 "$folder/settingfiles/acquisitionstatus.txt" | tail -c 1) == "$1" ]] && return 0
        sleep 0.1
    done
    return 1
}

value() { sed -n "s/.*\b$2=\([^ ]*\).*/\1/p" "$1" | head -1; }

# measure NAME PHASE SECONDS [INSTRUMENT_LOG]: the program and the floor in
# the same seconds, into $scratch/NAME/PHASE and PHASE.floor.
measure() {
    "$build/tarvek-cpu-probe" "$floor" "$3" >"$scratch/$1/$2.floor" &
    "$build/tarvek-cpu-probe" "$tarvek" "$3" ${4:+"$4"} >"$scratch/$1/$2"
    wait $!
}

echo "Xvfb 1280x1024x24 on $DISPLAY; acquiring ${seconds} s, stand-by (twice) and busy ${half} s each"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# Below and right of the program's window (1024x720 at 0,0), its status bar in view.
"$build/tarvek-floor" 256 304 &
floor=$!
pids+=("$floor")

names=()
for program in "$@"; do
    name="${program%%=*}"
    names+=("$name")
    folder="$scratch/$name"
    mkdir -p "$folder"
    cp "${program#*=}" "$folder/tarvek"
    "$build/tarvek-setup" "$folder"
    "$build/tarvek-instrument" --folder "$folder" --line 1 --verbose 2>"$folder/instrument.log" >/dev/null &
    instrument=$!
    for _ in $(seq 50); do [[ -e $folder/ports/COM1 ]] && break; sleep 0.1; done
    "$folder/tarvek" 2>"$folder/tarvek.log" &
    tarvek=$!
    pids+=("$instrument" "$tarvek")
    window=$(xdotool search --sync --onlyvisible --name "TARVEK +Data" | head -1)
    sleep 3
    echo "$name: stand-by" >&2
    measure "$name" standby "$half"

    # The pointer leaves the window, as an operator's hand would.
    xdotool windowfocus --sync "$window" sleep 0.5 key space mousemove 1270 10
    if ! flag_becomes 1; then
        echo "$name: Space did not start acquisition (the focus not on Start?)" >&2
        exit 1
    fi
    echo "$name: acquiring" >&2
    find "/proc/$tarvek/fd" -lname 'socket:*' | wc -l | sed 's/^/sockets=/' >"$folder/sockets"
    measure "$name" acquiring "$seconds" "$folder/instrument.log"

    busy=()
    for _ in 1 2 3; do
        yes >/dev/null &
        busy+=($!)
    done
    pids+=("${busy[@]}")
    echo "$name: acquiring beside three busy processes" >&2
    measure "$name" busy "$half" "$folder/instrument.log"
    kill "${busy[@]}"

    # Stop ends acquisition at the next second that is no quarter-minute mark.
    xdotool key space
    if flag_becomes 0; then
        sleep 2
        echo "$name: stand-by after Stop" >&2
        measure "$name" stopped "$half"
    else
        echo "$name: Space did not stop acquisition (the focus not on Stop)" >&2
    fi
    kill "$tarvek" "$instrument"
    wait "$tarvek" "$instrument" 2>/dev/null || true
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

row() {
    printf "%-46s" "$1"
    shift
    printf "%-22s" "$@"
    printf "\n"
}
# cells LABEL EXPRESSION PHASE KEY...: one cell per program; the expression
# (awk) sees the keys' values as v[1], v[2]..., and f, the floor's ms/s in
# the same seconds.
cells() {
    local label="$1" expression="$2" phase="$3"
    shift 3
    local out=()
    for name in "${names[@]}"; do
        if [[ ! -e $scratch/$name/$phase ]]; then
            out+=("n/a")
            continue
        fi
        local values=()
        for key in "$@"; do values+=("$(value "$scratch/$name/$phase" "$key")"); done
        out+=("$(awk -v f="$(value "$scratch/$name/$phase.floor" cpu)" -v list="${values[*]}" \
            "BEGIN { split(list, v, \" \"); $expression }")")
    done
    row "$label" "${out[@]}"
}
echo
row "" "${names[@]}"
cells "floor program in stand-by's seconds, ms/s" 'printf "%.3f", f' standby cpu
cells "stand-by before Start, ms/s (x floor)" 'printf "%.3f (%.2f)", v[1], v[1] / f' standby cpu
cells "floor program in acquiring's seconds, ms/s" 'printf "%.3f", f' acquiring cpu
cells "acquiring, ms/s (x floor)" 'printf "%.3f (%.2f)", v[1], v[1] / f' acquiring cpu
cells "  seconds between scans, ms/s (x floor)" 'printf "%.3f (%.2f)", v[1], v[1] / f' acquiring between
cells "  a scan beyond the clock, median ms (x floor)" 'printf "%.2f (%.2f)", v[1], v[1] / f' acquiring scan_median
cells "  a scan beyond the clock, max ms (x floor)" 'printf "%.2f (%.2f)", v[1], v[1] / f' acquiring scan_max
cells "  select byte after its mark, median/max ms" 'printf "%s / %s", v[1], v[2]' acquiring late_median late_max
cells "  marks with a scan / marks" 'printf "%s / %s", v[1], v[2]' acquiring scanned marks
cells "3 busy: select byte late, median/max ms" 'printf "%s / %s", v[1], v[2]' busy late_median late_max
cells "3 busy: marks with a scan / marks" 'printf "%s / %s", v[1], v[2]' busy scanned marks
cells "floor program in stand-by after Stop, ms/s" 'printf "%.3f", f' stopped cpu
cells "stand-by after Stop, ms/s (x floor)" 'printf "%.3f (%.2f)", v[1], v[1] / f' stopped cpu
echo "(a scan's \"x floor\": the seconds of the floor program's CPU that one scan costs)"
echo
for name in "${names[@]}"; do
    a="$scratch/$name/acquiring"
    s="$scratch/$name/standby"
    echo "$name: acquiring / stand-by: $(awk -v a="$(value "$a" cpu)" -v s="$(value "$s" cpu)" \
        'BEGIN { printf "%.2f", a / s }');" \
        "between scans / stand-by: $(awk -v a="$(value "$a" between)" -v s="$(value "$s" cpu)" \
            'BEGIN { printf "%.2f", a / s }')"
    echo "$name: each scan beyond the clock, ms: $(value "$a" each_scan_ms)"
    echo "$name: threads: $(sed -n 's/^threads=//p' "$a"); open sockets: $(value "$scratch/$name/sockets" sockets)" \
        "(1: the X connection alone)"
    echo "$name: CPU from /proc/PID/stat (whole clock ticks), ms/s: stand-by $(value "$s" stat)," \
        "acquiring $(value "$a" stat)"
done
