// The devserver binary end to end: real process, real sockets on 127.0.0.1,
// the exact bytes of each request and answer.

#include "DevServerHarness.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// Not a repeating short pattern, so a shifted range cannot pass for the right one.
std::string PatternBytes(size_t count)
{
    std::string bytes(count, '\0');
    uint32_t state = 12345;
    for (char& c : bytes)
    {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

std::string Get(const std::string& target, const std::string& headers = "",
                const std::string& version = "HTTP/1.1")
{
    return "GET " + target + " " + version + "\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

std::string Head(const std::string& target)
{
    // As the launcher asks for sizes.
    return "HEAD " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
}

class DevServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Data = PatternBytes(200000); // more than three 64 KiB chunks
        m_Root = m_Folder.At("root").string();
        WriteIn(m_Folder, "root/kg/Startup1.pkg", m_Data);
        WriteIn(m_Folder, "root/empty.bin", "");
        WriteIn(m_Folder, "root/login.html", "<html><body>login</body></html>");
        WriteIn(m_Folder, "secret.txt", "outside the root");
    }

    // Every server must end cleanly on SIGTERM, without a sanitizer report,
    // whatever the test put it through.
    void TearDown() override
    {
        if (m_Server.Pid() <= 0)
            return;
        EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Stderr();
        EXPECT_EQ(m_Server.Stderr().find("Sanitizer"), std::string::npos) << m_Server.Stderr();
    }

    void StartServer(std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--root", m_Root});
        std::string error;
        ASSERT_TRUE(m_Server.Start(extra, error)) << error;
    }

    HttpResponse Ask(const std::string& request, bool head = false)
    {
        return Exchange(m_Server.Port(), request, head);
    }

    HttpResponse AskRange(const std::string& range)
    {
        return Ask(Get("/kg/Startup1.pkg", "Range: " + range + "\r\n"));
    }

    std::string Control(const std::string& target) { return Ask(Get("/__devserver/" + target)).Body; }

    TempFolder m_Folder;
    std::string m_Root;
    std::string m_Data;
    DevServerProcess m_Server;
};

// --- files ------------------------------------------------------------------

TEST_F(DevServerTest, HeadAnnouncesTheLengthAndSendsNoBody)
{
    StartServer();
    const HttpResponse response = Ask(Head("/kg/Startup1.pkg"), true);
    EXPECT_EQ(response.Status, 200);
    EXPECT_EQ(response.Header("content-length"), "200000");
    std::string extra;
    HttpConnection connection(m_Server.Port());
    HttpResponse again;
    ASSERT_TRUE(connection.Send(Head("/kg/Startup1.pkg")) && connection.Read(again, true));
    EXPECT_TRUE(connection.ClosedWithin(2000, &extra))
        << "an HTTP/1.0 request without keep-alive ends the connection";
    EXPECT_EQ(extra, "") << "HEAD must not send body bytes";
}

TEST_F(DevServerTest, GetWithoutRangeSendsTheWholeFileAndKeepsTheConnection)
{
    StartServer();
    HttpConnection connection(m_Server.Port());
    for (int round = 0; round < 2; ++round)
    {
        HttpResponse response;
        ASSERT_TRUE(connection.Send(Get("/kg/Startup1.pkg")) && connection.Read(response, false)) << round;
        EXPECT_EQ(response.Status, 200);
        EXPECT_FALSE(response.Has("content-range"));
        EXPECT_EQ(response.Body == m_Data, true) << "round " << round << ": body differs from the file";
    }
}

struct RangeCase
{
    const char* Header;
    int Status;
    const char* ContentRange;
    size_t First;
    size_t Length;
};

TEST_F(DevServerTest, SingleRangesGetExactlyTheirBytes)
{
    StartServer();
    const RangeCase cases[] = {
        {"bytes=0-9", 206, "bytes 0-9/200000", 0, 10},
        {"bytes=65530-65545", 206, "bytes 65530-65545/200000", 65530, 16}, // across a chunk border
        {"bytes=199990-", 206, "bytes 199990-199999/200000", 199990, 10},
        {"bytes=-5", 206, "bytes 199995-199999/200000", 199995, 5},
        {"bytes=-300000", 206, "bytes 0-199999/200000", 0, 200000},
        {"bytes=199999-999999999999999999999999", 206, "bytes 199999-199999/200000", 199999, 1},
        {"bytes=0-1, 5-9", 200, "", 0, 200000}, // several ranges: the whole file
    };
    for (const RangeCase& c : cases)
    {
        const HttpResponse response = AskRange(c.Header);
        EXPECT_EQ(response.Status, c.Status) << c.Header;
        EXPECT_EQ(response.Header("content-range"), c.ContentRange) << c.Header;
        EXPECT_EQ(response.Header("content-length"), std::to_string(c.Length)) << c.Header;
        EXPECT_TRUE(response.Body == m_Data.substr(c.First, c.Length)) << c.Header << ": wrong bytes";
    }
}

TEST_F(DevServerTest, UnsatisfiableOrMalformedRangesGet416)
{
    StartServer();
    for (const char* header : {"bytes=200000-", "bytes=200000-200010", "bytes=9-2", "bytes=-0", "bytes=0--1",
                               "bytes=99999999999999999999999-", "bytes=abc", "items=0-9", "bytes="})
    {
        const HttpResponse response = AskRange(header);
        EXPECT_EQ(response.Status, 416) << header;
        EXPECT_EQ(response.Header("content-range"), "bytes */200000") << header;
        EXPECT_EQ(response.Body, "") << header;
    }
}

TEST_F(DevServerTest, EmptyFileAnswersTheLaunchersZeroToMinusOneRangeWithAnEmptyBody)
{
    StartServer();
    EXPECT_EQ(Ask(Head("/empty.bin"), true).Header("content-length"), "0");
    HttpConnection connection(m_Server.Port());
    HttpResponse response;
    ASSERT_TRUE(connection.Send(Get("/empty.bin", "Range: bytes=0--1\r\n")) &&
                connection.Read(response, false));
    EXPECT_EQ(response.Status, 200);
    EXPECT_EQ(response.Header("content-length"), "0");
    EXPECT_EQ(response.Body, "");
    ASSERT_TRUE(connection.Send(Get("/empty.bin")) && connection.Read(response, false))
        << "the connection stays usable after the quirk";
    EXPECT_EQ(response.Status, 200);
}

TEST_F(DevServerTest, MissingFilesAndFoldersGet404AndTheLoginPageIsHtml)
{
    StartServer();
    EXPECT_EQ(Ask(Get("/kg/Startup2.pkg")).Status, 404);
    EXPECT_EQ(Ask(Head("/kg/Startup2.pkg"), true).Status, 404);
    EXPECT_EQ(Ask(Get("/kg")).Status, 404);
    EXPECT_EQ(Ask(Get("/")).Status, 404);
    const HttpResponse page = Ask(Get("/login.html"));
    EXPECT_EQ(page.Status, 200);
    EXPECT_EQ(page.Header("content-type"), "text/html");
    EXPECT_EQ(page.Body, "<html><body>login</body></html>");
}

TEST_F(DevServerTest, OtherMethodsGet405)
{
    StartServer();
    const HttpResponse response = Ask("POST /kg/Startup1.pkg HTTP/1.1\r\nContent-Length: 2\r\n\r\nab");
    EXPECT_EQ(response.Status, 405);
    EXPECT_EQ(response.Header("allow"), "GET, HEAD");
}

// Names a URL-decoded path that could climb out of the root or be read as a
// Windows path; none may give the secret file beside the root.
TEST_F(DevServerTest, PathsLeavingTheRootAreRefused)
{
    ASSERT_EQ(symlink((m_Folder.At("secret.txt").string()).c_str(), (m_Root + "/link-out.txt").c_str()), 0);
    ASSERT_EQ(symlink("kg/Startup1.pkg", (m_Root + "/link-in.pkg").c_str()), 0);
    StartServer();
    for (const char* target :
         {"/../secret.txt", "/kg/../../secret.txt", "/%2e%2e/secret.txt", "/kg/%2E%2E%2F..%2fsecret.txt",
          "/..%5csecret.txt", "/kg\\..\\..\\secret.txt", "/link-out.txt", "/secret.txt%00.html",
          "http://127.0.0.1/../secret.txt", "/%2fetc%2fpasswd/../../secret.txt"})
    {
        const HttpResponse response = Ask(Get(target));
        EXPECT_TRUE(response.Status == 403 || response.Status == 404)
            << target << " gave " << response.Status;
        EXPECT_EQ(response.Body.find("outside the root"), std::string::npos) << target;
    }
    EXPECT_EQ(Ask(Get("/link-out.txt")).Status, 403) << "a symbolic link leading out is refused, not missing";
    EXPECT_EQ(Ask(Get("//kg//./Startup1.pkg")).Body.size(), m_Data.size())
        << "empty and '.' components are harmless";
    EXPECT_TRUE(Ask(Get("/link-in.pkg")).Body == m_Data) << "a symbolic link inside the root is served";
    EXPECT_EQ(Ask(Get("/kg/Startup1.pkg")).Status, 200) << "the server survived the attempts";
}

// A 512 MiB file must stream: the server's peak memory stays far below it.
TEST_F(DevServerTest, LargeFilesStreamWithoutBeingLoaded)
{
    const uint64_t size = 512ull << 20;
    const std::string path = m_Root + "/big.pkg";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ftruncate(file, static_cast<off_t>(size)), 0); // sparse: cheap to make
    const uint64_t marks[] = {0, 65535, 65536, 300ull << 20, size - 1};
    for (uint64_t mark : marks)
        ASSERT_EQ(pwrite(file, "\x5A", 1, static_cast<off_t>(mark)), 1);
    close(file);
    StartServer();

    struct Receipt
    {
        uint64_t Count = 0;
        int MarksSeen = 0;
        int StrayBytes = 0;
    } receipt;
    CURL* curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    const std::string url = "http://127.0.0.1:" + std::to_string(m_Server.Port()) + "/big.pkg";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receipt);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char* data, size_t, size_t count, void* user) -> size_t
        {
            Receipt& r = *static_cast<Receipt*>(user);
            for (size_t i = 0; i < count; ++i, ++r.Count)
            {
                if (data[i] == 0)
                    continue;
                const bool mark = r.Count == 0 || r.Count == 65535 || r.Count == 65536 ||
                                  r.Count == (300ull << 20) || r.Count == (512ull << 20) - 1;
                (mark ? r.MarksSeen : r.StrayBytes)++;
            }
            return count;
        });
    ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(receipt.Count, size);
    EXPECT_EQ(receipt.MarksSeen, 5);
    EXPECT_EQ(receipt.StrayBytes, 0);

    const std::string status_text = ReadFileBytes("/proc/" + std::to_string(m_Server.Pid()) + "/status");
    const size_t peak = status_text.find("VmHWM:");
    ASSERT_NE(peak, std::string::npos);
    const long peakKiB = std::atol(status_text.c_str() + peak + 6);
    EXPECT_LT(peakKiB, 256 * 1024) << "peak resident memory " << peakKiB << " KiB: the file was buffered";
}

