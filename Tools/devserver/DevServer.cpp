#include "DevServer.h"

#include "JsonText.h"
#include "RangeRequest.h"
#include "ServedFile.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace
{
constexpr size_t ChunkSize = 64 * 1024;
constexpr size_t WorkerThreads = 64; // each open connection (keep-alive, stall) holds one
constexpr const char* ControlPrefix = "/__devserver/";

// What this server decided for the exchange running on this thread. The
// library calls the handler, the body provider, the header hook and the
// logger of one exchange on one worker thread, one exchange at a time.
struct Exchange
{
    const httplib::Request* Request = nullptr; // set once the exchange is ours
    httplib::Headers Headers;                  // the complete header set to send
    bool CloseAfterBody = false;               // the body ends by closing
    bool ClosedEarly = false;                  // a fault or a failed read cut the body
    uint64_t BodyBytes = 0;
    // The request's entry in the record, which counts the body bytes handed to
    // the socket as they go (a reader of the record sees them at once).
    std::shared_ptr<std::atomic<uint64_t>> Recorded;
};
thread_local Exchange t_Exchange;

struct Body
{
    std::shared_ptr<ServedFile> File; // or Text
    std::string Text;
    uint64_t Offset = 0;
    uint64_t Length = 0;
    // File positions from here on read as blanks (pad-to).
    uint64_t FileEnd = UINT64_MAX;
};

// The socket of the exchange running on this thread. The library hands its
// handlers no socket, but a TCP connection is one pair of ports, so the
// descriptor whose two ends match the request's is the one. Only the faults
// that must break HTTP itself (a reset, headers without end) need it.
int ExchangeSocket(const httplib::Request& request)
{
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr)
        return -1;
    int found = -1;
    while (dirent* entry = readdir(folder))
    {
        const int fd = std::atoi(entry->d_name);
        struct stat info;
        if (entry->d_name[0] == '.' || fd == dirfd(folder) || fstat(fd, &info) != 0 ||
            !S_ISSOCK(info.st_mode))
            continue;
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == request.local_port &&
            ntohs(peer.sin_port) == request.remote_port)
        {
            found = fd;
            break;
        }
    }
    closedir(folder);
    return found;
}

// Closing with a zero linger time sends a reset instead of the orderly end.
// The library would shut the socket down (a FIN) before closing it, so the
// connection is closed here, at once: dup2 puts an unconnected socket in its
// place in one step, and the library later closes that one instead, so the
// descriptor number is never free for another thread to take meanwhile.
void ResetNow(const httplib::Request& request)
{
    const int fd = ExchangeSocket(request);
    if (fd < 0)
        return;
    linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    const int standIn = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (standIn < 0)
        return;
    dup2(standIn, fd);
    close(standIn);
}

std::string Gzipped(const std::string& bytes)
{
    z_stream stream{};
    // 16 added to the window bits asks for the gzip wrapper.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    std::string out(deflateBound(&stream, bytes.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

Body TextBody(std::string text)
{
    Body body;
    body.Length = text.size();
    body.Text = std::move(text);
    return body;
}

// Sleeps in small steps so that a stop is not held up by a long delay.
bool PauseUnlessStopping(uint32_t milliseconds, const std::atomic<bool>& stopping)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopping && std::chrono::steady_clock::now() < until)
    {
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return !stopping;
}

