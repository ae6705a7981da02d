#include "Sha256.h"

#include <openssl/evp.h>

namespace
{
// Fetched once: EVP_sha256() would look the implementation up at every file's start.
const EVP_MD* Sha256Method()
{
    static const EVP_MD* const method = []
    {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return fetched != nullptr ? fetched : EVP_sha256();
    }();
    return method;
}
} // namespace

struct Sha256::State
{
    EVP_MD_CTX* Context = nullptr;
    bool Good = false;

    State() : Context(EVP_MD_CTX_new())
    {
        Good = Context != nullptr && EVP_DigestInit_ex(Context, Sha256Method(), nullptr) == 1;
    }
    ~State() { EVP_MD_CTX_free(Context); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

Sha256::Sha256() : Os(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t length)
{
    if (Os->Good && length > 0)
        Os->Good = EVP_DigestUpdate(Os->Context, data, length) == 1;
}

std::optional<Sha256Digest> Sha256::Finish()
{
    Sha256Digest digest;
    unsigned int size = 0;
    const bool good =
        Os->Good && EVP_DigestFinal_ex(Os->Context, digest.data(), &size) == 1 && size == digest.size();
    Os->Good = false;
    return good ? std::optional<Sha256Digest>(digest) : std::nullopt;
}
