#include "xStringOps.h"

namespace
{
template <typename CharT> unsigned int FoldAscii(CharT character)
{
    const unsigned int value = static_cast<std::make_unsigned_t<CharT>>(character);
    if (value >= 'A' && value <= 'Z')
        return value + ('a' - 'A');
    return value;
}

template <typename CharT>
int CompareFolded(const CharT* left, size_t leftLength, const CharT* right, size_t rightLength)
{
    const size_t common = leftLength < rightLength ? leftLength : rightLength;
    for (size_t i = 0; i < common; ++i)
    {
        const unsigned int a = FoldAscii(left[i]);
        const unsigned int b = FoldAscii(right[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (leftLength == rightLength)
        return 0;
    return leftLength < rightLength ? -1 : 1;
}

template <typename CharT> void LowerInPlace(xStringBase<CharT>& text)
{
    CharT* data = text.Data();
    for (size_t i = 0; i < text.Length(); ++i)
        data[i] = static_cast<CharT>(FoldAscii(data[i]));
}

template <typename CharT>
ptrdiff_t FindIn(const xStringBase<CharT>& text, const xStringBase<CharT>& needle, size_t start)
{
    const size_t length = text.Length();
    const size_t needleLength = needle.Length();
    if (start > length || needleLength > length - start)
        return -1;
    for (size_t i = start; i + needleLength <= length; ++i)
    {
        size_t matched = 0;
        while (matched < needleLength && text[i + matched] == needle[matched])
            ++matched;
        if (matched == needleLength)
            return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

template <typename CharT>
xStringBase<CharT> SubOf(const xStringBase<CharT>& text, size_t position, size_t count)
{
    if (position >= text.Length())
        return {};
    const size_t rest = text.Length() - position;
    return xStringBase<CharT>(text.c_str() + position, count < rest ? count : rest);
}

template <typename CharT>
xStringBase<CharT> ReplaceIn(const xStringBase<CharT>& source, const xStringBase<CharT>& pattern,
                             const xStringBase<CharT>& replacement)
{
    if (pattern.IsEmpty())
        return source;
    xStringBase<CharT> result;
    size_t position = 0;
    for (;;)
    {
        const ptrdiff_t found = FindIn(source, pattern, position);
        if (found < 0)
            break;
        result.Append(source.c_str() + position, static_cast<size_t>(found) - position);
        result.Append(replacement);
        position = static_cast<size_t>(found) + pattern.Length();
    }
    result.Append(source.c_str() + position, source.Length() - position);
    return result;
}

template <typename CharT>
void SplitInto(const xStringBase<CharT>& source, const xStringBase<CharT>& separator,
               std::vector<xStringBase<CharT>>& pieces)
{
    if (separator.IsEmpty())
    {
        pieces.push_back(source);
        return;
    }
    size_t position = 0;
    for (;;)
    {
        const ptrdiff_t found = FindIn(source, separator, position);
        if (found < 0)
            break;
        pieces.emplace_back(source.c_str() + position, static_cast<size_t>(found) - position);
        position = static_cast<size_t>(found) + separator.Length();
    }
    pieces.emplace_back(source.c_str() + position, source.Length() - position);
}

template <typename CharT>
bool StartsWithText(const xStringBase<CharT>& text, const xStringBase<CharT>& prefix)
{
    return prefix.Length() <= text.Length() && FindIn(text, prefix, 0) == 0;
}

template <typename CharT> bool EndsWithText(const xStringBase<CharT>& text, const xStringBase<CharT>& suffix)
{
    if (suffix.Length() > text.Length())
        return false;
    const size_t start = text.Length() - suffix.Length();
    for (size_t i = 0; i < suffix.Length(); ++i)
    {
        if (text[start + i] != suffix[i])
            return false;
    }
    return true;
}
} // namespace

int CompareNoCase(const xString& left, const char* right)
{
    const char* other = right ? right : "";
    return CompareFolded(left.c_str(), left.Length(), other, TextLength(other));
}

int CompareNoCase(const char16_t* left, const char16_t* right, size_t count)
{
    size_t leftLength = 0;
    while (leftLength < count && left[leftLength] != 0)
        ++leftLength;
    size_t rightLength = 0;
    while (rightLength < count && right[rightLength] != 0)
        ++rightLength;
    return CompareFolded(left, leftLength, right, rightLength);
}

int CompareNoCase(const xWString& left, const xWString& right)
{
    return CompareFolded(left.c_str(), left.Length(), right.c_str(), right.Length());
}

bool EqualsNoCase(const xString& left, const char* right)
{
    return CompareNoCase(left, right) == 0;
}

bool EqualsNoCase(const xWString& left, const xWString& right)
{
    return CompareNoCase(left, right) == 0;
}

void ToLowerAscii(xWString& text)
{
    LowerInPlace(text);
}

void ToLowerAscii(xString& text)
{
    LowerInPlace(text);
}

ptrdiff_t FindText(const xString& text, const xString& needle, size_t start)
{
    return FindIn(text, needle, start);
}

ptrdiff_t FindText(const xWString& text, const xWString& needle, size_t start)
{
    return FindIn(text, needle, start);
}

bool StartsWith(const xString& text, const xString& prefix)
{
    return StartsWithText(text, prefix);
}

bool StartsWith(const xWString& text, const xWString& prefix)
{
    return StartsWithText(text, prefix);
}

bool EndsWith(const xString& text, const xString& suffix)
{
    return EndsWithText(text, suffix);
}

bool EndsWith(const xWString& text, const xWString& suffix)
{
    return EndsWithText(text, suffix);
}

xString SubText(const xString& text, size_t position, size_t count)
{
    return SubOf(text, position, count);
}

xWString SubText(const xWString& text, size_t position, size_t count)
{
    return SubOf(text, position, count);
}

xString ReplaceAll(const xString& source, const xString& pattern, const xString& replacement)
{
    return ReplaceIn(source, pattern, replacement);
}

xWString ReplaceAll(const xWString& source, const xWString& pattern, const xWString& replacement)
{
    return ReplaceIn(source, pattern, replacement);
}

void SplitText(const xString& source, const xString& separator, std::vector<xString>& pieces)
{
    SplitInto(source, separator, pieces);
}

void SplitText(const xWString& source, const xWString& separator, std::vector<xWString>& pieces)
{
    SplitInto(source, separator, pieces);
}

bool WildcardMatch(const xWString& name, const xWString& mask, bool caseSensitive)
{
    // Greedy walk with one remembered star: linear in practice and, unlike plain
    // recursion, never exponential on masks with many stars.
    auto same = [caseSensitive](char16_t a, char16_t b)
    { return caseSensitive ? a == b : FoldAscii(a) == FoldAscii(b); };
    size_t n = 0, m = 0;
    size_t starMask = WholeRest, starName = 0;
    while (n < name.Length())
    {
        if (m < mask.Length() && mask[m] == u'*')
        {
            starMask = m++;
            starName = n;
            continue;
        }
        if (m < mask.Length() && (mask[m] == u'?' || same(mask[m], name[n])))
        {
            ++m;
            ++n;
            continue;
        }
        if (starMask == WholeRest)
            return false;
        m = starMask + 1;
        n = ++starName;
    }
    while (m < mask.Length() && mask[m] == u'*')
        ++m;
    return m == mask.Length();
}
