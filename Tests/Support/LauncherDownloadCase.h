#pragma once

#include "LauncherDownloadServers.h"

#include "CapturedLog.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "InternetSessions.h"
#include "LauncherDownload.h"
#include "UpdateContext.h"
#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Outcomes by name in failure messages.
inline void PrintTo(TransferOutcome outcome, std::ostream* out)
{
    static const char* const names[] = {"Whole",       "BadUrl", "Unanswered", "TooLarge",
                                        "NoTemporary", "Cut",    "NotRenamed"};
    const size_t index = static_cast<size_t>(outcome);
    *out << (index < sizeof names / sizeof names[0] ? names[index] : "?");
}

inline std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::string Std(const xString& text)
{
    return std::string(text.c_str(), text.Length());
}

// A test on one server: a served folder and a download folder of its own
// (named after the test), a captured log, an update context of its own with
// its download folder there, and the dev server without faults and with an empty request record.
class DownloadTestBase : public ::testing::Test
{
protected:
    // A skip or a failed assertion here returns from StartCase only: a set-up that goes on
    // after it first checks IsSkipped() || HasFatalFailure().
    void StartCase(PeerKind kind)
    {
        Server = &GetTestServer(kind);
        if (!Server->Available)
            GTEST_SKIP() << PeerName(kind) << " not available: " << Server->Problem;
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        CaseName = std::string(info->test_suite_name()) + "-" + info->name();
        std::replace(CaseName.begin(), CaseName.end(), '/', '-');
        Files.DeleteDirectory(ServedFolder());
        Files.DeleteDirectory(OutFolder());
        ASSERT_TRUE(Files.CreateDirectories(ServedFolder()))
            << "cannot make " << WideToUtf8(ServedFolder()).c_str();
        ASSERT_TRUE(Files.CreateDirectories(OutFolder()));
        Context->DownloadFolder = OutFolder();
        if (kind == PeerKind::DevServer)
        {
            ASSERT_TRUE(SetDevServerFaults("")) << "the dev server's control endpoint did not answer";
            DevServerRequests(true);
        }
    }

    void TearDown() override
    {
        if (xHttpSession* session = DownloadSession())
            session->SetTimeouts(xHttpSession::DefaultConnectTimeoutMs, xHttpSession::DefaultStallTimeoutMs);
        if (Server != nullptr && Server->Available && Server->Kind == PeerKind::DevServer)
            SetDevServerFaults("");
    }

    xWString ServedFolder() const { return Server->Root + Utf8ToWide(CaseName.c_str()) + u"/"; }
    xWString OutFolder() const { return Server->Root + Utf8ToWide((CaseName + "-out").c_str()) + u"/"; }
    std::string Path(const std::string& name) const { return "/" + CaseName + "/" + name; }
    std::string Url(const std::string& name) const { return Server->BaseUrl() + CaseName + "/" + name; }
    xWString Out(const std::string& name) const { return OutFolder() + Utf8ToWide(name.c_str()); }

    // Writes a file (folders made as needed) for a case.
    void Put(const xWString& path, const std::string& bytes)
    {
        ASSERT_TRUE(WriteFileBytes(FsPath(path), bytes));
    }
    void Serve(const std::string& name, const std::string& bytes)
    {
        Put(ServedFolder() + Utf8ToWide(name.c_str()), bytes);
    }
    void Serve(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        Serve(name, std::string(bytes.begin(), bytes.end()));
    }
    // The download folder's content, "" for a missing file.
    std::string OutText(const std::string& name) const { return ReadFileBytes(FsPath(Out(name))); }
    bool OutExists(const std::string& name) const { return Files.IsFile(Out(name)); }
    std::vector<std::string> Errors() const { return Log.MessagesStartingWith("E "); }

    CapturedLog Log;
    xEngineFileSystem Files;
    // A fresh context for the next case of a table: the same settings, the
    // progress of a fresh process.
    void RenewContext()
    {
        auto next = std::make_unique<UpdateContext>(Files);
        next->DownloadFolder = Context->DownloadFolder;
        next->RetryPolicy = Context->RetryPolicy;
        next->DecoderCount = Context->DecoderCount;
        Context = std::move(next);
    }

    std::unique_ptr<UpdateContext> Context = std::make_unique<UpdateContext>(Files);
    TestServer* Server = nullptr;
    std::string CaseName;
};
