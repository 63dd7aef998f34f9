#!/usr/bin/env bash
# Builds TARVEK's Debian package from a Release tree (or takes the one given),
# checks it with lintian and appstreamcli, installs it the way an operator does
# and checks who may do what with it: a user in dialout starts the logger, saves
# the set-up, keeps data files, runs the simulated instrument and the viewer's
# export; a user outside dialout changes nothing; the sealer's user, service and
# folders are made and it seals as that user. Then it reinstalls (nothing of the
# operator's changes), removes (set-up and data stay) and purges (data and seals
# stay; the sealer's user, key and service go).
#
#   scripts/package-check.sh [tarvek_VERSION_ARCH.deb | BUILD_DIR]
#
# Run as root on a machine where TARVEK is not installed. The package, the two
# users, /var/lib/tarvek and the processes it started are undone on exit,
# whether the checks pass or not.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
started=$SECONDS
state=/var/lib/tarvek
programs=/usr/lib/tarvek
sealer=_tarvek-seal
keys=/var/lib/tarvek-seal
seal_unit=/lib/systemd/system/tarvek-seal.service
seal_wants=/etc/systemd/system/multi-user.target.wants/tarvek-seal.service

fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}
step() { echo "== [$((SECONDS - started)) s] $*"; }

bash scripts/install-deps.sh package-check

if dpkg-query -W -f='${Status}' tarvek 2>/dev/null | grep -q installed; then
    fail "tarvek is installed on this machine; this check installs and purges its own"
fi
getent passwd "$sealer" >/dev/null && fail "the user $sealer exists: this check makes and removes its own"
[[ -e $state ]] && fail "$state exists: it may hold an operator's set-up and data, which this check leaves alone"

deb=${1:-}
if [[ -z $deb || -d $deb ]]; then
    # A build tree given (the test command's, configured for /usr) is packaged
    # as it stands; otherwise a Release tree of the programs alone (no tests,
    # no benchmarks) is built here.
    build=${deb:-build-release}
    step "Release build and package in $build"
    if [[ -z $deb ]]; then
        cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTARVEK_TESTS=OFF -DTARVEK_BENCH=OFF >/dev/null
    fi
    cmake --build "$build" -j"$(nproc)"
    rm -f "$build"/tarvek_*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    deb=$(echo "$build"/tarvek_*.deb)
fi
[[ -f $deb ]] || fail "no package at $deb"

scratch=$(mktemp -d /tmp/tarvek-package-check.XXXXXX)
chmod 0755 "$scratch" # apt's download user reads the package from here
cp "$deb" "$scratch/"
deb_name=$(basename "$deb")
operator=tvkop$$
outsider=tvkout$$
running= # the process group start_group started

cleanup() {
    local status=$?
    set +eu
    [[ -n $running ]] && stop_group
    if dpkg-query -W -f='${Status}' tarvek 2>/dev/null | grep -q -v not-installed; then
        apt-get purge -y -q tarvek >/dev/null
    fi
    for user in "$operator" "$outsider"; do
        id "$user" >/dev/null 2>&1 && userdel --remove "$user" 2>/dev/null
    done
    getent passwd "$sealer" >/dev/null && deluser --quiet --system "$sealer" >/dev/null 2>&1
    rm -rf "$keys"
    rm -rf "$state" "$scratch" # the check made $state: it did not exist at the start
    echo "package check took $((SECONDS - started)) s"
    exit "$status"
}
trap cleanup EXIT

# Sets `command` to run "$@" (after USER) as USER, with a plain environment of
# their own; `as` runs it.
user_command() {
    local user=$1
    shift
    command=(runuser -u "$user" -- env -i HOME="/home/$user" PATH=/usr/bin:/bin LANG=C.UTF-8
        XDG_RUNTIME_DIR="/home/$user/runtime" "$@")
}
as() {
    user_command "$@"
    "${command[@]}"
}

# Starts a command in a process group of its own, so that it and its children
# (xvfb-run starts a server) are stopped together by stop_group.
start_group() {
    setsid "$@" &
    running=$!
}
stop_group() {
    kill -TERM -- "-$running"
    wait "$running" 2>/dev/null || true
    running=
}

step "lintian"
# From a folder nobody may enter: the checkout may sit where nobody cannot (/root).
(cd "$scratch" && setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp lintian --display-info \
    --fail-on error,warning "$scratch/$deb_name") || fail "lintian reports errors or warnings"

