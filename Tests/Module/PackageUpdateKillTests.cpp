#include "ChildProcess.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "LauncherDownloadServers.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "RangePlan.h"
#include "TempFolder.h"

#include "xPath.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The client update killed at many points (SIGKILL; TerminateProcess under
// Wine) while it brings an installed client from version A to B (the full way)
// or to P (the partial way), then run again to its end. After every kill each
// client file under its real name holds its old or its new bytes, never a mix;
// after the run that completes, the client is whole and no temporary file is
// left in the publish or the download folder.
//
// The child is bin/PackageUpdateChild against the dev server. The client
// versions come from its "fixture" mode and the real publisher: natively this
// test makes them; under Wine scripts/test.sh does, in the dev server's folder.
// LAUNCHER_KILL_SWEEP=1 runs every kill point of the table (scripts/kill-sweep.sh),
// otherwise a spread-out share of them.

namespace
{
namespace fs = std::filesystem;
using Client = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

#if defined(_WIN32)
constexpr bool UnderWindows = true;
#else
constexpr bool UnderWindows = false;
#endif

enum class Way
{
    Full,    // A to B: most data stale
    Partial, // A to P: a few files stale
};

enum class KillAt
{
    Line,    // right after the child's Nth log line (and a few ms more)
    Bytes,   // the server stalls after N bytes of the package: killed there
    Paced,   // the package comes slowly; killed some ms into its transfer
    Writing, // some ms into the writing (full: after the package arrived)
    Twice,   // at a line, then the next run at one of its lines, then to the end
};

struct KillStrategy
{
    const char* Name;
    Way UpdateWay;
    KillAt Kind;
    int Sweep;  // kill points of the full sweep
    int Native; // of a native run of the test command
    int Wine;   // of its run under wine64
};

const KillStrategy Strategies[] = {
    {"FullAtEachLine", Way::Full, KillAt::Line, 45, 4, 1},
    {"PartialAtEachLine", Way::Partial, KillAt::Line, 35, 4, 1},
    {"FullAfterBytes", Way::Full, KillAt::Bytes, 50, 4, 1},
    {"PartialAfterBytes", Way::Partial, KillAt::Bytes, 20, 3, 1},
    {"FullWhilePaced", Way::Full, KillAt::Paced, 25, 3, 1},
    {"PartialWhilePaced", Way::Partial, KillAt::Paced, 10, 2, 1},
    {"FullWhileWriting", Way::Full, KillAt::Writing, 30, 4, 1},
    {"PartialWhileWriting", Way::Partial, KillAt::Writing, 15, 2, 1},
    // Two kills a point.
    {"FullTwice", Way::Full, KillAt::Twice, 15, 2, 1},
};

// The strategy's name in gtest's messages.
void PrintTo(const KillStrategy& strategy, std::ostream* out)
{
    *out << strategy.Name;
}

bool FullSweep()
{
    const char* sweep = std::getenv("LAUNCHER_KILL_SWEEP");
    return sweep != nullptr && std::string(sweep) == "1";
}

int PointsOf(const KillStrategy& strategy)
{
    return FullSweep() ? strategy.Sweep : UnderWindows ? strategy.Wine : strategy.Native;
}

// Under Wine a process start and each step take longer.
int Slower(int ms)
{
    return UnderWindows ? ms * 5 : ms;
}

std::string Path8(const fs::path& path)
{
    return Narrow(Wide(path));
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// An unfinished download, or the resume record that counts its bytes.
bool IsTemporary(const std::string& name)
{
    return EndsWith(name, ".td") || EndsWith(name, ".resume");
}

// The paths of the files under `folder`, relative to it ("/" between folders).
std::vector<std::string> ListTree(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it);
         it.increment(error))
        if (it->is_regular_file())
            names.push_back(fs::relative(it->path(), folder).generic_u8string());
    return names;
}

// A whole file in one read: a trial reads the client several times, and
// byte-wise reading is slow in the sanitizer build.
std::string WholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(size, 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Every file under `folder` with its bytes.
Client ReadTree(const fs::path& folder)
{
    Client files;
    for (const std::string& name : ListTree(folder))
        files[name] = WholeFile(folder / fs::u8path(name));
    return files;
}

std::vector<std::string> TemporariesIn(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : ListTree(folder))
        if (IsTemporary(name))
            found.push_back(name);
    return found;
}

std::string Tail(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = lines.size() > 12 ? lines.size() - 12 : 0; i < lines.size(); ++i)
        text += "    " + lines[i] + "\n";
    return text.empty() ? "    (no output)\n" : text;
}

