#include "CapturedLog.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"
#include "Lzma86.h"
#include "ResPack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
using Bytes = std::vector<uint8_t>;

struct Member
{
    std::u16string Name;
    std::string Content;
};

void PutU32(Bytes& image, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const Bytes& image, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t(image[offset + i]) << (8 * i);
    return value;
}

// A pack in the shipped layout: header, names, three tables, members back to back.
Bytes MakeImage(const std::vector<Member>& members)
{
    std::vector<ResPackMember> packed;
    for (const Member& member : members)
        packed.push_back({xWString(member.Name.data(), member.Name.size()),
                          Bytes(member.Content.begin(), member.Content.end())});
    return WriteResPackImage(packed);
}

// Where a header word lies in the pack.
#define WordAt(word) static_cast<uint32_t>(offsetof(ResPackHeader, word))

const char* const NotFound = "<not found>";

std::string Get(const ResPack& pack, const xWString& name)
{
    Bytes bytes = {'?'};
    if (!pack.GetFile(name, bytes))
        return NotFound;
    return std::string(bytes.begin(), bytes.end());
}

const std::vector<Member> LookupMembers = {
    {u"MainFrame.xml", "<MainFrame/>"},
    {u"empty.png", ""},
    {u"twice.txt", "first"},
    {u"TWICE.TXT", "second"},
    {std::u16string(u"cut\0tail", 8), "cut at the NUL"},
    {u"\u00E9t\u00E9.png", "latin small"}, // été
    {u"\u0416.png", "cyrillic capital"},   // Ж
};
} // namespace

TEST(ResPackLookup, FoldsOnlyAsciiLettersNeedsTheWholeNameAndExtracts)
{
    ResPack pack;
    ASSERT_TRUE(pack.LoadFromImage(MakeImage(LookupMembers)));
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"MAINFRAME.XML", "<MainFrame/>"},
        {u"MainFrame.xml ", NotFound},
        {u"EMPTY.PNG", ""},      // a member of size 0 gives an empty vector
        {u"Twice.Txt", "first"}, // the earlier of two equal names wins
        // Latin-1 and Cyrillic letters are compared as they are.
        {u"\u00C9T\u00C9.PNG", NotFound},
        {u"\u0416.png", "cyrillic capital"},
        {u"\u0436.png", NotFound},
        {u"CUT", "cut at the NUL"}, // a stored name ends at its first NUL
    };
    for (const auto& [name, content] : cases)
        EXPECT_EQ(Get(pack, name), content) << Narrow(name);

    Bytes bytes = {1, 2, 3};
    EXPECT_FALSE(pack.GetFile(u"missing.png", bytes));
    EXPECT_EQ((Bytes{1, 2, 3}), bytes) << "a miss leaves the vector alone";
    EXPECT_FALSE(ResPack().GetFile(u"MainFrame.xml", bytes)) << "an empty pack finds nothing";

    // Extracting writes the member and refuses misses and bad paths.
    TempFolder folder("ResPackTests");
    WriteFileBytes(folder.At("old.xml"), "a much longer previous content");
    EXPECT_TRUE(pack.ExtractFile(u"mainframe.xml", Wide(folder.At("old.xml"))));
    EXPECT_EQ("<MainFrame/>", ReadFileBytes(folder.At("old.xml"))) << "truncated and rewritten";

    EXPECT_FALSE(pack.ExtractFile(u"missing.png", Wide(folder.At("missing.png"))));
    EXPECT_FALSE(fs::exists(folder.Path / "missing.png"));
    EXPECT_FALSE(pack.ExtractFile(u"MainFrame.xml", Wide(folder.At("no such folder/MainFrame.xml"))));
}

// A table, a name or a member that reaches past the image (any bytes: FuzzResPack): the pack ends
// up empty (also after a good load) with exactly one line of its own.
TEST(ResPackDamage, LeavesThePackEmptyWithOneErrorLine)
{
    const Bytes good = MakeImage({{u"a.xml", "<a/>"}, {u"b.png", "PNGDATA"}});
    const uint32_t offsets = GetU32(good, WordAt(OffsetTableOffset)),
                   sizes = GetU32(good, WordAt(SizeTableOffset));
    // Words written over the good image (offset, value), or the image cut to Keep bytes.
    const struct
    {
        const char* Name;
        std::vector<std::pair<uint32_t, uint32_t>> Words;
        size_t Keep = SIZE_MAX;
    } cases[] = {
        {"shorter than the header", {}, ResPackHeaderSize - 1},
        {"count huge", {{WordAt(FileCount), 0xFFFFFFFFu}}},
        {"member size one too large", {{sizes + 4, 8}}},
        // 0xFFFFFFF0 + 0x20 wraps to 0x10 in 32 bits, which would look inside.
        {"member offset plus size wraps", {{offsets, 0xFFFFFFF0u}, {sizes, 0x20}}},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.Name);
        Bytes damaged = good;
        for (const auto& [at, value] : test.Words)
            PutU32(damaged, at, value);
        damaged.resize(std::min(damaged.size(), test.Keep));
        ResPack pack;
        ASSERT_TRUE(pack.LoadFromImage(good));
        CapturedLog log;
        EXPECT_FALSE(pack.LoadFromImage(damaged));
        EXPECT_TRUE(pack.Names().empty());
        EXPECT_EQ(NotFound, Get(pack, u"a.xml"));
        const std::vector<std::string> lines = log.Messages();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(0u, lines[0].rfind("E ResPack damaged: ", 0)) << lines[0];
    }

    // The last member ending exactly at the end of the image is fine (each round above loaded it
    // too); a container that cannot be unpacked empties the pack all the same.
    Bytes container;
    ASSERT_TRUE(EncodeLzma86(good.data(), good.size(), false, container));
    ResPack pack;
    ASSERT_TRUE(pack.LoadFromContainer(container.data(), container.size()));
    EXPECT_EQ("PNGDATA", Get(pack, u"b.png"));
    container.resize(container.size() / 2);
    CapturedLog log;
    EXPECT_FALSE(pack.LoadFromContainer(container.data(), container.size()));
    EXPECT_TRUE(pack.Names().empty());
    EXPECT_EQ(1u, log.MessagesStartingWith("E ResPack damaged: ").size());
    EXPECT_TRUE(log.Contains("E Failed to Lzma86_Decode"));
}

// The pack the build made from Resources/Skin with respack and embedded in this
// program (a RESPACK resource on Windows, linked-in data elsewhere).
TEST(ResPackReal, LoadsTheEmbeddedPackInThePackBuildersLayout)
{
    ResPack pack;
    CapturedLog log;
    pack.Load();
    EXPECT_TRUE(log.Messages().empty());
    const std::vector<xWString> names = pack.Names();
    ASSERT_GE(names.size(), 3u);
    for (const char16_t* document : {u"MAINFRAME.XML", u"gamewindow.xml", u"SplashScreen.xml"})
    {
        Bytes bytes;
        EXPECT_TRUE(pack.GetFile(document, bytes)) << Narrow(document);
        EXPECT_FALSE(bytes.empty());
    }
    EXPECT_EQ(NotFound, Get(pack, u"MainFrame.xml "));

    pack.Load();
    EXPECT_EQ(names, pack.Names()) << "a second load replaces, it does not add";
}
