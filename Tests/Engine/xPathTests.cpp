#include "xPath.h"
#include "xTextConversion.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{
struct PathCase
{
    const char* Input;
    const char* Expected;
};

// Runs every case through the wide function and its narrow twin; both must agree
// with the expected UTF-8 text.
template <typename WideFn, typename NarrowFn, size_t N>
void ExpectBothForms(const char* what, WideFn wide, NarrowFn narrow, const PathCase (&cases)[N])
{
    for (const PathCase& c : cases)
    {
        EXPECT_EQ(wide(Utf8ToWide(c.Input)), Utf8ToWide(c.Expected))
            << what << " (wide) of \"" << c.Input << "\"";
        EXPECT_EQ(narrow(xString(c.Input)), c.Expected) << what << " (narrow) of \"" << c.Input << "\"";
    }
}

#define BOTH_FORMS(F) #F, [](const xWString& p) { return F(p); }, [](const xString& p) { return F(p); }
} // namespace

TEST(xPath, NormaliseResolvesClimbsAndDropsDotComponents)
{
    const PathCase cases[] = {
        {"C:/a//b/../c/./d", "C:/a/c/d"},
        {"C:/a/./../c", "C:/c"},
        {"C:///a////b", "C:/a/b"},
        {"C:/a/b/..", "C:/a"},
        {"/a/../b", "/b"},
        {"./a/./b/./", "a/b/"},
        {"C:/a/b/", "C:/a/b/"},
        {"C:/\xE6\x97\xA5\xE6\x9C\xAC/../x", "C:/x"},
        {"", ""},
        // Climbs that would leave the path give empty text.
        {"a/../b", ""},
        {"C:/..", ""},
        {"C:/a/../..", ""},
        {"../a", ""},
        {"..", ""},
        {"/C:/..", ""},
        // A name listed from disk such as "..data" must never act as a climb, or a
        // path built from a listing could point outside its folder.
        {"C:/a/..data/x", "C:/a/..data/x"},
        {"C:/a/b../x", "C:/a/b../x"},
        {"C:/v1./x", "C:/v1./x"},
        {"C:/a/.hidden/./y", "C:/a/.hidden/y"},
        {"C:/a/.../b", "C:/a/.../b"},
    };
    ExpectBothForms(BOTH_FORMS(NormalisePath), cases);
}

TEST(xPath, NormaliseIsStableOnArbitraryText)
{
    // Random texts over the characters that matter: no crash, the twins agree, the
    // result is a fixed point and holds no empty or ".." component.
    std::mt19937 random(12345);
    const char alphabet[] = {'/', '.', 'a', ':', '\\', 'b'};
    for (int round = 0; round < 20000; ++round)
    {
        std::string input;
        const int length = static_cast<int>(random() % 14);
        for (int i = 0; i < length; ++i)
            input.push_back(alphabet[random() % sizeof(alphabet)]);

        const xString narrow = NormalisePath(xString(input.c_str()));
        const std::string result = narrow.c_str();
        ASSERT_EQ(result, Narrow(NormalisePath(Utf8ToWide(input.c_str())))) << "twins differ for " << input;
        ASSERT_EQ(NormalisePath(narrow), narrow) << "not a fixed point for " << input;
        ASSERT_EQ(std::string::npos, result.find("//")) << input;
        ASSERT_EQ(std::string::npos, (result + "/").find("/../")) << input;
        ASSERT_NE(0u, result.rfind("..", 0)) << "leading climb kept for " << input;
        ASSERT_LE(result.size(), input.size()) << input;
    }
}

TEST(xPath, JoinNormalisesTheJoinedTextAndComponentsOfAPath)
{
    EXPECT_EQ(JoinPath(xWString(u"C:/a/"), xWString(u"b")), u"C:/a/b");
    EXPECT_EQ(JoinPath(xWString(u"C:/a"), xWString(u"b")), u"C:/a/b");
    EXPECT_EQ(JoinPath(xWString(u"C:/a"), xWString(u"../b")), u"C:/b");
    EXPECT_EQ(JoinPath(xWString(u"C:/a"), xWString(u"../../b")), u"");
    EXPECT_EQ(JoinPath(xString("C:/a"), xString("/*.*")), "C:/a/*.*");

    const PathCase parent[] = {{"C:/a/b.txt", "C:/a/"}, {"C:\\a\\b", "C:\\a\\"},
                               {"C:b", "C:"},           {"name", ""},
                               {"C:/a/", "C:/a/"},      {"", ""}};
    ExpectBothForms(BOTH_FORMS(GetParentPath), parent);
    const PathCase name[] = {{"C:/a/b.txt", "b.txt"},
                             {"C:/a/b/", "b"},
                             {"C:/a/b//", "b"},
                             {"C:\\x\\y", "y"},
                             {"name", ""},
                             {"/", ""},
                             {"", ""},
                             {"C:/\xE4\xB8\xAD.txt", "\xE4\xB8\xAD.txt"}};
    ExpectBothForms(BOTH_FORMS(GetFileName), name);
    // The extension comes from the last component only.
    const PathCase extension[] = {{"C:/a/b.tar.gz", ".gz"},    {"C:/dir.x/file", ""},
                                  {"C:/a/.hidden", ".hidden"}, {"file.", "."},
                                  {"C:\\d.x\\f", ""},          {"", ""}};
    ExpectBothForms(BOTH_FORMS(GetExtension), extension);
    const PathCase removed[] = {{"C:/a/b.tar.gz", "C:/a/b.tar"}, {"C:/dir.x/file", ""}, {"name.txt", "name"}};
    ExpectBothForms(BOTH_FORMS(RemoveExtension), removed);
    const PathCase stem[] = {{"C:/a/b.tar.gz", "b.tar"}, {"C:/dir.x/file", "file"}, {"C:/a/.hidden", ""}};
    ExpectBothForms(BOTH_FORMS(GetFileStem), stem);
}
