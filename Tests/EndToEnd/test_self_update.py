"""The launcher's self-update under Wine, three real processes: build A (the
build's version) finds build B (the next major version) on a dev server of
the test's own, downloads it as qtmx<version>.exe while the splash shows the
progress, and hands over through "updating" and "updated" until B runs under
A's name. The hand-over is also cut at each of its stages, and offered builds
that did not arrive whole: a launcher that starts always stays behind.

Both builds are the real launcher linked from the product's objects with the
product's resource script; their test entry takes the update address from
LAUNCHER_TEST_UPDATE_BASE_URL (the session's server on 18080 offers no
launcher, so other tests never update themselves) and can hold a process at a
named stage of the hand-over (LAUNCHER_TEST_STOP_AT)."""
import os
import shutil
import subprocess
import time

import pytest

from conftest import WINE, build_dir, new_wine, remove_wine, start_devserver, stop, wait_for_lines
from screen import MAIN_FRAME_SIZE, SPLASH_SIZE, shoot, white_in, window_geometry

STAGES = ["downloading", "downloaded", "updating-before-replace", "updating-after-replace",
          "updated-before-delete"]


@pytest.fixture(scope="module", autouse=True)
def update_server():
    """These launchers ask only the servers below, on free ports: no session
    server on 18080 is needed for them."""
    yield None


@pytest.fixture(scope="module")
def builds(windows_bin):
    a, b = windows_bin / "SelfUpdateLauncherA.exe", windows_bin / "SelfUpdateLauncherB.exe"
    if not a.exists() or not b.exists():
        pytest.skip(f"no self-update launchers in {windows_bin}")
    return a, b


@pytest.fixture(scope="module")
def prefix():
    """A Wine prefix of this module's own: ending every process in it ends
    only launchers these tests started."""
    runner = new_wine()
    yield runner.prefix, runner.env
    remove_wine(runner)


