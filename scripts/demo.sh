#!/usr/bin/env bash
# Watch the launcher bring a client up to date from the dev update server on
# this machine: builds what is missing, publishes a client folder (yours, or a
# small sample with the demo game Bin/Win32/ReleaseStatic/RWGame.exe), serves it
# and the demo login page (http://127.0.0.1:18080/login.html) on 127.0.0.1:18080
# (statistics on 8001), starts the Windows launcher under wine64 from its game
# folder with a forced login, and follows its log until the client is in place.
#
#   bash scripts/demo.sh [--client DIR] [--version VER] [--native] [--keep]
#
#   --client DIR   the client folder to publish (default: a generated sample)
#   --version VER  the version to publish it as (default 1.0.5)
#   --native       run the native Linux launcher instead of the Windows one
#   --keep         leave the launcher and the dev server running at the end
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
client="" version=1.0.5 native=0 keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --client) client=$(realpath "$2"); shift 2 ;;
        --version) version=$2; shift 2 ;;
        --native) native=1; shift ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

demo=$root/build/demo
served=$demo/root/mirra/client
tools=$root/build/linux-demo/bin
mkdir -p "$demo"

echo "== build (linux-demo: tools and the native launcher; windows-demo: qtmx.exe and the demo game RWGame.exe)"
bash scripts/bootstrap.sh >/dev/null
cmake --preset linux-demo >"$demo/configure-linux.log"
cmake --build --preset linux-demo --target respack publish devserver qtmx >"$demo/build-linux.log"
if [ "$native" -eq 0 ]; then
    cmake --preset windows-demo -DLAUNCHER_HOST_TOOLS_DIR="$tools" >"$demo/configure-windows.log"
    cmake --build --preset windows-demo --target qtmx RWGame >"$demo/build-windows.log"
fi

if [ -z "$client" ]; then
    client=$demo/sample-client
    rm -rf "$client"
    # "Bin" as the game's own folder is spelt: Windows names ignore case, so a
    # "bin" beside it would be the same folder.
    mkdir -p "$client/data/maps" "$client/Bin"
    cp "$tools/respack" "$client/game.exe"
    seq 1 200000 | sed 's/$/ grass tile/' >"$client/data/maps/world.dat"
    head -c 2000000 /dev/urandom >"$client/Bin/textures.pak"
    printf 'sample client %s\n' "$version" >"$client/readme.txt"
    # The game the launcher starts in its game window (a Windows program, so
    # only with the Windows build).
    if [ "$native" -eq 0 ]; then
        mkdir -p "$client/Bin/Win32/ReleaseStatic"
        cp build/windows-demo/bin/RWGame.exe "$client/Bin/Win32/ReleaseStatic/RWGame.exe"
    fi
fi

echo "== publish $client as version $version into $served"
"$tools/publish" client --source "$client" --version "$version" --out "$served"
"$tools/publish" version --file "$served/ClientVersionSID.txt" --set "default=$version"

# The login page the demo launchers' main frame shows (LAUNCHER_LOGIN_PAGE_URL).
cp Resources/DemoSite/login.html "$demo/root/login.html"

echo "== dev server on 127.0.0.1:18080 (log: $demo/devserver.log; login page: /login.html)"
rm -f "$demo/stats.log"
"$tools/devserver" --root "$demo/root" --port 18080 --stats-log "$demo/stats.log" \
    >"$demo/devserver.out" 2>"$demo/devserver.log" &
server=$!
launcher=""
cleanup() {
    [ "$keep" -eq 1 ] && return
    [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
    [ "$native" -eq 0 ] && WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null
    kill "$server" 2>/dev/null
    true
}
trap cleanup EXIT
sleep 0.5
grep -q '^listening on 127.0.0.1:18080' "$demo/devserver.out" ||
    { echo "demo: the dev server did not start (is port 18080 taken?); see $demo/devserver.log" >&2; exit 1; }

login="forcearg={sid=7&uid=1&time=0}"
if [ "$native" -eq 1 ]; then
    export XDG_CONFIG_HOME=$demo/config
    game=$XDG_CONFIG_HOME/Brightfen/rwgametidemark
    mkdir -p "$game"
    cp "$tools/qtmx" "$game/qtmx.exe"
    echo "== start $game/qtmx.exe $login"
    "$game/qtmx.exe" "$login" 2>"$demo/launcher-stderr.log" &
    launcher=$!
else
    export WINEPREFIX=${WINEPREFIX:-$demo/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -d "$WINEPREFIX/drive_c" ]; then
        echo "== new Wine prefix $WINEPREFIX (about half a minute)"
        /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    fi
    game=$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Roaming/Brightfen/rwgametidemark
    mkdir -p "$game"
    # Started from its game folder it does not install itself first.
    cp build/windows-demo/bin/qtmx.exe "$game/qtmx.exe"
    echo "== start $game/qtmx.exe $login under wine64"
    xvfb-run -a /usr/lib/wine/wine64 "$game/qtmx.exe" "$login" >/dev/null 2>&1 &
    launcher=$!
fi

echo "== its log, $game/Launcher.txt:"
for _ in $(seq 600); do
    if grep -Eq 'Client (updated to|is up to date)|Package update failed|cannot name a package|No client version' "$game/Launcher.txt" 2>/dev/null; then
        break
    fi
    sleep 0.2
done
grep -E 'CurrentVersion|Download Version|stat step url|Client |Error' "$game/Launcher.txt" || true

if diff -rq --exclude=PackageLock.ins "$client" "$game/Publish" >/dev/null; then
    echo "== $game/Publish now equals $client"
else
    echo "== $game/Publish differs from $client:"
    diff -rq --exclude=PackageLock.ins "$client" "$game/Publish" || true
    exit 1
fi
echo "== statistics received ($demo/stats.log):"
cat "$demo/stats.log" 2>/dev/null || true
if [ "$keep" -eq 1 ]; then
    echo "== still running: the launcher (pid $launcher) and the dev server (pid $server)"
fi
