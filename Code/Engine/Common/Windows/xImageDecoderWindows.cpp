#include "xImageDecoder.h"

#include "Windows/xCanvasGdiPlus.h"

#include <objidl.h>

#include <cstring>

namespace
{
struct StreamReleaser
{
    void operator()(IStream* stream) const { stream->Release(); }
};
using StreamHandle = std::unique_ptr<IStream, StreamReleaser>;

// A global memory block until a stream takes it over.
class GlobalBlock
{
public:
    explicit GlobalBlock(size_t size) : Block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)) {}
    ~GlobalBlock()
    {
        if (Block != nullptr)
            GlobalFree(Block);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    HGLOBAL Get() const { return Block; }
    HGLOBAL Release()
    {
        HGLOBAL block = Block;
        Block = nullptr;
        return block;
    }

private:
    HGLOBAL Block;
};
} // namespace

std::shared_ptr<xImage> DecodeImage(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty() || !xGdiPlus::Start())
        return nullptr;
    GlobalBlock block(bytes.size());
    if (block.Get() == nullptr)
        return nullptr;
    void* data = GlobalLock(block.Get());
    if (data == nullptr)
        return nullptr;
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(block.Get());

    IStream* created = nullptr;
    // TRUE: the stream frees the block when its last reference goes.
    if (FAILED(CreateStreamOnHGlobal(block.Get(), TRUE, &created)))
        return nullptr;
    block.Release();
    StreamHandle stream(created);

    // The image takes its own reference on the stream: its data must stay while
    // the image lives, as GDI+ may decode lazily.
    Gdiplus::GpImage* image = nullptr;
    if (Gdiplus::DllExports::GdipLoadImageFromStream(stream.get(), &image) != Gdiplus::Ok)
        return nullptr;
    return std::make_shared<xGdiPlusImage>(xGdiImageHandle(image));
}
