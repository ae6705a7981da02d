#!/usr/bin/env bash
# The launcher's windows, measured: time from start to the main frame drawn on
# screen, natively (linux-demo) and under wine64 (windows-demo, a warm prefix),
# then, natively, the share of a core the launcher takes while its main frame
# and login page wait, and its resident memory with WebKit's helper processes.
# Under wine64 it measures a minimal layered window started the same way beside
# the launcher, the idle share of the launcher and of wineserver with the main
# frame, and the launcher's share while the demo game runs in its frame.
# On a desktop of its own, against the dev server on 127.0.0.1:18080 serving the
# demo's login page and font (build/demo, made by scripts/demo.sh) and a client
# of its own with the Windows demo game.
#
#   bash scripts/bench-window.sh [RUNS]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${1:-3}
served=build/demo/root
[ -f "$served/mirra/client/ClientVersionSID.txt" ] || { echo "bench-window: run scripts/demo.sh first" >&2; exit 1; }
source scripts/lib/peers.sh
peers_desktop
# The demo's login page and font, with a client of its own that holds the
# Windows demo game (the demo's may hold the native one).
cp -r "$served" "$peers_work/root"
served=$peers_work/root
client=$peers_work/client
mkdir -p "$client/Bin/Win32/ReleaseStatic"
cp build/windows-demo/bin/RWGame.exe "$client/Bin/Win32/ReleaseStatic/RWGame.exe"
rm -f "$served"/mirra/client/Startup*
build/linux-demo/bin/publish client --source "$client" --version 1.0.5 --out "$served/mirra/client" >/dev/null
PEERS_BIN=build/linux-demo/bin peers_devserver "$served" --port 18080 >/dev/null || exit 1

# Seconds from $1 until a 1280 x 829 launcher window shows a drawn pixel.
seconds_to_drawn_frame() {
    local start=$1 window shape x y pixel
    for _ in $(seq 1200); do
        for window in $(xdotool search --onlyvisible --name "霜石纪元" 2>/dev/null); do
            shape=$(xdotool getwindowgeometry --shell "$window" 2>/dev/null | tr '\n' ' ')
            [[ $shape == *"WIDTH=1280 HEIGHT=829"* ]] || continue
            read -r x y < <(echo "$shape" | sed -E 's/.*X=([-0-9]+) Y=([-0-9]+).*/\1 \2/')
            pixel=$(import -window root -crop "1x1+$((x + 640))+$((y + 420))" txt:- 2>/dev/null | tail -n 1)
            # Neither unpainted (black) nor see-through to the root window (grey).
            [[ -n $pixel && $pixel != *"#000000"* && $pixel != *"#808080"* ]] || continue
            echo "$(date +%s.%N) - $start" | bc
            return
        done
        sleep 0.05
    done
    echo "never"
}

folder=$peers_work/native/Brightfen/rwgametidemark
mkdir -p "$folder"
cp build/linux-demo/bin/qtmx "$folder/qtmx.exe"
for run in $(seq "$runs"); do
    start=$(date +%s.%N)
    XDG_CONFIG_HOME=$peers_work/native XDG_DATA_HOME=$peers_work/data "$folder/qtmx.exe" 2>/dev/null &
    launcher=$!
    echo "native: main frame drawn after $(seconds_to_drawn_frame "$start") s (run $run)"
    if [ "$run" -eq "$runs" ]; then
        sleep 5
        ticks=$(awk '{print $14 + $15}' "/proc/$launcher/stat")
        sleep 10
        ticks=$(($(awk '{print $14 + $15}' "/proc/$launcher/stat") - ticks))
        echo "native: idle with the main frame: $(echo "scale=2; $ticks * 10 / $(getconf CLK_TCK)" | bc) % of a core over 10 s"
        echo "native: resident memory: launcher $(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$launcher/status") MB" \
            "$(for helper in $(pgrep -f 'WebKit(Network|Web)Process'); do
                awk -v name="$(cat "/proc/$helper/comm")" '/VmRSS/ {printf "+ %s %d MB ", name, $2 / 1024}' \
                    "/proc/$helper/status"; done)"
    fi
    kill "$launcher"
    wait "$launcher" 2>/dev/null || true