class HandOver:
    """Build A installed as qtmx.exe in the game folder, build B published with
    `publish launcher` on a dev server at a free port, and the processes."""

    def __init__(self, prefix, builds, tools, work):
        self.prefix, self.env = prefix
        self.builds = builds
        self.a, self.b = (p.read_bytes() for p in builds)
        self.tools = tools
        self.work = work
        user = os.environ.get("USER") or "root"
        self.folder = self.prefix / "drive_c/users" / user / "AppData/Roaming/Brightfen/rwgametidemark"
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        (self.folder / "qtmx.exe").write_bytes(self.a)
        self.root = work / "root"
        published = subprocess.run(
            [str(tools / "publish"), "launcher", "--exe", str(builds[1]), "--name", "qtmx.exe",
             "--out", str(self.root / "launcher")], check=True, capture_output=True, text=True)
        self.version = (self.root / "launcher/LauncherVersion.txt").read_text().strip()
        assert f"launcher {self.version} as" in published.stdout
        self.versioned = self.folder / f"qtmx{self.version}.exe"
        self.server = None
        self.launchers = []

    @property
    def log(self):
        return self.folder / "Launcher.txt"

    def serve(self, *faults):
        self.stop_server()
        self.server = start_devserver(self.tools, self.root, *faults)
        self.url = f"http://127.0.0.1:{self.server.port}/launcher/"

    def stop_server(self):
        if self.server is not None:
            self.server.terminate()
            self.server.wait(timeout=30)
            self.server = None

    def start(self, stop_at=None):
        """qtmx.exe as the player starts it: no arguments."""
        self.log.unlink(missing_ok=True)
        env = dict(self.env, LAUNCHER_TEST_UPDATE_BASE_URL=self.url)
        if stop_at:
            env["LAUNCHER_TEST_STOP_AT"] = stop_at
        process = subprocess.Popen([WINE, str(self.folder / "qtmx.exe")], env=env, cwd="/tmp",
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.launchers.append(process)
        return process

    def kill_all(self):
        """Ends every launcher at once, as a crash or a power cut would."""
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        for process in self.launchers:
            stop(process)
        self.launchers = []

    def wait_until_updated(self):
        """The restarted launcher under A's name is B, the versioned copy gone."""
        wait_for_lines(self.log, ["Run Updated", "Launcher started"], timeout=120)
        deadline = time.monotonic() + 30
        while self.versioned.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        assert not self.versioned.exists(), "the versioned copy is removed"
        assert (self.folder / "qtmx.exe").read_bytes() == self.b, "B has taken A's name"
        assert not (self.folder / "qtmx.exe.new").exists()

    def close(self):
        self.kill_all()
        self.stop_server()


@pytest.fixture
def hand_over(prefix, builds, tmp_path):
    tools = build_dir("LAUNCHER_LINUX_BUILD", "linux-asan") / "bin"
    runner = HandOver(prefix, builds, tools, tmp_path)
    yield runner
    runner.close()


def test_update_from_a_to_b_shows_the_splash_and_ends_with_b_under_a_s_name(hand_over):
    # Each 64 KiB of the new build waits, long enough to see the download.
    hand_over.serve("--delay-ms", "60", "--for-path", ".exe")
    a = hand_over.start()
    wait_for_lines(hand_over.log, [f"Try Download {hand_over.url}qtmx{hand_over.version}.exe"])
    geometry = window_geometry(SPLASH_SIZE)
    time.sleep(2.0)
    splash = shoot("self-update-splash", geometry)
    # The white download line is centred above the status line.
    assert any(min(splash.getpixel((x, 126))) > 200 for x in range(200, 390)), "the download line is drawn"
    assert white_in(splash, (200, 205, 390, 219)), "the rate and the time left under the bar"
    a.wait(timeout=120)
    hand_over.wait_until_updated()
    assert "Deleting file:" in hand_over.log.read_text(encoding="utf-8", errors="replace")


@pytest.mark.parametrize("stage", STAGES)
def test_a_hand_over_cut_at_any_stage_leaves_a_launcher_that_starts(hand_over, stage):
    if stage == "downloading":
        # The build stops coming half-way; the launcher is cut while it waits.
        hand_over.serve("--stall-after", "300000", "--for-path", ".exe")
        hand_over.start()
        wait_for_lines(hand_over.log, [f"file created: qtmx{hand_over.version}.exe.td"])
        time.sleep(1.0)
    else:
        hand_over.serve()
        hand_over.start(stop_at=stage)
        text = wait_for_lines(hand_over.log, [f"Stopped at {stage}"], timeout=120)
        if stage != "downloaded":
            # The process that handed over was waited for, and had ended.
            assert "Waiting for process" in text or "Run Updated" in text
            assert "still runs" not in text
    hand_over.kill_all()

    names = {p.name for p in hand_over.folder.iterdir()}
    assert "qtmx.exe" in names, f"the launcher's name holds a launcher: {sorted(names)}"
    assert (hand_over.folder / "qtmx.exe").read_bytes() in (hand_over.a, hand_over.b), "never a part-written one"

    # The player starts qtmx.exe again: it runs, and the update completes (or was complete).
    hand_over.serve()
    hand_over.start()
    if (hand_over.folder / "qtmx.exe").read_bytes() == hand_over.a:
        hand_over.wait_until_updated()
    else:
        wait_for_lines(hand_over.log, ["checking new version"])
        window_geometry(MAIN_FRAME_SIZE)  # B runs as a normal launcher: its main frame
        assert "Try Download" not in hand_over.log.read_text(encoding="utf-8", errors="replace")


@pytest.mark.parametrize("stage", ["downloaded", "updating-before-replace"])
def test_a_second_launcher_during_a_self_update_starts_as_usual(hand_over, stage):
    # The first holds the self-update lock: A while it starts the build it
    # fetched, B (under the versioned name) while it replaces A.
    hand_over.serve()
    hand_over.start(stop_at=stage)
    wait_for_lines(hand_over.log, [f"Stopped at {stage}"], timeout=120)
    hand_over.start()
    text = wait_for_lines(hand_over.log, ["Another launcher is updating itself here", "starting as usual"])
    window_geometry(MAIN_FRAME_SIZE)
    assert "Try Download" not in text


# A build cut short, announced too large or too small is SelfUpdateFetchTest's (ModuleTests).
@pytest.mark.parametrize("fault", ["--wrong-length", "--status=500"])
def test_a_build_that_is_not_whole_is_never_started(hand_over, fault):
    hand_over.serve(*fault.split("="), "--for-path", ".exe")
    a = hand_over.start()
    assert a.wait(timeout=120) == 0, "the old launcher ends either way"
    text = wait_for_lines(hand_over.log, ["Launcher download not whole"])
    assert "Run updating" not in text
    time.sleep(2.0)
    assert not hand_over.versioned.exists(), "nothing is left under the versioned name"
    assert not list(hand_over.folder.glob("*.td")), "nor a temporary download"
    assert (hand_over.folder / "qtmx.exe").read_bytes() == hand_over.a
