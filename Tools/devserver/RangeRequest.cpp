#include "RangeRequest.h"

#include <cctype>
#include <limits>
#include <vector>

namespace
{
constexpr uint64_t Saturated = std::numeric_limits<uint64_t>::max();

std::string Trim(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.substr(begin, end - begin);
}

// Decimal digits from position; huge numbers saturate instead of wrapping, so
// "bytes=99999999999999999999999-" is simply beyond any file.
bool ReadNumber(const std::string& text, size_t& position, uint64_t& value)
{
    const size_t start = position;
    value = 0;
    while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position])))
    {
        const uint64_t digit = static_cast<uint64_t>(text[position] - '0');
        value = value > (Saturated - digit) / 10 ? Saturated : value * 10 + digit;
        ++position;
    }
    return position > start;
}

struct RangeItem
{
    bool HasFirst = false;
    uint64_t First = 0;
    bool HasLast = false;
    bool LastNegative = false; // "S--N": the launcher's end for a 0-byte file
    uint64_t Last = 0;
};

bool ParseItem(const std::string& text, RangeItem& range)
{
    size_t position = 0;
    range.HasFirst = ReadNumber(text, position, range.First);
    if (position >= text.size() || text[position] != '-')
        return false;
    ++position;
    if (range.HasFirst && position < text.size() && text[position] == '-')
    {
        range.LastNegative = true;
        ++position;
    }
    range.HasLast = ReadNumber(text, position, range.Last);
    if (range.LastNegative && !range.HasLast)
        return false;
    return position == text.size() && (range.HasFirst || range.HasLast);
}
} // namespace

RangeDecision DecideRange(bool headerPresent, const std::string& header, uint64_t fileSize)
{
    RangeDecision decision;
    if (!headerPresent)
        return decision;

    decision.Answer = RangeAnswer::Unsatisfiable;
    const std::string value = Trim(header);
    const size_t equals = value.find('=');
    if (equals == std::string::npos)
        return decision;
    std::string unit = Trim(value.substr(0, equals));
    for (char& c : unit)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (unit != "bytes")
        return decision;

    std::vector<RangeItem> items;
    const std::string list = value.substr(equals + 1);
    size_t start = 0;
    while (start <= list.size())
    {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string item = Trim(list.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            continue; // the list syntax allows empty elements
        RangeItem range;
        if (!ParseItem(item, range))
            return decision;
        items.push_back(range);
    }
    if (items.empty())
        return decision;
    if (items.size() > 1)
    {
        // One body for several ranges keeps the server simple; clients that
        // ask for several ranges accept a 200.
        decision.Answer = RangeAnswer::Whole;
        return decision;
    }

    const RangeItem& range = items.front();
    if (range.LastNegative)
    {
        // The launcher asks for "0 to size-1", which is "0--1" for an empty
        // file; it then reads nothing, so an empty 200 is what it can use.
        if (range.First == 0 && range.Last == 1 && fileSize == 0)
            decision.Answer = RangeAnswer::EmptyWhole;
        return decision;
    }
    if (!range.HasFirst)
    {
        if (range.Last == 0 || fileSize == 0)
            return decision;
        decision.Length = range.Last < fileSize ? range.Last : fileSize;
        decision.First = fileSize - decision.Length;
        decision.Answer = RangeAnswer::Partial;
        return decision;
    }
    if (range.First >= fileSize)
        return decision;
    uint64_t last = fileSize - 1;
    if (range.HasLast)
    {
        if (range.Last < range.First)
            return decision;
        if (range.Last < last)
            last = range.Last;
    }
    decision.First = range.First;
    decision.Length = last - range.First + 1;
    decision.Answer = RangeAnswer::Partial;
    return decision;
}

std::string ContentRangeText(const RangeDecision& decision, uint64_t fileSize)
{
    return "bytes " + std::to_string(decision.First) + "-" +
           std::to_string(decision.First + decision.Length - 1) + "/" + std::to_string(fileSize);
}
