#pragma once

#include <cstdint>
#include <string>

// What a GET for a file of a given size gets, decided from its Range header
// alone, so the rules can be tested without a socket.
enum class RangeAnswer
{
    Whole,         // 200 with the whole file
    Partial,       // 206 with First .. First + Length - 1
    EmptyWhole,    // 200 with a 0-byte body: "bytes=0--1" on a 0-byte file
    Unsatisfiable, // 416
};

struct RangeDecision
{
    RangeAnswer Answer = RangeAnswer::Whole;
    uint64_t First = 0;
    uint64_t Length = 0;
};

// headerPresent tells an absent header from an empty one (an empty one is
// malformed). Several ranges in one header get the whole file; a malformed
// header gets 416 rather than the whole file, so that a client bug shows
// instead of being papered over by a 200.
RangeDecision DecideRange(bool headerPresent, const std::string& header, uint64_t fileSize);

// "bytes FIRST-LAST/SIZE" for a Partial decision.
std::string ContentRangeText(const RangeDecision& decision, uint64_t fileSize);
