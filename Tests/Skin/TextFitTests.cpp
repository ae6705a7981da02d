#include "EngineText.h"
#include "xTextFit.h"

#include <gtest/gtest.h>

#include <functional>

TEST(TextFit, CutsAtWholeCodePointsAndEndsInAnEllipsis)
{
    // Every code point is 10 px wide, "…" 6 px: a surrogate pair counts once,
    // and half a pair would show as a broken glyph.
    const std::function<float(const xWString&)> measure = [](const xWString& text)
    {
        float width = 0.0f;
        for (size_t i = 0; i < text.Length(); ++i)
            if (text[i] == u'\u2026')
                width += 6.0f;
            else if (text[i] < 0xDC00 || text[i] > 0xDFFF)
                width += 10.0f;
        return width;
    };
    struct Case
    {
        const char16_t* Text;
        float Width;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {u"正在更新", 40.0f, u"正在更新"},         // fits exactly
        {u"", 0.0f, u""},                          // nothing to cut
        {u"正在更新微端", 40.0f, u"正在更\u2026"}, // 36 px
        {u"正在更新微端", 35.9f, u"正在\u2026"},   // 26 px
        {u"ab\U00020000cd", 31.0f, u"ab\u2026"},   // the pair does not fit whole: it goes whole
        {u"ab\U00020000cd", 36.0f, u"ab\U00020000\u2026"},
        {u"\U00020000\U00020001", 16.0f, u"\U00020000\u2026"},
        {u"正在更新", 6.0f, u"\u2026"}, // "…" alone: no letter fits beside it
        {u"正在更新", 5.9f, u""},       // not even "…": nothing drawn rather than overflow
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(c.Text) + " in " + std::to_string(c.Width));
        const xWString fitted = FitTextToWidth(c.Text, c.Width, measure);
        EXPECT_EQ(fitted, xWString(c.Expected));
        EXPECT_LE(measure(fitted), c.Width);
    }
}
