#!/usr/bin/env bash
# The player's whole road against the dev update server on this machine: builds
# what is missing, publishes a client folder (yours, or a small sample with the
# demo game Bin/Win32/ReleaseStatic/RWGame.exe), serves it and the demo login
# page (http://127.0.0.1:18080/login.html) on 127.0.0.1:18080 (statistics on
# 8001), then starts the Windows launcher under wine64 (on its own Xvfb when
# there is no display) as a player does: downloaded as qtmx_v<key>.exe, it
# installs itself, restarts with the auto-login key, shows the splash while the
# client comes, runs the demo game in its frame; the script then closes the
# game with the frame's close button and the main frame comes back. A
# screenshot of each stage lands in build/demo/screenshots.
#
#   bash scripts/demo.sh [--client DIR] [--version VER] [--native] [--keep]
#
#   --client DIR   the client folder to publish (default: a generated sample)
#   --version VER  the version to publish it as (default 1.0.5)
#   --native       run the native Linux launcher instead, with its windows (GTK 3,
#                  the login page in WebKitGTK) on a desktop of its own (or this
#                  one's DISPLAY): an account typed into the page, the splash, the
#                  client, the game in its frame; screenshots as for Wine
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
        -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
cmake --build --preset linux-demo --target respack publish devserver qtmx RWGame >"$demo/build-linux.log"
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
    # The game the launcher starts in its game window, under the name the
    # launcher runs: the Windows program, or for the native launcher the native one.
    mkdir -p "$client/Bin/Win32/ReleaseStatic"
    if [ "$native" -eq 0 ]; then
        cp build/windows-demo/bin/RWGame.exe "$client/Bin/Win32/ReleaseStatic/RWGame.exe"
    else
        cp "$tools/RWGame" "$client/Bin/Win32/ReleaseStatic/RWGame.exe"
    fi
fi

echo "== publish $client as version $version into $served"
"$tools/publish" client --source "$client" --version "$version" --out "$served"
"$tools/publish" version --file "$served/ClientVersionSID.txt" --set "default=$version"

# The font the game needs: a free CJK font stands in for SimHei, brought to the
# checksum the launcher accepts. Packed only when older than the font (LZMA of
# 4 MB takes a while).
font=/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf
if [ ! "$served/simhei.fnt" -nt "$font" ]; then
    "$tools/publish" font --source "$font" --out "$served/simhei.fnt" --force-crc32c 0x03487F00
fi

# The login page the demo launchers' main frame shows (LAUNCHER_LOGIN_PAGE_URL).
cp Resources/DemoSite/login.html "$demo/root/login.html"

echo "== dev server on 127.0.0.1:18080 (log: $demo/devserver.log; login page: /login.html)"
rm -f "$demo/stats.log"
# The download folder's name carries the player's auto-login key; the dev
# server translates it into the launch parameter. The package comes in pieces
# with a short pause, so the splash's bar can be seen moving.
key=vdemokey0001
printf '{"%s": "sid=7&uid=1&time=0"}\n' "$key" >"$demo/autologin.json"
source scripts/lib/peers.sh
PEERS_BIN=$tools PEERS_LOGS=$demo peers_devserver "$demo/root" --port 18080 --stats-log "$demo/stats.log" \
    --autologin "$demo/autologin.json" --delay-ms 250 --for-path .pkg || exit 1
[ "$keep" -eq 1 ] && peers_keep=1

# Waits until the log holds a line matching $2 (at most $3 seconds).
wait_for_log() {
    local log=$1 pattern=$2 seconds=${3:-120}
    for _ in $(seq $((seconds * 5))); do
        grep -Eq "$pattern" "$log" 2>/dev/null && return 0
        sleep 0.2
    done
    echo "demo: waited ${seconds}s for \"$pattern\" in $log" >&2
    return 1
}

# The screen position of the launcher window of that size: "X Y".
frame_origin() {
    local window shape
    for window in $(xdotool search --onlyvisible --name "霜石纪元" 2>/dev/null); do
        shape=$(xdotool getwindowgeometry --shell "$window" 2>/dev/null | tr '\n' ' ')
        if [[ $shape == *"WIDTH=$1 HEIGHT=$2"* ]]; then
            echo "$shape" | sed -E 's/.*X=([-0-9]+) Y=([-0-9]+).*/\1 \2/'
            return 0
        fi
    done
    return 1
}

# Waits until a launcher window (by its title) of that size is on screen.
wait_for_window() {
    local width=$1 height=$2 window shape
    for _ in $(seq 300); do
        for window in $(xdotool search --onlyvisible --name "霜石纪元" 2>/dev/null); do
            shape=$(xdotool getwindowgeometry --shell "$window" 2>/dev/null | tr '\n' ' ')
            [[ $shape == *"WIDTH=$width HEIGHT=$height"* ]] && return 0
        done
        sleep 0.2
    done
    echo "demo: no ${width}x${height} window appeared" >&2
    return 1
}

shots=$demo/screenshots
shoot() {
    import -window root "$shots/$1.png"
    echo "   screenshot: $shots/$1.png"
}

