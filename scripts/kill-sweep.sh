#!/usr/bin/env bash
# The client update killed at every point of the kill tests' table
# (Tests/Module/PackageUpdateKillTests.cpp, LAUNCHER_KILL_SWEEP=1): natively
# from the linux-asan build, and with --wine also the Windows build's under
# wine64. The test command runs a spread-out share of the points; this runs
# them all (a few minutes natively, a quarter of an hour more under Wine).
# Builds what is missing. Ends with one line per side:
#   "native: N kill points, N landed mid-update, N survived"
#   bash scripts/kill-sweep.sh [--wine]
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/lib/peers.sh
peers_start
wine=0
[ "${1:-}" = --wine ] && wine=1

# Sums the "[ KILLS    ] NAME: N kill points, N landed mid-update, N survived" lines of a log.
totals() {
    tr -d '\r' <"$2" | sed -n 's/^\[ KILLS    \] [A-Za-z]*: \([0-9]*\) kill points, \([0-9]*\) landed mid-update, \([0-9]*\) survived$/\1 \2 \3/p' |
        awk -v side="$1" '{t += $1; l += $2; s += $3} END {printf "%s: %d kill points, %d landed mid-update, %d survived\n", side, t, l, s}'
}

status=0
cmake --preset linux-asan >/dev/null &&
    cmake --build --preset linux-asan --target ModuleTests PackageUpdateChild publish devserver >"$peers_work/build-native.log" 2>&1 ||
    { tail -n 30 "$peers_work/build-native.log"; exit 1; }
LAUNCHER_KILL_SWEEP=1 bash scripts/lib/peers.sh run --servers build/linux-asan/bin/ModuleTests --gtest_color=no \
    --gtest_filter='Strategies/PackageUpdateKill.*' \
    >"$peers_work/native.log" 2>&1 || status=1
grep -E '^\[ KILLS|^\[  FAILED|Failure' "$peers_work/native.log" | head -n 60
native_totals=$(totals native "$peers_work/native.log")

if [ "$wine" -eq 1 ]; then
    if ! { cmake --preset windows-demo -DLAUNCHER_HOST_TOOLS_DIR= >/dev/null &&
        cmake --build --preset windows-demo --target ModuleTests PackageUpdateChild >"$peers_work/build-windows.log" 2>&1; }; then
        tail -n 30 "$peers_work/build-windows.log"
        exit 1
    fi
    # As the test command does for the Windows tests: the native dev server and
    # the client versions published by the native child into its folder.
    peers_downloads --wine && peers_wine && peers_display || exit 1
    LAUNCHER_KILL_SWEEP=1 /usr/lib/wine/wine64 build/windows-demo/bin/ModuleTests.exe --gtest_color=no \
        --gtest_filter='Strategies/PackageUpdateKill.*' >"$peers_work/wine.log" 2>&1 || status=1
    tr -d '\r' <"$peers_work/wine.log" | grep -E '^\[ KILLS|^\[  FAILED|Failure' | head -n 60
fi
echo "$native_totals"
[ "$wine" -eq 1 ] && totals wine64 "$peers_work/wine.log"
exit "$status"
