#include "SystemSha256.h"

#include <windows.h>

#include <bcrypt.h>

// bcrypt.h: NT_SUCCESS lives in the DDK headers.
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

bool SystemSha256(const uint8_t* data, size_t size, uint8_t digest[32])
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!NT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool good = NT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // In 1 MiB pieces, as a file check reads.
    for (size_t at = 0; good && at < size; at += 1 << 20)
    {
        const ULONG piece = static_cast<ULONG>(size - at < (1u << 20) ? size - at : 1u << 20);
        good = NT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(data + at), piece, 0));
    }
    good = good && NT_SUCCESS(BCryptFinishHash(hash, digest, 32, 0));
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return good;
}
