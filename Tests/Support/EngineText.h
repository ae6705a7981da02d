#pragma once

#include "xString.h"

#include <filesystem>
#include <ostream>
#include <string>

// Between the engine's strings and the standard library's, for messages and checks.

// GoogleTest prints the engine's strings as text (UTF-8) in failure messages.
inline void PrintTo(const xString& text, std::ostream* out)
{
    *out << '"' << text.c_str() << '"';
}
inline void PrintTo(const xWString& text, std::ostream* out)
{
    *out << "u\"" << xString(text).c_str() << '"';
}

inline std::string Narrow(const xWString& text)
{
    return xString(text).c_str();
}

// A standard path in "/" form as the engine's text.
inline xWString Wide(const std::filesystem::path& path)
{
    const std::u16string text = path.generic_u16string();
    return xWString(text.c_str(), text.size());
}

inline std::filesystem::path FsPath(const xWString& path)
{
    return std::filesystem::path(std::u16string(path.c_str(), path.Length()));
}
