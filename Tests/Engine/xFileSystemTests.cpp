#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// Records what a listing reports, relative to `root`, folders with a trailing "/";
// `next` says, per entry seen, whether the listing goes on.
class RecordingVisitor : public xFileVisitor
{
public:
    explicit RecordingVisitor(const xWString& root, std::function<bool(const std::string&)> next = nullptr)
        : Root(root), Next(std::move(next))
    {
    }

    bool Visit(const xWString& path, bool isDirectory) override
    {
        EXPECT_TRUE(StartsWith(path, Root)) << "full paths expected: " << Narrow(path);
        Seen.push_back(Narrow(SubText(path, Root.Length())) + (isDirectory ? "/" : ""));
        return !Next || Next(Seen.back());
    }

    std::vector<std::string> Sorted() const
    {
        std::vector<std::string> names = Seen;
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::string> Seen;

private:
    xWString Root;
    std::function<bool(const std::string&)> Next;
};

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

TEST_F(xFileSystemTest, FolderQueriesCreationAndRemoval)
{
    Write("file.txt", "12345");
    Write("full/inner.txt", "x");

    EXPECT_TRUE(Files.IsDirectory(xWString())) << "the empty path names the current folder";
    EXPECT_TRUE(Files.IsDirectory(At("full/")));
    EXPECT_TRUE(Files.IsDirectory(Files.ToNativePath(At("full")))) << "the native form is accepted too";
    EXPECT_FALSE(Files.IsDirectory(At("file.txt")) || Files.IsDirectory(At("missing")));
    EXPECT_TRUE(Files.IsFile(At("file.txt")));
    EXPECT_FALSE(Files.IsFile(At("full")) || Files.IsFile(At("missing")));
    EXPECT_EQ(5, Files.GetFileSize(At("file.txt")));

    EXPECT_TRUE(Files.CreateDirectory(At("new")));
    EXPECT_TRUE(Files.CreateDirectory(At("new"))) << "an existing folder counts as created";
    EXPECT_FALSE(Files.CreateDirectory(At("missing/child"))) << "one level only";
    EXPECT_TRUE(Files.CreateDirectory(At("a/b/c"), true));

    EXPECT_FALSE(Files.RemoveDirectory(At("full"))) << "a folder with entries stays";
    EXPECT_TRUE(Exists("full/inner.txt"));
    EXPECT_TRUE(Files.RemoveDirectory(At("new")) && !Exists("new"));
    EXPECT_TRUE(Files.RemoveDirectory(At("never-was"))) << "true means the folder is not there";
}

TEST_F(xFileSystemTest, CreateDirectoriesHandlesPathsBeyondAThousandCharacters)
{
    const std::string component(60, 'n');
    xWString deep = Root;
    while (deep.Length() <= 1100)
        deep += Utf8ToWide((component + "/").c_str());

    ASSERT_TRUE(Files.CreateDirectories(deep));
    std::unique_ptr<xFile> out = Files.OpenWrite(deep + u"leaf.txt", false, false);
    ASSERT_TRUE(out && out->Write("deep", 4)) << "cannot write inside the deep folder";
    out.reset();
    EXPECT_EQ(4, Files.GetFileSize(deep + u"leaf.txt"));
    EXPECT_TRUE(Files.DeleteDirectory(At(component.c_str())) && !Exists(component.c_str()));
}

TEST_F(xFileSystemTest, DeleteDirectoryRemovesTheTreeWithReadOnlyFilesButNotWhatLinksPointAt)
{
    for (const char* name :
         {"tree/a.txt", "tree/sub/b.txt", "tree/sub/deeper/c.txt", "sibling.txt", "out/keep.txt"})
        Write(name, "x");
    fs::create_directories(FsPath(At("tree/empty")));
    ASSERT_TRUE(Files.SetReadOnly(At("tree/a.txt"), true));
    ASSERT_TRUE(Files.SetReadOnly(At("tree/sub/deeper/c.txt"), true));
    // Where folder links cannot be made (Windows without the privilege), the rest still holds.
    std::error_code noLinks;
    fs::create_directory_symlink(FsPath(At("out")), FsPath(At("tree/sub/link")), noLinks);

    EXPECT_TRUE(Files.DeleteDirectory(At("tree")));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_TRUE(Exists("sibling.txt"));
    EXPECT_EQ("x", ReadAll("out/keep.txt")) << "the link's target must survive";
    EXPECT_TRUE(Files.DeleteDirectory(At("tree"))) << "a missing folder is already gone";
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
    EXPECT_TRUE(Files.IsReadOnly(At("ro.txt")) && Files.GetFileInfo(At("ro.txt")).IsReadOnly());
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

// --- Times and information ---

TEST_F(xFileSystemTest, WriteTimeRoundTripsInWholeSeconds)
{
    Write("dated.txt", "x");
    fs::create_directory(FsPath(At("folder")));
    const xDateTime when = xDateTime::FromCalendar(2020, 5, 17, 13, 45, 30);
    EXPECT_TRUE(Files.SetLastWriteTime(At("dated.txt"), when));
    EXPECT_EQ(when.GetTicks(), Files.GetLastWriteTime(At("dated.txt")).GetTicks());
    EXPECT_EQ(when.GetTicks(), Files.GetFileInfo(At("dated.txt")).LastWriteTime.GetTicks());

    EXPECT_TRUE(
        Files.SetLastWriteTime(At("dated.txt"), xDateTime::FromCalendar(1999, 12, 31, 23, 59, 59, 750)));
    EXPECT_EQ(xDateTime::FromCalendar(1999, 12, 31, 23, 59, 59).GetTicks(),
              Files.GetLastWriteTime(At("dated.txt")).GetTicks());

    const xFileSystem plain; // reports the outcome; the engine's override only the file check
    EXPECT_FALSE(plain.SetLastWriteTime(At("missing.txt"), when));
    EXPECT_FALSE(plain.SetLastWriteTime(At("dated.txt"), xDateTime())) << "year 1 is no file time";
    EXPECT_TRUE(Files.SetLastWriteTime(At("dated.txt"), xDateTime()));
    EXPECT_FALSE(Files.SetLastWriteTime(At("missing.txt"), when) ||
                 Files.SetLastWriteTime(At("folder"), when))
        << "only files";
    EXPECT_TRUE(Files.GetLastWriteTime(At("missing.txt")).IsZero());
}

TEST_F(xFileSystemTest, FileInfoDescribesFilesFoldersAndMissingNames)
{
    Write("info/five.txt", "12345");
    fs::create_directory(FsPath(At("info/sub")));
    const int64_t nowTicks =
        621355968000000000 +
        10000000 * static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());

    // Flags (4 exists, 1 folder) and size.
    const auto shape = [](const xFileInfo& info)
    { return std::to_string(info.Flags) + "/" + std::to_string(info.Size); };
    const xFileInfo file = Files.GetFileInfo(At("info/five.txt"));
    EXPECT_EQ("4/5", shape(file));
    EXPECT_LT(std::abs(static_cast<int64_t>(file.LastWriteTime.GetTicks()) - nowTicks), 864000000000)
        << "a file written just now has a write time of today (UTC)";
    EXPECT_EQ("5/-1", shape(Files.GetFileInfo(At("info/sub"))));
    const xFileInfo missing = Files.GetFileInfo(At("missing"));
    EXPECT_EQ("0/-1", shape(missing));
    EXPECT_TRUE(missing.CreationTime.IsZero() && missing.LastAccessTime.IsZero() &&
                missing.LastWriteTime.IsZero());
}

// --- Listings ---

TEST_F(xFileSystemTest, EnumerateListsOneLevelWithFullPaths)
{
    for (const char* name : {"list/a.txt", "list/b.txt", "list/sub/inner.txt"})
        Write(name, "x");

    RecordingVisitor all(At("list/"));
    EXPECT_TRUE(Files.Enumerate(At("list"), all));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "sub/"}), all.Sorted());

    RecordingVisitor first(At("list/"), [](const std::string&) { return false; });
    EXPECT_FALSE(Files.Enumerate(At("list\\"), first)) << "a visitor's false stops the listing";
    EXPECT_EQ(1u, first.Seen.size());

    RecordingVisitor none(Root);
    fs::create_directory(FsPath(At("void")));
    EXPECT_FALSE(Files.Enumerate(At("missing"), none));
    EXPECT_TRUE(Files.Enumerate(At("void"), none) && none.Seen.empty());
}