// One line of a run and when it came, in ms from the start.
struct TimedLine
{
    std::string Text;
    double AtMs = 0;
};

// An uninterrupted run of one way: its lines, and when the phases began.
struct Calibration
{
    std::vector<TimedLine> Lines;
};

struct Version
{
    std::string Name; // "B" or "P"
    Client Files;
    Manifest Index;
    // The package's bytes the way fetches: the whole package, or the spans
    // of the stale files' ranges.
    std::vector<uint64_t> Transfers;
    Calibration Run;
};

// The client versions, the installed A they start from, and each way's
// uninterrupted run; made once per test process.
struct KillFixture
{
    bool Ready = false;
    bool NoServer = false;
    std::string Problem;
    fs::path Root;
    std::string BaseUrl;
    Client A;
    Version Full;
    Version Partial;
    std::unique_ptr<TempFolder> Scratch;
    fs::path Installed; // publish/ and download/ of A, copied for every trial

    const Version& Of(Way way) const { return way == Way::Full ? Full : Partial; }
};

std::string ChildPath()
{
    return TestBinFolder() + "PackageUpdateChild" + Narrow(GetExtension(GetModulePath()));
}

// A publish folder and a download folder of a trial, with the child's stderr beside them.
struct Trial
{
    TempFolder Folder{"update-kill"};
    fs::path Publish = Folder.At("publish");
    fs::path Download = Folder.At("download");
    std::string Stderr = Path8(Folder.At("stderr.txt"));
};

bool StartUpdate(ChildProcess& child, const KillFixture& fixture, const std::string& version,
                 const Trial& trial)
{
    return child.Start({ChildPath(), "update", fixture.BaseUrl, "Startup" + version, Path8(trial.Publish),
                        Path8(trial.Download)},
                       trial.Stderr);
}

// A run to its end: its lines and exit code.
struct Completed
{
    std::vector<TimedLine> Lines;
    int ExitCode = -1;
};

Completed RunToEnd(const KillFixture& fixture, const std::string& version, const Trial& trial)
{
    Completed run;
    ChildProcess child;
    const auto start = Clock::now();
    if (!StartUpdate(child, fixture, version, trial))
        return run;
    for (std::string line; child.ReadLine(line, 120000);)
        run.Lines.push_back({line, std::chrono::duration<double, std::milli>(Clock::now() - start).count()});
    run.ExitCode = child.Wait(120000);
    return run;
}

std::vector<std::string> TextsOf(const std::vector<TimedLine>& lines)
{
    std::vector<std::string> texts;
    for (const TimedLine& line : lines)
        texts.push_back(line.Text);
    return texts;
}

bool LoadManifest(const fs::path& file, Manifest& manifest)
{
    const std::string bytes = ReadFileBytes(file);
    return ReadManifestContainer(std::vector<uint8_t>(bytes.begin(), bytes.end()), manifest);
}

// What the partial way asks for: the stale files' ranges as the worker plans them.
std::vector<uint64_t> PlannedTransfers(const Manifest& manifest, const Client& installed,
                                       const Client& wanted)
{
    std::vector<ByteRange> ranges;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        const auto old = installed.find(Narrow(entry.Name));
        const auto now = wanted.find(Narrow(entry.Name));
        if (entry.DataSize > 0 && (old == installed.end() || old->second != now->second))
            ranges.push_back({entry.StartPos, entry.DataSize});
    }
    std::vector<uint64_t> lengths;
    for (const PlannedSpan& span : PlanRanges(ranges))
        lengths.push_back(span.Length);
    return lengths;
}

// Every file under its real name holds bytes of `before` or of `after`; a
// file of neither version, or one with other bytes, is reported.
std::vector<std::string> TornFiles(const fs::path& publish, const Client& before, const Client& after)
{
    std::vector<std::string> torn;
    for (const auto& [name, bytes] : ReadTree(publish))
    {
        if (IsTemporary(name))
            continue;
        const auto old = before.find(name);
        const auto now = after.find(name);
        const bool known =
            (old != before.end() && old->second == bytes) || (now != after.end() && now->second == bytes);
        if (!known)
            torn.push_back(name + " (" + std::to_string(bytes.size()) + " bytes)");
    }
    return torn;
}

