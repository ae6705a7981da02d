#include "VerifiedState.h"
#include "VerifiedStateFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
VerifiedState SampleState()
{
    VerifiedState state;
    state.Version = "Startup1.0.5.crc";
    state.ManifestHash.fill(0xAB);
    state.ManifestEntries = 3;
    state.Signed = true;
    VerifiedFile packed;
    packed.Name = "bin/game.exe";
    packed.Stamp = {3000, 638000000000000001u, 77};
    packed.Sum = 0x12345678;
    packed.Sha256Present = true;
    packed.Sha256.fill(0x5A);
    VerifiedFile xx;
    xx.Name = "\xE6\x95\xB0\xE6\x8D\xAE/readme.txt";
    xx.Stamp = {12, 1, 0};
    xx.Xx = true;
    xx.Sum = 0xCAFEF00D;
    VerifiedFile empty;
    empty.Name = "empty.bin";
    state.Files = {packed, xx, empty};
    return state;
}

// The body changed by `edit`, then sealed again as the writer would: what only
// the reader's own checks can refuse.
std::vector<uint8_t> Resealed(const std::function<void(std::vector<uint8_t>&)>& edit)
{
    std::vector<uint8_t> bytes = WriteVerifiedState(SampleState());
    bytes.resize(bytes.size() - VerifiedStateFormat::DigestSize);
    edit(bytes);
    const Sha256Digest seal = Sha256::Of(bytes.data(), bytes.size()).value();
    bytes.insert(bytes.end(), seal.begin(), seal.end());
    return bytes;
}

// Where the fields lie: magic, version, hash, entries, flags, count, then the
// first file's name, size, time, id and sums.
constexpr size_t FlagsByte = 8 + 2 + 16 + 32 + 4;
constexpr size_t CountByte = FlagsByte + 1;
constexpr size_t FirstNameByte = CountByte + 4 + 2;
constexpr size_t FirstSumsByte = FirstNameByte + 12 + 8 + 8 + 8;
} // namespace

TEST(VerifiedState, ReadsBackWhatItWritesAndRefusesEveryDamage)
{
    const VerifiedState sample = SampleState();
    const std::vector<uint8_t> good = WriteVerifiedState(sample);
    VerifiedState read;
    std::string error;
    ASSERT_TRUE(ParseVerifiedState(good.data(), good.size(), read, error)) << error;
    EXPECT_EQ(sample.Version, read.Version);
    EXPECT_EQ(sample.ManifestHash, read.ManifestHash);
    EXPECT_TRUE(read.Signed && read.NamesEveryFile());
    ASSERT_EQ(sample.Files.size(), read.Files.size());
    for (size_t i = 0; i < sample.Files.size(); ++i)
    {
        const VerifiedFile &want = sample.Files[i], &got = read.Files[i];
        EXPECT_TRUE(want.Name == got.Name && want.Stamp == got.Stamp && want.Xx == got.Xx &&
                    want.Sum == got.Sum && want.Sha256Present == got.Sha256Present &&
                    (!want.Sha256Present || want.Sha256 == got.Sha256))
            << want.Name;
    }
    EXPECT_EQ(8u + 2 + 32 + 4 + 1 + 4 + 32, WriteVerifiedState({}).size())
        << "magic, version, hash, entries, flags, count, seal";
    VerifiedState twice = sample;
    twice.Files.push_back(sample.Files[2]);

    std::vector<uint8_t> flipped = good, flippedSeal = good, cut = good, longer = good;
    flipped[20] ^= 1;
    flippedSeal.back() ^= 1;
    cut.pop_back();
    longer.push_back(0);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> damaged = {
        {"nothing", {}},
        {"another magic", Resealed([](std::vector<uint8_t>& b) { b[7] = '3'; })},
        {"an earlier launcher's", Resealed([](std::vector<uint8_t>& b) { b[7] = '1'; })},
        {"flags of an unknown kind", Resealed([](std::vector<uint8_t>& b) { b[FlagsByte] |= 2; })},
        {"a byte changed", flipped},
        {"the seal changed", flippedSeal},
        {"cut short", cut},
        {"a byte after the seal", longer},
        {"cut short, sealed again", Resealed([](std::vector<uint8_t>& b) { b.resize(b.size() - 5); })},
        {"a byte after the last file", Resealed([](std::vector<uint8_t>& b) { b.push_back(0); })},
        {"more files counted than held", Resealed([](std::vector<uint8_t>& b) { b[CountByte] = 0xFF; })},
        {"a sum of an unknown kind", Resealed([](std::vector<uint8_t>& b) { b[FirstSumsByte] |= 4; })},
        {"a name not UTF-8", Resealed([](std::vector<uint8_t>& b) { b[FirstNameByte] = 0xFF; })},
        {"a name twice", WriteVerifiedState(twice)},
        {"a version too long", Resealed(
                                   [](std::vector<uint8_t>& b)
                                   {
                                       b[8] = 0;
                                       b[9] = 2;
                                   })},
    };
    for (const auto& [what, bytes] : damaged)
    {
        VerifiedState state = sample;
        error.clear();
        EXPECT_FALSE(ParseVerifiedState(bytes.data(), bytes.size(), state, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_TRUE(state.Files.empty() && state.Version.empty()) << what;
    }
}

TEST(VerifiedState, VouchesOnlyForTheSameStampAndTheSameSums)
{
    ExpectedContent expected;
    expected.Size = 3000;
    expected.Crc32c = 0x12345678;
    expected.Sha256Present = true;
    expected.Sha256.fill(0x5A);
    const FileStamp stamp{3000, 638000000000000001u, 77};
    const VerifiedFile recorded = VerifiedFileOf("bin/game.exe", expected, stamp);
    EXPECT_TRUE(Vouches(recorded, expected, stamp));

    const std::vector<
        std::pair<const char*, std::function<void(VerifiedFile&, ExpectedContent&, FileStamp&)>>>
        refused = {
            {"another size on disk", [](VerifiedFile&, ExpectedContent&, FileStamp& s) { s.Size += 1; }},
            {"another write time", [](VerifiedFile&, ExpectedContent&, FileStamp& s) { s.WriteTime += 1; }},
            {"another file id", [](VerifiedFile&, ExpectedContent&, FileStamp& s) { s.FileId = 78; }},
            {"the manifest's size changed",
             [](VerifiedFile&, ExpectedContent& e, FileStamp& s)
             {
                 e.Size += 1;
                 s.Size += 1;
             }},
            {"another CRC-32C", [](VerifiedFile&, ExpectedContent& e, FileStamp&) { e.Crc32c ^= 1; }},
            {"XXH32 of the same value",
             [](VerifiedFile&, ExpectedContent& e, FileStamp&)
             {
                 e.XxPresent = true;
                 e.Xx = e.Crc32c;
             }},
            {"another SHA-256", [](VerifiedFile&, ExpectedContent& e, FileStamp&) { e.Sha256[0] ^= 1; }},
            {"none recorded where the manifest names one",
             [](VerifiedFile& r, ExpectedContent&, FileStamp&) { r.Sha256Present = false; }},
        };
    for (const auto& [what, change] : refused)
    {
        VerifiedFile file = recorded;
        ExpectedContent content = expected;
        FileStamp now = stamp;
        change(file, content, now);
        EXPECT_FALSE(Vouches(file, content, now)) << what;
    }
    ExpectedContent unhashed = expected;
    unhashed.Sha256Present = false;
    EXPECT_TRUE(Vouches(recorded, unhashed, stamp))
        << "a SHA-256 the manifest does not name is not asked for";
}
