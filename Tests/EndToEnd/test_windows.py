"""The Windows launcher under Wine shows its windows over a real update from the
dev server: the main frame, the splash screen (an update that gave up and says
it will try again, connecting, downloading, waiting for the font) and the game
frame, with the demo game inside it, closing as the player asks and bringing the
main frame back; the desktop link and the boss key with its dialog. Each moment is
kept as a screenshot in build/screenshots (or LAUNCHER_SCREENSHOTS) for people
to look at; the test itself checks the windows through X and the bar's pixels."""
import pathlib
import shutil
import subprocess
import time

import pytest

from conftest import CLIENT_VERSION, GAME_PATH, WINE, stop, wait_for_lines
from screen import (BAR_START, CLOSE_BUTTON, GAME_FRAME_SIZE, MAIN_FRAME_SIZE, SPLASH_SIZE, TITLE, click, shoot,
                    shoot_painted, step_codes, white_in, window_geometry)


@pytest.fixture
def game(wine, windows_bin, update_server):
    folder = wine.appdata / "Brightfen" / "rwgametidemark"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    shutil.copy(windows_bin / "qtmx.exe", folder / "qtmx.exe")
    # The font in place, as after a first start: the splash shows the update alone.
    if update_server.font.exists():
        (folder / "simhei.ttf").write_bytes(update_server.unpacked_font())

    class Game:
        def __init__(self):
            self.processes = []
            self.folder = folder

        def __call__(self, *arguments):
            (folder / "Launcher.txt").unlink(missing_ok=True)
            self.processes.append(wine.start(folder / "qtmx.exe", *arguments, cwd="/tmp"))
            return folder / "Launcher.txt"

        def stop_all(self):
            for process in self.processes:
                stop(process)
            self.processes = []
            wine.stop_all()

    runner = Game()
    yield runner
    runner.stop_all()