// The client after the run that completed: every entry verifies against the
// manifest and holds the new bytes, files that the new version dropped keep
// their old bytes (the worker removes nothing), and nothing temporary is left.
std::vector<std::string> WholeProblems(const Trial& trial, const Client& before, const Version& version)
{
    std::vector<std::string> problems;
    const xWString publish = Wide(trial.Publish) + u"/";
    for (const ManifestEntry& entry : version.Index.Entries)
        if (!VerifyFile(publish + entry.Name, entry.OrigSize, entry.XxPresent ? entry.Xx : entry.OrigCrc32c,
                        entry.XxPresent))
            problems.push_back(Narrow(entry.Name) + " does not match the manifest");
    const Client installed = ReadTree(trial.Publish);
    for (const auto& [name, bytes] : version.Files)
    {
        const auto found = installed.find(name);
        if (found == installed.end() || found->second != bytes)
            problems.push_back(name + " is not the new version's");
    }
    for (const auto& [name, bytes] : before)
    {
        const auto found = installed.find(name);
        if (version.Files.count(name) == 0 && (found == installed.end() || found->second != bytes))
            problems.push_back(name + " (dropped by the new version) changed");
    }
    for (const std::string& name : TemporariesIn(trial.Publish))
        problems.push_back("publish folder keeps " + name);
    for (const std::string& name : TemporariesIn(trial.Download))
        problems.push_back("download folder keeps " + name);
    return problems;
}

bool EndedWhole(const std::vector<TimedLine>& lines)
{
    return !lines.empty() && (StartsWith(lines.back().Text, "Client updated to") ||
                              StartsWith(lines.back().Text, "Client is up to date"));
}

void MakeFixture(KillFixture& fixture)
{
    TestServer& server = GetTestServer(PeerKind::DevServer);
    if (!server.Available)
    {
        fixture.NoServer = true;
        fixture.Problem = server.Problem;
        return;
    }
    fixture.Root = FsPath(server.Root + u"update-kill/");
    fixture.BaseUrl = server.BaseUrl() + "update-kill/served/";
    const fs::path served = fixture.Root / "served";
    if (!UnderWindows)
    {
        ChildProcess maker;
        std::string line;
        TempFolder scratch;
        bool started = maker.Start({ChildPath(), "fixture", TestBinFolder() + "publish", Path8(fixture.Root)},
                                   Path8(scratch.At("stderr")));
        // The publisher's own lines come first.
        while (started && maker.ReadLine(line, 300000) && !StartsWith(line, "fixture "))
        {
        }
        if (!started || maker.Wait(60000) != 0 || line != "fixture ready")
        {
            fixture.Problem = "the client versions could not be published: " + line + " " +
                              ReadFileBytes(scratch.At("stderr"));
            return;
        }
    }
    Manifest indexA;
    if (!LoadManifest(served / "StartupA.crc", indexA) ||
        !LoadManifest(served / "StartupB.crc", fixture.Full.Index) ||
        !LoadManifest(served / "StartupP.crc", fixture.Partial.Index))
    {
        fixture.Problem = "no published client versions in " + Path8(fixture.Root) +
                          " (scripts/test.sh publishes them for the Windows tests)";
        return;
    }
    fixture.A = ReadTree(fixture.Root / "A");
    fixture.Full.Name = "B";
    fixture.Full.Files = ReadTree(fixture.Root / "B");
    fixture.Full.Transfers = {fixture.Full.Index.Package.TotalSize};
    fixture.Partial.Name = "P";
    fixture.Partial.Files = ReadTree(fixture.Root / "P");
    fixture.Partial.Transfers = PlannedTransfers(fixture.Partial.Index, fixture.A, fixture.Partial.Files);

    // A installed by the update itself, the start of every trial.
    fixture.Scratch = std::make_unique<TempFolder>("update-kill-installed");
    Trial install;
    const Completed installed = RunToEnd(fixture, "A", install);
    if (installed.ExitCode != 0 || ReadTree(install.Publish) != fixture.A)
    {
        fixture.Problem = "version A did not install:\n" + Tail(TextsOf(installed.Lines));
        return;
    }
    fixture.Installed = fixture.Scratch->At("installed");
    fs::copy(install.Folder.Path, fixture.Installed, fs::copy_options::recursive);

    for (Version* version : {&fixture.Full, &fixture.Partial})
    {
        Trial trial;
        fs::remove_all(trial.Folder.Path);
        fs::copy(fixture.Installed, trial.Folder.Path, fs::copy_options::recursive);
        const Completed run = RunToEnd(fixture, version->Name, trial);
        const std::vector<std::string> problems = WholeProblems(trial, fixture.A, *version);
        const char* way = version == &fixture.Full ? "(full way" : "(partial way";
        if (run.ExitCode != 0 || !problems.empty() || !EndedWhole(run.Lines) ||
            run.Lines.back().Text.find(way) == std::string::npos)
        {
            fixture.Problem = "the uninterrupted update to " + version->Name + " went wrong" +
                              (problems.empty() ? "" : ": " + problems.front()) + "\n" +
                              Tail(TextsOf(run.Lines));
            return;
        }
        version->Run = {run.Lines};
    }
    fixture.Ready = true;
}

