"""Shared set-up of the end-to-end tests: where the builds are, and the dev
server and fresh Wine prefixes, started through scripts/lib/peers.sh."""
import json
import lzma
import os
import pathlib
import random
import shutil
import subprocess
import tempfile
import time
import urllib.request
from xml.etree import ElementTree

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINE = "/usr/lib/wine/wine64"
PEERS = ["bash", str(ROOT / "scripts/lib/peers.sh")]


def build_dir(variable, default):
    return pathlib.Path(os.environ.get(variable, ROOT / "build" / default))


def start_devserver(tools, root, *arguments, logs=None):
    """The dev server of `tools` serving `root` (on a free port unless --port is
    among the arguments), up once this returns; its port is `.port`, its log
    logs/devserver.log when `logs` is given."""
    env = dict(os.environ, PEERS_BIN=str(tools), **({"PEERS_LOGS": str(logs)} if logs else {}))
    process = subprocess.Popen([*PEERS, "devserver", str(root), *map(str, arguments)], stdout=subprocess.PIPE,
                               env=env)
    line = process.stdout.readline().decode()
    if not line.startswith("listening on 127.0.0.1:"):
        process.wait(timeout=30)
        raise RuntimeError(f"the dev server did not start: {line!r}")
    process.port = int(line.strip().rsplit(":", 1)[1])
    return process


@pytest.fixture(scope="session")
def linux_bin():
    folder = build_dir("LAUNCHER_LINUX_BUILD", "linux-asan") / "bin"
    if not (folder / "qtmx").exists():
        pytest.skip(f"no native launcher in {folder}")
    return folder


@pytest.fixture(scope="session")
def windows_bin():
    folder = build_dir("LAUNCHER_WINDOWS_BUILD", "windows-demo") / "bin"
    if not (folder / "qtmx.exe").exists():
        pytest.skip(f"no Windows launcher in {folder}")
    return folder


