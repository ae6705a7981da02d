// publish keygen / sign, and the signing every publishing command does with --key.
#include "PublishSignature.h"
#include "PublishCommon.h"
#include "Sha256.h"
#include "UpdateSignature.h"

#include "ToolFiles.h"

#include "xString.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
struct DigestFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree
{
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

bool IsP256(EVP_PKEY* key)
{
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof(group), &length) ==
               1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// The private key is created readable by its owner only from the start (not
// chmod-ed afterwards), and never replaces an existing one.
bool WritePrivateKey(const fs::path& path, EVP_PKEY* key)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0)
    {
        Fail("cannot create %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    FILE* file = fdopen(descriptor, "w");
    if (file == nullptr)
    {
        close(descriptor);
        return false;
    }
    const bool written = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
    {
        Fail("cannot write %s", path.c_str());
        fs::remove(path);
        return false;
    }
    return true;
}
} // namespace

struct UpdateSigner::Key
{
    EVP_PKEY* Handle = nullptr;
    ~Key() { EVP_PKEY_free(Handle); }
};

UpdateSigner::UpdateSigner() = default;
UpdateSigner::~UpdateSigner() = default;

bool UpdateSigner::Load(const fs::path& keyFile)
{
    FILE* file = std::fopen(keyFile.c_str(), "r");
    if (file == nullptr)
    {
        Fail("cannot read the key %s: %s", keyFile.c_str(), std::strerror(errno));
        return false;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (key == nullptr || !IsP256(key))
    {
        EVP_PKEY_free(key);
        Fail("%s is no P-256 private key (make one with publish keygen)", keyFile.c_str());
        return false;
    }
    Private = std::make_unique<Key>();
    Private->Handle = key;
    return true;
}

bool UpdateSigner::IsLoaded() const
{
    return Private != nullptr;
}

bool UpdateSigner::Sign(const std::string& name, const std::vector<uint8_t>& bytes,
                        std::vector<uint8_t>& signature) const
{
    if (!Private)
        return false;
    const std::vector<uint8_t> message =
        UpdateSignedMessage(xString(name.c_str()), bytes.data(), bytes.size());
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    size_t derSize = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, Private->Handle) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &derSize, message.data(), message.size()) != 1)
        return false;
    std::vector<uint8_t> der(derSize);
    if (EVP_DigestSign(context.get(), der.data(), &derSize, message.data(), message.size()) != 1)
        return false;
    // OpenSSL writes DER; the launcher takes r || s, the form CNG verifies.
    const unsigned char* at = der.data();
    std::unique_ptr<ECDSA_SIG, SignatureFree> parts(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(derSize)));
    if (!parts)
        return false;
    signature.assign(UpdateSignatureSize, 0);
    const int half = UpdateSignatureSize / 2;
    return BN_bn2binpad(ECDSA_SIG_get0_r(parts.get()), signature.data(), half) == half &&
           BN_bn2binpad(ECDSA_SIG_get0_s(parts.get()), signature.data() + half, half) == half;
}

namespace
{
bool WriteSignature(const UpdateSigner& signer, const fs::path& file, const std::string& name,
                    const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> signature;
    if (!signer.Sign(name, bytes, signature))
    {
        Fail("cannot sign %s", file.c_str());
        return false;
    }
    fs::path sigPath = file;
    sigPath += UpdateSignatureSuffix;
    return WriteAtomically(sigPath, signature.data(), signature.size());
}
} // namespace

bool UpdateSigner::WriteSignatureFor(const fs::path& file, const void* data, size_t size) const
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return WriteSignature(*this, file, file.filename().u8string(), std::vector<uint8_t>(bytes, bytes + size));
}

bool UpdateSigner::SignFile(const fs::path& file, const std::string& name) const
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, bytes))
    {
        Fail("cannot read %s to sign it: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    return WriteSignature(*this, file, name.empty() ? file.filename().u8string() : name, bytes);
}

int RunKeygen(int argc, char** argv)
{
    std::string out;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option != "--out")
            return BadUsage(("unknown option " + option).c_str());
        if (!TakeValue(argc, argv, i, out))
            return 2;
    }
    if (out.empty())
        return BadUsage("publish keygen needs --out");
    std::error_code error;
    fs::create_directories(out, error);
    const fs::path privatePath = fs::path(out) / "update-key.pem";
    const fs::path publicPath = fs::path(out) / "update-key.pub";
    if (fs::exists(privatePath, error))
    {
        Fail("%s exists; a key pair is never overwritten", privatePath.c_str());
        return 1;
    }
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    uint8_t point[UpdatePublicKeySize] = {};
    size_t length = 0;
    const bool made =
        key != nullptr &&
        EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point), &length) == 1 &&
        length == UpdatePublicKeySize && point[0] == 0x04;
    if (!made)
    {
        EVP_PKEY_free(key);
        Fail("cannot make a P-256 key pair");
        return 1;
    }
    const bool written = WritePrivateKey(privatePath, key);
    EVP_PKEY_free(key);
    if (!written)
        return 1;
    const std::string line = std::string(HexText(point, sizeof(point)).c_str()) + "\n";
    if (!WriteAtomically(publicPath, line.data(), line.size()))
        return 1;
    std::printf("publish: private key %s (keep it secret), public key %s:\n%s", privatePath.c_str(),
                publicPath.c_str(), line.c_str());
    return 0;
}

int RunSign(int argc, char** argv)
{
    std::string key, file, name;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string* value = option == "--key"    ? &key
                             : option == "--file" ? &file
                             : option == "--name" ? &name
                                                  : nullptr;
        if (value == nullptr)
            return BadUsage(("unknown option " + option).c_str());
        if (!TakeValue(argc, argv, i, *value))
            return 2;
    }
    if (key.empty() || file.empty())
        return BadUsage("publish sign needs --key and --file");
    UpdateSigner signer;
    if (!signer.Load(key) || !signer.SignFile(file, name))
        return 1;
    std::printf("publish: signed %s\n", file.c_str());
    return 0;
}
