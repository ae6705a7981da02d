#!/usr/bin/env bash
# The one test command: installs what is missing, builds the native tests with
# AddressSanitizer + UndefinedBehaviorSanitizer (and again plain) and the Windows build with
# MinGW-w64, runs every test (the Windows ones under wine64 in a fresh prefix,
# with a virtual display) and ends with one line "N passed, N failed". Exits non-zero on any failure.
# Each stage's output is in build/test-logs/STAGE.log; the servers, display and
# prefix the stages need come from scripts/lib/peers.sh.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
logs="$root/build/test-logs"
mkdir -p "$logs"
: >"$logs/tally"
source scripts/lib/peers.sh
# Each stage that shows windows does so on a virtual display of its own.
unset DISPLAY

# tally PASSED FAILED [PROBLEM]: adds to the closing line (a line of $logs/tally, so
# that stages in the background count too).
tally() {
    echo "$1 $2 ${3:-}" >>"$logs/tally"
    [ -z "${3:-}" ] || echo "FAILED: $3"
}

# run_stage [--gtest|--pytest|--fuzz] NAME COMMAND...: runs COMMAND, its output in
# build/test-logs/NAME.log, and counts it: a gtest program by its JSON report (a
# Windows one writes it through $gtest_drive, Z:), pytest by its summary line, the
# fuzz targets by theirs, anything else as one check by its exit status. A program
# still running after $stage_limit seconds (600 unless the caller sets it) is
# stopped with all it started (its process group; SIGKILL 20 s later, since a
# program under Wine may outlive SIGTERM) and counts as one failure, so that a
# hung test ends the run with its name instead of holding it until CI gives up.
run_stage() {
    local kind=check
    [[ $1 == --* ]] && { kind=${1#--}; shift; }
    local name=$1 log="$logs/$1.log" start=$SECONDS rc ok=0 bad=0 problem="" limit=${stage_limit:-600}
    shift
    mkdir -p "$(dirname "$log")"
    [ "$kind" = gtest ] && set -- "$@" --gtest_color=no "--gtest_output=json:${gtest_drive:-}${log%.log}.json"
    echo "== $name"
    if [ "$(type -t "$1")" = function ]; then
        "$@" >"$log" 2>&1 </dev/null
    else
        timeout -k 20 "$limit" "$@" >"$log" 2>&1 </dev/null
    fi
    rc=$?
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        bad=1 problem="$name did not end within $limit s (stopped); see $log"
        tail -n 20 "$log"
    else
        "count_$kind"
    fi
    echo "$name: $ok passed, $bad failed ($((SECONDS - start)) s)"
    tally "$ok" "$bad" "$problem"
}

count_check() {
    [ "$rc" -eq 0 ] && { ok=1; return; }
    bad=1 problem="$name (exit $rc); see $log"
    tail -n 20 "$log"
}

# A run without a JSON report (a crash, a sanitizer abort) counts as one failure,
# and so does a skipped test (of the suites that must reach a server: the run found none).
count_gtest() {
    local result skipped
    if ! result=$(python3 scripts/lib/gtest-result.py "${log%.log}.json"); then
        bad=1 problem="$name ended without a result (exit $rc); see $log"
        tail -n 30 "$log"
        return
    fi
    read -r ok bad skipped <<<"$(head -n 1 <<<"$result")"
    if [ "$bad" -gt 0 ]; then
        tail -n +2 <<<"$result" | sed 's/^/[  FAILED  ] /'
        problem=$name
    elif [ "$rc" -ne 0 ]; then
        bad=1 problem="$name exited with $rc after its tests (sanitizer report?); see $log"
        tail -n 30 "$log"
    fi
    if [ "$skipped" -gt 0 ]; then
        bad=$((bad + 1)) problem="$name skipped $skipped download tests (no peers?); see $log"
    fi
}

# pytest's last line: "2 passed in 9.1s" or "1 failed, 2 passed, 1 error in 9.1s".
count_pytest() {
    local summary n
    summary=$(tail -n 1 "$log")
    ok=$(grep -Eo '[0-9]+ passed' <<<"$summary" | grep -Eo '[0-9]+')
    ok=${ok:-0}
    for n in $(grep -Eo '[0-9]+ (failed|errors?)' <<<"$summary" | grep -Eo '[0-9]+'); do
        bad=$((bad + n))
    done
    [ "$rc" -eq 0 ] && return
    [ "$ok" -eq 0 ] && [ "$bad" -eq 0 ] && bad=1
    problem="$name (exit $rc); see $log"
    tail -n 60 "$log"
}

# One line per target after scripts/fuzz.sh's "== fuzz summary"; "clean" passes.
count_fuzz() {
    local line
    while IFS= read -r line; do
        echo "$line"
        case "$line" in
        *" clean "*) ok=$((ok + 1)) ;;
        *) bad=$((bad + 1)) problem="$line" ;;
        esac
    done < <(sed -n '/^== fuzz summary/,$p' "$log" | tail -n +2)
    [ $((ok + bad)) -gt 0 ] && return
    bad=1 problem="scripts/fuzz.sh ended without a summary (exit $rc); see $log"
    tail -n 20 "$log"
}

