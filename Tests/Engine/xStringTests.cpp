#include "xString.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(xString, GrowsStaysTerminatedAndAppendsItself)
{
    xString text("abcdefghij");
    text.Append(xString(std::string(40, 'x').c_str()));
    EXPECT_EQ(50u, text.Length());
    EXPECT_GE(text.Capacity(), 50u);
    EXPECT_EQ(0, text.c_str()[text.Length()]);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(text.c_str()) % 16) << "storage is 16-byte aligned";

    // Appending its own text while growing is safe.
    xString self("abcdefgh");
    self.Append(self.c_str(), self.Length());
    self.Append(self);
    EXPECT_EQ(self, "abcdefghabcdefghabcdefghabcdefgh");
    self = self.c_str() + 8;
    EXPECT_EQ(self, "abcdefghabcdefghabcdefgh");
}

TEST(xString, EmptyStringsShareOneTerminatorCopiesAreDeepAndMovesLeaveIt)
{
    EXPECT_EQ(xString().c_str(), xString::SharedEmpty());
    EXPECT_EQ(xWString().c_str(), xWString::SharedEmpty());
    EXPECT_FALSE(xString("").OwnsStorage()) << "an empty text must not allocate";

    // Copies are deep; moves leave the shared empty behind.
    xWString original(u"publish");
    xWString copy(original);
    copy[0] = u'P';
    EXPECT_EQ(original, u"publish");
    EXPECT_EQ(copy, u"Publish");

    xWString moved(std::move(copy)), assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(copy.c_str() == xWString::SharedEmpty() && moved.c_str() == xWString::SharedEmpty());
    assigned = assigned; // self-assignment keeps the text
    EXPECT_EQ(assigned, u"Publish");
}

TEST(xTextConversion, WideToUtf8EncodesEachRangeAndSurrogatePairs)
{
    EXPECT_EQ(WideToUtf8(u"A\u00E9\u4E2D"), "\x41\xC3\xA9\xE4\xB8\xAD");
    const char16_t nonCharacters[] = {0xFFFE, 0xFFFF, u'x', 0};
    EXPECT_EQ(WideToUtf8(nonCharacters), "??x");
    const char16_t withZero[] = {u'a', 0, u'b'};
    EXPECT_EQ(WideToUtf8(withZero, 3), "a") << "stops at an embedded zero unit";

    const char16_t clef[] = {0xD834, 0xDD1E, 0}; // U+1D11E
    EXPECT_EQ(WideToUtf8(clef), "\xF0\x9D\x84\x9E");
    EXPECT_EQ(Utf8ToWide("\xF0\x9D\x84\x9E"), clef);
    const char16_t lone[] = {u'a', 0xDC00, u'b', 0xD800, 0};
    EXPECT_EQ(WideToUtf8(lone), "a?b?");
}

TEST(xTextConversion, Utf8ToWideReplacesEveryMalformedSequenceOnce)
{
    EXPECT_EQ(Utf8ToWide("\xC3\xA9\xE4\xB8\xAD"), u"\u00E9\u4E2D");
    EXPECT_EQ(Utf8ToWide("a\0b", 3), xWString(u"a\0b", 3)) << "zero bytes are kept";
    const std::pair<const char*, const char16_t*> malformed[] = {
        {"\xC0\x80", u"?"},                   // overlong zero
        {"\xE4\xB8", u"?"},                   // sequence cut by the end
        {"\xC3\x41\x42", u"?B"},              // the A is swallowed with the broken lead
        {"\x80z", u"?z"},                     // stray continuation
        {"\xED\xA0\x80", u"?"},               // an encoded surrogate is not text
        {"\xEF\xBF\xBE", u"?"},               // U+FFFE
        {"\xF0\x61\x62\x63", u"?abc"},        // a broken four-byte lead consumes one byte
        {"\xF8\x88\x80\x80\x80!", u"?!"},     // five-byte form
        {"\xFC\x84\x80\x80\x80\x80!", u"?!"}, // six-byte form
        {"\xF0\x80\x80\x80", u"?"},           // overlong four-byte form
    };
    for (const auto& c : malformed)
        EXPECT_EQ(Utf8ToWide(c.first), c.second) << "case " << &c - malformed;
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
    const xWString wide(xString("\xE4\xB8\xAD/b"));
    EXPECT_EQ(wide, u"\u4E2D/b") << "the constructors convert too";
    EXPECT_EQ(xString(wide), "\xE4\xB8\xAD/b");
}

