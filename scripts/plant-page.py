#!/usr/bin/python3
# The plant's page (packaging/examples/plant/node-red-page.json) in headless
# Chromium, for scripts/plant-check.sh, against its running stack:
#   plant-page.py SETTINGS.json
# Debian's python3-selenium drives Debian's chromium through chromium-driver.
# Checks both loggers online with each channel as the last stored record has
# it, an alarm of the event log on the page within 2 s of its sync and gone
# once cleared and acknowledged, a killed publisher offline within the
# keep-alive, the same page at once after a restart of Node-RED, and the
# page's passwords; saves the page at a phone's and a desk's width; prints the
# load time and the latency from a store's sync to its value on the page.
import base64, json, os, signal, statistics, subprocess, sys, time, urllib.error, urllib.request
from datetime import datetime, timezone
from zoneinfo import ZoneInfo

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

cfg = json.load(open(sys.argv[1]))
base = f"http://127.0.0.1:{cfg['port']}"
page_url = base + "/dashboard/plant"
auth = "Basic " + base64.b64encode(f"{cfg['user']}:{cfg['password']}".encode()).decode()
zone = ZoneInfo("Europe/Berlin")
env = dict(os.environ, TZ="Europe/Berlin")
# The check's set-up (tarvek-plant-store --setup): limits per channel, channel 8 not published.
limits = {1: (-15, 15), 2: (-30, 30), 3: (None, None), 4: (0, 70), 5: (-90, 90), 6: (-100, None), 7: (None, None)}


def fail(why):
    sys.exit(f"plant-page: {why}")


def note_pid(pid):
    with open(cfg["pids"], "a") as f:
        f.write(f"{pid}\n")


def store(logger, *args):
    """Runs tarvek-plant-store; returns its lines and the wall time of the first (each is printed once synced)."""
    p = subprocess.Popen([cfg["store"], cfg["apps"][logger], *args], env=env, stdout=subprocess.PIPE, text=True)
    first = p.stdout.readline()
    synced = time.time()
    lines = [first] + p.stdout.readlines()
    if p.wait() != 0:
        fail(f"tarvek-plant-store {' '.join(args)} failed")
    return [l.strip() for l in lines if l.strip()], synced


def http_status(url, headers=None, data=None):
    try:
        return urllib.request.urlopen(urllib.request.Request(url, data=data, headers=headers or {}), timeout=5).status
    except urllib.error.HTTPError as e:
        return e.code
    except OSError:
        return None  # nothing listens (yet)


def page_socket(headers):
    """Opens a socket.io session by long polling and asks for the default namespace: True when admitted."""
    opener = lambda path, data=None: urllib.request.urlopen(
        urllib.request.Request(base + path, data=data, headers=headers), timeout=5).read().decode()
    try:
        sid = json.loads(opener("/dashboard/socket.io/?EIO=4&transport=polling")[1:])["sid"]
        opener(f"/dashboard/socket.io/?EIO=4&transport=polling&sid={sid}", b"40")
        return opener(f"/dashboard/socket.io/?EIO=4&transport=polling&sid={sid}").startswith("40")
    except urllib.error.HTTPError:
        return False


def expected_channels(line):
    """The page's text for each channel of a stored record's line: (value, state), and its wall-clock time."""
    utc, _, *values = line.split(";")
    wall = datetime.strptime(utc, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc).astimezone(zone)
    want = {}
    for n, v in enumerate(values[:7], 1):
        low, high = limits[n]
        if v == "null":
            want[n] = ("no value", "no value")
        else:
            x = float(v)
            state = "below minimum" if low is not None and x < low else \
                "above maximum" if high is not None and x > high else "within limits"
            want[n] = (v, state)
    return want, wall.strftime("%Y-%m-%d %H:%M:%S")


# --- The passwords, before any browser -----------------------------------------
if http_status(page_url) != 401:
    fail("the page opens without its password")
if http_status(base + "/flows") != 401:
    fail("the editor's API answers without a login")
if page_socket({}) or page_socket({"Authorization": "Basic " + base64.b64encode(b"plant:wrong").decode()}):
    fail("the page's data connection admits a client without the page's password")
if not page_socket({"Authorization": auth}):
    fail("the page's data connection refuses the page's password")
if http_status(page_url, {"Authorization": auth}) != 200:
    fail("the page does not open with its password")
print("page and editor behind their passwords, the data connection too")

# --- The browser ---------------------------------------------------------------
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--hide-scrollbars",
          "--force-device-scale-factor=1", f"--user-data-dir={cfg['profile']}", "--window-size=1280,900"):
    options.add_argument(a)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
note_pid(driver.service.process.pid)
driver.execute_cdp_cmd("Network.enable", {})
driver.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": auth}})

