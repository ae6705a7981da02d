#include "Manifest.h"
#include "Lzma86.h"
#include "ManifestFormat.h"

#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <rapidxml/rapidxml.hpp>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace
{
using Node = rapidxml::xml_node<char>;
using Attribute = rapidxml::xml_attribute<char>;

// Names of elements and attributes are matched ignoring ASCII case.
Attribute* FindAttribute(Node* node, const char* name)
{
    return node->first_attribute(name, 0, false);
}

uint32_t NumberOf(Node* node, const char* name)
{
    Attribute* attribute = FindAttribute(node, name);
    return attribute ? ReadManifestNumber(attribute->value(), attribute->value_size()) : 0;
}

// Only the exact spelling counts for the optional hash.
Attribute* ExactXx(Node* node)
{
    return node->first_attribute(ManifestFormat::XxAttribute, sizeof(ManifestFormat::XxAttribute) - 1, true);
}

// False, with an error line naming `what`, for a sha256 that is there but
// cannot be read.
bool ReadSha256(Node* node, const char* what, bool& present, Sha256Digest& digest)
{
    Attribute* attribute = FindAttribute(node, ManifestFormat::Sha256Attribute);
    present = attribute != nullptr;
    if (!present || ParseSha256Text(attribute->value(), attribute->value_size(), digest))
        return true;
    LogErrorLine("Manifest %s: its sha256 is not 64 lowercase hex digits", what);
    return false;
}

bool ReadEntry(Node* node, ManifestEntry& entry)
{
    using namespace ManifestFormat;
    if (Attribute* name = FindAttribute(node, NameAttribute))
        entry.Name = Utf8ToWide(name->value(), name->value_size());
    entry.OrigSize = NumberOf(node, OrigSizeAttribute);
    entry.OrigCrc32c = NumberOf(node, OrigCrc32cAttribute);
    if (Attribute* xx = ExactXx(node))
    {
        entry.XxPresent = true;
        entry.Xx = ReadManifestNumber(xx->value(), xx->value_size());
    }
    entry.StartPos = NumberOf(node, StartPosAttribute);
    entry.DataSize = NumberOf(node, DataSizeAttribute);
    entry.Compressed = NumberOf(node, CompressedAttribute);
    const xString what = "entry \"" + xString(entry.Name) + "\"";
    return ReadSha256(node, what.c_str(), entry.Sha256Present, entry.Sha256);
}

bool ReadManifestRoot(Node* root, Manifest& manifest)
{
    using namespace ManifestFormat;
    PackageInfo& package = manifest.Package;
    package.TotalSize = NumberOf(root, TotalSizeAttribute);
    package.Crc32c = NumberOf(root, PackageCrc32cAttribute);
    if (Attribute* xx = ExactXx(root))
    {
        package.XxPresent = true;
        package.Xx = ReadManifestNumber(xx->value(), xx->value_size());
    }
    if (!ReadSha256(root, "package", package.Sha256Present, package.Sha256))
        return false;
    for (Node* child = root->first_node(); child; child = child->next_sibling())
    {
        if (child->type() != rapidxml::node_element ||
            !EqualsNoCase(xString(child->name(), child->name_size()), FileElement))
            continue;
        ManifestEntry entry;
        if (!ReadEntry(child, entry))
            return false;
        manifest.Entries.push_back(std::move(entry));
    }
    return true;
}
} // namespace

uint32_t ReadManifestNumber(const char* text, size_t length)
{
    const std::string copy(text, length);
    errno = 0;
    const unsigned long long value = std::strtoull(copy.c_str(), nullptr, 10);
    if (errno == ERANGE || value > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

bool ParseManifestXml(const uint8_t* text, size_t length, Manifest& manifest)
{
    manifest = Manifest();
    // The parser works in place and needs a terminated text.
    std::vector<char> document(text, text + length);
    document.push_back(0);
    rapidxml::xml_document<char> xml;
    try
    {
        xml.parse<0>(document.data());
    }
    catch (const rapidxml::parse_error& error)
    {
        LogErrorLine("Manifest is no valid XML: %s", error.what());
        return false;
    }
    Node* root = xml.first_node();
    if (root && !ReadManifestRoot(root, manifest))
    {
        manifest = Manifest();
        return false;
    }
    return true;
}

bool ReadManifestContainer(const std::vector<uint8_t>& container, Manifest& manifest)
{
    std::vector<uint8_t> xml;
    if (!DecodeLzma86(container.data(), container.size(), xml))
        return false;
    return ParseManifestXml(xml.data(), xml.size(), manifest);
}
