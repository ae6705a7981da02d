#include "StepReport.h"
#include "LaunchState.h"

#include "InternetSessions.h"

#include "xHttp.h"
#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"
#include "xTask.h"
#include "xWorkerPool.h"

#include <cstdio>
#include <ctime>
#include <memory>

std::set<xString> ReportedSteps;

namespace
{
const char StatisticsPath[] = "/plugin_watch.htm?data=";

// Bytes that would break the request line or end the query early. The endpoint
// reads ":" and "," as escaped below and everything else as sent, so only these
// are escaped on top.
bool BreaksQuery(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F || c == '#' || c == '"' || c == '<' || c == '>';
}

xString EscapeForQuery(const xString& data)
{
    static const char hex[] = "0123456789abcdef";
    xString escaped;
    for (char c : data)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte == ':')
            escaped.Append("%3a");
        else if (byte == ',')
            escaped.Append("%2c");
        else if (BreaksQuery(byte))
        {
            const char encoded[3] = {'%', hex[byte >> 4], hex[byte & 0x0F]};
            escaped.Append(encoded, 3);
        }
        else
            escaped.Append(c);
    }
    return escaped;
}

class StepReportTask : public xTask
{
public:
    StepReportTask(const xString& code, const LaunchValueMap& values, const xString& host, uint16_t port)
        : Code(code), Values(values), Host(host), Port(port)
    {
    }
    void Execute() override { SendStepReport(Host, Port, Values, Code); }

private:
    xString Code;
    // Taken on the main thread when the report was asked for, so the worker
    // never reads the map while a later login adds to it.
    LaunchValueMap Values;
    xString Host;
    uint16_t Port;
};
} // namespace

xString StepReportData(const LaunchValueMap& values, const xString& code, int64_t now)
{
    xWString data;
    for (const auto& [key, value] : values)
    {
        data += key;
        data += u":";
        if (key == u"time")
        {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%lld", static_cast<long long>(now));
            data += Utf8ToWide(seconds);
        }
        else
            data += value;
        data += u",";
    }
    data += u"step:";
    data += xWString(code);
    return EscapeForQuery(xString(data));
}

void ReportStepOn(const char* code, LaunchState& state, xWorkerPool* pool, const xString& host, uint16_t port)
{
    if (!state.LaunchParamParsed)
        return;
    const xString step(code);
    if (!ReportedSteps.insert(step).second)
        return;
    if (!pool)
        return;
    // Tasks stay in the pool's completed list for the life of the process.
    pool->Enqueue(new StepReportTask(step, state.LaunchValues, host, port));
}

void SendStepReport(const xString& host, uint16_t port, const LaunchValueMap& values, const xString& code)
{
    const std::time_t now = std::time(nullptr);
    const xString path = xString(StatisticsPath) + StepReportData(values, code, static_cast<int64_t>(now));
    char portText[8];
    std::snprintf(portText, sizeof portText, "%u", static_cast<unsigned>(port));
    LogLine("stat step url: http://%s:%s%s", host.c_str(), portText, path.c_str());

    xHttpSession* session = InternetSession();
    if (!session)
        return;
    std::unique_ptr<xHttpConnection> connection = session->Connect(host.c_str(), port);
    if (!connection)
        return;
    std::unique_ptr<xHttpRequest> request = connection->OpenRequest(
        "GET", path.c_str(), "HTTP/1.1", nullptr, xHttpFlagNoCacheWrite | xHttpFlagPragmaNoCache);
    if (request)
        request->Send(nullptr);
}
