#include "xAssertion.h"
#include "xDebugger.h"
#include "xString.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#if !defined(_WIN32)
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
std::u16string Report(const char* expression, const char* sourcePath, int line, const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const xWString report = BuildAssertionReport(expression, sourcePath, line, format, arguments);
    va_end(arguments);
    return std::u16string(report.c_str(), report.Length());
}

// Every high surrogate followed by a low one, and no low one on its own.
bool IsWellFormedUtf16(const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
    {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool nextLow = i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (high && !nextLow)
            return false;
        if (!high && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            return false;
        i += high ? 1 : 0;
    }
    return true;
}

const std::u16string Header = u"main( 12 ): Assertion failed: x > 0";
// Room for the note once the header, "\n " and the closing "\n" are in.
const size_t NoteRoom = AssertionBufferSize - 1 - Header.size() - 3;
} // namespace

TEST(xAssertionReport, Texts)
{
    EXPECT_EQ(Header, Report("x > 0", "main", 12, nullptr));
    EXPECT_EQ(u"..\\..\\Code\\Engine\\Common\\Windows\\xAppWindowWindows( 291 ): Assertion failed: "
              u"::SetWindowRgn( HWnd, Region, false )",
              Report("::SetWindowRgn( HWnd, Region, false )",
                     "..\\..\\Code\\Engine\\Common\\Windows\\xAppWindowWindows", 291, nullptr));
    EXPECT_EQ(Header + u"\n value 7 of count\n", Report("x > 0", "main", 12, u"value %i of %s", 7, u"count"));
    EXPECT_EQ(Header + u"\n \n", Report("x > 0", "main", 12, u"")) << "an empty note keeps its line";
    EXPECT_EQ(u"f( -1 ): Assertion failed: ", Report(nullptr, "f", -1, nullptr));
    // Narrow texts are UTF-8: 引擎 and an emoji in the path, ≥ in the expression.
    EXPECT_EQ(u"C/\u5F15\u64CE/\U0001F600( 3 ): Assertion failed: a \u2265 b",
              Report("a \xE2\x89\xA5 b", "C/\xE5\xBC\x95\xE6\x93\x8E/\xF0\x9F\x98\x80", 3, nullptr));
}

TEST(xAssertionReport, LongNoteIsCutToTheBufferBetweenWholeCharacters)
{
    const std::u16string plain(3000, u'n');
    EXPECT_EQ(Header + u"\n " + std::u16string(NoteRoom, u'n') + u"\n",
              Report("x > 0", "main", 12, plain.c_str()));

    std::u16string emoji;
    for (int i = 0; i < 1500; ++i)
        emoji += u"\U0001F600";
    // The room is odd, so a plain cut would end on the first half of a pair.
    ASSERT_EQ(1u, NoteRoom % 2);
    const std::u16string report = Report("x > 0", "main", 12, emoji.c_str());
    EXPECT_EQ(Header + u"\n " + emoji.substr(0, NoteRoom - 1) + u"\n", report);
    EXPECT_TRUE(IsWellFormedUtf16(report));
}

TEST(xAssertionReport, WithoutADebuggerNothingIsShownAndTheCallerGoesOn)
{
    if (IsDebuggerAttached())
        GTEST_SKIP() << "under a debugger the report is shown";
    int evaluations = 0;
#if !defined(_WIN32)
    char path[] = "/tmp/xAssertionTests-XXXXXX";
    const int file = ::mkstemp(path);
    const int saved = ::dup(2);
    ::dup2(file, 2);
#endif
    // On Windows a message box would block the run here until it timed out.
    ReportAssertion("x > 0", "main", 12, u"note %i", 3);
    xAssert(++evaluations == 1);
    xAssert(++evaluations == 100);
#if !defined(_WIN32)
    ::dup2(saved, 2);
    ::close(saved);
    EXPECT_EQ(0, ::lseek(file, 0, SEEK_END)) << "nothing may be printed";
    ::close(file);
    ::unlink(path);
#endif
    EXPECT_EQ(2, evaluations) << "each expression is evaluated once";
}

#if !defined(_WIN32)
TEST(xAssertionReport, TracedProcessPrintsTheReportAndGoesOn)
{
    int ends[2];
    ASSERT_EQ(0, ::pipe(ends));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        ::dup2(ends[1], 2);
        ::close(ends[0]);
        ::close(ends[1]);
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(3);
        if (!IsDebuggerAttached())
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
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "the child was stopped or killed: " << status;
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "tracing is not permitted here";
    ASSERT_EQ(0, WEXITSTATUS(status)) << "4: the tracer was not seen";
    EXPECT_EQ("main( 12 ): Assertion failed: x > 0\n note \xE4\xB8\xAD\n\n", text);
}
#endif