// --- faults -----------------------------------------------------------------

TEST_F(DevServerTest, DropAfterClosesMidBody)
{
    StartServer({"--drop-after", "70000"});
    const HttpResponse response = Ask(Get("/kg/Startup1.pkg"));
    EXPECT_EQ(response.Header("content-length"), "200000") << "the full length is announced";
    EXPECT_TRUE(response.Body == m_Data.substr(0, 70000)) << "got " << response.Body.size() << " bytes";
    EXPECT_TRUE(response.ClosedAfter);
    const HttpResponse ranged = AskRange("bytes=10-20");
    EXPECT_TRUE(ranged.Body == m_Data.substr(10, 11)) << "a body shorter than the limit goes whole";
    EXPECT_EQ(Ask(Head("/kg/Startup1.pkg"), true).Header("content-length"), "200000");
}

TEST_F(DevServerTest, IgnoreRangeAnswersRangesWithTheWholeFile)
{
    StartServer({"--ignore-range"});
    for (const char* header : {"bytes=10-19", "bytes=0--1", "bytes=999999-"})
    {
        const HttpResponse response = AskRange(header);
        EXPECT_EQ(response.Status, 200) << header;
        EXPECT_FALSE(response.Has("content-range")) << header;
        EXPECT_TRUE(response.Body == m_Data) << header;
    }
}

