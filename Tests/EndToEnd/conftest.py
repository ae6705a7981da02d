"""Shared set-up of the end-to-end tests: where the builds are, and a fresh
Wine prefix for the Windows runs."""
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINE = "/usr/lib/wine/wine64"


def build_dir(variable, default):
    return pathlib.Path(os.environ.get(variable, ROOT / "build" / default))


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

    def __init__(self, prefix):
        self.prefix = pathlib.Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    @property
    def appdata(self):
        user = os.environ.get("USER") or "root"
        return self.prefix / "drive_c" / "users" / user / "AppData" / "Roaming"

    def start(self, exe, *arguments, cwd=None):
        return subprocess.Popen([WINE, str(exe), *arguments], env=self.env, cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_all(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)


@pytest.fixture(scope="session")
def wine():
    prefix = tempfile.mkdtemp(prefix="launcher-e2e-wine.")
    runner = Wine(prefix)
    # The first start of a prefix sets it up (about ten seconds).
    subprocess.run([WINE, "wineboot", "-i"], env=runner.env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
    yield runner
    runner.stop_all()
    shutil.rmtree(prefix, ignore_errors=True)


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
