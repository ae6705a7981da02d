#pragma once

#include "LauncherDownloadServers.h"

#include "CapturedLog.h"
#include "InternetSessions.h"
#include "LauncherDownload.h"
#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Bytes that differ at every offset, so a shifted or misplaced piece shows.
inline std::vector<uint8_t> PatternBytes(size_t count, int seed)
{
    std::vector<uint8_t> bytes(count);
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i)
    {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

inline std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline bool WriteWholeFile(const xWString& path, const std::vector<uint8_t>& bytes)
{
    xEngineFileSystem files;
    files.CreateDirectories(GetParentPath(path));
    std::unique_ptr<xFile> file = files.OpenWrite(path, false, true);
    return file && (bytes.empty() || file->Write(bytes.data(), static_cast<int64_t>(bytes.size())));
}

// False when the file cannot be read.
inline bool ReadWholeFile(const xWString& path, std::vector<uint8_t>& bytes)
{
    xEngineFileSystem files;
    const int64_t size = files.GetFileSize(path);
    std::unique_ptr<xFile> file = files.OpenRead(path, true);
    if (!file || size < 0)
        return false;
    bytes.assign(static_cast<size_t>(size), 0);
    return size == 0 || file->Read(bytes.data(), size);
}

// A test on one server: a served folder and a download folder of its own
// (named after the test), a captured log, the downloader pointed at the
// folder, and the dev server without faults and with an empty request record.
class DownloadTestBase : public ::testing::Test
{
protected:
    void StartCase(PeerKind kind)
    {
        Server = &GetTestServer(kind);
        if (!Server->Available)
            GTEST_SKIP() << PeerName(kind) << " not available: " << Server->Problem;
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name)
        {
            if (c == '/')
                c = '-';
        }
        CaseName = name;
        Files.DeleteDirectory(ServedFolder());
        Files.DeleteDirectory(OutFolder());
        ASSERT_TRUE(Files.CreateDirectories(ServedFolder()))
            << "cannot make " << WideToUtf8(ServedFolder()).c_str();
        ASSERT_TRUE(Files.CreateDirectories(OutFolder()));
        SetDownloadFolder(OutFolder());
        if (kind == PeerKind::DevServer)
        {
            ASSERT_TRUE(SetDevServerFaults("")) << "the dev server's control endpoint did not answer";
            DevServerRequests(true);
        }
    }

    void TearDown() override
    {
        SetDownloadFolder(xWString());
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

    void Serve(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE(WriteWholeFile(ServedFolder() + Utf8ToWide(name.c_str()), bytes));
    }
    // The download folder's content, "" for a missing file.
    std::string OutText(const std::string& name) const
    {
        std::vector<uint8_t> bytes;
        return ReadWholeFile(Out(name), bytes) ? std::string(bytes.begin(), bytes.end()) : std::string();
    }
    bool OutExists(const std::string& name) const { return Files.IsFile(Out(name)); }
    std::vector<std::string> Errors() const { return Log.MessagesStartingWith("E "); }

    CapturedLog Log;
    xEngineFileSystem Files;
    TestServer* Server = nullptr;
    std::string CaseName;
};
