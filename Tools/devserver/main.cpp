#include "DevServer.h"
#include "FaultSet.h"
#include "JsonText.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
const char* const Usage = R"(devserver: the update server for development and tests.

Usage: devserver --root DIR [options]

Serving:
  --root DIR            folder to serve (required); nothing outside it is ever served
  --port N              port for files and services (default 18080; 0 picks a free one)
  --bind ADDR           address to listen on (default 127.0.0.1)
  --allow-remote        allow a --bind address that is not loopback; the control
                        endpoints are then switched off
  --stats-log FILE      start the statistics endpoint and append each received
                        "data" value to FILE, one per line, exactly as sent
                        (still percent-encoded)
  --stats-port N        port of the statistics endpoint (default 8001; 0 picks a free one)
  --autologin FILE      serve /get?code=KEY from FILE, a JSON object {"KEY": "launch parameter"},
                        read at start: answers {"url":"launch parameter"}, and
                        {"url":""} (status 200) for an unknown key
  --help                this text

Files: GET and HEAD. HEAD gives Content-Length and no body, and ignores Range.
GET answers Range "bytes=S-E", "bytes=S-" and "bytes=-N" with 206 and exactly
those bytes; an unsatisfiable or malformed range gets 416; several ranges in one
header get 200 with the whole file. "bytes=0--1" on a 0-byte file (what the
launcher sends for one) gets 200 with an empty body. Missing files get 404;
paths with "..", backslashes or control characters, and symbolic links that
lead out of the root, get 403.

Faults (for file requests; they change nothing at /get or the control paths):
  --drop-after N        close the connection after N body bytes
  --ignore-range        answer ranged GETs with 200 and the whole file
  --wrong-length        announce Content-Length one more than the body, on HEAD
                        and GET; a GET then closes the connection after the body
  --status CODE         answer every file request with CODE (200-599, not 204/304)
  --status-body TEXT    the body for --status (default "status CODE" and a newline);
                        HEAD announces its length
  --no-content-length   no Content-Length on HEAD and GET; a GET ends its body
                        by closing the connection
  --delay-ms N          pause N ms before each 64 KiB chunk of a body
  --stall-after N       after N body bytes send nothing more, keep the connection
                        open until the client closes it (0: right after the headers)
  --corrupt-at N        send byte N of the file (its position in the file, not in
                        the body) inverted, wherever a body carries it
  --head-length N       HEAD announces Content-Length N; GET stays true
  --extra-bytes N       after the announced body send N more bytes, then close
  --shift-range N       a 206 carries the bytes N further on than asked, with a
                        Content-Range that says so (clamped to the file)
  --reset-after N       after N body bytes end the connection with a TCP reset
  --pad-to N            serve the file as if blanks padded it to N bytes
  --trickle-ms N        send bodies one byte at a time, N ms before each
  --redirect-to URL     answer 302 with Location URL followed by the request's
                        target (pointed at this server itself: a redirect loop)
  --serve-instead NAME  GET serves the file NAME beside the asked one, HEAD the
                        asked one (a file that changes between HEAD and GET)
  --chunked             send bodies with chunked transfer encoding, no length
  --gzip                send bodies gzip-compressed with Content-Encoding: gzip,
                        asked for or not (Content-Length then counts the gzip bytes)
  --endless-headers     a status line, then a header line every 10 ms that never
                        ends the header block, until the client leaves
  --for-path TEXT       the faults hit only requests whose path ends in TEXT
  --times N             the faults hit only the next N GETs they apply to, then
                        clear themselves (a server that fails, then recovers)
Body faults (drop, delay, stall, corruption, extra bytes, reset, trickle,
chunks, gzip) never touch HEAD, which has no body.

