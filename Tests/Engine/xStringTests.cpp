#include "xString.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::string Bytes(const xString& text)
{
    return std::string(text.c_str(), text.Length());
}

std::u16string Units(const xWString& text)
{
    return std::u16string(text.c_str(), text.Length());
}
} // namespace

TEST(xString, EmptyStringsShareOneTerminatorAndOwnNothing)
{
    xString narrow;
    xWString wide;
    EXPECT_EQ(narrow.c_str(), xString::SharedEmpty());
    EXPECT_EQ(wide.c_str(), xWString::SharedEmpty());
    EXPECT_FALSE(narrow.OwnsStorage());
    EXPECT_EQ(0u, narrow.Capacity());
    EXPECT_EQ(0, wide.c_str()[0]);

    xString fromEmptyText("");
    EXPECT_FALSE(fromEmptyText.OwnsStorage()) << "an empty text must not allocate";
}

TEST(xString, GrowsToEightThenDoublesAndStaysTerminated)
{
    xString text;
    text.Append('a');
    EXPECT_EQ(8u, text.Capacity());
    text.Append("bcdefgh");
    EXPECT_EQ(8u, text.Capacity());
    text.Append('i');
    EXPECT_EQ(9u, text.Capacity()) << "up to 8, the needed length is taken";
    text.Append('j');
    EXPECT_EQ(18u, text.Capacity()) << "above 8, the capacity doubles";
    text.Append(xString(std::string(40, 'x').c_str()));
    EXPECT_EQ(50u, text.Length());
    EXPECT_EQ(50u, text.Capacity()) << "a need beyond double is taken as it is";
    EXPECT_EQ(0, text.c_str()[text.Length()]);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(text.c_str()) % 16) << "storage is 16-byte aligned";
}

TEST(xString, CopiesAreDeepAndMovesLeaveTheSharedEmpty)
{
    xWString original(u"publish");
    xWString copy(original);
    copy[0] = u'P';
    EXPECT_EQ(Units(original), u"publish");
    EXPECT_EQ(Units(copy), u"Publish");

    xWString moved(std::move(copy));
    EXPECT_EQ(Units(moved), u"Publish");
    EXPECT_EQ(copy.c_str(), xWString::SharedEmpty());

    xWString assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moved.c_str(), xWString::SharedEmpty());
    EXPECT_EQ(Units(assigned), u"Publish");

    assigned = assigned; // self-assignment keeps the text
    EXPECT_EQ(Units(assigned), u"Publish");
}

TEST(xString, AppendingItsOwnTextWhileGrowingIsSafe)
{
    xString text("abcdefgh");
    text.Append(text.c_str(), text.Length());
    text.Append(text);
    EXPECT_EQ(Bytes(text), "abcdefghabcdefghabcdefghabcdefgh");
    text = text.c_str() + 8;
    EXPECT_EQ(Bytes(text), "abcdefghabcdefghabcdefgh");
}

TEST(xTextConversion, WideToUtf8EncodesEachRange)
{
    EXPECT_EQ(Bytes(WideToUtf8(u"A\u00E9\u4E2D")), "\x41\xC3\xA9\xE4\xB8\xAD");
    const char16_t nonCharacters[] = {0xFFFE, 0xFFFF, u'x', 0};
    EXPECT_EQ(Bytes(WideToUtf8(nonCharacters)), "??x");
    const char16_t withZero[] = {u'a', 0, u'b'};
    EXPECT_EQ(Bytes(WideToUtf8(withZero, 3)), "a") << "stops at an embedded zero unit";
}

TEST(xTextConversion, Utf8ToWideReplacesEveryMalformedSequenceOnce)
{
    EXPECT_EQ(Units(Utf8ToWide("\xC3\xA9\xE4\xB8\xAD")), u"\u00E9\u4E2D");
    EXPECT_EQ(Units(Utf8ToWide("a\0b", 3)), std::u16string(u"a\0b", 3)) << "zero bytes are kept";
    EXPECT_EQ(Units(Utf8ToWide("\xC0\x80")), u"?") << "overlong zero";
    EXPECT_EQ(Units(Utf8ToWide("\xE4\xB8")), u"?") << "sequence cut by the end";
    EXPECT_EQ(Units(Utf8ToWide("\xC3"
                               "A"
                               "B")),
              u"?B")
        << "the A is swallowed with the broken lead";
    EXPECT_EQ(Units(Utf8ToWide("\x80z")), u"?z") << "stray continuation";
    EXPECT_EQ(Units(Utf8ToWide("\xED\xA0\x80")), u"?") << "an encoded surrogate is not text";
    EXPECT_EQ(Units(Utf8ToWide("\xEF\xBF\xBE")), u"?") << "U+FFFE";
    EXPECT_EQ(Units(Utf8ToWide("\xF0"
                               "abc")),
              u"?abc")
        << "broken four-byte lead consumes one byte";
    EXPECT_EQ(Units(Utf8ToWide("\xF8\x88\x80\x80\x80!")), u"?!") << "five-byte form";
    EXPECT_EQ(Units(Utf8ToWide("\xFC\x84\x80\x80\x80\x80!")), u"?!") << "six-byte form";
    EXPECT_EQ(Units(Utf8ToWide("\xF0\x80\x80\x80")), u"?") << "overlong four-byte form";
}

