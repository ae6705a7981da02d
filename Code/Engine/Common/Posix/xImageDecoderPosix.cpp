#include "xImageDecoder.h"

#include "xCanvasCairo.h"

#include <cstring>

namespace
{
struct ByteReader
{
    const std::vector<uint8_t>& Bytes;
    size_t At = 0;
};

cairo_status_t ReadBytes(void* closure, unsigned char* data, unsigned int length)
{
    ByteReader& reader = *static_cast<ByteReader*>(closure);
    if (reader.Bytes.size() - reader.At < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader.Bytes.data() + reader.At, length);
    reader.At += length;
    return CAIRO_STATUS_SUCCESS;
}
} // namespace

std::shared_ptr<xImage> DecodeImage(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return nullptr;
    ByteReader reader{bytes};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadBytes, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_width(surface) <= 0 || cairo_image_surface_get_height(surface) <= 0)
    {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::make_shared<xCairoImage>(surface);
}
