#include "PackageCheck.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "Xxh32.h"

#include "xFile.h"
#include "xStringOps.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace
{
// Big enough to keep the disk busy, small enough to stay in the cache.
constexpr size_t VerifyPieceSize = 1 << 20;

// The named hash of the pieces given so far, in order.
class PieceSum
{
public:
    explicit PieceSum(bool useXx) : UseXx(useXx) {}

    void Add(const uint8_t* data, size_t count)
    {
        if (UseXx)
            Xx.Update(data, count);
        else
            Crc = Crc32c(data, count, Crc);
    }
    uint32_t Result() const { return UseXx ? Xx.Digest() : Crc; }

private:
    bool UseXx;
    uint32_t Crc = 0;
    Xxh32Stream Xx;
};

// Each piece read straight into one buffer, then summed.
bool SumInTurn(xFile& file, uint64_t size, PieceSum& sum)
{
    // Most client files are small: no 1 MiB buffer for a 1 KiB file. Left
    // uninitialised, as every byte is read into before it is summed.
    const size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(size, VerifyPieceSize));
    std::unique_ptr<uint8_t[]> piece(new uint8_t[pieceSize]);
    for (uint64_t left = size; left > 0;)
    {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, pieceSize));
        if (!file.Read(piece.get(), static_cast<int64_t>(count)))
            return false;
        sum.Add(piece.get(), count);
        left -= count;
    }
    return true;
}

// A helper thread reads the next piece while this one sums the last, so with a
// second core the check takes about as long as the slower of the two rather
// than both together.
bool SumOverlapped(xFile& file, uint64_t size, PieceSum& sum)
{
    struct Slot
    {
        std::unique_ptr<uint8_t[]> Bytes{new uint8_t[VerifyPieceSize]};
        size_t Count = 0;
        bool Full = false; // while true only the summing side touches the bytes
    };
    Slot slots[2];
    std::mutex lock;
    std::condition_variable changed;
    bool readFailed = false, stop = false;
    auto readAll = [&]
    {
        uint64_t left = size;
        for (int next = 0; left > 0; next ^= 1)
        {
            Slot& slot = slots[next];
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return !slot.Full || stop; });
                if (stop)
                    return;
            }
            const size_t count = static_cast<size_t>(std::min<uint64_t>(left, VerifyPieceSize));
            const bool read = file.Read(slot.Bytes.get(), static_cast<int64_t>(count));
            {
                std::lock_guard<std::mutex> hold(lock);
                slot.Count = count;
                slot.Full = read;
                readFailed = !read;
            }
            changed.notify_all();
            if (!read)
                return;
            left -= count;
        }
    };
    std::thread reader;
    try
    {
        reader = std::thread(readAll);
    }
    catch (const std::system_error&) // no thread to be had: read and sum in turn
    {
        return SumInTurn(file, size, sum);
    }
    bool complete = true;
    for (uint64_t left = size, next = 0; left > 0; next ^= 1)
    {
        Slot& slot = slots[next];
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return slot.Full || readFailed; });
            if (!slot.Full)
            {
                complete = false;
                break;
            }
        }
        sum.Add(slot.Bytes.get(), slot.Count);
        left -= slot.Count;
        {
            std::lock_guard<std::mutex> hold(lock);
            slot.Full = false;
        }
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        stop = true;
    }
    changed.notify_all();
    reader.join();
    return complete;
}
} // namespace

bool VerifyFile(const xWString& path, uint64_t expectedSize, uint32_t expected, bool useXx)
{
    const xEngineFileSystem& files = LauncherFiles();
    const int64_t size = files.GetFileSize(path);
    if (size < 0 || static_cast<uint64_t>(size) != expectedSize)
        return false;
    // Whole pieces straight into our buffers: the read-ahead reader would copy each byte once more.
    std::unique_ptr<xFile> file = files.OpenReadPlain(path, true);
    if (!file)
        return false;
    PieceSum sum(useXx);
    // A thread costs more than it saves over a piece or two.
    const bool read = expectedSize > 2 * VerifyPieceSize ? SumOverlapped(*file, expectedSize, sum)
                                                         : SumInTurn(*file, expectedSize, sum);
    return read && sum.Result() == expected;
}

bool IsSafeManifestName(const xWString& name)
{
    if (name.IsEmpty() || name.Length() > MaxManifestNameLength || name[0] == u'/')
        return false;
    for (char16_t unit : name)
    {
        if (unit < 0x20 || unit == 0x7F)
            return false;
        if (unit < 0x80 && std::strchr("\\:*?\"<>|", static_cast<char>(unit)) != nullptr)
            return false;
    }
    std::vector<xWString> components;
    SplitText(name, xWString(u"/"), components);
    for (const xWString& component : components)
    {
        if (component.IsEmpty() || component == u"." || component == u"..")
            return false;
        // Windows drops a trailing dot or blank and opens devices by name.
        if (component.Last() == u'.' || component.Last() == u' ' || IsDeviceName(xString(component)))
            return false;
    }
    return true;
}

bool PrefersFullDownload(uint64_t neededBytes, uint64_t totalBytes)
{
    return static_cast<double>(neededBytes) > 0.5 * static_cast<double>(totalBytes);
}
