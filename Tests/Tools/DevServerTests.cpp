// The devserver binary end to end: real process, real sockets on 127.0.0.1,
// the exact bytes of each request and answer.

#include "ChildProcess.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
struct HttpResponse
{
    int Status = 0;
    std::map<std::string, std::string> Headers; // names in lower case
    std::string Body;

    bool Has(const std::string& name) const { return Headers.count(name) != 0; }
    std::string Header(const std::string& name) const { return Has(name) ? Headers.at(name) : ""; }
};

// One client connection on 127.0.0.1; several requests may share it.
class HttpConnection
{
public:
    // A failed connect shows as a failed Send.
    explicit HttpConnection(int port) : m_Socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~HttpConnection() { close(m_Socket); }

    bool Send(const std::string& bytes)
    {
        return send(m_Socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // The status line and headers, then (unless headersOnly) the body: Content-Length
    // bytes, or everything up to the close. False on a timeout or a close before the headers ended.
    bool Read(HttpResponse& response, bool headersOnly, int timeoutMs = 5000)
    {
        response = HttpResponse();
        size_t end;
        while ((end = m_Buffer.find("\r\n\r\n")) == std::string::npos)
        {
            if (!Fill(timeoutMs))
                return false;
        }
        std::istringstream lines(m_Buffer.substr(0, end + 2));
        m_Buffer.erase(0, end + 4);
        std::string line;
        std::getline(lines, line);
        response.Status = std::atoi(line.c_str() + line.find(' ') + 1);
        while (std::getline(lines, line) && line.size() > 1)
        {
            const size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const size_t valueStart = line.find_first_not_of(' ', colon + 1);
            response.Headers.emplace(name, line.substr(valueStart, line.size() - 1 - valueStart));
        }
        if (!headersOnly)
        {
            const bool counted = response.Has("content-length");
            response.Body =
                ReadSome(counted ? std::stoull(response.Header("content-length")) : SIZE_MAX, timeoutMs);
        }
        return true;
    }

    // Up to count body bytes that follow already-read headers (fewer on a close or a timeout).
    std::string ReadSome(size_t count, int timeoutMs)
    {
        while (m_Buffer.size() < count && Fill(timeoutMs))
        {
        }
        std::string taken = m_Buffer.substr(0, count);
        m_Buffer.erase(0, taken.size());
        return taken;
    }

    // True when the server closes within the time, false when the connection stays open;
    // what arrived meanwhile goes to `rest`.
    bool ClosedWithin(int timeoutMs, std::string* rest = nullptr)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!m_PeerClosed && std::chrono::steady_clock::now() < until)
            Fill(20);
        if (rest)
            rest->swap(m_Buffer);
        return m_PeerClosed;
    }

    // errno of the receive that ended the connection (ECONNRESET for a reset), 0 for an orderly close.
    int LastError() const { return m_LastError; }

private:
    bool Fill(int timeoutMs)
    {
        pollfd entry{m_Socket, POLLIN, 0};
        if (m_PeerClosed || poll(&entry, 1, timeoutMs) <= 0)
            return false;
        char chunk[65536];
        const ssize_t got = recv(m_Socket, chunk, sizeof chunk, 0);
        if (got <= 0)
        {
            m_LastError = got < 0 ? errno : 0;
            m_PeerClosed = true;
            return false;
        }
        m_Buffer.append(chunk, static_cast<size_t>(got));
        return true;
    }

    int m_Socket;
    std::string m_Buffer;
    bool m_PeerClosed = false;
    int m_LastError = 0;
};

// One request on a fresh connection and its answer (a HEAD's without a body).
HttpResponse Exchange(int port, const std::string& request)
{
    HttpConnection connection(port);
    HttpResponse response;
    if (connection.Send(request))
        connection.Read(response, request.rfind("HEAD", 0) == 0);
    return response;
}

const std::string Package = "/kg/Startup1.pkg";

std::string Get(const std::string& target, const std::string& range = "")
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           (range.empty() ? "" : "Range: " + range + "\r\n") + "\r\n";
}

// As the launcher asks for sizes.
std::string Head(const std::string& target)
{
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
        WriteFileBytes(Folder->At("autologin.json"), "{ \"ABCDEFGHIJKL\": \"sid=7&uid=3\" }");
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
    static HttpResponse Ask(const std::string& request) { return Exchange(Server->Port, request); }
    static std::string Control(const std::string& target) { return Ask(Get("/__devserver/" + target)).Body; }

    static inline std::unique_ptr<TempFolder> Folder;
    static inline std::unique_ptr<DevServerChild> Server;
    static inline std::string StartError;
    static inline std::string Data;
};

