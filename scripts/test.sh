#!/usr/bin/env bash
# The one test command: installs what is missing, builds the native tests with
# AddressSanitizer + UndefinedBehaviorSanitizer (and again plain) and the Windows build with
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

# The committed format: every tracked C/C++ file of Code, Tools and Tests as the
# committed .clang-format writes it (`clang-format -i FILES` fixes one). The
# configure templates (*.in) are not C/C++ until configured and stay out.
check_format() {
    local log="$logs/clang-format.log" files=()
    echo "== check format (clang-format)"
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files -- 'Code/*.c' 'Code/*.cpp' 'Code/*.h' 'Tools/*.c' 'Tools/*.cpp' \
            'Tools/*.h' 'Tests/*.c' 'Tests/*.cpp' 'Tests/*.h')
    else
        mapfile -t files < <(find Code Tools Tests -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) | sort)
    fi
    if [ ${#files[@]} -eq 0 ]; then
        fail_stage "format: no C/C++ files found"
    elif clang-format --dry-run -Werror "${files[@]}" >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "format: ${#files[@]} files as .clang-format writes them"
    else
        fail_stage "format: files differ from .clang-format (fix with clang-format -i); see $log"
        local offending
        offending=$(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' "$log" | sort -u)
        if [ -n "$offending" ]; then
            sed 's/^/  /' <<<"$offending"
        else
            tail -n 5 "$log"
        fi
    fi
}
check_format

# build_preset PRESET [CONFIGURE ARGUMENTS...]
build_preset() {
    local preset=$1
    shift
    echo "== build $preset"
    if ! cmake --preset "$preset" "$@" >"$logs/configure-$preset.log" 2>&1; then
        tail -n 30 "$logs/configure-$preset.log"
        return 1
    fi
    if ! cmake --build --preset "$preset" >"$logs/build-$preset.log" 2>&1; then
        grep -E 'error|FAILED' "$logs/build-$preset.log" | head -n 40
        return 1
    fi
}

# gtest_output LOG [DRIVE]: the option that has a run write its JSON report
# beside LOG; a Windows run under Wine needs the drive (Z:) that makes the path absolute.
gtest_output() {
    echo "--gtest_output=json:${2:-}${1%.log}.json"
}

# Adds one gtest run's counts to the totals from its JSON report (gtest_output);
# a run without one (a crash, a sanitizer abort) counts as one failure, and so
# does a skipped test of the suites that must reach a server (a skip there means
# the run found none).
count_gtest() {
    local name=$1 log=$2 rc=$3
    local result ok bad skipped
    if ! result=$(python3 scripts/lib/gtest-result.py "${log%.log}.json"); then
        fail_stage "$name ended without a result (exit $rc); see $log"
        tail -n 30 "$log"
        return
    fi
    read -r ok bad skipped <<<"$(head -n 1 <<<"$result")"
    passed=$((passed + ok))
    failed=$((failed + bad))
    echo "$name: $ok passed, $bad failed"
    if [ "$bad" -gt 0 ]; then
        tail -n +2 <<<"$result" | sed 's/^/[  FAILED  ] /'
        problems+=("$name")
    elif [ "$rc" -ne 0 ]; then
        fail_stage "$name exited with $rc after its tests (sanitizer report?); see $log"
        tail -n 30 "$log"
    fi
    if [ "$skipped" -gt 0 ]; then
        fail_stage "$name skipped $skipped download tests (no dev server or nginx?); see $log"
    fi
}

run_native() {
    local preset=$1 exe rc
    for exe in build/"$preset"/bin/*Tests; do
        [ -x "$exe" ] || continue
        local name="$preset/$(basename "$exe")"
        echo "== run $name"
        local log="$logs/$(basename "$exe")-$preset.log"
        # The download tests start their own servers here; a skip means they could not.
        "$exe" --gtest_color=no "$(gtest_output "$log")" >"$log" 2>&1
        rc=$?
        count_gtest "$name" "$log" "$rc"
    done
}

# start_devserver DIR LOG ARGUMENTS...: the dev server on a free port (and a free
# statistics port with --stats-log), stdout in DIR/devserver.out, stderr in LOG.
# Sets devserver_pid, devserver_port and devserver_stats_port; fails when it does not come up.
start_devserver() {
    local dir=$1 log=$2 lines=1
    shift 2
    [[ " $* " == *" --stats-log "* ]] && lines=2
    : >"$dir/devserver.out"
    build/linux-asan/bin/devserver --port 0 "$@" >"$dir/devserver.out" 2>"$log" &
    devserver_pid=$!
    for _ in $(seq 50); do
        [ "$(wc -l <"$dir/devserver.out")" -ge "$lines" ] && break
        sleep 0.1
    done
    devserver_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/devserver.out")
    devserver_stats_port=$(sed -n 's/^stats listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/devserver.out")
    [ -n "$devserver_port" ] && { [ "$lines" -eq 1 ] || [ -n "$devserver_stats_port" ]; }
}

# The servers of the Windows download tests. A Windows test process under Wine
# cannot start native programs, so the dev server (from the native build, with
# its statistics endpoint) and nginx run here and are named in the environment
# (LAUNCHER_TEST_*, read by Tests/Support/LauncherDownloadServers.cpp).
source scripts/lib/peers.sh
peer_dir=""
start_download_peers() {
    local port work
    peer_dir=$(mktemp -d /tmp/launcher-download-peers.XXXXXX)
    mkdir -p "$peer_dir/www" "$peer_dir/nginx"
    chmod 755 "$peer_dir" "$peer_dir/www"
    if start_devserver "$peer_dir" "$logs/devserver-windows-tests.log" --root "$peer_dir/www" \
        --stats-log "$peer_dir/stats.log" --stats-port 0; then
        export LAUNCHER_TEST_DEVSERVER="127.0.0.1:$devserver_port" LAUNCHER_TEST_DEVSERVER_ROOT="$peer_dir/www" \
            LAUNCHER_TEST_STATS="127.0.0.1:$devserver_stats_port" LAUNCHER_TEST_STATS_LOG="$peer_dir/stats.log"
    else
        fail_stage "the dev server for the Windows tests did not start; see $logs/devserver-windows-tests.log"
    fi
    peer_pids+=("$devserver_pid")
    # Signed updates for the signature tests: signed here by the native publisher
    # (OpenSSL), checked there by CNG.
    if bash Tests/Support/make-signed-updates.sh build/linux-asan/bin/publish "$peer_dir/signed" \
        >"$logs/signed-updates.log" 2>&1; then
        export LAUNCHER_TEST_SIGNED="$peer_dir/signed"
    else
        fail_stage "the signed updates for the Windows tests were not made; see $logs/signed-updates.log"
    fi
    # The full-disk test's small volume (4 MiB), reached through Wine's Z: drive.
    # Mounting needs root, as the test command has in CI; without it the test skips.
    mkdir -p "$peer_dir/small"
    if mount -t tmpfs -o size=4m,mode=0755 tmpfs "$peer_dir/small" 2>/dev/null; then
        export LAUNCHER_TEST_SMALL_DISK="$peer_dir/small"
    fi
    # The client versions of the update kill tests (Tests/Module/PackageUpdateKillTests.cpp),
    # published into the dev server's folder by the native update child and publisher.
    if ! build/linux-asan/bin/PackageUpdateChild fixture build/linux-asan/bin/publish "$peer_dir/www/update-kill" \
        >"$logs/update-kill-fixture.log" 2>&1; then
        fail_stage "the client versions of the Windows kill tests were not published; see $logs/update-kill-fixture.log"
    fi
    # nginx, with the native tests' own configuration (Tests/Support/nginx.conf.in).
    work=$peer_dir
    if peers_nginx "$peer_dir/www" 2>/dev/null; then
        export LAUNCHER_TEST_NGINX="127.0.0.1:$port" LAUNCHER_TEST_NGINX_ROOT="$peer_dir/www" \
            LAUNCHER_TEST_NGINX_LOG="$peer_dir/nginx/access.log"
        return
    fi
    cp "$peer_dir/nginx/stderr.log" "$logs/nginx-windows-tests.log" 2>/dev/null
    fail_stage "nginx for the Windows tests did not start; see $logs/nginx-windows-tests.log"
}

stop_download_peers() {
    local pid
    for pid in "${peer_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    peer_pids=()
    if [ -n "${LAUNCHER_TEST_SMALL_DISK:-}" ]; then
        umount "$LAUNCHER_TEST_SMALL_DISK" 2>/dev/null
    fi
    unset LAUNCHER_TEST_DEVSERVER LAUNCHER_TEST_DEVSERVER_ROOT LAUNCHER_TEST_STATS LAUNCHER_TEST_STATS_LOG \
        LAUNCHER_TEST_SIGNED LAUNCHER_TEST_NGINX LAUNCHER_TEST_NGINX_ROOT LAUNCHER_TEST_NGINX_LOG \
        LAUNCHER_TEST_SMALL_DISK
    [ -n "$peer_dir" ] && rm -rf "$peer_dir"
}

run_windows() {
    local preset=$1 exe rc
    WINEPREFIX=$(mktemp -d /tmp/launcher-wine.XXXXXX)
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    start_download_peers
    for exe in build/"$preset"/bin/*Tests.exe; do
        [ -f "$exe" ] || continue
        local name="windows/$(basename "$exe")"
        echo "== run $name under wine64"
        local log="$logs/$(basename "$exe").log"
        timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" /usr/lib/wine/wine64 "$exe" --gtest_color=no \
            "$(gtest_output "$log" Z:)" >"$log" 2>&1
        rc=$?
        count_gtest "$name" "$log" "$rc"
    done
    stop_download_peers
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    unset WINEPREFIX
}

# The threads again under ThreadSanitizer: run_tsan_suite PROGRAM FILTER WHAT
run_tsan_suite() {
    local program=$1 filter=$2 what=$3 rc
    local log="$logs/$program-linux-tsan.log"
    echo "== run linux-tsan/$program ($what)"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "build/linux-tsan/bin/$program" --gtest_color=no \
        "$(gtest_output "$log")" \
        --gtest_filter="$filter" >"$log" 2>&1
    rc=$?
    count_gtest "linux-tsan/$program" "$log" "$rc"
}

run_tsan() {
    run_tsan_suite EngineTests 'xThread*:xWorkerPool*:xEvent*:xCriticalSection*:xBackgroundWork*:xHardware*' threads
    # The package worker's thread against the dev server.
    run_tsan_suite ModuleTests 'PackageWorker*:FontInstall*' "package worker, font thread"
    run_tsan_suite LauncherTests 'PackageUpdate*' "package update"
}

# End-to-end runs of the real launcher, by pytest. They mostly wait (fault
# delays, Wine's windows), so they run beside other work: the native ones (ASan
# and TSan launchers) beside the fuzz targets and the Windows build, the Wine
# ones beside the Windows unit tests. Both use the ports 18080/8001, so the
# native run ends before the Wine run starts; the unit tests' servers take free
# ports. start_end_to_end NAME PYTEST-ARGUMENTS... starts one run,
# finish_end_to_end NAME waits for it and counts.
declare -A end_to_end_pids=()
start_end_to_end() {
    local name=$1
    shift
    echo "== start end-to-end tests ($name)"
    (LAUNCHER_LINUX_BUILD="$root/build/linux-asan" LAUNCHER_TSAN_BUILD="$root/build/linux-tsan" \
        LAUNCHER_WINDOWS_BUILD="$root/build/windows-demo" \
        timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
        "$@" >"$logs/end-to-end-$name.log" 2>&1
     echo $? >"$logs/end-to-end-$name.rc") &
    end_to_end_pids[$name]=$!
}

finish_end_to_end() {
    local name=$1 log="$logs/end-to-end-$1.log" ok bad rc
    [ -n "${end_to_end_pids[$name]:-}" ] || return
    echo "== end-to-end tests ($name)"
    wait "${end_to_end_pids[$name]}"
    unset "end_to_end_pids[$name]"
    rc=$(cat "$logs/end-to-end-$name.rc" 2>/dev/null || echo 1)
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
        fail_stage "end-to-end tests ($name) ended without a result (exit $rc); see $log"
        tail -n 40 "$log"
        return
    fi
    passed=$((passed + ok))
    failed=$((failed + bad))
    echo "end-to-end ($name): $ok passed, $bad failed"
    if [ "$bad" -gt 0 ] || [ "$rc" -ne 0 ]; then
        problems+=("end-to-end ($name)")
        tail -n 60 "$log"
        [ "$bad" -gt 0 ] || fail_stage "end-to-end ($name) exited with $rc"
    fi
}

# The dev update server against a client nobody here wrote: the curl command
# line asks for a size (HEAD) and one range. DevServerTests (run above with the
# other native tests) cover the rest byte for byte.
run_devserver_smoke() {
    local dir log="$logs/devserver-smoke.log" ok=0 bad=0
    echo "== run dev server smoke test (curl)"
    if ! command -v curl >/dev/null; then
        fail_stage "dev server smoke test: the curl command is missing"
        return
    fi
    dir=$(mktemp -d /tmp/devserver-smoke.XXXXXX)
    mkdir -p "$dir/root/kg"
    printf '0123456789abcdefghij' >"$dir/root/kg/sample.bin"
    if ! start_devserver "$dir" "$log" --root "$dir/root"; then
        fail_stage "dev server did not start; see $log"
    else
        local url="http://127.0.0.1:$devserver_port/kg/sample.bin"
        if curl -sS -I "$url" | tr -d '\r' | grep -qx 'Content-Length: 20'; then ok=$((ok + 1)); else
            bad=$((bad + 1)); problems+=("devserver: curl -I"); fi
        if [ "$(curl -sS -r 0-9 -w ' %{http_code}' "$url")" = "0123456789 206" ]; then ok=$((ok + 1)); else
            bad=$((bad + 1)); problems+=("devserver: curl -r 0-9"); fi
    fi
    kill "$devserver_pid" 2>/dev/null
    wait "$devserver_pid" 2>/dev/null
    rm -rf "$dir"
    passed=$((passed + ok))
    failed=$((failed + bad))
    echo "devserver smoke: $ok passed, $bad failed"
}

asan_built=0
if build_preset linux-asan; then
    asan_built=1
    run_native linux-asan
    run_devserver_smoke
else
    fail_stage "build linux-asan"
fi

if build_preset linux-tsan; then
    run_tsan
else
    fail_stage "build linux-tsan"
fi
# The native launchers' runs; their Wine counterparts (the "wine" rows and the
# Wine-only files) run after the Windows build.
native_end_to_end=(Tests/EndToEnd/test_update.py Tests/EndToEnd/test_startup.py -k "not wine")
wine_end_to_end=(Tests/EndToEnd -k "wine or test_windows or test_self_update")
start_end_to_end native "${native_end_to_end[@]}"

# The libFuzzer targets (clang), each for 3 s from its committed seed corpus,
# through scripts/fuzz.sh. A crash, a sanitizer report, a broken property or a
# hang counts as a failure; the input that caused it is kept in the logs folder.
run_fuzz() {
    local log="$logs/fuzz.log" rc line counted=0
    echo "== run linux-fuzz targets (3 s each)"
    FUZZ_LOGS="$logs/fuzz" bash scripts/fuzz.sh 3 >"$log" 2>&1
    rc=$?
    while IFS= read -r line; do
        counted=1
        echo "$line"
        case "$line" in
        *" clean "*) passed=$((passed + 1)) ;;
        *) fail_stage "$line" ;;
        esac
    done < <(sed -n '/^== fuzz summary/,$p' "$log" | tail -n +2)
    if [ "$counted" -eq 0 ]; then
        fail_stage "scripts/fuzz.sh ended without a summary (exit $rc); see $log"
        tail -n 20 "$log"
    fi
}

if build_preset linux-fuzz; then
    run_fuzz
else
    fail_stage "build linux-fuzz"
fi

# The native unit tests once more in the plain build (RelWithDebInfo, no
# sanitizer), where the code runs at the speed players see: a test that passes
# only while the code is slow fails here. Built here, alone, and run beside the
# Wine stages, which mostly wait; the Windows tests' servers are not theirs (they
# start their own).
plain_tests=(EngineTests LauncherTests ModuleTests SkinTests DevServerTests PublisherTests)
plain_built=0
echo "== build linux (plain-build unit tests)"
if cmake --preset linux >"$logs/configure-linux.log" 2>&1 &&
    cmake --build --preset linux --target "${plain_tests[@]}" >"$logs/build-linux.log" 2>&1; then
    plain_built=1
else
    fail_stage "build linux (plain-build unit tests); see $logs/build-linux.log"
    grep -E 'error|FAILED' "$logs/build-linux.log" | head -n 40
fi

start_plain_tests() {
    [ "$plain_built" -eq 1 ] || return
    echo "== start linux plain-build unit tests"
    local exe
    for exe in "${plain_tests[@]}"; do
        "build/linux/bin/$exe" --gtest_color=no "$(gtest_output "$logs/$exe-linux.log")" >"$logs/$exe-linux.log" 2>&1
        echo $? >"$logs/$exe-linux.rc"
    done &
    plain_tests_pid=$!
}

finish_plain_tests() {
    [ "$plain_built" -eq 1 ] || return
    local exe
    wait "$plain_tests_pid"
    for exe in "${plain_tests[@]}"; do
        count_gtest "linux/$exe" "$logs/$exe-linux.log" "$(cat "$logs/$exe-linux.rc" 2>/dev/null || echo 1)"
    done
}

# The Windows build pointed at the dev update server on this machine: the same
# code as the product, with the demo addresses. It packs its skin with the native
# respack it makes itself, as in a fresh clone (the empty LAUNCHER_HOST_TOOLS_DIR
# clears a borrowed one that an earlier configure left in the cache).
windows_built=0
build_preset windows-demo -DLAUNCHER_HOST_TOOLS_DIR= && windows_built=1
finish_end_to_end native
start_plain_tests
start_end_to_end wine "${wine_end_to_end[@]}"
if [ "$windows_built" -eq 1 ]; then
    run_windows windows-demo
else
    fail_stage "build windows-demo"
fi
finish_end_to_end wine
finish_plain_tests

# Every benchmark once on a tiny input, from the sanitizer build (the benchmarks
# are built with it), so none of them rots; its figures mean nothing. Last, when
# the Windows build is there too for the download benchmark under wine64.
if [ "$asan_built" -eq 1 ]; then
    echo "== run benchmarks on tiny inputs (scripts/bench.sh --tiny)"
    if BENCH_BUILD=build/linux-asan timeout 300 bash scripts/bench.sh --tiny >"$logs/bench-tiny.log" 2>&1; then
        passed=$((passed + 1))
        echo "benchmarks: each ran once"
    else
        fail_stage "benchmarks (scripts/bench.sh --tiny) failed; see $logs/bench-tiny.log"
        tail -n 30 "$logs/bench-tiny.log"
    fi
fi

if [ ${#problems[@]} -gt 0 ]; then
    echo "Problems:"
    printf '  %s\n' "${problems[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