class Wine:
    """A fresh prefix; programs run with a virtual display when one is set."""

    def __init__(self, variables):
        self.env = dict(os.environ, **variables)
        self.prefix = pathlib.Path(variables["WINEPREFIX"])

    @property
    def appdata(self):
        user = os.environ.get("USER") or "root"
        return self.prefix / "drive_c" / "users" / user / "AppData" / "Roaming"

    def start(self, exe, *arguments, cwd=None, env=None):
        return subprocess.Popen([WINE, str(exe), *arguments], env=dict(self.env, **(env or {})), cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_all(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)

    def set_windows_managed(self, managed):
        """Whether Wine hands its top-level windows to a window manager (its
        default). Xvfb runs none, and Wine then waits two seconds for one on
        every hide of a window (x11drv's wait for the withdrawn state)."""
        key = r"HKCU\Software\Wine\X11 Driver"
        command = ["reg", "delete", key, "/v", "Managed", "/f"] if managed else \
            ["reg", "add", key, "/v", "Managed", "/d", "N", "/f"]
        subprocess.run([WINE, *command], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def new_wine():
    """A fresh prefix under /tmp, set up once, whose desktop lies inside it."""
    lines = subprocess.run([*PEERS, "wine-prefix"], check=True, capture_output=True, text=True,
                           timeout=240).stdout.splitlines()
    return Wine(dict(line.split("=", 1) for line in lines))


def remove_wine(runner):
    runner.stop_all()
    shutil.rmtree(runner.prefix, ignore_errors=True)


@pytest.fixture(scope="session")
def wine():
    runner = new_wine()
    yield runner
    remove_wine(runner)


def wait_for_lines(path, wanted, timeout=60.0):
    """Waits until the file holds every wanted text; returns its text."""
    deadline = time.monotonic() + timeout
    text = ""
    while time.monotonic() < deadline:
        if path.exists():
            text = path.read_text(encoding="utf-8", errors="replace")
            if all(w in text for w in wanted):
                return text
        time.sleep(0.2)
    missing = [w for w in wanted if w not in text]
    raise AssertionError(f"{path} lacks {missing}; it holds:\n{text}")


def stop(process):
    if process.poll() is None:
        process.kill()
    process.wait(timeout=30)


# --- the update server ------------------------------------------------------
# The test builds point at the dev server on 127.0.0.1:18080 (statistics on
# 8001), so one is started for the whole session with a client published by
# the publisher tool: version 1.0.5 for every server.
CLIENT_VERSION = "1.0.5"
# The demo game, when the Windows build made it: the launcher starts it from here.
GAME_PATH = "Bin/Win32/ReleaseStatic/RWGame.exe"
CLIENT_PATH = "mirra/client"
# Each test that logs in by key has a user of its own in the statistics.
AUTOLOGIN = {"e2ekey456789": "sid=7&uid=42&time=5", "e2egamekey01": "sid=7&uid=77&time=5"}
# The font the game needs: a free CJK TrueType font (Debian's fonts-droid-fallback)
# stands in for SimHei, brought by the publisher to the checksum the launcher accepts.
FONT_SOURCE = pathlib.Path("/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf")
FONT_CRC32C = "0x03487F00"


def make_client(folder):
    """A small client: an executable, packed text, stored random data, a UTF-8
    name, an empty file, and folders three levels deep. "Bin" is spelt as the
    game's folder is: Windows names ignore case, so a "bin" would be the same folder."""
    rng = random.Random(5)
    files = {
        "qtmx_game.exe": bytes(rng.getrandbits(8) for _ in range(60000)) + b"\xE8\0\0\0\0" * 2000,
        "data/maps/world.dat": "".join(f"tile {i} grass\n" for i in range(40000)).encode(),
        "data/\u6570\u636e.txt": "\u971c\u77f3\u7eaa\u5143\n".encode() * 500,
        "Bin/x64/lib.dll": bytes(rng.getrandbits(8) for _ in range(30000)),
        "empty.bin": b"",
    }
    game = build_dir("LAUNCHER_WINDOWS_BUILD", "windows-demo") / "bin" / "RWGame.exe"
    if game.exists():
        files[GAME_PATH] = game.read_bytes()
    for name, data in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return files


def unpack_lzma86(container):
    """An Lzma86 container without the x86 filter: after its flag byte, an LZMA-alone stream."""
    return lzma.decompress(container[1:], format=lzma.FORMAT_ALONE)


class UpdateServer:
    def __init__(self, tools, root):
        self.tools = tools
        self.root = root
        self.client_dir = root.parent / "client"
        self.served = root / CLIENT_PATH
        self.stats_log = root.parent / "stats.log"
        self.files = make_client(self.client_dir)
        self.publish("client", "--source", self.client_dir, "--version", CLIENT_VERSION, "--out", self.served)
        self.publish("version", "--file", self.served / "ClientVersionSID.txt", "--set", f"default={CLIENT_VERSION}")
        # Packed once for the session (LZMA of 4 MB takes seconds); without the
        # font package every launcher logs that the font could not be installed.
        self.font = self.served / "simhei.fnt"
        if FONT_SOURCE.exists():
            self.publish("font", "--source", FONT_SOURCE, "--out", self.font, "--force-crc32c", FONT_CRC32C)

    def publish(self, *arguments):
        subprocess.run([str(self.tools / "publish"), *map(str, arguments)], check=True,
                       stdout=subprocess.DEVNULL)

    def start(self):
        autologin = self.root.parent / "autologin.json"
        autologin.write_text(json.dumps(AUTOLOGIN))
        self.process = start_devserver(self.tools, self.root, "--port", 18080, "--stats-port", 8001,
                                       "--stats-log", self.stats_log, "--autologin", autologin, logs=self.root.parent)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)

    def control(self, query):
        with urllib.request.urlopen(f"http://127.0.0.1:18080/__devserver/{query}", timeout=10) as answer:
            return answer.read().decode()

    def requests(self, clear=True):
        return self.control("requests?clear=1" if clear else "requests").splitlines()

    def stats(self):
        return self.stats_log.read_text().splitlines() if self.stats_log.exists() else []

    def unpacked_font(self):
        """simhei.ttf as the launcher unpacks it from the served container."""
        return unpack_lzma86(self.font.read_bytes())

    def manifest(self, version=CLIENT_VERSION):
        """The manifest's file elements as dictionaries, by name: numbers as
        ints, the SHA-256 as its hex text."""
        xml = unpack_lzma86((self.served / f"Startup{version}.crc").read_bytes())
        root = ElementTree.fromstring(xml)
        return {f.get("name"): {k: v if k == "sha256" else int(v) for k, v in f.attrib.items() if k != "name"}
                for f in root.iter("file")}


# Every launcher started by these tests logs in and asks this server, so it
# runs for the whole session.
@pytest.fixture(scope="session", autouse=True)
def update_server():
    tools = build_dir("LAUNCHER_LINUX_BUILD", "linux-asan") / "bin"
    if not (tools / "devserver").exists() or not (tools / "publish").exists():
        pytest.skip(f"no dev server or publisher in {tools}")
    base = pathlib.Path(tempfile.mkdtemp(prefix="launcher-e2e-server."))
    (base / "root").mkdir()
    server = UpdateServer(tools, base / "root")
    server.start()
    yield server
    server.stop()
    shutil.rmtree(base, ignore_errors=True)


def tree(folder):
    """Every file under `folder` with its bytes, by "/"-separated relative name."""
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}
