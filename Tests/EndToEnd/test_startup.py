"""The launcher starts, writes its start-up lines to the log in the right place
and keeps running, natively and as the Windows build under Wine."""
import os
import shutil
import subprocess
import tempfile
import time
import pathlib

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


def test_windows_launcher_logs_beside_itself_inside_the_game_folder(wine, windows_bin):
    folder = wine.appdata / GAME_FOLDER
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(windows_bin / "qtmx.exe", folder / "qtmx.exe")
    process = wine.start(folder / "qtmx.exe", "forcearg={sid=12&uid=34&time=0}", cwd="/tmp")
    try:
        text = wait_for_lines(folder / "Launcher.txt", STARTUP_LINES)
        assert text.startswith("[20"), "every line starts with the timestamp"
        time.sleep(1.0)
        assert process.poll() is None, "the launcher keeps running after start-up"
    finally:
        stop(process)
    assert not (wine.appdata / "WispLauncher.txt").exists()


def test_windows_launcher_logs_into_app_data_when_started_elsewhere(wine, windows_bin):
    elsewhere = pathlib.Path(tempfile.mkdtemp(prefix="launcher-elsewhere."))
    shutil.copy(windows_bin / "qtmx.exe", elsewhere / "qtmx.exe")
    process = wine.start(elsewhere / "qtmx.exe", "localmode")
    try:
        wait_for_lines(wine.appdata / "WispLauncher.txt", ["Launcher started: ", "LocalMode On", "HardwareDetect: "])
        assert process.poll() is None
    finally:
        stop(process)
        shutil.rmtree(elsewhere, ignore_errors=True)
    assert not (elsewhere / "Launcher.txt").exists()


def native_run(linux_bin, config_home, folder, *arguments):
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(linux_bin / "qtmx", folder / "qtmx")
    env = dict(os.environ, XDG_CONFIG_HOME=str(config_home))
    return subprocess.Popen([str(folder / "qtmx"), *arguments], env=env, cwd="/",
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def test_native_launcher_follows_the_same_log_rule(linux_bin):
    config_home = pathlib.Path(tempfile.mkdtemp(prefix="launcher-config."))
    try:
        inside = config_home / GAME_FOLDER
        process = native_run(linux_bin, config_home, inside, "forcearg={sid=12&uid=34&time=0}")
        try:
            wait_for_lines(inside / "Launcher.txt", STARTUP_LINES, timeout=30)
            assert process.poll() is None
        finally:
            stop(process)

        outside = config_home.parent / (config_home.name + "-elsewhere")
        process = native_run(linux_bin, config_home, outside, "forcearg={sid=5}")
        try:
            wait_for_lines(config_home / "WispLauncher.txt", ["SidString=5", "HardwareDetect: "], timeout=30)
            assert process.poll() is None
        finally:
            stop(process)
            shutil.rmtree(outside, ignore_errors=True)
    finally:
        shutil.rmtree(config_home, ignore_errors=True)
