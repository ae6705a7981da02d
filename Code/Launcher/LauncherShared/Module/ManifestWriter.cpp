#include "Manifest.h"
#include "ManifestFormat.h"

#include "xTextConversion.h"

#include <string>

namespace
{
void AppendEscaped(std::string& out, char c)
{
    switch (c)
    {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    case '"':
        out += "&quot;";
        break;
    case '\'':
        out += "&apos;";
        break;
    default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
        else
            out += c;
    }
}

// Attribute text that reads back as written: XML's five special characters and
// every control character (which the parser would otherwise take or stop at) as
// references. WideToUtf8 ends at a zero unit, which a name read from "&#0;"
// holds, so each run between zero units goes on its own.
std::string Escaped(const xWString& text)
{
    std::string out;
    size_t start = 0;
    for (size_t at = 0; at <= text.Length(); ++at)
    {
        if (at < text.Length() && text[at] != 0)
            continue;
        const xString run = WideToUtf8(text.c_str() + start, at - start);
        for (const char c : std::string(run.c_str(), run.Length()))
            AppendEscaped(out, c);
        if (at < text.Length())
            AppendEscaped(out, 0);
        start = at + 1;
    }
    return out;
}

std::string Attribute(const char* name, const std::string& value)
{
    return std::string(" ") + name + "=\"" + value + "\"";
}

std::string Number(const char* name, uint32_t value)
{
    return Attribute(name, std::to_string(value));
}

// xx and sha256, each only where the manifest has it.
std::string OptionalSums(bool xxPresent, uint32_t xx, bool sha256Present, const Sha256Digest& sha256)
{
    std::string sums;
    if (xxPresent)
        sums += Number(ManifestFormat::XxAttribute, xx);
    if (sha256Present)
        sums += Attribute(ManifestFormat::Sha256Attribute, Sha256Text(sha256).c_str());
    return sums;
}
} // namespace

std::string WriteManifestXml(const Manifest& manifest)
{
    using namespace ManifestFormat;
    const PackageInfo& package = manifest.Package;
    std::string xml = std::string("<") + RootElement + Number(TotalSizeAttribute, package.TotalSize) +
                      Number(PackageCrc32cAttribute, package.Crc32c) +
                      OptionalSums(package.XxPresent, package.Xx, package.Sha256Present, package.Sha256) +
                      ">\n";
    for (const ManifestEntry& entry : manifest.Entries)
    {
        xml += std::string("<") + FileElement + Attribute(NameAttribute, Escaped(entry.Name)) +
               Number(OrigSizeAttribute, entry.OrigSize) + Number(OrigCrc32cAttribute, entry.OrigCrc32c) +
               OptionalSums(entry.XxPresent, entry.Xx, entry.Sha256Present, entry.Sha256) +
               Number(StartPosAttribute, entry.StartPos) + Number(DataSizeAttribute, entry.DataSize) +
               Number(CompressedAttribute, entry.Compressed) + "/>\n";
    }
    return xml + "</" + RootElement + ">\n";
}
