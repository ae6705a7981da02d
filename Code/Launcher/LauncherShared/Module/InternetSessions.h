#pragma once

#include "xHttp.h"

// The two process-wide HTTP sessions. Each is opened on first use and never
// closed; the first caller of any thread opens it, under a lock (several worker
// threads may ask at once). Null when the system refused; the next call tries again.

// Agent "WispDownload", the system's proxy settings: every transfer of the
// downloader (version file, manifest, package, font, launcher builds).
xHttpSession* DownloadSession();
// Agent "WispClient", no proxy: step reports and the auto-login exchange.
xHttpSession* InternetSession();

// Holds every download of the downloader's session under `bytesPerSecond`
// together (0: no cap); for the session now open or the one opened later.
void CapDownloads(uint64_t bytesPerSecond);
