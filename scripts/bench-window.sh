#!/usr/bin/env bash
# The launcher's windows, measured: time from start to the main frame drawn on
# screen, natively (linux-demo) and under wine64 (windows-demo, a warm prefix),
# then, natively, the share of a core the launcher takes while its main frame
# and login page wait, and its resident memory with WebKit's helper processes.
# On a desktop of its own, against the dev server on 127.0.0.1:18080 (the demo's
# published client in build/demo, made by scripts/demo.sh).
#
#   bash scripts/bench-window.sh [RUNS]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${1:-3}
served=build/demo/root
[ -f "$served/mirra/client/ClientVersionSID.txt" ] || { echo "bench-window: run scripts/demo.sh first" >&2; exit 1; }
source scripts/lib/peers.sh
PEERS_BIN=build/linux-demo/bin peers_devserver "$served" --port 18080 >/dev/null || exit 1
peers_desktop

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
for run in $(seq "$runs"); do
    start=$(date +%s.%N)
    (cd /tmp && exec /usr/lib/wine/wine64 "$folder/qtmx.exe" >/dev/null 2>&1) &
    launcher=$!
    echo "wine64: main frame drawn after $(seconds_to_drawn_frame "$start") s (run $run)"
    kill "$launcher"
    wait "$launcher" 2>/dev/null || true
done
