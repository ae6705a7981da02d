#include "ChildProcess.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "LauncherDownloadServers.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "RangePlan.h"
#include "TempFolder.h"
#include "VerifiedState.h"
#include "VerifiedStateFormat.h"

#include "xPath.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <sstream>
#include <thread>
#include <vector>

// The client update (bin/PackageUpdateChild against the dev server) killed at
// many points while it brings an installed client A to B (the full way), P
// (the partial way) or C (the chunked way), then run to its end. After every kill each client file
// holds its old or its new bytes; after the complete run the client is whole
// and no temporary file is left. The versions come from the child's "fixture"
// mode: natively this test publishes them, under Wine scripts/test.sh does.
// LAUNCHER_KILL_SWEEP=1 runs every kill point (scripts/kill-sweep.sh).

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
    // A to B, most data stale; to P, a few files stale; to C, large files edited
    // inside; A again: up to date, the run only checks and writes the verified state.
    char Target;
    KillAt Kind;
    int Sweep;  // kill points of the full sweep
    int Native; // of a native run of the test command
    int Wine;   // of its run under wine64
};

const KillStrategy Strategies[] = {
    {"FullAtEachLine", 'B', KillAt::Line, 45, 4, 1},
    {"PartialAtEachLine", 'P', KillAt::Line, 35, 4, 1},
    {"ChunkedAtEachLine", 'C', KillAt::Line, 35, 4, 1},
    {"FullAfterBytes", 'B', KillAt::Bytes, 50, 4, 1},
    {"PartialAfterBytes", 'P', KillAt::Bytes, 20, 3, 1},
    {"ChunkedAfterBytes", 'C', KillAt::Bytes, 20, 3, 1},
    {"FullWhilePaced", 'B', KillAt::Paced, 25, 3, 1},
    {"PartialWhilePaced", 'P', KillAt::Paced, 10, 2, 1},
    {"ChunkedWhilePaced", 'C', KillAt::Paced, 10, 2, 1},
    {"FullWhileWriting", 'B', KillAt::Writing, 30, 4, 1},
    {"PartialWhileWriting", 'P', KillAt::Writing, 15, 2, 1},
    {"ChunkedWhileWriting", 'C', KillAt::Writing, 15, 2, 1},
    {"FullTwice", 'B', KillAt::Twice, 15, 2, 1},
    {"RecordAtEachLine", 'A', KillAt::Line, 20, 3, 1},
};

// The strategy's name in gtest's messages.
void PrintTo(const KillStrategy& strategy, std::ostream* out)
{
    *out << strategy.Name;
}

int PointsOf(const KillStrategy& strategy)
{
    const char* sweep = std::getenv("LAUNCHER_KILL_SWEEP");
    if (sweep != nullptr && std::string(sweep) == "1")
        return strategy.Sweep;
    return UnderWindows ? strategy.Wine : strategy.Native;
}