TEST(xTextConversion, SurrogatePairsRoundTripThroughFourBytes)
{
    const char16_t clef[] = {0xD834, 0xDD1E, 0}; // U+1D11E
    const xString utf8 = WideToUtf8(clef);
    EXPECT_EQ(Bytes(utf8), "\xF0\x9D\x84\x9E");
    EXPECT_EQ(Units(Utf8ToWide(utf8)), std::u16string(clef));

    const char16_t lone[] = {u'a', 0xDC00, u'b', 0xD800, 0};
    EXPECT_EQ(Bytes(WideToUtf8(lone)), "a?b?");
}

TEST(xTextConversion, ConversionsAreInversesOverTheWholePlane)
{
    for (unsigned int unit = 1; unit <= 0xFFFD; ++unit)
    {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const char16_t text[2] = {static_cast<char16_t>(unit), 0};
        const xWString back = Utf8ToWide(WideToUtf8(text));
        ASSERT_EQ(1u, back.Length()) << "unit " << unit;
        ASSERT_EQ(unit, back[0]);
    }
}

TEST(xTextConversion, ConstructorsConvertBetweenForms)
{
    const xWString wide(xString("\xE4\xB8\xAD/b"));
    EXPECT_EQ(Units(wide), u"\u4E2D/b");
    EXPECT_EQ(Bytes(xString(wide)), "\xE4\xB8\xAD/b");
}

TEST(xTextConversion, Utf8PrefixNeverEndsInsideASequence)
{
    const char* text = "ab\xE4\xB8\xAD";
    EXPECT_EQ(5u, Utf8PrefixWithinLimit(text, 5));
    EXPECT_EQ(2u, Utf8PrefixWithinLimit(text, 4));
    EXPECT_EQ(2u, Utf8PrefixWithinLimit(text, 3));
    EXPECT_EQ(1u, Utf8PrefixWithinLimit(text, 1));
}

TEST(xStringOps, CompareNoCaseFoldsOnlyAsciiLetters)
{
    EXPECT_EQ(0, CompareNoCase(xString("MainFrame.XML"), "mainframe.xml"));
    EXPECT_EQ(-1, CompareNoCase(xString("abc"), "ABCD")) << "a proper prefix is less";
    EXPECT_EQ(1, CompareNoCase(xString("abcd"), "ABC"));
    EXPECT_EQ(1, CompareNoCase(xString("b"), "A"));
    EXPECT_NE(0, CompareNoCase(xString("\xC3\xA9"), "\xC3\x89")) << "non-ASCII letters are not folded";
    EXPECT_EQ(0, CompareNoCase(xWString(u"Publish/"), xWString(u"PUBLISH/")));
    EXPECT_NE(0, CompareNoCase(xWString(u"\u00C9"), xWString(u"\u00E9")));
    EXPECT_EQ(0, CompareNoCase(u"ABCx", u"abcy", 3)) << "only the first count units";
    EXPECT_EQ(-1, CompareNoCase(u"ab", u"abc", 3));

    xWString upper(u"ABC\u00C9\u4E2D");
    ToLowerAscii(upper);
    EXPECT_EQ(Units(upper), u"abc\u00C9\u4E2D");
}

