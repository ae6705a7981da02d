// The devserver binary end to end: real process, real sockets on 127.0.0.1,
// the exact bytes of each request and answer.

#include "ChildProcess.h"
#include "DevServerHarness.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <zlib.h>

namespace
{
const std::string Package = "/kg/Startup1.pkg";

std::string Get(const std::string& target, const std::string& headers = "")
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

std::string Head(const std::string& target)
{
    // As the launcher asks for sizes.
    return "HEAD " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
}

// One server for every case (with its statistics endpoint and auto-login map),
// its fault set replaced through the control endpoint before each case.
class DevServerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Folder = std::make_unique<TempFolder>();
        Data = PatternBytes(200000); // more than three 64 KiB chunks
        WriteFileBytes(Folder->At("root/kg/Startup1.pkg"), Data);
        WriteFileBytes(Folder->At("root/kg/Other.pkg"), "second");
        WriteFileBytes(Folder->At("root/empty.bin"), "");
        WriteFileBytes(Folder->At("root/login.html"), "<html><body>login</body></html>");
        WriteFileBytes(Folder->At("secret.txt"), "outside the root");
        WriteFileBytes(
            Folder->At("autologin.json"),
            "{ \"ABCDEFGHIJKL\": \"sid=7&uid=3\",\n  \"KEY-2\": \"name=\\u5f20\\u4e09&q=\\\"x\\\"\" }");
        Server = std::make_unique<DevServerChild>();
        Server->StderrPath = Folder->At("stderr").string();
        StartDevServer(*Server,
                       {"--root", Root(), "--stats-log", Folder->At("stats.log").string(), "--stats-port",
                        "0", "--autologin", Folder->At("autologin.json").string()},
                       StartError);
    }

    // The server must end cleanly on SIGTERM, without a sanitizer report,
    // whatever the cases put it through.
    static void TearDownTestSuite()
    {
        EXPECT_TRUE(Server->Port == 0 || Server->Process.Stop() == 0) << ReadFileBytes(Server->StderrPath);
        EXPECT_EQ(ReadFileBytes(Server->StderrPath).find("Sanitizer"), std::string::npos)
            << ReadFileBytes(Server->StderrPath);
        Server.reset();
        Folder.reset();
    }

    void SetUp() override
    {
        ASSERT_NE(Server->Port, 0) << StartError;
        ASSERT_EQ(Control("faults"), "no faults\n");
    }

    static std::string Root() { return Folder->At("root").string(); }
    static HttpResponse Ask(const std::string& request, bool head = false)
    {
        return Exchange(Server->Port, request, head);
    }
    static std::string Control(const std::string& target) { return Ask(Get("/__devserver/" + target)).Body; }

    static inline std::unique_ptr<TempFolder> Folder;
    static inline std::unique_ptr<DevServerChild> Server;
    static inline std::string StartError;
    static inline std::string Data;
};