TEST_F(xFileSystemTest, EnumerateRecursiveGoesDepthFirstAndStopsOnlyTheRefusedLevel)
{
    for (const char* name : {"t/a/a1.txt", "t/a/a2.txt", "t/a/deep/d.txt", "t/b/b1.txt", "t/top.txt"})
        Write(name, "x");

    RecordingVisitor visitor(At("t/"));
    EXPECT_TRUE(Files.EnumerateRecursive(At("t"), visitor));
    EXPECT_EQ((std::vector<std::string>{"a/", "a/a1.txt", "a/a2.txt", "a/deep/", "a/deep/d.txt", "b/",
                                        "b/b1.txt", "top.txt"}),
              visitor.Sorted());
    // Depth first: each entry's folder is the entry before it or one of that one's folders.
    for (size_t i = 0; i < visitor.Seen.size(); ++i)
    {
        const std::string& entry = visitor.Seen[i];
        const std::string before = i > 0 ? visitor.Seen[i - 1] : "";
        EXPECT_EQ(0u, before.rfind(entry.substr(0, entry.rfind('/', entry.size() - 2) + 1), 0))
            << entry << " after " << before;
    }

    RecordingVisitor refusing(At("t/"),
                              [](const std::string& n) { return n == "a/" || n.rfind("a/", 0) != 0; });
    EXPECT_TRUE(Files.EnumerateRecursive(At("t"), refusing)) << "the top level ran to its end";
    const std::vector<std::string> names = refusing.Sorted();
    EXPECT_EQ(1, std::count_if(names.begin(), names.end(),
                               [](const std::string& n) { return n != "a/" && n.rfind("a/", 0) == 0; }))
        << "one entry of a/, then that level stops";
    for (const char* expected : {"a/", "b/", "b/b1.txt", "top.txt"})
        EXPECT_NE(names.end(), std::find(names.begin(), names.end(), expected)) << expected;
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

// --- Path forms ---

TEST_F(xFileSystemTest, RealPathSpellsComponentsAsStored)
{
    Write("MixedCase/File.TXT", "x");
    const std::string real = Narrow(Files.GetRealPath(At("MixedCase\\File.TXT")));
    EXPECT_EQ(Narrow(At("MixedCase/File.TXT")).size(), real.size());
    EXPECT_EQ("MixedCase/File.TXT", real.substr(real.size() - 18)) << "\"/\" separators: " << real;

    if (!Files.IsFile(At("mixedcase/file.txt")))
        GTEST_SKIP() << "names are case-sensitive here: every existing name is already spelled as stored";
    const std::string fixed = Narrow(Files.GetRealPath(At("mixedcase/file.txt")));
    EXPECT_EQ("MixedCase/File.TXT", fixed.substr(fixed.size() - 18));
    const std::string partly = Narrow(Files.GetRealPath(At("mixedcase/NoSuch/x.txt")));
    EXPECT_EQ("MixedCase/NoSuch/x.txt", partly.substr(partly.size() - 22)) << "missing names stay as given";
}
