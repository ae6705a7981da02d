#!/usr/bin/env bash
# The peers of the tests, benchmarks and demo, each started in this one way: the
# dev server, nginx, a virtual display and a Wine prefix. Whatever a shell starts
# here is stopped (and its folders removed) when that shell exits; what does not
# come up says so in one line on stderr. The servers' programs come from
# $PEERS_BIN (build/linux-asan/bin); their logs go to $PEERS_LOGS (or the work folder).
# Sourced (the work folder is $peers_work):
#   peers_devserver ROOT [ARGUMENTS...]  the dev server serving ROOT on a free port (or
#       --port N), with ARGUMENTS; sets devserver_port, and with --stats-log devserver_stats_port
#   peers_nginx ROOT           nginx (Tests/Support/nginx.conf.in) serving ROOT; sets nginx_port
#   peers_display              Xvfb (1280x1024) when DISPLAY names none; exports DISPLAY
#   peers_desktop              the display with a compositing manager (per-pixel alpha) and a
#       session bus (WebKitGTK's helpers); exports DBUS_SESSION_BUS_ADDRESS
#   peers_wine [FOLDER|--warm] WINEPREFIX (a fresh one, or FOLDER, kept), WINEDEBUG, WINEDLLOVERRIDES;
#       --warm: the fresh one set up and its wineserver kept running, for timed runs
#   peers_wine_setup           boots a new prefix as the end-to-end tests and the demo want it
#   peers_downloads [--wine|--servers]  the download tests' peers, named in LAUNCHER_TEST_*
#       (below); --servers: the dev server and nginx alone
# Run:
#   bash scripts/lib/peers.sh run [--servers] COMMAND...   COMMAND with the download tests' peers
#   bash scripts/lib/peers.sh devserver ROOT [ARGUMENTS...]   the dev server until stopped,
#       its "listening on" lines on stdout
#   bash scripts/lib/peers.sh wine-prefix      a new prefix, set up, as VARIABLE=VALUE lines
#       (the caller removes it)

peers_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
PEERS_BIN=${PEERS_BIN:-$peers_repo/build/linux-asan/bin}
peers_owner=

# The work folder and the clean-up of this shell (a subshell gets its own).
peers_start() {
    [ "$peers_owner" = "$BASHPID" ] && return
    peers_owner=$BASHPID peer_pids=() peer_prefixes=() peer_mounts=() peers_keep=0
    peers_work=$(mktemp -d /tmp/launcher-peers.XXXXXX)
    peers_logs=${PEERS_LOGS:-$peers_work}
    mkdir -p "$peers_logs"
    trap peers_stop EXIT
}