KillFixture& Fixture()
{
    static KillFixture fixture;
    static bool made = false;
    if (!made)
    {
        made = true;
        MakeFixture(fixture);
    }
    return fixture;
}

// The time of the first line starting with `start` in an uninterrupted run (0 without one).
double LineTime(const Calibration& run, const std::string& start)
{
    for (const TimedLine& line : run.Lines)
        if (StartsWith(line.Text, start))
            return line.AtMs;
    return 0;
}

// The line after which the way's package bytes start to come.
std::string TransferLine(const Version& version)
{
    return version.Name == "B" ? "file created: StartupB.pkg.td" : "file : StartupP.crc finish.";
}

// The line after which files are written from whole data: the package is in
// place (full), the ranges begin (partial).
std::string WritingLine(const Version& version)
{
    return version.Name == "B" ? "renaming StartupB.pkg.td to StartupB.pkg" : "file : StartupP.crc finish.";
}

// Reads the child's lines until one starts with `start` (or the count reaches
// `count`, when `start` is empty); false when it ended first.
bool WaitForLine(ChildProcess& child, std::vector<std::string>& seen, const std::string& start,
                 size_t count = 0)
{
    for (std::string line; child.ReadLine(line, 60000);)
    {
        seen.push_back(line);
        if (start.empty() ? seen.size() >= count : StartsWith(line, start))
            return true;
    }
    return false;
}

void Pause(double ms)
{
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(ms * 1000)));
}

// One killed run: where the kill was meant to land and whether it did.
struct Kill
{
    std::string Where;
    bool Landed = false;
    std::vector<std::string> Lines;
};

