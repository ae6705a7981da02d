#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Signed updates on the publisher's side: the key pair, and a detached
// signature "<file>.sig" beside each manifest, version file and launcher build
// (ECDSA P-256 over SHA-256 of the message UpdateSignature.h defines, stored as
// the 64 bytes r || s).

// publish keygen --out DIR: DIR/update-key.pem (the private key, PKCS#8 PEM,
// readable by its owner only) and DIR/update-key.pub (130 hex digits of the
// public point and a line feed: the build's LAUNCHER_UPDATE_PUBLIC_KEY).
int RunKeygen(int argc, char** argv);
// publish sign --key KEY.pem --file FILE [--name NAME]: FILE.sig for any file.
int RunSign(int argc, char** argv);

class UpdateSigner
{
public:
    UpdateSigner();
    ~UpdateSigner();
    UpdateSigner(const UpdateSigner&) = delete;
    UpdateSigner& operator=(const UpdateSigner&) = delete;

    // A P-256 private key from a PEM file; false (with an error line) otherwise.
    bool Load(const std::filesystem::path& keyFile);
    bool IsLoaded() const;
    // The 64-byte signature of `bytes` under `name`; false on failure.
    bool Sign(const std::string& name, const std::vector<uint8_t>& bytes,
              std::vector<uint8_t>& signature) const;
    // Writes "<file>.sig" for the bytes that `file` holds or is about to hold,
    // signed under the file's name, through a temporary file. Written before
    // the file itself, a signed file never appears without its signature.
    bool WriteSignatureFor(const std::filesystem::path& file, const void* data, size_t size) const;
    // Reads `file` and writes "<file>.sig" for it under its own file name (or
    // `name`), through a temporary file. False with an error line on failure.
    bool SignFile(const std::filesystem::path& file, const std::string& name = std::string()) const;

private:
    struct Key;
    std::unique_ptr<Key> Private;
};
