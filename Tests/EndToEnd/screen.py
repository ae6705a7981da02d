"""The launcher's windows on the X display the end-to-end tests run on, found
by title and size with xdotool, clicked, and kept as screenshots in
build/screenshots (or LAUNCHER_SCREENSHOTS) for people to look at."""
import os
import pathlib
import subprocess
import time

from PIL import Image

from conftest import ROOT

TITLE = "\u971c\u77f3\u7eaa\u5143"
SPLASH_SIZE = (591, 304)
MAIN_FRAME_SIZE = (1280, 829)
# The game frame fills the work area: without a window manager, the screen.
GAME_FRAME_SIZE = (1280, 1024)
# Window coordinates: a point near the start of the bar.
BAR_START = (87 + 12, 178)
# The game frame's close button, maximised on the 1280-pixel screen.
CLOSE_BUTTON = (1260, 16)


def screenshots():
    folder = pathlib.Path(os.environ.get("LAUNCHER_SCREENSHOTS", ROOT / "build" / "screenshots"))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def window_geometry(size, timeout=60.0):
    """(x, y, width, height) of the mapped launcher window of that size, found by its title."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                               capture_output=True, text=True)
        for window in found.stdout.split():
            shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                   capture_output=True, text=True).stdout
            values = dict(line.split("=", 1) for line in shape.split())
            # A window can close between the search and the query: nothing to read then.
            if "WIDTH" in values and (int(values["WIDTH"]), int(values["HEIGHT"])) == size:
                return int(values["X"]), int(values["Y"]), *size
        time.sleep(0.2)
    raise AssertionError(f"no {size[0]} x {size[1]} window was shown")


def shoot_painted(name, geometry, point, timeout=15.0):
    """A screenshot once the window's first paint has reached `point` (a window
    is mapped before it is painted, more so on a busy machine)."""
    deadline = time.monotonic() + timeout
    while True:
        picture = shoot(name, geometry)
        if picture.getpixel(point) != (0, 0, 0) or time.monotonic() > deadline:
            return picture
        time.sleep(0.3)


def shoot(name, geometry):
    """The whole screen and the window cut out of it; returns the cut-out."""
    whole = screenshots() / f"{name}-screen.png"
    subprocess.run(["import", "-window", "root", str(whole)], check=True)
    x, y, width, height = geometry
    splash = Image.open(whole).convert("RGB").crop((x, y, x + width, y + height))
    splash.save(screenshots() / f"{name}.png")
    return splash


def white_in(picture, box):
    """Some pixel of the box (left, top, right, bottom) is drawn white: a line of text."""
    return any(min(picture.getpixel((x, y))) > 200 for x in range(box[0], box[2]) for y in range(box[1], box[3]))


def click(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)


def step_codes(update_server, uid):
    """The milestones of one player (by user id) the statistics endpoint got, in order."""
    return [line.rsplit("step%3a", 1)[1] for line in update_server.stats() if f"uid%3a{uid}%2c" in line]
