#include "UpdateSignature.h"
#include "LauncherDownload.h"
#include "UrlParts.h"

#include "xLogLine.h"

#include <cstring>
#include <mutex>

#ifndef LAUNCHER_UPDATE_PUBLIC_KEY
#define LAUNCHER_UPDATE_PUBLIC_KEY ""
#endif

namespace
{
const char SignatureContext[] = "launcher-update-signature-v1";

// A signature file holds 64 bytes; anything much larger is not one.
constexpr size_t MaxSignatureFileBytes = 1024;

std::mutex VerifierLock;

UpdateVerifier& ProcessVerifier()
{
    static UpdateVerifier verifier = []
    {
        std::vector<uint8_t> point;
        // The build refuses a malformed key at configure time, so an empty
        // point here means no key was given.
        ParseUpdatePublicKey(LAUNCHER_UPDATE_PUBLIC_KEY, point);
        return UpdateVerifier(point);
    }();
    return verifier;
}
} // namespace

std::vector<uint8_t> UpdateSignedMessage(const xString& name, const uint8_t* bytes, size_t size)
{
    // Context and name each end with their zero byte.
    const size_t nameAt = sizeof(SignatureContext);
    const size_t bytesAt = nameAt + name.Length() + 1;
    std::vector<uint8_t> message(bytesAt + size, 0);
    std::memcpy(message.data(), SignatureContext, sizeof(SignatureContext));
    std::memcpy(message.data() + nameAt, name.c_str(), name.Length());
    if (size > 0)
        std::memcpy(message.data() + bytesAt, bytes, size);
    return message;
}

bool ParseUpdatePublicKey(const xString& text, std::vector<uint8_t>& point)
{
    point.clear();
    if (text.Length() != UpdatePublicKeySize * 2)
        return false;
    std::vector<uint8_t> parsed;
    for (size_t i = 0; i < text.Length(); i += 2)
    {
        const int high = HexDigitValue(text.c_str()[i]);
        const int low = HexDigitValue(text.c_str()[i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    if (parsed[0] != 0x04)
        return false;
    point = parsed;
    return true;
}

const char* SignatureCheckText(SignatureCheck check)
{
    switch (check)
    {
    case SignatureCheck::Good:
        return "the signature is good";
    case SignatureCheck::Missing:
        return "no signature";
    case SignatureCheck::Malformed:
        return "the signature is not 64 bytes";
    case SignatureCheck::Bad:
        return "the signature does not match the file, its name or the key";
    }
    return "unknown";
}

SignatureCheck UpdateVerifier::Check(const xString& name, const uint8_t* bytes, size_t size,
                                     const std::vector<uint8_t>* signature) const
{
    if (!IsOn())
        return SignatureCheck::Good;
    if (signature == nullptr)
        return SignatureCheck::Missing;
    if (signature->size() != UpdateSignatureSize)
        return SignatureCheck::Malformed;
    const std::vector<uint8_t> message = UpdateSignedMessage(name, bytes, size);
    return VerifyP256Sha256(Point.data(), message.data(), message.size(), signature->data())
               ? SignatureCheck::Good
               : SignatureCheck::Bad;
}

UpdateVerifier GetUpdateVerifier()
{
    std::lock_guard<std::mutex> hold(VerifierLock);
    return ProcessVerifier();
}

void SetUpdateVerifier(const UpdateVerifier& verifier)
{
    std::lock_guard<std::mutex> hold(VerifierLock);
    ProcessVerifier() = verifier;
}

namespace
{
bool Report(const xString& name, SignatureCheck check)
{
    if (check == SignatureCheck::Good)
    {
        LogLine("Update signature verified: %s", name.c_str());
        return true;
    }
    LogErrorLine("Update signature refused for %s: %s; nothing is taken from it", name.c_str(),
                 SignatureCheckText(check));
    return false;
}
} // namespace

bool CheckUpdateSignature(const xString& url, const xString& name, const uint8_t* bytes, size_t size)
{
    std::vector<uint8_t> signature;
    return FetchUpdateSignature(url, name, signature) && CheckFetchedSignature(name, bytes, size, signature);
}

bool FetchUpdateSignature(const xString& url, const xString& name, std::vector<uint8_t>& signature)
{
    signature.clear();
    if (!GetUpdateVerifier().IsOn() ||
        FetchBytes(url + UpdateSignatureSuffix, MaxSignatureFileBytes, signature))
        return true;
    return Report(name, SignatureCheck::Missing);
}

bool CheckFetchedSignature(const xString& name, const uint8_t* bytes, size_t size,
                           const std::vector<uint8_t>& signature)
{
    const UpdateVerifier verifier = GetUpdateVerifier();
    return !verifier.IsOn() || Report(name, verifier.Check(name, bytes, size, &signature));
}

bool FetchVerifiedText(const xString& url, xString& text)
{
    std::vector<uint8_t> bytes;
    xString name;
    if (!FetchBytes(url, MaxSignedTextBytes, bytes) || !GetUrlFileName(url, name))
        return false;
    if (!CheckUpdateSignature(url, name, bytes.data(), bytes.size()))
        return false;
    text = xString(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
}
