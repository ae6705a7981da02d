"""The launcher starts, writes its start-up lines to the log in the right place,
installs itself when started from elsewhere, claims a publish folder and keeps
running; natively and as the Windows build under Wine."""
import os
import pathlib
import shutil
import subprocess
import time

import pytest

from conftest import stop, wait_for_lines

STARTUP_LINES = [
    "Log:      Launcher started: ",
    "GetWindowsInfo: ",
    "GetOSLang: ",
    "HardwareDetect: ",
    "ForceArg: sid:12,uid:34,time:0",
    "SidString=12",
    "L_UidString=34",
    "Error:    failed to parse arg: ",
]
GAME_FOLDER = pathlib.Path("Brightfen") / "rwgametidemark"
KEYED_NAME = "qtmx_vabcdefghijk"


class Native:
    """The Linux build, started like conftest's Wine runner, with its own
    application-data folder."""

    def __init__(self, appdata):
        appdata.mkdir(parents=True)  # like the user's ~/.config, before the launcher starts
        self.appdata = appdata
        # The ASan build, without windows (see test_update.py's launcher).
        self.env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
        # The desktop's links land beside it, never in the real home.
        self.env.update(XDG_CONFIG_HOME=str(appdata), XDG_DATA_HOME=str(appdata.parent / "data"))

    def start(self, exe, *arguments, cwd=None):
        return subprocess.Popen([str(exe), *arguments], env=self.env, cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_all(self):
        # The installed copy is the launcher's child, not the test's.
        subprocess.run(["pkill", "-KILL", "-f", str(self.appdata)], check=False)


@pytest.fixture(params=["native", "wine"])
def launcher(request, tmp_path):
    """The runner and the launcher program it runs."""
    if request.param == "wine":
        runner, program = request.getfixturevalue("wine"), request.getfixturevalue("windows_bin") / "qtmx.exe"
    else:
        runner, program = Native(tmp_path / "config"), request.getfixturevalue("linux_bin") / "qtmx"
    yield runner, program
    runner.stop_all()


def test_launcher_in_its_game_folder_logs_beside_itself_and_claims_publish(launcher):
    runner, program = launcher
    folder = runner.appdata / GAME_FOLDER
    folder.mkdir(parents=True, exist_ok=True)
    # The install target carries the Windows name on every platform.
    shutil.copy(program, folder / "qtmx.exe")
    first = runner.start(folder / "qtmx.exe", "forcearg={sid=12&uid=34&time=0}", cwd="/tmp")
    try:
        text = wait_for_lines(folder / "Launcher.txt", STARTUP_LINES)
        assert text.startswith("[20"), "every line starts with the timestamp"
        assert "Installed" not in text, "a launcher in its install folder does not install itself"
        # There, whatever it holds; a second launcher's Publish0 is test_update's fresh-client case.
        wait_for_lines(folder / "Publish" / "PackageLock.ins", [])
        time.sleep(1.0)
        assert first.poll() is None, "the launcher keeps running after start-up"
    finally:
        stop(first)
    assert not (runner.appdata / "WispLauncher.txt").exists()


def test_launcher_started_elsewhere_installs_itself_with_the_key_of_its_name(launcher, tmp_path):
    runner, program = launcher
    keyed = tmp_path / "elsewhere" / (KEYED_NAME + program.suffix)
    keyed.parent.mkdir()
    shutil.copy(program, keyed)
    install = runner.appdata / GAME_FOLDER
    first = runner.start(keyed, "localmode")
    try:
        wait_for_lines(runner.appdata / "WispLauncher.txt", ["Launcher started: ", "LocalMode On", "Installed"])
        assert first.wait(timeout=60) == 0, "the launcher hands over to its installed copy and quits"
        assert (install / "qtmx.exe").stat().st_size == keyed.stat().st_size
        assert (install / f"{KEYED_NAME}.install").exists()
        assert (install / f"{KEYED_NAME}.installing").exists()
        # The installed copy runs with the key taken from the file name.
        wait_for_lines(install / "Launcher.txt", ["Launcher started: ", "autologinkey=vabcdefghijk"])
    finally:
        stop(first)
