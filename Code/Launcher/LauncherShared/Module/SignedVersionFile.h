#pragma once

#include "UpdateContext.h"
#include "VersionStamp.h"

#include "xString.h"

#include <cstdint>

// The version files as a launcher takes them. A signature says who wrote a
// file, not when: on its own it lets anybody on the way serve last month's
// signed file again (a rollback to an older client) or keep serving the same
// one (a client frozen on it). So in a build with a key each version file also
// carries a signed stamp (VersionStamp.h): an expiry, and for the client
// version file a serial that rises with every publication. The launcher
// refuses an expired file, and the client version file with a serial lower
// than the highest it has accepted, which it remembers in its own folder.

enum class VersionFileKind
{
    ClientVersions,  // "ClientVersionSID.txt": serial and expiry
    LauncherVersion, // "LauncherVersion.txt": expiry (the launcher only ever moves up)
};

enum class VersionFileVerdict
{
    Taken,
    Unanswered, // no text came, or its signature was refused (that check logs why)
    Unstamped,  // signed, but without the stamp its kind needs
    Expired,
    Replayed, // a lower serial than one accepted before
};

struct VersionFileAnswer
{
    VersionFileVerdict Verdict = VersionFileVerdict::Unanswered;
    // The first line, once taken: all that the choice of a version reads.
    xString Line;
    VersionStamp Stamp;
};

// Fetches the version file at `url`. Without a key: its first line, exactly as
// before stamps (the stamp is neither asked for nor read). With one: the file
// must carry a good signature and its kind's stamp, unexpired at `now` (Unix
// seconds); a client version file's serial must be at least the accepted one,
// and is remembered when higher. A refusal leaves an error line: "Version file
// <name> refused: <why>; nothing is taken from it".
VersionFileAnswer FetchVersionFile(const UpdateContext& context, const xString& url, VersionFileKind kind,
                                   int64_t now);

// The highest serial of a client version file accepted so far, kept in this
// file in the context's download folder (the launcher's own; cache cleaning
// keeps it).
constexpr char AcceptedSerialFileName[] = "ClientVersionSerial.txt";
// 0 when none was accepted yet (or the file does not hold a number).
uint64_t LoadAcceptedSerial(const UpdateContext& context);
// Writes `serial` through a temporary file and a move, unless the file already
// holds a higher one (another launcher beside this one). False when it could
// not be written.
bool RaiseAcceptedSerial(const UpdateContext& context, uint64_t serial);
