#!/usr/bin/env bash
# Screenshots of the launcher's windows as a player sees them: builds the
# Windows launcher (windows-demo) and the dev server, runs the windows' test
# under wine64 on a virtual 1280x1024 screen, and leaves the pictures in
# build/screenshots: main-frame, splash-failed, splash-connecting,
# splash-downloading, game-frame, game-frame-demo, bosskey-dialog and
# bosskey-dialog-enabled (each also as -screen, the whole screen).
#
#   bash scripts/screenshots.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/bootstrap.sh >/dev/null
cmake --preset linux-asan >/dev/null
cmake --build build/linux-asan --target devserver publish >/dev/null
cmake --preset windows-demo >/dev/null
cmake --build build/windows-demo --target qtmx PostHotKey >/dev/null
source scripts/lib/peers.sh
unset DISPLAY
peers_display
LAUNCHER_SCREENSHOTS="$root/build/screenshots" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
    Tests/EndToEnd/test_windows.py
ls "$root"/build/screenshots/*.png
