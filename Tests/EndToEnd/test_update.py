"""The launcher brings its client up to date from the dev server, with what the
publisher made: the whole package or single ranges, through the translation
service, past a failing server and a hostile manifest. Natively (ASan and TSan
builds) and as the Windows build under Wine, each started from inside its
game folder so that it does not install itself."""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import tempfile
import time
import lzma

import pytest

from conftest import CLIENT_VERSION, WINE, build_dir, stop, tree, wait_for_lines

GAME_FOLDER = pathlib.Path("Brightfen") / "rwgametidemark"
SANITIZER_REPORTS = ("ERROR: AddressSanitizer", "runtime error:", "WARNING: ThreadSanitizer", "ERROR: LeakSanitizer")


class Launcher:
    """One launcher build in a clean game folder; every process it started is
    stopped at the end."""

    def __init__(self, kind, folder, start):
        self.kind = kind
        self.folder = folder
        self._start = start
        self.processes = []

    @property
    def log(self):
        return self.folder / "Launcher.txt"

    def start(self, *arguments):
        process = self._start(*arguments)
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in self.processes:
            stop(process)
        self.processes = []

    def wait_for(self, *lines, timeout=120):
        return wait_for_lines(self.log, list(lines), timeout=timeout)

    def publish(self, number=None):
        return self.folder / ("Publish" if number is None else f"Publish{number}")


def native_launcher(kind, tmp_path):
    folder_of_build = build_dir("LAUNCHER_TSAN_BUILD" if kind == "tsan" else "LAUNCHER_LINUX_BUILD",
                                "linux-" + kind) / "bin"
    if not (folder_of_build / "qtmx").exists():
        pytest.skip(f"no native launcher in {folder_of_build}")
    config_home = tmp_path / "config"
    folder = config_home / GAME_FOLDER
    folder.mkdir(parents=True)
    shutil.copy(folder_of_build / "qtmx", folder / "qtmx.exe")
    errors = tmp_path / "stderr.txt"
    env = dict(os.environ, XDG_CONFIG_HOME=str(config_home),
               TSAN_OPTIONS="halt_on_error=1", ASAN_OPTIONS="detect_leaks=0")

    def start(*arguments):
        with open(errors, "ab") as sink:
            return subprocess.Popen([str(folder / "qtmx.exe"), *arguments], env=env, cwd="/",
                                    stdout=subprocess.DEVNULL, stderr=sink)

    launcher = Launcher(kind, folder, start)
    launcher.errors = errors
    return launcher


@pytest.fixture(params=["asan", "tsan", "wine"])
def launcher(request, tmp_path):
    if request.param == "wine":
        windows_bin = request.getfixturevalue("windows_bin")
        wine = request.getfixturevalue("wine")
        folder = wine.appdata / GAME_FOLDER
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(windows_bin / "qtmx.exe", folder / "qtmx.exe")
        runner = Launcher("wine", folder, lambda *a: wine.start(folder / "qtmx.exe", *a, cwd="/tmp"))
        runner.errors = None
        yield runner
        runner.stop_all()
        wine.stop_all()
        return
    runner = native_launcher(request.param, tmp_path)
    yield runner
    runner.stop_all()
    report = runner.errors.read_text(errors="replace") if runner.errors.exists() else ""
    assert not any(r in report for r in SANITIZER_REPORTS), report[-4000:]