TEST_F(DevServerTest, WrongLengthAnnouncesOneByteTooManyAndCloses)
{
    StartServer({"--wrong-length"});
    EXPECT_EQ(Ask(Head("/kg/Startup1.pkg"), true).Header("content-length"), "200001");
    const HttpResponse response = AskRange("bytes=0-9");
    EXPECT_EQ(response.Status, 206);
    EXPECT_EQ(response.Header("content-length"), "11");
    EXPECT_EQ(response.Body, m_Data.substr(0, 10));
    EXPECT_TRUE(response.ClosedAfter) << "the missing byte must not leave the client waiting";
}

TEST_F(DevServerTest, StatusFaultAnswersEveryFileRequestWithItsBody)
{
    StartServer({"--status", "503", "--status-body", "busy, come back later"});
    const HttpResponse head = Ask(Head("/kg/Startup1.pkg"), true);
    EXPECT_EQ(head.Status, 503);
    EXPECT_EQ(head.Header("content-length"), "21");
    for (const char* target : {"/kg/Startup1.pkg", "/nothing/here"})
    {
        const HttpResponse response = Ask(Get(target, "Range: bytes=0-3\r\n"));
        EXPECT_EQ(response.StatusLine.substr(0, 12), "HTTP/1.1 503") << target;
        EXPECT_EQ(response.Body, "busy, come back later") << target;
    }
}

