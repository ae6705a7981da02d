#include "xHttp.h"

void xHttpSession::SetTimeouts(uint32_t connectMs, uint32_t stallMs)
{
    if (connectMs != 0)
        ConnectTimeoutMs.store(connectMs, std::memory_order_relaxed);
    if (stallMs != 0)
        StallTimeoutMs.store(stallMs, std::memory_order_relaxed);
}
