#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Misbehaviour on demand for file requests, so that a client's failure paths
// can be driven. The names are both the command-line switches (with "--") and
// the parameters of the control endpoint.
struct FaultSet
{
    std::optional<uint64_t> DropAfter;     // drop-after=N: close after N body bytes
    bool IgnoreRange = false;              // ignore-range: 200 and the whole file
    bool WrongLength = false;              // wrong-length: Content-Length one too many
    int Status = 0;                        // status=CODE: every file request gets it
    std::optional<std::string> StatusBody; // status-body=TEXT: its body
    bool NoContentLength = false;          // no-content-length: no such header
    uint32_t DelayMs = 0;                  // delay-ms=N: pause before each body chunk
    std::optional<uint64_t> StallAfter;    // stall-after=N: go silent after N body bytes
    std::optional<uint64_t> CorruptAt;     // corrupt-at=N: the file's byte N goes out inverted
    std::optional<uint64_t> HeadLength;    // head-length=N: HEAD announces N, GET stays true
    std::optional<uint64_t> ExtraBytes;    // extra-bytes=N: N bytes past the announced body, then close
    std::optional<uint64_t> ShiftRange;    // shift-range=N: a 206 carries the bytes N further on
    std::optional<uint64_t> ResetAfter;    // reset-after=N: a TCP reset after N body bytes
    std::optional<uint64_t> PadTo;         // pad-to=N: the file as if padded with blanks to N bytes
    uint32_t TrickleMs = 0;                // trickle-ms=N: one body byte every N ms
    std::string RedirectTo;                // redirect-to=URL: 302 to URL followed by the target
    std::string ServeInstead;              // serve-instead=NAME: GETs get the sibling file NAME
    bool Chunked = false;                  // chunked: chunked transfer encoding, no length
    bool Gzip = false;                     // gzip: the body gzip-compressed, Content-Encoding: gzip
    bool EndlessHeaders = false;           // endless-headers: header lines that never end
    // Qualifiers: which requests the faults above hit.
    std::string ForPath;           // for-path=TEXT: only paths ending in TEXT
    std::optional<uint64_t> Times; // times=N: only the next N GETs, then no faults

    // True when a request for `path` is hit by the faults.
    bool Hits(const std::string& path) const;

    bool Any() const;
    // The body a status fault answers with.
    std::string StatusBodyText() const;
};

// Sets one fault by name. Flags take "", "1" or "0". False with an error text
// for an unknown name or a bad value; the set is then unchanged.
bool ApplyFaultSetting(FaultSet& faults, const std::string& name, const std::string& value,
                       std::string& error);

// True for the names that are flags (take no value on the command line).
bool IsFaultFlag(const std::string& name);
bool IsFaultName(const std::string& name);

// One "name=value" line per active fault, or "no faults".
std::string DescribeFaults(const FaultSet& faults);
