#include "Windows/xCanvasGdiPlus.h"

#include "Windows/xWin32Text.h"
#include "xTextFit.h"

#include <vector>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace
{
struct BrushDeleter
{
    void operator()(GpSolidFill* brush) const { GdipDeleteBrush(brush); }
};
struct StringFormatDeleter
{
    void operator()(GpStringFormat* format) const { GdipDeleteStringFormat(format); }
};
struct FontFamilyDeleter
{
    void operator()(GpFontFamily* family) const { GdipDeleteFontFamily(family); }
};
using BrushHandle = std::unique_ptr<GpSolidFill, BrushDeleter>;
using StringFormatHandle = std::unique_ptr<GpStringFormat, StringFormatDeleter>;
using FontFamilyHandle = std::unique_ptr<GpFontFamily, FontFamilyDeleter>;

using FontObjectHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, xGdiPlusDetail::GdiObjectDeleter>;

// Whether the face has a glyph for every letter of `sample`.
bool FaceHasGlyphs(HDC dc, const wchar_t* face, const xWString& sample)
{
    LOGFONTW request = {};
    request.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(request.lfFaceName, face, LF_FACESIZE);
    FontObjectHandle font(CreateFontIndirectW(&request));
    if (!font)
        return false;
    const HGDIOBJ previous = SelectObject(dc, font.get());
    std::vector<WORD> glyphs(sample.Length());
    const DWORD mapped = GetGlyphIndicesW(dc, WinText(sample), static_cast<int>(sample.Length()),
                                          glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    if (mapped != sample.Length())
        return false;
    for (WORD glyph : glyphs)
        if (glyph == 0xFFFF)
            return false;
    return true;
}

// Installed faces listed for simplified Chinese that also have Latin letters,
// digits and the ellipsis, in the order GDI lists them: the skin's texts mix
// them ("正在更新 42%"). The code page bits of a face's signature are no guide:
// some Chinese fallback faces claim Latin and lack it.
std::vector<xWString> ChineseAndLatinFaces()
{
    struct Search
    {
        std::vector<xWString> Faces;
        static int CALLBACK Visit(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM self)
        {
            // '@' marks the vertical-writing twin of a face.
            if (font->lfFaceName[0] != L'@')
                reinterpret_cast<Search*>(self)->Faces.push_back(FromWinText(font->lfFaceName));
            return 1;
        }
    } search;
    xMemoryDcHandle dc(CreateCompatibleDC(nullptr));
    if (!dc)
        return {};
    LOGFONTW request = {};
    request.lfCharSet = GB2312_CHARSET;
    EnumFontFamiliesExW(dc.get(), &request, &Search::Visit, reinterpret_cast<LPARAM>(&search), 0);
    std::vector<xWString> usable;
    for (const xWString& face : search.Faces)
        if (FaceHasGlyphs(dc.get(), WinText(face), u"Az09%更新\u2026"))
            usable.push_back(face);
    return usable;
}

// As GDI+'s own Font class does: the named family, else the generic sans-serif
// one. Wine's GDI+ may know neither (its sans-serif is Microsoft Sans Serif or
// Tahoma, and it lists only the host's fonts), so last comes an installed face
// that has Latin and Chinese letters: text that draws beats text that does not.
xGdiFontHandle CreateSkinFont(const char16_t* family, float pixels)
{
    GpFontFamily* found = nullptr;
    if (GdipCreateFontFamilyFromName(WinText(family), nullptr, &found) != Ok &&
        GdipGetGenericFontFamilySansSerif(&found) != Ok)
    {
        found = nullptr;
        for (const xWString& face : ChineseAndLatinFaces())
            if (GdipCreateFontFamilyFromName(WinText(face), nullptr, &found) == Ok)
                break;
            else
                found = nullptr;
        if (found == nullptr)
            return nullptr;
    }
    // The generic families are shared; deleting them is allowed and does nothing.
    FontFamilyHandle owner(found);
    GpFont* font = nullptr;
    if (GdipCreateFont(found, pixels, FontStyleRegular, UnitPixel, &font) != Ok)
        return nullptr;
    return xGdiFontHandle(font);
}

// One line, left-aligned, centred vertically, ending in an ellipsis character
// when it does not fit.
StringFormatHandle CreateLineFormat()
{
    GpStringFormat* format = nullptr;
    if (GdipCreateStringFormat(StringFormatFlagsNoWrap, LANG_NEUTRAL, &format) != Ok)
        return nullptr;
    StringFormatHandle owner(format);
    GdipSetStringFormatAlign(format, StringAlignmentNear);
    GdipSetStringFormatLineAlign(format, StringAlignmentCenter);
    GdipSetStringFormatTrimming(format, StringTrimmingEllipsisCharacter);
    return owner;
}
} // namespace

// A function-local static rather than a global: it starts on first use from
// whichever thread and translation unit comes first (no static-initialisation
// order to get wrong, and nothing for the linker to drop from a static
// library), and being built before any picture exists it is destroyed after
// every picture held by later statics.
xGdiPlus& xGdiPlus::Instance()
{
    static xGdiPlus instance;
    return instance;
}

xGdiPlus::xGdiPlus()
{
    GdiplusStartupInput input; // version 1, no debug callback, background thread on
    Started = GdiplusStartup(&Token, &input, nullptr) == Ok;
    if (!Started)
        return;
    NormalFont = CreateSkinFont(u"宋体", 12.0f);
    LargeFont = CreateSkinFont(u"黑体", 14.0f);
}

xGdiPlus::~xGdiPlus()
{
    if (!Started)
        return;
    NormalFont.reset();
    LargeFont.reset();
    GdiplusShutdown(Token);
}

bool xGdiPlus::Start()
{
    return Instance().Started;
}

GpFont* xGdiPlus::Font(xSkinFont font)
{
    xGdiPlus& gdiPlus = Instance();
    return font == xSkinFont::Large ? gdiPlus.LargeFont.get() : gdiPlus.NormalFont.get();
}

xGdiPlusImage::xGdiPlusImage(xGdiImageHandle image) : Image(std::move(image))
{
    UINT width = 0;
    UINT height = 0;
    GdipGetImageWidth(Image.get(), &width);
    GdipGetImageHeight(Image.get(), &height);
    ImageWidth = static_cast<int32_t>(width);
    ImageHeight = static_cast<int32_t>(height);
}

xCanvasGdiPlus::xCanvasGdiPlus(HDC dc)
{
    if (!xGdiPlus::Start())
    {
        Status = GdiplusNotInitialized;
        return;
    }
    GpGraphics* graphics = nullptr;
    Status = GdipCreateFromHDC(dc, &graphics);
    if (Status == Ok)
        Graphics.reset(graphics);
}

void xCanvasGdiPlus::DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX,
                                   int32_t sourceY, int32_t width, int32_t height)
{
    const xGdiPlusImage* picture = dynamic_cast<const xGdiPlusImage*>(&image);
    if (!Graphics || picture == nullptr)
        return;
    // Same size on both sides: drawn pixel for pixel, never scaled.
    Status = GdipDrawImageRectRectI(Graphics.get(), picture->Get(), x, y, width, height, sourceX, sourceY,
                                    width, height, UnitPixel, nullptr, nullptr, nullptr);
}

