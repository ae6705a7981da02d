#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// Every test works in a fresh folder of its own under the system's temporary folder.
class xFileSystemTest : public ::testing::Test
{
protected:
    xWString At(const char* relative) const { return Root + Utf8ToWide(relative); }
    void Write(const char* relative, const std::string& content)
    {
        ASSERT_TRUE(WriteFileBytes(FsPath(At(relative)), content)) << relative;
    }
    std::string ReadAll(const char* relative) const { return ReadFileBytes(FsPath(At(relative))); }
    bool Exists(const char* relative) const
    {
        std::error_code error;
        return fs::exists(FsPath(At(relative)), error);
    }

    TempFolder Folder{"xfs-test"};
    const xWString Root = AsDirectoryPath(xWString(Folder.Path.u16string().c_str()));
    xEngineFileSystem Files;
};
} // namespace

// --- Names and folders ---

TEST_F(xFileSystemTest, FolderQueriesAndCreation)
{
    Write("file.txt", "12345");
    Write("full/inner.txt", "x");

    EXPECT_TRUE(Files.IsDirectory(xWString())) << "the empty path names the current folder";
    EXPECT_TRUE(Files.IsDirectory(At("full/")));
    EXPECT_FALSE(Files.IsDirectory(At("file.txt")) || Files.IsDirectory(At("missing")));
    EXPECT_TRUE(Files.IsFile(At("file.txt")));
    EXPECT_FALSE(Files.IsFile(At("full")) || Files.IsFile(At("missing")));
    EXPECT_EQ(5, Files.GetFileSize(At("file.txt")));

    EXPECT_TRUE(Files.CreateDirectory(At("new")));
    EXPECT_TRUE(Files.CreateDirectory(At("new"))) << "an existing folder counts as created";
    EXPECT_FALSE(Files.CreateDirectory(At("missing/child"))) << "one level only";
    EXPECT_TRUE(Files.CreateDirectory(At("a/b/c"), true));
}

TEST_F(xFileSystemTest, CreateDirectoryHandlesPathsBeyondAThousandCharacters)
{
    const std::string component(60, 'n');
    xWString deep = Root;
    while (deep.Length() <= 1100)
        deep += Utf8ToWide((component + "/").c_str());

    ASSERT_TRUE(Files.CreateDirectory(deep, true));
    std::unique_ptr<xFile> out = Files.OpenWrite(deep + u"leaf.txt", false, false);
    ASSERT_TRUE(out && out->Write("deep", 4)) << "cannot write inside the deep folder";
    out.reset();
    EXPECT_EQ(4, Files.GetFileSize(deep + u"leaf.txt"));
}

// --- Moving, copying, deleting ---

TEST_F(xFileSystemTest, MoveTakesTheDestinationFirstAndNeverReplacesButMoveReplacingDoes)
{
    Write("source.txt", "moved");
    Write("other.txt", "other");
    EXPECT_TRUE(Files.Move(At("destination.txt"), At("source.txt")) && !Exists("source.txt"));
    EXPECT_FALSE(Files.Move(At("destination.txt"), At("other.txt"))) << "an existing destination stays";
    EXPECT_EQ("moved", ReadAll("destination.txt"));
    EXPECT_FALSE(Files.Move(At("x.txt"), At("missing.txt")));

    // MoveReplacing does replace, and makes the missing folders on the way.
    Write("download.td", "new content");
    EXPECT_TRUE(Files.MoveReplacing(At("destination.txt"), At("download.td")) && !Exists("download.td"));
    EXPECT_EQ("new content", ReadAll("destination.txt"));
    EXPECT_TRUE(Files.MoveReplacing(At("missing/folders/final.dat"), At("other.txt")));
    EXPECT_EQ("other", ReadAll("missing/folders/final.dat"));
}

// The one call that takes the source first: a reversed call would copy the older tree back.
TEST_F(xFileSystemTest, CopyDirectoryTakesTheSourceFirst)
{
    Write("src/a.txt", "alpha");
    Write("src/sub/b.bin", "beta");
    Write("dst/a.txt", "an older and longer alpha");
    EXPECT_TRUE(Files.CopyDirectory(At("src"), At("dst"), true));
    EXPECT_EQ("alpha", ReadAll("dst/a.txt"));
    EXPECT_EQ("beta", ReadAll("dst/sub/b.bin"));
    EXPECT_FALSE(Files.CopyDirectory(At("missing"), At("dst2"), false) || Exists("dst2"));
    EXPECT_FALSE(Files.CopyDirectory(At("src"), At("src/inner"), false)) << "a copy into itself never ends";
}

