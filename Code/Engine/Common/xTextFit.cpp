#include "xTextFit.h"

#include <cstddef>
#include <vector>

namespace
{
bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
} // namespace

xWString FitTextToWidth(const xWString& text, float maxWidth,
                        const std::function<float(const xWString&)>& measure)
{
    if (measure(text) <= maxWidth)
        return text;
    const xWString ellipsis = u"\u2026";
    if (measure(ellipsis) > maxWidth)
        return xWString();

    // The unit counts at which the text may be cut: after each whole code point.
    std::vector<size_t> cuts;
    for (size_t i = 1; i < text.Length(); ++i)
        if (!IsLowSurrogate(text[i]))
            cuts.push_back(i);

    auto withEllipsis = [&](size_t units)
    {
        xWString line(text.c_str(), units);
        line += ellipsis;
        return line;
    };
    // Widths grow with the text, so the longest start that fits is found by halving.
    size_t low = 0; // cuts[0, low) fit
    size_t high = cuts.size();
    while (low < high)
    {
        const size_t middle = low + (high - low) / 2;
        if (measure(withEllipsis(cuts[middle])) <= maxWidth)
            low = middle + 1;
        else
            high = middle;
    }
    return low == 0 ? ellipsis : withEllipsis(cuts[low - 1]);
}
