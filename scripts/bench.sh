#!/usr/bin/env bash
# Every benchmark, each figure beside its baseline and the ratio of the two.
#   bash scripts/bench.sh          the Release build (preset linux-bench, built here),
#                                  full-size inputs: a few minutes
#   bash scripts/bench.sh --full   the same, plus the 1 GiB client (its publish, check
#                                  and full update): about ten minutes more, 3.5 GB of /tmp
#   bash scripts/bench.sh --tiny   each benchmark once on a tiny input, in seconds, so the
#                                  test command keeps them working; the figures mean nothing
# --tiny runs the binaries of build/linux-asan when they are all there (the test command
# has just built them) and builds linux-bench otherwise. BENCH_BUILD=DIR picks the
# build folder for either mode. Exits non-zero when a benchmark fails.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1

mode=normal
for argument in "$@"; do
    case "$argument" in
    --tiny) mode=tiny ;;
    --full) mode=full ;;
    *)
        echo "usage: bash scripts/bench.sh [--tiny | --full]" >&2
        exit 2
        ;;
    esac
done
tiny=()
[ "$mode" = tiny ] && tiny=(--tiny)

targets=(ChecksumBenchmarks Lzma86Benchmarks ChunkBenchmarks DownloadTimer PackageUpdateBench PublishBench UpdateTimer publish devserver
    PackageUpdateChild)
# Built with every native build once its source is in the tree.
[ -f Tests/Benchmarks/UnpackBench.cpp ] && targets+=(UnpackBench)

have_all() {
    local target
    for target in "${targets[@]}"; do
        [ -x "$1/bin/$target" ] || return 1
    done
}

if [ -n "${BENCH_BUILD:-}" ]; then
    build=$BENCH_BUILD
elif [ "$mode" = tiny ] && have_all build/linux-asan; then
    build=build/linux-asan
else
    build=build/linux-bench
    echo "== build linux-bench (${targets[*]})"
    log=$(mktemp /tmp/bench-build.XXXXXX)
    if ! { cmake --preset linux-bench && cmake --build --preset linux-bench --target "${targets[@]}"; } >"$log" 2>&1; then
        grep -E 'error|FAILED' "$log" | head -n 40
        echo "bench: the build failed; see $log"
        exit 1
    fi
    rm -f "$log"
fi
bin=$build/bin
# bench-download.sh may take its programs from the same build.
export BENCH_BUILD=$build
have_all "$build" || { echo "bench: $bin lacks some of: ${targets[*]}"; exit 1; }

failures=()
# step NAME COMMAND...: runs one benchmark, its output shown as it comes.
step() {
    local name=$1 rc start=$SECONDS
    shift
    echo
    echo "== $name"
    "$@"
    rc=$?
    echo "($name: $((SECONDS - start)) s)"
    [ "$rc" -eq 0 ] || { failures+=("$name (exit $rc)"); echo "FAILED: $name (exit $rc)"; }
}