# build PRESET [TARGETS...] [-- CONFIGURE ARGUMENTS...]: a failed build counts as one failure.
build() {
    local preset=$1 targets=() log="$logs/build-$1.log"
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=(--target "$1"); shift; done
    [ $# -gt 0 ] && shift
    local start=$SECONDS
    echo "== build $preset"
    cmake --preset "$preset" "$@" >"$logs/configure-$preset.log" 2>&1 &&
        cmake --build --preset "$preset" "${targets[@]}" >"$log" 2>&1 &&
        { echo "build $preset: $((SECONDS - start)) s"; return; }
    tally 0 1 "build $preset; see $log"
    grep -E 'error|FAILED' "$logs/configure-$preset.log" "$log" | head -n 40
    return 1
}

# The committed format: every tracked C/C++ file of Code, Tools and Tests as the
# committed .clang-format writes it (`clang-format -i FILES` fixes one). The
# configure templates (*.in) are not C/C++ until configured and stay out.
check_format() {
    local files=()
    mapfile -t files < <(git ls-files -- 'Code/*.[ch]' 'Code/*.cpp' 'Tools/*.[ch]' 'Tools/*.cpp' 'Tests/*.[ch]' \
        'Tests/*.cpp' 2>/dev/null || find Code Tools Tests -type f -name '*.[ch]' -o -name '*.cpp' | sort)
    echo "${#files[@]} files"
    [ ${#files[@]} -gt 0 ] && clang-format --dry-run -Werror "${files[@]}"
}

# Every *Tests program of a native build, with the download tests' peers (from the
# same build) named in LAUNCHER_TEST_*.
native_stages() {
    local preset=$1 exe PEERS_BIN=build/$1/bin PEERS_LOGS=$logs/$1/peers
    peers_downloads || tally 0 1 "$preset peers; see $PEERS_LOGS"
    for exe in "${@:2}"; do
        run_stage --gtest "$preset/$(basename "$exe")" "$exe"
    done
}

# The plain build's programs on a desktop of their own: its window tests (GTK,
# WebKitGTK) run there; the sanitizer builds skip them.
desktop_native_stages() {
    local PEERS_LOGS=$logs/$1/desktop
    peers_desktop || tally 0 1 "$1 desktop; see $PEERS_LOGS"
    native_stages "$@"
}

# The dev update server against a client nobody here wrote: the curl command
# line asks for a size (HEAD) and one range. DevServerTests cover the rest byte for byte.
devserver_smoke() {
    local url PEERS_LOGS=$logs/devserver-smoke
    peers_start
    mkdir -p "$peers_work/www/kg"
    printf '0123456789abcdefghij' >"$peers_work/www/kg/sample.bin"
    peers_devserver "$peers_work/www" || { tally 0 1 "devserver smoke; see $PEERS_LOGS"; return; }
    url="http://127.0.0.1:$devserver_port/kg/sample.bin"
    run_stage devserver-smoke/head bash -c "curl -sS -I $url | tr -d '\r' | grep -x 'Content-Length: 20'"
    run_stage devserver-smoke/range bash -c "[ \"\$(curl -sS -r 0-9 -w ' %{http_code}' $url)\" = '0123456789 206' ]"
}

# The threads again under ThreadSanitizer.
tsan_stages() {
    local PEERS_BIN=build/linux-tsan/bin PEERS_LOGS=$logs/linux-tsan/peers
    peers_downloads || tally 0 1 "linux-tsan peers; see $PEERS_LOGS"
    local program filter
    # The package worker's thread and the package update against the dev server.
    while read -r program filter; do
        run_stage --gtest "linux-tsan/$program" env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
            "build/linux-tsan/bin/$program" --gtest_filter="$filter"
    done <<'EOF'
EngineTests xThread*:xWorkerPool*:xEvent*:xCriticalSection*:xBackgroundWork*:xHardware*
ModuleTests PackageWorker*:FontInstall*
LauncherTests PackageUpdate*
EOF
}

# End-to-end runs of the real launcher, by pytest, on a display of their own. The
# fixtures start the dev server and Wine prefixes through peers.sh.
end_to_end_stage() {
    local name=$1
    shift
    peers_display || { tally 0 1 "end-to-end ($name): no display"; return; }
    stage_limit=1200 run_stage --pytest "end-to-end/$name" env LAUNCHER_LINUX_BUILD="$root/build/linux-asan" \
        LAUNCHER_TSAN_BUILD="$root/build/linux-tsan" LAUNCHER_WINDOWS_BUILD="$root/build/windows-demo" \
        /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@"
}

# The desktop's end-to-end test: the plain launcher with windows, on a desktop
# of its own.
desktop_end_to_end_stage() {
    local PEERS_LOGS=$logs/end-to-end/desktop-peers
    peers_desktop || { tally 0 1 "end-to-end (desktop): no desktop; see $PEERS_LOGS"; return; }
    run_stage --pytest "end-to-end/desktop" env LAUNCHER_LINUX_BUILD="$root/build/linux-asan" \
        LAUNCHER_DESKTOP_BUILD="$root/build/linux-demo" /usr/bin/python3 -m pytest -q \
        -p no:cacheprovider Tests/EndToEnd/test_desktop.py
}

# Every *Tests.exe under wine64 in a fresh prefix, on a display of its own. A Windows
# test process under Wine cannot start native programs: the peers run here.
windows_stages() {
    local exe gtest_drive=Z: PEERS_LOGS=$logs/windows/peers
    peers_wine && peers_display || { tally 0 1 "windows: no prefix or display; see $PEERS_LOGS"; return; }
    peers_downloads --wine || tally 0 1 "windows peers; see $PEERS_LOGS"
    for exe in build/windows-demo/bin/*Tests.exe; do
        run_stage --gtest "windows/$(basename "$exe")" /usr/lib/wine/wine64 "$exe"
    done
}

# background NAME COMMAND...: runs COMMAND beside what follows (its output held
# back until `finish NAME` waits for it and shows it).
declare -A background_pids=()
background() {
    echo "== start $1 (in the background)"
    ("${@:2}") >"$logs/$1.out" 2>&1 &
    background_pids[$1]=$!
}

finish() {
    [ -n "${background_pids[$1]:-}" ] || return
    wait "${background_pids[$1]}"
    cat "$logs/$1.out"
}

bash scripts/bootstrap.sh || { echo "0 passed, 1 failed"; exit 1; }
run_stage format check_format

asan_built=0
# What LeakSanitizer must not count: see the file.
export LSAN_OPTIONS="suppressions=$root/Tests/Support/lsan.supp"
if build linux-asan; then
    asan_built=1
    (native_stages linux-asan build/linux-asan/bin/*Tests)
    (devserver_smoke)
fi
# Only what the thread stages and the native end-to-end run's ThreadSanitizer row use.
build linux-tsan EngineTests ModuleTests LauncherTests devserver publish qtmx && (tsan_stages)
# The native launchers' runs; their Wine counterparts (the "wine" rows and the
# Wine-only files) run after the Windows build. Both use the ports 18080/8001, so
# the native run ends before the Wine run starts; the unit tests' peers take free ports.
background end-to-end-native end_to_end_stage native Tests/EndToEnd/test_update.py Tests/EndToEnd/test_startup.py \
    -k "not wine"

# The libFuzzer targets (clang), each for 3 s from its committed seed corpus. A
# crash, a sanitizer report, a broken property or a hang counts as a failure; the
# input that caused it is kept in the logs folder.
build linux-fuzz && run_stage --fuzz fuzz env FUZZ_LOGS="$logs/fuzz" bash scripts/fuzz.sh 3

# The native unit tests once more in the plain build (RelWithDebInfo, no
# sanitizer), where the code runs at the speed players see: a test that passes
# only while the code is slow fails here. Built here, alone, and run beside the
# Wine stages, which mostly wait, with peers of their own. The plain build with
# the dev server's addresses (linux-demo), so that its launcher, with windows,
# runs the desktop's end-to-end test too.
plain_tests=(EngineTests LauncherTests ModuleTests SkinTests DevServerTests PublisherTests)
plain_built=0
build linux-demo "${plain_tests[@]}" qtmx RWGame && plain_built=1

# The Windows build pointed at the dev update server on this machine: the same
# code as the product, with the demo addresses. It packs its skin with the native
# respack it makes itself, as in a fresh clone (the empty LAUNCHER_HOST_TOOLS_DIR
# clears a borrowed one that an earlier configure left in the cache).
windows_built=0
build windows-demo -- -DLAUNCHER_HOST_TOOLS_DIR= && windows_built=1
finish end-to-end-native
[ "$plain_built" -eq 1 ] && background linux desktop_native_stages linux-demo "${plain_tests[@]/#/build/linux-demo/bin/}"
background end-to-end-wine end_to_end_stage wine Tests/EndToEnd -k "wine or test_windows or test_self_update"
[ "$windows_built" -eq 1 ] && (windows_stages)
finish end-to-end-wine
finish linux
# The native launcher with its windows on a desktop (the login page in WebKitGTK),
# after the Wine runs: both use the ports 18080 and 8001.
[ "$plain_built" -eq 1 ] && (desktop_end_to_end_stage)

# Every benchmark once on a tiny input, from the sanitizer build (the benchmarks
# are built with it), so none of them rots; its figures mean nothing. Last, when
# the Windows build is there too for the download benchmark under wine64.
[ "$asan_built" -eq 1 ] &&
    stage_limit=300 run_stage bench-tiny env BENCH_BUILD=build/linux-asan bash scripts/bench.sh --tiny

read -r passed failed < <(awk '{p += $1; f += $2} END {print p + 0, f + 0}' "$logs/tally")
if [ "$failed" -gt 0 ]; then
    echo "Problems:"
    awk 'NF > 2 {$1 = $2 = ""; print " " $0}' "$logs/tally"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