bool WriteBody(const Body& body, const FaultSet& faults, bool closeAfterBody,
               const std::atomic<bool>& stopping, httplib::DataSink& sink)
{
    std::vector<char> buffer(ChunkSize);
    uint64_t sent = 0;
    while (sent < body.Length)
    {
        if (faults.StallAfter && sent >= *faults.StallAfter)
        {
            // Silent but open: the client must notice the stall by itself. The
            // library sees the peer's close through is_writable.
            while (!stopping && sink.is_writable())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            t_Exchange.ClosedEarly = true;
            return false;
        }
        if (faults.DropAfter && sent >= *faults.DropAfter)
        {
            t_Exchange.ClosedEarly = true;
            return false;
        }
        if (faults.ResetAfter && sent >= *faults.ResetAfter)
        {
            ResetNow(*t_Exchange.Request);
            t_Exchange.ClosedEarly = true;
            return false;
        }
        uint64_t chunk = std::min<uint64_t>(ChunkSize, body.Length - sent);
        if (faults.ResetAfter)
            chunk = std::min(chunk, *faults.ResetAfter - sent);
        if (faults.TrickleMs != 0)
        {
            chunk = 1;
            if (!PauseUnlessStopping(faults.TrickleMs, stopping))
                return false;
        }
        if (faults.StallAfter)
            chunk = std::min(chunk, *faults.StallAfter - sent);
        if (faults.DropAfter)
            chunk = std::min(chunk, *faults.DropAfter - sent);
        if (faults.DelayMs != 0 && !PauseUnlessStopping(faults.DelayMs, stopping))
            return false;
        if (body.File)
        {
            const uint64_t at = body.Offset + sent;
            const uint64_t fromFile = at >= body.FileEnd ? 0 : std::min(chunk, body.FileEnd - at);
            if (body.File->ReadAt(at, buffer.data(), fromFile) != static_cast<long long>(fromFile))
            {
                t_Exchange.ClosedEarly = true;
                return false;
            }
            std::memset(buffer.data() + fromFile, ' ', chunk - fromFile);
            if (faults.CorruptAt && *faults.CorruptAt >= at && *faults.CorruptAt - at < chunk)
                buffer[*faults.CorruptAt - at] = static_cast<char>(~buffer[*faults.CorruptAt - at]);
        }
        else
        {
            body.Text.copy(buffer.data(), chunk, sent);
        }
        // Counted before the write: a client that has the last bytes may ask
        // at once how many were sent, before this thread runs on.
        if (t_Exchange.Recorded)
            *t_Exchange.Recorded += chunk;
        if (!sink.write(buffer.data(), chunk))
        {
            if (t_Exchange.Recorded)
                *t_Exchange.Recorded -= chunk;
            return false;
        }
        sent += chunk;
        t_Exchange.BodyBytes += chunk;
    }
    if (faults.ExtraBytes)
    {
        // What no length announced; the close keeps it from passing for the next answer.
        const std::string extra(static_cast<size_t>(std::min<uint64_t>(*faults.ExtraBytes, ChunkSize)), 'x');
        if (sink.write(extra.data(), extra.size()))
            t_Exchange.BodyBytes += extra.size();
        return false;
    }
    if (closeAfterBody)
        return false;
    sink.done();
    return true;
}

// Sets status, headers and body; faults (null for none) change the length
// announcement and how the body goes out. The headers take effect in the
// post-routing hook, which replaces whatever the library put together.
void Respond(const httplib::Request& request, httplib::Response& response, int status,
             httplib::Headers headers, Body body, const FaultSet* faults, const std::atomic<bool>& stopping)
{
    const FaultSet none;
    const FaultSet& active = faults ? *faults : none;
    const bool head = request.method == "HEAD";
    if (active.Gzip && !head && status < 300)
    {
        // The encoded body replaces the bytes; every other fault then acts on it.
        std::string plain(static_cast<size_t>(body.Length), '\0');
        if (body.File)
        {
            const uint64_t fromFile =
                body.Offset >= body.FileEnd ? 0 : std::min(body.Length, body.FileEnd - body.Offset);
            body.File->ReadAt(body.Offset, &plain[0], static_cast<size_t>(fromFile));
            std::fill(plain.begin() + static_cast<std::ptrdiff_t>(fromFile), plain.end(), ' ');
        }
        else
            plain = body.Text;
        body = TextBody(Gzipped(plain));
        headers.emplace("Content-Encoding", "gzip");
    }
    if (active.Chunked && !head)
        headers.emplace("Transfer-Encoding", "chunked");
    else if (!active.NoContentLength)
        headers.emplace("Content-Length", std::to_string(head && active.HeadLength
                                                             ? *active.HeadLength
                                                             : body.Length + (active.WrongLength ? 1 : 0)));
    response.status = status;
    t_Exchange.Headers = std::move(headers);
    // Without a length, or with a false one, only closing ends the body for the client.
    t_Exchange.CloseAfterBody = !head && !active.Chunked && (active.NoContentLength || active.WrongLength);
    if (head)
        return;
    const bool closeAfterBody = t_Exchange.CloseAfterBody;
    auto provider =
        [body = std::move(body), active, closeAfterBody, &stopping](size_t, httplib::DataSink& sink)
    { return WriteBody(body, active, closeAfterBody, stopping, sink); };
    if (active.Chunked)
        response.set_chunked_content_provider("application/octet-stream", std::move(provider));
    else
        response.set_content_provider("application/octet-stream", std::move(provider));
}

