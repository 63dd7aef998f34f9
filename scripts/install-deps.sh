#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing TARVEK needs,
# skipping those already present. Needs root (or sudo) only when something is
# missing; without either it names what is missing and fails.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

# locales: the tests compile a decimal-comma locale to prove "." stays the separator.
# strace: the power-cut test replays the file operations it records.
# tzdata: the viewer's tests read a zone with daylight saving time.
# mosquitto, mosquitto-clients, openssl: the publisher's tests and bench run a real broker on 127.0.0.1.
# dbus: the alarm tests run a private session bus for the desktop notifications.
# msmtp, python3-aiosmtpd: the notification tests send a mail to a local SMTP server.
# libsodium-dev: the sealer's SHA-256 and Ed25519 (openssl checks a seal line in the tests).
# python3-pymodbus: Modbus RTU devices nobody here wrote, for the logger's Modbus test.
# Arguments add packages; two words name what the checks beyond the suite need
# (file: what CPack uses to find the binaries for dpkg-shlibdeps).
extra=()
for word in "$@"; do
    case $word in
    package-check) extra+=(file lintian appstream xvfb xauth) ;;
    fuzz) extra+=(clang libclang-rt-14-dev) ;;
    *) extra+=("$word") ;;
    esac
done
packages=(build-essential cmake pkg-config qt6-base-dev libgtest-dev locales tzdata strace
          libmosquitto-dev mosquitto mosquitto-clients openssl dbus msmtp python3-aiosmtpd python3-pymodbus
          libsodium-dev "${extra[@]}")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root=()
    if ((EUID != 0)); then
        if ! command -v sudo >/dev/null; then
            echo "install-deps.sh: not root and no sudo; as root: apt-get install ${missing[*]}" >&2
            exit 1
        fi
        as_root=(sudo DEBIAN_FRONTEND=noninteractive)
    fi
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
