#!/usr/bin/env bash
# What the manifest's SHA-256 sums cost the client update, natively (UpdateTimer of
# the Release build) and for the Windows build under wine64 (UpdateTimer.exe), on
# one client served by nginx on loopback: SHA-256 in memory beside the system's
# library (OpenSSL natively, CNG on Windows), the up-to-date check of the whole
# client and the full way into empty folders, each under the published manifest
# and under the same manifest without its sha256 attributes (the check as it was
# before them). Not a test: run by hand, or --tiny once in CI (scripts/bench.sh).
#   bash scripts/bench-update.sh [--tiny] [WINDOWS_BUILD_DIR] [NATIVE_BUILD_DIR]
# Defaults: build/windows-demo and build/linux-bench; PackageUpdateBench's client of
# about 1 GiB (some 3.5 GB of /tmp while it runs), --tiny its 2 MiB shape. Lines:
#   "<side> sha256 <which> MB/s R"
#   "<side> check: 32-bit sums S s (R MB/s), with SHA-256 S s (R MB/s), ratio X"  (best of 3)
#   "<side> full update: 32-bit sums S s, with SHA-256 S s, ratio X"
# A ratio is the time with SHA-256 over the time without (above 1: slower).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/lib/peers.sh
source scripts/lib/update-timer.sh
peers_start
tiny=()
mebibytes=256
if [ "${1:-}" = --tiny ]; then
    tiny=(--tiny)
    mebibytes=4
    shift
fi
update_timer_programs "${1:-build/windows-demo}" "${2:-build/linux-bench}" || exit 1

"$native" client "$peers_work/client" "${tiny[@]}" >/dev/null
"$publisher" client --source "$peers_work/client" --version BENCH --out "$peers_work/www" >/dev/null
"$native" older "$peers_work/www/StartupBENCH.crc" "$peers_work/www/StartupBENCH-32bit.crc"
peers_nginx "$peers_work/www" || exit 1
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); client: $(du -sb "$peers_work/client" | cut -f1) bytes, package $(stat -c %s "$peers_work/www/StartupBENCH.pkg") bytes"

# side NAME COMMAND...: every figure of one side, COMMAND being its UpdateTimer.
side() {
    local name=$1 line manifest
    shift
    # Windows programs end their lines with CR LF.
    "$@" hash "$mebibytes" | tr -d '\r' | sed "s/^/$name /"
    local check=() update=()
    for manifest in StartupBENCH-32bit.crc StartupBENCH.crc; do
        check+=("$("$@" check "$peers_work/www/$manifest" "$peers_work/client" 3 | tr -d '\r' | awk '{print $3}' | sort -g |
            head -n 1)")
        rm -rf "$peers_work/publish" "$peers_work/download"
        mkdir -p "$peers_work/publish" "$peers_work/download"
        line=$("$@" update "http://127.0.0.1:$nginx_port/" StartupBENCH.pkg "$manifest" "$peers_work/publish" "$peers_work/download" |
            tr -d '\r')
        update+=("$(sed -n 's/^update seconds \([0-9.]*\) result 0$/\1/p' <<<"$line")")
    done
    python3 - "$name" "$(du -sb "$peers_work/client" | cut -f1)" "${check[@]}" "${update[@]}" <<'PYTHON'
import sys
name, size = sys.argv[1], int(sys.argv[2])
checks, updates = sys.argv[3:5], sys.argv[5:7]
if "" in checks or "" in updates:
    print(f"{name}: a check or an update failed")
    sys.exit(1)
old, new = float(checks[0]), float(checks[1])
print(f"{name} check: 32-bit sums {old:.3f} s ({size / 1e6 / old:.0f} MB/s), with SHA-256 {new:.3f} s "
      f"({size / 1e6 / new:.0f} MB/s), ratio {new / old:.2f}")
old, new = float(updates[0]), float(updates[1])
print(f"{name} full update: 32-bit sums {old:.2f} s, with SHA-256 {new:.2f} s, ratio {new / old:.2f}")
PYTHON
}

side native "$native"

if [ -f "$exe" ]; then
    peers_wine --warm
    side wine64 /usr/lib/wine/wine64 "$exe"
fi