TEST_F(DevServerTest, NoContentLengthEndsTheBodyByClosing)
{
    StartServer({"--no-content-length"});
    const HttpResponse head = Ask(Head("/kg/Startup1.pkg"), true);
    EXPECT_EQ(head.Status, 200);
    EXPECT_FALSE(head.Has("content-length"));
    const HttpResponse response = AskRange("bytes=100-199");
    EXPECT_FALSE(response.Has("content-length"));
    EXPECT_FALSE(response.Has("transfer-encoding"));
    EXPECT_EQ(response.Header("connection"), "close");
    EXPECT_EQ(response.Body, m_Data.substr(100, 100)) << "the body ends where the connection does";
}

TEST_F(DevServerTest, DelayPausesBeforeEachChunk)
{
    StartServer({"--delay-ms", "150"});
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = Ask(Get("/kg/Startup1.pkg"));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_TRUE(response.Body == m_Data);
    EXPECT_GE(elapsed.count(), 4 * 150 - 20) << "200000 bytes are four chunks";
    EXPECT_LT(Ask(Head("/kg/Startup1.pkg"), true).Status, 300) << "HEAD has no body to delay";
}

TEST_F(DevServerTest, StallAfterGoesSilentButKeepsTheConnectionOpen)
{
    StartServer({"--stall-after", "1000"});
    HttpConnection connection(m_Server.Port());
    HttpResponse response;
    ASSERT_TRUE(connection.Send(Get("/kg/Startup1.pkg")) && connection.Read(response, true));
    EXPECT_EQ(response.Header("content-length"), "200000");
    EXPECT_EQ(connection.ReadSome(1000, 2000), m_Data.substr(0, 1000));
    std::string more;
    EXPECT_FALSE(connection.ClosedWithin(1200, &more)) << "a stalled server keeps the connection";
    EXPECT_EQ(more, "") << "and sends nothing more";
}

