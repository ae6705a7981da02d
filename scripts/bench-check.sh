#!/usr/bin/env bash
# What a login costs the client update when the client is installed already, and
# what its first install costs, natively (UpdateTimer of the Release build) and for
# the Windows build under wine64 (UpdateTimer.exe) side by side, on two clients
# published (native publish) and served by nginx on loopback: many small files, and
# the large-file client of the update benchmarks. Not a test: run by hand, or
# --tiny once in CI (scripts/bench.sh).
#   bash scripts/bench-check.sh [--tiny] [WINDOWS_BUILD_DIR] [NATIVE_BUILD_DIR]
# Defaults: build/windows-demo and build/linux-bench; 50,000 small files (about
# 70 MB) and the client of about 1 GiB (published at --level 0, which changes
# nothing in a check; some 4.5 GB of /tmp while it runs); --tiny: 300 small files
# and the 2 MiB shape. For each client, lines:
#   "<side> install S s"                           the full way into empty folders
#   "<side> check (every file read) S s"           every file read and summed, as
#                                                  the manifest's check does it
#   "<side> check (update thread) S s, B bytes read"  the update thread run again on
#                                                  the installed client, and what its
#                                                  process read meanwhile (rchar)
#   "<side> check (update thread, verify) S s, B bytes read"  the same asked to
#                                                  read every file (the verify option)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/lib/peers.sh
source scripts/lib/update-timer.sh
peers_start
small=(--files 50000)
large=()
level=(--level 0)
if [ "${1:-}" = --tiny ]; then
    small=(--files 300)
    large=(--tiny)
    shift
fi
update_timer_programs "${1:-build/windows-demo}" "${2:-build/linux-bench}" || exit 1
www=$peers_work/www
peers_nginx "$www" || exit 1
[ -f "$exe" ] && peers_wine --warm

# rchar PID: what the process has read so far (every read call, cache or disk).
rchar() {
    sed -n 's/^rchar: //p' "/proc/$1/io"
}

# timed_update COMMAND...: the update thread once, as "S B": its seconds and what
# its process read meanwhile, taken from outside while the program waits (under
# Wine the wine process is the program's; its own /proc/self would be the
# wineserver's, which opens its files).
timed_update() {
    local line before after seconds
    coproc UPDATE { exec "$@" --wait; }
    # Windows programs end their lines with CR LF.
    read -r line <&"${UPDATE[0]}" && [ "${line%$'\r'}" = "update waits" ] || { echo "no update: $line" >&2; return 1; }
    before=$(rchar "$UPDATE_PID")
    echo >&"${UPDATE[1]}"
    read -r line <&"${UPDATE[0]}"
    after=$(rchar "$UPDATE_PID")
    echo >&"${UPDATE[1]}"
    read -r line <&"${UPDATE[0]}"
    wait "$UPDATE_PID" || true
    seconds=$(sed -n 's/^update seconds \([0-9.]*\) result 0\r*$/\1/p' <<<"$line")
    [ -n "$seconds" ] || { echo "the update failed: $line" >&2; return 1; }
    echo "$seconds $((after - before))"
}

# side NAME COMMAND...: the three figures of one side on the client published as
# $version, COMMAND being its UpdateTimer.
side() {
    local name=$1 line figures
    shift
    local publish=$peers_work/publish download=$peers_work/download
    rm -rf "$publish" "$download"
    mkdir -p "$publish" "$download"
    local update=("$@" update "http://127.0.0.1:$nginx_port/" "Startup$version.pkg" "Startup$version.crc"
        "$publish" "$download")
    figures=$(timed_update "${update[@]}") || { echo "$name: the install failed"; return 1; }
    echo "$name install ${figures% *} s"
    line=$("$@" check "$www/Startup$version.crc" "$publish" 1 | tr -d '\r')
    figures=$(sed -n 's/^check seconds \([0-9.]*\) .* wrong 0$/\1/p' <<<"$line")
    [ -n "$figures" ] || { echo "$name: the check found the installed client wrong: $line"; return 1; }
    echo "$name check (every file read) $figures s"
    figures=$(timed_update "${update[@]}") || { echo "$name: the update thread's second run failed"; return 1; }
    echo "$name check (update thread) ${figures% *} s, ${figures#* } bytes read"
    figures=$(timed_update "${update[@]}" --verify) || { echo "$name: the update thread's verify run failed"; return 1; }
    echo "$name check (update thread, verify) ${figures% *} s, ${figures#* } bytes read"
}

# shape TITLE VERSION CLIENT_OPTIONS... -- PUBLISH_OPTIONS...: one client, both sides.
shape() {
    local title=$1
    version=$2
    shift 2
    local options=() client=$peers_work/client
    while [ "$1" != -- ]; do options+=("$1") && shift; done
    shift
    rm -rf "$client"
    "$native" client "$client" "${options[@]}" >/dev/null
    "$publisher" client --source "$client" --version "$version" --out "$www" "$@" >/dev/null
    echo
    echo "$title: $(find "$client" -type f | wc -l) files, $(find "$client" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }') bytes," \
        "package $(stat -c %s "$www/Startup$version.pkg") bytes; machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    rm -rf "$client"
    side native "$native"
    [ -f "$exe" ] && side wine64 /usr/lib/wine/wine64 "$exe"
    rm -f "$www/Startup$version".*
}

shape "small files" SMALL "${small[@]}" --
shape "large files" LARGE "${large[@]}" -- "${level[@]}"
