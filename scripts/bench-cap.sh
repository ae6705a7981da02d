#!/usr/bin/env bash
# The download cap's precision: CapTimer holds two transfers at once from nginx
# on loopback under a cap for 30 s, natively (libcurl; the linux build) and for
# the Windows build under wine64 (WinINet; windows-demo), and prints the rate
# reached beside the cap, over the whole time and after its first second.
#
#   bash scripts/bench-cap.sh [KIB...]      # 10240 and 1024 KiB/s by default
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
native=${CAP_NATIVE_DIR:-build/linux}/bin/CapTimer
exe=${CAP_WINDOWS_DIR:-build/windows-demo}/bin/CapTimer.exe
caps=("$@")
[ ${#caps[@]} -gt 0 ] || caps=(10240 1024)
PEERS_BIN=${PEERS_BIN:-build/linux/bin}
export PEERS_BIN
source scripts/lib/peers.sh
peers_downloads --servers
for cap in "${caps[@]}"; do
    if [ -x "$native" ]; then
        echo "native: $("$native" "$cap" 30 2)"
    else
        echo "no $native: build the target CapTimer of the linux preset"
    fi
done
[ -f "$exe" ] || { echo "no $exe: build the target CapTimer of the windows-demo preset"; exit 0; }
peers_wine --warm
for cap in "${caps[@]}"; do
    echo "wine64: $(/usr/lib/wine/wine64 "$exe" "$cap" 30 2)"
done