// One request under one fault set (none: ""), every part of the answer, the
// bytes after the headers as they go out, and how the connection ended. Which
// range gives which answer is DevServerRules' table; these rows are the wiring
// (headers, bytes across chunks, closes) and each fault kind once on the wire.
// HostileServerTests drives the same kinds through the launcher.
TEST_F(DevServerTest, AnswersByRangeAndFault)
{
    // Kept: the body's bytes, the connection left open; Open: silent after the
    // bytes, not closed; Unchecked: only the bytes count.
    enum class Ending
    {
        Kept,
        Closed,
        Reset,
        Open,
        Unchecked
    };
    struct Case
    {
        std::string Faults;
        std::string Target;
        const char* Range; // "HEAD" for a HEAD, else the Range header of a GET ("" none)
        int Status;
        const char* ContentLength; // "" when it must be absent
        const char* ContentRange;  // "" when it must be absent
        std::string Body;
        Ending End;
        long AtLeastMs = 0;
    };
    std::string altered = Data.substr(10, 10); // its first byte inverted
    altered[0] = static_cast<char>(~altered[0]);
    const Case cases[] = {
        // An HTTP/1.0 request without keep-alive ends the connection; HEAD sends no body.
        {"", Package, "HEAD", 200, "200000", "", "", Ending::Closed},
        {"", Package, "", 200, "200000", "", Data, Ending::Kept},
        {"", Package, "bytes=0-9", 206, "10", "bytes 0-9/200000", Data.substr(0, 10), Ending::Kept},
        {"", Package, "bytes=65530-65545", 206, "16", "bytes 65530-65545/200000", Data.substr(65530, 16),
         Ending::Kept}, // across a chunk border
        // The launcher's range for a 0-byte file.
        {"", "/empty.bin", "bytes=0--1", 200, "0", "", "", Ending::Kept},
        {"drop-after=70000", Package, "", 200, "200000", "", Data.substr(0, 70000), Ending::Closed},
        {"ignore-range=1", Package, "bytes=10-19", 200, "200000", "", Data, Ending::Kept},
        // The missing byte must not leave the client waiting.
        {"wrong-length=1", Package, "bytes=0-9", 206, "11", "bytes 0-9/200000", Data.substr(0, 10),
         Ending::Closed},
        {"status=503&status-body=busy,%20come%20back%20later", "/nothing/here", "", 503, "21", "",
         "busy, come back later", Ending::Kept},
        // The body ends where the connection does.
        {"no-content-length=1", Package, "bytes=100-199", 206, "", "bytes 100-199/200000",
         Data.substr(100, 100), Ending::Closed},
        // Other bytes than asked, and a Content-Range that says so, clamped to the file.
        {"shift-range=5", Package, "bytes=199995-", 206, "1", "bytes 199999-199999/200000",
         Data.substr(199999), Ending::Kept},
        // A bigger file of blanks after the real bytes.
        {"pad-to=200004", Package, "bytes=199998-", 206, "6", "bytes 199998-200003/200004",
         Data.substr(199998) + "    ", Ending::Kept},
        {"corrupt-at=10", Package, "bytes=10-19", 206, "10", "bytes 10-19/200000", altered, Ending::Kept},
        // HEAD describes one file, GET brings its sibling.
        {"serve-instead=Other.pkg", Package, "bytes=0-9", 206, "6", "bytes 0-5/6", "second", Ending::Kept},
        {"delay-ms=150", Package, "", 200, "200000", "", Data, Ending::Kept, 4 * 150 - 20}, // 4 chunks
        {"trickle-ms=100", Package, "bytes=0-4", 206, "5", "bytes 0-4/200000", Data.substr(0, 5),
         Ending::Kept, 5 * 100 - 20}, // a pause before each byte
        {"stall-after=1000", Package, "", 200, "200000", "", Data.substr(0, 1000), Ending::Open},
        {"extra-bytes=5", Package, "bytes=0-9", 206, "10", "bytes 0-9/200000", Data.substr(0, 10) + "xxxxx",
         Ending::Closed},
        {"reset-after=1000", Package, "", 200, "200000", "", Data.substr(0, 1000), Ending::Reset},
        {"chunked=1", Package, "bytes=0-9", 206, "", "bytes 0-9/200000",
         "a\r\n" + Data.substr(0, 10) + "\r\n0\r\n\r\n", Ending::Unchecked},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Faults + " " + c.Target + " " + c.Range);
        ASSERT_NE(Control("faults?" + c.Faults), "");
        const bool head = c.Range == std::string("HEAD");
        const auto start = std::chrono::steady_clock::now();
        HttpConnection connection(Server->Port);
        HttpResponse response;
        ASSERT_TRUE(connection.Send(head ? Head(c.Target) : Get(c.Target, c.Range)) &&
                    connection.Read(response, true));
        EXPECT_EQ(response.Status, c.Status);
        EXPECT_EQ(response.Header("content-length"), c.ContentLength);
        EXPECT_EQ(response.Has("content-length"), *c.ContentLength != 0);
        EXPECT_EQ(response.Header("content-range"), c.ContentRange);
        EXPECT_EQ(response.Header("transfer-encoding"), c.Faults == "chunked=1" ? "chunked" : "");
        if (!head && !response.Has("content-length") && !response.Has("transfer-encoding"))
        {
            EXPECT_EQ(response.Header("connection"), "close") << "a body without a length ends so";
        }
        std::string bytes;
        if (c.End == Ending::Kept || c.End == Ending::Unchecked)
            bytes = connection.ReadSome(c.Body.size(), 2000);
        else
        {
            EXPECT_EQ(connection.ClosedWithin(c.End == Ending::Open ? 1200 : 2000, &bytes),
                      c.End != Ending::Open);
        }
        EXPECT_TRUE(c.End != Ending::Kept || !connection.ClosedWithin(0)) << "the connection stays open";
        EXPECT_TRUE(bytes == c.Body) << "got " << bytes.size() << " bytes";
        EXPECT_EQ(connection.LastError(), c.End == Ending::Reset ? ECONNRESET : 0) << "a reset, not a close";
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(c.AtLeastMs));
    }
    Control("faults");
    EXPECT_TRUE(Ask(Get(Package)).Body == Data) << "the server is fine after them all";
}

