#include "FaultSet.h"

#include <cctype>
#include <limits>
#include <type_traits>
#include <variant>

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

// The value parsers of the switch table: numbers land in `number`, texts are kept as given.
bool Number(const std::string& text, uint64_t maximum, uint64_t& number)
{
    return ParseUnsigned(text, maximum, number);
}

// 1xx, 204 and 304 carry no body; a status fault always sends one.
bool StatusCode(const std::string& text, uint64_t maximum, uint64_t& number)
{
    return ParseUnsigned(text, maximum, number) && number != 204 && number != 304;
}

bool Flag(const std::string& text, uint64_t, uint64_t& number)
{
    number = text.empty() || text == "1";
    return number == 1 || text == "0";
}

bool AnyText(const std::string&, uint64_t, uint64_t&)
{
    return true;
}

// The target is appended as it came, so the prefix is an origin and maybe a folder.
bool HttpAddress(const std::string& text, uint64_t, uint64_t&)
{
    return text.compare(0, 7, "http://") == 0 && text.find_first_of("\r\n") == std::string::npos;
}

bool SiblingName(const std::string& text, uint64_t, uint64_t&)
{
    return !text.empty() && text.find('/') == std::string::npos && text != "..";
}

using Field = std::variant<std::optional<uint64_t> FaultSet::*, uint32_t FaultSet::*, int FaultSet::*,
                           bool FaultSet::*, std::string FaultSet::*, std::optional<std::string> FaultSet::*>;

void Store(FaultSet& faults, std::optional<uint64_t> FaultSet::*field, const std::string&, uint64_t number)
{
    faults.*field = number;
}
void Store(FaultSet& faults, uint32_t FaultSet::*field, const std::string&, uint64_t number)
{
    faults.*field = static_cast<uint32_t>(number);
}
void Store(FaultSet& faults, int FaultSet::*field, const std::string&, uint64_t number)
{
    faults.*field = static_cast<int>(number);
}
void Store(FaultSet& faults, bool FaultSet::*field, const std::string&, uint64_t number)
{
    faults.*field = number != 0;
}
template <typename Text>
void Store(FaultSet& faults, Text FaultSet::*field, const std::string& text, uint64_t)
{
    faults.*field = text;
}

// A field's value as the control endpoint shows it; none when the fault is off.
std::optional<std::string> Shown(const FaultSet& faults, std::optional<uint64_t> FaultSet::*field)
{
    return faults.*field ? std::optional<std::string>(std::to_string(*(faults.*field))) : std::nullopt;
}
template <typename Scalar> std::optional<std::string> Shown(const FaultSet& faults, Scalar FaultSet::*field)
{
    if (faults.*field == 0)
        return std::nullopt;
    return std::is_same<Scalar, bool>::value ? "1" : std::to_string(faults.*field);
}
std::optional<std::string> Shown(const FaultSet& faults, std::string FaultSet::*field)
{
    return (faults.*field).empty() ? std::nullopt : std::optional<std::string>(faults.*field);
}
std::optional<std::string> Shown(const FaultSet& faults, std::optional<std::string> FaultSet::*field)
{
    return faults.*field;
}

constexpr uint64_t AnyNumber = std::numeric_limits<uint64_t>::max();

struct FaultSwitch
{
    const char* Name;
    Field Target;
    bool (*Parse)(const std::string& text, uint64_t maximum, uint64_t& number);
    const char* Needs; // the error's description of a good value
    uint64_t Least = 0;
    uint64_t Most = AnyNumber;
    bool Qualifier = false; // narrows the faults instead of being one
};

