#include "BuiltInSha256.h"
#include "FileBytes.h"
#include "Sha256.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// Every way to hash here: the platform's (OpenSSL natively, the built-in hash
// on Windows) and the built-in one on each of its paths.
using Hasher = std::function<Sha256Digest(const std::vector<std::string>& pieces)>;

std::vector<std::pair<std::string, Hasher>> Hashers()
{
    const auto builtIn = [](Sha256BlockFunction blocks)
    {
        return [blocks](const std::vector<std::string>& pieces)
        {
            BuiltInSha256 hash(blocks);
            for (const std::string& piece : pieces)
                hash.Update(piece.data(), piece.size());
            return hash.Finish();
        };
    };
    std::vector<std::pair<std::string, Hasher>> found = {
        {"platform",
         [](const std::vector<std::string>& pieces)
         {
             Sha256 hash;
             for (const std::string& piece : pieces)
                 hash.Update(piece.data(), piece.size());
             return hash.Finish().value_or(Sha256Digest{});
         }},
        {"built-in software", builtIn(Sha256BlocksSoftware)}};
    if (HasShaInstructions())
        found.push_back({"built-in SHA-NI", builtIn(Sha256BlocksHardware)});
    return found;
}

std::string Hex(const Sha256Digest& digest)
{
    return Sha256Text(digest).c_str();
}
} // namespace

// FIPS 180-4's examples (NIST's "SHA256.pdf" and the long message of one million "a").
TEST(Sha256, PublishedVectorsFromEveryImplementation)
{
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pq"
         "rstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (const auto& [name, hash] : Hashers())
        for (const auto& [message, digest] : vectors)
            EXPECT_EQ(digest, Hex(hash({message}))) << name << ", " << message.size() << " bytes";
}

// Every length around the block and padding edges, in pieces of every kind,
// gives the one-shot digest of the platform's hash (OpenSSL natively).
TEST(Sha256, PiecesGiveTheDigestOfTheWhole)
{
    const std::string bytes = PatternBytes(3 * 65536 + 200, 11u);
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 200; ++length)
        lengths.push_back(length);
    lengths.push_back(bytes.size());
    for (const size_t length : lengths)
    {
        const std::string message = bytes.substr(0, length);
        const std::optional<Sha256Digest> whole = Sha256::Of(message.data(), message.size());
        ASSERT_TRUE(whole.has_value());
        // Pieces of 1, 63, 64 and 65 bytes, and the message cut at a third.
        std::vector<std::vector<std::string>> splits = {
            {message.substr(0, length / 3), message.substr(length / 3)}};
        for (const size_t piece : {size_t(1), size_t(63), size_t(64), size_t(65)})
        {
            std::vector<std::string> pieces;
            for (size_t at = 0; at < length; at += piece)
                pieces.push_back(message.substr(at, piece));
            splits.push_back(pieces);
        }
        for (const auto& [name, hash] : Hashers())
            for (const std::vector<std::string>& pieces : splits)
                ASSERT_EQ(Hex(*whole), Hex(hash(pieces)))
                    << name << ", " << length << " bytes in " << pieces.size() << " pieces";
    }
}

TEST(Sha256, TextIsSixtyFourLowercaseHexDigits)
{
    const std::string good = "00ff10e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b78";
    Sha256Digest digest{};
    ASSERT_TRUE(ParseSha256Text(good.data(), good.size(), digest));
    EXPECT_EQ(good, Hex(digest));
    EXPECT_EQ(0x00, digest[0]);
    EXPECT_EQ(0xff, digest[1]);
    const std::string bad[] = {"",
                               good.substr(1),
                               good + "0",
                               "00FF" + good.substr(4), // one spelling only
                               good.substr(0, 63) + "g",
                               " " + good.substr(1),
                               good.substr(0, 32) + std::string(1, '\0') + good.substr(33)};
    for (const std::string& text : bad)
    {
        Sha256Digest kept{};
        kept[0] = 7;
        EXPECT_FALSE(ParseSha256Text(text.data(), text.size(), kept)) << text;
        EXPECT_EQ(7, kept[0]) << "a refused text leaves the digest as it was";
    }
}
