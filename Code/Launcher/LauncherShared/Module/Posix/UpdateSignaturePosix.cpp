#include "UpdateSignature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

namespace
{
struct KeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree
{
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree
{
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

std::unique_ptr<EVP_PKEY, KeyFree> PublicKey(const uint8_t* point)
{
    std::unique_ptr<EVP_PKEY_CTX, ContextFree> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    char group[] = "prime256v1";
    OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                               OSSL_PARAM_construct_octet_string(
                                   OSSL_PKEY_PARAM_PUB_KEY, const_cast<uint8_t*>(point), UpdatePublicKeySize),
                               OSSL_PARAM_construct_end()};
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, parameters) != 1)
        return nullptr;
    return std::unique_ptr<EVP_PKEY, KeyFree>(key);
}
} // namespace

bool VerifyP256Sha256(const uint8_t* point, const uint8_t* message, size_t messageSize,
                      const uint8_t* signature)
{
    std::unique_ptr<EVP_PKEY, KeyFree> key = PublicKey(point);
    if (!key)
        return false;
    // OpenSSL takes the DER form; the wire form is CNG's r || s.
    std::unique_ptr<ECDSA_SIG, SignatureFree> parts(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
    if (!parts || r == nullptr || s == nullptr || ECDSA_SIG_set0(parts.get(), r, s) != 1)
    {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(parts.get(), &der);
    if (derSize <= 0)
        return false;
    std::unique_ptr<EVP_MD_CTX, DigestFree> digest(EVP_MD_CTX_new());
    const bool good =
        digest && EVP_DigestVerifyInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
        EVP_DigestVerify(digest.get(), der, static_cast<size_t>(derSize), message, messageSize) == 1;
    OPENSSL_free(der);
    return good;
}
