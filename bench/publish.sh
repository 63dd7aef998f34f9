#!/usr/bin/env bash
# tarvek-publish figures, run by hand (not by CI):
#   bench/publish.sh [BUILD_DIR]
# Starts a broker on 127.0.0.1 (a free port, persistence on), then
#  1. back-fills a month (89,280 records) with --once at QoS 1 and prints its
#     time and peak memory beside mosquitto_pub -l -q 1 sending as many lines
#     of the same size in the same run;
#  2. back-fills a month of 10,000 alarm events (no records) and prints the
#     events per second a subscriber receives;
#  3. runs the publisher following the folder and prints the latency from the
#     store's final sync to a subscriber's receipt over 50 records, then over
#     50 alarm events appended to the event log;
#  4. prints the publisher's CPU while it follows a data folder that holds
#     50,000 other names and nothing changes (goal: near 0%).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
cmake --build "$build" --target tarvek-publish tarvek-publish-bench -j2 >/dev/null
publish="$build/tarvek-publish"
bench="$build/tarvek-publish-bench"

scratch=$(mktemp -d /tmp/tarvek-publish-bench.XXXXXX)
chmod 0777 "$scratch" # as root the broker runs as its own user and keeps its store here
broker=
cleanup() {
    [[ -n $broker ]] && kill "$broker" 2>/dev/null && wait "$broker" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

port=$(( (RANDOM % 20000) + 30000 ))
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\nmax_queued_messages 0\nlog_dest none\n' \
    "$port" "$scratch" >"$scratch/mosquitto.conf"
chmod 0644 "$scratch/mosquitto.conf"
mosquitto -c "$scratch/mosquitto.conf" &
broker=$!
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

"$bench" month "$scratch/app"
records=$((31 * 2880))
config() { # NAME START
    printf 'host = 127.0.0.1\nport = %d\nprefix = bench/%s\ndata = %s/app/datafiles\nstate = %s/%s.state\nstart = %s\n' \
        "$port" "$1" "$scratch" "$scratch" "$1" "$2" >"$scratch/$1.conf"
    echo "$scratch/$1.conf"
}

echo "== a month of $records records back-filled with --once, QoS 1"
# Each run is timed until a subscriber has every message, so what is timed
# is what reaches the broker and leaves it again.
now() { date +%s.%N; }
mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -t bench/month/record -C "$records" -W 120 >"$scratch/received" &
sub=$!
sleep 0.3
start=$(now)
/usr/bin/time -f '%M %U %S' -o "$scratch/kb" "$publish" --config "$(config month all)" --once --timeout 10
wait "$sub" || true
seconds=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')
echo "received by a subscriber: $(wc -l <"$scratch/received") of $records"
size=$(head -n1 "$scratch/received" | wc -c)

# mosquitto_pub leaves when its input ends, dropping what it has not sent
# yet: its input stays open until the subscriber has every line.
awk -v n="$records" -v b="$((size - 1))" 'BEGIN { line = sprintf("%*s", b, ""); gsub(/ /, "x", line); for (i = 0; i < n; ++i) print line }' >"$scratch/lines"
mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -t bench/pub -C "$records" -W 120 | wc -l >"$scratch/pubreceived" &
sub=$!
sleep 0.3
start=$(now)
{
    cat "$scratch/lines"
    while kill -0 "$sub" 2>/dev/null; do sleep 0.01; done
} | /usr/bin/time -f '%M %U %S' -o "$scratch/pubkb" mosquitto_pub -h 127.0.0.1 -p "$port" -q 1 -t bench/pub -l &
pub=$!
wait "$sub" || true
pubseconds=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')
wait "$pub"
echo "received by a subscriber: $(cat "$scratch/pubreceived") of $records"
read -r kb user sys <"$scratch/kb"
read -r pubkb pubuser pubsys <"$scratch/pubkb"
awk -v s="$seconds" -v k="$kb" -v c="$(awk -v u="$user" -v y="$sys" 'BEGIN { print u + y }')" \
    -v ps="$pubseconds" -v pk="$pubkb" -v pc="$(awk -v u="$pubuser" -v y="$pubsys" 'BEGIN { print u + y }')" -v b="$size" 'BEGIN {
    printf "tarvek-publish --once:     %6.2f s (CPU %5.2f s), peak %5.1f MB   (goal: within 3x of mosquitto_pub, at most 40 MB)\n", s, c, k / 1024
    printf "mosquitto_pub -l -q 1:     %6.2f s (CPU %5.2f s), peak %5.1f MB   (as many lines of %d bytes)\n", ps, pc, pk / 1024, b
    printf "ratio:                     %6.2f\n", s / ps }'

events=10000
echo "== a month of $events alarm events back-filled with --once, QoS 1"
"$bench" events "$scratch/events" "$events"
mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -t bench/events/event -C "$events" -W 120 >"$scratch/received" &
sub=$!
sleep 0.3
conf=$(config events all)
sed -i "s|/app/datafiles|/events/datafiles|" "$conf"
start=$(now)
"$publish" --config "$conf" --once --timeout 10
wait "$sub" || true
seconds=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')
awk -v n="$(wc -l <"$scratch/received")" -v e="$events" -v s="$seconds" 'BEGIN {
    printf "tarvek-publish --once:     %6.2f s for %d of %d events received, %.0f events/s\n", s, n, e, n / s }'

echo "== latency while following the folder"
"$publish" --config "$(config follow new)" 2>"$scratch/follow.err" &
follower=$!
sleep 1
"$bench" latency "$scratch/app" "$port" bench/follow 50 || true
"$bench" event-latency "$scratch/app" "$port" bench/follow 50 || true
kill -TERM "$follower"
wait "$follower" || true

echo "== idle CPU with 50,000 planted names in the data folder"
mkdir -p "$scratch/planted/datafiles"
cp "$scratch/app/datafiles/01-2025-Data.txt" "$scratch/planted/datafiles/"
(cd "$scratch/planted/datafiles" && seq -f 'planted-%05g.txt' 50000 | xargs touch)
conf=$(config idle new)
sed -i "s|/app/datafiles|/planted/datafiles|" "$conf"
"$publish" --config "$conf" 2>"$scratch/idle.err" &
idler=$!
sleep 3
ticks() { awk '{ print $14 + $15 }' "/proc/$idler/stat"; }
before=$(ticks)
sleep 20
after=$(ticks)
kill -TERM "$idler"
wait "$idler" || true
awk -v t="$((after - before))" -v hz="$(getconf CLK_TCK)" 'BEGIN {
    printf "tarvek-publish idle over 20 s:  %5.2f%% of a core (goal: near 0%%)\n", 100 * t / hz / 20 }'
