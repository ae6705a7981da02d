#include "BossKey.h"

// No windows natively: no dialog to show and no window to hold a hot key. The
// settings file is still read and written by the portable side.

void OpenBossKeyDialog() {}

void ReadBossKeyFromDialog() {}

void HideBossKeyDialog() {}

int32_t RegisterWindowHotKey(void*, int32_t, uint32_t, uint32_t)
{
    return 0;
}

int32_t UnregisterWindowHotKey(void*, int32_t)
{
    return 0;
}
