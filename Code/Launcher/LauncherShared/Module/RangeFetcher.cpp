#include "RangeFetcher.h"
#include "LauncherDownloadInternal.h"
#include "SpanSink.h"

#include "xLogLine.h"

#include <new>
#include <optional>
#include <utility>

using namespace LauncherDownloadInternal;

namespace
{
// `buffer` resized to `length` and zero-filled; false, with an error line and
// the buffer empty, for a range longer than any package or one no memory holds.
bool MakeRoom(const xString& url, uint64_t start, uint64_t length, std::vector<uint8_t>& buffer)
{
    // A hostile manifest may name ranges of gigabytes: none is larger than a
    // package the launcher takes, and one that still finds no memory fails alone.
    if (length > MaxRangeBytes)
    {
        LogErrorLine("the range of %llu bytes at %llu of %s is larger than any package; not fetched",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(start),
                     url.c_str());
        buffer.clear();
        return false;
    }
    try
    {
        buffer.assign(static_cast<size_t>(length), 0);
    }
    catch (const std::bad_alloc&)
    {
        LogErrorLine("no memory for the range of %llu bytes at %llu of %s; not fetched",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(start),
                     url.c_str());
        std::vector<uint8_t>().swap(buffer);
        return false;
    }
    return true;
}
} // namespace

struct RangeFetcher::State
{
    Target Remote;
    bool Opened = false;
    int64_t Whole = -1;
    // An answer that ignored its range and brings the whole file, left open at
    // byte WholeAt: later ranges are read on from it instead of asking again.
    std::unique_ptr<xHttpRequest> WholeAnswer;
    uint64_t WholeAt = 0;

    // Bytes start .. start + length - 1 into the sink: read on from the whole
    // answer where it stands before them, else asked as a range. Nothing when
    // no answer that carries them came.
    std::optional<BodyEnd> ReadRange(const xString& url, uint64_t start, uint64_t length, DownloadSink& sink,
                                     uint64_t& counted)
    {
        if (WholeAnswer && start >= WholeAt)
            return TransferBody(*WholeAnswer, start - WholeAt, length, sink, counted, nullptr);
        WholeAnswer.reset();
        return AskRange(url, start, length, sink, counted);
    }

    std::optional<BodyEnd> AskRange(const xString& url, uint64_t start, uint64_t length, DownloadSink& sink,
                                    uint64_t& counted)
    {
        // Kept alive: the next range goes over the same connection.
        std::unique_ptr<xHttpRequest> request = Remote.Connection->OpenRequest(
            "GET", Remote.Parts.Path.c_str(), "HTTP/1.1", AnyType, xHttpFlagKeepConnection);
        uint64_t skip = 0;
        if (!request || !request->Send(MakeRangeHeader(start, length).c_str()) ||
            !AcceptRangedAnswer(*request, start, length, static_cast<uint64_t>(Whole), url, skip))
            return std::nullopt;
        const BodyEnd end = TransferBody(*request, skip, length, sink, counted, nullptr);
        const int status = request->StatusCode();
        if (status == 206)
        {
            // Reading on to the answer's end hands the connection back for the
            // next request; an answer longer than asked cannot carry one.
            uint8_t more = 0;
            if (end == BodyEnd::Ended && counted == length && request->Read(&more, 1) > 0)
                LogErrorLine("the answer ran past its range: %s", url.c_str());
        }
        else if (IsSuccess(status))
            WholeAnswer = std::move(request);
        return end;
    }

    // The whole answer stays for the next range only when this one came whole from it.
    void KeepWholeAnswer(uint64_t start, uint64_t length, uint64_t counted)
    {
        if (!WholeAnswer)
            return;
        if (counted == length)
            WholeAt = start + length;
        else
            WholeAnswer.reset();
    }
};

RangeFetcher::RangeFetcher(UpdateContext& context, const xString& url)
    : Context(context), Url(url), Os(std::make_unique<State>())
{
}

RangeFetcher::~RangeFetcher() = default;

int64_t RangeFetcher::RemoteSize()
{
    State& state = *Os;
    if (state.Whole >= 0)
        return state.Whole;
    // The connection object outlives a dropped socket: the transport connects
    // again on the next request.
    if (!state.Opened)
        state.Opened = OpenTarget(Url, state.Remote);
    if (!state.Opened)
        return -1;
    state.Whole = QueryRemoteSize(state.Remote.Connection.get(), state.Remote.Parts.Path.c_str());
    if (state.Whole >= 0)
        LogLine("file size: %d", Low32(static_cast<uint64_t>(state.Whole)));
    return state.Whole;
}

uint64_t RangeFetcher::Fetch(uint64_t start, uint64_t length, std::vector<uint8_t>& buffer,
                             const std::vector<ByteRange>& progress)
{
    State& state = *Os;
    const int64_t whole = RemoteSize();
    if (whole < 0 || !MakeRoom(Url, start, length, buffer))
        return 0;
    const xString endText = SignedText(static_cast<int64_t>(start + length - 1));
    SpanSink sink(buffer, start, progress, Context.Progress.PackageBytesReceived);
    uint64_t counted = 0;
    const std::optional<BodyEnd> end = state.ReadRange(Url, start, length, sink, counted);
    if (!end)
        return 0;
    if (*end == BodyEnd::Ended)
        LogLine("start position: %d   block end: %s  finish.", Low32(start), endText.c_str());
    LogBodyFailure(*end, Url);
    state.KeepWholeAnswer(start, length, counted);
    if (counted == static_cast<uint64_t>(whole))
        LogLine("file buffer complete");
    return counted;
}