// One request under one fault set (none: ""), and every part of the answer.
TEST_F(DevServerTest, AnswersByRangeAndFault)
{
    struct Case
    {
        std::string Faults;
        std::string Target;
        const char* Range; // "HEAD" for a HEAD, else the Range header of a GET ("" none)
        int Status;
        const char* ContentLength; // "" when it must be absent
        const char* ContentRange;  // "" when it must be absent
        std::string Body;
        bool Closes;
    };
    const std::string busy = "status=503&status-body=busy,%20come%20back%20later";
    // Which range gives which answer is DevServerRules' table; these rows are the
    // wiring: headers, bytes on the wire across chunks, closes, and each fault.
    const Case cases[] = {
        // An HTTP/1.0 request without keep-alive ends the connection; HEAD sends no body.
        {"", Package, "HEAD", 200, "200000", "", "", true},
        {"", "/empty.bin", "HEAD", 200, "0", "", "", true},
        {"", Package, "", 200, "200000", "", Data, false},
        {"", Package, "bytes=0-9", 206, "10", "bytes 0-9/200000", Data.substr(0, 10), false},
        // across a chunk border
        {"", Package, "bytes=65530-65545", 206, "16", "bytes 65530-65545/200000", Data.substr(65530, 16),
         false},
        {"", Package, "bytes=-5", 206, "5", "bytes 199995-199999/200000", Data.substr(199995), false},
        {"", Package, "bytes=0-1, 5-9", 200, "200000", "", Data, false}, // several ranges: the whole file
        // The launcher's range for a 0-byte file.
        {"", "/empty.bin", "bytes=0--1", 200, "0", "", "", false},
        {"", Package, "bytes=200000-", 416, "0", "bytes */200000", "", false},
        // Drop, delay and stall concern bodies only; a body shorter than the limit goes whole.
        {"drop-after=70000", Package, "", 200, "200000", "", Data.substr(0, 70000), true},
        {"drop-after=70000", Package, "bytes=10-20", 206, "11", "bytes 10-20/200000", Data.substr(10, 11),
         false},
        {"drop-after=70000", Package, "HEAD", 200, "200000", "", "", true},
        {"ignore-range=1", Package, "bytes=10-19", 200, "200000", "", Data, false},
        {"ignore-range=1", Package, "bytes=999999-", 200, "200000", "", Data, false},
        // The missing byte must not leave the client waiting.
        {"wrong-length=1", Package, "HEAD", 200, "200001", "", "", true},
        {"wrong-length=1", Package, "bytes=0-9", 206, "11", "bytes 0-9/200000", Data.substr(0, 10), true},
        {busy, Package, "HEAD", 503, "21", "", "", true},
        {busy, Package, "bytes=0-3", 503, "21", "", "busy, come back later", false},
        {busy, "/nothing/here", "", 503, "21", "", "busy, come back later", false},
        // The body ends where the connection does.
        {"no-content-length=1", Package, "HEAD", 200, "", "", "", true},
        {"no-content-length=1", Package, "bytes=100-199", 206, "", "bytes 100-199/200000",
         Data.substr(100, 100), true},
        // A HEAD that lies; the GET stays true.
        {"head-length=9223372036854775808", Package, "HEAD", 200, "9223372036854775808", "", "", true},
        {"head-length=7", Package, "bytes=0-9", 206, "10", "bytes 0-9/200000", Data.substr(0, 10), false},
        // Other bytes than asked, and a Content-Range that says so (clamped to the file).
        {"shift-range=5", Package, "bytes=0-9", 206, "10", "bytes 5-14/200000", Data.substr(5, 10), false},
        {"shift-range=5", Package, "bytes=199995-", 206, "1", "bytes 199999-199999/200000",
         Data.substr(199999), false},
        {"shift-range=5", Package, "", 200, "200000", "", Data, false},
        // A bigger file of blanks after the real bytes.
        {"pad-to=200004", Package, "HEAD", 200, "200004", "", "", true},
        {"pad-to=200004", Package, "bytes=199998-", 206, "6", "bytes 199998-200003/200004",
         Data.substr(199998) + "    ", false},
        {"pad-to=5", Package, "bytes=-2", 206, "2", "bytes 199998-199999/200000", Data.substr(199998), false},
        // HEAD describes one file, GET brings its sibling.
        {"serve-instead=Other.pkg", Package, "HEAD", 200, "200000", "", "", true},
        {"serve-instead=Other.pkg", Package, "", 200, "6", "", "second", false},
        {"serve-instead=Other.pkg", Package, "bytes=0-9", 206, "6", "bytes 0-5/6", "second", false},
    };
    for (const Case& c : cases)
    {
        const std::string what = c.Faults + " " + c.Target + " " + c.Range;
        ASSERT_NE(Control("faults?" + c.Faults), "") << what;
        const bool head = c.Range == std::string("HEAD");
        const HttpResponse response = Ask(
            head ? Head(c.Target) : Get(c.Target, *c.Range ? "Range: " + std::string(c.Range) + "\r\n" : ""),
            head);
        EXPECT_EQ(response.Status, c.Status) << what;
        EXPECT_EQ(response.Header("content-length"), c.ContentLength) << what;
        EXPECT_EQ(response.Has("content-length"), *c.ContentLength != 0) << what;
        EXPECT_EQ(response.Header("content-range"), c.ContentRange) << what;
        EXPECT_FALSE(response.Has("transfer-encoding")) << what;
        EXPECT_TRUE(response.Body == c.Body) << what << ": got " << response.Body.size() << " bytes";
        EXPECT_EQ(response.ClosedAfter, c.Closes) << what;
        if (!head && !response.Has("content-length"))
        {
            EXPECT_EQ(response.Header("connection"), "close") << what << ": a body without a length ends so";
        }
    }
}

