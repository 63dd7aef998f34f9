#!/usr/bin/env bash
# The path from a logger to the plant's historian, end to end on 127.0.0.1,
# from the shipped example files (packaging/examples/plant/, free ports and
# scratch paths substituted): a central broker (TLS, passwords, ACL,
# persistence), a site broker bridged to it, Node-RED 4 with
# node-red-contrib-influxdb and Dashboard 2 running the shipped flows and
# settings, InfluxDB, and tarvek-publish on month files and event logs
# written by the logger's own writers.
#   scripts/plant-check.sh [BUILD_DIR]
# Checks in InfluxDB that every record arrives exact (gaps left out, times
# right across the autumn clock change and a month end), also after the
# central broker was away for 20 s and the publisher was killed; prints the
# back-fill rate and the latency from a store to a point queryable in
# InfluxDB. Then the plant's page in headless Chromium with two loggers
# (scripts/plant-page.py): values, alarms, a killed publisher, a restart of
# Node-RED, the passwords; it prints the page's load time and the latency
# from a store to its value on the page, and saves the page at a phone's and
# a desk's width as BUILD_DIR/plant-page/page-{phone,desk}.png. Needs npm
# (Node-RED is installed into a cache folder, by default
# /var/tmp/tarvek-plant-node) and takes about two minutes; not part of CI.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build}" && pwd)"
examples="$top/packaging/examples/plant"
cache="${TARVEK_PLANT_CACHE:-/var/tmp/tarvek-plant-node}"

extra=(influxdb influxdb-client mosquitto mosquitto-clients openssl python3 chromium chromium-driver python3-selenium)
command -v npm >/dev/null || extra+=(nodejs npm)
bash "$top/scripts/install-deps.sh" "${extra[@]}"
if [[ ! -x $cache/node_modules/.bin/node-red || ! -d $cache/node_modules/node-red-contrib-influxdb ||
      ! -d $cache/node_modules/@flowfuse/node-red-dashboard ]]; then
    echo "Installing Node-RED 4, node-red-contrib-influxdb and Dashboard 2 into $cache"
    mkdir -p "$cache"
    npm install --prefix "$cache" --no-audit --no-fund --loglevel=error node-red@4 node-red-contrib-influxdb@0.7 \
        @flowfuse/node-red-dashboard@1 >/dev/null
fi
cmake --build "$build" --target tarvek-publish tarvek-plant-store -j2 >/dev/null

