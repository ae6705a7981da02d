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
    local exe rc
    WINEPREFIX=$(mktemp -d /tmp/launcher-wine.XXXXXX)
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    for exe in build/windows/bin/*Tests.exe; do
        [ -f "$exe" ] || continue
        local name="windows/$(basename "$exe")"
        echo "== run $name under wine64"
        timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" /usr/lib/wine/wine64 "$exe" --gtest_color=no >"$logs/$(basename "$exe").log" 2>&1
        rc=$?
        count_gtest "$name" "$logs/$(basename "$exe").log" "$rc"
    done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}

if build_preset linux-asan; then
    run_native linux-asan
else
    fail_stage "build linux-asan"
fi

if build_preset windows; then
    run_windows
else
    fail_stage "build windows"
fi

if [ ${#problems[@]} -gt 0 ]; then
    echo "Problems:"
    printf '  %s\n' "${problems[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