Control (only when listening on loopback):
  GET /__devserver/faults?drop-after=N&ignore-range=1&...
                        replace the whole fault set with the given one (no
                        parameters: no faults); answers the new set
  GET /__devserver/requests[?clear=1][&peer=1][&bytes=1]
                        one line per request since the last clear:
                        METHOD TARGET VERSION[ Range: VALUE], target and Range
                        exactly as received; peer=1 adds " peer PORT", the
                        client's port (one per connection); bytes=1 adds
                        " bytes N", the body bytes sent so far; clear=1 empties the
                        record after answering. Control and statistics requests
                        are not listed.

Output: the first line on stdout is "listening on ADDR:PORT", then, with
--stats-log, "stats listening on ADDR:PORT". Each request is logged to stderr.
)";

DevServer* g_Server = nullptr;

void OnSignal(int)
{
    if (g_Server)
        g_Server->Stop();
}

bool ParsePort(const std::string& text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "devserver: %s\n(devserver --help lists the options)\n", message.c_str());
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    DevServerConfig config;
    bool allowRemote = false;
    bool haveRoot = false;
    std::string autoLoginPath;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        auto value = [&](std::string& out)
        {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (option == "--help" || option == "-h")
        {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (option == "--allow-remote")
        {
            allowRemote = true;
            continue;
        }
        if (option.compare(0, 2, "--") == 0 && IsFaultFlag(option.substr(2)))
        {
            std::string error;
            ApplyFaultSetting(config.Faults, option.substr(2), "1", error);
            continue;
        }
        if (!value(text))
            return Fail(option.compare(0, 2, "--") == 0 ? option + " needs a value"
                                                        : "unknown argument " + option);
        if (option == "--root")
        {
            config.Root = text;
            haveRoot = true;
        }
        else if (option == "--port")
        {
            if (!ParsePort(text, config.Port))
                return Fail("--port needs a port number, not \"" + text + "\"");
        }
        else if (option == "--stats-port")
        {
            if (!ParsePort(text, config.StatsPort))
                return Fail("--stats-port needs a port number, not \"" + text + "\"");
        }
        else if (option == "--bind")
        {
            config.BindAddress = text;
        }
        else if (option == "--stats-log")
        {
            config.StatsEnabled = true;
            config.StatsLogPath = text;
        }
        else if (option == "--autologin")
        {
            autoLoginPath = text;
        }
        else if (option.compare(0, 2, "--") == 0 && IsFaultName(option.substr(2)))
        {
            std::string error;
            if (!ApplyFaultSetting(config.Faults, option.substr(2), text, error))
                return Fail(error);
        }
        else
        {
            return Fail("unknown option " + option);
        }
    }
    if (!haveRoot)
        return Fail("--root is required");
    const bool loopback = IsLoopbackAddress(config.BindAddress);
    if (!loopback && !allowRemote)
        return Fail("--bind " + config.BindAddress +
                    " is not a loopback address; add --allow-remote to mean it");
    // The control endpoints change what every client gets; never offer them
    // beyond this machine.
    config.ControlEndpoints = loopback;

    if (!autoLoginPath.empty())
    {
        std::ifstream file(autoLoginPath, std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        std::string error;
        if (!file || !ParseStringObject(content.str(), config.AutoLogin, error))
            return Fail("cannot read the auto-login mapping \"" + autoLoginPath + "\"" +
                        (error.empty() ? std::string() : ": " + error));
        config.AutoLoginEnabled = true;
    }

    DevServer server(config);
    std::string error;
    if (!server.Bind(error))
    {
        std::fprintf(stderr, "devserver: %s\n", error.c_str());
        return 1;
    }
    // A client that goes away mid-body must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    g_Server = &server;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    std::printf("listening on %s:%d\n", config.BindAddress.c_str(), server.Port());
    if (config.StatsEnabled)
        std::printf("stats listening on %s:%d\n", config.BindAddress.c_str(), server.StatsPort());
    std::fflush(stdout);
    std::fprintf(stderr, "devserver: serving %s; faults: %s", config.Root.c_str(),
                 DescribeFaults(config.Faults).c_str());
    server.Run();
    g_Server = nullptr;
    return 0;
}
