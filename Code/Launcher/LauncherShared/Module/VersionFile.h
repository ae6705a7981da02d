#pragma once

#include "xString.h"

// The client version for the player's server from the first line of
// "ClientVersionSID.txt": comma-separated key=value entries, "default" for every
// server without an entry of its own. Keys and values are taken exactly as
// written; the first entry of a key wins. A piece that is not one key=value is
// logged ("SidVersionError: <piece>") and skipped; a line without "default" logs
// "SidVersionError: No default version" and gives the empty text.
xString ChooseClientVersion(const xString& versionLine, const xString& sid);

// True when `version` is the value of an entry of the line as ChooseClientVersion
// reads it (a server's or the default): a version named by a source without a
// signature (a forced version, the page's or the auto-login's "cversion") is
// taken only when the signed version file names it. Logs nothing.
bool ListsClientVersion(const xString& versionLine, const xString& version);
