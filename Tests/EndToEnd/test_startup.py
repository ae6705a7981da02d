"""The launcher starts, writes its start-up lines to the log in the right place,
installs itself when started from elsewhere, claims a publish folder and keeps
running; natively and as the Windows build under Wine."""
import os
import pathlib
import shutil
import signal
import subprocess
import tempfile
import time

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


def wait_for_path(path, timeout=60.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists():
            return
        time.sleep(0.2)
    raise AssertionError(f"{path} did not appear")


def test_windows_launcher_in_its_game_folder_logs_beside_itself_and_claims_publish(wine, windows_bin):
    folder = wine.appdata / GAME_FOLDER
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(windows_bin / "qtmx.exe", folder / "qtmx.exe")
    first = wine.start(folder / "qtmx.exe", "forcearg={sid=12&uid=34&time=0}", cwd="/tmp")
    second = None
    try:
        text = wait_for_lines(folder / "Launcher.txt", STARTUP_LINES)
        assert text.startswith("[20"), "every line starts with the timestamp"
        assert "Installed" not in text, "a launcher in its install folder does not install itself"
        wait_for_path(folder / "Publish" / "PackageLock.ins")
        time.sleep(1.0)
        assert first.poll() is None, "the launcher keeps running after start-up"
        # A second launcher at the same time gets a publish folder of its own.
        second = wine.start(folder / "qtmx.exe", "localmode", cwd="/tmp")
        wait_for_path(folder / "Publish0" / "PackageLock.ins")
        assert second.poll() is None
    finally:
        stop(first)
        if second:
            stop(second)
    assert not (wine.appdata / "WispLauncher.txt").exists()


def test_windows_launcher_started_elsewhere_installs_itself_with_the_key_of_its_name(wine, windows_bin):
    elsewhere = pathlib.Path(tempfile.mkdtemp(prefix="launcher-elsewhere."))
    shutil.copy(windows_bin / "qtmx.exe", elsewhere / f"{KEYED_NAME}.exe")
    install = wine.appdata / GAME_FOLDER
    first = wine.start(elsewhere / f"{KEYED_NAME}.exe", "localmode")
    try:
        wait_for_lines(wine.appdata / "WispLauncher.txt", ["Launcher started: ", "LocalMode On", "Installed"])
        assert first.wait(timeout=60) == 0, "the launcher hands over to its installed copy and quits"
        assert (install / "qtmx.exe").stat().st_size == (elsewhere / f"{KEYED_NAME}.exe").stat().st_size
        assert (install / f"{KEYED_NAME}.install").exists()
        assert (install / f"{KEYED_NAME}.installing").exists()
        # The installed copy runs with the key taken from the file name.
        wait_for_lines(install / "Launcher.txt", ["Launcher started: ", "autologinkey=vabcdefghijk"])
    finally:
        stop(first)
        wine.stop_all()
        shutil.rmtree(elsewhere, ignore_errors=True)


def native_start(executable, config_home, *arguments):
    env = dict(os.environ, XDG_CONFIG_HOME=str(config_home))
    return subprocess.Popen([str(executable), *arguments], env=env, cwd="/",
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def kill_all(executable):
    subprocess.run(["pkill", "-KILL", "-f", str(executable)], check=False)


def test_native_launcher_follows_the_same_rules(linux_bin):
    config_home = pathlib.Path(tempfile.mkdtemp(prefix="launcher-config."))
    elsewhere = pathlib.Path(tempfile.mkdtemp(prefix="launcher-elsewhere."))
    install = config_home / GAME_FOLDER
    try:
        install.mkdir(parents=True)
        # The install target carries the Windows name on every platform.
        shutil.copy(linux_bin / "qtmx", install / "qtmx.exe")
        process = native_start(install / "qtmx.exe", config_home, "forcearg={sid=12&uid=34&time=0}")
        try:
            wait_for_lines(install / "Launcher.txt", STARTUP_LINES, timeout=30)
            wait_for_path(install / "Publish" / "PackageLock.ins", timeout=30)
            assert process.poll() is None
        finally:
            stop(process)
        kill_all(install / "qtmx.exe")

        shutil.copy(linux_bin / "qtmx", elsewhere / KEYED_NAME)
        process = native_start(elsewhere / KEYED_NAME, config_home, "forcearg={sid=5}")
        assert process.wait(timeout=60) == 0, "the launcher hands over to its installed copy and quits"
        wait_for_lines(config_home / "WispLauncher.txt", ["SidString=5", "Installed"], timeout=30)
        assert (install / f"{KEYED_NAME}.install").exists()
        wait_for_lines(install / "Launcher.txt", ["autologinkey=vabcdefghijk"], timeout=30)
    finally:
        kill_all(install / "qtmx.exe")
        shutil.rmtree(elsewhere, ignore_errors=True)
        shutil.rmtree(config_home, ignore_errors=True)