// Starts the update to `version` and kills it at point `index` of `total` of
// the strategy's kind (Twice: its first kill).
Kill KillOnce(const KillFixture& fixture, const Version& version, KillAt kind, int index, int total,
              const Trial& trial)
{
    Kill kill;
    const std::string package = "Startup" + version.Name + ".pkg";
    std::string faults;
    uint64_t bytes = 0;
    const int delayMs = version.Name == "B" ? 10 : 40;
    if (kind == KillAt::Bytes)
    {
        // Spread over the first transfer: the whole package, or the first span.
        bytes = version.Transfers.front() * static_cast<uint64_t>(index) / static_cast<uint64_t>(total);
        faults = "stall-after=" + std::to_string(bytes) + "&for-path=" + package + "&times=1";
    }
    else if (kind == KillAt::Paced)
        faults = "delay-ms=" + std::to_string(delayMs) + "&for-path=" + package;
    EXPECT_TRUE(SetDevServerFaults(faults)) << "the dev server did not take " << faults;
    DevServerRequests(true);

    ChildProcess child;
    if (!StartUpdate(child, fixture, version.Name, trial))
    {
        ADD_FAILURE() << "the update child did not start: " << ChildPath();
        return kill;
    }
    const size_t lines = version.Run.Lines.size();
    if (kind == KillAt::Line || kind == KillAt::Twice)
    {
        // Each line but the last, then again each a millisecond later, and so on.
        const size_t at = 1 + static_cast<size_t>(index) % (lines - 1);
        const int after = kind == KillAt::Twice ? 0 : index / static_cast<int>(lines - 1);
        kill.Where = "after line " + std::to_string(at) + " (\"" + version.Run.Lines[at - 1].Text + "\") + " +
                     std::to_string(after) + " ms";
        if (WaitForLine(child, kill.Lines, "", at))
            Pause(after);
    }
    else if (kind == KillAt::Bytes)
    {
        kill.Where = "after " + std::to_string(bytes) + " bytes of " + package;
        const std::string asked = "GET /update-kill/served/" + package;
        const auto limit = Clock::now() + std::chrono::seconds(60);
        bool stalled = false;
        while (!stalled && Clock::now() < limit && child.Running())
        {
            for (const std::string& request : DevServerRequests(false))
                stalled = stalled || StartsWith(request, asked);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_TRUE(stalled) << "the package was never asked for";
        // Time for the bytes before the stall to arrive and be written.
        Pause(Slower(20 + 15 * (index % 4)));
    }
    else
    {
        // Paced: the transfer's chunks each wait delayMs. Writing: as long as
        // the uninterrupted run took from that line to its last (the process's
        // end takes long under Wine).
        double span = 0;
        if (kind == KillAt::Paced)
            for (uint64_t transfer : version.Transfers)
                span += static_cast<double>((transfer + 65535) / 65536 * delayMs);
        else
            span = LineTime(version.Run, "Client updated to") - LineTime(version.Run, WritingLine(version));
        const std::string line = kind == KillAt::Paced ? TransferLine(version) : WritingLine(version);
        const double after = span * index / total;
        char text[64];
        std::snprintf(text, sizeof text, " + %.2f ms", after);
        kill.Where = "after \"" + line + "\"" + text;
        if (WaitForLine(child, kill.Lines, line))
            Pause(after);
    }
    kill.Landed = child.Kill();
    EXPECT_TRUE(SetDevServerFaults(""));
    return kill;
}

class PackageUpdateKill : public ::testing::TestWithParam<KillStrategy>
{
};

TEST_P(PackageUpdateKill, EveryFileOldOrNewAfterTheKillAndWholeAfterTheNextRun)
{
    const KillStrategy& strategy = GetParam();
    KillFixture& fixture = Fixture();
    if (fixture.NoServer)
        GTEST_SKIP() << fixture.Problem;
    ASSERT_TRUE(fixture.Ready) << fixture.Problem;
    const Version& version = fixture.Of(strategy.UpdateWay);

    const int points = PointsOf(strategy);
    int tried = 0;
    int landed = 0;
    int survived = 0;
    for (int point = 0; point < points; ++point)
    {
        const int index = point * strategy.Sweep / points;
        Trial trial;
        fs::remove_all(trial.Folder.Path);
        fs::copy(fixture.Installed, trial.Folder.Path, fs::copy_options::recursive);

        std::vector<Kill> kills{KillOnce(fixture, version, strategy.Kind, index, strategy.Sweep, trial)};
        bool right = true;
        if (strategy.Kind == KillAt::Twice)
        {
            const std::vector<std::string> torn = TornFiles(trial.Publish, fixture.A, version.Files);
            right = torn.empty();
            EXPECT_TRUE(torn.empty())
                << "torn after the first kill " << kills[0].Where << ": " << torn.front();
            // The next run, cut at one of its first lines.
            kills.push_back(KillOnce(fixture, version, KillAt::Line, 1 + index % 6, strategy.Sweep, trial));
        }
        tried += static_cast<int>(kills.size());
        for (const Kill& kill : kills)
            landed += kill.Landed ? 1 : 0;
        const Kill& last = kills.back();
        const std::vector<std::string> torn = TornFiles(trial.Publish, fixture.A, version.Files);
        right = right && torn.empty();
        EXPECT_TRUE(torn.empty()) << "killed " << last.Where << ", " << torn.size()
                                  << " file(s) hold neither the old nor the new bytes, first " << torn.front()
                                  << "\n  the child's last lines:\n"
                                  << Tail(last.Lines);

        const Completed run = RunToEnd(fixture, version.Name, trial);
        const std::vector<std::string> problems = WholeProblems(trial, fixture.A, version);
        right = right && run.ExitCode == 0 && EndedWhole(run.Lines) && problems.empty();
        EXPECT_EQ(0, run.ExitCode) << "the run after the kill " << last.Where << " did not end well\n"
                                   << Tail(TextsOf(run.Lines)) << ReadFileBytes(trial.Stderr);
        EXPECT_TRUE(EndedWhole(run.Lines)) << "killed " << last.Where << "\n" << Tail(TextsOf(run.Lines));
        for (const std::string& problem : problems)
            ADD_FAILURE() << "killed " << last.Where << " (" << (last.Landed ? "mid-update" : "after its end")
                          << "), then run to the end: " << problem << "\n  the killed run's last lines:\n"
                          << Tail(last.Lines) << "  the next run's last lines:\n"
                          << Tail(TextsOf(run.Lines));
        survived += right ? static_cast<int>(kills.size()) : 0;
    }
    // The figures scripts/kill-sweep.sh adds up.
    std::printf("[ KILLS    ] %s: %d kill points, %d landed mid-update, %d survived\n", strategy.Name, tried,
                landed, survived);
    std::fflush(stdout);
    // A strategy whose kills all came after the update ended tested nothing.
    EXPECT_GT(landed, 0) << "no kill of " << strategy.Name << " cut the update short";
}

INSTANTIATE_TEST_SUITE_P(Strategies, PackageUpdateKill, ::testing::ValuesIn(Strategies),
                         [](const ::testing::TestParamInfo<KillStrategy>& info) { return info.param.Name; });
} // namespace