TEST_F(DevServerTest, OneConnectionServesRequestAfterRequest)
{
    HttpConnection connection(Server->Port);
    for (const char* target : {"/kg/Startup1.pkg", "/empty.bin", "/kg/Startup1.pkg"})
    {
        HttpResponse response;
        const bool empty = target == std::string("/empty.bin");
        ASSERT_TRUE(connection.Send(Get(target, empty ? "Range: bytes=0--1\r\n" : "")) &&
                    connection.Read(response, false))
            << target << ": the connection stays usable";
        EXPECT_EQ(response.Status, 200);
        EXPECT_TRUE(response.Body == (empty ? "" : Data)) << target << ": body differs from the file";
    }
}

TEST_F(DevServerTest, MissingFilesAndFoldersGet404OtherMethods405AndTheLoginPageIsHtml)
{
    EXPECT_EQ(Ask(Get("/kg/Startup2.pkg")).Status, 404);
    EXPECT_EQ(Ask(Head("/kg/Startup2.pkg"), true).Status, 404);
    EXPECT_EQ(Ask(Get("/kg")).Status, 404);
    EXPECT_EQ(Ask(Get("/")).Status, 404);
    const HttpResponse page = Ask(Get("/login.html"));
    EXPECT_EQ(page.Status, 200);
    EXPECT_EQ(page.Header("content-type"), "text/html");
    EXPECT_EQ(page.Body, "<html><body>login</body></html>");
    const HttpResponse post = Ask("POST /kg/Startup1.pkg HTTP/1.1\r\nContent-Length: 2\r\n\r\nab");
    EXPECT_EQ(post.Status, 405);
    EXPECT_EQ(post.Header("allow"), "GET, HEAD");
}

// Names a URL-decoded path that could climb out of the root or be read as a
// Windows path; none may give the secret file beside the root.
TEST_F(DevServerTest, PathsLeavingTheRootAreRefused)
{
    std::filesystem::remove(Root() + "/link-out.txt");
    std::filesystem::remove(Root() + "/link-in.pkg");
    ASSERT_EQ(symlink(Folder->At("secret.txt").c_str(), (Root() + "/link-out.txt").c_str()), 0);
    ASSERT_EQ(symlink("kg/Startup1.pkg", (Root() + "/link-in.pkg").c_str()), 0);
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
    EXPECT_EQ(Ask(Get("//kg//./Startup1.pkg")).Body.size(), Data.size())
        << "empty and '.' components are harmless";
    EXPECT_TRUE(Ask(Get("/link-in.pkg")).Body == Data) << "a symbolic link inside the root is served";
    EXPECT_EQ(Ask(Get(Package)).Status, 200) << "the server survived the attempts";
}