std::string Path8(const fs::path& path)
{
    return Narrow(Wide(path));
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

// An unfinished download, or the resume record that counts its bytes.
bool IsTemporary(const std::string& name)
{
    const fs::path extension = fs::u8path(name).extension();
    return extension == ".td" || extension == ".resume";
}

// The launcher's own record beside the client (a temporary of it is temporary).
bool IsRecord(const std::string& name)
{
    return name == xString(xWString(VerifiedStateFormat::RecordName)).c_str();
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

// Every file under `folder` with its bytes, read block-wise (byte-wise reading is
// slow in the sanitizer build, and a trial reads the client several times).
Client ReadTree(const fs::path& folder)
{
    Client files;
    for (const std::string& name : ListTree(folder))
    {
        if (IsRecord(name))
            continue;
        std::ostringstream bytes;
        bytes << std::ifstream(folder / fs::u8path(name), std::ios::binary).rdbuf();
        files[name] = bytes.str();
    }
    return files;
}

// Whether `client` has the file `name` with exactly `bytes`.
bool Holds(const Client& client, const std::string& name, const std::string& bytes)
{
    const auto found = client.find(name);
    return found != client.end() && found->second == bytes;
}

// A run of the child: its lines, when each came (ms from the start), its exit code.
struct ChildRun
{
    std::vector<std::string> Lines;
    std::vector<double> AtMs;
    int ExitCode = -1;

    bool EndedWhole() const
    {
        return !Lines.empty() && (StartsWith(Lines.back(), "Client updated to") ||
                                  StartsWith(Lines.back(), "Client is up to date"));
    }
    // The time of the first line starting with `start` (0 without one).
    double LineTime(const std::string& start) const
    {
        for (size_t i = 0; i < Lines.size(); ++i)
            if (StartsWith(Lines[i], start))
                return AtMs[i];
        return 0;
    }
    std::string Tail() const
    {
        std::string text;
        for (size_t i = Lines.size() > 12 ? Lines.size() - 12 : 0; i < Lines.size(); ++i)
            text += "    " + Lines[i] + "\n";
        return text.empty() ? "    (no output)\n" : text;
    }
};

struct Version
{
    std::string Name; // "B", "P" or "C"
    // The line after which the package's bytes come, and the one after which files are
    // written from whole data (full: the package is in place; partial: the ranges begin).
    std::string TransferLine, WritingLine;
    Client Files = {};
    Manifest Index = {};
    // The package's bytes the way fetches: the whole package, or the spans of the stale files' ranges
    // (of the chunk pack: the spans of the uninterrupted run).
    std::vector<uint64_t> Transfers = {};
    // The file the way fetches them from.
    std::string Fetched = ".pkg";
    ChildRun Uninterrupted = {};
};

// The client versions, the installed A every trial starts from, and each way's
// uninterrupted run; made once per test process.
struct KillFixture
{
    bool Ready = false;
    std::string Skip, Problem;
    std::string BaseUrl;
    Client A;
    Version Full, Partial, Chunked, UpToDate;
    std::unique_ptr<TempFolder> Installed; // publish/ and download/ of A
};

std::string ChildPath()
{
    return TestBinFolder() + "PackageUpdateChild" + Narrow(GetExtension(GetModulePath()));
}

// A publish folder and a download folder, copied from the installed A, with the child's stderr beside them.
struct Trial
{
    explicit Trial(const KillFixture& fixture)
    {
        if (fixture.Installed)
        {
            fs::remove_all(Folder.Path);
            fs::copy(fixture.Installed->Path, Folder.Path, fs::copy_options::recursive);
        }
    }
    bool Start(ChildProcess& child, const std::string& baseUrl, const std::string& version) const
    {
        return child.Start(
            {ChildPath(), "update", baseUrl, "Startup" + version, Path8(Publish), Path8(Download)},
            Path8(Folder.At("stderr.txt")));
    }
    TempFolder Folder{"update-kill"};
    fs::path Publish = Folder.At("publish");
    fs::path Download = Folder.At("download");
};

ChildRun RunToEnd(const std::string& baseUrl, const std::string& version, const Trial& trial)
{
    ChildRun run;
    ChildProcess child;
    const auto start = Clock::now();
    if (!trial.Start(child, baseUrl, version))
        return run;
    for (std::string line; child.ReadLine(line, 120000);)
    {
        run.Lines.push_back(line);
        run.AtMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    run.ExitCode = child.Wait(120000);
    return run;
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
        if (entry.DataSize > 0 && !Holds(installed, Narrow(entry.Name), wanted.at(Narrow(entry.Name))))
            ranges.push_back({entry.StartPos, entry.DataSize});
    }
    std::vector<uint64_t> lengths;
    for (const PlannedSpan& span : PlanRanges(ranges))
        lengths.push_back(span.Length);
    return lengths;
}

// The ranges a run asked after the line starting with `from`, by its lines
// "start position: N   block end: M  finish.".
std::vector<uint64_t> SpansOf(const ChildRun& run, const std::string& from)
{
    std::vector<uint64_t> spans;
    bool after = false;
    for (const std::string& line : run.Lines)
    {
        after = after || StartsWith(line, from);
        unsigned long long start = 0, end = 0;
        if (after && std::sscanf(line.c_str(), "start position: %llu block end: %llu", &start, &end) == 2)
            spans.push_back(end + 1 - start);
    }
    return spans.empty() ? std::vector<uint64_t>{1} : spans;
}

// Files under their real names that hold bytes of neither `before` nor `after`.
std::vector<std::string> TornFiles(const fs::path& publish, const Client& before, const Client& after)
{
    std::vector<std::string> torn;
    for (const auto& [name, bytes] : ReadTree(publish))
    {
        if (!IsTemporary(name) && !Holds(before, name, bytes) && !Holds(after, name, bytes))
            torn.push_back(name + " (" + std::to_string(bytes.size()) + " bytes)");
    }
    return torn;
}

FileStamp StampNow(const xEngineFileSystem& files, const xWString& path)
{
    const xFileInfo info = files.GetFileInfo(path);
    return {static_cast<uint64_t>(info.Size), info.LastWriteTime.GetTicks(), info.FileId};
}

// What is wrong with the verified state a run left: a record vouches only for
// files whose bytes match what it says (a damaged one vouches for nothing), and
// after a run that ended well it vouches for every entry of `whole`'s manifest,
// so the next run reads none.
std::vector<std::string> RecordProblems(const fs::path& publish, const Version* whole)
{
    const xWString folder = Wide(publish) + u"/";
    const xEngineFileSystem files;
    const std::string bytes = ReadFileBytes(publish / "Launcher.verified");
    VerifiedState state;
    std::string error;
    if (!ParseVerifiedState(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), state, error))
        return whole ? std::vector<std::string>{"no usable verified state: " + error}
                     : std::vector<std::string>{};
    std::vector<std::string> problems;
    std::map<std::string, VerifiedFile> recorded;
    for (const VerifiedFile& file : state.Files)
    {
        const xWString path = folder + Utf8ToWide(file.Name.c_str());
        ExpectedContent said;
        said.Size = file.Stamp.Size;
        said.XxPresent = file.Xx;
        (file.Xx ? said.Xx : said.Crc32c) = file.Sum;
        said.Sha256Present = file.Sha256Present;
        said.Sha256 = file.Sha256;
        if (StampNow(files, path) == file.Stamp && !VerifyFile(files, path, said))
            problems.push_back("the verified state vouches for " + file.Name + ", whose bytes differ");
        recorded[file.Name] = file;
    }
    if (whole)
        for (const ManifestEntry& entry : whole->Index.Entries)
        {
            const auto found = recorded.find(Narrow(entry.Name));
            if (found == recorded.end() ||
                !Vouches(found->second, ExpectedOf(entry), StampNow(files, folder + entry.Name)))
                problems.push_back("the verified state does not vouch for " + Narrow(entry.Name));
        }
    return problems;
}

// The client after the run that completed: every entry verifies against the
// manifest and holds the new bytes, files that the new version dropped keep
// their old bytes (the worker removes nothing), and nothing temporary is left.
std::vector<std::string> WholeProblems(const Trial& trial, const Client& before, const Version& version)
{
    std::vector<std::string> problems;
    const xWString publish = Wide(trial.Publish) + u"/";
    const xEngineFileSystem files;
    for (const ManifestEntry& entry : version.Index.Entries)
        if (!VerifyFile(files, publish + entry.Name, entry.OrigSize,
                        entry.XxPresent ? entry.Xx : entry.OrigCrc32c, entry.XxPresent))
            problems.push_back(Narrow(entry.Name) + " does not match the manifest");
    const Client installed = ReadTree(trial.Publish);
    for (const auto& [name, bytes] : version.Files)
        if (!Holds(installed, name, bytes))
            problems.push_back(name + " is not the new version's");
    for (const auto& [name, bytes] : before)
        if (version.Files.count(name) == 0 && !Holds(installed, name, bytes))
            problems.push_back(name + " (dropped by the new version) changed");
    for (const fs::path& folder : {trial.Publish, trial.Download})
        for (const std::string& name : ListTree(folder))
            if (IsTemporary(name))
                problems.push_back(Path8(folder.filename()) + " folder keeps " + name);
    for (const std::string& problem : RecordProblems(trial.Publish, &version))
        problems.push_back(problem);
    return problems;
}

void MakeFixture(KillFixture& fixture)
{
    TestServer& server = GetTestServer(PeerKind::DevServer);
    if (!server.Available)
    {
        fixture.Skip = server.Problem;
        return;
    }
    const fs::path root = FsPath(server.Root + u"update-kill/");
    fixture.BaseUrl = server.BaseUrl() + "update-kill/served/";
    if (!UnderWindows)
    {
        ChildProcess maker;
        TempFolder scratch;
        std::string line;
        bool started = maker.Start({ChildPath(), "fixture", TestBinFolder() + "publish", Path8(root)},
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
    fixture.A = ReadTree(root / "A");
    fixture.Full = {"B", "file created: StartupB.pkg.td", "renaming StartupB.pkg.td to StartupB.pkg"};
    fixture.Partial = {"P", "file : StartupP.crc finish.", "file : StartupP.crc finish."};
    fixture.Chunked = {"C", "Chunked way for", "Chunked way for"};
    fixture.Chunked.Fetched = ".chunkpack";
    fixture.UpToDate = {"A", "", ""};
    for (Version* version : {&fixture.Full, &fixture.Partial, &fixture.Chunked, &fixture.UpToDate})
    {
        if (!LoadManifest(root / ("served/Startup" + version->Name + ".crc"), version->Index))
        {
            fixture.Problem = "no published client versions in " + Path8(root) +
                              " (scripts/test.sh publishes them for the Windows tests)";
            return;
        }
        version->Files = ReadTree(root / version->Name);
        version->Transfers = version == &fixture.Full
                                 ? std::vector<uint64_t>{version->Index.Package.TotalSize}
                                 : PlannedTransfers(version->Index, fixture.A, version->Files);
    }

    // A installed by the update itself, the start of every trial.
    Trial install(fixture);
    const ChildRun installed = RunToEnd(fixture.BaseUrl, "A", install);
    if (installed.ExitCode != 0 || ReadTree(install.Publish) != fixture.A)
    {
        fixture.Problem = "version A did not install:\n" + installed.Tail();
        return;
    }
    fixture.Installed = std::make_unique<TempFolder>("update-kill-installed");
    fs::remove_all(fixture.Installed->Path);
    fs::copy(install.Folder.Path, fixture.Installed->Path, fs::copy_options::recursive);

    for (Version* version : {&fixture.Full, &fixture.Partial, &fixture.Chunked, &fixture.UpToDate})
    {
        Trial trial(fixture);
        const ChildRun run = RunToEnd(fixture.BaseUrl, version->Name, trial);
        const std::vector<std::string> problems = WholeProblems(trial, fixture.A, *version);
        const char* way = version == &fixture.Full      ? "(full way"
                          : version == &fixture.Partial ? "(partial way"
                          : version == &fixture.Chunked ? "(chunked way"
                                                        : "Client is up to date";
        if (run.ExitCode != 0 || !problems.empty() || !run.EndedWhole() ||
            run.Lines.back().find(way) == std::string::npos)
        {
            fixture.Problem = "the uninterrupted update to " + version->Name + " went wrong" +
                              (problems.empty() ? "" : ": " + problems.front()) + "\n" + run.Tail();
            return;
        }
        version->Uninterrupted = run;
    }
    fixture.Chunked.Transfers = SpansOf(fixture.Chunked.Uninterrupted, fixture.Chunked.TransferLine);
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

// One killed run: where the kill was meant to land and whether it did.
struct Kill
{
    std::string Where;
    bool Landed = false;
    ChildRun Seen;
};

// Starts the update to `version` and kills it at point `index` of `total` of
// the strategy's kind (Twice: its first kill).
Kill KillOnce(const KillFixture& fixture, const Version& version, KillAt kind, int index, int total,
              const Trial& trial)
{
    Kill kill;
    const std::string package = "Startup" + version.Name + version.Fetched;
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
    if (!trial.Start(child, fixture.BaseUrl, version.Name))
    {
        ADD_FAILURE() << "the update child did not start: " << ChildPath();
        return kill;
    }
    const std::vector<std::string>& lines = version.Uninterrupted.Lines;
    if (kind == KillAt::Line || kind == KillAt::Twice)
    {
        // Each line but the last, then again each a millisecond later, and so on.
        const size_t at = 1 + static_cast<size_t>(index) % (lines.size() - 1);
        const int after = kind == KillAt::Twice ? 0 : index / static_cast<int>(lines.size() - 1);
        kill.Where = "after line " + std::to_string(at) + " (\"" + lines[at - 1] + "\") + " +
                     std::to_string(after) + " ms";
        if (WaitForLine(child, kill.Seen.Lines, "", at))
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(after));
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
        // Time for the bytes before the stall to arrive and be written (longer under Wine).
        std::this_thread::sleep_for(
            std::chrono::milliseconds((20 + 15 * (index % 4)) * (UnderWindows ? 5 : 1)));
    }
    else
    {
        // Paced: the transfer's chunks each wait delayMs. Writing: as long as the
        // uninterrupted run took from that line to its last.
        double span = 0;
        if (kind == KillAt::Paced)
            for (uint64_t transfer : version.Transfers)
                span += static_cast<double>((transfer + 65535) / 65536 * delayMs);
        else
            span = version.Uninterrupted.LineTime("Client updated to") -
                   version.Uninterrupted.LineTime(version.WritingLine);
        const std::string line = kind == KillAt::Paced ? version.TransferLine : version.WritingLine;
        const double after = span * index / total;
        char text[64];
        std::snprintf(text, sizeof text, " + %.2f ms", after);
        kill.Where = "after \"" + line + "\"" + text;
        if (WaitForLine(child, kill.Seen.Lines, line))
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(after));
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
    if (!fixture.Skip.empty())
        GTEST_SKIP() << fixture.Skip;
    ASSERT_TRUE(fixture.Ready) << fixture.Problem;
    const Version& version = strategy.Target == 'B'   ? fixture.Full
                             : strategy.Target == 'P' ? fixture.Partial
                             : strategy.Target == 'C' ? fixture.Chunked
                                                      : fixture.UpToDate;

    const int points = PointsOf(strategy);
    int tried = 0, landed = 0, survived = 0;
    for (int point = 0; point < points; ++point)
    {
        const int index = point * strategy.Sweep / points;
        Trial trial(fixture);
        // A copy has other file ids and times than the record says: an
        // up-to-date run first makes the record vouch for it. Every other
        // up-to-date trial starts without one instead: it reads every file, then writes one.
        if (strategy.Target == 'A' && point % 2 == 1)
            fs::remove(trial.Publish / "Launcher.verified");
        else
        {
            const ChildRun primed = RunToEnd(fixture.BaseUrl, "A", trial);
            ASSERT_TRUE(primed.ExitCode == 0 && RecordProblems(trial.Publish, &fixture.UpToDate).empty())
                << "the up-to-date run before the trial went wrong\n"
                << primed.Tail();
        }
        std::vector<Kill> kills{KillOnce(fixture, version, strategy.Kind, index, strategy.Sweep, trial)};
        bool right = true;
        for (size_t k = 0; k < kills.size(); ++k)
        {
            const std::vector<std::string> torn = TornFiles(trial.Publish, fixture.A, version.Files);
            const std::vector<std::string> vouched = RecordProblems(trial.Publish, nullptr);
            right = right && torn.empty() && vouched.empty();
            for (const std::string& problem : vouched)
                ADD_FAILURE() << "killed " << kills[k].Where << ": " << problem;
            EXPECT_TRUE(torn.empty()) << "killed " << kills[k].Where << ", " << torn.size()
                                      << " file(s) hold neither the old nor the new bytes, first "
                                      << torn.front() << "\n  the child's last lines:\n"
                                      << kills[k].Seen.Tail();
            // Twice: the next run, cut at one of its first lines.
            if (strategy.Kind == KillAt::Twice && k == 0)
                kills.push_back(
                    KillOnce(fixture, version, KillAt::Line, 1 + index % 6, strategy.Sweep, trial));
        }
        tried += static_cast<int>(kills.size());
        for (const Kill& kill : kills)
            landed += kill.Landed ? 1 : 0;
        const Kill& last = kills.back();

        const ChildRun run = RunToEnd(fixture.BaseUrl, version.Name, trial);
        const std::vector<std::string> problems = WholeProblems(trial, fixture.A, version);
        right = right && run.ExitCode == 0 && run.EndedWhole() && problems.empty();
        EXPECT_EQ(0, run.ExitCode) << "the run after the kill " << last.Where << " did not end well\n"
                                   << run.Tail() << ReadFileBytes(trial.Folder.At("stderr.txt"));
        EXPECT_TRUE(run.EndedWhole()) << "killed " << last.Where << "\n" << run.Tail();
        for (const std::string& problem : problems)
            ADD_FAILURE() << "killed " << last.Where << " (" << (last.Landed ? "mid-update" : "after its end")
                          << "), then run to the end: " << problem << "\n  the killed run's last lines:\n"
                          << last.Seen.Tail() << "  the next run's last lines:\n"
                          << run.Tail();
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
