#include "xPath.h"

#include <string>

namespace
{
template <typename CharT> bool IsSeparator(CharT c)
{
    return c == CharT('/') || c == CharT('\\');
}

template <typename CharT> xStringBase<CharT> MakeText(const std::basic_string<CharT>& text)
{
    return xStringBase<CharT>(text.data(), text.size());
}

template <typename CharT> xStringBase<CharT> ForwardSlashes(const xStringBase<CharT>& path)
{
    xStringBase<CharT> result(path);
    CharT* data = result.Data();
    for (size_t i = 0; i < result.Length(); ++i)
    {
        if (data[i] == CharT('\\'))
            data[i] = CharT('/');
    }
    return result;
}

template <typename CharT> xStringBase<CharT> DirectoryForm(const xStringBase<CharT>& path)
{
    xStringBase<CharT> result = ForwardSlashes(path);
    if (result.Last() != CharT('/'))
        result.Append(CharT('/'));
    return result;
}

template <typename CharT>
bool StartsWithAt(const std::basic_string<CharT>& text, size_t at, const char* ascii)
{
    for (size_t i = 0; ascii[i] != 0; ++i)
    {
        if (at + i >= text.size() || text[at + i] != CharT(ascii[i]))
            return false;
    }
    return true;
}

template <typename CharT> xStringBase<CharT> Normalise(const xStringBase<CharT>& path)
{
    const CharT slash = CharT('/');
    const CharT dot = CharT('.');

    // Runs of "/" become one, which is what replacing "//" until none is left gives.
    std::basic_string<CharT> text;
    text.reserve(path.Length());
    for (size_t i = 0; i < path.Length(); ++i)
    {
        if (path[i] == slash && !text.empty() && text.back() == slash)
            continue;
        text.push_back(path[i]);
    }

    const std::basic_string<CharT> climb{slash, dot, dot};
    while (!text.empty())
    {
        if (StartsWithAt(text, 0, "..") || StartsWithAt(text, 0, "/.."))
            return {};
        // Only a whole ".." component climbs: a name such as "..data" is a name, and
        // taking it for a climb would lead a path built from a listing out of its folder.
        size_t up = text.find(climb);
        while (up != std::basic_string<CharT>::npos && up + 3 < text.size() && text[up + 3] != slash)
            up = text.find(climb, up + 1);
        if (up == std::basic_string<CharT>::npos)
            break;

        // The component to drop is the nearest one before the climb that is
        // neither empty nor ".": "a/./.." climbs out of "a", not out of ".".
        size_t componentEnd = up;
        size_t start = 0;
        for (;;)
        {
            if (componentEnd == 0)
                return {};
            const size_t found = text.rfind(slash, componentEnd - 1);
            if (found == std::basic_string<CharT>::npos)
                return {}; // nothing above the first component to climb into
            const size_t length = componentEnd - found - 1;
            const bool isDot = length == 1 && text[found + 1] == dot;
            if (length != 0 && !isDot)
            {
                start = found;
                break;
            }
            componentEnd = found;
        }
        // A drive is the top: "C:/.." or "/C:/.." has nowhere to go.
        const size_t colon = text.find(CharT(':'), start);
        if (colon != std::basic_string<CharT>::npos && colon < up)
            return {};
        text.erase(start, up + climb.size() - start);
    }

    // "." components removed in one pass from left to right; a name that merely
    // ends with a dot ("v1./") keeps it.
    std::basic_string<CharT> result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == dot && i + 1 < text.size() && text[i + 1] == slash && (i == 0 || text[i - 1] == slash))
        {
            ++i;
            continue;
        }
        result.push_back(text[i]);
    }
    // Dropping a leading "./" can bring a ".." to the front ("./..x"); that is
    // still a path that starts by climbing.
    if (StartsWithAt(result, 0, "..") || StartsWithAt(result, 0, "/.."))
        return {};
    return MakeText(result);
}

template <typename CharT>
xStringBase<CharT> Join(const xStringBase<CharT>& folder, const xStringBase<CharT>& name)
{
    xStringBase<CharT> joined(folder);
    joined.Append(CharT('/'));
    joined.Append(name);
    return Normalise(joined);
}

template <typename CharT> xStringBase<CharT> Parent(const xStringBase<CharT>& path)
{
    for (size_t i = path.Length(); i > 0; --i)
    {
        const CharT c = path[i - 1];
        if (IsSeparator(c) || c == CharT(':'))
            return xStringBase<CharT>(path.c_str(), i);
    }
    return {};
}

template <typename CharT> xStringBase<CharT> FileName(const xStringBase<CharT>& path)
{
    size_t end = path.Length();
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    size_t start = end;
    while (start > 0 && !IsSeparator(path[start - 1]))
        --start;
    if (start == 0)
        return {};
    return xStringBase<CharT>(path.c_str() + start, end - start);
}

template <typename CharT> xPathPartsBase<CharT> Split(const xStringBase<CharT>& path)
{
    size_t nameStart = path.Length();
    while (nameStart > 0 && !IsSeparator(path[nameStart - 1]))
        --nameStart;
    size_t dotAt = path.Length();
    for (size_t i = path.Length(); i > nameStart; --i)
    {
        if (path[i - 1] == CharT('.'))
        {
            dotAt = i - 1;
            break;
        }
    }
    xPathPartsBase<CharT> parts;
    parts.Directory = xStringBase<CharT>(path.c_str(), nameStart);
    parts.Stem = xStringBase<CharT>(path.c_str() + nameStart, dotAt - nameStart);
    parts.Extension = xStringBase<CharT>(path.c_str() + dotAt, path.Length() - dotAt);
    return parts;
}

template <typename CharT> xStringBase<CharT> WithoutExtension(const xStringBase<CharT>& path)
{
    const xPathPartsBase<CharT> parts = Split(path);
    if (parts.Extension.IsEmpty())
        return {};
    return xStringBase<CharT>(path.c_str(), path.Length() - parts.Extension.Length());
}
} // namespace

xWString ToForwardSlashes(const xWString& path)
{
    return ForwardSlashes(path);
}

xString ToForwardSlashes(const xString& path)
{
    return ForwardSlashes(path);
}

xWString AsDirectoryPath(const xWString& path)
{
    return DirectoryForm(path);
}

xString AsDirectoryPath(const xString& path)
{
    return DirectoryForm(path);
}

xWString NormalisePath(const xWString& path)
{
    return Normalise(path);
}

xString NormalisePath(const xString& path)
{
    return Normalise(path);
}

xWString JoinPath(const xWString& folder, const xWString& name)
{
    return Join(folder, name);
}

xString JoinPath(const xString& folder, const xString& name)
{
    return Join(folder, name);
}

xWString GetParentPath(const xWString& path)
{
    return Parent(path);
}

xString GetParentPath(const xString& path)
{
    return Parent(path);
}

xWString GetFileName(const xWString& path)
{
    return FileName(path);
}

xString GetFileName(const xString& path)
{
    return FileName(path);
}

xWString GetExtension(const xWString& path)
{
    return Split(path).Extension;
}

xString GetExtension(const xString& path)
{
    return Split(path).Extension;
}

xWString RemoveExtension(const xWString& path)
{
    return WithoutExtension(path);
}

xString RemoveExtension(const xString& path)
{
    return WithoutExtension(path);
}

xPathParts SplitPath(const xWString& path)
{
    return Split(path);
}

xPathPartsUtf8 SplitPath(const xString& path)
{
    return Split(path);
}

xWString GetFileStem(const xWString& path)
{
    return Split(path).Stem;
}

xString GetFileStem(const xString& path)
{
    return Split(path).Stem;
}