// A 512 MiB file must stream: the server's peak memory stays far below it.
TEST_F(DevServerTest, LargeFilesStreamWithoutBeingLoaded)
{
    const uint64_t size = 512ull << 20;
    const std::string path = Root() + "/big.pkg";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ftruncate(file, static_cast<off_t>(size)), 0); // sparse: cheap to make
    for (uint64_t mark : {uint64_t(0), uint64_t(65535), uint64_t(65536), uint64_t(300) << 20, size - 1})
        ASSERT_EQ(pwrite(file, "\x5A", 1, static_cast<off_t>(mark)), 1);
    close(file);

    HttpConnection connection(Server->Port);
    HttpResponse response;
    ASSERT_TRUE(connection.Send(Get("/big.pkg")) && connection.Read(response, true));
    EXPECT_EQ(response.Status, 200);
    EXPECT_EQ(response.Header("content-length"), std::to_string(size));
    std::vector<uint64_t> marks;
    uint64_t count = 0;
    for (std::string piece; count < size; count += piece.size())
    {
        piece = connection.ReadSome(static_cast<size_t>(std::min<uint64_t>(1 << 20, size - count)), 5000);
        if (piece.empty())
            break;
        for (size_t i = piece.find_first_not_of('\0'); i != std::string::npos;
             i = piece.find_first_not_of('\0', i + 1))
            marks.push_back(count + i);
    }
    std::filesystem::remove(path);
    EXPECT_EQ(count, size);
    EXPECT_EQ(marks, (std::vector<uint64_t>{0, 65535, 65536, 300ull << 20, size - 1}));

    const std::string statusText =
        ReadFileBytes("/proc/" + std::to_string(Server->Process.Pid()) + "/status");
    const size_t peak = statusText.find("VmHWM:");
    ASSERT_NE(peak, std::string::npos);
    const long peakKiB = std::atol(statusText.c_str() + peak + 6);
    EXPECT_LT(peakKiB, 256 * 1024) << "peak resident memory " << peakKiB << " KiB: the file was buffered";
}

TEST_F(DevServerTest, DelayPausesBeforeEachChunk)
{
    Control("faults?delay-ms=150");
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = Ask(Get(Package));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_TRUE(response.Body == Data);
    EXPECT_GE(elapsed.count(), 4 * 150 - 20) << "200000 bytes are four chunks";
    EXPECT_LT(Ask(Head(Package), true).Status, 300) << "HEAD has no body to delay";
}

TEST_F(DevServerTest, StallAfterGoesSilentButKeepsTheConnectionOpen)
{
    Control("faults?stall-after=1000");
    HttpConnection connection(Server->Port);
    HttpResponse response;
    ASSERT_TRUE(connection.Send(Get(Package)) && connection.Read(response, true));
    EXPECT_EQ(response.Header("content-length"), "200000");
    EXPECT_EQ(connection.ReadSome(1000, 2000), Data.substr(0, 1000));
    std::string more;
    EXPECT_FALSE(connection.ClosedWithin(1200, &more)) << "a stalled server keeps the connection";
    EXPECT_EQ(more, "") << "and sends nothing more";
}

TEST_F(DevServerTest, TrickleSendsOneByteAtATime)
{
    Control("faults?trickle-ms=100");
    HttpConnection connection(Server->Port);
    HttpResponse response;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(connection.Send(Get(Package, "Range: bytes=0-4\r\n")) && connection.Read(response, false));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(response.Body, Data.substr(0, 5));
    EXPECT_GE(elapsed.count(), 5 * 100 - 20) << "a pause before each byte";
}

