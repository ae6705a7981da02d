// publish font: packs the font the launcher installs into one Lzma86 container.
#include "PublishCommon.h"
#include "PublishSignature.h"

#include "Crc32c.h"
#include "Lzma86.h"

#include "ToolFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t FontCrc32c = 0x03487F00;

// "0x" and up to eight hex digits, or decimal, as strtoul reads them whole.
bool ParseCrc32c(const std::string& text, uint32_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || parsed > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

} // namespace

int RunFont(int argc, char** argv)
{
    std::string source, out, force, key;
    bool forceGiven = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string* value = option == "--source"         ? &source
                             : option == "--out"          ? &out
                             : option == "--force-crc32c" ? &force
                             : option == "--key"          ? &key
                                                          : nullptr;
        if (value == nullptr)
            return BadUsage(("unknown option " + option).c_str());
        forceGiven = forceGiven || option == "--force-crc32c";
        if (!TakeValue(argc, argv, i, *value))
            return 2;
    }
    if (source.empty() || out.empty())
        return BadUsage("publish font needs --source and --out");
    UpdateSigner signer;
    if (!key.empty() && !signer.Load(key))
        return 1;
    std::vector<uint8_t> font;
    if (!ReadWholeFile(source, font))
    {
        Fail("cannot read %s: %s", source.c_str(), std::strerror(errno));
        return 1;
    }
    if (forceGiven)
    {
        uint32_t target = 0;
        if (!ParseCrc32c(force, target))
            return BadUsage("--force-crc32c takes a 32-bit number such as 0x03487F00");
        uint8_t tail[4];
        Crc32cForcingBytes(Crc32c(font.data(), font.size()), target, tail);
        font.insert(font.end(), tail, tail + 4);
    }
    if (font.empty() || font.size() > Lzma86MaxUnpackedSize)
    {
        Fail("%s: %zu bytes is no font the launcher would unpack", source.c_str(), font.size());
        return 1;
    }
    const uint32_t crc = Crc32c(font.data(), font.size());
    if (crc != FontCrc32c)
        std::fprintf(stderr,
                     "publish: warning: the font's CRC-32C is 0x%08X, the launcher accepts only 0x%08X and "
                     "will fetch it again\n",
                     crc, FontCrc32c);
    Lzma86EncodeOptions options;
    options.Level = 9;
    std::vector<uint8_t> container;
    if (!EncodeLzma86(font.data(), font.size(), false, container, options))
    {
        Fail("compressing %s failed", source.c_str());
        return 1;
    }
    // The signature first, so the font never stands there without it.
    if (signer.IsLoaded() && !signer.WriteSignatureFor(out, container.data(), container.size()))
        return 1;
    if (!WriteAtomically(out, container.data(), container.size()))
        return 1;
    std::printf("publish: %zu bytes packed into %zu: %s\n", font.size(), container.size(), out.c_str());
    return 0;
}
