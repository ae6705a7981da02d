# Sourced by the scripts that start their own servers and Wine prefix
# (kill-sweep.sh, bench-download.sh): a work folder, nginx or the dev server on
# a free loopback port, a fresh prefix, and the clean-up of all of them at exit.
#   peers_init NAME         work folder $work (/tmp/launcher-NAME.XXXXXX)
#   peers_nginx ROOT        nginx serving ROOT; sets $port
#   peers_devserver ROOT    build/linux-asan/bin/devserver serving ROOT; sets $port
#   peers_wine NAME         a fresh WINEPREFIX and the variables every Wine run here takes

peer_pids=()
prefix=
peers_cleanup() {
    local pid
    for pid in "${peer_pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    if [ -n "$prefix" ]; then
        WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
    rm -rf "$work"
}

peers_init() {
    work=$(mktemp -d "/tmp/launcher-$1.XXXXXX")
    trap peers_cleanup EXIT
}

peers_nginx() {
    mkdir -p "$1" "$work/nginx"
    chmod 755 "$work" "$1"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -e "s|@PREFIX@|$work/nginx|g" -e "s|@ROOT@|$1|g" -e "s|@PORT@|$port|g" \
        Tests/Support/nginx.conf.in >"$work/nginx/nginx.conf"
    /usr/sbin/nginx -p "$work/nginx/" -c "$work/nginx/nginx.conf" 2>"$work/nginx/stderr.log" &
    peer_pids+=($!)
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return
        sleep 0.1
    done
    echo "nginx did not start; see $work/nginx/stderr.log" >&2
    return 1
}

peers_devserver() {
    mkdir -p "$1"
    build/linux-asan/bin/devserver --port 0 --root "$1" >"$work/devserver.out" 2>"$work/devserver.log" &
    peer_pids+=($!)
    for _ in $(seq 50); do
        grep -q '^listening on' "$work/devserver.out" && break
        sleep 0.1
    done
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/devserver.out")
    [ -n "$port" ] || { echo "the dev server did not start; see $work/devserver.log" >&2; return 1; }
}

peers_wine() {
    prefix=$(mktemp -d "/tmp/launcher-$1.XXXXXX")
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}