TEST(xStringOps, FindAndSubText)
{
    const xString text("one two two");
    EXPECT_EQ(4, FindText(text, xString("two")));
    EXPECT_EQ(8, FindText(text, xString("two"), 5));
    EXPECT_EQ(-1, FindText(text, xString("three")));
    EXPECT_EQ(3, FindText(text, xString(""), 3)) << "empty needle is found at the start";
    EXPECT_EQ(11, FindText(text, xString(""), 11));
    EXPECT_EQ(-1, FindText(text, xString(""), 12));
    EXPECT_EQ(-1, FindText(text, xString("two two two")));
    EXPECT_EQ(2, FindText(xWString(u"\u4E2D\u6587x"), xWString(u"x")));

    EXPECT_EQ(Bytes(SubText(text, 4, 3)), "two");
    EXPECT_EQ(Bytes(SubText(text, 8)), "two");
    EXPECT_EQ(Bytes(SubText(text, 8, 100)), "two");
    EXPECT_EQ(Bytes(SubText(text, 11)), "");
    EXPECT_TRUE(StartsWith(text, xString("one")));
    EXPECT_TRUE(EndsWith(xWString(u"a.pkg"), xWString(u".pkg")));
    EXPECT_FALSE(EndsWith(xWString(u"g"), xWString(u".pkg")));
}

TEST(xStringOps, ReplaceAllNeverRescansInsertedText)
{
    EXPECT_EQ(Bytes(ReplaceAll(xString("aaa"), xString("a"), xString("aa"))), "aaaaaa");
    EXPECT_EQ(Bytes(ReplaceAll(xString("a\\b\\c"), xString("\\"), xString("/"))), "a/b/c");
    EXPECT_EQ(Bytes(ReplaceAll(xString("abc"), xString(""), xString("x"))), "abc");
    EXPECT_EQ(Bytes(ReplaceAll(xString("abab"), xString("ab"), xString(""))), "");
    EXPECT_EQ(Units(ReplaceAll(xWString(u"%20x%20"), xWString(u"%20"), xWString(u" "))), u" x ");
}

TEST(xStringOps, SplitTextKeepsEmptyPiecesAndAppends)
{
    std::vector<xString> pieces;
    SplitText(xString("a,,b,"), xString(","), pieces);
    ASSERT_EQ(4u, pieces.size());
    EXPECT_EQ(Bytes(pieces[0]), "a");
    EXPECT_EQ(Bytes(pieces[1]), "");
    EXPECT_EQ(Bytes(pieces[2]), "b");
    EXPECT_EQ(Bytes(pieces[3]), "");

    SplitText(xString("a--b"), xString("--"), pieces);
    ASSERT_EQ(6u, pieces.size()) << "the list is appended to, not cleared";
    EXPECT_EQ(Bytes(pieces[4]), "a");
    EXPECT_EQ(Bytes(pieces[5]), "b");

    std::vector<xWString> wide;
    SplitText(xWString(u""), xWString(u"&"), wide);
    SplitText(xWString(u"whole"), xWString(u""), wide);
    SplitText(xWString(u"whole"), xWString(u"&"), wide);
    ASSERT_EQ(3u, wide.size());
    EXPECT_EQ(Units(wide[0]), u"");
    EXPECT_EQ(Units(wide[1]), u"whole");
    EXPECT_EQ(Units(wide[2]), u"whole");
}

TEST(xStringOps, WildcardMatch)
{
    struct Case
    {
        const char16_t* Name;
        const char16_t* Mask;
        bool CaseSensitive;
        bool Expected;
    };
    const Case cases[] = {
        {u"STARTUP1.PKG", u"*.pkg", false, true},
        {u"STARTUP1.PKG", u"*.pkg", true, false},
        {u"ab", u"ab?", false, false},
        {u"abc", u"ab?", false, true},
        {u"", u"*", false, true},
        {u"", u"?", false, false},
        {u"", u"", false, true},
        {u"a", u"", false, false},
        {u"Launcher.txt", u"L*r.t?t", true, true},
        {u"Launcher.txt", u"*.*", true, true},
        {u"noext", u"*.*", true, false},
        {u"abcabd", u"*abd", true, true},
        {u"a", u"a**", true, true},
        {u"aXbXc", u"a*b*c", true, true},
        {u"aXbXd", u"a*b*c", true, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.Expected, WildcardMatch(xWString(c.Name), xWString(c.Mask), c.CaseSensitive))
            << "name '" << xString(xWString(c.Name)).c_str() << "' mask '"
            << xString(xWString(c.Mask)).c_str() << "'";
    }
}

TEST(xStringOps, WildcardMatchStaysFastOnManyStars)
{
    // A recursive matcher takes exponential time here; the greedy walk is linear.
    const xWString name(std::u16string(4000, u'a').c_str());
    const xWString mask(u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b");
    EXPECT_FALSE(WildcardMatch(name, mask, true));
}
