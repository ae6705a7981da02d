#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>

// The pieces of a download URL that the transport needs. One portable cracker
// serves both platforms, so a URL is accepted or refused the same way on each.
struct UrlParts
{
    // The longest host name and path (query included) accepted: what fits the
    // 256-character buffers that InternetCrackUrlA is given.
    static constexpr size_t MaxHost = 255;
    static constexpr size_t MaxPath = 255;

    xString Host;
    // From the first "/" after the host, query included, fragment dropped; "/" when the URL has none.
    xString Path;
    uint16_t Port = 80;
};

// Splits "http://host[:port][/path[?query]][#fragment]" (scheme in any case).
// A blank or a byte outside ASCII in the path is percent-encoded (the UTF-8 bytes,
// as browsers send them), so a file named in Chinese reaches the server by its name.
// Refused: another scheme, a user name ("user@host"), an empty or over-long host,
// a host with characters other than letters, digits, "-", "." and "_", a port
// that is not 1 to 65535, a path with a control character, and a path that is
// over-long once encoded.
bool CrackUrl(const xString& url, UrlParts& parts);

// The value of one hex digit of either case, or -1.
int HexDigitValue(char c);

// Undoes "%XX" escapes; a "%" without two hex digits after it stays as it is.
xString DecodePercentEscapes(const xString& text);