// --- control endpoints --------------------------------------------------------

TEST_F(DevServerTest, FaultsEndpointReplacesTheWholeSet)
{
    StartServer({"--ignore-range"});
    EXPECT_EQ(Control("faults?drop-after=5&status-body=x%20y"), "drop-after=5\nstatus-body=x y\n");
    HttpResponse response = AskRange("bytes=0-99");
    EXPECT_EQ(response.Status, 206) << "ignore-range was replaced, not kept";
    EXPECT_EQ(response.Body, m_Data.substr(0, 5));

    const HttpResponse bad = Ask(Get("/__devserver/faults?drop-after=oops"));
    EXPECT_EQ(bad.Status, 400);
    EXPECT_EQ(Ask(Get("/__devserver/faults?shake=1")).Status, 400);
    EXPECT_EQ(Ask(Get("/kg/Startup1.pkg")).Body.size(), 5u) << "a rejected change leaves the set as it was";

    EXPECT_EQ(Control("faults"), "no faults\n");
    EXPECT_TRUE(Ask(Get("/kg/Startup1.pkg")).Body == m_Data);
}

TEST_F(DevServerTest, FaultsCanHitOnePathAFewTimesThenClear)
{
    StartServer({});
    EXPECT_EQ(Control("faults?drop-after=5&for-path=.pkg&times=2"), "drop-after=5\nfor-path=.pkg\ntimes=2\n");
    EXPECT_EQ(Ask(Get("/kg/Startup1.crc")).Status, 404) << "other paths are untouched";
    EXPECT_EQ(Ask(Head("/kg/Startup1.pkg"), true).Header("content-length"), "200000")
        << "HEAD does not count";
    EXPECT_EQ(Ask(Get("/kg/Startup1.pkg")).Body.size(), 5u);
    EXPECT_EQ(Ask(Get("/kg/Startup1.pkg")).Body.size(), 5u);
    EXPECT_TRUE(Ask(Get("/kg/Startup1.pkg")).Body == m_Data) << "used up: the server has recovered";
    EXPECT_EQ(Control("faults?times=0").substr(0, 5), "times") << "times needs at least one";
}

TEST_F(DevServerTest, RequestLogRecordsTheExactRangeHeaders)
{
    StartServer();
    Control("requests?clear=1");
    Ask(Head("/kg/Startup1.pkg"), true);
    AskRange("bytes=0--1");
    Ask(Get("/kg/Startup1.pkg?x=1", "Range: bytes=10-19\r\n"));
    Ask(Get("/missing%20file"));
    EXPECT_EQ(Control("requests?clear=1"), "HEAD /kg/Startup1.pkg HTTP/1.0\n"
                                           "GET /kg/Startup1.pkg HTTP/1.1 Range: bytes=0--1\n"
                                           "GET /kg/Startup1.pkg?x=1 HTTP/1.1 Range: bytes=10-19\n"
                                           "GET /missing%20file HTTP/1.1\n");
    EXPECT_EQ(Control("requests"), "") << "clear=1 empties the record";
}

// --- statistics endpoint and auto-login service ---------------------------------

