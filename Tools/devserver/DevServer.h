#pragma once

#include "FaultSet.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib
{
class Server;
struct Request;
struct Response;
} // namespace httplib

struct DevServerConfig
{
    std::string Root; // the served folder
    std::string BindAddress = "127.0.0.1";
    int Port = 18080;             // 0: any free port
    bool ControlEndpoints = true; // /__devserver/...; only ever on loopback
    bool StatsEnabled = false;
    int StatsPort = 8001;
    std::string StatsLogPath;
    bool AutoLoginEnabled = false;
    std::map<std::string, std::string> AutoLogin; // key -> launch parameter
    FaultSet Faults;
};

// The update server for development and tests: files with HEAD and single
// byte ranges, the auto-login translation service, the statistics endpoint on
// a port of its own, faults on demand and a record of what clients sent.
class DevServer
{
public:
    explicit DevServer(DevServerConfig config);
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Binds both listeners; false with a reason when the root or a port is unusable.
    bool Bind(std::string& error);
    int Port() const { return m_Port; }
    int StatsPort() const { return m_StatsPort; }

    // Serves until Stop.
    void Run();
    // Only sets a flag: safe from any thread and from a signal handler, also
    // before Run has started listening.
    void Stop();

private:
    void Configure(httplib::Server& server, bool stats);
    void Dispatch(const httplib::Request& request, httplib::Response& response);
    void DispatchStats(const httplib::Request& request, httplib::Response& response);
    void ServeFile(const httplib::Request& request, httplib::Response& response);
    void ServeEndlessHeaders(const httplib::Request& request, httplib::Response& response);
    void ServeAutoLogin(const httplib::Request& request, httplib::Response& response);
    void ServeControl(const httplib::Request& request, httplib::Response& response);
    void NoteRequest(const httplib::Request& request);
    bool AppendStatsLine(const std::string& value);
    void LogExchange(const char* label, const httplib::Request& request, const httplib::Response& response);
    // The faults that hit this request; counts it against times=N.
    FaultSet FaultsFor(const httplib::Request& request);

    DevServerConfig m_Config;
    std::string m_RealRoot;
    std::unique_ptr<httplib::Server> m_Main;
    std::unique_ptr<httplib::Server> m_Stats;
    int m_Port = 0;
    int m_StatsPort = 0;
    int m_StatsLog = -1;
    std::atomic<bool> m_Stopping{false};

    std::mutex m_Lock; // guards the fault set, the request record and the stats log
    FaultSet m_Faults;
    struct RecordedRequest
    {
        std::string Line;
        int Port;                                         // the client's end of the connection
        std::shared_ptr<std::atomic<uint64_t>> BodyBytes; // sent so far
    };
    std::vector<RecordedRequest> m_Requests;
};

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);

// The value of a query parameter exactly as the client sent it (still
// percent-encoded); nothing when the target's query lacks the name.
bool RawQueryValue(const std::string& target, const std::string& name, std::string& value);

// %XX sequences decoded; "+" stays "+" (it is not a space outside forms).
std::string PercentDecode(const std::string& text);
