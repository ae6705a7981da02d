// The client update as the launcher runs it, in a process of its own, so that
// the kill tests (Tests/Module/PackageUpdateKillTests.cpp) can end it at any
// point. Each log line goes to stdout as soon as it is written ("E " before an
// error line), so the test can kill the process right after a chosen line.
//
//   PackageUpdateChild update <base url> <package stem> <publish folder> <download folder>
//       brings the client in <publish folder> up to <base url><stem>.pkg as the
//       package worker's thread does; exit 0 when the client is whole, 1 when it
//       gave up.
//   PackageUpdateChild fixture <publisher> <folder>
//       writes the made-up client in three versions (A, B: most data changed,
//       files added and removed; P: a few files changed) into <folder>/A, B, P
//       and publishes each with <publisher> into <folder>/served as
//       Startup<version>.pkg and .crc; exit 0 when all three are published.
#include "LauncherDownload.h"
#include "PackageWorker.h"

#include "xCommandLine.h"
#include "xEngineContext.h"
#include "xLog.h"
#include "xLogTarget.h"
#include "xProcess.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "FileBytes.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int UsageExitCode = 2;

class StdoutTarget : public xLogTarget
{
public:
    StdoutTarget() : xLogTarget(u"stdout") {}
    void Write(const xString&, LogLevel level, LogCategory, int, int, const xString& message) override
    {
        std::string text(message.c_str(), message.Length());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::fprintf(stdout, "%s%s\n", level == LogLevel::Error ? "E " : "", text.c_str());
        std::fflush(stdout);
    }
};

xWString AsFolder(const xWString& path)
{
    return path.IsEmpty() || path.Last() == u'/' ? path : path + u"/";
}

int Update(const std::vector<xWString>& arguments)
{
    if (arguments.size() != 6)
        return UsageExitCode;
    GEngineContext = new xEngineContext();
    GEngineContext->Logger = new xLog();
    GEngineContext->Logger->FileTarget = std::make_unique<StdoutTarget>();
    // The launcher's own folder, where it downloads, always exists.
    const xWString downloads = AsFolder(arguments[5]);
    std::error_code error;
    std::filesystem::create_directories(FsPath(downloads), error);
    SetDownloadFolder(downloads);
    const xString stem = WideToUtf8(arguments[3]);
    PackageJob job;
    job.BaseUrl = WideToUtf8(arguments[2]);
    job.PackageName = stem + ".pkg";
    job.ManifestName = stem + ".crc";
    job.PublishFolder = AsFolder(arguments[4]);
    // The body of the launcher's worker thread on a thread of its own, joined:
    // the thread's own library state is gone before the process ends, which
    // the leak check of the sanitizer build looks at.
    int result = -1;
    std::thread worker([&] { result = PackageUpdateThread(job); });
    worker.join();
    return result == 0 ? 0 : 1;
}

// Text the publisher packs (it compresses what shrinks): numbered lines.
std::string TextBytes(size_t size, int seed)
{
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "[zone " + std::to_string(seed) + "] entry " + std::to_string(line) + " = " +
                std::to_string((line * 7919 + seed * 104729) % 100003) + "\n";
    text.resize(size);
    return text;
}

// Random bytes, which the publisher stores as they are.
std::string RawBytes(size_t size, int seed)
{
    return PatternBytes(size, static_cast<uint32_t>(seed));
}

using Client = std::map<std::string, std::string>;

Client VersionA()
{
    Client a;
    a["game.exe"] = RawBytes(300000, 1);
    a["Bin/Win32/ReleaseStatic/RWGame.exe"] = RawBytes(200000, 2);
    a["Bin/Win32/ReleaseStatic/engine.dll"] = TextBytes(250000, 3);
    a["data/maps/zone1/terrain.dat"] = RawBytes(150000, 4);
    a["data/maps/zone1/objects.xml"] = TextBytes(120000, 5);
    a["data/maps/zone2/terrain.dat"] = RawBytes(100000, 6);
    a["data/config/settings.ini"] = TextBytes(3000, 7);
    a["data/config/keys.ini"] = TextBytes(800, 8);
    a["data/sound/theme.ogg"] = RawBytes(180000, 9);
    a["data/ui/fonts/readme.txt"] = TextBytes(5000, 10);
    a["data/ui/skin.pak"] = RawBytes(60000, 11);
    a["empty.txt"] = "";
    a["logs/old.log"] = TextBytes(20000, 12);
    a["data/legacy/patch1.bin"] = RawBytes(40000, 13);
    a["\xE6\xB1\x89\xE5\xAD\x97/\xE8\xAF\xB4\xE6\x98\x8E.txt"] = TextBytes(2000, 14);
    for (int script = 0; script < 10; ++script)
    {
        char name[40];
        std::snprintf(name, sizeof name, "data/scripts/s%02d.lua", script);
        a[name] = TextBytes(1000 + 500 * static_cast<size_t>(script), 20 + script);
    }
    return a;
}

