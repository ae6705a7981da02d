#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <mutex>

// The deadline of one xHttpRequest::Send under WinINet: the status line and the
// headers of the answer must all come within the stall time, as on the POSIX
// side. A server that sends a header line now and then would otherwise hold the
// thread for ever: each line restarts WinINet's receive timeout.
//
// At the deadline the WinINet call that waits is ended from a thread of the
// pool: its request handle is closed (WinINet's own way to cancel a blocking
// call) and its socket is shut down (Wine's WinINet ignores the close and reads
// header lines for as long as they come; a shut-down socket ends its read).
// WinINet shows no socket, so each request carries a mark: a send timeout of
// its own (NewMark), which WinINet sets on its socket before it sends, and the
// process's sockets are searched for it.
class xHttpSendDeadline
{
public:
    // The stall time plus a number from 1 to 1000, in turn: a send timeout that
    // tells this request's socket from the others' and changes nothing for a
    // request of a few hundred bytes.
    static uint32_t NewMark(uint32_t stallMs);

    xHttpSendDeadline(uint32_t milliseconds, uint32_t mark);
    // Stops the timer, waiting for an expiry that has already begun.
    ~xHttpSendDeadline();
    xHttpSendDeadline(const xHttpSendDeadline&) = delete;
    xHttpSendDeadline& operator=(const xHttpSendDeadline&) = delete;

    // False when no timer could be set.
    bool IsRunning() const { return Timer != nullptr; }
    // HttpSendRequestA under watch: false when it failed or the deadline has passed.
    bool Send(HINTERNET request, const char* headers, DWORD length);
    // The deadline closed the request of a Send: the handle is no longer the caller's to close.
    bool ClosedRequest();
    // Stops the timer; true when the deadline passed before.
    bool Stop();

private:
    static void CALLBACK OnExpiry(PTP_CALLBACK_INSTANCE instance, void* self, PTP_TIMER timer);
    void Expire();

    const uint32_t Mark;
    PTP_TIMER Timer = nullptr;
    std::mutex Lock;
    HINTERNET Waiting = nullptr; // the request a Send waits on
    bool Expired = false;
    bool Closed = false;
};