step "appstreamcli"
mkdir "$scratch/contents"
dpkg-deb -x "$deb" "$scratch/contents"
appstreamcli validate --no-net --pedantic --strict "$scratch"/contents/usr/share/metainfo/*.metainfo.xml ||
    fail "the AppStream metainfo does not validate"

step "apt-get install ./$deb_name"
(cd "$scratch" && apt-get install -y -q "./$deb_name" >/dev/null)

[[ $(readlink -f /usr/bin/tarvek) == "$programs/tarvek" ]] || fail "/usr/bin/tarvek does not lead to $programs"
for folder in settingfiles datafiles ports; do
    [[ $(readlink "$programs/$folder") == "$state/$folder" ]] || fail "$programs/$folder is not a link to $state"
    [[ $(stat -c '%U:%G %a' "$state/$folder") == "root:dialout 2775" ]] ||
        fail "$state/$folder is $(stat -c '%U:%G %a' "$state/$folder"), not root:dialout 2775"
done
for file in generalparameters.txt channelsparameters.txt alarmparameters.txt instrumentparameters.txt; do
    [[ $(stat -c '%G %a' "$state/settingfiles/$file") == "dialout 664" ]] ||
        fail "$file is $(stat -c '%G %a' "$state/settingfiles/$file"), not dialout 664"
done

step "users: $operator in dialout, $outsider not"
useradd --create-home --groups dialout --shell /bin/sh "$operator"
useradd --create-home --shell /bin/sh "$outsider"
for user in "$operator" "$outsider"; do
    install -d -o "$user" -m 0700 "/home/$user/runtime"
done

step "tarvek as $operator, through /usr/bin, under xvfb-run"
user_command "$operator" xvfb-run -a tarvek
start_group "${command[@]}" >"$scratch/tarvek.log" 2>&1
# It reads the general and channel set-up, then the acquisition status, which
# it creates: its appearance says the set-up has been read.
for _ in $(seq 300); do
    [[ -e $state/settingfiles/acquisitionstatus.txt ]] && break
    sleep 0.1
done
sleep 1 # a failure would be reported right after
stop_group
[[ -e $state/settingfiles/acquisitionstatus.txt ]] ||
    fail "tarvek did not read its set-up in $state (log: $(cat "$scratch/tarvek.log"))"
if grep -E 'settingfiles|datafiles' "$scratch/tarvek.log"; then
    fail "tarvek reported a set-up file it could not use"
fi
# Created by the operator's tarvek, writable for the rest of the group.
[[ $(stat -c '%U:%G %a' "$state/settingfiles/acquisitionstatus.txt") == "$operator:dialout 664" ]] ||
    fail "tarvek made acquisitionstatus.txt $(stat -c '%U:%G %a' "$state/settingfiles/acquisitionstatus.txt")"
# Its event log, begun with the program's start, is the group's as well.
events=$(find "$state/datafiles" -maxdepth 1 -name '*-Events.txt' | head -1)
[[ -n $events && $(stat -c '%U:%G %a' "$events") == "$operator:dialout 664" ]] ||
    fail "tarvek made no event log for the group (${events:-none})"

step "Save as $operator; the same as $outsider is refused"
# Save rewrites each changed 80-byte record in place: record 17 holds the
# storage rate code, here 2 (every minute).
general=$programs/settingfiles/generalparameters.txt
storage_rate() { dd if="$general" bs=80 skip=16 count=1 status=none | cut -c22; }
printf '%-21s%-56s*\r\n' 'Storage rate code' 3 | as "$outsider" dd of="$general" bs=80 seek=16 conv=notrunc \
    status=none 2>/dev/null && fail "$outsider could change the set-up"
printf '%-21s%-56s*\r\n' 'Storage rate code' 2 | as "$operator" dd of="$general" bs=80 seek=16 conv=notrunc \
    status=none || fail "$operator cannot save the set-up"
[[ $(storage_rate) == 2 && $(stat -c %s "$general") == 3200 ]] || fail "the saved set-up is not as written"

step "data files: $operator keeps them, $outsider cannot"
data=$programs/datafiles/03-2026-Data.txt
write_data_file() {
    printf 'Lastrecord;   %5d;' 1
    printf '%10s;%5s;' '' '' '' '' '' '' '' '' '' '' '' '' '' '' '' ''
    printf ' *\r\n01-03-2026;12:00:00;'
    printf '%9s ; Bar ;' +12.345 +0.500 -0.250 +1.000 +2.000 +3.000 -4.000 +5.000
    printf ' *\r\n'
}
write_data_file | as "$operator" dd of="$data" status=none || fail "$operator cannot write in datafiles"
[[ $(stat -c '%G %s' "$data") == "dialout 320" ]] || fail "the data file is $(stat -c '%G %s' "$data")"
as "$outsider" touch "$programs/datafiles/probe" 2>/dev/null && fail "$outsider could write in datafiles"
echo x | as "$outsider" dd of="$data" oflag=append conv=notrunc status=none 2>/dev/null &&
    fail "$outsider could change a data file"

step "tarvek-seal: its user in dialout, its service enabled, its folders; it seals as that user"
[[ $(id -nG "$sealer" 2>/dev/null | tr ' ' '\n' | sort | xargs) == "$sealer dialout" ]] ||
    fail "$sealer is not a user in its own group and dialout alone: $(id "$sealer" 2>&1)"
[[ $(getent passwd "$sealer" | cut -d: -f3) -lt 1000 ]] || fail "$sealer is no system user"
[[ -f $seal_unit && $(readlink -f "$seal_wants") == "$(readlink -f "$seal_unit")" ]] || fail "the sealer's service is not enabled"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$seal_unit" || fail "systemd-analyze verify $seal_unit"
fi
[[ $(stat -c '%U:%G %a' "$keys") == "$sealer:$sealer 700" ]] || fail "$keys is $(stat -c '%U:%G %a' "$keys")"
[[ $(stat -c '%U:%G %a' "$state/seals") == "$sealer:$sealer 755" ]] ||
    fail "$state/seals is $(stat -c '%U:%G %a' "$state/seals")"
# As its service runs it (where systemd does not run here, by hand).
start_group runuser -u "$sealer" -- tarvek-seal --data "$state/datafiles" --seals "$state/seals" --keys "$keys" \
    >"$scratch/seal.log" 2>&1
# The sealed copy is a month file too: its count record, then the record.
sealed=$state/seals/03-2026-Data.sealed
for _ in $(seq 100); do
    [[ $(stat -c %s "$sealed" 2>/dev/null) == 320 ]] && break
    sleep 0.1
done
stop_group
[[ $(stat -c '%U %a %s' "$sealed" 2>/dev/null) == "$sealer 644 320" ]] ||
    fail "tarvek-seal as $sealer sealed no record ($(stat -c '%U %a %s' "$sealed" 2>&1); log: $(cat "$scratch/seal.log"))"
# The month the check stored in (the sealer ran only now, so the months since
# hold no seals).
tarvek-verify --from 2026-03 --to 2026-03 "$state" >"$scratch/verify.log" || fail "tarvek-verify: $(cat "$scratch/verify.log")"
as "$operator" touch "$state/seals/probe" 2>/dev/null && fail "$operator could write in seals"
as "$operator" ls "$keys" >/dev/null 2>&1 && fail "$operator could read the sealer's key folder"

step "tarvek-instrument as $operator links its line in $state/ports"
user_command "$operator" tarvek-instrument --line 7
start_group "${command[@]}" >"$scratch/instrument.log" 2>&1
for _ in $(seq 100); do
    [[ -L $state/ports/COM7 ]] && break
    sleep 0.1
done
[[ -L $state/ports/COM7 ]] || fail "no link $state/ports/COM7 (log: $(cat "$scratch/instrument.log"))"
stop_group
[[ ! -L $state/ports/COM7 ]] || fail "tarvek-instrument left its link behind"

if command -v tarvek-view >/dev/null; then
    step "tarvek-view --csv as $operator"
    as "$operator" tarvek-view --csv "/home/$operator/export.csv" "$data" || fail "tarvek-view --csv failed"
    grep -q '^2026-03-01T12:00:00,12\.345,' "/home/$operator/export.csv" ||
        fail "the export lacks the stored record: $(cat "/home/$operator/export.csv")"
else
    step "tarvek-view is not in this package: no export to check"
fi

step "tarvek-publish: its service installed, not enabled; its settings a conffile; it runs without root"
unit=/lib/systemd/system/tarvek-publish.service
[[ -f $unit ]] || fail "no $unit"
[[ ! -e /etc/systemd/system/multi-user.target.wants/tarvek-publish.service ]] || fail "the service was enabled"
dpkg-query -W -f='${Conffiles}' tarvek | grep -q ' /etc/tarvek/publish.conf ' ||
    fail "/etc/tarvek/publish.conf is no conffile"
[[ $(stat -c '%U %a %s' /etc/tarvek/publish.password) == "root 600 0" ]] ||
    fail "/etc/tarvek/publish.password is $(stat -c '%U %a %s' /etc/tarvek/publish.password)"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" || fail "systemd-analyze verify $unit"
fi
# No broker listens on this port: --once gives up after its time-out, having
# read the data folder as a user outside dialout.
printf 'host = 127.0.0.1\nport = 9\ndata = %s/datafiles\nstate = /home/%s/state\nstart = all\n' "$state" "$outsider" |
    as "$outsider" dd of="/home/$outsider/publish.conf" status=none
status=0
as "$outsider" tarvek-publish --config "/home/$outsider/publish.conf" --once --timeout 1 2>"$scratch/publish.log" ||
    status=$?
[[ $status == 1 ]] && grep -q 'cannot reach the broker 127.0.0.1:9' "$scratch/publish.log" &&
    ! grep -q datafiles "$scratch/publish.log" ||
    fail "tarvek-publish --once without a broker: exit $status, $(cat "$scratch/publish.log")"

step "reinstall: the operator's set-up and data stay as they are"
inventory() { (cd "$state" && find . -exec stat -c '%n %U:%G %a %s' {} + | sort && find . -type f -exec md5sum {} + | sort); }
inventory >"$scratch/before"
(cd "$scratch" && apt-get install -y -q --reinstall "./$deb_name" >/dev/null)
inventory | diff "$scratch/before" - || fail "reinstalling changed files in $state"

step "reinstall after $operator planted links in settingfiles: root follows none of them"
# One set-up file becomes a dangling link to a path outside, the other a link
# to a file only root may read or write. Root must neither create the first,
# nor change or read the second, nor open, chown or chmod any name in the
# shared folders (publishing a file with link(2), which follows no link and
# fails where a name stands, is the one thing it does there).
outside=$scratch/outside
install -d -m 0755 "$outside"
printf 'root only\n' >"$outside/root-only"
chmod 0600 "$outside/root-only"
settings=$state/settingfiles
for file in generalparameters.txt channelsparameters.txt; do
    as "$operator" mv "$settings/$file" "$settings/$file.saved"
done
as "$operator" ln -s "$outside/created-by-root" "$settings/generalparameters.txt"
as "$operator" ln -s "$outside/root-only" "$settings/channelsparameters.txt"
outside_before=$(find "$outside" -exec stat -c '%n %U:%G %a %s %Y' {} + | sort; md5sum "$outside/root-only")
planted_before=$(inventory)
(cd "$scratch" && strace -f --seccomp-bpf -qq -o "$scratch/postinst.strace" \
    -e trace=open,openat,openat2,creat,truncate,chown,lchown,fchownat,chmod,fchmodat,unlink,unlinkat,rename,renameat,renameat2,symlink,symlinkat,mknod,mknodat \
    apt-get install -y -q --reinstall "./$deb_name" >/dev/null)
[[ $(find "$outside" -exec stat -c '%n %U:%G %a %s %Y' {} + | sort; md5sum "$outside/root-only") == "$outside_before" ]] ||
    fail "the reinstall created or changed files outside $state: $(ls -l "$outside")"
inventory | diff <(echo "$planted_before") - || fail "the reinstall changed files in $state"
if grep -E "\"$state/(settingfiles|datafiles)/" "$scratch/postinst.strace"; then
    fail "root used a name inside the shared folders while reinstalling"
fi
for file in generalparameters.txt channelsparameters.txt; do
    as "$operator" mv -T "$settings/$file.saved" "$settings/$file"
done

step "remove: set-up and data stay"
apt-get remove -y -q tarvek >/dev/null
[[ ! -e $programs ]] || fail "$programs is still there after removal"
inventory | diff "$scratch/before" - || fail "removal changed files in $state"

step "purge: only what is empty or as the default wrote it goes"
apt-get purge -y -q tarvek >/dev/null
[[ -f $state/datafiles/03-2026-Data.txt ]] || fail "purge deleted a data file"
[[ -f $state/settingfiles/generalparameters.txt ]] || fail "purge deleted the set-up the operator saved"
for gone in settingfiles/channelsparameters.txt settingfiles/alarmparameters.txt settingfiles/instrumentparameters.txt \
    settingfiles/acquisitionstatus.txt ports \
    default-setup.md5sums; do
    [[ ! -e $state/$gone ]] || fail "purge left $state/$gone, which held nothing of the operator's"
done

[[ ! -e /etc/tarvek ]] || fail "purge left /etc/tarvek: $(ls -A /etc/tarvek)"
[[ $(stat -c %U "$state/seals/03-2026-Seal.txt" "$state/seals" | sort -u) == root ]] ||
    fail "purge did not keep the seals as root's: $(ls -la "$state/seals")"
! getent passwd "$sealer" >/dev/null && ! getent group "$sealer" >/dev/null ||
    fail "purge left the user or group $sealer"
[[ ! -e $keys && ! -e $seal_wants && ! -e /var/lib/systemd/deb-systemd-helper-enabled/tarvek-seal.service.dsh-also ]] ||
    fail "purge left the sealer's key folder or its service's state"
echo "package check passed: $deb_name"
