#include "Sha256.h"

std::optional<Sha256Digest> Sha256::Of(const void* data, size_t length)
{
    Sha256 hash;
    hash.Update(data, length);
    return hash.Finish();
}

xString HexText(const uint8_t* bytes, size_t size)
{
    static const char Digits[] = "0123456789abcdef";
    xString text;
    for (size_t i = 0; i < size; ++i)
    {
        text += Digits[bytes[i] >> 4];
        text += Digits[bytes[i] & 0x0F];
    }
    return text;
}

xString Sha256Text(const Sha256Digest& digest)
{
    return HexText(digest.data(), digest.size());
}

bool ParseSha256Text(const char* text, size_t length, Sha256Digest& digest)
{
    if (length != 2 * digest.size())
        return false;
    // Lowercase only: one spelling per digest, so a manifest says it one way.
    const auto value = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    Sha256Digest parsed;
    for (size_t i = 0; i < parsed.size(); ++i)
    {
        const int high = value(text[2 * i]);
        const int low = value(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed[i] = static_cast<uint8_t>(high << 4 | low);
    }
    digest = parsed;
    return true;
}
