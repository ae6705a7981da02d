#!/usr/bin/env bash
# Downloads at wire speed, run by run beside native curl -o of the same file
# from nginx on loopback: DownloadFile natively (DownloadTimer of the Release
# build) and the Windows build's DownloadFile (WinINet) under wine64
# (DownloadTimer.exe). Each run of a side comes right after a curl -o run, so
# both meet the same load. Not a test: run by hand, or --tiny once in CI.
#   bash scripts/bench-download.sh [--tiny] [WINDOWS_BUILD_DIR] [NATIVE_BUILD_DIR]
# Defaults: build/windows-demo and build/linux-bench; a 512 MiB file and
# BENCH_ITERATIONS (5) runs of each side; --tiny: a 4 MiB file, one run.
# Lines: "<what>: <seconds> s (<MB/s>), curl -o <seconds> s, ratio <x>", the
# ratio being curl's time over the side's (above 1: faster than curl); with
# several runs also the best and the median of the runs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/lib/peers.sh
peers_start
megabytes=512
iterations=${BENCH_ITERATIONS:-5}
if [ "${1:-}" = --tiny ]; then
    megabytes=4
    iterations=1
    shift
fi
windows_dir=${1:-build/windows-demo}
native_dir=${2:-build/linux-bench}
name=bench-${megabytes}m.bin

peers_nginx "$peers_work/www" || exit 1
head -c $((megabytes << 20)) /dev/urandom >"$peers_work/www/$name"
size=$(stat -c %s "$peers_work/www/$name")
export LAUNCHER_TEST_NGINX="127.0.0.1:$nginx_port" LAUNCHER_TEST_NGINX_ROOT="$peers_work/www"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); file: $size bytes from nginx on 127.0.0.1"

# Seconds of one curl -o of the file.
curl_once() {
    sync
    local start end
    start=$(date +%s.%N)
    curl -s -o "$peers_work/curl-$name" "http://127.0.0.1:$nginx_port/$name"
    end=$(date +%s.%N)
    rm -f "$peers_work/curl-$name"
    python3 -c "print(f'{$end - $start:.4f}')"
}

# compare WHAT COMMAND...: runs COMMAND (a DownloadTimer printing "seconds S")
# once per iteration, each after a curl -o, and prints the lines.
compare() {
    local what=$1
    shift
    local ours=() theirs=() seconds curl_seconds
    for i in $(seq "$iterations"); do
        curl_seconds=$(curl_once)
        sync
        seconds=$("$@" "$name" 1 | sed -n 's/^seconds //p') || true
        if [ -z "$seconds" ]; then
            echo "$what: the download failed"
            return 1
        fi
        ours+=("$seconds")
        theirs+=("$curl_seconds")
        python3 - "$what" "$size" "$seconds" "$curl_seconds" "$i" "$iterations" <<'EOF'
import sys
what, size, ours, theirs, run, runs = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5], int(sys.argv[6])
label = what if runs == 1 else f"{what} run {run}"
print(f"{label}: {ours:.3f} s ({size / 1e6 / ours:.1f} MB/s), curl -o {theirs:.3f} s, ratio {theirs / ours:.2f}")
EOF
    done
    if [ "$iterations" -gt 1 ]; then
        python3 - "$what" "$size" "${ours[*]}" "${theirs[*]}" <<'EOF'
import statistics, sys
what, size = sys.argv[1], int(sys.argv[2])
ours = [float(x) for x in sys.argv[3].split()]
theirs = [float(x) for x in sys.argv[4].split()]
for label, pick in (("best", min), ("median", statistics.median)):
    a, b = pick(ours), pick(theirs)
    print(f"{what} {label}: {a:.3f} s ({size / 1e6 / a:.1f} MB/s), curl -o {b:.3f} s, ratio {b / a:.2f}")
EOF
    fi
}

native="$native_dir/bin/DownloadTimer"
if [ -x "$native" ]; then
    compare "native DownloadFile" "$native"
else
    echo "no $native: build the target DownloadTimer of the linux-bench preset for the native figures"
fi

exe="$windows_dir/bin/DownloadTimer.exe"
if [ -f "$exe" ]; then
    peers_wine --warm
    compare "wine64 DownloadFile" /usr/lib/wine/wine64 "$exe"
else
    echo "no $exe: build the target DownloadTimer of the windows-demo preset for the Wine figures"
fi
