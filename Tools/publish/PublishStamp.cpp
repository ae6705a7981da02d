#include "PublishStamp.h"

#include "VersionStamp.h"

#include "ToolFiles.h"

#include <cerrno>
#include <cstdlib>

namespace
{
// "<N>d" / "<N>h": N from 1 to 3650 days' worth.
bool ParseSpan(const std::string& text, int64_t& seconds)
{
    if (text.size() < 2 || (text.back() != 'd' && text.back() != 'h'))
        return false;
    const std::string digits = text.substr(0, text.size() - 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6)
        return false;
    const int64_t count = std::strtoll(digits.c_str(), nullptr, 10);
    seconds = count * (text.back() == 'd' ? 86400 : 3600);
    return count > 0 && seconds <= 3650 * 86400;
}

bool ParseExpiresOption(const std::string& text, int64_t now, int64_t& expires)
{
    int64_t span = 0;
    if (ParseSpan(text, span))
        expires = now + span;
    else if (!ParseUtcTime(xString((text.size() == 10 ? text + "T00:00:00Z" : text).c_str()), expires))
    {
        Fail("--expires takes <N>d, <N>h, YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ, not %s", text.c_str());
        return false;
    }
    if (expires <= now)
    {
        Fail("--expires %s lies in the past: launchers would refuse the file at once", text.c_str());
        return false;
    }
    return true;
}
} // namespace

bool SetStampExpiry(const std::string& option, int64_t now, VersionStamp& stamp)
{
    stamp.HasExpiry = true;
    stamp.Expires = now + DefaultStampDays * 86400;
    return option.empty() || ParseExpiresOption(option, now, stamp.Expires);
}