TEST_F(DevServerTest, MissingFilesAndFoldersGet404OtherMethods405AndTheLoginPageIsHtml)
{
    for (const std::string& request : {Get("/kg/Startup2.pkg"), Head("/kg/Startup2.pkg"), Get("/kg"),
                                       Get("/"), Get("/plugin_watch.htm?data=1")})
        EXPECT_EQ(Ask(request).Status, 404) << request;
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
         {"/../secret.txt", "/kg/%2E%2E%2F..%2fsecret.txt", "/..%5csecret.txt", "/secret.txt%00.html"})
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

// --- control endpoints --------------------------------------------------------

TEST_F(DevServerTest, FaultsEndpointReplacesTheWholeSetAndQualifiersNarrowIt)
{
    Control("faults?ignore-range=1");
    EXPECT_EQ(Control("faults?drop-after=5&status-body=x%20y"), "drop-after=5\nstatus-body=x y\n");
    HttpResponse response = Ask(Get(Package, "bytes=0-99"));
    EXPECT_EQ(response.Status, 206) << "ignore-range was replaced, not kept";
    EXPECT_EQ(response.Body, Data.substr(0, 5));
    EXPECT_EQ(Ask(Get("/__devserver/faults?drop-after=oops")).Status, 400);
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u) << "a rejected change leaves the set as it was";
    EXPECT_EQ(Control("faults"), "no faults\n");
    EXPECT_TRUE(Ask(Get(Package)).Body == Data);

    EXPECT_EQ(Control("faults?drop-after=5&for-path=.pkg&times=2"), "drop-after=5\nfor-path=.pkg\ntimes=2\n");
    EXPECT_EQ(Ask(Get("/login.html")).Body, "<html><body>login</body></html>") << "other paths are untouched";
    EXPECT_EQ(Ask(Head(Package)).Header("content-length"), "200000") << "HEAD does not count";
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u);
    EXPECT_EQ(Ask(Get(Package)).Body.size(), 5u);
    EXPECT_TRUE(Ask(Get(Package)).Body == Data) << "used up: the server has recovered";
    EXPECT_EQ(Control("faults"), "no faults\n");
}