TEST_F(xFileSystemTest, CopyCreatesOrTruncatesTheDestinationAndCopyCheckedSparesTheSource)
{
    // Over 1 MiB, so the copy takes more than one piece, onto a longer file.
    const std::string data = PatternBytes(1048576 + 65536 + 7);
    Write("big.bin", data);
    Write("target.bin", std::string(2 * 1048576, 'x'));
    EXPECT_TRUE(Files.Copy(At("target.bin"), At("big.bin")));
    EXPECT_TRUE(ReadAll("target.bin") == data) << "copy differs from its source";

    EXPECT_FALSE(Files.Copy(At("never.bin"), At("missing.bin")));
    EXPECT_FALSE(Exists("never.bin")) << "a failed open of the source creates nothing";

    // CopyChecked refuses to copy a file onto itself, and makes the folders on the way.
    Write("self.txt", "precious");
    EXPECT_FALSE(Files.CopyChecked(At("self.txt"), At("self.txt")));
    EXPECT_FALSE(Files.CopyChecked(At("./self.txt"), At("self.txt"))) << "another spelling of the same file";
    EXPECT_EQ("precious", ReadAll("self.txt"));
    EXPECT_TRUE(Files.CopyChecked(At("new/folders/copy.txt"), At("self.txt")));
}

TEST_F(xFileSystemTest, CopyOfAProgramMayRunAndCopyOfDataMayNot)
{
    // The launcher installs itself by copying its own executable and starting the copy.
    Write("tool.exe", "program");
    fs::permissions(FsPath(At("tool.exe")), fs::perms::owner_exec, fs::perm_options::add);
    Write("data.txt", "data");
    ASSERT_TRUE(Files.Copy(At("tool-copy.exe"), At("tool.exe")));
    ASSERT_TRUE(Files.Copy(At("data-copy.txt"), At("data.txt")));
    const auto runnable = [this](const char* relative)
    { return (fs::status(FsPath(At(relative))).permissions() & fs::perms::owner_exec) != fs::perms::none; };
    EXPECT_TRUE(runnable("tool-copy.exe")) << "the copy of a program must stay runnable";
    EXPECT_FALSE(runnable("data-copy.txt")) << "a copy must not become runnable when its source was not";
}

TEST_F(xFileSystemTest, ReadOnlyFilesResistWritingAndDeleting)
{
    Write("ro.txt", "fixed");
    EXPECT_FALSE(Files.IsReadOnly(At("ro.txt")));
    ASSERT_TRUE(Files.SetReadOnly(At("ro.txt"), true));
    EXPECT_TRUE(Files.IsReadOnly(At("ro.txt")));
    EXPECT_FALSE(Files.OpenWrite(At("ro.txt"), false, false) || Files.DeleteFile(At("ro.txt")) ||
                 Files.DeleteFileEx(At("ro.txt"), true, false));
    EXPECT_EQ("fixed", ReadAll("ro.txt"));
    EXPECT_TRUE(Files.DeleteFileEx(At("ro.txt"), true, true) && !Exists("ro.txt"));
    EXPECT_FALSE(Files.DeleteFileEx(At("ro.txt"), true, false)) << "must exist, and does not";
    EXPECT_TRUE(Files.DeleteFileEx(At("ro.txt"), false, false)) << "need not exist";
}

// --- Open files ---

TEST_F(xFileSystemTest, OpenWriteAppendsOrTruncates)
{
    std::unique_ptr<xFile> out = Files.OpenWrite(At("log.txt"), false, true);
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->Write("0123456789", 10) && out->Write("", 0));
    EXPECT_EQ(10, out->GetSize());
    EXPECT_EQ(10, out->Tell()) << "GetSize moves back to where it was";
    EXPECT_TRUE(out->Seek(3) && out->Write("abc", 3));
    EXPECT_TRUE(out->SeekFromEnd(-1));
    EXPECT_EQ(9, out->Tell());
    EXPECT_FALSE(out->Write(nullptr, 4) || out->Write("x", -1));
    EXPECT_TRUE(out->Close());
    EXPECT_FALSE(out->Tell() != -1 || out->Write("x", 1));

    out = Files.OpenWrite(At("log.txt"), true, true);
    ASSERT_TRUE(out && out->Tell() == 10) << "append starts at the end";
    EXPECT_TRUE(out->Write("!", 1));
    out.reset();
    EXPECT_EQ("012abc6789!", ReadAll("log.txt"));

    out = Files.OpenWrite(At("log.txt"), false, false);
    EXPECT_TRUE(out && out->GetSize() == 0) << "without append the file is truncated";
    EXPECT_FALSE(Files.OpenWrite(At("no/such/folder/file.txt"), false, false) ||
                 Files.OpenRead(At("missing.txt"), false));
}