// The faults that break HTTP itself: read byte by byte as they go out.
TEST_F(DevServerTest, FaultsBeyondTheLengthAndTheEncoding)
{
    {
        Control("faults?extra-bytes=5");
        HttpConnection connection(Server->Port);
        HttpResponse response;
        ASSERT_TRUE(connection.Send(Get(Package, "Range: bytes=0-9\r\n")) &&
                    connection.Read(response, false));
        EXPECT_EQ(response.Header("content-length"), "10");
        EXPECT_EQ(response.Body, Data.substr(0, 10));
        std::string more;
        EXPECT_TRUE(connection.ClosedWithin(2000, &more)) << "the connection ends after the extra bytes";
        EXPECT_EQ(more, "xxxxx");
    }
    {
        Control("faults?chunked=1");
        HttpConnection connection(Server->Port);
        HttpResponse response;
        ASSERT_TRUE(connection.Send(Get(Package, "Range: bytes=0-9\r\n")) && connection.Read(response, true));
        EXPECT_EQ(response.Status, 206);
        EXPECT_EQ(response.Header("transfer-encoding"), "chunked");
        EXPECT_FALSE(response.Has("content-length"));
        EXPECT_EQ(connection.ReadSome(20, 2000), "a\r\n" + Data.substr(0, 10) + "\r\n0\r\n\r\n");
    }
    {
        Control("faults?gzip=1");
        const HttpResponse response = Ask(Get(Package, "Range: bytes=100-199\r\n"));
        EXPECT_EQ(response.Status, 206);
        EXPECT_EQ(response.Header("content-encoding"), "gzip");
        EXPECT_EQ(response.Header("content-range"), "bytes 100-199/200000");
        std::string plain(200, '\0');
        uLongf size = static_cast<uLongf>(plain.size());
        z_stream stream{};
        ASSERT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(response.Body.data()));
        stream.avail_in = static_cast<uInt>(response.Body.size());
        stream.next_out = reinterpret_cast<Bytef*>(&plain[0]);
        stream.avail_out = static_cast<uInt>(size);
        EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
        plain.resize(stream.total_out);
        inflateEnd(&stream);
        EXPECT_EQ(plain, Data.substr(100, 100));
        EXPECT_EQ(response.Header("content-length"), std::to_string(response.Body.size()));
    }
    {
        Control("faults?redirect-to=http://127.0.0.1:1/mirror");
        const HttpResponse response = Ask(Get(Package + "?q=1"));
        EXPECT_EQ(response.Status, 302);
        EXPECT_EQ(response.Header("location"), "http://127.0.0.1:1/mirror" + Package + "?q=1");
        EXPECT_EQ(Ask(Head(Package), true).Status, 302) << "HEAD is redirected too";
    }
}

TEST_F(DevServerTest, ResetAndEndlessHeadersCutTheConnection)
{
    {
        Control("faults?reset-after=1000");
        HttpConnection connection(Server->Port);
        HttpResponse response;
        ASSERT_TRUE(connection.Send(Get(Package)) && connection.Read(response, true));
        EXPECT_EQ(response.Header("content-length"), "200000");
        EXPECT_EQ(connection.ReadSome(200000, 2000), Data.substr(0, 1000));
        EXPECT_EQ(connection.LastError(), ECONNRESET) << "a reset, not an orderly close";
    }
    {
        Control("faults?endless-headers=1");
        HttpConnection connection(Server->Port);
        ASSERT_TRUE(connection.Send(Head(Package)));
        const std::string start = connection.ReadSome(20000, 1000);
        EXPECT_EQ(start.rfind("HTTP/1.1 200 OK\r\nX-Filler-0: ", 0), 0u) << start.substr(0, 100);
        EXPECT_EQ(start.find("\r\n\r\n"), std::string::npos) << "the header block never ends";
        EXPECT_NE(connection.ReadSome(20000, 1000), "") << "more lines keep coming";
    }
    Control("faults");
    EXPECT_TRUE(Ask(Get(Package)).Body == Data) << "the server is fine after both";
}

// --- control endpoints --------------------------------------------------------

TEST_F(DevServerTest, FaultsEndpointReplacesTheWholeSet)
{
    Control("faults?ignore-range=1");
    EXPECT_EQ(Control("faults?drop-after=5&status-body=x%20y"), "drop-after=5\nstatus-body=x y\n");
    HttpResponse response = Ask(Get(Package, "Range: bytes=0-99\r\n"));
    EXPECT_EQ(response.Status, 206) << "ignore-range was replaced, not kept";
    EXPECT_EQ(response.Body, Data.substr(0, 5));

    EXPECT_EQ(Ask(Get("/__devserver/faults?drop-after=oops")).Status, 400);
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u) << "a rejected change leaves the set as it was";

    EXPECT_EQ(Control("faults"), "no faults\n");
    EXPECT_TRUE(Ask(Get(Package)).Body == Data);
}

