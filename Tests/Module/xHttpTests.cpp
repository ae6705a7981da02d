#include "EngineText.h"
#include "LauncherDownloadCase.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

// The HTTP transport on its own, against the dev server: what the downloader relies on.
// The request bytes it sends (Range included), the 206 answers and ReadSome's
// bytes handed out as they arrive (SlowServersMoveProgressBeforeAPieceIsFull)
// are checked through the downloader in LauncherDownloadTests.
class xHttpTest : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        if (IsSkipped() || HasFatalFailure())
            return;
        Session = xHttpSession::Open("TransportTest", xHttpProxyMode::Direct);
        ASSERT_TRUE(Session != nullptr);
        Connection = Session->Connect("127.0.0.1", Server->Port);
        ASSERT_TRUE(Connection != nullptr);
    }

    std::unique_ptr<xHttpRequest> Get(const std::string& name, const char* headers = nullptr)
    {
        std::unique_ptr<xHttpRequest> request =
            Connection->OpenRequest("GET", Path(name).c_str(), "HTTP/1.1", nullptr, xHttpFlagNone);
        EXPECT_TRUE(request != nullptr);
        if (request && !request->Send(headers))
            ADD_FAILURE() << "no response for " << name;
        return request;
    }

    std::unique_ptr<xHttpSession> Session;
    std::unique_ptr<xHttpConnection> Connection;
};

TEST_F(xHttpTest, ReadFillsEachBufferAndReadSomeTakesLargePieces)
{
    // Large enough that the POSIX side pauses the transfer while nobody reads.
    const std::string bytes = PatternBytes((4 << 20) + 17, 20);
    Serve("big.bin", bytes);
    for (const bool some : {false, true})
    {
        SCOPED_TRACE(some ? "ReadSome" : "Read");
        std::unique_ptr<xHttpRequest> request = Get("big.bin");
        ASSERT_TRUE(request);
        EXPECT_EQ(request->StatusCode(), 200);
        if (!some)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::vector<char> buffer(some ? 256 * 1024 : 2048);
        std::string got;
        int64_t count = 0;
        int64_t largest = 0;
        while ((count = some ? request->ReadSome(buffer.data(), buffer.size())
                             : request->Read(buffer.data(), buffer.size())) > 0)
        {
            got.append(buffer.data(), static_cast<size_t>(count));
            largest = std::max(largest, count);
            ASSERT_TRUE(some || got.size() == bytes.size() || count == 2048)
                << "a short read of " << count << " before the end at " << got.size();
        }
        EXPECT_EQ(count, 0) << "the end of the body reads as 0";
        EXPECT_TRUE(got == bytes);
        EXPECT_EQ(request->Read(buffer.data(), buffer.size()), 0);
        EXPECT_EQ(request->Read(buffer.data(), 0), 0);
        // WinINet announces no more than its own buffer (8 KiB under Wine); reads
        // of that size would hold a fast link to a crawl.
        EXPECT_TRUE(!some || largest > 64 * 1024) << "the largest read took " << largest;
    }
}

TEST_F(xHttpTest, HeadAndErrorAnswersHaveStatusAndHeadersAndNoBodyToWaitFor)
{
    std::unique_ptr<xHttpRequest> absent = Get("absent.bin");
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->StatusCode(), 404);
    xString value;
    EXPECT_TRUE(absent->QueryHeader("content-length", value)) << "header names match in any case";
    EXPECT_FALSE(absent->QueryHeader("X-Not-There", value));

    Serve("head.bin", PatternBytes(4321, 21));
    std::unique_ptr<xHttpRequest> request = Connection->OpenRequest(
        "HEAD", Path("head.bin").c_str(), "HTTP/1.0", nullptr, xHttpFlagKeepConnection);
    ASSERT_TRUE(request && request->Send(nullptr));
    uint8_t buffer[16];
    EXPECT_EQ(request->Read(buffer, sizeof(buffer)), 0) << "a HEAD answer has no body to wait for";
    EXPECT_EQ(QueryRemoteSize(Connection.get(), Path("head.bin").c_str()), 4321);
    EXPECT_EQ(QueryRemoteSize(Connection.get(), Path("absent.bin").c_str()), -1) << "a 404 has no size";
    EXPECT_EQ(QueryRemoteSize(nullptr, "/x"), -1);
    EXPECT_EQ(QueryRemoteSize(Connection.get(), ""), -1);
}