TEST_F(DevServerTest, RequestLogRecordsTheExactRangeHeaders)
{
    Control("requests?clear=1");
    Ask(Head(Package));
    Ask(Get(Package, "bytes=0--1"));
    Ask(Get("/kg/Startup1.pkg?x=1", "bytes=10-19"));
    Ask(Get("/missing%20file"));
    EXPECT_EQ(Control("requests?clear=1"), "HEAD /kg/Startup1.pkg HTTP/1.0\n"
                                           "GET /kg/Startup1.pkg HTTP/1.1 Range: bytes=0--1\n"
                                           "GET /kg/Startup1.pkg?x=1 HTTP/1.1 Range: bytes=10-19\n"
                                           "GET /missing%20file HTTP/1.1\n");
    EXPECT_EQ(Control("requests"), "") << "clear=1 empties the record";

    // peer=1 names the client's port: one connection serves request after
    // request, another has a port of its own.
    {
        HttpConnection connection(Server->Port);
        for (const std::string range : {"", "bytes=0-9"})
        {
            HttpResponse response;
            ASSERT_TRUE(connection.Send(Get(Package, range)) && connection.Read(response, false)) << range;
            EXPECT_TRUE(response.Body == (range.empty() ? Data : Data.substr(0, 10))) << range;
        }
    }
    Ask(Head(Package));
    std::vector<std::string> lines = SplitLines(Control("requests?clear=1&peer=1"));
    ASSERT_EQ(lines.size(), 3u);
    for (std::string& line : lines)
        line = line.substr(line.rfind(" peer ") + 1);
    EXPECT_EQ(lines[0], lines[1]) << "the connection stays usable";
    EXPECT_NE(lines[1], lines[2]) << "each connection has a port of its own";

    // bytes=1 counts each answer's body bytes: a range, a cut body, a HEAD.
    Control("faults?drop-after=70000&for-path=.pkg&times=1");
    Ask(Get(Package));
    Ask(Get(Package, "bytes=10-19"));
    Ask(Head(Package));
    EXPECT_EQ(Control("requests?clear=1&bytes=1"),
              "GET /kg/Startup1.pkg HTTP/1.1 bytes 70000\n"
              "GET /kg/Startup1.pkg HTTP/1.1 Range: bytes=10-19 bytes 10\n"
              "HEAD /kg/Startup1.pkg HTTP/1.0 bytes 0\n");
}

// --- statistics endpoint and auto-login service ---------------------------------

TEST_F(DevServerTest, StatsEndpointAppendsTheRawDataValuesAndAutoLoginAnswersTheMappedParameter)
{
    const std::string first = "sid%3a12%2ctime%3a1700000000%2cuid%3a34%2cstep%3a1002";
    const HttpResponse response = Exchange(Server->StatsPort, Get("/plugin_watch.htm?data=" + first));
    EXPECT_EQ(response.Status, 200);
    EXPECT_FALSE(response.Body.empty());
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/plugin_watch.htm?data=step%3a1013&x=y")).Status, 200);
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/plugin_watch.htm?nodata=1")).Status, 400);
    EXPECT_EQ(Exchange(Server->StatsPort, Get("/other.htm?data=1")).Status, 404);
    EXPECT_EQ(ReadFileBytes(Folder->At("stats.log")), first + "\nstep%3a1013\n");

    for (const auto& [key, answer] : std::initializer_list<std::pair<const char*, const char*>>{
             {"ABCDEFGHIJKL", "{\"url\":\"sid=7&uid=3\"}"}, {"UNKNOWNKEY12", "{\"url\":\"\"}"}})
    {
        const HttpResponse login = Ask(Get(std::string("/get?code=") + key));
        EXPECT_EQ(login.Status, 200) << key;
        EXPECT_EQ(login.Body, answer) << key;
    }
}

// --- command line -------------------------------------------------------------

TEST(DevServerCommandLine, TakesFaultsAndRefusesBadSetups)
{
    TempFolder folder;
    const std::string root = folder.Path.string();
    WriteFileBytes(folder.At("bad.json"), "{\"a\": 1}");
    const struct
    {
        std::vector<std::string> Arguments;
        int ExitCode;
        const char* Says; // in its error
    } refused[] = {
        {{"--port", "0"}, 2, "--root"},
        {{"--root", root, "--bind", "0.0.0.0", "--port", "0"}, 2, ""},
        {{"--root", root, "--status", "99", "--port", "0"}, 2, "status needs a code"},
        {{"--root", root, "--autologin", folder.At("bad.json").string(), "--port", "0"}, 2, "strings"},
        {{"--root", folder.At("none").string(), "--port", "0"}, 1, ""},
    };
    for (const auto& c : refused)
    {
        const ToolRun run = RunTool("devserver", c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Arguments[1];
        EXPECT_NE(run.Stderr.find(c.Says), std::string::npos) << run.Stderr;
    }

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
