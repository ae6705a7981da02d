// Any bytes as the manifest's XML. A refused text leaves no manifest behind; an
// accepted one, written out again the way the publisher writes manifests, reads
// back to the same package and entries.
#include "FuzzCheck.h"
#include "Manifest.h"

#include "xTextConversion.h"

#include <string>

namespace
{
// Every character outside plain ASCII as a character reference, so any name survives.
void AppendEscaped(std::string& xml, const xWString& text)
{
    for (size_t i = 0; i < text.Length(); ++i)
    {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.Length() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
        {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const bool plain = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                           (code >= '0' && code <= '9') || code == '/' || code == '.' || code == '_';
        if (plain)
            xml += static_cast<char>(code);
        else
            xml += "&#" + std::to_string(code) + ";";
    }
}

std::string Number(const char* name, uint32_t value)
{
    return std::string(" ") + name + "=\"" + std::to_string(value) + "\"";
}

std::string Rewrite(const Manifest& manifest)
{
    std::string xml = "<package" + Number("totalSize", manifest.Package.TotalSize) +
                      Number("crc32c", manifest.Package.Crc32c);
    if (manifest.Package.XxPresent)
        xml += Number("xx", manifest.Package.Xx);
    xml += ">\n";
    for (const ManifestEntry& entry : manifest.Entries)
    {
        xml += "<file name=\"";
        AppendEscaped(xml, entry.Name);
        xml += "\"" + Number("origSize", entry.OrigSize) + Number("origCRC32C", entry.OrigCrc32c);
        if (entry.XxPresent)
            xml += Number("xx", entry.Xx);
        xml += Number("startPos", entry.StartPos) + Number("dataSize", entry.DataSize) +
               Number("bCompressed", entry.Compressed) + "/>\n";
    }
    return xml + "</package>\n";
}

bool SameEntry(const ManifestEntry& a, const ManifestEntry& b)
{
    return a.Name == b.Name && a.XxPresent == b.XxPresent && a.OrigSize == b.OrigSize &&
           a.OrigCrc32c == b.OrigCrc32c && a.Xx == b.Xx && a.StartPos == b.StartPos &&
           a.DataSize == b.DataSize && a.Compressed == b.Compressed;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Manifest manifest;
    manifest.Entries.resize(1);
    if (!ParseManifestXml(data, size, manifest))
    {
        FUZZ_CHECK(manifest.Entries.empty() && manifest.Package.TotalSize == 0 &&
                   !manifest.Package.XxPresent);
        return 0;
    }
    // Each entry is an element of its own, so each took at least "<file/>" of the text.
    FUZZ_CHECK(manifest.Entries.size() * 7 <= size);

    const std::string rewritten = Rewrite(manifest);
    Manifest again;
    FUZZ_CHECK(ParseManifestXml(reinterpret_cast<const uint8_t*>(rewritten.data()), rewritten.size(), again));
    FUZZ_CHECK(again.Package.TotalSize == manifest.Package.TotalSize);
    FUZZ_CHECK(again.Package.Crc32c == manifest.Package.Crc32c);
    FUZZ_CHECK(again.Package.XxPresent == manifest.Package.XxPresent);
    FUZZ_CHECK(again.Package.Xx == manifest.Package.Xx);
    FUZZ_CHECK(again.Entries.size() == manifest.Entries.size());
    for (size_t i = 0; i < again.Entries.size(); ++i)
        FUZZ_CHECK(SameEntry(again.Entries[i], manifest.Entries[i]));

    // A number in the text reads as itself, with blanks before it or not.
    if (size >= 4)
    {
        const uint32_t value = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                               (static_cast<uint32_t>(data[3]) << 24);
        const std::string text = (data[0] & 1 ? " " : "") + std::to_string(value);
        FUZZ_CHECK(ReadManifestNumber(text.data(), text.size()) == value);
    }
    return 0;
}
