#!/usr/bin/env bash
# The libFuzzer targets (preset linux-fuzz, clang, ASan + UBSan), each from a copy
# of its seed corpus in Tests/Fuzz/Corpus/<target>.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 600); every target when none is named. Builds what
# it runs, then prints per target its runs, corpus size and coverage reached
# (libFuzzer's last cov: and ft: figures). A crash, a sanitizer report, a broken
# property or a hang is a failure: the input is kept as <logs>/<target>-crash-…
# and the exit status is 1. FUZZ_LOGS=DIR picks the logs folder (default
# build/fuzz-logs).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1

all=(FuzzLzma86 FuzzResPack FuzzManifest FuzzChunkIndex FuzzVerifiedState FuzzVersionFile FuzzCommandLine FuzzAutoLogin FuzzUrl FuzzSkinDocument
    FuzzFormat)
seconds=${1:-600}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]   (targets: ${all[*]})" >&2
    exit 2
fi
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for target in "${targets[@]}"; do
    if ! [ -d "Tests/Fuzz/Corpus/$target" ]; then
        echo "fuzz.sh: unknown target $target (targets: ${all[*]})" >&2
        exit 2
    fi
done

logs=${FUZZ_LOGS:-$root/build/fuzz-logs}
mkdir -p "$logs"
echo "== build linux-fuzz (${targets[*]})"
if ! cmake --preset linux-fuzz >"$logs/configure.log" 2>&1; then
    tail -n 30 "$logs/configure.log"
    exit 1
fi
if ! cmake --build build/linux-fuzz -j2 --target "${targets[@]}" >"$logs/build.log" 2>&1; then
    grep -E 'error|FAILED' "$logs/build.log" | head -n 40
    exit 1
fi

work=$(mktemp -d /tmp/launcher-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
summary=()
for target in "${targets[@]}"; do
    log="$logs/$target.log"
    mkdir -p "$work/$target" "$work/run"
    cp Tests/Fuzz/Corpus/"$target"/* "$work/$target/"
    echo "== run $target ($seconds s)"
    # The limits keep a slow or hungry input a finding rather than a stuck run.
    (cd "$work/run" && timeout $((seconds + 120)) "$root/build/linux-fuzz/bin/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$logs/$target-" "$work/$target") >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    files=$(find "$work/$target" -type f | wc -l)
    bytes=$(find "$work/$target" -type f -printf '%s\n' | awk '{ total += $1 } END { print total + 0 }')
    if [ "$rc" -eq 0 ]; then
        result=clean
    else
        result="FAILED (exit $rc, see $log)"
        failed=1
        grep -E 'ERROR|SUMMARY|Property broken|Test unit written' "$log" | head -n 10
    fi
    summary+=("$(printf '%-17s %-8s runs %-10s corpus %4s files %8s bytes  %s' "$target" "$result" \
        "${runs:-?}" "$files" "$bytes" "${coverage:-cov: ? ft: ?}")")
done

echo "== fuzz summary ($seconds s each)"
printf '%s\n' "${summary[@]}"
exit "$failed"
