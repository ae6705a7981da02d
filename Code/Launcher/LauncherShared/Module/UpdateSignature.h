#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Signed updates: what the launcher fetches to decide what to write or start
// (a manifest, a version file, a launcher build) may carry a detached ECDSA
// P-256 / SHA-256 signature in "<name>.sig" beside it, 64 bytes r || s. A build
// configured with a public key (LAUNCHER_UPDATE_PUBLIC_KEY) refuses such a file
// when the signature is missing or does not verify; a build without one checks
// nothing. The manifest's checksums carry the signature on to every client file.
//
// The signed message binds the file's name to its bytes, so that a file signed
// for one name (another version's manifest) is refused under another:
//   "launcher-update-signature-v1", a zero byte, the name (UTF-8), a zero byte,
//   then the file's bytes.
// The publisher builds the same message (Tools/publish).

constexpr size_t UpdatePublicKeySize = 65; // 0x04, x, y: the uncompressed point
constexpr size_t UpdateSignatureSize = 64; // r, s: big-endian, 32 bytes each
// The signature file's name: the signed file's with this after it.
constexpr char UpdateSignatureSuffix[] = ".sig";
// Version files are small; a larger answer is not one.
constexpr size_t MaxSignedTextBytes = 64 * 1024;

std::vector<uint8_t> UpdateSignedMessage(const xString& name, const uint8_t* bytes, size_t size);

// The key's text as the build takes it: 130 hex digits (either case) of the
// uncompressed point, which starts with 04. False for anything else.
bool ParseUpdatePublicKey(const xString& text, std::vector<uint8_t>& point);

// The platform part (CNG on Windows, OpenSSL natively): true when `signature`
// (UpdateSignatureSize bytes) is a valid signature of SHA-256(message) under
// `point` (UpdatePublicKeySize bytes).
bool VerifyP256Sha256(const uint8_t* point, const uint8_t* message, size_t messageSize,
                      const uint8_t* signature);

enum class SignatureCheck
{
    Good,
    Missing,   // no signature could be fetched
    Malformed, // not 64 bytes
    Bad,       // does not verify: other bytes, another name, another key
};
const char* SignatureCheckText(SignatureCheck check);

// Checks files against one public key; without a key (the default) it is off
// and accepts everything.
class UpdateVerifier
{
public:
    UpdateVerifier() = default;
    explicit UpdateVerifier(const std::vector<uint8_t>& point) : Point(point) {}
    bool IsOn() const { return Point.size() == UpdatePublicKeySize; }
    // `signature` null: none was found.
    SignatureCheck Check(const xString& name, const uint8_t* bytes, size_t size,
                         const std::vector<uint8_t>* signature) const;

private:
    std::vector<uint8_t> Point;
};

// The process's verifier: the build's LAUNCHER_UPDATE_PUBLIC_KEY (off when it
// is empty). Tests set one with a key of their own and set it back.
UpdateVerifier GetUpdateVerifier();
void SetUpdateVerifier(const UpdateVerifier& verifier);

// With the verifier on, fetches `url` + ".sig" and checks it over `bytes` under
// `name`, logging "Update signature verified: <name>" or the refusal:
// "Update signature refused for <name>: <why>; nothing is taken from it".
// True when the verifier is off or the signature is good.
bool CheckUpdateSignature(const xString& url, const xString& name, const uint8_t* bytes, size_t size);
// The two halves of CheckUpdateSignature, for a file whose small signature is
// best fetched before the file itself (a build or a font that is then not
// downloaded at all when it has none), and checked over the bytes read from
// the open file that is then used. FetchUpdateSignature: with the verifier on,
// `url` + ".sig" into `signature`; false, with the refusal logged, when none
// came. CheckFetchedSignature: that signature over `bytes` under `name`,
// logged as CheckUpdateSignature logs. Both are true with the verifier off.
bool FetchUpdateSignature(const xString& url, const xString& name, std::vector<uint8_t>& signature);
bool CheckFetchedSignature(const xString& name, const uint8_t* bytes, size_t size,
                           const std::vector<uint8_t>& signature);

// With the verifier on: the whole remote text (at most MaxSignedTextBytes) when
// its signature is good. False, with `text` as it was, when nothing came or the
// signature was refused (logged as CheckUpdateSignature does).
bool FetchVerifiedText(const xString& url, xString& text);
