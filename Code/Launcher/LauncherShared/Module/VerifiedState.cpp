#include "VerifiedState.h"
#include "VerifiedStateFormat.h"

#include "xTextConversion.h"

#include <cstring>
#include <unordered_set>

namespace
{
using namespace VerifiedStateFormat;

void PutNumber(std::vector<uint8_t>& out, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, const std::string& text)
{
    PutNumber(out, text.size(), 2);
    out.insert(out.end(), text.begin(), text.end());
}

void PutDigest(std::vector<uint8_t>& out, const Sha256Digest& digest)
{
    out.insert(out.end(), digest.begin(), digest.end());
}

// Little-endian fields off the front of the bytes; a read past the end fails.
class RecordReader
{
public:
    RecordReader(const uint8_t* data, size_t size) : m_Data(data), m_Left(size) {}

    size_t Left() const { return m_Left; }

    bool Read(uint64_t& value, size_t bytes)
    {
        const uint8_t* at = Take(bytes);
        if (!at)
            return false;
        value = 0;
        for (size_t i = 0; i < bytes; ++i)
            value |= uint64_t(at[i]) << (8 * i);
        return true;
    }

    bool ReadString(std::string& text, size_t maximum)
    {
        uint64_t length = 0;
        const uint8_t* at =
            Read(length, 2) && length <= maximum ? Take(static_cast<size_t>(length)) : nullptr;
        if (!at)
            return false;
        text.assign(reinterpret_cast<const char*>(at), static_cast<size_t>(length));
        return true;
    }

    bool ReadDigest(Sha256Digest& digest)
    {
        const uint8_t* at = Take(digest.size());
        if (!at)
            return false;
        std::memcpy(digest.data(), at, digest.size());
        return true;
    }

private:
    const uint8_t* Take(size_t count)
    {
        if (count > m_Left)
            return nullptr;
        const uint8_t* at = m_Data;
        m_Data += count;
        m_Left -= count;
        return at;
    }

    const uint8_t* m_Data;
    size_t m_Left;
};

bool IsUtf8Name(const std::string& name)
{
    if (name.empty())
        return false;
    const xString back = WideToUtf8(Utf8ToWide(name.c_str(), name.size()));
    return std::string(back.c_str(), back.Length()) == name;
}

bool ReadFile(RecordReader& reader, VerifiedFile& file, std::string& error)
{
    uint64_t sums = 0;
    uint64_t sum = 0;
    if (!reader.ReadString(file.Name, 0xFFFF) || !reader.Read(file.Stamp.Size, 8) ||
        !reader.Read(file.Stamp.WriteTime, 8) || !reader.Read(file.Stamp.FileId, 8) ||
        !reader.Read(sums, 1) || !reader.Read(sum, 4))
    {
        error = "a file's entry is cut short";
        return false;
    }
    if ((sums & ~uint64_t(SumIsXx | SumHasSha256)) != 0)
    {
        error = "a file's sums are of an unknown kind";
        return false;
    }
    if (!IsUtf8Name(file.Name))
    {
        error = "a file's name is not UTF-8";
        return false;
    }
    file.Xx = (sums & SumIsXx) != 0;
    file.Sum = static_cast<uint32_t>(sum);
    file.Sha256Present = (sums & SumHasSha256) != 0;
    if (file.Sha256Present && !reader.ReadDigest(file.Sha256))
    {
        error = "a file's SHA-256 is cut short";
        return false;
    }
    return true;
}

bool ReadBody(RecordReader& reader, VerifiedState& state, std::string& error)
{
    uint64_t entries = 0;
    uint64_t flags = 0;
    uint64_t count = 0;
    if (!reader.ReadString(state.Version, MaxVersionBytes) || !reader.ReadDigest(state.ManifestHash) ||
        !reader.Read(entries, 4) || !reader.Read(flags, 1) || !reader.Read(count, 4))
    {
        error = "its head is cut short";
        return false;
    }
    if ((flags & ~uint64_t(SignedFlag)) != 0)
    {
        error = "its flags are of an unknown kind";
        return false;
    }
    state.ManifestEntries = static_cast<uint32_t>(entries);
    state.Signed = (flags & SignedFlag) != 0;
    // Each file takes at least its minimum: a count beyond that is a lie, not a reason to reserve.
    if (count > reader.Left() / FileRecordMinimum)
    {
        error = "it counts more files than it holds";
        return false;
    }
    state.Files.resize(static_cast<size_t>(count));
    std::unordered_set<std::string> names;
    for (VerifiedFile& file : state.Files)
    {
        if (!ReadFile(reader, file, error))
            return false;
        if (!names.insert(file.Name).second)
        {
            error = "it names a file twice";
            return false;
        }
    }
    if (reader.Left() != 0)
    {
        error = "bytes follow its last file";
        return false;
    }
    return true;
}
} // namespace