def wait_for_client(publish, expected, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = tree(publish) if publish.exists() else {}
        found.pop("PackageLock.ins", None)
        if found == expected:
            return
        time.sleep(0.3)
    missing = sorted(set(expected) - set(found))
    wrong = sorted(n for n in expected if n in found and found[n] != expected[n])
    raise AssertionError(f"{publish}: missing {missing}, differing {wrong}, extra {sorted(set(found) - set(expected))}")


def test_fresh_client_comes_whole_and_the_login_is_reported(launcher, update_server):
    update_server.requests()
    first = launcher.start("forcearg={sid=7&uid=99&time=0}")
    second = launcher.start("forcearg={sid=7&uid=99&time=0}")
    launcher.wait_for(f"CurrentVersion: {CLIENT_VERSION}", f"Client updated to Startup{CLIENT_VERSION}.pkg (full way")
    # Two launchers at once: each brings its own publish folder up to date.
    wait_for_client(launcher.publish(), update_server.files)
    wait_for_client(launcher.publish(0), update_server.files)
    assert first.poll() is None and second.poll() is None
    # "time" goes as the current Unix time.
    assert any(re.fullmatch(r"sid%3a7%2ctime%3a\d+%2cuid%3a99%2cstep%3a1002", line) for line in update_server.stats())
    # The whole package, as one range from its first byte to its last.
    size = (update_server.served / f"Startup{CLIENT_VERSION}.pkg").stat().st_size
    whole = f"GET /mirra/client/Startup{CLIENT_VERSION}.pkg HTTP/1.1 Range: bytes=0-{size - 1}"
    assert whole in update_server.requests()


def test_one_changed_file_is_fetched_by_its_exact_range(launcher, update_server):
    launcher.start("forcearg={sid=7&uid=1}")
    launcher.wait_for(f"Client updated to Startup{CLIENT_VERSION}.pkg (full way")
    wait_for_client(launcher.publish(), update_server.files)
    launcher.stop_all()

    name = "data/\u6570\u636e.txt"
    (launcher.publish() / name).write_bytes(b"changed by the player")
    entry = update_server.manifest()[name]
    update_server.requests()
    launcher.start("forcearg={sid=7&uid=1}")
    launcher.wait_for(f"Client updated to Startup{CLIENT_VERSION}.pkg (partial way")
    wait_for_client(launcher.publish(), update_server.files)
    first, last = entry["startPos"], entry["startPos"] + entry["dataSize"] - 1
    package_gets = [r for r in update_server.requests() if r.startswith("GET /mirra/client/Startup")
                    and ".pkg" in r]
    assert package_gets == [f"GET /mirra/client/Startup{CLIENT_VERSION}.pkg HTTP/1.1 Range: bytes={first}-{last}"]


def test_dropped_package_transfer_recovers(launcher, update_server):
    update_server.control("faults?drop-after=30000&for-path=.pkg&times=2")
    try:
        launcher.start("forcearg={sid=3}")
        launcher.wait_for(f"Client updated to Startup{CLIENT_VERSION}.pkg (full way")
        wait_for_client(launcher.publish(), update_server.files)
    finally:
        update_server.control("faults")
    package_gets = [r for r in update_server.requests() if f"GET /mirra/client/Startup{CLIENT_VERSION}.pkg" in r]
    assert len(package_gets) == 3, package_gets


def test_auto_login_key_goes_through_the_translation_service(launcher, update_server):
    update_server.requests()
    launcher.start("autologinkey=e2ekey456789")
    launcher.wait_for("AutoLoginUrlParam: sid=7&uid=42&time=5", "SidString=7",
                      f"Client updated to Startup{CLIENT_VERSION}.pkg")
    wait_for_client(launcher.publish(), update_server.files)
    assert "GET /get?code=e2ekey456789 HTTP/1.1" in update_server.requests()
    assert any(re.fullmatch(r"sid%3a7%2ctime%3a\d+%2cuid%3a42%2cstep%3a1002", line) for line in update_server.stats())


def publish_half_client(update_server):
    """Version 2.0: three stored files of 500, 499 and 1 bytes (1000 in all)."""
    folder = update_server.root.parent / "client-2.0"
    files = {"a.bin": os.urandom(500), "b/b.bin": os.urandom(499), "c.bin": b"c"}
    if not folder.exists():
        for name, data in files.items():
            (folder / name).parent.mkdir(parents=True, exist_ok=True)
            (folder / name).write_bytes(data)
        update_server.publish("client", "--source", folder, "--version", "2.0", "--out", update_server.served)
    return {n: (folder / n).read_bytes() for n in files}


def test_exactly_half_stale_goes_by_ranges_and_one_byte_more_fetches_the_whole(launcher, update_server):
    files = publish_half_client(update_server)
    login = ("forceversion=2.0", "forcearg={sid=7}")
    launcher.start(*login)
    launcher.wait_for("Client updated to Startup2.0.pkg (full way, 1000 of 1000 bytes stale)")
    wait_for_client(launcher.publish(), files)
    launcher.stop_all()

    (launcher.publish() / "a.bin").write_bytes(b"stale")
    update_server.requests()
    launcher.start(*login)
    launcher.wait_for("Client updated to Startup2.0.pkg (partial way, 500 of 1000 bytes stale)")
    wait_for_client(launcher.publish(), files)
    launcher.stop_all()
    assert "GET /mirra/client/Startup2.0.pkg HTTP/1.1 Range: bytes=0-499" in update_server.requests()

    (launcher.publish() / "a.bin").write_bytes(b"stale")
    (launcher.publish() / "c.bin").unlink()
    (launcher.folder / "Startup2.0.pkg").unlink()
    launcher.start(*login)
    launcher.wait_for("Client updated to Startup2.0.pkg (full way, 501 of 1000 bytes stale)")
    wait_for_client(launcher.publish(), files)
    assert "GET /mirra/client/Startup2.0.pkg HTTP/1.1 Range: bytes=0-999" in update_server.requests()


def lzma86(data):
    """An Lzma86 container without the x86 filter: the .lzma header with the
    real size, behind a zero filter byte."""
    stream = lzma.compress(data, format=lzma.FORMAT_ALONE)
    return b"\0" + stream[:5] + struct.pack("<Q", len(data)) + stream[13:]


def crc32c(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 if crc & 1 else 0)
    return crc ^ 0xFFFFFFFF


HOSTILE_NAMES = ["../escape.txt", "../../up.txt", "/tmp/launcher-e2e-abs.txt", "C:/launcher-e2e-drive.txt",
                 "a:b.txt", "sub/../../x.txt", "sub\\..\\..\\back.txt", "n" * 1100]


def test_hostile_manifest_writes_nothing_outside_the_publish_folder(launcher, update_server):
    good = os.urandom(100)
    package = good + b"evil"
    entries = [f'<file name="ok.txt" origSize="100" origCRC32C="{crc32c(good)}" startPos="0" dataSize="100" '
               f'bCompressed="0"/>']
    for name in HOSTILE_NAMES:
        entries.append(f'<file name="{name}" origSize="4" origCRC32C="{crc32c(b"evil")}" startPos="100" '
                       f'dataSize="4" bCompressed="0"/>')
    entries.append('<file name="past.bin" origSize="4" origCRC32C="0" startPos="4000" dataSize="4" bCompressed="0"/>')
    xml = (f'<package totalSize="{len(package)}" crc32c="{crc32c(package)}">' + "".join(entries) +
           "</package>").encode()
    (update_server.served / "Startup6.6.6.pkg").write_bytes(package)
    (update_server.served / "Startup6.6.6.crc").write_bytes(lzma86(xml))

    launcher.start("forceversion=6.6.6", "forcearg={sid=7}")
    text = launcher.wait_for("Client updated to Startup6.6.6.pkg (full way")
    assert text.count("Manifest entry skipped, its name does not stay in the publish folder") == len(HOSTILE_NAMES)
    assert "Manifest entry past.bin reaches past the package's end" in text
    found = tree(launcher.publish())
    assert sorted(found) == ["PackageLock.ins", "ok.txt"] and found["ok.txt"] == good
    everything = [p.name for p in launcher.folder.parent.parent.rglob("*")]
    assert not any(n.endswith(("escape.txt", "up.txt", "x.txt", "back.txt")) for n in everything), everything
    assert not pathlib.Path("/tmp/launcher-e2e-abs.txt").exists()
    assert not pathlib.Path("/launcher-e2e-drive.txt").exists()


def test_version_file_without_default_is_asked_again_then_given_up(update_server, tmp_path):
    runner = native_launcher("asan", tmp_path)
    kept = update_server.version_file.read_bytes()
    update_server.version_file.write_bytes(b"7=1.0.5")
    try:
        started = time.monotonic()
        runner.start("forcearg={sid=7}")
        text = runner.wait_for("No client version from http://127.0.0.1:18080/mirra/client/ClientVersionSID.txt "
                               "after 8 tries", timeout=90)
        took = time.monotonic() - started
        assert text.count("SidVersionError: No default version") == 8
        assert took > 15, "the rounds pause between them"
        # The start-up goes on without an update.
        wait_for_lines(runner.log, ["Download Version: "])
        assert runner.processes[0].poll() is None
        assert not (runner.publish() / "data").exists()
    finally:
        update_server.version_file.write_bytes(kept)
        runner.stop_all()