def test_main_frame_then_splash_then_game_frame(game, update_server):
    # Started without a login: the main frame waits for one.
    stale = [game.folder / "Startup1.pkg", game.folder / "README", game.folder / "Publish" / "data.bin"]
    kept = [game.folder / "Setting.ini", game.folder / "Publish" / "Bin" / "data.bin"]
    for path in stale + kept:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"x")
    log = game()
    geometry = window_geometry(MAIN_FRAME_SIZE)
    main = shoot_painted("main-frame", geometry, (300, 20))
    assert main.getpixel((300, 20)) != (0, 0, 0), "the frame's picture is drawn"
    # The "clear" button cleans the cache: downloads go, the launcher and sub-folders stay.
    click(geometry[0] + 1054 + 40, geometry[1] + 709 + 12)
    wait_for_lines(log, ["Cache cleaned:"])
    assert [path.exists() for path in stale + kept] == [False] * len(stale) + [True] * len(kept)
    assert (game.folder / "qtmx.exe").exists()
    game.stop_all()

    # A version that cannot name a package ends the update at once.
    log = game("forceversion=1.0.5/../x", "forcearg={sid=7&uid=6&time=0}")
    wait_for_lines(log, ["cannot name a package"])
    geometry = window_geometry(SPLASH_SIZE)
    # Centred on the 1280 x 1024 screen.
    assert abs(geometry[0] + geometry[2] // 2 - 640) <= 1 and abs(geometry[1] + geometry[3] // 2 - 512) <= 1
    time.sleep(1.0)
    failed = shoot("splash-failed", geometry)
    # A white line centred on the status row (from x 440 the normal lines start).
    assert any(min(failed.getpixel((x, 210))) > 200 for x in range(150, 300)), "the failure line is drawn"
    game.stop_all()

    # The manifest's answer waits long enough to see the launcher connecting
    # (the splash comes after the main frame has gone); then the package's
    # answer waits before each 64 KiB, to see it downloading.
    update_server.control("faults?delay-ms=10000&for-path=.crc")
    try:
        log = game("forcearg={sid=7&uid=5&time=0}")
        wait_for_lines(log, [f"Startup{CLIENT_VERSION}.crc"])
        geometry = window_geometry(SPLASH_SIZE)
        connecting = shoot("splash-connecting", geometry)
        update_server.control("faults?delay-ms=3000&for-path=.pkg")
        wait_for_lines(log, [f"downloading http://127.0.0.1:18080/mirra/client/Startup{CLIENT_VERSION}.pkg"])
        time.sleep(4.5)
        assert window_geometry(SPLASH_SIZE, timeout=1.0) == geometry, "still downloading"
        downloading = shoot("splash-downloading", geometry)
    finally:
        update_server.control("faults")
    assert connecting.getpixel(BAR_START) != downloading.getpixel(BAR_START), "the bar fills up"
    assert connecting.getpixel(BAR_START) == failed.getpixel(BAR_START), "no bar after a failure"

    # Up to date: the game frame takes the splash's place and starts the game.
    wait_for_lines(log, [f"Client updated to Startup{CLIENT_VERSION}.pkg", "Run "])
    frame = shoot_painted("game-frame", window_geometry(GAME_FRAME_SIZE), (640, 10))
    assert frame.getpixel((640, 10)) != (0, 0, 0), "the title band is drawn"


def test_the_game_plays_in_its_frame_and_closes_back_to_the_main_frame(game, update_server):
    if GAME_PATH not in update_server.files:
        pytest.skip("no demo game in the Windows build")
    # The player's road: the auto-login key, translated by the dev server.
    log = game("autologinkey=e2egamekey01")
    wait_for_lines(log, ["The game's main window:", "The game closes on request"], timeout=120)
    assert "sid=7,uid=77,time=5" in wait_for_lines(log, ["Run "])
    shoot("game-frame-demo", window_geometry(GAME_FRAME_SIZE))
    # A cooperative game closes when asked; its frame goes and the main frame comes back.
    click(*CLOSE_BUTTON)
    wait_for_lines(log, ["The game's window is gone; closing its frame"])
    window_geometry(MAIN_FRAME_SIZE)
    codes = step_codes(update_server, 77)
    assert codes == sorted(set(codes)), codes
    assert codes[0] == "1002" and "1013" in codes and codes[-1] == "1014", codes
    game.stop_all()

    # A game that ignores the request: a second press 6 s later closes the frame anyway.
    log = game("forcearg={sid=7&uid=43 --ignore-close}")
    wait_for_lines(log, ["The game closes on request"], timeout=120)
    window_geometry(GAME_FRAME_SIZE)
    click(*CLOSE_BUTTON)
    time.sleep(6.0)
    assert "closing its frame" not in log.read_text(encoding="utf-8", errors="replace")
    click(*CLOSE_BUTTON)
    wait_for_lines(log, ["The game did not close in time; closing its frame"])
    window_geometry(MAIN_FRAME_SIZE)


def font_fetches(update_server):
    return [r for r in update_server.requests() if r.startswith("GET /mirra/client/simhei.fnt ")]


def test_the_game_waits_for_the_font_it_needs(game, update_server):
    if not update_server.font.exists():
        pytest.skip("no font to serve (fonts-droid-fallback)")
    (game.folder / "simhei.ttf").unlink()
    update_server.requests()
    # The font's answer waits before each 64 KiB, so the client is in place long before it.
    update_server.control("faults?delay-ms=500&for-path=.fnt")
    try:
        log = game("forcearg={sid=7&uid=8&time=0}")
        wait_for_lines(log, ["Installing the font from http://127.0.0.1:18080/mirra/client/simhei.fnt",
                             f"Client updated to Startup{CLIENT_VERSION}.pkg"])
        geometry = window_geometry(SPLASH_SIZE)
        # Long enough for the rate to be known (bytes moving for a second).
        time.sleep(2.5)
        waiting = shoot("splash-font", geometry)
        text = log.read_text(encoding="utf-8", errors="replace")
        assert "Font installed" not in text and "Run " not in text, "the game waits for the font"
    finally:
        update_server.control("faults")
    # The bar and the percentage follow the font's download, and its rate and time left show.
    assert waiting.getpixel(BAR_START) != (0, 0, 0) and white_in(waiting, (440, 203, 520, 217))
    assert white_in(waiting, (85, 203, 200, 217)), "the rate and the time left"
    text = wait_for_lines(log, ["Font installed: ", "Run "])
    assert text.index("Font installed: ") < text.index("Run ")
    assert (game.folder / "simhei.ttf").read_bytes() == update_server.unpacked_font()
    assert len(font_fetches(update_server)) == 1


# The game frame's boss-key button, maximised on the 1280-pixel screen.
BOSSKEY_BUTTON = (1150, 16)


def key(*names):
    subprocess.run(["xdotool", "key", *names], check=True)


def wine_tool(wine, *arguments):
    return subprocess.run([WINE, *arguments], env=wine.env, capture_output=True, text=True,
                          check=True).stdout


def desktop_folder(wine):
    """The prefix's desktop as the shell names it (CSIDL_DESKTOPDIRECTORY), as a Unix path."""
    answer = wine_tool(wine, "reg", "query",
                       r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders", "/v", "Desktop")
    windows_path = answer.split("REG_SZ", 1)[1].strip()
    return pathlib.Path(wine_tool(wine, "winepath", "-u", windows_path).strip())


def dialog_geometry():
    """(x, y, width, height) of the boss-key dialog, or None. It has no title to find it by:
    it is the launcher's one small visible window."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "qtmx.exe"],
                           capture_output=True, text=True)
    for window in found.stdout.split():
        shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                               capture_output=True, text=True).stdout
        values = {k: int(v) for k, v in (line.split("=", 1) for line in shape.split()) if v.isdigit()}
        if 200 <= values.get("WIDTH", 0) <= 600 and 60 <= values.get("HEIGHT", 0) <= 300:
            return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]
    return None


def open_dialog():
    """Clicks the frame's button; returns the dialog's geometry and a function giving where
    a point of it (in dialog units, 225 x 78 in all) is on screen."""
    click(*BOSSKEY_BUTTON)
    deadline = time.monotonic() + 15.0
    while (geometry := dialog_geometry()) is None:
        assert time.monotonic() < deadline, "the boss-key dialog was not shown"
        time.sleep(0.2)
    x, y, width, height = geometry
    return geometry, lambda dialog_x, dialog_y: (x + dialog_x * width // 225, y + dialog_y * height // 78)


def wait_dialog_gone():
    # Without a window manager Wine waits two seconds for a hidden window to be withdrawn.
    deadline = time.monotonic() + 15.0
    while dialog_geometry() is not None:
        assert time.monotonic() < deadline, "the boss-key dialog stays"
        time.sleep(0.2)


def shown(size, timeout=5.0):
    """Whether a window of that size is mapped, waiting a while for a hidden one to go."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            window_geometry(size, timeout=0.1)
        except AssertionError:
            return False
        if time.monotonic() > deadline:
            return True
        time.sleep(0.2)


def wait_for_file(path, content, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and path.read_bytes() == content:
            return
        time.sleep(0.2)
    raise AssertionError(f"{path} holds {path.read_bytes() if path.exists() else None!r}, not {content!r}")


def test_desktop_link_and_the_boss_key(game, wine, windows_bin, update_server):
    if GAME_PATH not in update_server.files or not (windows_bin / "PostHotKey.exe").exists():
        pytest.skip("no demo game or no PostHotKey helper in the Windows build")
    home = pathlib.Path.home()

    def home_files():
        return ({*home.glob("*"), *(home / "Desktop").rglob("*"), *(home / ".local/share/applications").rglob("*")})

    before = home_files()
    log = game("forcearg={sid=7&uid=44&time=0}")
    launcher = log.parent
    text = wait_for_lines(log, ["Game shortcut saved:", "No home-page shortcut: the product names none",
                                "The game closes on request"], timeout=120)

    # One link on the shell's desktop, to the launcher that runs; none named ".lnk".
    desktop = desktop_folder(wine)
    assert desktop.resolve().is_relative_to(wine.prefix.resolve()), f"the desktop is outside the prefix: {desktop}"
    assert sorted(p.name for p in desktop.glob("*.lnk")) == [f"{TITLE}.lnk"]
    link = (desktop / f"{TITLE}.lnk").read_bytes()
    assert b"\\brightfen\\rwgametidemark\\qtmx.exe" in link.lower(), link
    assert "Game shortcut saved: C:\\users\\" in text
    # Neither the link nor Wine's menu builder reach the real home.
    assert home_files() == before, home_files() - before

    # The first opening offers Alt+E, not enabled; Escape applies and saves as OK does.
    settings = launcher / "Setting.ini"
    window_geometry(GAME_FRAME_SIZE)
    dialog, at = open_dialog()
    # A click on its label gives the dialog the keyboard.
    click(*at(25, 33))
    time.sleep(0.5)
    shoot("bosskey-dialog", dialog)
    key("Escape")
    wait_for_file(settings, b"1093,0")
    assert "UnregisterHotKey, ret 0" in wait_for_lines(log, ["UnregisterHotKey, ret"])
    wait_dialog_gone()

    # Again, switched on, and OK.
    dialog, at = open_dialog()
    click(*at(92, 59))
    time.sleep(0.5)
    shoot("bosskey-dialog-enabled", dialog)
    click(*at(193, 34))
    wait_for_file(settings, b"1093,1")
    wait_for_lines(log, ["RegisterHotKey, ret 1"])
    wait_dialog_gone()

    # Alt+E hides the frame...
    key("alt+e")
    wait_for_lines(log, ["Boss key: the game frame hides"])
    assert not shown(GAME_FRAME_SIZE)
    # ...and the next press brings it back. Windows delivers a hot key wherever the
    # keyboard is, Wine only while a Wine window has it, which no shown window of the
    # launcher now does: the helper posts it to the frame as Windows would.
    subprocess.run([WINE, str(windows_bin / "PostHotKey.exe")], env=wine.env, check=True)
    wait_for_lines(log, ["Boss key: the game frame comes back"])
    window_geometry(GAME_FRAME_SIZE)

    # Switched off: saved with 0, the key let go, and Alt+E on the frame does nothing more.
    _, at = open_dialog()
    click(*at(92, 59))
    click(*at(193, 34))
    wait_for_file(settings, b"1093,0")
    wait_for_lines(log, ["UnregisterHotKey, ret 1"])
    wait_dialog_gone()
    click(640, 16)
    key("alt+e")
    time.sleep(2.0)
    assert log.read_text(encoding="utf-8", errors="replace").count("the game frame hides") == 1
    assert shown(GAME_FRAME_SIZE)
