#include "Sha256.h"

std::optional<Sha256Digest> Sha256::Of(const void* data, size_t length)
{
    Sha256 hash;
    hash.Update(data, length);
    return hash.Finish();
}

xString Sha256Text(const Sha256Digest& digest)
{
    static const char Digits[] = "0123456789abcdef";
    char text[2 * sizeof(Sha256Digest) + 1];
    for (size_t i = 0; i < digest.size(); ++i)
    {
        text[2 * i] = Digits[digest[i] >> 4];
        text[2 * i + 1] = Digits[digest[i] & 0x0F];
    }
    text[sizeof(text) - 1] = 0;
    return xString(text);
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
