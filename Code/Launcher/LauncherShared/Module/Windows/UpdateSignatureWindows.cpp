#include "UpdateSignature.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <vector>

// bcrypt.h: NT_SUCCESS lives in the DDK headers.
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

namespace
{
class Algorithm
{
public:
    explicit Algorithm(LPCWSTR name)
    {
        if (!NT_SUCCESS(BCryptOpenAlgorithmProvider(&Handle, name, nullptr, 0)))
            Handle = nullptr;
    }
    ~Algorithm()
    {
        if (Handle != nullptr)
            BCryptCloseAlgorithmProvider(Handle, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE Handle = nullptr;
};

// Owns one key or hash object; `Destroy` is the call that frees it.
template <typename Object, NTSTATUS(WINAPI* Destroy)(Object)> class CngObject
{
public:
    CngObject() = default;
    ~CngObject()
    {
        if (Handle != nullptr)
            Destroy(Handle);
    }
    CngObject(const CngObject&) = delete;
    CngObject& operator=(const CngObject&) = delete;
    Object Handle = nullptr;
};
using Key = CngObject<BCRYPT_KEY_HANDLE, BCryptDestroyKey>;
using Hash = CngObject<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;

// BCryptHash needs Windows 10; the three calls work from Windows 7 on.
bool Sha256(const uint8_t* message, size_t size, uint8_t (&digest)[32])
{
    Algorithm sha(BCRYPT_SHA256_ALGORITHM);
    Hash hash;
    if (sha.Handle == nullptr ||
        !NT_SUCCESS(BCryptCreateHash(sha.Handle, &hash.Handle, nullptr, 0, nullptr, 0, 0)))
        return false;
    // BCryptHashData takes at most 4 GiB a call.
    while (size > 0)
    {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!NT_SUCCESS(BCryptHashData(hash.Handle, const_cast<PUCHAR>(message), piece, 0)))
            return false;
        message += piece;
        size -= piece;
    }
    return NT_SUCCESS(BCryptFinishHash(hash.Handle, digest, sizeof(digest), 0));
}
} // namespace

bool VerifyP256Sha256(const uint8_t* point, const uint8_t* message, size_t messageSize,
                      const uint8_t* signature)
{
    uint8_t digest[32];
    if (!Sha256(message, messageSize, digest))
        return false;
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    if (ecdsa.Handle == nullptr)
        return false;
    // BCRYPT_ECCPUBLIC_BLOB: the header, then x and y without the point's 0x04.
    std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), point + 1, 64);
    Key key;
    if (!NT_SUCCESS(BCryptImportKeyPair(ecdsa.Handle, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key.Handle,
                                        blob.data(), static_cast<ULONG>(blob.size()), 0)))
        return false;
    return NT_SUCCESS(BCryptVerifySignature(key.Handle, nullptr, digest, sizeof(digest),
                                            const_cast<PUCHAR>(signature), UpdateSignatureSize, 0));
}
