#!/usr/bin/env bash
# The one test command: installs what is missing, builds the native tests with
# AddressSanitizer + UndefinedBehaviorSanitizer and the Windows build with
# MinGW-w64, runs every test (the Windows ones under wine64 in a fresh prefix,
# with a virtual display) and ends with one line "N passed, N failed". Exits non-zero on any failure.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
logs="$root/build/test-logs"
mkdir -p "$logs"

passed=0
failed=0
problems=()

fail_stage() {
    failed=$((failed + 1))
    problems+=("$1")
    echo "FAILED: $1"
}

bash scripts/bootstrap.sh || { echo "0 passed, 1 failed"; exit 1; }

build_preset() {
    local preset=$1
    echo "== build $preset"
    if ! cmake --preset "$preset" >"$logs/configure-$preset.log" 2>&1; then
        tail -n 30 "$logs/configure-$preset.log"
        return 1
    fi
    if ! cmake --build --preset "$preset" >"$logs/build-$preset.log" 2>&1; then
        grep -E 'error|FAILED' "$logs/build-$preset.log" | head -n 40
        return 1
    fi
}

# Adds one gtest run's counts to the totals; a run without a summary (a crash,
# a sanitizer abort) counts as one failure.
count_gtest() {
    local name=$1 log=$2 rc=$3
    local ok bad
    ok=$(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' | tail -n 1)
    bad=$(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:.*/\1/p' | tail -n 1)
    if [ -z "$ok" ] && [ -z "$bad" ]; then
        fail_stage "$name ended without a result (exit $rc); see $log"
        tail -n 30 "$log"
        return
    fi
    ok=${ok:-0}
    bad=${bad:-0}
    passed=$((passed + ok))
    failed=$((failed + bad))
    echo "$name: $ok passed, $bad failed"
    if [ "$bad" -gt 0 ]; then
        tr -d '\r' <"$log" | grep -E '^\[  FAILED  \] [A-Za-z_]' | sort -u
        problems+=("$name")
    elif [ "$rc" -ne 0 ]; then
        fail_stage "$name exited with $rc after its tests (sanitizer report?); see $log"
        tail -n 30 "$log"
    fi
}

run_native() {
    local preset=$1 exe rc
    for exe in build/"$preset"/bin/*Tests; do
        [ -x "$exe" ] || continue
        local name="$preset/$(basename "$exe")"
        echo "== run $name"
        "$exe" --gtest_color=no >"$logs/$(basename "$exe")-$preset.log" 2>&1
        rc=$?
        count_gtest "$name" "$logs/$(basename "$exe")-$preset.log" "$rc"
    done
}

run_windows() {
    local preset=$1 exe rc
    WINEPREFIX=$(mktemp -d /tmp/launcher-wine.XXXXXX)
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    for exe in build/"$preset"/bin/*Tests.exe; do
        [ -f "$exe" ] || continue
        local name="windows/$(basename "$exe")"
        echo "== run $name under wine64"
        timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" /usr/lib/wine/wine64 "$exe" --gtest_color=no >"$logs/$(basename "$exe").log" 2>&1
        rc=$?
        count_gtest "$name" "$logs/$(basename "$exe").log" "$rc"
    done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    unset WINEPREFIX
}

# The threads again under ThreadSanitizer.
run_tsan() {
    local exe=build/linux-tsan/bin/EngineTests log="$logs/EngineTests-linux-tsan.log" rc
    echo "== run linux-tsan/EngineTests (threads)"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$exe" --gtest_color=no \
        --gtest_filter='xThread*:xWorkerPool*:xEvent*:xCriticalSection*:xBackgroundWork*:xHardware*' >"$log" 2>&1
    rc=$?
    count_gtest "linux-tsan/EngineTests" "$log" "$rc"
}

# End-to-end runs of the real launcher (native and under Wine), by pytest.
run_end_to_end() {
    local log="$logs/end-to-end.log" ok bad rc
    echo "== run end-to-end tests"
    LAUNCHER_LINUX_BUILD="$root/build/linux-asan" LAUNCHER_WINDOWS_BUILD="$root/build/windows-demo" \
        timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
        Tests/EndToEnd >"$log" 2>&1
    rc=$?
    # pytest's last line: "2 passed in 9.1s" or "1 failed, 2 passed, 1 error in 9.1s".
    local summary n
    summary=$(tail -n 1 "$log")
    ok=$(grep -Eo '[0-9]+ passed' <<<"$summary" | grep -Eo '[0-9]+')
    ok=${ok:-0}
    bad=0
    for n in $(grep -Eo '[0-9]+ (failed|errors?)' <<<"$summary" | grep -Eo '[0-9]+'); do
        bad=$((bad + n))
    done
    if [ "$ok" -eq 0 ] && [ "$bad" -eq 0 ] && [ "$rc" -ne 0 ]; then
        fail_stage "end-to-end tests ended without a result (exit $rc); see $log"
        tail -n 40 "$log"
        return
    fi
    passed=$((passed + ok))
    failed=$((failed + bad))
    echo "end-to-end: $ok passed, $bad failed"
    if [ "$bad" -gt 0 ] || [ "$rc" -ne 0 ]; then
        problems+=("end-to-end")
        tail -n 60 "$log"
        [ "$bad" -gt 0 ] || fail_stage "end-to-end exited with $rc"
    fi
}

if build_preset linux-asan; then
    run_native linux-asan
else
    fail_stage "build linux-asan"
fi

if build_preset linux-tsan; then
    run_tsan
else
    fail_stage "build linux-tsan"
fi

# The Windows build pointed at the dev update server on this machine: the same
# code as the product, with the demo addresses.
if build_preset windows-demo; then
    run_windows windows-demo
else
    fail_stage "build windows-demo"
fi

run_end_to_end

if [ ${#problems[@]} -gt 0 ]; then
    echo "Problems:"
    printf '  %s\n' "${problems[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
