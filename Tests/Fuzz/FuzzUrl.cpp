// Any bytes as a download URL. An accepted one gives pieces within their limits
// that crack again to themselves; the path decodes back to what the URL said.
// Any bytes also go through the percent decoder and back.
#include "FuzzCheck.h"
#include "UrlParts.h"

#include <string>

namespace
{
bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

void CheckPercentRoundTrip(const std::string& bytes)
{
    static const char Hex[] = "0123456789abcdef";
    std::string encoded;
    for (unsigned char c : bytes)
        encoded += std::string("%") + Hex[c >> 4] + Hex[c & 15];
    FUZZ_CHECK(Narrow(DecodePercentEscapes(xString(encoded.data(), encoded.size()))) == bytes);
    // Never longer than what it decodes.
    FUZZ_CHECK(DecodePercentEscapes(xString(bytes.data(), bytes.size())).Length() <= bytes.size());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);
    CheckPercentRoundTrip(url);

    UrlParts parts;
    if (!CrackUrl(xString(url.data(), url.size()), parts))
        return 0;
    const std::string host = Narrow(parts.Host);
    const std::string path = Narrow(parts.Path);
    FUZZ_CHECK(!host.empty() && host.size() <= UrlParts::MaxHost);
    for (char c : host)
        FUZZ_CHECK(IsHostCharacter(c));
    FUZZ_CHECK(url.compare(7, host.size(), host) == 0);
    FUZZ_CHECK(parts.Port != 0);
    FUZZ_CHECK(!path.empty() && path[0] == '/' && path.size() <= UrlParts::MaxPath);
    for (char c : path)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        FUZZ_CHECK(u > 0x20 && u < 0x7F && c != '#');
    }

    // The path as the URL wrote it (fragment dropped) comes back from the decoder,
    // unless the URL carried escapes of its own.
    const size_t after = url.find_first_of("/?#", 7);
    if (after != std::string::npos && url[after] == '/')
    {
        const std::string written = url.substr(after, url.find('#', after) - after);
        if (written.find('%') == std::string::npos)
            FUZZ_CHECK(Narrow(DecodePercentEscapes(parts.Path)) == written);
    }

    // What the request line uses cracks to itself.
    const std::string again = "http://" + host + ":" + std::to_string(parts.Port) + path;
    UrlParts second;
    FUZZ_CHECK(CrackUrl(xString(again.data(), again.size()), second));
    FUZZ_CHECK(second.Host == parts.Host && second.Path == parts.Path && second.Port == parts.Port);
    return 0;
}
