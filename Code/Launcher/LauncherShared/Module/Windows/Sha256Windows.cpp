#include "BuiltInSha256.h"
#include "Sha256.h"

// CNG would do (BCryptCreateHash, BCryptHashData), but under Wine it hashes
// about 20 MB/s: a check of a 1 GiB client would take most of a minute.
struct Sha256::State
{
    BuiltInSha256 Hash;
};

Sha256::Sha256() : Os(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t length)
{
    Os->Hash.Update(data, length);
}

std::optional<Sha256Digest> Sha256::Finish()
{
    return Os->Hash.Finish();
}