# google_bench PROGRAM CASE=BASELINE...: a Google Benchmark program as "figure,
# baseline, ratio" lines, each case's throughput beside its baseline case's.
google_bench() {
    local program=$1 csv errors
    shift
    local flags=()
    if [ "$mode" = tiny ]; then
        # One pass over the tiny input per case; LAUNCHER_BENCH_TINY shrinks the input.
        flags=(--benchmark_min_time=0.001)
        export LAUNCHER_BENCH_TINY=1
    fi
    # Its standard error holds the machine description, shown only with a failure
    # (a sanitizer report, say).
    errors=$(mktemp /tmp/bench-errors.XXXXXX)
    csv=$("$bin/$program" --benchmark_format=csv "${flags[@]}" 2>"$errors")
    local rc=$?
    unset LAUNCHER_BENCH_TINY
    [ "$rc" -eq 0 ] || tail -n 40 "$errors"
    rm -f "$errors"
    awk -F, -v pairs="$*" '
        /^name,/ { for (i = 1; i <= NF; ++i) column[$i] = i; next }
        column["name"] {
            name = $column["name"]; gsub(/"/, "", name)
            if ($column["error_occurred"] == "true") { failed[name] = 1; next }
            rate[name] = $column["bytes_per_second"] / 1e6
        }
        END {
            count = split(pairs, list, " ")
            for (k = 1; k <= count; ++k) {
                split(list[k], pair, "=")
                figure = pair[1]; base = pair[2]
                if (!(figure in rate)) { printf "%s: no result%s\n", figure, (figure in failed) ? " (skipped with an error)" : ""; bad = 1; continue }
                if (!(base in rate)) { printf "%s: %.0f MB/s, %s: no result\n", figure, rate[figure], base; bad = 1; continue }
                printf "%s: %.0f MB/s, %s %.0f MB/s, ratio %.2fx\n", figure, rate[figure], base, rate[base], rate[figure] / rate[base]
            }
            exit bad
        }' <<<"$csv" || rc=1
    return "$rc"
}

echo "bench: $mode run from $bin on $(nproc) cores (MB = 10^6 bytes; a ratio above 1 is faster than the baseline for throughput, below 1 for time)"

# 1. Downloads beside curl -o, natively and of the Windows build under wine64.
if [ -f scripts/bench-download.sh ]; then
    step "download beside curl -o" bash scripts/bench-download.sh "${tiny[@]}" build/windows-demo "$build"
else
    echo
    echo "== download beside curl -o"
    echo "download: scripts/bench-download.sh missing"
fi

# 2. The checksums beside a plain read of the same memory, and our LZMA decoder
#    beside liblzma on the same stream.
step "checksums beside a plain read of memory" google_bench ChecksumBenchmarks \
    Crc32cHardwarePath=MemoryRead Crc32cSoftwarePath=MemoryRead Xxh32Hash=MemoryRead \
    Sha256OpenSsl=MemoryRead Sha256BuiltInShaNi=Sha256OpenSsl Sha256BuiltInPlain=Sha256OpenSsl
step "DecodeLzma86 beside liblzma" google_bench Lzma86Benchmarks \
    Ours/Text=Liblzma/Text Ours/CodeWithX86Filter=Liblzma/CodeWithX86Filter
step "content-defined cut and the chunks' SHA-256 (one core)" google_bench ChunkBenchmarks \
    CutRandom/65536=Sha256OfChunks CutText/65536=Sha256OfChunks CutAndSha256=Sha256OfChunks

# 3. VerifyFile of an installed client beside cat of the same files. --full runs
#    the whole PackageUpdateBench instead: the 1 GiB client's publish time and the
#    publisher's peak memory, the same check against the published manifest, and a
#    full update from the dev server with its time and peak memory. --tiny runs that
#    whole way on a small client.
#    The dev server comes from scripts/lib/peers.sh.
peers=(env PEERS_BIN="$bin" bash scripts/lib/peers.sh run --servers "$bin/PackageUpdateBench")
case "$mode" in
tiny) step "package update of a small client (publish, VerifyFile beside cat, update)" "${peers[@]}" --tiny ;;
full) step "1 GiB client: publish, VerifyFile beside cat, full update" "${peers[@]}" ;;
*) step "VerifyFile beside cat (1 GiB client, warm cache)" "${peers[@]}" --verify-only ;;
esac

# 4. What the manifest's SHA-256 sums cost: SHA-256 beside the system's library, the
#    up-to-date check and the full update with and without them, natively and of the
#    Windows build under wine64.
step "SHA-256 sums: check and full update, native and wine64" bash scripts/bench-update.sh "${tiny[@]}" \
    build/windows-demo "$build"

# 4b. A login's check of an installed client and a first install, natively and of
#    the Windows build under wine64: 50,000 small files and the large-file client
#    (--tiny: 300 small files and the 2 MiB shape).
step "check and install of small and large files, native and wine64" bash scripts/bench-check.sh "${tiny[@]}" \
    build/windows-demo "$build"

# 5. The write phase of the update on one and on two decoder threads, and its peak memory.
if [ -x "$bin/UnpackBench" ]; then
    step "write phase, 1 and 2 decoders" "$bin/UnpackBench" "${tiny[@]}"
else
    echo
    echo "== write phase, 1 and 2 decoders"
    echo "write phase: $bin/UnpackBench missing"
fi

# 6. The publisher beside tar | xz at the same level.
step "publish client beside tar | xz" "$bin/PublishBench" "${tiny[@]}"

# 7. The chunked update beside the partial and the full way: bytes on the wire and
#    wall time from A to B, B editing records of an archive in regions or scattered,
#    adding a file, or changing nothing. A client of 256 MiB; --full the 1 GiB one.
case "$mode" in
tiny) chunk_size=(--tiny) ;;
full) chunk_size=(--mib 1024) ;;
*) chunk_size=(--mib 256) ;;
esac
step "chunked update beside the partial and the full way" bash scripts/bench-chunks.sh "${chunk_size[@]}" "$build"

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "bench: ${#failures[@]} failed:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "bench: all done"
