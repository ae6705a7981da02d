#include "SystemSha256.h"

#include <openssl/evp.h>

bool SystemSha256(const uint8_t* data, size_t size, uint8_t digest[32])
{
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}