void RespondText(const httplib::Request& request, httplib::Response& response, int status,
                 const std::string& text, const std::string& contentType, const FaultSet* faults,
                 const std::atomic<bool>& stopping)
{
    httplib::Headers headers{{"Content-Type", contentType}};
    Respond(request, response, status, std::move(headers), TextBody(text), faults, stopping);
}

std::string TimeStamp()
{
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_usec / 1000));
    return text;
}
} // namespace

bool IsLoopbackAddress(const std::string& address)
{
    if (address == "localhost")
        return true;
    in_addr v4;
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6;
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool RawQueryValue(const std::string& target, const std::string& name, std::string& value)
{
    const size_t question = target.find('?');
    if (question == std::string::npos)
        return false;
    size_t start = question + 1;
    while (start <= target.size())
    {
        size_t end = target.find('&', start);
        if (end == std::string::npos)
            end = target.size();
        const std::string pair = target.substr(start, end - start);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name)
        {
            value = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string PercentDecode(const std::string& text)
{
    auto hexValue = [](char c) -> int
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0)
        {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        }
        else
        {
            out += text[i];
        }
    }
    return out;
}

DevServer::DevServer(DevServerConfig config)
    : m_Config(std::move(config)), m_Main(std::make_unique<httplib::Server>()),
      m_Stats(std::make_unique<httplib::Server>()), m_Faults(m_Config.Faults)
{
    Configure(*m_Main, false);
    Configure(*m_Stats, true);
}

DevServer::~DevServer()
{
    if (m_StatsLog >= 0)
        close(m_StatsLog);
}

void DevServer::Configure(httplib::Server& server, bool stats)
{
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share a busy port silently; a stale server must make Bind fail.
    server.set_socket_options(
        [](socket_t socket)
        {
            int yes = 1;
            setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
    // Headers and body go out in separate writes; with Nagle's algorithm the
    // body then waits for the client's delayed ACK (40 ms on Linux) on every
    // request of a kept-alive connection after the first few. nginx sets
    // TCP_NODELAY on kept-alive connections too.
    server.set_tcp_nodelay(true);
    server.new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    server.set_keep_alive_max_count(1000);
    server.set_payload_max_length(64 * 1024);

    // Every request that reaches routing is answered here, so no route table
    // and none of the library's own Range handling comes into play.
    server.set_pre_routing_handler(
        [this, stats](const httplib::Request& request, httplib::Response& response)
        {
            t_Exchange = Exchange();
            t_Exchange.Request = &request;
            if (stats)
                DispatchStats(request, response);
            else
                Dispatch(request, response);
            return httplib::Server::HandlerResponse::Handled;
        });

    // The library answers 416 by itself, before routing, to Range headers it
    // cannot parse, among them the launcher's "bytes=0--1"; those requests
    // are answered as any other.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [this, stats](const httplib::Request& request, httplib::Response& response)
        {
            if (t_Exchange.Request == &request || stats || response.status != 416 ||
                !request.has_header("Range"))
                return httplib::Server::HandlerResponse::Unhandled;
            t_Exchange = Exchange();
            t_Exchange.Request = &request;
            Dispatch(request, response);
            return httplib::Server::HandlerResponse::Handled;
        }));

    server.set_post_routing_handler(
        [](const httplib::Request& request, httplib::Response& response)
        {
            if (t_Exchange.Request != &request)
                return;
            const std::string keepAlive = response.get_header_value("Keep-Alive");
            // The same test the library makes to close after this response.
            const bool libraryCloses =
                response.get_header_value("Connection") == "close" ||
                (request.version == "HTTP/1.0" && request.get_header_value("Connection") != "Keep-Alive");
            response.headers = t_Exchange.Headers;
            if (libraryCloses || t_Exchange.CloseAfterBody)
                response.set_header("Connection", "close");
            else if (!keepAlive.empty())
                response.set_header("Keep-Alive", keepAlive);
        });

    server.set_logger([this, stats](const httplib::Request& request, const httplib::Response& response)
                      { LogExchange(stats ? "stats: " : "", request, response); });
}

bool DevServer::Bind(std::string& error)
{
    m_RealRoot = RealFolderPath(m_Config.Root);
    if (m_RealRoot.empty())
    {
        error = "the root \"" + m_Config.Root + "\" is not a folder";
        return false;
    }
    if (m_Config.StatsEnabled)
    {
        m_StatsLog = open(m_Config.StatsLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_StatsLog < 0)
        {
            error = "cannot open the statistics log \"" + m_Config.StatsLogPath + "\"";
            return false;
        }
    }
    auto bindOne = [&](httplib::Server& server, int wanted, int& bound, const char* what)
    {
        bound = wanted == 0 ? server.bind_to_any_port(m_Config.BindAddress)
                            : (server.bind_to_port(m_Config.BindAddress, wanted) ? wanted : -1);
        if (bound <= 0)
        {
            error = std::string("cannot listen on ") + m_Config.BindAddress + ":" + std::to_string(wanted) +
                    " (" + what + ")";
            return false;
        }
        return true;
    };
    if (!bindOne(*m_Main, m_Config.Port, m_Port, "files"))
        return false;
    if (m_Config.StatsEnabled && !bindOne(*m_Stats, m_Config.StatsPort, m_StatsPort, "statistics"))
        return false;
    return true;
}

void DevServer::Run()
{
    std::atomic<bool> done{false};
    std::thread stats;
    if (m_Config.StatsEnabled)
        stats = std::thread([this] { m_Stats->listen_after_bind(); });
    // The library's stop() does nothing to a listener that has not started
    // yet, and Stop must be callable at any moment (from a signal handler
    // too), so a watcher repeats it until both listeners have ended.
    std::thread watcher(
        [this, &done]
        {
            while (!done)
            {
                if (m_Stopping)
                {
                    m_Main->stop();
                    m_Stats->stop();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        });
    m_Main->listen_after_bind();
    m_Stopping = true;
    if (stats.joinable())
        stats.join();
    done = true;
    watcher.join();
}

void DevServer::Stop()
{
    m_Stopping = true;
}

FaultSet DevServer::FaultsFor(const httplib::Request& request)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Faults.Hits(request.path))
        return FaultSet();
    const FaultSet faults = m_Faults;
    if (request.method == "GET" && m_Faults.Times && --*m_Faults.Times == 0)
    {
        m_Faults = FaultSet();
        std::fprintf(stderr, "%s faults used up: no faults\n", TimeStamp().c_str());
    }
    return faults;
}

void DevServer::NoteRequest(const httplib::Request& request)
{
    std::string line = request.method + " " + request.target + " " + request.version;
    if (request.has_header("Range"))
        line += " Range: " + request.get_header_value("Range");
    auto bytes = std::make_shared<std::atomic<uint64_t>>(0);
    if (t_Exchange.Request == &request)
        t_Exchange.Recorded = bytes;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Requests.push_back({std::move(line), request.remote_port, std::move(bytes)});
}

void DevServer::Dispatch(const httplib::Request& request, httplib::Response& response)
{
    if (request.path.compare(0, std::strlen(ControlPrefix), ControlPrefix) == 0)
    {
        if (m_Config.ControlEndpoints)
            ServeControl(request, response);
        else
            RespondText(request, response, 404, "not found\n", "text/plain", nullptr, m_Stopping);
        return;
    }
    NoteRequest(request);
    if (request.method != "GET" && request.method != "HEAD")
    {
        httplib::Headers headers{{"Content-Type", "text/plain"}, {"Allow", "GET, HEAD"}};
        Respond(request, response, 405, std::move(headers), TextBody("method not allowed\n"), nullptr,
                m_Stopping);
        return;
    }
    if (m_Config.AutoLoginEnabled && request.path == "/get")
        ServeAutoLogin(request, response);
    else
        ServeFile(request, response);
}

void DevServer::ServeFile(const httplib::Request& request, httplib::Response& response)
{
    const FaultSet faults = FaultsFor(request);
    if (faults.EndlessHeaders)
    {
        ServeEndlessHeaders(request, response);
        return;
    }
    if (!faults.RedirectTo.empty())
    {
        httplib::Headers headers{{"Content-Type", "text/plain"},
                                 {"Location", faults.RedirectTo + request.target}};
        Respond(request, response, 302, std::move(headers), TextBody("moved\n"), nullptr, m_Stopping);
        return;
    }
    if (faults.Status != 0)
    {
        RespondText(request, response, faults.Status, faults.StatusBodyText(), "text/plain", &faults,
                    m_Stopping);
        return;
    }
    std::optional<std::string> relative = RelativeServedPath(request.path);
    // The file changed between a client's HEAD and its GET.
    if (relative && !faults.ServeInstead.empty() && request.method == "GET")
    {
        const size_t slash = relative->rfind('/');
        *relative = (slash == std::string::npos ? std::string() : relative->substr(0, slash + 1)) +
                    faults.ServeInstead;
    }
    if (!relative)
    {
        RespondText(request, response, 403, "forbidden\n", "text/plain", &faults, m_Stopping);
        return;
    }
    auto file = std::make_shared<ServedFile>();
    switch (file->Open(m_RealRoot, *relative))
    {
    case ServedFile::Outcome::Opened:
        break;
    case ServedFile::Outcome::Refused:
        RespondText(request, response, 403, "forbidden\n", "text/plain", &faults, m_Stopping);
        return;
    case ServedFile::Outcome::NotFound:
        RespondText(request, response, 404, "not found\n", "text/plain", &faults, m_Stopping);
        return;
    }

    const uint64_t size = faults.PadTo ? std::max(*faults.PadTo, file->Size()) : file->Size();
    httplib::Headers headers{{"Content-Type", ContentTypeFor(*relative)}};
    if (!faults.IgnoreRange)
        headers.emplace("Accept-Ranges", "bytes");
    Body body;
    body.File = file;
    body.Length = size;
    body.FileEnd = file->Size();
    // HEAD describes the whole file whatever Range says: ranges apply to GET.
    if (request.method == "HEAD" || faults.IgnoreRange)
    {
        Respond(request, response, 200, std::move(headers), std::move(body), &faults, m_Stopping);
        return;
    }
    const RangeDecision decision =
        DecideRange(request.has_header("Range"), request.get_header_value("Range"), size);
    switch (decision.Answer)
    {
    case RangeAnswer::Whole:
        Respond(request, response, 200, std::move(headers), std::move(body), &faults, m_Stopping);
        return;
    case RangeAnswer::EmptyWhole:
        body.Length = 0;
        Respond(request, response, 200, std::move(headers), std::move(body), &faults, m_Stopping);
        return;
    case RangeAnswer::Partial:
    {
        RangeDecision sent = decision;
        if (faults.ShiftRange)
        {
            // Other bytes than asked, and a Content-Range that says so.
            sent.First = std::min(size - 1, decision.First + std::min(*faults.ShiftRange, size));
            sent.Length = std::min(decision.Length, size - sent.First);
        }
        headers.emplace("Content-Range", ContentRangeText(sent, size));
        body.Offset = sent.First;
        body.Length = sent.Length;
        Respond(request, response, 206, std::move(headers), std::move(body), &faults, m_Stopping);
        return;
    }
    case RangeAnswer::Unsatisfiable:
        headers = {{"Content-Type", "text/plain"}, {"Content-Range", "bytes */" + std::to_string(size)}};
        Respond(request, response, 416, std::move(headers), TextBody(""), &faults, m_Stopping);
        return;
    }
}

void DevServer::ServeEndlessHeaders(const httplib::Request& request, httplib::Response& response)
{
    // Straight onto the socket: the library writes a header block whole. A
    // line every 10 ms, each a new header, until the client leaves.
    const int fd = ExchangeSocket(request);
    std::string text = "HTTP/1.1 200 OK\r\n";
    for (uint64_t line = 0; fd >= 0 && !m_Stopping; ++line)
    {
        text += "X-Filler-" + std::to_string(line) + ": " + std::string(64, 'h') + "\r\n";
        if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
            break;
        t_Exchange.BodyBytes += text.size();
        text.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    t_Exchange.ClosedEarly = true;
    ResetNow(request);
    httplib::Headers headers;
    Respond(request, response, 500, std::move(headers), TextBody(""), nullptr, m_Stopping);
    t_Exchange.CloseAfterBody = true;
}

void DevServer::ServeAutoLogin(const httplib::Request& request, httplib::Response& response)
{
    std::string code;
    if (!RawQueryValue(request.target, "code", code))
    {
        RespondText(request, response, 400, "{\"url\":\"\"}", "application/json", nullptr, m_Stopping);
        return;
    }
    // An unknown key is not an error of the service: it answers an empty
    // parameter, which the launcher treats as "no login".
    const auto found = m_Config.AutoLogin.find(PercentDecode(code));
    const std::string parameter = found == m_Config.AutoLogin.end() ? std::string() : found->second;
    RespondText(request, response, 200, "{\"url\":" + JsonQuote(parameter) + "}", "application/json", nullptr,
                m_Stopping);
}

void DevServer::ServeControl(const httplib::Request& request, httplib::Response& response)
{
    const std::string name = request.path.substr(std::strlen(ControlPrefix));
    if (name == "faults")
    {
        FaultSet faults;
        for (const auto& parameter : request.params)
        {
            std::string error;
            if (!ApplyFaultSetting(faults, parameter.first, parameter.second, error))
            {
                RespondText(request, response, 400, error + "\n", "text/plain", nullptr, m_Stopping);
                return;
            }
        }
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Faults = faults;
        }
        const std::string text = DescribeFaults(faults);
        std::fprintf(stderr, "%s faults now: %s", TimeStamp().c_str(), text.c_str());
        RespondText(request, response, 200, text, "text/plain", nullptr, m_Stopping);
        return;
    }
    if (name == "requests")
    {
        std::string text;
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            // The client's port tells its connections apart, for keep-alive checks.
            const bool peer = request.get_param_value("peer") == "1";
            const bool bytes = request.get_param_value("bytes") == "1";
            for (const RecordedRequest& recorded : m_Requests)
                text += recorded.Line + (peer ? " peer " + std::to_string(recorded.Port) : "") +
                        (bytes ? " bytes " + std::to_string(recorded.BodyBytes->load()) : "") + "\n";
            if (request.get_param_value("clear") == "1")
                m_Requests.clear();
        }
        RespondText(request, response, 200, text, "text/plain", nullptr, m_Stopping);
        return;
    }
    RespondText(request, response, 404, "unknown control endpoint\n", "text/plain", nullptr, m_Stopping);
}