std::vector<uint8_t> WriteVerifiedState(const VerifiedState& state)
{
    std::vector<uint8_t> out(Magic, Magic + MagicSize);
    PutString(out, state.Version.substr(0, MaxVersionBytes));
    PutDigest(out, state.ManifestHash);
    PutNumber(out, state.ManifestEntries, 4);
    PutNumber(out, state.Signed ? SignedFlag : 0, 1);
    PutNumber(out, state.Files.size(), 4);
    for (const VerifiedFile& file : state.Files)
    {
        PutString(out, file.Name);
        PutNumber(out, file.Stamp.Size, 8);
        PutNumber(out, file.Stamp.WriteTime, 8);
        PutNumber(out, file.Stamp.FileId, 8);
        PutNumber(out, (file.Xx ? SumIsXx : 0) | (file.Sha256Present ? SumHasSha256 : 0), 1);
        PutNumber(out, file.Sum, 4);
        if (file.Sha256Present)
            PutDigest(out, file.Sha256);
    }
    const std::optional<Sha256Digest> seal = Sha256::Of(out.data(), out.size());
    PutDigest(out, seal.value_or(Sha256Digest{}));
    return out;
}

bool ParseVerifiedState(const uint8_t* data, size_t size, VerifiedState& state, std::string& error)
{
    state = VerifiedState();
    if (size >= MagicSize && std::memcmp(data, EarlierMagic, MagicSize) == 0)
    {
        error = "an earlier launcher wrote it";
        return false;
    }
    if (size < MagicSize + DigestSize || std::memcmp(data, Magic, MagicSize) != 0)
    {
        error = "it is not a verified-state record";
        return false;
    }
    const size_t sealed = size - DigestSize;
    const std::optional<Sha256Digest> seal = Sha256::Of(data, sealed);
    if (!seal || std::memcmp(seal->data(), data + sealed, DigestSize) != 0)
    {
        error = "its seal does not match its bytes";
        return false;
    }
    RecordReader reader(data + MagicSize, sealed - MagicSize);
    if (ReadBody(reader, state, error))
        return true;
    state = VerifiedState();
    return false;
}

VerifiedFile VerifiedFileOf(const std::string& name, const ExpectedContent& expected, const FileStamp& stamp)
{
    VerifiedFile file;
    file.Name = name;
    file.Stamp = stamp;
    file.Xx = expected.XxPresent;
    file.Sum = expected.XxPresent ? expected.Xx : expected.Crc32c;
    file.Sha256Present = expected.Sha256Present;
    file.Sha256 = expected.Sha256;
    return file;
}

bool Vouches(const VerifiedFile& recorded, const ExpectedContent& expected, const FileStamp& stamp)
{
    if (recorded.Stamp != stamp || stamp.Size != expected.Size)
        return false;
    if (recorded.Xx != expected.XxPresent ||
        recorded.Sum != (expected.XxPresent ? expected.Xx : expected.Crc32c))
        return false;
    return !expected.Sha256Present || (recorded.Sha256Present && recorded.Sha256 == expected.Sha256);
}