TEST_F(xFileSystemTest, OpenNewMakesOnlyNewFilesWhichItsHandleGivesAName)
{
    Write("old.txt", "old");
    Write("left.td", "left");
    EXPECT_FALSE(Files.OpenNew(At("left.td")) || Files.OpenNew(At("no/such/folder.td")));
    EXPECT_EQ("left", ReadAll("left.td")) << "a file there is neither truncated nor replaced";

    std::unique_ptr<xFileHandle> file = Files.OpenNew(At("new.td"));
    ASSERT_TRUE(file && file->Write("new", 3));
    EXPECT_FALSE(Files.OpenWrite(At("new.td"), false, true)) << "no other writer shares it";
    EXPECT_TRUE(Files.MoveHeldFile(*file, At("old.txt"), At("new.td")) && !Exists("new.td"));
    EXPECT_TRUE(file->Write("!", 1)) << "the handle stays open under its new name";
    file.reset();
    EXPECT_EQ("new!", ReadAll("old.txt"));
}

TEST_F(xFileSystemTest, AReaderThatSharesNoWritingKeepsWritersOut)
{
    Write("shared.txt", "content");
    std::unique_ptr<xFile> reader = Files.OpenRead(At("shared.txt"), false);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(Files.OpenWrite(At("shared.txt"), false, true) ||
                 Files.Copy(At("shared.txt"), At("shared.txt")));
    EXPECT_TRUE(Files.OpenRead(At("shared.txt"), false)) << "readers share reading";
    reader = Files.OpenRead(At("shared.txt"), true);
    EXPECT_EQ("content", ReadAll("shared.txt"));
    EXPECT_TRUE(reader && Files.OpenWrite(At("shared.txt"), true, true)) << "this reader shares writing";
}

TEST_F(xFileSystemTest, FindFilesMatchesTheMaskIgnoringCase)
{
    for (const char* name : {"f/a.txt", "f/B.TXT", "f/abc.txt", "f/c.log", "f/deep/d.txt", "f/deep/e.log"})
        Write(name, "x");
    fs::create_directories(FsPath(At("f/sub.txt")));
    struct Case
    {
        const char* Mask;
        bool Files, Folders;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {"f/*.txt", true, false, {"B.TXT", "a.txt", "abc.txt"}},
        {"f\\*.txt", false, true, {"sub.txt"}},
        {"f/A?C.*", true, true, {"abc.txt"}},
        {"f/*.*", true, true, {"B.TXT", "a.txt", "abc.txt", "c.log", "deep", "sub.txt"}}, // "deep" too
    };
    for (const Case& c : cases)
    {
        std::vector<xWString> found;
        Files.FindFiles(At(c.Mask), found, c.Files, c.Folders);
        std::vector<std::string> names;
        for (const xWString& path : found)
        {
            EXPECT_TRUE(StartsWith(path, At("f/"))) << "full paths are listed: " << Narrow(path);
            names.push_back(Narrow(SubText(path, At("f/").Length())));
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(c.Expected, names) << c.Mask << (c.Files ? " files" : "") << (c.Folders ? " folders" : "");
    }
}

TEST(xFileSystemEngine, MakeRelativeTriesTheRootsInItsOrder)
{
    xEngineFileSystem files;
    files.ModuleFolder = u"C:/Game/";
    files.WorkingFolder = u"C:/";
    files.ContentFolder = u"C:/Game/Content/";
    files.UserFolder = u"C:/Game/";
    files.CacheFolder = u"D:/Cache/";
    files.PublishFolder = u"D:/Cache/Publish/";

    const std::pair<const char16_t*, const char*> cases[] = {
        {u"c:\\game\\content\\x.txt", "x.txt"},
        {u"C:/GAME/Other/y.txt", "Other/y.txt"},
        {u"D:/Cache/Publish/z.bin", "z.bin"}, // the publish folder comes before the cache folder
        {u"D:/Cache/w.bin", "w.bin"},
        {u"C:/Windows/notepad.exe", ""}, // the first two folders are no roots
        {u"C:/Gam", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(files.MakeRelativeUtf8(path), expected) << Narrow(path);
    EXPECT_EQ(files.MakeRelative(u"C:/Game/\u4E2D.txt"), u"\u4E2D.txt");
    files.ContentFolder.Clear();
    files.UserFolder.Clear();
    EXPECT_EQ(files.MakeRelative(u"C:/Game/x.txt"), u"") << "unset roots match nothing";
}