# Notes the wall time at which each channel text (logger/channel|time|value),
# each alarm and each status first shows and an alarm leaves: the DOM's own
# changes, so no poll of the browser delays a figure.
WATCH = """
window.seen = {}; window.gone = {};
const look = () => {
    const now = Date.now(), here = new Set();
    for (const c of document.querySelectorAll('[data-logger] [data-channel]')) {
        const v = c.querySelector('[data-value]');
        const key = c.closest('[data-logger]').dataset.logger + '/' + c.dataset.channel + '|' +
            (c.querySelector('.tv-time') || {}).textContent + '|' + (v ? v.textContent : 'none');
        if (!(key in window.seen)) window.seen[key] = now;
    }
    for (const a of document.querySelectorAll('[data-alarm]')) {
        const key = 'alarm ' + a.dataset.alarm + ' ' + [...a.classList].join(' ');
        here.add(a.dataset.alarm);
        if (!(key in window.seen)) window.seen[key] = now;
    }
    for (const key of Object.keys(window.seen))
        if (key.startsWith('alarm ')) {
            const id = key.split(' ')[1];
            if (!here.has(id) && !(id in window.gone)) window.gone[id] = now;
            if (here.has(id)) delete window.gone[id];
        }
    for (const s of document.querySelectorAll('[data-status]')) {
        const key = 'status ' + s.dataset.status + ' ' + s.querySelector('strong').textContent;
        if (!(key in window.seen)) window.seen[key] = now;
    }
};
new MutationObserver(look).observe(document.body, { subtree: true, childList: true, characterData: true, attributes: true });
look();
"""


def wait_for(what, test, seconds):
    deadline = time.monotonic() + seconds
    while True:
        got = test()
        if got:
            return got
        if time.monotonic() > deadline:
            fail(f"{what}: not within {seconds} s")
        time.sleep(0.02)


def seen(key):
    return driver.execute_script("return window.seen[arguments[0]] || null", key)


def channel_texts(logger):
    """Each channel's value and state as the page shows them."""
    return driver.execute_script("""
        const out = {};
        for (const c of document.querySelectorAll(`[data-logger="${arguments[0]}"] [data-channel]`)) {
            const v = c.querySelector('[data-value]'), s = c.querySelector('.tv-state'), t = c.querySelector('.tv-time');
            out[c.dataset.channel] = [v ? v.textContent : null, s ? s.textContent : null, t ? t.textContent : null];
        }
        return out;""", logger)


def shows_records(lasts):
    for logger, line in lasts.items():
        want, wall = expected_channels(line)
        got = channel_texts(logger)
        if len(got) != 8 or not (got.get("8", [None, ""])[1] or "").startswith("Inactive"):
            return False
        for n, (value, state) in want.items():
            if got.get(str(n)) != [value, state, wall]:
                return False
    return True


def status_of(logger):
    return driver.execute_script(
        "const s = document.querySelector(`[data-status=\"${arguments[0]}\"] strong`); return s && s.textContent",
        logger)


loggers = {name: "site1/" + name for name in cfg["apps"]}
lasts = {loggers[name]: last for name, last in cfg["last"].items()}
began = time.monotonic()
driver.get(page_url)
wait_for("both loggers online, each channel as its last stored record",
         lambda: all(status_of(l) == "online" for l in lasts) and shows_records(lasts), 20)
load = time.monotonic() - began
loaded = driver.execute_script("return performance.getEntriesByType('navigation')[0].loadEventEnd")
print(f"page load with two loggers: {loaded:.0f} ms to the load event, {load * 1000:.0f} ms to every channel shown")
driver.execute_script(WATCH)

# --- An alarm of the event log -------------------------------------------------
alarm = loggers["logger2"] + "/1/HIGH"
_, raised = store("logger2", "--event", "HIGH", "1", "RAISED", "  +16.000", "15", "Boiler pressure")
shown = wait_for("the raised alarm on the page", lambda: seen(f"alarm {alarm} tv-alarm tv-active-unacknowledged"), 2.5)
if shown / 1000 - raised > 2:
    fail(f"the alarm showed {shown / 1000 - raised:.2f} s after its sync")
title = driver.title
if not title.startswith("1 alarm "):
    fail(f"the page's title does not count the alarm: {title!r}")
text = driver.execute_script("return document.querySelector(arguments[0]).textContent",
                             f'[data-alarm="{alarm}"]')
for part in ("logger2", "Ch.1 Boiler pressure", "HIGH", "not acknowledged", "value 16.000", "limit 15"):
    if part not in " ".join(text.split()):
        fail(f"the alarm's line lacks {part!r}: {text!r}")
raised_ms = shown - raised * 1000

# Every channel's trend of the last 24 hours, with its limit lines.
wait_for("the trends of both loggers", lambda: driver.execute_script(
    "return document.querySelectorAll('[data-logger] svg.tv-trend').length") == 14, 10)