peers_stop() {
    [ "$peers_keep" -eq 1 ] && return
    local i prefix
    for prefix in "${peer_prefixes[@]}"; do
        WINEPREFIX="${prefix#-}" /usr/lib/wine/wineserver -k 2>/dev/null || true
        [[ $prefix == -* ]] || rm -rf "$prefix"
    done
    # Last started, first stopped: a launcher before its display and servers.
    for ((i = ${#peer_pids[@]} - 1; i >= 0; i--)); do
        { kill "${peer_pids[i]}" && wait "${peer_pids[i]}"; } 2>/dev/null || true
    done
    for prefix in "${peer_mounts[@]}"; do umount "$prefix" 2>/dev/null || true; done
    rm -rf "$peers_work"
}

peers_failed() {
    echo "peers: $*" >&2
    return 1
}

peers_devserver() {
    peers_start
    local root=$1 lines=1 out="$peers_work/devserver-$RANDOM.out" log=$peers_logs/devserver.log
    shift
    mkdir -p "$root"
    [[ " $* " == *" --port "* ]] || set -- --port 0 "$@"
    [[ " $* " == *" --stats-log "* ]] && lines=2
    "$PEERS_BIN/devserver" --root "$root" "$@" >"$out" 2>"$log" &
    peer_pids+=($!)
    for _ in $(seq 200); do
        [ "$(wc -l <"$out")" -ge "$lines" ] && break
        kill -0 "$!" 2>/dev/null || break
        sleep 0.05
    done
    devserver_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    devserver_stats_port=$(sed -n 's/^stats listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$devserver_port" ] && { [ "$lines" -eq 1 ] || [ -n "$devserver_stats_port" ]; } ||
        peers_failed "the dev server ($PEERS_BIN/devserver $*) did not start: $(tail -n 1 "$log" 2>/dev/null)"
}

peers_nginx() {
    peers_start
    local dir=$peers_work/nginx
    mkdir -p "$1" "$dir"
    chmod 755 "$peers_work" "$1"
    nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -e "s|@PREFIX@|$dir|g" -e "s|@ROOT@|$1|g" -e "s|@PORT@|$nginx_port|g" \
        "$peers_repo/Tests/Support/nginx.conf.in" >"$dir/nginx.conf"
    /usr/sbin/nginx -p "$dir/" -c "$dir/nginx.conf" 2>"$peers_logs/nginx.log" &
    peer_pids+=($!)
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && return
        sleep 0.1
    done
    peers_failed "nginx did not start: $(cat "$dir/error.log" "$peers_logs/nginx.log" 2>/dev/null | tail -n 1)"
}

peers_desktop() {
    peers_display || return 1
    [ -n "${peers_desktop_up:-}" ] && return
    xcompmgr -n 2>"$peers_logs/xcompmgr.log" &
    peer_pids+=($!)
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
        peers_failed "no session bus: dbus-daemon failed"
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
    peer_pids+=("${bus##*$'\n'}")
    peers_desktop_up=1
}

peers_display() {
    [ -n "${DISPLAY:-}" ] && return
    peers_start
    # Xvfb picks a free display and names it on descriptor 3 once it takes clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$peers_work/display" 2>"$peers_logs/xvfb.log" &
    peer_pids+=($!)
    for _ in $(seq 200); do
        [ -s "$peers_work/display" ] && { export DISPLAY=":$(cat "$peers_work/display")"; return; }
        sleep 0.05
    done
    peers_failed "Xvfb did not start: $(tail -n 1 "$peers_logs/xvfb.log")"
}

peers_wine() {
    peers_start
    if [ "${1:-}" = --warm ]; then
        peers_wine
        # A fresh prefix is set up by processes that run on after the first program
        # starts: set up first, so that they do not share timed runs' cores, and one
        # wineserver kept for all runs.
        /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
        /usr/lib/wine/wineserver -w
        /usr/lib/wine/wineserver -p
    elif [ -n "${1:-}" ]; then
        mkdir -p "$1"
        WINEPREFIX=$1
        peer_prefixes+=("-$1")
    else
        WINEPREFIX=$(mktemp -d /tmp/launcher-wine.XXXXXX)
        peer_prefixes+=("$WINEPREFIX")
    fi
    export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

peers_wine_setup() {
    [ -d "$WINEPREFIX/drive_c" ] && return
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    [ -d "$WINEPREFIX/drive_c" ] || peers_failed "wineboot did not set up $WINEPREFIX" || return
    # Wine points the prefix's Desktop (and Documents, Music...) at the real home;
    # the launcher writes a desktop link at every start, so they become folders of the prefix.
    find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -type l -exec sh -c 'rm "$1" && mkdir "$1"' _ {} \;
    # Dialogs ("MS Shell Dlg", Tahoma under Wine) find Chinese glyphs by font
    # linking, as on a Chinese Windows; Noto CJK stands in for its fonts.
    /usr/lib/wine/wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f >/dev/null 2>&1
}

# The download tests' peers (Tests/Support/LauncherDownloadServers.h): the dev server
# with its statistics endpoint and nginx serving one folder, and signed updates made
# by the native publisher. With --wine also what a Windows test process cannot make
# itself: the kill tests' client versions (published by the native update child) and
# a small volume (4 MiB, mounting needs root; without it the full-disk test skips).
peers_downloads() {
    peers_start
    local www=$peers_work/www
    peers_devserver "$www" --stats-log "$peers_work/stats.log" --stats-port 0 &&
        peers_nginx "$www" || return 1
    export LAUNCHER_TEST_DEVSERVER=127.0.0.1:$devserver_port LAUNCHER_TEST_DEVSERVER_ROOT=$www \
        LAUNCHER_TEST_STATS=127.0.0.1:$devserver_stats_port LAUNCHER_TEST_STATS_LOG=$peers_work/stats.log \
        LAUNCHER_TEST_NGINX=127.0.0.1:$nginx_port LAUNCHER_TEST_NGINX_ROOT=$www \
        LAUNCHER_TEST_NGINX_LOG=$peers_work/nginx/access.log
    [ "${1:-}" != --servers ] || return 0
    bash "$peers_repo/Tests/Support/make-signed-updates.sh" "$PEERS_BIN/publish" "$peers_work/signed" \
        >"$peers_logs/signed-updates.log" 2>&1 ||
        peers_failed "the signed updates were not made; see $peers_logs/signed-updates.log" || return
    export LAUNCHER_TEST_SIGNED=$peers_work/signed
    [ "${1:-}" = --wine ] || return 0
    "$PEERS_BIN/PackageUpdateChild" fixture "$PEERS_BIN/publish" "$www/update-kill" \
        >"$peers_logs/update-kill-fixture.log" 2>&1 ||
        peers_failed "the kill tests' client versions were not published; see $peers_logs/update-kill-fixture.log" ||
        return
    mkdir -p "$peers_work/small"
    mount -t tmpfs -o size=4m,mode=0755 tmpfs "$peers_work/small" 2>/dev/null || return 0
    peer_mounts+=("$peers_work/small")
    export LAUNCHER_TEST_SMALL_DISK=$peers_work/small
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
trap 'exit 143' TERM INT
case ${1:-} in
run)
    shift
    if [ "${1:-}" = --servers ]; then peers_downloads --servers || exit 1; shift; else peers_downloads || exit 1; fi
    "$@"
    ;;
devserver)
    shift
    peers_devserver "$@" || exit 1
    echo "listening on 127.0.0.1:$devserver_port"
    [ -z "$devserver_stats_port" ] || echo "stats listening on 127.0.0.1:$devserver_stats_port"
    wait "${peer_pids[0]}"
    ;;
wine-prefix)
    peers_wine
    peer_prefixes=()
    peers_wine_setup || { rm -rf "$WINEPREFIX"; exit 1; }
    printf '%s=%s\n' WINEPREFIX "$WINEPREFIX" WINEDEBUG "$WINEDEBUG" WINEDLLOVERRIDES "$WINEDLLOVERRIDES"
    ;;
*)
    sed -n '2,/^$/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
