#include "InternetSessions.h"

#include <mutex>

namespace
{
// A failed open is not remembered, so a later call may still succeed; a
// std::call_once would keep the failure for the whole run.
xHttpSession* OpenOnce(std::unique_ptr<xHttpSession>& slot, const char* agent, xHttpProxyMode mode)
{
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (!slot)
        slot = xHttpSession::Open(agent, mode);
    return slot.get();
}

// Left alive at exit on purpose: a worker thread may still be inside a transfer
// when the process ends, and the handles are never closed.
std::unique_ptr<xHttpSession>& DownloadSlot()
{
    static std::unique_ptr<xHttpSession>* slot = new std::unique_ptr<xHttpSession>();
    return *slot;
}

std::unique_ptr<xHttpSession>& InternetSlot()
{
    static std::unique_ptr<xHttpSession>* slot = new std::unique_ptr<xHttpSession>();
    return *slot;
}
} // namespace

xHttpSession* DownloadSession()
{
    return OpenOnce(DownloadSlot(), "WispDownload", xHttpProxyMode::Preconfigured);
}

xHttpSession* InternetSession()
{
    return OpenOnce(InternetSlot(), "WispClient", xHttpProxyMode::Direct);
}