// The full way: most of the data changed, sizes too.
Client VersionB(const Client& a)
{
    Client b = a;
    b["game.exe"] = RawBytes(320000, 101);
    b["Bin/Win32/ReleaseStatic/RWGame.exe"] = RawBytes(210000, 102);
    b["Bin/Win32/ReleaseStatic/engine.dll"] = TextBytes(270000, 103);
    b["data/maps/zone1/objects.xml"] = TextBytes(90000, 105);
    b["data/maps/zone2/terrain.dat"] = RawBytes(120000, 106);
    b["data/config/settings.ini"] = TextBytes(3500, 107);
    b["data/ui/skin.pak"] = RawBytes(70000, 111);
    b.erase("logs/old.log");
    b.erase("data/legacy/patch1.bin");
    b["data/maps/zone3/terrain.dat"] = RawBytes(90000, 115);
    b["data/maps/zone3/objects.xml"] = TextBytes(30000, 116);
    b["data/new/deep/er/still/file.bin"] = RawBytes(5000, 117);
    b["data/new/added-empty.dat"] = "";
    for (int script = 0; script < 10; script += 2)
    {
        char name[40];
        std::snprintf(name, sizeof name, "data/scripts/s%02d.lua", script);
        b[name] = TextBytes(1200 + 400 * static_cast<size_t>(script), 120 + script);
    }
    return b;
}

// The partial way: a few files changed, one added, one removed.
Client VersionP(const Client& a)
{
    Client p = a;
    p["data/config/settings.ini"] = TextBytes(3300, 207);
    p["data/scripts/s03.lua"] = TextBytes(2900, 223);
    p["data/ui/skin.pak"] = RawBytes(61000, 211);
    p["data/config/extra.ini"] = TextBytes(700, 230);
    p.erase("logs/old.log");
    return p;
}

bool WriteClient(const std::filesystem::path& folder, const Client& client)
{
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    for (const auto& [name, bytes] : client)
        if (!WriteFileBytes(folder / std::filesystem::u8path(name), bytes))
            return false;
    // An empty folder tree still exists when every file is written.
    return std::filesystem::is_directory(folder, error);
}

std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + Narrow(Wide(path)) + "\"";
}

bool Publish(const xWString& publisher, const std::filesystem::path& source, const std::string& version,
             const std::filesystem::path& out, const std::string& extra)
{
    const std::string arguments =
        "client --source " + Quoted(source) + " --version " + version + " --out " + Quoted(out) + extra;
    uint32_t processId = 0;
    xProcessHandle process = StartProcess(publisher, Utf8ToWide(arguments.c_str()), xWString(), &processId);
    int code = -1;
    return process.IsValid() && process.Wait(120000, &code) && code == 0;
}

int Fixture(const std::vector<xWString>& arguments)
{
    if (arguments.size() != 4)
        return UsageExitCode;
    const std::filesystem::path root = FsPath(arguments[3]);
    const Client a = VersionA();
    const Client b = VersionB(a);
    const Client p = VersionP(a);
    const std::filesystem::path served = root / "served";
    std::error_code error;
    std::filesystem::create_directories(served, error);
    // B carries XXH32 sums, A and P CRC-32C ones: both checks come up.
    const bool made = WriteClient(root / "A", a) && WriteClient(root / "B", b) &&
                      WriteClient(root / "P", p) && Publish(arguments[2], root / "A", "A", served, "") &&
                      Publish(arguments[2], root / "B", "B", served, " --xx") &&
                      Publish(arguments[2], root / "P", "P", served, "");
    std::fprintf(stdout, "%s\n", made ? "fixture ready" : "fixture failed");
    return made ? 0 : 1;
}
} // namespace

int main()
{
    const xCommandLine commandLine(xCommandLine::OfThisProcess(), false);
    const std::vector<xWString>& arguments = commandLine.Arguments();
    const xWString mode = arguments.size() > 1 ? arguments[1] : xWString();
    if (mode == u"update")
        return Update(arguments);
    if (mode == u"fixture")
        return Fixture(arguments);
    std::fprintf(stderr,
                 "usage: PackageUpdateChild update URL STEM PUBLISH DOWNLOAD | fixture PUBLISHER FOLDER\n");
    return UsageExitCode;
}