scratch=$(mktemp -d /tmp/tarvek-plant.XXXXXX)
chmod 0755 "$scratch" # as root the brokers run as the user mosquitto and read their files here
pids=()
cleanup() {
    # plant-page.py leads a process group of its own (the browser and its
    # driver) and notes what else it starts in $scratch/pids.
    [[ -n ${page:-} ]] && kill -- -"$page" 2>/dev/null
    [[ -f $scratch/pids ]] && mapfile -t -O "${#pids[@]}" pids <"$scratch/pids"
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "plant-check: $*" >&2
    for log in "$scratch"/*.log; do
        echo "--- $log" >&2
        tail -n 20 "$log" >&2
    done
    exit 1
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_port() { # PORT
    for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.1; done
    fail "nothing listens on 127.0.0.1:$1"
}
central_tls=$(free_port) central_local=$(free_port) site=$(free_port)
influx_http=$(free_port) influx_rpc=$(free_port) nodered=$(free_port)

# --- Certificates and passwords ------------------------------------------------
cd "$scratch"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=plant-ca -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout central.key -out central.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >san.ext
openssl x509 -req -in central.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext \
    -out central.pem 2>/dev/null
site_password=site-secret historian_password=historian-secret logger_password=logger-secret
mosquitto_passwd -c -b central.passwd site1 "$site_password"
mosquitto_passwd -b central.passwd historian "$historian_password"
mosquitto_passwd -c -b site.passwd logger1 "$logger_password"
mosquitto_passwd -b site.passwd logger2 "$logger_password"
printf '%s\n' "$logger_password" >logger.password
cp "$examples/central-broker.acl" central.acl
chmod 0644 ./*
mkdir -m 0777 central.store site.store

# --- The shipped configurations, on this machine's ports and paths -------------
sed -e "s|^listener 8883$|listener $central_tls 127.0.0.1|" \
    -e "s|^listener 1883 127.0.0.1$|listener $central_local 127.0.0.1|" \
    -e "s|/etc/mosquitto/tarvek.passwd|$scratch/central.passwd|" \
    -e "s|/etc/mosquitto/tarvek.acl|$scratch/central.acl|" \
    -e "s|/etc/mosquitto/ca_certificates/plant-ca.pem|$scratch/ca.pem|" \
    -e "s|/etc/mosquitto/certs/central.pem|$scratch/central.pem|" \
    -e "s|/etc/mosquitto/certs/central.key|$scratch/central.key|" \
    -e "s|^persistence_location .*|persistence_location $scratch/central.store/|" \
    -e "s|^log_dest syslog$|log_dest stderr|" \
    "$examples/central-broker.conf" >central.conf
sed -e "s|^listener 1883$|listener $site 127.0.0.1|" \
    -e "s|/etc/mosquitto/site.passwd|$scratch/site.passwd|" \
    -e "s|^address central.plant.example:8883$|address 127.0.0.1:$central_tls|" \
    -e "s|/etc/mosquitto/ca_certificates/plant-ca.pem|$scratch/ca.pem|" \
    -e "s|^remote_password CHANGE-ME$|remote_password $site_password|" \
    -e "s|^persistence_location .*|persistence_location $scratch/site.store/|" \
    -e "s|^log_dest syslog$|log_dest stderr|" \
    "$examples/site-broker.conf" >site.conf
for f in central.conf site.conf; do
    grep -q "$scratch" "$f" || fail "$f: the shipped file no longer has the lines this check substitutes"
done
grep -q "address 127.0.0.1:$central_tls" site.conf || fail "site.conf: no bridge address to substitute"

mkdir -p influx nodered
cat >influx.conf <<EOF
reporting-disabled = true
bind-address = "127.0.0.1:$influx_rpc"
[meta]
  dir = "$scratch/influx/meta"
[data]
  dir = "$scratch/influx/data"
  wal-dir = "$scratch/influx/wal"
  query-log-enabled = false
[http]
  bind-address = "127.0.0.1:$influx_http"
  log-enabled = false
  max-row-limit = 0
EOF
python3 - "$examples/node-red-flow.json" "$examples/node-red-page.json" nodered/flows.json "$central_local" \
    "$influx_http" <<'PY'
import json, sys
flow = json.load(open(sys.argv[1])) + json.load(open(sys.argv[2]))
for node in flow:
    if node["type"] == "mqtt-broker":
        node["port"] = sys.argv[4]
    if node["type"] == "influxdb":
        node["port"] = sys.argv[5]
    for variable in node.get("env", []):
        if variable["name"] == "INFLUXDB":
            variable["value"] = f"http://127.0.0.1:{sys.argv[5]}"
json.dump(flow, open(sys.argv[3], "w"))
PY
printf '{"tarvek.central":{"user":"historian","password":"%s"},"tarvek.page.central":{"user":"historian","password":"%s"}}\n' \
    "$historian_password" "$historian_password" >nodered/flows_cred.json
# The shipped settings with hashes made by the command its comment names.
editor_password=editor-secret page_password=page-secret
hash_pw() { printf '%s\n' "$1" | "$cache/node_modules/.bin/node-red" admin hash-pw | sed 's/^Password: *//'; }
sed -e "s|^const editorHash = .*|const editorHash = \"$(hash_pw "$editor_password")\";|" \
    -e "s|^const pageHash = .*|const pageHash = \"$(hash_pw "$page_password")\";|" \
    -e "s|^    credentialSecret: .*|    credentialSecret: false,|" \
    -e "s|^    uiPort: 1880,|    uiPort: $nodered,|" \
    "$examples/node-red-settings.js" >nodered/settings.js
[[ $(grep -c -e '\$2[aby]\$' -e "uiPort: $nodered" -e 'credentialSecret: false' nodered/settings.js) == 4 ]] ||
    fail "node-red-settings.js no longer has the lines this check substitutes"

# --- The chain ------------------------------------------------------------------
start_central() {
    mosquitto -c "$scratch/central.conf" >>"$scratch/central.log" 2>&1 &
    central=$!
    pids+=("$central")
    wait_port "$central_tls"
}
influxd -config influx.conf >influx.log 2>&1 &
pids+=($!)
wait_port "$influx_http"
influx -host 127.0.0.1 -port "$influx_http" -execute 'CREATE DATABASE tarvek' || fail "cannot create the database"
start_central
mosquitto -c site.conf >site.log 2>&1 &
pids+=($!)
wait_port "$site"
start_historian() {
    : >"$scratch/nodered.log"
    "$cache/node_modules/.bin/node-red" --userDir "$scratch/nodered" --settings "$scratch/nodered/settings.js" \
        >"$scratch/nodered.log" 2>&1 &
    historian=$!
    pids+=("$historian")
    for _ in $(seq 300); do grep -q 'Connected to broker' "$scratch/nodered.log" && break; sleep 0.1; done
    grep -q 'Connected to broker' "$scratch/nodered.log" || fail "Node-RED did not connect to the central broker"
}
start_historian

mkdir -p app/datafiles
"$build/tarvek-plant-store" app --setup
cat >publish.conf <<EOF
host = 127.0.0.1
port = $site
username = logger1
password_file = $scratch/logger.password
prefix = tarvek/logger1
client_id = plant-check-logger1
data = $scratch/app/datafiles
state = $scratch/publish.state
start = all
EOF
publisher=
start_publisher() {
    TZ=Europe/Berlin "$build/tarvek-publish" --config "$scratch/publish.conf" >>"$scratch/publish.log" 2>&1 &
    publisher=$!
    pids+=("$publisher")
}
store() { # FROM COUNT [PAUSE_MS]: stores records, remembers what InfluxDB must hold
    TZ=Europe/Berlin "$build/tarvek-plant-store" "$scratch/app" "$@" >>"$scratch/expected"
}
# Waits until InfluxDB holds as many records as were stored; prints the seconds taken.
arrived() { # SECONDS
    python3 - "$influx_http" "$(wc -l <"$scratch/expected")" "$1" <<'PY'
import json, sys, time, urllib.parse, urllib.request
port, want, limit = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
start = time.monotonic()
while True:
    q = urllib.parse.urlencode({"db": "tarvek", "q": "SELECT count(record) FROM tarvek"})
    body = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/query?{q}"))
    series = body["results"][0].get("series")
    have = series[0]["values"][0][1] if series else 0
    if have >= want:
        print(f"{time.monotonic() - start:.2f}")
        sys.exit(0)
    if time.monotonic() - start > limit:
        print(f"InfluxDB holds {have} of {want} records after {limit:.0f} s", file=sys.stderr)
        sys.exit(1)
    time.sleep(0.02)
PY
}

echo "== a day of records across the clock change, back-filled"
store 2026-10-24T12:00:00Z 2880
began=$(date +%s.%N)
start_publisher
seconds=$(arrived 120) || fail "the back-fill did not arrive"
total=$(awk -v a="$(date +%s.%N)" -v b="$began" 'BEGIN { print a - b }')
awk -v n=2880 -v s="$total" -v w="$seconds" 'BEGIN {
    printf "2880 records from the publisher'"'"'s start to queryable in InfluxDB: %.2f s, %.0f records/s\n", s, n / s }'

echo "== the historian away, then the central broker away for 20 s, the publisher killed meanwhile"
# What the central broker holds for the historian's session must survive the
# central broker's restart; what the site broker holds for the bridge, the
# central broker's absence; what the publisher had not yet sent, its kill.
kill -TERM "$historian"
wait "$historian" || true
store 2026-10-31T16:00:00Z 480
sleep 2
kill -TERM "$central"
wait "$central" || true
away=$(date +%s)
store 2026-10-31T20:00:00Z 1200 &
storing=$!
sleep 3
kill -KILL "$publisher"
wait "$publisher" 2>/dev/null || true
sleep 1
start_publisher
wait "$storing"
left=$((20 - ($(date +%s) - away)))
((left > 0)) && sleep "$left"
start_central
start_historian
arrived 60 >/dev/null || fail "records stored while the historian or the central broker was away did not arrive"

echo "== latency from a store to a point queryable in InfluxDB, over 20 records"
python3 - "$influx_http" "$build/tarvek-plant-store" "$scratch/app" "$scratch/expected" <<'PY' || fail "a record did not arrive"
import json, os, subprocess, sys, time, urllib.parse, urllib.request
port, store, app, expected = sys.argv[1:]
env = dict(os.environ, TZ="Europe/Berlin")
ms = []
for n in range(20):
    utc = f"2026-11-01T06:{n:02d}:00Z"
    line = subprocess.run([store, app, utc, "1"], env=env, check=True, capture_output=True, text=True).stdout
    stored = time.monotonic()
    open(expected, "a").write(line)
    q = urllib.parse.urlencode({"db": "tarvek", "q": f"SELECT count(record) FROM tarvek WHERE time = '{utc}'"})
    while not json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/query?{q}"))["results"][0].get("series"):
        if time.monotonic() - stored > 10:
            sys.exit(f"the record of {utc} did not arrive within 10 s")
        time.sleep(0.002)
    ms.append((time.monotonic() - stored) * 1000)
    time.sleep(0.2)
ms.sort()
print(f"latency from the store's final sync to a queryable point: median {ms[len(ms) // 2]:.0f} ms, max {ms[-1]:.0f} ms")
PY

echo "== events in the publisher's event payload"
# Sent as a logger's publisher sends them, through the site broker and the bridge.
events=(
    '{"file":"11-2026-Events.txt","record":2,"time":"2026-11-01T07:15:30","utc":"2026-11-01T06:15:30Z","kind":"HIGH","channel":3,"event":"RAISED","value":10.7,"limit":10.0,"user":"op1","text":"Boiler pressure"}'
    '{"file":"11-2026-Events.txt","record":3,"time":"2026-11-01T07:15:30","utc":"2026-11-01T06:15:30Z","kind":"NO ANSWER","channel":null,"event":"RAISED","value":null,"limit":null,"user":"op1","text":""}'
    '{"file":"11-2026-Events.txt","record":4,"time":"2026-11-01T07:16:00","utc":"2026-11-01T06:16:00Z","kind":"HIGH","channel":3,"event":"ACKNOWLEDGED","value":null,"limit":null,"user":"op2","text":"valve \"B\" opened; ok"}'
)
for e in "${events[@]}"; do
    mosquitto_pub -h 127.0.0.1 -p "$site" -u logger1 -P "$logger_password" -q 1 -t tarvek/logger1/event -m "$e"
done
python3 - "$influx_http" <<'PY' || fail "InfluxDB does not hold the events"
import json, sys, time, urllib.parse, urllib.request
port = sys.argv[1]
q = urllib.parse.urlencode({"db": "tarvek", "q": "SELECT * FROM tarvek_event"})
deadline = time.monotonic() + 10
while True:
    series = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/query?{q}"))["results"][0].get("series")
    if series and len(series[0]["values"]) == 3 or time.monotonic() > deadline:
        break
    time.sleep(0.05)
rows = [dict(zip(series[0]["columns"], v)) for v in series[0]["values"]] if series else []
got = sorted((r["time"], r["record"], r["kind"], r["event"], r.get("channel"), r.get("value"), r.get("limit"),
              r["user"], r["text"], r["site"], r["logger"], r["file"]) for r in rows)
want = [("2026-11-01T06:15:30Z", "2", "HIGH", "RAISED", "3", 10.7, 10.0, "op1", "Boiler pressure"),
        ("2026-11-01T06:15:30Z", "3", "NO ANSWER", "RAISED", None, None, None, "op1", ""),
        ("2026-11-01T06:16:00Z", "4", "HIGH", "ACKNOWLEDGED", "3", None, None, "op2", 'valve "B" opened; ok')]
want = [w + ("site1", "logger1", "11-2026-Events.txt") for w in want]
if got != want:
    print("InfluxDB holds:", *got, "expected:", *want, sep="\n  ")
    sys.exit(1)
print("3 events, each one point with its tags and fields")
PY

echo "== every record exact"
python3 - "$influx_http" "$scratch/expected" <<'PY' || fail "InfluxDB does not hold what was stored"
import json, sys, urllib.parse, urllib.request
port, expected = sys.argv[1:]
q = urllib.parse.urlencode({"db": "tarvek", "epoch": "s", "q": "SELECT * FROM tarvek"})
series = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/query?{q}"))["results"][0]["series"][0]
columns = series["columns"]
points = {}
for row in series["values"]:
    p = dict(zip(columns, row))
    points[(p["time"], p["file"])] = p
problems, want = [], {}
import calendar, time as t
for line in open(expected):
    utc, file, *values = line.strip().split(";")
    want[(calendar.timegm(t.strptime(utc, "%Y-%m-%dT%H:%M:%SZ")), file)] = (utc, values)
for key, (utc, values) in want.items():
    p = points.get(key)
    if p is None:
        problems.append(f"{utc} {key[1]}: missing")
        continue
    if (p["site"], p["logger"]) != ("site1", "logger1"):
        problems.append(f"{utc}: tags {p['site']} {p['logger']}")
    for k, v in enumerate(values, 1):
        got = p.get(f"ch{k}")
        if (v == "null") != (got is None) or (got is not None and float(v) != got):
            problems.append(f"{utc} ch{k}: stored {v}, InfluxDB holds {got}")
extra = set(points) - set(want)
problems += [f"a point nobody stored at {k[0]} {k[1]}" for k in sorted(extra)]
gaps = sum(v.count("null") for _, v in want.values())
print(f"{len(want)} records, {gaps} gaps left out, in 2 month files: "
      + ("all exact" if not problems else f"{len(problems)} problems"))
for p in problems[:20]:
    print("  " + p)
sys.exit(1 if problems else 0)
PY
echo "== the plant's page in a browser, with a second logger"
# Both loggers' last day, so the page has its trends; the second publisher
# with a short keep-alive, to show its will on the page.
"$build/tarvek-plant-store" app2 --setup
sed -e 's|logger1|logger2|g' -e "s|$scratch/app/|$scratch/app2/|" -e "s|publish.state|publish2.state|" \
    publish.conf >publish2.conf
printf 'keepalive = 5\n' >>publish2.conf
day=$(( $(date +%s) / 30 * 30 - 86400 ))
from=$(date -u -d "@$day" +%Y-%m-%dT%H:%M:%SZ)
last1=$(TZ=Europe/Berlin "$build/tarvek-plant-store" app "$from" 2840 | tail -n 1)
# The second logger's values follow from its records' times: its day begins a
# quarter of an hour later, so it shows values of its own.
last2=$(TZ=Europe/Berlin "$build/tarvek-plant-store" app2 "$(date -u -d "@$((day + 900))" +%Y-%m-%dT%H:%M:%SZ)" 2810 |
    tail -n 1)
TZ=Europe/Berlin "$build/tarvek-publish" --config publish2.conf >>publish2.log 2>&1 &
publisher2=$!
pids+=("$publisher2")
python3 - "$influx_http" <<'PY' || fail "the last day of both loggers did not arrive"
import json, sys, time, urllib.parse, urllib.request
q = urllib.parse.urlencode({"db": "tarvek", "q": "SELECT count(record) FROM tarvek WHERE time > now() - 25h GROUP BY logger"})
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    series = json.load(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/query?{q}"))["results"][0].get("series", [])
    if sorted(s["values"][0][1] for s in series) == [2810, 2840]:
        sys.exit(0)
    time.sleep(0.1)
sys.exit(1)
PY
python3 - "$scratch/page.json" <<PY
import json, sys
json.dump({"port": $nodered, "user": "plant", "password": "$page_password", "store": "$build/tarvek-plant-store",
           "apps": {"logger1": "$scratch/app", "logger2": "$scratch/app2"}, "last": {"logger1": "$last1", "logger2": "$last2"},
           "next": $day + 2840 * 30, "publisher2": $publisher2, "keepalive": 5, "historian": $historian,
           "nodered": ["$cache/node_modules/.bin/node-red", "--userDir", "$scratch/nodered", "--settings",
                       "$scratch/nodered/settings.js"],
           "nodered_log": "$scratch/nodered.log", "historian_pid": "$scratch/historian.pid", "pids": "$scratch/pids",
           "profile": "$scratch/chromium", "shots": "$build/plant-page"}, open(sys.argv[1], "w"))
PY
setsid /usr/bin/python3 "$top/scripts/plant-page.py" "$scratch/page.json" &
page=$!
# (bash would say the killed publisher was killed, as it reaps it here)
wait "$page" 2>/dev/null || fail "the plant's page"
page=
echo "screenshots: $build/plant-page/page-phone.png, $build/plant-page/page-desk.png"
echo "plant-check: passed"