# What a screen reader gets: the headings, the alarm in words, a name for every trend.
tree = [n for n in driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"] if not n.get("ignored")]
named = [(n.get("role", {}).get("value"), " ".join(str(n.get("name", {}).get("value", "")).split())) for n in tree]
headings = {name for role, name in named if role == "heading"}
for h in ("Current alarms: 1, 1 not acknowledged", "Loggers", "logger1 (site1), online", "logger2 (site1), online"):
    if h not in headings:
        fail(f"no heading {h!r} for a screen reader: {sorted(headings)}")
trends = [name for role, name in named if role == "image" and "last 24 hours: lowest" in name]
if len(trends) != 14:
    fail(f"{len(trends)} of 14 trends have a name for a screen reader")
if not any("logger2, Ch.1 Boiler pressure: HIGH" in name for _, name in named):
    fail("the alarm is not in the page's text for a screen reader")

# The page as the README shows it, the alarm standing; at a phone's width
# nothing wider than the screen.
os.makedirs(cfg["shots"], exist_ok=True)
for name, width, height in (("phone", 390, 1300), ("desk", 1280, 900)):
    driver.set_window_size(width, height)
    time.sleep(0.5)
    driver.save_screenshot(os.path.join(cfg["shots"], f"page-{name}.png"))
    wide = driver.execute_script("return document.documentElement.scrollWidth")
    if wide > width:
        fail(f"at {width} pixels the page is {wide} pixels wide")
driver.set_window_size(1280, 900)

_, cleared = store("logger2", "--event", "HIGH", "1", "CLEARED", "  +14.000", "15", "Boiler pressure")
wait_for("the cleared alarm on the page", lambda: seen(f"alarm {alarm} tv-alarm tv-cleared-unacknowledged"), 2.5)
_, acknowledged = store("logger2", "--event", "HIGH", "1", "ACKNOWLEDGED", "", "", "checked the burner")
gone = wait_for("the acknowledged alarm leaving the page",
                lambda: driver.execute_script("return window.gone[arguments[0]] || null", alarm), 2.5)
if gone < acknowledged * 1000:
    fail("the alarm left the page before it was acknowledged")
if gone / 1000 - acknowledged > 2:
    fail(f"the alarm left {gone / 1000 - acknowledged:.2f} s after the acknowledgement's sync")
if not driver.title.startswith("No alarms"):
    fail(f"the page's title after the acknowledgement: {driver.title!r}")
print(f"an alarm raised: on the page {raised_ms:.0f} ms after its sync; "
      f"cleared and acknowledged: gone {gone - acknowledged * 1000:.0f} ms after the sync")

# --- Latency from a store's sync to its value on the page ------------------------
ms = []
for _ in range(20):
    (line,), synced = store("logger1", datetime.fromtimestamp(cfg["next"], timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"), "1")
    cfg["next"] += 30
    want, wall = expected_channels(line)
    n = next(n for n, (value, _) in want.items() if value != "no value")  # timed on a channel with a value
    key = f"{loggers['logger1']}/{n}|{wall}|{want[n][0]}"
    at = wait_for(f"the record of {wall} on the page", lambda: seen(key), 10)
    ms.append(at - synced * 1000)
    time.sleep(0.2)
lasts[loggers["logger1"]] = line
print(f"latency from a store's sync to its value on the page, over {len(ms)} records: "
      f"median {statistics.median(ms):.0f} ms, max {max(ms):.0f} ms")
if statistics.median(ms) > 1000:
    fail("the median latency is above 1 s")
wait_for("every channel of the last record", lambda: shows_records(lasts), 5)

# --- A publisher killed: its will -----------------------------------------------
killed = time.time()
os.kill(cfg["publisher2"], signal.SIGKILL)
offline = wait_for("the killed publisher's logger offline",
                   lambda: seen(f"status {loggers['logger2']} offline"), cfg["keepalive"])
print(f"a publisher killed: its logger offline on the page after {offline - killed * 1000:.0f} ms "
      f"(keep-alive {cfg['keepalive']} s)")


# --- Node-RED restarted: the same page at once -----------------------------------
def picture():
    return driver.execute_script("""
        return [...document.querySelectorAll('[data-status], [data-channel], [data-alarm-count]')]
            .map(e => e.textContent.replace(/\\s+/g, ' ').replace(/No trend of the last 24 hours\\./, '').trim());""")


before = picture()
os.kill(cfg["historian"], signal.SIGTERM)
for _ in range(100):
    try:
        os.kill(cfg["historian"], 0)
        time.sleep(0.1)
    except ProcessLookupError:
        break
log = open(cfg["nodered_log"], "w")
historian = subprocess.Popen(cfg["nodered"], stdout=log, stderr=subprocess.STDOUT)
note_pid(historian.pid)
wait_for("Node-RED listening again", lambda: http_status(page_url, {"Authorization": auth}) == 200, 30)
up = time.monotonic()
driver.refresh()
wait_for("the same page after the restart", lambda: picture() == before, 10)
print(f"Node-RED restarted: the same page {(time.monotonic() - up) * 1000:.0f} ms after it answered again")
with open(cfg["historian_pid"], "w") as f:
    f.write(f"{historian.pid}\n")
driver.quit()
