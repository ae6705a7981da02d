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
peers_start
work=$peers_work
tiny=()
mebibytes=256
if [ "${1:-}" = --tiny ]; then
    tiny=(--tiny)
    mebibytes=4
    shift
fi
windows_dir=${1:-build/windows-demo}
native_dir=${2:-build/linux-bench}
native="$native_dir/bin/UpdateTimer"
for program in "$native" "$native_dir/bin/publish"; do
    [ -x "$program" ] || { echo "no $program: build the targets UpdateTimer and publish of the linux-bench preset"; exit 1; }
done

"$native" client "$work/client" "${tiny[@]}" >/dev/null
"$native_dir/bin/publish" client --source "$work/client" --version BENCH --out "$work/www" >/dev/null
"$native" older "$work/www/StartupBENCH.crc" "$work/www/StartupBENCH-32bit.crc"
peers_nginx "$work/www" || exit 1
port=$nginx_port
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); client: $(du -sb "$work/client" | cut -f1) bytes, package $(stat -c %s "$work/www/StartupBENCH.pkg") bytes"

# side NAME COMMAND...: every figure of one side, COMMAND being its UpdateTimer.
side() {
    local name=$1 line manifest
    shift
    # Windows programs end their lines with CR LF.
    "$@" hash "$mebibytes" | tr -d '\r' | sed "s/^/$name /"
    local check=() update=()
    for manifest in StartupBENCH-32bit.crc StartupBENCH.crc; do
        check+=("$("$@" check "$work/www/$manifest" "$work/client" 3 | tr -d '\r' | awk '{print $3}' | sort -g |
            head -n 1)")
        rm -rf "$work/publish" "$work/download"
        mkdir -p "$work/publish" "$work/download"
        line=$("$@" update "http://127.0.0.1:$port/" StartupBENCH.pkg "$manifest" "$work/publish" "$work/download" |
            tr -d '\r')
        update+=("$(sed -n 's/^update seconds \([0-9.]*\) result 0$/\1/p' <<<"$line")")
    done
    python3 - "$name" "$(du -sb "$work/client" | cut -f1)" "${check[@]}" "${update[@]}" <<'PYTHON'
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

exe="$windows_dir/bin/UpdateTimer.exe"
if [ -f "$exe" ]; then
    peers_wine
    # Set the prefix up first, so that its start-up does not share the timed runs' cores.
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    /usr/lib/wine/wineserver -p
    side wine64 /usr/lib/wine/wine64 "$exe"
else
    echo "no $exe: build the target UpdateTimer of the windows-demo preset for the Wine figures"
fi
