#pragma once

#include "xString.h"

// Text-only path helpers. Paths use "/" between folders and folder paths end
// with "/"; "\" is accepted wherever a separator is looked for. Each function
// has a wide form and a narrow (UTF-8) twin that behaves the same.

template <typename CharT> struct xPathPartsBase
{
    xStringBase<CharT> Directory; // up to and including the last separator
    xStringBase<CharT> Stem;      // the last component without its extension
    xStringBase<CharT> Extension; // from the last dot of the last component, dot included
};
using xPathParts = xPathPartsBase<char16_t>;
using xPathPartsUtf8 = xPathPartsBase<char>;

// Every "\" turned into "/".
xWString ToForwardSlashes(const xWString& path);
xString ToForwardSlashes(const xString& path);

// ToForwardSlashes, then a "/" appended unless the path already ends with one.
xWString AsDirectoryPath(const xWString& path);
xString AsDirectoryPath(const xString& path);

// Collapses runs of "/", resolves ".." against the component before it and drops
// "./". A climb that would leave the text (a leading ".." or "/..", a climb above
// the first component or above a drive) gives the empty text, so a caller can
// never be led outside the folder it named.
xWString NormalisePath(const xWString& path);
xString NormalisePath(const xString& path);

// NormalisePath(folder + "/" + name).
xWString JoinPath(const xWString& folder, const xWString& name);
xString JoinPath(const xString& folder, const xString& name);

// Up to and including the last "/", "\" or ":"; empty when there is none.
xWString GetParentPath(const xWString& path);
xString GetParentPath(const xString& path);

// The last component, trailing separators skipped; empty when no separator
// stands before it (a bare name has no folder to be the name in).
xWString GetFileName(const xWString& path);
xString GetFileName(const xString& path);

// From the last dot of the last component, dot included; empty without one.
xWString GetExtension(const xWString& path);
xString GetExtension(const xString& path);

// The path without its extension; the empty text when it has none, so that a
// caller can tell "no extension" from "extension removed".
xWString RemoveExtension(const xWString& path);
xString RemoveExtension(const xString& path);

xPathParts SplitPath(const xWString& path);
xPathPartsUtf8 SplitPath(const xString& path);

xWString GetFileStem(const xWString& path);
xString GetFileStem(const xString& path);
