#!/usr/bin/env bash
# Downloads at wire speed, measured side by side in one run: native curl -o of a
# 512 MiB file from nginx on loopback, the Windows build's DownloadFile (WinINet)
# under wine64 fetching the same file, and (when built) the native DownloadBench,
# which sets DownloadFile beside curl on its own nginx. Not a test: run by hand.
#   bash scripts/bench-download.sh [WINDOWS_BUILD_DIR] [NATIVE_BENCH_BUILD_DIR]
# Defaults: build/windows-demo and build/linux-bench; BENCH_ITERATIONS (3) runs of each.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
windows_dir=${1:-build/windows-demo}
native_dir=${2:-build/linux-bench}
iterations=${BENCH_ITERATIONS:-3}
name=bench-512m.bin

work=$(mktemp -d /tmp/launcher-download-bench.XXXXXX)
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/nginx"
chmod 755 "$work" "$work/www"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -e "s|@PREFIX@|$work/nginx|g" -e "s|@ROOT@|$work/www|g" -e "s|@PORT@|$port|g" \
    Tests/Support/nginx.conf.in >"$work/nginx/nginx.conf"
/usr/sbin/nginx -p "$work/nginx/" -c "$work/nginx/nginx.conf" 2>"$work/nginx/stderr.log" &
nginx_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
head -c $((512 << 20)) /dev/urandom >"$work/www/$name"
size=$(stat -c %s "$work/www/$name")

echo "machine: $(nproc) cores; file: $size bytes from nginx on 127.0.0.1"
# Each side starts with nothing left to write back from the one before it.
sync

best_curl=0
for _ in $(seq "$iterations"); do
    start=$(date +%s.%N)
    curl -s -o "$work/curl-$name" "http://127.0.0.1:$port/$name"
    end=$(date +%s.%N)
    rm -f "$work/curl-$name"
    rate=$(python3 -c "print(f'{$size / 1e6 / ($end - $start):.1f}')")
    echo "curl -o (native) $rate MB/s"
    best_curl=$(python3 -c "print(max($best_curl, $rate))")
done

exe="$windows_dir/bin/WindowsDownloadBench.exe"
if [ -f "$exe" ]; then
    prefix=$(mktemp -d /tmp/launcher-download-bench-wine.XXXXXX)
    # A fresh prefix is set up by processes that run on after the first program
    # starts; set it up first so that they do not share the timed runs' cores.
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
    sync
    best_wine=$(LAUNCHER_TEST_NGINX="127.0.0.1:$port" LAUNCHER_TEST_NGINX_ROOT="$work/www" \
        WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        /usr/lib/wine/wine64 "$exe" "$name" "$iterations" | tee /dev/stderr | sed -n 's/^best \([0-9.]*\) MB\/s.*/\1/p')
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
    rm -rf "$prefix"
    echo "Windows build under wine64: best $best_wine MB/s, curl -o best $best_curl MB/s," \
        "ratio $(python3 -c "print(f'{$best_wine / $best_curl:.2f}')")"
else
    echo "no $exe: build the target WindowsDownloadBench of the windows-demo preset for the Wine figure"
fi

if [ -x "$native_dir/bin/DownloadBench" ]; then
    sync
    "$native_dir/bin/DownloadBench" --benchmark_counters_tabular=true
else
    echo "no $native_dir/bin/DownloadBench: build it with the linux-bench preset for the native figure"
fi