// In the order the control endpoint lists them. An hour per chunk is already a
// stall; a longer delay is a typo.
constexpr FaultSwitch Switches[] = {
    {"drop-after", &FaultSet::DropAfter, Number, "needs a byte count"},
    {"ignore-range", &FaultSet::IgnoreRange, Flag, "takes 1 or 0"},
    {"wrong-length", &FaultSet::WrongLength, Flag, "takes 1 or 0"},
    {"status", &FaultSet::Status, StatusCode, "needs a code from 200 to 599 (not 204 or 304)", 200, 599},
    {"status-body", &FaultSet::StatusBody, AnyText, ""},
    {"no-content-length", &FaultSet::NoContentLength, Flag, "takes 1 or 0"},
    {"delay-ms", &FaultSet::DelayMs, Number, "needs milliseconds (0 to 3600000)", 0, 3600000},
    {"stall-after", &FaultSet::StallAfter, Number, "needs a byte count"},
    {"corrupt-at", &FaultSet::CorruptAt, Number, "needs a byte count"},
    {"head-length", &FaultSet::HeadLength, Number, "needs a byte count"},
    {"extra-bytes", &FaultSet::ExtraBytes, Number, "needs a byte count"},
    {"shift-range", &FaultSet::ShiftRange, Number, "needs a byte count"},
    {"reset-after", &FaultSet::ResetAfter, Number, "needs a byte count"},
    {"pad-to", &FaultSet::PadTo, Number, "needs a byte count"},
    {"trickle-ms", &FaultSet::TrickleMs, Number, "needs milliseconds (0 to 3600000)", 0, 3600000},
    {"redirect-to", &FaultSet::RedirectTo, HttpAddress, "needs an http:// address"},
    {"serve-instead", &FaultSet::ServeInstead, SiblingName, "needs a file name beside the asked one"},
    {"chunked", &FaultSet::Chunked, Flag, "takes 1 or 0"},
    {"gzip", &FaultSet::Gzip, Flag, "takes 1 or 0"},
    {"endless-headers", &FaultSet::EndlessHeaders, Flag, "takes 1 or 0"},
    {"for-path", &FaultSet::ForPath, AnyText, "", 0, AnyNumber, true},
    {"times", &FaultSet::Times, Number, "needs a count of at least 1", 1, AnyNumber, true},
};

const FaultSwitch* FindSwitch(const std::string& name)
{
    for (const FaultSwitch& entry : Switches)
    {
        if (name == entry.Name)
            return &entry;
    }
    return nullptr;
}

std::optional<std::string> ShownValue(const FaultSet& faults, const FaultSwitch& entry)
{
    return std::visit([&](auto field) { return Shown(faults, field); }, entry.Target);
}
} // namespace

bool FaultSet::Any() const
{
    for (const FaultSwitch& entry : Switches)
    {
        if (!entry.Qualifier && ShownValue(*this, entry))
            return true;
    }
    return false;
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
    const FaultSwitch* entry = FindSwitch(name);
    return entry && std::holds_alternative<bool FaultSet::*>(entry->Target);
}

bool IsFaultName(const std::string& name)
{
    return FindSwitch(name) != nullptr;
}

bool ApplyFaultSetting(FaultSet& faults, const std::string& name, const std::string& value,
                       std::string& error)
{
    const FaultSwitch* entry = FindSwitch(name);
    if (!entry)
    {
        error = "unknown fault \"" + name + "\"";
        return false;
    }
    uint64_t number = 0;
    if (!entry->Parse(value, entry->Most, number) || number < entry->Least)
    {
        error = name + " " + entry->Needs + ", not \"" + value + "\"";
        return false;
    }
    std::visit([&](auto field) { Store(faults, field, value, number); }, entry->Target);
    return true;
}

std::string DescribeFaults(const FaultSet& faults)
{
    std::string text;
    for (const FaultSwitch& entry : Switches)
    {
        // Qualifiers alone are no faults.
        if (entry.Qualifier && text.empty())
            break;
        if (const std::optional<std::string> value = ShownValue(faults, entry))
            text += std::string(entry.Name) + "=" + *value + "\n";
    }
    return text.empty() ? "no faults\n" : text;
}