done

peers_wine --warm
peers_wine_setup >/dev/null 2>&1
folder=$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Roaming/Brightfen/rwgametidemark
mkdir -p "$folder"
cp build/windows-demo/bin/qtmx.exe "$folder/qtmx.exe"
cp build/windows-demo/bin/FirstWindow.exe "$peers_work/FirstWindow.exe"

# Starts a Windows program under wine64 from /tmp (its pid in $started).
start_windows() {
    (cd /tmp && exec env "${@:2}" /usr/lib/wine/wine64 "$1" >/dev/null 2>&1) &
    started=$!
}

stop_windows() {
    kill "$started"
    wait "$started" 2>/dev/null || true
    # What the launcher started (the game) goes too; programs of other prefixes stay.
    local pid
    for pid in $(pgrep -f 'qtmx\.exe|RWGame\.exe|FirstWindow\.exe'); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            kill "$pid" 2>/dev/null || true
        fi
    done
    sleep 1
}

# Seconds of CPU the process $1 has used so far.
cpu_seconds() {
    echo "scale=3; $(awk '{print $14 + $15}' "/proc/$1/stat") / $(getconf CLK_TCK)" | bc
}

# Percent of a core: CPU seconds $2 - $1 over $3 seconds.
percent() {
    echo "scale=2; ($2 - $1) * 100 / $3" | bc
}

# The wineserver of this prefix: its folder is named after the prefix's device and inode.
wineserver_of_prefix() {
    local folder pid
    folder=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for pid in $(pgrep -f wineserver); do
        [[ $(readlink "/proc/$pid/cwd") == */"$folder" ]] && echo "$pid" && return
    done
}

resident_mb() {
    awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$1/status"
}

# The launcher and a minimal layered window started the same way, turn about.
for run in $(seq "$runs"); do
    start=$(date +%s.%N)
    start_windows "$peers_work/FirstWindow.exe"
    echo "wine64: a minimal layered window drawn after $(seconds_to_drawn_frame "$start") s (run $run)"
    stop_windows
    start=$(date +%s.%N)
    start_windows "$folder/qtmx.exe"
    echo "wine64: main frame drawn after $(seconds_to_drawn_frame "$start") s (run $run)"
    stop_windows
done

# Idle with the main frame: the launcher and wineserver, which works on its behalf.
start_windows "$folder/qtmx.exe"
sleep 10
launcher=$(pgrep -f 'rwgametidemark.qtmx\.exe' | head -n 1)
server=$(wineserver_of_prefix)
launcher_before=$(cpu_seconds "$launcher") server_before=$(cpu_seconds "$server")
sleep 20
echo "wine64: idle with the main frame: launcher $(percent "$launcher_before" "$(cpu_seconds "$launcher")" 20) %" \
    "+ wineserver $(percent "$server_before" "$(cpu_seconds "$server")" 20) % of a core over 20 s"
echo "wine64: resident memory with the main frame: $(resident_mb "$launcher") MB after 30 s"
stop_windows

# The game in its frame: the login comes from the frame probe, the client from
# the dev server; the launcher alone is measured while the demo game runs.
start_windows "$folder/qtmx.exe" LAUNCHER_FRAME_PROBE="login=sid=7&uid=bench&time=0"
for _ in $(seq 600); do
    pgrep -f 'RWGame\.exe' >/dev/null && break
    sleep 0.1
done
sleep 5
launcher=$(pgrep -f 'rwgametidemark.qtmx\.exe' | head -n 1)
if pgrep -f 'RWGame\.exe' >/dev/null; then
    launcher_before=$(cpu_seconds "$launcher")
    sleep 20
    echo "wine64: the game running in its frame: launcher $(percent "$launcher_before" "$(cpu_seconds "$launcher")" 20) % of a core over 20 s"
else
    echo "wine64: the demo game never started; see $folder/Launcher.txt"
fi
mkdir -p build/screenshots && import -window root build/screenshots/bench-game-frame.png 2>/dev/null || true
cp "$folder/Launcher.txt" build/screenshots/bench-game-frame-Launcher.txt 2>/dev/null || true
stop_windows