void DevServer::DispatchStats(const httplib::Request& request, httplib::Response& response)
{
    std::string value;
    if (request.method != "GET" || request.path != "/plugin_watch.htm")
    {
        RespondText(request, response, 404, "not found\n", "text/plain", nullptr, m_Stopping);
        return;
    }
    if (!RawQueryValue(request.target, "data", value))
    {
        RespondText(request, response, 400, "no data\n", "text/plain", nullptr, m_Stopping);
        return;
    }
    if (!AppendStatsLine(value))
    {
        RespondText(request, response, 500, "cannot write the log\n", "text/plain", nullptr, m_Stopping);
        return;
    }
    RespondText(request, response, 200, "ok\n", "text/plain", nullptr, m_Stopping);
}

bool DevServer::AppendStatsLine(const std::string& value)
{
    // The value as it arrived, still percent-encoded: what the client sent,
    // byte for byte. A request line holds no raw line break, so one value is
    // one line.
    const std::string line = value + "\n";
    std::lock_guard<std::mutex> lock(m_Lock);
    return write(m_StatsLog, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

void DevServer::LogExchange(const char* label, const httplib::Request& request,
                            const httplib::Response& response)
{
    const bool ours = t_Exchange.Request == &request;
    // Requests the library answered alone (malformed ones) are recorded too.
    if (!ours && label[0] == '\0' && !request.method.empty())
        NoteRequest(request);
    std::string line =
        TimeStamp() + " " + label + request.method + " " + request.target + " " + request.version;
    if (request.has_header("Range"))
        line += " Range: " + request.get_header_value("Range");
    line += " -> " + std::to_string(response.status) + ", " +
            std::to_string(ours ? t_Exchange.BodyBytes : 0) + " body bytes";
    if (ours && t_Exchange.ClosedEarly)
        line += ", connection cut";
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    t_Exchange = Exchange();
}