TEST_F(DevServerTest, FaultsCanHitOnePathAFewTimesThenClear)
{
    EXPECT_EQ(Control("faults?drop-after=5&for-path=.pkg&times=2"), "drop-after=5\nfor-path=.pkg\ntimes=2\n");
    EXPECT_EQ(Ask(Get("/login.html")).Body, "<html><body>login</body></html>") << "other paths are untouched";
    EXPECT_EQ(Ask(Head(Package), true).Header("content-length"), "200000") << "HEAD does not count";
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u);
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u);
    EXPECT_TRUE(Ask(Get(Package)).Body == Data) << "used up: the server has recovered";
    EXPECT_EQ(Control("faults"), "no faults\n");
    EXPECT_EQ(Control("faults?times=0").substr(0, 5), "times") << "times needs at least one";
}

TEST_F(DevServerTest, RequestLogRecordsTheExactRangeHeaders)
{
    Control("requests?clear=1");
    Ask(Head(Package), true);
    Ask(Get(Package, "Range: bytes=0--1\r\n"));
    Ask(Get("/kg/Startup1.pkg?x=1", "Range: bytes=10-19\r\n"));
    Ask(Get("/missing%20file"));
    EXPECT_EQ(Control("requests?clear=1"), "HEAD /kg/Startup1.pkg HTTP/1.0\n"
                                           "GET /kg/Startup1.pkg HTTP/1.1 Range: bytes=0--1\n"
                                           "GET /kg/Startup1.pkg?x=1 HTTP/1.1 Range: bytes=10-19\n"
                                           "GET /missing%20file HTTP/1.1\n");
    EXPECT_EQ(Control("requests"), "") << "clear=1 empties the record";

    // peer=1 names the client's port: two connections, two ports.
    Ask(Head(Package), true);
    Ask(Head(Package), true);
    const std::vector<std::string> lines = SplitLines(Control("requests?clear=1&peer=1"));
    ASSERT_EQ(lines.size(), 2u);
    const std::string prefix = "HEAD /kg/Startup1.pkg HTTP/1.0 peer ";
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    EXPECT_NE(lines[0], lines[1]) << "each connection has a port of its own";

    // bytes=1 counts each answer's body bytes: a range, a cut body, a HEAD.
    Control("faults?drop-after=70000&for-path=.pkg&times=1");
    Ask(Get(Package));
    Ask(Get(Package, "Range: bytes=10-19\r\n"));
    Ask(Head(Package), true);
    EXPECT_EQ(Control("requests?clear=1&bytes=1"),
              "GET /kg/Startup1.pkg HTTP/1.1 bytes 70000\n"
              "GET /kg/Startup1.pkg HTTP/1.1 Range: bytes=10-19 bytes 10\n"
              "HEAD /kg/Startup1.pkg HTTP/1.0 bytes 0\n");
}

// --- statistics endpoint and auto-login service ---------------------------------

TEST_F(DevServerTest, StatsEndpointAppendsTheRawDataValues)
{
    const std::string first = "sid%3a12%2ctime%3a1700000000%2cuid%3a34%2cstep%3a1002";
    const HttpResponse response = Exchange(Server->StatsPort, Get("/plugin_watch.htm?data=" + first));
    EXPECT_EQ(response.Status, 200);
    EXPECT_FALSE(response.Body.empty());
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/plugin_watch.htm?data=step%3a1013&x=y")).Status, 200);
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/plugin_watch.htm?nodata=1")).Status, 400);
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/other.htm?data=1")).Status, 404);
    EXPECT_EQ(ReadFileBytes(Folder->At("stats.log")), first + "\nstep%3a1013\n");
    EXPECT_EQ(Ask(Get("/plugin_watch.htm?data=1")).Status, 404) << "the main port does not count steps";
}

