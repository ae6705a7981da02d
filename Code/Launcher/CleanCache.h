#pragma once

// What became of a press on the main frame's "clear" button.
enum class CacheCleanOutcome
{
    Disabled, // the product offers no cache cleaning
    Refused,  // an update or the font is being written: nothing was deleted
    Cleaned,
    InUse, // cleaned, but files held elsewhere (another launcher, the log) stayed
};

struct CacheCleanCount;
// What the player is told after cleaning: all that cleaning removes is gone, or some of it stayed in use.
CacheCleanOutcome CleanedOutcome(const CacheCleanCount& count);

// Why the cache may not be cleaned now, or null when it may: files are never
// deleted while a worker writes them, and the player is told to try later.
const char* CacheCleanRefusal(bool updateBusy, bool fontInstalling);

// Cleans the launcher's folder and this process's publish folder, then sets the
// package update back to Idle so the next login checks every file again.
CacheCleanOutcome CleanCache();
