// Any bytes as the translation service's answer, and as a key typed after
// "autologinkey=": the launch parameter read from the answer, and the key as it
// goes into the query, which must decode back to the key's first bytes.
#include "AutoLogin.h"
#include "FuzzCheck.h"
#include "UrlParts.h"

#include "xStringOps.h"
#include "xTextConversion.h"

#include <algorithm>
#include <cstring>

namespace
{
bool IsUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader reader(data, size);
    const std::string answer = reader.Until('\0');

    const xWString param = LaunchParamFromAnswer(xString(answer.data(), answer.size()));
    const std::u16string units = Units(param);
    FUZZ_CHECK(units.find_first_of(u"{}\\\"") == std::u16string::npos);
    std::string cleaned;
    for (char c : answer)
        if (std::strchr("{}\\\"", c) == nullptr)
            cleaned += c;
    const size_t marker = cleaned.find("url:");
    if (marker == std::string::npos)
        FUZZ_CHECK(param.IsEmpty());
    else
        FUZZ_CHECK(param == Utf8ToWide(cleaned.substr(marker + 4).c_str(), cleaned.size() - marker - 4));

    // The key: whatever follows, as UTF-16 units.
    const std::string keyBytes = reader.Rest();
    const xWString key = WideFromBytes(reinterpret_cast<const uint8_t*>(keyBytes.data()), keyBytes.size());
    const xString query = AutoLoginKeyForQuery(key);
    for (size_t i = 0; i < query.Length(); ++i)
    {
        if (query[i] == '%')
        {
            FUZZ_CHECK(i + 2 < query.Length() && IsHex(query[i + 1]) && IsHex(query[i + 2]));
            i += 2;
            continue;
        }
        FUZZ_CHECK(IsUnreserved(query[i]));
    }
    const std::string sent = Narrow(DecodePercentEscapes(query));
    const xString utf8(key);
    const std::string whole = Narrow(utf8).substr(0, std::strlen(utf8.c_str()));
    FUZZ_CHECK(sent.size() <= 12 && whole.compare(0, sent.size(), sent) == 0);
    // Never half a character, and no more dropped than the end of one.
    if (sent.size() < whole.size())
    {
        FUZZ_CHECK((static_cast<unsigned char>(whole[sent.size()]) & 0xC0) != 0x80);
        FUZZ_CHECK(sent.size() + 3 >= std::min<size_t>(whole.size(), 12));
    }
    return 0;
}
