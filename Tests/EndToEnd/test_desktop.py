"""The native launcher on a Linux desktop (GTK 3, the login page in WebKitGTK),
over a real update from the dev server: the main frame with the demo login page,
an account typed and the login clicked, the page's script reaching the launcher,
the splash while the client comes, the native demo game in the game frame until
the frame's close button, and the statistics' milestones in order. Each moment
is kept as a screenshot (native-*.png) beside the Windows ones."""
import os
import shutil
import subprocess
import time

import pytest

from conftest import GAME_PATH, ROOT, build_dir, stop, wait_for_lines
from screen import (BAR_START, CLOSE_BUTTON, GAME_FRAME_SIZE, MAIN_FRAME_SIZE, SPLASH_SIZE, click, shoot_painted,
                    step_codes, white_in, window_geometry)

# The page's account field and login button, in main-frame coordinates: the page
# sits at (474, 305) in the frame; the field and the button at the middle of its
# 340-pixel panel.
ACCOUNT_FIELD = (474 + 350, 305 + 188)
LOGIN_BUTTON = (474 + 350, 305 + 248)


# The client with the native demo game where the launcher runs the game,
# published under a version of its own that the launcher is told to take.
NATIVE_VERSION = "1.0.7"


def publish_native_client(update_server, game, folder):
    shutil.copytree(update_server.client_dir, folder)
    (folder / GAME_PATH).parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(game, folder / GAME_PATH)
    update_server.publish("client", "--source", folder, "--version", NATIVE_VERSION, "--out", update_server.served)


@pytest.fixture
def desktop_launcher(tmp_path, update_server):
    build = build_dir("LAUNCHER_DESKTOP_BUILD", "linux-demo") / "bin"
    if not (build / "qtmx").exists() or not (build / "RWGame").exists():
        pytest.skip(f"no native launcher with windows and no native demo game in {build}")
    if not os.environ.get("DISPLAY") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        pytest.skip("no desktop (scripts/lib/peers.sh peers_desktop starts one)")
    # The login page the demo addresses name, served beside the client.
    shutil.copy(ROOT / "Resources" / "DemoSite" / "login.html", update_server.root / "login.html")
    publish_native_client(update_server, build / "RWGame", tmp_path / "client")
    config_home = tmp_path / "config"
    folder = config_home / "Brightfen" / "rwgametidemark"
    folder.mkdir(parents=True)
    shutil.copy(build / "qtmx", folder / "qtmx.exe")
    # The font in place, as after a first start: the splash shows the update alone.
    if update_server.font.exists():
        (folder / "simhei.ttf").write_bytes(update_server.unpacked_font())
    # Its own home: the desktop link never lands in the real one.
    env = dict(os.environ, XDG_CONFIG_HOME=str(config_home), HOME=str(tmp_path),
               XDG_DATA_HOME=str(tmp_path / "data"))
    with open(tmp_path / "stderr.txt", "wb") as sink:
        process = subprocess.Popen([str(folder / "qtmx.exe"), f"forceversion={NATIVE_VERSION}"], env=env, cwd="/", stdout=subprocess.DEVNULL,
                                   stderr=sink)
    yield folder
    stop(process)


def log_in(geometry, log, account, timeout=60.0):
    """Types the account into the page and clicks its button, again until the
    page's script has called the launcher (the page shows once it has loaded)."""
    x, y = geometry[:2]
    deadline = time.monotonic() + timeout
    while "invoke_client: login" not in log.read_text(encoding="utf-8", errors="replace"):
        assert time.monotonic() < deadline, "the login page never called the launcher"
        click(x + ACCOUNT_FIELD[0], y + ACCOUNT_FIELD[1])
        subprocess.run(["xdotool", "key", "ctrl+a", "type", account], check=True)
        click(x + LOGIN_BUTTON[0], y + LOGIN_BUTTON[1])
        time.sleep(1.0)


def test_login_page_to_the_game_in_its_frame(desktop_launcher, update_server):
    log = desktop_launcher / "Launcher.txt"
    update_server.stats_log.write_text("")
    geometry = window_geometry(MAIN_FRAME_SIZE)
    main = shoot_painted("native-main-frame", geometry, (640, 420))
    assert main.getpixel((640, 420)) != (0, 0, 0), "the frame's picture is drawn"
    # The package comes slowly enough (seconds) to see the splash's bar move.
    update_server.control("faults?delay-ms=1000&for-path=.pkg")
    try:
        log_in(geometry, log, "player7")
        # The page's arguments, last first, as the Windows bridge hands them over.
        wait_for_lines(log, ["arg: login", "arg: sid=7&uid=player7&time=0",
                             "invoke_client: login, sid=7&uid=player7&time=0"])
        wait_for_lines(log, [f"downloading http://127.0.0.1:18080/mirra/client/Startup{NATIVE_VERSION}.pkg"])
        splash = window_geometry(SPLASH_SIZE)
        # Long enough for the rate to be known (bytes moving for a second).
        time.sleep(2.5)
        shot = shoot_painted("native-splash", splash, BAR_START)
        assert white_in(shot, (85, 203, 200, 217)), "the rate and the time left"
        assert window_geometry(SPLASH_SIZE, timeout=1.0) == splash, "still downloading"
        wait_for_lines(log, [f"Client updated to Startup{NATIVE_VERSION}.pkg"], timeout=120)
    finally:
        update_server.control("faults")
    # The native demo game draws into its view in the game frame; the frame's
    # close button asks it to close, and the main frame comes back.
    wait_for_lines(log, ["The game's main window:", "The game closes on request"], timeout=60)
    frame = shoot_painted("native-game-frame", window_geometry(GAME_FRAME_SIZE), (640, 500))
    assert frame.getpixel((640, 500)) != (0, 0, 0), "the game draws its scene in the view"
    click(*CLOSE_BUTTON)
    wait_for_lines(log, ["The game's window is gone; closing its frame"])
    shoot_painted("native-main-frame-again", window_geometry(MAIN_FRAME_SIZE), (640, 420))
    # A login on the page has no command-line step (1002): the progress tenths
    # come in order, then the game's start.
    deadline = time.monotonic() + 30
    while "1014" not in step_codes(update_server, "player7"):
        assert time.monotonic() < deadline, step_codes(update_server, "player7")
        time.sleep(0.2)
    codes = step_codes(update_server, "player7")
    assert codes[0] == "1004" and "1013" in codes and codes[-1] == "1014", codes
    assert codes == sorted(set(codes)), codes