TEST_F(DevServerTest, AutoLoginAnswersTheMappedParameter)
{
    for (const auto& [key, answer] : std::initializer_list<std::pair<const char*, const char*>>{
             {"ABCDEFGHIJKL", "{\"url\":\"sid=7&uid=3\"}"},
             {"KEY-2", "{\"url\":\"name=\xE5\xBC\xA0\xE4\xB8\x89&q=\\\"x\\\"\"}"},
             {"UNKNOWNKEY12", "{\"url\":\"\"}"}})
    {
        const HttpResponse response = Ask(Get(std::string("/get?code=") + key));
        EXPECT_EQ(response.Status, 200) << key;
        EXPECT_EQ(response.Body, answer) << key;
    }
}

// --- command line -------------------------------------------------------------

TEST(DevServerCommandLine, HelpDocumentsEveryOption)
{
    const ToolRun run = RunTool("devserver", {"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    for (const char* option : {"--root",
                               "--port",
                               "--bind",
                               "--allow-remote",
                               "--stats-port",
                               "--stats-log",
                               "--autologin",
                               "--drop-after",
                               "--ignore-range",
                               "--wrong-length",
                               "--status",
                               "--status-body",
                               "--no-content-length",
                               "--delay-ms",
                               "--stall-after",
                               "--corrupt-at",
                               "--head-length",
                               "--extra-bytes",
                               "--shift-range",
                               "--reset-after",
                               "--pad-to",
                               "--trickle-ms",
                               "--redirect-to",
                               "--serve-instead",
                               "--chunked",
                               "--gzip",
                               "--endless-headers",
                               "/__devserver/faults",
                               "/__devserver/requests"})
        EXPECT_NE(run.Stdout.find(option), std::string::npos) << option;
}

TEST(DevServerCommandLine, TakesFaultsAndRefusesBadSetups)
{
    TempFolder folder;
    const std::string root = folder.Path.string();
    WriteFileBytes(folder.At("bad.json"), "{\"a\": 1}");
    EXPECT_EQ(RunTool("devserver", {"--port", "0"}).ExitCode, 2) << "no root";
    EXPECT_EQ(RunTool("devserver", {"--root", root, "--bind", "0.0.0.0", "--port", "0"}).ExitCode, 2);
    EXPECT_EQ(RunTool("devserver", {"--root", root, "--status", "99", "--port", "0"}).ExitCode, 2);
    const ToolRun json =
        RunTool("devserver", {"--root", root, "--autologin", folder.At("bad.json").string(), "--port", "0"});
    EXPECT_EQ(json.ExitCode, 2);
    EXPECT_NE(json.Stderr.find("strings"), std::string::npos) << json.Stderr;
    EXPECT_EQ(RunTool("devserver", {"--root", folder.At("none").string(), "--port", "0"}).ExitCode, 1);

    DevServerChild first;
    first.StderrPath = folder.At("stderr").string();
    std::string error;
    ASSERT_TRUE(StartDevServer(first, {"--root", root, "--drop-after", "5", "--for-path", ".pkg"}, error))
        << error;
    EXPECT_EQ(Exchange(first.Port, Get("/bad.json")).Body, "{\"a\": 1}") << "for-path spares it";
    WriteFileBytes(folder.At("a.pkg"), "0123456789");
    EXPECT_EQ(Exchange(first.Port, Get("/a.pkg")).Body, "01234") << "the faults of the command line apply";
    const ToolRun second = RunTool("devserver", {"--root", root, "--port", std::to_string(first.Port)});
    EXPECT_EQ(second.ExitCode, 1) << "a busy port must not be shared";
    EXPECT_EQ(first.Process.Stop(), 0) << "SIGTERM ends the server cleanly";
}
} // namespace
