#include "FaultSet.h"

#include <cctype>
#include <limits>

namespace
{
bool ParseUnsigned(const std::string& text, uint64_t maximum, uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (const char c : text)
    {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (maximum - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool ParseFlag(const std::string& text, bool& value)
{
    if (text.empty() || text == "1")
        value = true;
    else if (text == "0")
        value = false;
    else
        return false;
    return true;
}
} // namespace

bool FaultSet::Any() const
{
    return DropAfter || IgnoreRange || WrongLength || Status != 0 || StatusBody || NoContentLength ||
           DelayMs != 0 || StallAfter || CorruptAt;
}

bool FaultSet::Hits(const std::string& path) const
{
    if (!Any())
        return false;
    return path.size() >= ForPath.size() &&
           path.compare(path.size() - ForPath.size(), ForPath.size(), ForPath) == 0;
}

std::string FaultSet::StatusBodyText() const
{
    return StatusBody ? *StatusBody : "status " + std::to_string(Status) + "\n";
}

bool IsFaultFlag(const std::string& name)
{
    return name == "ignore-range" || name == "wrong-length" || name == "no-content-length";
}

bool IsFaultName(const std::string& name)
{
    return IsFaultFlag(name) || name == "drop-after" || name == "status" || name == "status-body" ||
           name == "delay-ms" || name == "stall-after" || name == "corrupt-at" || name == "for-path" ||
           name == "times";
}

bool ApplyFaultSetting(FaultSet& faults, const std::string& name, const std::string& value,
                       std::string& error)
{
    const uint64_t any = std::numeric_limits<uint64_t>::max();
    uint64_t number = 0;
    bool flag = false;
    if (name == "drop-after" || name == "stall-after" || name == "corrupt-at")
    {
        if (!ParseUnsigned(value, any, number))
        {
            error = name + " needs a byte count, not \"" + value + "\"";
            return false;
        }
        (name == "drop-after"    ? faults.DropAfter
         : name == "stall-after" ? faults.StallAfter
                                 : faults.CorruptAt) = number;
        return true;
    }
    if (name == "times")
    {
        if (!ParseUnsigned(value, any, number) || number == 0)
        {
            error = "times needs a count of at least 1, not \"" + value + "\"";
            return false;
        }
        faults.Times = number;
        return true;
    }
    if (name == "for-path")
    {
        faults.ForPath = value;
        return true;
    }
    if (name == "delay-ms")
    {
        // An hour per chunk is already a stall; more is a typo.
        if (!ParseUnsigned(value, 3600000, number))
        {
            error = "delay-ms needs milliseconds (0 to 3600000), not \"" + value + "\"";
            return false;
        }
        faults.DelayMs = static_cast<uint32_t>(number);
        return true;
    }
    if (name == "status")
    {
        // 1xx, 204 and 304 carry no body; a status fault always sends one.
        if (!ParseUnsigned(value, 599, number) || number < 200 || number == 204 || number == 304)
        {
            error = "status needs a code from 200 to 599 (not 204 or 304), not \"" + value + "\"";
            return false;
        }
        faults.Status = static_cast<int>(number);
        return true;
    }
    if (name == "status-body")
    {
        faults.StatusBody = value;
        return true;
    }
    if (IsFaultFlag(name))
    {
        if (!ParseFlag(value, flag))
        {
            error = name + " takes 1 or 0, not \"" + value + "\"";
            return false;
        }
        (name == "ignore-range"   ? faults.IgnoreRange
         : name == "wrong-length" ? faults.WrongLength
                                  : faults.NoContentLength) = flag;
        return true;
    }
    error = "unknown fault \"" + name + "\"";
    return false;
}

std::string DescribeFaults(const FaultSet& faults)
{
    std::string text;
    if (faults.DropAfter)
        text += "drop-after=" + std::to_string(*faults.DropAfter) + "\n";
    if (faults.IgnoreRange)
        text += "ignore-range=1\n";
    if (faults.WrongLength)
        text += "wrong-length=1\n";
    if (faults.Status != 0)
        text += "status=" + std::to_string(faults.Status) + "\n";
    if (faults.StatusBody)
        text += "status-body=" + *faults.StatusBody + "\n";
    if (faults.NoContentLength)
        text += "no-content-length=1\n";
    if (faults.DelayMs != 0)
        text += "delay-ms=" + std::to_string(faults.DelayMs) + "\n";
    if (faults.StallAfter)
        text += "stall-after=" + std::to_string(*faults.StallAfter) + "\n";
    if (faults.CorruptAt)
        text += "corrupt-at=" + std::to_string(*faults.CorruptAt) + "\n";
    if (text.empty())
        return "no faults\n";
    if (!faults.ForPath.empty())
        text += "for-path=" + faults.ForPath + "\n";
    if (faults.Times)
        text += "times=" + std::to_string(*faults.Times) + "\n";
    return text;
}
