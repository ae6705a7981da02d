#pragma once

#include "xString.h"

#include <cstdint>
#include <vector>

// A process command line split into tokens: options ("-x"), plain words and
// quoted texts. Quotes group but cannot be escaped, as on the Windows command line.
class xCommandLine
{
public:
    enum TokenKind : uint32_t
    {
        Option = 1,
        Plain = 2,
        Quoted = 3,
    };

    xCommandLine(const xWString& line, bool skipProgramName);

    size_t ArgumentCount() const { return Kinds.size(); }
    // The i-th token's text, or the empty text when i is out of range.
    xWString Argument(size_t index) const;
    TokenKind Kind(size_t index) const { return Kinds[index]; }
    const std::vector<xWString>& Arguments() const { return Texts; }

    // The command line of this process as the system holds it.
    static xWString OfThisProcess();

private:
    std::vector<xWString> Texts;
    std::vector<TokenKind> Kinds;
};
