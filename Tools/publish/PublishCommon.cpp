// What the publisher's commands share.
#include "PublishCommon.h"

#include "ToolFiles.h"

#include <algorithm>
#include <cstdint>
#include <string>

int BadUsage(const char* what)
{
    Fail("%s (see publish --help)", what);
    return 2;
}

bool IsValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size())
    {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t extra = 0;
        uint32_t point = 0;
        if (lead < 0x80)
            point = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1, point = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            extra = 2, point = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4)
            extra = 3, point = lead & 0x07;
        else
            return false;
        if (text.size() - i - 1 < extra)
            return false;
        for (size_t k = 1; k <= extra; ++k)
        {
            const uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        if ((extra == 2 && point < 0x800) || (extra == 3 && point < 0x10000) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += 1 + extra;
    }
    return true;
}

bool HasControlCharacter(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c)
                       { return static_cast<uint8_t>(c) < 0x20 || static_cast<uint8_t>(c) == 0x7F; });
}

bool TakeValue(int argc, char** argv, int& i, std::string& value)
{
    if (i + 1 >= argc)
    {
        Fail("%s needs a value", argv[i]);
        return false;
    }
    value = argv[++i];
    return true;
}
