// The client update as the launcher runs it, in a process of its own that the
// kill tests end at any point; each log line goes to stdout as it is written
// ("E " before an error line).
//   update <base url> <package stem> <publish folder> <download folder>: as the
//       package worker's thread does; exit 0 when the client is whole, else 1.
//   fixture <publisher> <folder>: the made-up client in four versions (A; B: most
//       data changed, files added and removed; P: a few files changed; C: bytes
//       inserted into and rewritten inside large files) in <folder>/A, B, P, C,
//       published into <folder>/served as Startup<version>.*.
#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "PackageWorker.h"

#include "xCommandLine.h"
#include "xPath.h"
#include "xProcess.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "LineLogTarget.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int UsageExitCode = 2;

int Update(const std::vector<xWString>& arguments)
{
    if (arguments.size() != 6)
        return UsageExitCode;
    LogLinesTo(
        [](const std::string& line)
        {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        });
    // The launcher's own folder, where it downloads, always exists.
    const xWString downloads = AsDirectoryPath(arguments[5]);
    std::error_code error;
    std::filesystem::create_directories(FsPath(downloads), error);
    UpdateContext context(LauncherFiles());
    context.DownloadFolder = downloads;
    const xString stem = WideToUtf8(arguments[3]);
    PackageJob job;
    job.BaseUrl = WideToUtf8(arguments[2]);
    job.PackageName = stem + ".pkg";
    job.ManifestName = stem + ".crc";
    job.PublishFolder = AsDirectoryPath(arguments[4]);
    // The body of the launcher's worker thread on a thread of its own, joined:
    // the thread's own library state is gone before the process ends, which
    // the leak check of the sanitizer build looks at.
    int result = -1;
    std::thread worker([&] { result = PackageUpdateThread(context, job); });
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

using Client = std::map<std::string, std::string>;

// A file of a version: packed text ('t'), random bytes the publisher stores as
// they are ('r'), or gone from the version it changes ('-').
struct FileSpec
{
    std::string Name;
    char Kind;
    size_t Size;
    int Seed;
};

// data/scripts/s00.lua to s09.lua, every `step`th, of text growing by `growth`.
void AddScripts(std::vector<FileSpec>& files, int step, size_t size, size_t growth, int seed)
{
    for (int script = 0; script < 10; script += step)
        files.push_back({"data/scripts/s0" + std::to_string(script) + ".lua", 't',
                         size + growth * static_cast<size_t>(script), seed + script});
}

Client Changed(Client client, const std::vector<FileSpec>& files)
{
    for (const FileSpec& file : files)
    {
        if (file.Kind == '-')
            client.erase(file.Name);
        else
            client[file.Name] = file.Kind == 't' ? TextBytes(file.Size, file.Seed)
                                                 : PatternBytes(file.Size, static_cast<uint32_t>(file.Seed));
    }
    return client;
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
    std::vector<FileSpec> a = {{"game.exe", 'r', 300000, 1},
                               {"Bin/Win32/ReleaseStatic/RWGame.exe", 'r', 200000, 2},
                               {"Bin/Win32/ReleaseStatic/engine.dll", 't', 250000, 3},
                               {"data/maps/zone1/terrain.dat", 'r', 150000, 4},
                               {"data/maps/zone1/objects.xml", 't', 120000, 5},
                               {"data/maps/zone2/terrain.dat", 'r', 100000, 6},
                               {"data/config/settings.ini", 't', 3000, 7},
                               {"data/config/keys.ini", 't', 800, 8},
                               {"data/sound/theme.ogg", 'r', 180000, 9},
                               {"data/ui/fonts/readme.txt", 't', 5000, 10},
                               {"data/ui/skin.pak", 'r', 60000, 11},
                               {"empty.txt", 't', 0, 0},
                               {"logs/old.log", 't', 20000, 12},
                               {"data/legacy/patch1.bin", 'r', 40000, 13},
                               {"\xE6\xB1\x89\xE5\xAD\x97/\xE8\xAF\xB4\xE6\x98\x8E.txt", 't', 2000, 14}};
    AddScripts(a, 1, 1000, 500, 20);
    // The full way: most of the data changed, sizes too.
    std::vector<FileSpec> b = {{"game.exe", 'r', 320000, 101},
                               {"Bin/Win32/ReleaseStatic/RWGame.exe", 'r', 210000, 102},
                               {"Bin/Win32/ReleaseStatic/engine.dll", 't', 270000, 103},
                               {"data/maps/zone1/objects.xml", 't', 90000, 105},
                               {"data/maps/zone2/terrain.dat", 'r', 120000, 106},
                               {"data/config/settings.ini", 't', 3500, 107},
                               {"data/ui/skin.pak", 'r', 70000, 111},
                               {"logs/old.log", '-', 0, 0},
                               {"data/legacy/patch1.bin", '-', 0, 0},
                               {"data/maps/zone3/terrain.dat", 'r', 90000, 115},
                               {"data/maps/zone3/objects.xml", 't', 30000, 116},
                               {"data/new/deep/er/still/file.bin", 'r', 5000, 117},
                               {"data/new/added-empty.dat", 't', 0, 0}};
    AddScripts(b, 2, 1200, 400, 120);
    // The partial way: a few files changed, one added, one removed.
    const std::vector<FileSpec> p = {{"data/config/settings.ini", 't', 3300, 207},
                                     {"data/scripts/s03.lua", 't', 2900, 223},
                                     {"data/ui/skin.pak", 'r', 61000, 211},
                                     {"data/config/extra.ini", 't', 700, 230},
                                     {"logs/old.log", '-', 0, 0}};
    const Client clientA = Changed({}, a);
    // The chunked way: a few records rewritten or inserted inside large files.
    Client clientC = clientA;
    clientC["game.exe"].insert(150000, PatternBytes(2000, 301));
    clientC["data/sound/theme.ogg"].replace(90000, 3000, PatternBytes(3000, 302));
    clientC["Bin/Win32/ReleaseStatic/engine.dll"].insert(120000, TextBytes(1500, 303));
    const std::filesystem::path root = FsPath(arguments[3]);
    std::error_code error;
    std::filesystem::create_directories(root / "served", error);
    // B carries XXH32 sums, A and P CRC-32C ones: both checks come up.
    const struct
    {
        const char* Name;
        Client Files;
        const char* Extra;
    } versions[] = {{"A", clientA, ""},
                    {"B", Changed(clientA, b), " --xx"},
                    {"P", Changed(clientA, p), ""},
                    {"C", clientC, ""}};
    bool made = true;
    for (const auto& version : versions)
        made = made && WriteClient(root / version.Name, version.Files) &&
               Publish(arguments[2], root / version.Name, version.Name, root / "served", version.Extra);
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
