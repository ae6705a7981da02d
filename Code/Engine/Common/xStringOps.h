#pragma once

#include "xString.h"

#include <cstddef>
#include <vector>

// Text operations shared by both string forms. Positions and counts are in
// characters of the string's type; "not found" is -1.

constexpr size_t WholeRest = static_cast<size_t>(-1);

// -1, 0 or 1; only characters up to 0xFF are folded, and of those only A-Z change.
int CompareNoCase(const xString& left, const char* right);
// Compares at most `count` units of two zero-terminated wide texts.
int CompareNoCase(const char16_t* left, const char16_t* right, size_t count);
int CompareNoCase(const xWString& left, const xWString& right);
bool EqualsNoCase(const xString& left, const char* right);
bool EqualsNoCase(const xWString& left, const xWString& right);

void ToLowerAscii(xWString& text);
void ToLowerAscii(xString& text);

ptrdiff_t FindText(const xString& text, const xString& needle, size_t start = 0);
ptrdiff_t FindText(const xWString& text, const xWString& needle, size_t start = 0);
bool StartsWith(const xString& text, const xString& prefix);
bool StartsWith(const xWString& text, const xWString& prefix);
bool EndsWith(const xString& text, const xString& suffix);
bool EndsWith(const xWString& text, const xWString& suffix);

// At most `count` characters from `position`; WholeRest (or any count past the end) takes the rest.
xString SubText(const xString& text, size_t position, size_t count = WholeRest);
xWString SubText(const xWString& text, size_t position, size_t count = WholeRest);

xString ReplaceAll(const xString& source, const xString& pattern, const xString& replacement);
xWString ReplaceAll(const xWString& source, const xWString& pattern, const xWString& replacement);

// Appends the pieces between occurrences of the whole `separator` to `pieces`.
void SplitText(const xString& source, const xString& separator, std::vector<xString>& pieces);
void SplitText(const xWString& source, const xWString& separator, std::vector<xWString>& pieces);

// "*" matches any run (also none), "?" exactly one character; the whole name must match.
bool WildcardMatch(const xWString& name, const xWString& mask, bool caseSensitive);