void xCanvasGdiPlus::DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width,
                                        int32_t height)
{
    const xGdiPlusImage* picture = dynamic_cast<const xGdiPlusImage*>(&image);
    if (!Graphics || picture == nullptr || width <= 0 || height <= 0)
        return;
    GpImageAttributes* attributes = nullptr;
    if (GdipCreateImageAttributes(&attributes) != Ok)
        return;
    // Tiling at the edges keeps bilinear scaling from blending the border with nothing.
    GdipSetImageAttributesWrapMode(attributes, WrapModeTile, 0xFF000000u, FALSE);
    GdipSetInterpolationMode(Graphics.get(), InterpolationModeBilinear);
    Status =
        GdipDrawImageRectRectI(Graphics.get(), picture->Get(), x, y, width, height, 0, 0, picture->Width(),
                               picture->Height(), UnitPixel, attributes, nullptr, nullptr);
    GdipDisposeImageAttributes(attributes);
}

void xCanvasGdiPlus::DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect,
                                  xSkinFont font)
{
    GpFont* gdiFont = xGdiPlus::Font(font);
    if (!Graphics || gdiFont == nullptr)
        return;
    // COLORREF 0x00BBGGRR to ARGB 0xFFRRGGBB.
    const ARGB argb = 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
    GpSolidFill* brush = nullptr;
    Status = GdipCreateSolidFill(argb, &brush);
    if (Status != Ok)
        return;
    BrushHandle brushOwner(brush);
    StringFormatHandle format = CreateLineFormat();
    if (!format)
        return;
    // Wine's GDI+ ignores the ellipsis trimming and cuts a long line at the edge,
    // so the line is fitted here, measured as it is drawn (one line, same format);
    // Windows' own trimming then finds nothing left to do.
    const RectF unbounded(0.0f, 0.0f, 100000.0f, 1000.0f);
    auto measure = [&](const xWString& line)
    {
        RectF bounds(0.0f, 0.0f, 0.0f, 0.0f);
        if (GdipMeasureString(Graphics.get(), WinText(line), -1, gdiFont, &unbounded, format.get(), &bounds,
                              nullptr, nullptr) != Ok)
            return 0.0f;
        return bounds.Width;
    };
    // GDI+ takes a zero width as no limit.
    const xWString line = rect.Width > 0.0f ? FitTextToWidth(text, rect.Width, measure) : text;
    const RectF layout(rect.X, rect.Y, rect.Width, rect.Height);
    Status = GdipDrawString(Graphics.get(), WinText(line), -1, gdiFont, &layout, format.get(), brush);
}

float xCanvasGdiPlus::MeasureTextWidth(const xWString& text, xSkinFont font)
{
    GpFont* gdiFont = xGdiPlus::Font(font);
    if (!Graphics || gdiFont == nullptr)
        return 0.0f;
    const RectF layout(0.0f, 0.0f, 200.0f, 200.0f);
    RectF bounds(0.0f, 0.0f, 0.0f, 0.0f);
    Status = GdipMeasureString(Graphics.get(), WinText(text), -1, gdiFont, &layout, nullptr, &bounds, nullptr,
                               nullptr);
    return Status == Ok ? bounds.Width : 0.0f;
}

xDibSurface::xDibSurface(int32_t width, int32_t height) : SurfaceWidth(width), SurfaceHeight(height)
{
    if (width <= 0 || height <= 0)
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDc.reset(CreateCompatibleDC(nullptr));
    if (!Bitmap || !MemoryDc || bits == nullptr)
        return;
    PreviousBitmap = SelectObject(MemoryDc.get(), Bitmap.get());
    Bits = static_cast<uint32_t*>(bits);
}

xDibSurface::~xDibSurface()
{
    // A bitmap still selected into a context cannot be deleted.
    if (PreviousBitmap != nullptr)
        SelectObject(MemoryDc.get(), PreviousBitmap);
}
