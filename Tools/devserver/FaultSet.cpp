#include "FaultSet.h"

#include <cctype>
#include <limits>
#include <utility>

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
           DelayMs != 0 || StallAfter || CorruptAt || HeadLength || ExtraBytes || ShiftRange || ResetAfter ||
           PadTo || TrickleMs != 0 || !RedirectTo.empty() || !ServeInstead.empty() || Chunked || Gzip ||
           EndlessHeaders;
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

namespace
{
std::optional<uint64_t>* ByteCountFault(FaultSet& faults, const std::string& name)
{
    if (name == "drop-after")
        return &faults.DropAfter;
    if (name == "stall-after")
        return &faults.StallAfter;
    if (name == "corrupt-at")
        return &faults.CorruptAt;
    if (name == "head-length")
        return &faults.HeadLength;
    if (name == "extra-bytes")
        return &faults.ExtraBytes;
    if (name == "shift-range")
        return &faults.ShiftRange;
    if (name == "reset-after")
        return &faults.ResetAfter;
    if (name == "pad-to")
        return &faults.PadTo;
    return nullptr;
}

bool* FlagFault(FaultSet& faults, const std::string& name)
{
    if (name == "ignore-range")
        return &faults.IgnoreRange;
    if (name == "wrong-length")
        return &faults.WrongLength;
    if (name == "no-content-length")
        return &faults.NoContentLength;
    if (name == "chunked")
        return &faults.Chunked;
    if (name == "gzip")
        return &faults.Gzip;
    if (name == "endless-headers")
        return &faults.EndlessHeaders;
    return nullptr;
}
} // namespace

bool IsFaultFlag(const std::string& name)
{
    FaultSet probe;
    return FlagFault(probe, name) != nullptr;
}

bool IsFaultName(const std::string& name)
{
    FaultSet probe;
    return IsFaultFlag(name) || ByteCountFault(probe, name) != nullptr || name == "status" ||
           name == "status-body" || name == "delay-ms" || name == "trickle-ms" || name == "redirect-to" ||
           name == "serve-instead" || name == "for-path" || name == "times";
}

bool ApplyFaultSetting(FaultSet& faults, const std::string& name, const std::string& value,
                       std::string& error)
{
    const uint64_t any = std::numeric_limits<uint64_t>::max();
    uint64_t number = 0;
    bool flag = false;
    if (std::optional<uint64_t>* count = ByteCountFault(faults, name))
    {
        if (!ParseUnsigned(value, any, number))
        {
            error = name + " needs a byte count, not \"" + value + "\"";
            return false;
        }
        *count = number;
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
    if (name == "delay-ms" || name == "trickle-ms")
    {
        // An hour per chunk is already a stall; more is a typo.
        if (!ParseUnsigned(value, 3600000, number))
        {
            error = name + " needs milliseconds (0 to 3600000), not \"" + value + "\"";
            return false;
        }
        (name == "delay-ms" ? faults.DelayMs : faults.TrickleMs) = static_cast<uint32_t>(number);
        return true;
    }
    if (name == "redirect-to")
    {
        // The target is appended as it came, so the prefix is an origin and maybe a folder.
        if (value.compare(0, 7, "http://") != 0 || value.find_first_of("\r\n") != std::string::npos)
        {
            error = "redirect-to needs an http:// address, not \"" + value + "\"";
            return false;
        }
        faults.RedirectTo = value;
        return true;
    }
    if (name == "serve-instead")
    {
        if (value.empty() || value.find('/') != std::string::npos || value == "..")
        {
            error = "serve-instead needs a file name beside the asked one, not \"" + value + "\"";
            return false;
        }
        faults.ServeInstead = value;
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
        *FlagFault(faults, name) = flag;
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
    const std::pair<const char*, const std::optional<uint64_t>*> counts[] = {
        {"head-length", &faults.HeadLength},
        {"extra-bytes", &faults.ExtraBytes},
        {"shift-range", &faults.ShiftRange},
        {"reset-after", &faults.ResetAfter},
        {"pad-to", &faults.PadTo}};
    for (const auto& count : counts)
    {
        if (*count.second)
            text += std::string(count.first) + "=" + std::to_string(**count.second) + "\n";
    }
    if (faults.TrickleMs != 0)
        text += "trickle-ms=" + std::to_string(faults.TrickleMs) + "\n";
    if (!faults.RedirectTo.empty())
        text += "redirect-to=" + faults.RedirectTo + "\n";
    if (!faults.ServeInstead.empty())
        text += "serve-instead=" + faults.ServeInstead + "\n";
    if (faults.Chunked)
        text += "chunked=1\n";
    if (faults.Gzip)
        text += "gzip=1\n";
    if (faults.EndlessHeaders)
        text += "endless-headers=1\n";
    if (text.empty())
        return "no faults\n";
    if (!faults.ForPath.empty())
        text += "for-path=" + faults.ForPath + "\n";
    if (faults.Times)
        text += "times=" + std::to_string(*faults.Times) + "\n";
    return text;
}
