#pragma once

#include "xString.h"

#include <cstdint>

// The plain text steps of the HTTP transfers: names taken from URLs and the
// headers read from or written into requests. Functions of plain values, with
// no transport underneath.

// The last component of the URL's path (query included); false when the URL
// cannot be cracked or its path ends in "/".
bool GetUrlFileName(const xString& url, xString& name);
// A name that stays inside the download folder and means the same file on every
// system: not empty, no "/", "\", ":", "..", control character or character
// that Windows forbids in names, no trailing dot or blank, no device name.
bool IsPlainFileName(const xString& name);
// A name whose part before the first dot is a Windows device (CON, NUL, COM1…),
// which opens the device instead of a file.
bool IsDeviceName(const xString& name);
// A Content-Length text as a size: optional blanks, then decimal digits; -1 for
// anything else, a negative number, a text of 30 bytes or more, or a value past
// 2^63 - 1.
int64_t ParseContentLength(const xString& text);

struct ContentRange
{
    uint64_t First = 0;
    uint64_t Last = 0;
    // -1 when the server wrote "*".
    int64_t Total = -1;
};
// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"); false for anything else.
bool ParseContentRange(const xString& text, ContentRange& range);
// "Range: bytes=<first>-<last>\r\n", both as signed decimal: the range of 0
// bytes at 0 reads "bytes=0--1".
xString MakeRangeHeader(uint64_t first, uint64_t length);