TEST(xTextConversion, Utf8PrefixNeverEndsInsideASequence)
{
    const char* text = "ab\xE4\xB8\xAD";
    for (const auto& [limit, prefix] :
         {std::pair{5u, 5u}, std::pair{4u, 2u}, std::pair{3u, 2u}, std::pair{1u, 1u}})
        EXPECT_EQ(size_t(prefix), Utf8PrefixWithinLimit(text, limit)) << limit;
}

TEST(xStringOps, CompareNoCaseFoldsOnlyAsciiLetters)
{
    EXPECT_EQ(0, CompareNoCase(xString("MainFrame.XML"), "mainframe.xml"));
    EXPECT_EQ(-1, CompareNoCase(xString("abc"), "ABCD")) << "a proper prefix is less";
    EXPECT_EQ(1, CompareNoCase(xString("b"), "A"));
    EXPECT_NE(0, CompareNoCase(xString("\xC3\xA9"), "\xC3\x89")) << "non-ASCII letters are not folded";
    EXPECT_NE(0, CompareNoCase(xWString(u"\u00C9"), xWString(u"\u00E9")));
    EXPECT_EQ(0, CompareNoCase(u"ABCx", u"abcy", 3)) << "only the first count units";
    EXPECT_EQ(-1, CompareNoCase(u"ab", u"abc", 3));

    xWString upper(u"ABC\u00C9\u4E2D");
    ToLowerAscii(upper);
    EXPECT_EQ(upper, u"abc\u00C9\u4E2D");
}

TEST(xStringOps, FindAndSubText)
{
    const xString text("one two two");
    EXPECT_EQ(4, FindText(text, xString("two")));
    EXPECT_EQ(8, FindText(text, xString("two"), 5));
    EXPECT_EQ(-1, FindText(text, xString("three")));
    EXPECT_EQ(3, FindText(text, xString(""), 3)) << "empty needle is found at the start";
    EXPECT_EQ(-1, FindText(text, xString(""), 12));
    EXPECT_EQ(2, FindText(xWString(u"\u4E2D\u6587x"), xWString(u"x")));

    EXPECT_EQ(SubText(text, 4, 3), "two");
    EXPECT_EQ(SubText(text, 8, 100), "two");
    EXPECT_EQ(SubText(text, 11), "");
    EXPECT_TRUE(StartsWith(text, xString("one")) && EndsWith(xWString(u"a.pkg"), xWString(u".pkg")));
    EXPECT_FALSE(EndsWith(xWString(u"g"), xWString(u".pkg")));
}

TEST(xStringOps, ReplaceAllNeverRescansAndSplitTextKeepsEmptyPieces)
{
    EXPECT_EQ(ReplaceAll(xString("aaa"), xString("a"), xString("aa")), "aaaaaa");
    EXPECT_EQ(ReplaceAll(xString("abc"), xString(""), xString("x")), "abc");
    EXPECT_EQ(ReplaceAll(xString("abab"), xString("ab"), xString("")), "");

    // SplitText keeps empty pieces and appends to the list.
    std::vector<xString> pieces;
    SplitText(xString("a,,b,"), xString(","), pieces);
    EXPECT_EQ(pieces, (std::vector<xString>{"a", "", "b", ""}));
    SplitText(xString("a--b"), xString("--"), pieces);
    EXPECT_EQ(pieces, (std::vector<xString>{"a", "", "b", "", "a", "b"}))
        << "the list is appended to, not cleared";

    std::vector<xWString> wide;
    SplitText(xWString(u""), xWString(u"&"), wide);
    SplitText(xWString(u"whole"), xWString(u""), wide);
    SplitText(xWString(u"whole"), xWString(u"&"), wide);
    EXPECT_EQ(wide, (std::vector<xWString>{u"", u"whole", u"whole"}));
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
    const Case cases[] = {{u"STARTUP1.PKG", u"*.pkg", false, true},
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
                          {u"aXbXd", u"a*b*c", true, false}};
    for (const Case& c : cases)
        EXPECT_EQ(c.Expected, WildcardMatch(c.Name, c.Mask, c.CaseSensitive))
            << "name '" << Narrow(c.Name) << "' mask '" << Narrow(c.Mask) << "'";

    // A recursive matcher takes exponential time here; the greedy walk is linear.
    const xWString name(std::u16string(4000, u'a').c_str());
    EXPECT_FALSE(WildcardMatch(name, u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", true));
}