TEST_F(xHttpTest, RefusedConnectionFailsTheSend)
{
    // Port 9 (discard) has no listener on a test machine.
    std::unique_ptr<xHttpConnection> nowhere = Session->Connect("127.0.0.1", 9);
    ASSERT_TRUE(nowhere);
    std::unique_ptr<xHttpRequest> request =
        nowhere->OpenRequest("GET", "/x", "HTTP/1.1", nullptr, xHttpFlagNone);
    ASSERT_TRUE(request);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(request->Send(nullptr));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    EXPECT_EQ(request->StatusCode(), 0);
    uint8_t buffer[4];
    EXPECT_EQ(request->Read(buffer, sizeof(buffer)), -1);
}

// The thread that owns the windows never waits on the network: once named,
// its requests are refused before anything goes out, loudly; other threads'
// requests go out as before.
TEST_F(xHttpTest, RequestsFromTheWindowThreadAreRefused)
{
    Serve("small.txt", "hello");
    std::thread window(
        [&]
        {
            xHttpForbidRequestsOnThisThread();
            std::unique_ptr<xHttpRequest> request =
                Connection->OpenRequest("GET", Path("small.txt").c_str(), "HTTP/1.1", nullptr, xHttpFlagNone);
            ASSERT_TRUE(request);
            EXPECT_FALSE(request->Send(nullptr));
            EXPECT_EQ(request->StatusCode(), 0);
        });
    window.join();
    EXPECT_TRUE(Log.Contains("E HTTP request refused: the window thread must not wait on the network"));
    EXPECT_TRUE(DevServerRequests(true).empty()) << "the refused request reached the server";
    std::unique_ptr<xHttpRequest> request = Get("small.txt");
    xHttpAllowRequestsOnEveryThread();
    EXPECT_TRUE(request && request->StatusCode() == 200) << "another thread's request was refused too";
}

TEST_F(xHttpTest, SilentServerFailsTheReadAfterTheStallTime)
{
    Serve("silent.bin", PatternBytes(10000, 23));
    Session->SetTimeouts(5000, 1000);
    ASSERT_TRUE(SetDevServerFaults("stall-after=100"));
    for (const bool some : {false, true})
    {
        std::unique_ptr<xHttpRequest> request = Get("silent.bin");
        ASSERT_TRUE(request);
        uint8_t buffer[2048];
        auto read = [&]
        { return some ? request->ReadSome(buffer, sizeof(buffer)) : request->Read(buffer, sizeof(buffer)); };
        const auto start = std::chrono::steady_clock::now();
        const int64_t first = read();
        // Read hands out the 100 bytes once the stall is noticed, ReadSome at once;
        // the call after them fails either way.
        const int64_t second = read();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE((first == 100 && second == -1) || (first == -1 && second == -1))
            << (some ? "ReadSome" : "Read") << " got " << first << " then " << second;
        EXPECT_GE(elapsed, 0.9);
        EXPECT_LT(elapsed, 8.0);
        EXPECT_EQ(read(), -1) << "a failed transfer stays failed";
    }
}

TEST_F(xHttpTest, PreconfiguredSessionsTakeTheSystemProxy)
{
    const TestServer& nginx = GetTestServer(PeerKind::Nginx);
    if (!nginx.Available)
        GTEST_SKIP() << "nginx not available: " << nginx.Problem;
    // The dev server stands in for a proxy: its record shows the absolute URL a proxy is asked for.
    struct ProxyGuard
    {
        ~ProxyGuard() { SetSystemProxy(nullptr); }
    } guard;
    SetSystemProxy(("127.0.0.1:" + std::to_string(Server->Port)).c_str());
    std::unique_ptr<xHttpSession> preconfigured =
        xHttpSession::Open("ProxyTest", xHttpProxyMode::Preconfigured);
    std::unique_ptr<xHttpSession> direct = xHttpSession::Open("ProxyTest", xHttpProxyMode::Direct);
    for (xHttpSession* session : {preconfigured.get(), direct.get()})
    {
        ASSERT_TRUE(session != nullptr);
        std::unique_ptr<xHttpConnection> connection = session->Connect("127.0.0.1", nginx.Port);
        ASSERT_TRUE(connection);
        std::unique_ptr<xHttpRequest> request =
            connection->OpenRequest("GET", Path("via.txt").c_str(), "HTTP/1.1", nullptr, xHttpFlagNone);
        ASSERT_TRUE(request);
        request->Send(nullptr);
    }
    const std::vector<std::string> expected{"GET http://127.0.0.1:" + std::to_string(nginx.Port) +
                                            Path("via.txt") + " HTTP/1.1"};
    EXPECT_EQ(DevServerRequests(false), expected) << "only the preconfigured session goes through the proxy";
}
