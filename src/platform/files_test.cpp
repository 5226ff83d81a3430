#include "platform/files.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/errors.h"
#include "testing/temp_dir.h"

using testing::HasSubstr;
using testing::ThrowsMessage;

TEST(Files, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
    TTempDir Dir;
    const std::string Path = Dir.Write("out.txt", "old content");
    WriteFileAtomically(Path, "new");
    EXPECT_EQ(ReadFileBytes(Path), "new");
    EXPECT_EQ(ListFiles(Dir.Dir(), "*").size(), 1u);
    // A path below a regular file cannot be written: the error names the file.
    EXPECT_THAT(
        [&] { WriteFileAtomically(Dir.Path("out.txt/x"), "y"); },
        ThrowsMessage<EOSError>(HasSubstr("Cannot create file \"" + Dir.Path("out.txt/x"))));
    EXPECT_EQ(ReadFileBytes(Path), "new");
}

TEST(Files, AppendCreatesThenAppends) {
    TTempDir Dir;
    AppendToFile(Dir.Path("a.err"), "one\r\n");
    AppendToFile(Dir.Path("a.err"), "two\r\n");
    EXPECT_EQ(Dir.Read("a.err"), "one\r\ntwo\r\n");
    EXPECT_THROW(AppendToFile(Dir.Path("a.err/b"), "x"), EOSError);
    EXPECT_THROW(ReadFileBytes(Dir.Path("missing")), EOSError);
}

TEST(Files, ListsVisibleRegularFilesByExtensionIgnoringCase) {
    TTempDir Dir;
    Dir.Write("a.vrk", "1");
    Dir.Write("B.VRK", "22");
    Dir.Write("c.txt", "3");
    Dir.Write(".hidden.vrk", "4");
    Dir.Write("sub.vrk/inner.vrk", "5");
    Dir.Write("novrk", "6");
    std::vector<std::string> Names;
    for (const auto& E : ListFiles(Dir.Dir(), "vrk")) {
        Names.push_back(E.Name);
        EXPECT_EQ(E.Size, static_cast<int64_t>(E.Name == "a.vrk" ? 1 : 2));
    }
    std::sort(Names.begin(), Names.end());
    EXPECT_EQ(Names, (std::vector<std::string>{"B.VRK", "a.vrk"}));
    EXPECT_EQ(ListFiles(Dir.Dir(), "*").size(), 4u);
    EXPECT_EQ(ListSubdirectories(Dir.Dir()), std::vector<std::string>{"sub.vrk"});
    EXPECT_THROW(ListFiles(Dir.Path("missing"), "*"), EOSError);
}

TEST(Files, CopyKeepsTheTimeAndRefusesToCopyOntoItself) {
    TTempDir Dir;
    const std::string Src = Dir.Write("in.dat", "payload");
    const TDateTime When = EncodeDateTime(2008, 3, 25, 14, 5, 9, 250);
    ASSERT_TRUE(SetFileTimeUtc(Src, When));
    CopyFileReplacing(Src, Dir.Path("out.dat"));
    int64_t Size = 0;
    TDateTime Time = 0;
    ASSERT_TRUE(GetFileInfo(Dir.Path("out.dat"), Size, Time));
    EXPECT_EQ(Size, 7);
    EXPECT_NEAR(Time, When, OneMillisecond / 2);
    EXPECT_THROW(CopyFileReplacing(Src, Src), EOSError);
    EXPECT_EQ(Dir.Read("in.dat"), "payload");
}

TEST(Files, DirectoriesAndAttributes) {
    TTempDir Dir;
    ForceDirectories(Dir.Path("a/b/c"));
    EXPECT_TRUE(std::filesystem::is_directory(Dir.Path("a/b/c")));
    Dir.Write("f", "x");
    EXPECT_THROW(ForceDirectories(Dir.Path("f/g")), EOSError);
    ::chmod(Dir.Path("f").c_str(), 0444);
    SetAttributesNormal(Dir.Path("f"));
    struct stat St {};
    ASSERT_EQ(::stat(Dir.Path("f").c_str(), &St), 0);
    EXPECT_NE(St.st_mode & S_IWUSR, 0u);
    EXPECT_TRUE(DeleteFile(Dir.Path("f")));
    EXPECT_FALSE(DeleteFile(Dir.Path("f")));
}

TEST(Files, DurableAppendCreatesAppendsAndReportsFailures) {
    TTempDir Dir;
    AppendToFileDurably(Dir.Path("ZALMORET.TXT"), "");
    EXPECT_EQ(Dir.Read("ZALMORET.TXT"), "");
    AppendToFileDurably(Dir.Path("ZALMORET.TXT"), "a\r\n");
    AppendToFileDurably(Dir.Path("ZALMORET.TXT"), "b\r\n");
    EXPECT_EQ(Dir.Read("ZALMORET.TXT"), "a\r\nb\r\n");
    EXPECT_THROW(AppendToFileDurably(Dir.Path("ZALMORET.TXT/x"), "x"), EOSError);
}