# The game in the launcher's frame, then the frame's close button: the game
# closes and the main frame comes back.
# The game in its frame, then the frame's close button; screenshots numbered from $1.
show_game_frame() {
    echo "== the game in its frame"
    wait_for_log "$game/Launcher.txt" 'The game closes on request' 60
    grep -E 'Run |The game' "$game/Launcher.txt" | sed 's/^.*Log: */   /'
    sleep 2
    shoot "$1-game-frame"
    echo "== the frame's close button: the game closes and the main frame comes back"
    # The close button sits 20 pixels in from the right edge of the maximised frame.
    read -r screen_width _ < <(xdotool getdisplaygeometry)
    xdotool mousemove $((screen_width - 20)) 16 click 1
    wait_for_log "$game/Launcher.txt" 'closing its frame' 30
    wait_for_window 1280 829
    sleep 1
    shoot "$(($1 + 1))-main-frame"
}

check_client() {
    if diff -rq --exclude=PackageLock.ins --exclude=Launcher.verified "$client" "$game/Publish" >/dev/null; then
        echo "== $game/Publish now equals $client"
    else
        echo "== $game/Publish differs from $client:"
        diff -rq --exclude=PackageLock.ins --exclude=Launcher.verified "$client" "$game/Publish" || true
        exit 1
    fi
}

if [ "$native" -eq 1 ]; then
    # The native launcher on a desktop of its own (Xvfb, a compositing manager,
    # a session bus) unless this one has a display: the main frame with the
    # login page in WebKitGTK, where the script types an account and clicks 登录.
    peers_desktop
    rm -rf "$shots"
    mkdir -p "$shots"
    export XDG_CONFIG_HOME=$demo/config XDG_DATA_HOME=$demo/data
    game=$XDG_CONFIG_HOME/Brightfen/rwgametidemark
    rm -rf "$game"
    mkdir -p "$game"
    cp "$tools/qtmx" "$game/qtmx.exe"
    echo "== start $game/qtmx.exe (display $DISPLAY)"
    "$game/qtmx.exe" 2>"$demo/launcher-stderr.log" &
    launcher=$!
    peer_pids+=("$launcher")
    wait_for_window 1280 829
    sleep 3
    shoot 1-main-frame
    echo "== the login page: an account typed, 登录 clicked"
    read -r frame_x frame_y < <(frame_origin 1280 829)
    for _ in $(seq 30); do
        grep -q 'invoke_client: login' "$game/Launcher.txt" 2>/dev/null && break
        # The page's account field and button, in the frame's coordinates.
        xdotool mousemove $((frame_x + 824)) $((frame_y + 493)) click 1 key ctrl+a type player1
        xdotool mousemove $((frame_x + 824)) $((frame_y + 553)) click 1
        sleep 1
    done
    grep -E 'Log: +(arg: |invoke_client)' "$game/Launcher.txt" | sed 's/^.*Log: */   /'
    echo "== the splash while the client comes"
    wait_for_log "$game/Launcher.txt" 'downloading .*\.pkg|Client is up to date'
    wait_for_window 591 304
    sleep 2
    shoot 2-splash
    wait_for_log "$game/Launcher.txt" 'Client (updated to|is up to date)|Package update failed' 300
    grep -E 'Client |Package update failed|Font ' "$game/Launcher.txt" | sed 's/^.*Log: */   /'
    check_client
    show_game_frame 3
else
    peers_wine "${WINEPREFIX:-$demo/wine}"
    peers_display
    [ -d "$WINEPREFIX/drive_c" ] || echo "== new Wine prefix $WINEPREFIX (about half a minute)"
    peers_wine_setup
    rm -rf "$shots"
    mkdir -p "$shots"
    game=$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Roaming/Brightfen/rwgametidemark
    # A player's first start: nothing installed yet.
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    rm -rf "$game"
    download=$demo/download
    rm -rf "$download"
    mkdir -p "$download"
    cp build/windows-demo/bin/qtmx.exe "$download/qtmx_$key.exe"
    echo "== start $download/qtmx_$key.exe under wine64 (display $DISPLAY)"
    (cd "$download" && /usr/lib/wine/wine64 "qtmx_$key.exe" >/dev/null 2>&1) &
    launcher=$!
    peer_pids+=("$launcher")

    echo "== it installs itself into $game and starts that copy with its key"
    wait_for_log "$game/Launcher.txt" 'AutoLoginUrlParam'
    grep -E 'autologinkey=|AutoLoginUrlParam' "$game/Launcher.txt" | sed 's/^.*Log: */   /'
    echo "== the splash while the client comes"
    wait_for_log "$game/Launcher.txt" 'downloading .*\.pkg|Client is up to date'
    wait_for_window 591 304
    sleep 2
    shoot 1-splash
    wait_for_log "$game/Launcher.txt" 'Client (updated to|is up to date)|Package update failed' 300
    grep -E 'Client |Package update failed|Font ' "$game/Launcher.txt" | sed 's/^.*Log: */   /'
    check_client
    show_game_frame 2
fi

echo "== statistics received ($demo/stats.log):"
cat "$demo/stats.log" 2>/dev/null || true
if [ "$keep" -eq 1 ]; then
    echo "== still running: the launcher (pid $launcher) and the dev server (pid ${peer_pids[0]})"
fi
