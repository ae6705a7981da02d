#include "xAssertion.h"
#include "xDebugger.h"
#include "xString.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

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
    EXPECT_EQ(Header + u"\n " + emoji.substr(0, NoteRoom - 1) + u"\n",
              Report("x > 0", "main", 12, emoji.c_str()));
}

TEST(xAssertionReport, WithoutADebuggerTheCallerGoesOnAndEachExpressionIsEvaluatedOnce)
{
    if (IsDebuggerAttached())
        GTEST_SKIP() << "under a debugger the report is shown";
    // On Windows a message box would block the run here until it timed out.
    int evaluations = 0;
    ReportAssertion("x > 0", "main", 12, u"note %i", 3);
    xAssert(++evaluations == 1);
    xAssert(++evaluations == 100);
    EXPECT_EQ(2, evaluations);
}
