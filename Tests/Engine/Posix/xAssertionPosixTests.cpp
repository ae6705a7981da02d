#include "xAssertion.h"
#include "xDebugger.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// What a child that reports an assertion (traced by this process or not) writes
// to standard error. Its exit code: 3 when it cannot be traced here, 4 when it
// misjudged whether it is traced, 0 when it went on after the report.
std::string ChildReport(bool traced, int& exitCode)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::dup2(ends[1], 2);
        ::close(ends[0]);
        ::close(ends[1]);
        if (traced && ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(3);
        if (IsDebuggerAttached() != traced)
            ::_exit(4);
        ReportAssertion("x > 0", "main", 12, u"note %s", u"\u4E2D");
        ::_exit(0); // no leak check: it cannot run in a process that is already traced
    }
    ::close(ends[1]);
    std::string text;
    char chunk[256];
    for (ssize_t got; (got = ::read(ends[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<size_t>(got));
    ::close(ends[0]);
    int status = 0;
    exitCode =
        child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}
} // namespace

TEST(xAssertionReport, OnlyATracedProcessPrintsTheReportAndEitherGoesOn)
{
    int exitCode = -1;
    EXPECT_EQ("", ChildReport(false, exitCode)) << "nothing may be printed without a debugger";
    EXPECT_EQ(0, exitCode) << "4: a tracer was seen where there is none";
    const std::string text = ChildReport(true, exitCode);
    if (exitCode == 3)
        GTEST_SKIP() << "tracing is not permitted here";
    ASSERT_EQ(0, exitCode) << "4: the tracer was not seen; -1: the child was stopped or killed";
    EXPECT_EQ("main( 12 ): Assertion failed: x > 0\n note \xE4\xB8\xAD\n\n", text);
}
