#pragma once

// What the installation and publish-folder tests share: folders with awkward
// names, the InstallerProbe program beside the tests and the reports it writes.

#include "xPath.h"
#include "xProcess.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace InstallerProbeSupport
{
namespace fs = std::filesystem;

// ".exe" on Windows, nothing on Linux: whatever the test program itself carries.
inline xWString ExecutableSuffix()
{
    return GetExtension(GetModulePath());
}

// Quoted for a command line, in "/" form.
inline std::string Quoted(const fs::path& path)
{
    return "\"" + Narrow(Wide(path)) + "\"";
}

inline bool HasLine(const std::vector<std::string>& lines, const std::string& wanted)
{
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

inline std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text.empty() ? "  (nothing)\n" : text;
}

// Polls until `done` holds or the time is up; the final answer of `done`.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Whether the report holds `line` within 20 s.
inline bool WaitForLine(const fs::path& report, const std::string& line)
{
    return WaitUntil([&] { return HasLine(ReadFileLines(report), line); }, std::chrono::seconds(20));
}

// A copy of the probe under `name` in `folder`, runnable.
inline fs::path PlaceProbe(const fs::path& folder, const std::string& name)
{
    fs::create_directories(folder);
    fs::copy_file(FsPath(GetModuleDirectory() + u"InstallerProbe" + ExecutableSuffix()),
                  folder / fs::u8path(name), fs::copy_options::overwrite_existing);
    return folder / fs::u8path(name);
}

// Starts `program` with `arguments` in `folder`; the test fails when it cannot.
inline xProcessHandle StartProbe(const fs::path& program, const std::string& arguments,
                                 const fs::path& folder)
{
    uint32_t processId = 0;
    xProcessHandle handle;
    // Wine now and then refuses to start a file copied a moment ago while the
    // machine is busy; a real launcher start is not what these tests look at.
    for (int attempt = 0; attempt < 5 && !(handle.IsValid() && processId != 0); ++attempt)
    {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        handle = StartProcess(Wide(program), Utf8ToWide(arguments.c_str()), Wide(folder), &processId);
    }
    EXPECT_TRUE(handle.IsValid() && processId != 0) << "could not start " << Narrow(Wide(program));
    return handle;
}

// The exit code, or -1 when the process did not end within the limit.
inline int ExitCodeOf(xProcessHandle& process, uint32_t limitMs = 30000)
{
    int code = -1;
    return process.Wait(limitMs, &code) ? code : -1;
}

// A fresh folder whose name holds a blank and Chinese text, removed afterwards
// (after its probes have been told to end).
class ProbeFolderTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        ReleaseProbes();
        for (xProcessHandle& probe : Probes)
            probe.Wait(10000);
    }

    void ReleaseProbes() { std::ofstream(Release).put('x'); }

    // A probe that holds on until released, kept for the clean-up.
    xProcessHandle& Keep(xProcessHandle handle)
    {
        Probes.push_back(std::move(handle));
        return Probes.back();
    }

    TempFolder Folder{"inst \xe5\xae\x89\xe8\xa3\x85"};
    const fs::path Root = Folder.Path;
    const fs::path Release = Root / "release.flag";
    std::deque<xProcessHandle> Probes; // a deque keeps references to earlier ones valid
};
} // namespace InstallerProbeSupport
