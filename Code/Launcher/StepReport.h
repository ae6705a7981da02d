#pragma once

#include "xString.h"

#include <cstdint>
#include <map>
#include <set>

class xWorkerPool;
struct LaunchState;

// Milestones of the run ("1002" login accepted, "1004"-"1013" download tenths,
// "1013" done, "1014" game started) go once per process to the statistics
// endpoint, as one GET sent by the background pool; the answer is ignored.

using LaunchValueMap = std::map<xWString, xWString>;

// Codes already asked for (main thread only); only grows.
extern std::set<xString> ReportedSteps;

// Queues the report of `code` on `pool` with a snapshot of the launch values,
// unless no launch parameter was parsed yet or the code went before. A missing
// pool drops the report (the code still counts as reported).
void ReportStepOn(const char* code, LaunchState& state, xWorkerPool* pool, const xString& host,
                  uint16_t port);

// The query data: every launch value as key:value ("time" as the current Unix
// seconds), then step:code, with ":" and "," escaped.
xString StepReportData(const LaunchValueMap& values, const xString& code, int64_t now);

// Sends the report: GET http://host:port/plugin_watch.htm?data=... (worker thread).
void SendStepReport(const xString& host, uint16_t port, const LaunchValueMap& values, const xString& code);
