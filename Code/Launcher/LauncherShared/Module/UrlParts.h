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
// Refused: another scheme, a user name ("user@host"), an empty or over-long host,
// a host with characters other than letters, digits, "-", "." and "_", a port
// that is not 1 to 65535, an over-long path, and a path with a blank, a control
// character or a byte outside ASCII (they would reach the request line raw).
bool CrackUrl(const xString& url, UrlParts& parts);
