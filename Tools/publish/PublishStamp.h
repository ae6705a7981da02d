#pragma once

#include <cstdint>
#include <string>

struct VersionStamp;

// The expiry of a signed version file's stamp (Module/VersionStamp.h), as the
// operator gives it with --expires.

// How long a stamp lasts when --expires is not given.
constexpr int64_t DefaultStampDays = 30;

// The stamp's expiry from `option`: "<N>d" or "<N>h" from `now`, "YYYY-MM-DD"
// (midnight UTC) or "YYYY-MM-DDTHH:MM:SSZ"; DefaultStampDays from `now` when
// empty. False, with an error line, for anything else or a time not after
// `now`: a file that has expired when it is published would only stop every
// launcher's updates.
bool SetStampExpiry(const std::string& option, int64_t now, VersionStamp& stamp);