TEST_F(DevServerTest, StatsEndpointAppendsTheRawDataValues)
{
    const std::string log = m_Folder.At("stats.log").string();
    StartServer({"--stats-log", log, "--stats-port", "0"});
    const std::string first = "sid%3a12%2ctime%3a1700000000%2cuid%3a34%2cstep%3a1002";
    const HttpResponse response = Exchange(m_Server.StatsPort(), Get("/plugin_watch.htm?data=" + first));
    EXPECT_EQ(response.Status, 200);
    EXPECT_FALSE(response.Body.empty());
    EXPECT_EQ(Exchange(m_Server.StatsPort(), Get("/plugin_watch.htm?data=step%3a1013&x=y")).Status, 200);
    EXPECT_EQ(Exchange(m_Server.StatsPort(), Get("/plugin_watch.htm?nodata=1")).Status, 400);
    EXPECT_EQ(Exchange(m_Server.StatsPort(), Get("/other.htm?data=1")).Status, 404);
    EXPECT_EQ(ReadFileBytes(log), first + "\nstep%3a1013\n");
    EXPECT_EQ(Ask(Get("/plugin_watch.htm?data=1")).Status, 404) << "the main port does not count steps";
}

TEST_F(DevServerTest, AutoLoginAnswersTheMappedParameter)
{
    const std::string mapping =
        WriteIn(m_Folder, "autologin.json",
                "{ \"ABCDEFGHIJKL\": \"sid=7&uid=3\",\n  \"KEY-2\": \"name=\\u5f20\\u4e09&q=\\\"x\\\"\" }");
    StartServer({"--autologin", mapping});
    HttpResponse response = Ask(Get("/get?code=ABCDEFGHIJKL"));
    EXPECT_EQ(response.Status, 200);
    EXPECT_EQ(response.Body, "{\"url\":\"sid=7&uid=3\"}");
    EXPECT_EQ(Ask(Get("/get?code=KEY-2")).Body, "{\"url\":\"name=\xE5\xBC\xA0\xE4\xB8\x89&q=\\\"x\\\"\"}");
    response = Ask(Get("/get?code=UNKNOWNKEY12"));
    EXPECT_EQ(response.Status, 200);
    EXPECT_EQ(response.Body, "{\"url\":\"\"}");
}

// --- command line -------------------------------------------------------------

TEST(DevServerCommandLine, HelpDocumentsEveryOption)
{
    const ToolRun run = RunDevServer({"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    for (const char* option : {"--root", "--port", "--bind", "--allow-remote", "--stats-port", "--stats-log",
                               "--autologin", "--drop-after", "--ignore-range", "--wrong-length", "--status",
                               "--status-body", "--no-content-length", "--delay-ms", "--stall-after",
                               "/__devserver/faults", "/__devserver/requests"})
        EXPECT_NE(run.Stdout.find(option), std::string::npos) << option;
}

TEST(DevServerCommandLine, RefusesBadSetups)
{
    TempFolder folder;
    const std::string bad = WriteIn(folder, "bad.json", "{\"a\": 1}");
    EXPECT_EQ(RunDevServer({"--port", "0"}).ExitCode, 2) << "no root";
    EXPECT_EQ(RunDevServer({"--root", folder.Path.string(), "--bind", "0.0.0.0", "--port", "0"}).ExitCode, 2);
    EXPECT_EQ(RunDevServer({"--root", folder.Path.string(), "--status", "99", "--port", "0"}).ExitCode, 2);
    const ToolRun json = RunDevServer({"--root", folder.Path.string(), "--autologin", bad, "--port", "0"});
    EXPECT_EQ(json.ExitCode, 2);
    EXPECT_NE(json.Stderr.find("strings"), std::string::npos) << json.Stderr;
    EXPECT_EQ(RunDevServer({"--root", folder.At("none").string(), "--port", "0"}).ExitCode, 1);

    DevServerProcess first;
    std::string error;
    ASSERT_TRUE(first.Start({"--root", folder.Path.string()}, error)) << error;
    const ToolRun second =
        RunDevServer({"--root", folder.Path.string(), "--port", std::to_string(first.Port())});
    EXPECT_EQ(second.ExitCode, 1) << "a busy port must not be shared";
    EXPECT_EQ(first.Stop(), 0) << "SIGTERM ends the server cleanly";
}
} // namespace
