#include "InternetSessions.h"

#include <atomic>
#include <mutex>

namespace
{
std::mutex SlotLock;
std::atomic<uint64_t> DownloadCap{0};

// A failed open is not remembered, so a later call may still succeed; a
// std::call_once would keep the failure for the whole run.
xHttpSession* OpenOnce(std::unique_ptr<xHttpSession>& slot, const char* agent, xHttpProxyMode mode)
{
    std::lock_guard<std::mutex> guard(SlotLock);
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
    xHttpSession* session = OpenOnce(DownloadSlot(), "WispDownload", xHttpProxyMode::Preconfigured);
    if (session != nullptr)
        session->ReadCap().SetBytesPerSecond(DownloadCap.load());
    return session;
}

xHttpSession* InternetSession()
{
    return OpenOnce(InternetSlot(), "WispClient", xHttpProxyMode::Direct);
}

void CapDownloads(uint64_t bytesPerSecond)
{
    DownloadCap.store(bytesPerSecond);
    std::lock_guard<std::mutex> guard(SlotLock);
    if (DownloadSlot())
        DownloadSlot()->ReadCap().SetBytesPerSecond(bytesPerSecond);
}
