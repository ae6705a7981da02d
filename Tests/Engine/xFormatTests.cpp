#include "xFormat.h"
#include "xString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
std::u16string Text(const char16_t* buffer)
{
    return std::u16string(buffer);
}

// What a format makes with room to spare.
template <typename... Arguments> std::u16string Format(const char16_t* format, Arguments... arguments)
{
    char16_t buffer[128];
    swprintf_Replacement(buffer, 128, format, arguments...);
    return buffer;
}
} // namespace

// The assertion report's shape, and the length a format returns, are xAssertionReport's checks.
TEST(xFormat, TextConversionsPadButNeverCut)
{
    EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
    EXPECT_EQ(Format(u"[%5s]", u"ab"), u"[   ab]");
    EXPECT_EQ(Format(u"[%-5s]", u"ab"), u"[ab   ]");
    EXPECT_EQ(Format(u"[%.1s]", u"ab"), u"[ab]") << "precision never truncates text";
    EXPECT_EQ(Format(u"[%ls|%c|%%]", u"\u4E2D", 0x10041), u"[\u4E2D|A|%]") << "%c keeps the low 16 bits";
}

TEST(xFormat, NumbersGoThroughTheCLibrary)
{
    EXPECT_EQ(Format(u"%d %5i %-4u| %x %X %05d", -7, 42, 3u, 255, 255, 12), u"-7    42 3   | ff FF 00012");
    EXPECT_EQ(Format(u"%lld %llu %I64d", -5000000000LL, 6000000000ULL, 7000000000LL),
              u"-5000000000 6000000000 7000000000");
    EXPECT_EQ(Format(u"%.2f %g %e", 2.5, 0.5, 1.0), u"2.50 0.5 1.000000e+00");
    EXPECT_EQ(Format(u"% d", 5), u"  5") << "the blank is written and also reaches the C library";
    // A number's text has 29 characters of room: one as long as the buffer is refused, not cut.
    EXPECT_EQ(Format(u"[%29d]", 5), u"[" + std::u16string(28, u' ') + u"5]");
    EXPECT_EQ(Format(u"[%30d]", 5), u"[]");
}

TEST(xFormat, UnknownConversionsAreReportedAndConsumeNoArgument)
{
    char16_t buffer[64];
    testing::internal::CaptureStdout();
    swprintf_Replacement(buffer, 64, u"%ld|%s", u"next");
    const std::string diagnostic = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Text(buffer), u"d|next");
    EXPECT_EQ(diagnostic, "Unknown percent [ld|] in vswprintf_Replacement() [%ld|%s]\n.");

    testing::internal::CaptureStdout();
    swprintf_Replacement(buffer, 64, u"a%qb");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown percent [113] in vswprintf_Replacement().\n");
    EXPECT_EQ(Text(buffer), u"ab");
}

// Which whole pieces a cut keeps, surrogate pairs and narrow cuts included, is FuzzFormat's check;
// here the named cases it grew from.
TEST(xFormat, OutputIsCutAndTerminated)
{
    char16_t small[8];
    EXPECT_EQ(-1, swprintf_Replacement(small, 8, u"ab%s", u"123456789"));
    EXPECT_EQ(Text(small), u"ab") << "a piece that does not fit is not written";

    char16_t filled[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(0, swprintf_Replacement(filled, 4, nullptr));
    EXPECT_EQ(0, filled[0]);

    // Blanks after "%" obey the limit too, and so does what follows them when they fill the output.
    for (const char16_t* format : {u"ab%      d", u"ab% %", u"ab% c"})
    {
        char16_t guarded[6] = {1, 1, 1, 1, 0x7777, 0x7777};
        EXPECT_EQ(-1, swprintf_Replacement(guarded, 4, format, 'z')) << xString(xWString(format)).c_str();
        EXPECT_EQ(Text(guarded), u"ab ");
        EXPECT_EQ(0x7777, guarded[4]) << "written past the capacity";
    }

    char16_t roomy[64];
    EXPECT_EQ(-1, swprintf_Replacement(roomy, 64, u"x%000000000000000000000000000000001d", 5));
    EXPECT_EQ(Text(roomy), u"x") << "an overlong directive is refused";
}
