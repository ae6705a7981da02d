#pragma once

#include "xString.h"

// The client version for the player's server from the first line of
// "ClientVersionSID.txt": comma-separated key=value entries, "default" for every
// server without an entry of its own. Keys and values are taken exactly as
// written; the first entry of a key wins. A piece that is not one key=value is
// logged ("SidVersionError: <piece>") and skipped; a line without "default" logs
// "SidVersionError: No default version" and gives the empty text.
xString ChooseClientVersion(const xString& versionLine, const xString& sid);
