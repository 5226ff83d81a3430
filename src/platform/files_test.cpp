#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "platform/dirsync.h"
#include "testing/file_faults.h"
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

// The extension is the wildcard pattern "*." + Ext, with "*" and "?", case ignored.
TEST(Files, ExtensionsAreWildcardPatterns) {
    TTempDir Dir;
    for (const char* Name : {"a.vrk", "b.V", "c.VRX", "d.txt", "e.vrk.bak", "f.data.vr1", "vrk"}) {
        Dir.Write(Name, "x");
    }
    struct {
        const char* Ext;
        std::vector<std::string> Want;
    } Cases[] = {
        {"v*", {"a.vrk", "b.V", "c.VRX", "e.vrk.bak", "f.data.vr1"}},
        {"vr?", {"a.vrk", "c.VRX", "f.data.vr1"}},
        {"?", {"b.V"}},
        {"*k*", {"a.vrk", "e.vrk.bak"}},
        {"vrk", {"a.vrk"}},
        {"t?t", {"d.txt"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Ext);
        std::vector<std::string> Names;
        for (const auto& E : ListFiles(Dir.Dir(), C.Ext)) {
            Names.push_back(E.Name);
        }
        std::sort(Names.begin(), Names.end());
        EXPECT_EQ(Names, C.Want);
    }
}

// Only the temporaries of atomic writes, regular files older than the given time, are removed.
TEST(Files, RemovesTheTemporariesACrashLeftBehind) {
    TTempDir Dir;
    const TDateTime Start = EncodeDateTime(2008, 3, 25, 17, 0, 0, 0);
    const TDateTime Before = Start - OneSecond, After = Start + OneSecond;
    struct {
        const char* Name;
        TDateTime Time;
        bool Kept;
    } Cases[] = {{".tarno-a1B2c3", Before, false}, {".tarno-x9y8z7", After, true},
                 {".tarno-a1B2c", Before, true},   {".tarno-a1B2c3d", Before, true},
                 {".tarno-a1-2c3", Before, true},  {"tarno-a1B2c3", Before, true},
                 {".tarnox-abcdef", Before, true}, {"a.vrk", Before, true}};
    for (const auto& C : Cases) {
        SetFileTimeUtc(Dir.Write(C.Name, "x"), C.Time);
    }
    const std::string Target = Dir.Write("sub/target", "y");
    SetFileTimeUtc(Target, Before);
    ASSERT_EQ(::symlink(Target.c_str(), Dir.Path(".tarno-link00").c_str()), 0);
    ForceDirectories(Dir.Path(".tarno-dir000"));

    EXPECT_EQ(RemoveLeftTemporaries(Dir.Dir(), Start), 1);
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(::access(Dir.Path(C.Name).c_str(), F_OK) == 0, C.Kept);
    }
    EXPECT_EQ(Dir.Read("sub/target"), "y");
    EXPECT_EQ(RemoveLeftTemporaries(Dir.Path("missing"), Start), -1);
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

namespace {
mode_t ModeOf(const std::string& Path) {
    struct stat St {};
    return ::lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
}
mode_t CurrentUmask() {
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    return Mask;
}
} // namespace

// An output name planted as a link to a setuid program must not lend its mode to what is
// written there; a regular file keeps its permission bits only.
TEST(Files, AtomicWriteKeepsOnlyThePermissionBitsOfARegularFile) {
    TTempDir Dir;
    const std::string Tool = Dir.Write("tool", "setuid program");
    ASSERT_EQ(::chmod(Tool.c_str(), 04755), 0);
    ASSERT_EQ(::symlink(Tool.c_str(), Dir.Path("link.dat").c_str()), 0);
    WriteFileAtomically(Dir.Path("link.dat"), "payload");
    EXPECT_TRUE(S_ISREG(ModeOf(Dir.Path("link.dat"))));
    EXPECT_EQ(ModeOf(Dir.Path("link.dat")) & 07777, 0666 & ~CurrentUmask());
    EXPECT_EQ(Dir.Read("tool"), "setuid program");
    EXPECT_EQ(ModeOf(Tool) & 07777, 04755u);

    const std::string Regular = Dir.Write("regular.dat", "old");
    ASSERT_EQ(::chmod(Regular.c_str(), 06751), 0);
    WriteFileAtomically(Regular, "new");
    EXPECT_EQ(ModeOf(Regular) & 07777, 0751u);
}

// Temporary names are short, of one pattern, whatever the target's name.
TEST(Files, AtomicWriteTakesTheLongestNames) {
    TTempDir Dir;
    const std::string Name(255, 'n');
    WriteFileAtomically(Dir.Path(Name), "x");
    EXPECT_EQ(Dir.Read(Name), "x");
    EXPECT_TRUE(IsAtomicWriteTempName(".tarno-Ab12Zz"));
    for (const char* Other : {".tarno-Ab12Z", ".tarno-Ab12Zz1", "tarno-Ab12Zz", ".tarno-Ab1.Zz",
                              ".tarno-XXXXX/", ".out.dat.Ab12Zz", ""}) {
        EXPECT_FALSE(IsAtomicWriteTempName(Other)) << Other;
    }
}

// Links and special files in a watched directory are neither listed nor read.
TEST(Files, InputsAreNeverReachedThroughLinksOrSpecialFiles) {
    TTempDir Dir;
    const std::string Secret = Dir.Write("secret/key", "root only");
    Dir.Write("in/real.vrk", "data");
    ASSERT_EQ(::symlink(Secret.c_str(), Dir.Path("in/link.vrk").c_str()), 0);
    ASSERT_EQ(::symlink(Dir.Path("secret").c_str(), Dir.Path("in/linkdir").c_str()), 0);
    ASSERT_EQ(::mkdir(Dir.Path("in/sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(Dir.Path("in/fifo.vrk").c_str(), 0644), 0);
    std::vector<std::string> Links;
    const auto Files = ListFiles(Dir.Path("in"), "*", &Links);
    ASSERT_EQ(Files.size(), 1u);
    EXPECT_EQ(Files[0].Name, "real.vrk");
    std::sort(Links.begin(), Links.end());
    EXPECT_EQ(Links, (std::vector<std::string>{"link.vrk", "linkdir"}));
    EXPECT_EQ(ListSubdirectories(Dir.Path("in")), std::vector<std::string>{"sub"});

    EXPECT_THAT([&] { ReadFileBytes(Dir.Path("in/link.vrk")); },
                ThrowsMessage<EOSError>(HasSubstr("symbolic link")));
    // A FIFO would block a plain open; it is refused at once.
    EXPECT_THAT([&] { ReadFileBytes(Dir.Path("in/fifo.vrk")); },
                ThrowsMessage<EOSError>(HasSubstr("not a regular file")));
    // Nor is anything appended to them.
    EXPECT_THROW(AppendToFile(Dir.Path("in/fifo.vrk"), "x"), EOSError);
    EXPECT_THROW(AppendToFile(Dir.Path("in/link.vrk"), "x"), EOSError);
    std::string Bytes;
    EXPECT_FALSE(TryReadFileBytes(Dir.Path("in/link.vrk"), Bytes));
    EXPECT_FALSE(TryReadFileBytes("/dev/zero", Bytes));
    EXPECT_FALSE(FileExists(Dir.Path("in/link.vrk")));
    EXPECT_THROW(CopyFileReplacing(Dir.Path("in/link.vrk"), Dir.Path("out.vrk")), EOSError);
    EXPECT_FALSE(FileExists(Dir.Path("out.vrk")));
}

// The pieces make the whole file, each ending at a line end: none cuts a line or a CR LF pair,
// wherever the blocks end, and a line longer than a block comes whole.
TEST(Files, ReadsInPiecesThatEndAtLineEnds) {
    TTempDir Dir;
    constexpr std::size_t Block = std::size_t{1} << 18; // the reader's block
    std::string Lines;
    for (int I = 0; Lines.size() < 3 * Block; ++I) {
        Lines += "line " + std::to_string(I) + (I % 3 == 0 ? "\r\n" : I % 3 == 1 ? "\n" : "\r");
    }
    const auto At = [](std::string Text, std::size_t Where, std::string_view Put) {
        Text.replace(Where, Put.size(), Put);
        return Text;
    };
    const std::string Texts[] = {
        "",
        "no line end",
        "a\r\nb\r",
        Lines,
        At(Lines, Block - 1, "\r\n"),                 // a CR LF pair across the first block's end
        At(Lines, Block - 1, "\rx"),                  // a lone CR as the block's last byte
        std::string(Block + 5, 'x') + "\r\n" + Lines, // a line longer than a block
        Lines + std::string(2 * Block, 'y'),          // the same, last and without an end
    };
    for (const std::string& Text : Texts) {
        SCOPED_TRACE(Text.size());
        const std::string Path = Dir.Write("in.txt", Text);
        std::vector<std::string> Pieces;
        ReadFileInLineBlocks(Path, [&](std::string_view Piece) { Pieces.emplace_back(Piece); });
        std::string Whole;
        for (std::size_t I = 0; I < Pieces.size(); ++I) {
            EXPECT_FALSE(Pieces[I].empty());
            if (I + 1 < Pieces.size()) {
                const char Last = Pieces[I].back();
                EXPECT_TRUE(Last == '\n' || (Last == '\r' && Pieces[I + 1][0] != '\n'))
                    << "piece " << I;
            }
            Whole += Pieces[I];
        }
        EXPECT_EQ(Whole, Text);
        if (Text.size() > 2 * Block) {
            EXPECT_GT(Pieces.size(), 1u);
        }
    }
    ASSERT_EQ(::symlink(Dir.Path("in.txt").c_str(), Dir.Path("link.txt").c_str()), 0);
    EXPECT_THAT([&] { ReadFileInLineBlocks(Dir.Path("link.txt"), [](std::string_view) {}); },
                ThrowsMessage<EOSError>(HasSubstr("symbolic link")));
    EXPECT_THROW(ReadFileInLineBlocks(Dir.Path("missing.txt"), [](std::string_view) {}), EOSError);
}

// Making a file writable never changes the mode of what a link points to.
TEST(Files, ModesAreNeverChangedThroughLinks) {
    TTempDir Dir;
    const std::string Target = Dir.Write("target", "x");
    ASSERT_EQ(::chmod(Target.c_str(), 0444), 0);
    ASSERT_EQ(::symlink(Target.c_str(), Dir.Path("status.dst").c_str()), 0);
    SetAttributesNormal(Dir.Path("status.dst"));
    EXPECT_EQ(ModeOf(Target) & 07777, 0444u);
    ASSERT_EQ(::symlink(Target.c_str(), Dir.Path("timed").c_str()), 0);
    EXPECT_FALSE(SetFileTimeUtc(Dir.Path("timed"), EncodeDateTime(2001, 1, 1, 0, 0, 0, 0)));
}

// One open answers whether a file is there, makes it writable and reads it (the input of a
// transform, the output a merge adds to); what is no regular file counts as no file and is left
// alone, and the caller's check runs before anything changes.
TEST(Files, ReadFileMadeWritable) {
    TTempDir Dir;
    const std::string Input = Dir.Write("in.vrk", "rows");
    ASSERT_EQ(::chmod(Input.c_str(), 0444), 0);
    ASSERT_EQ(::symlink(Input.c_str(), Dir.Path("link.vrk").c_str()), 0);
    ASSERT_EQ(::mkfifo(Dir.Path("fifo.vrk").c_str(), 0644), 0);
    ForceDirectories(Dir.Path("sub.vrk"));
    TReadFile File;
    File.Bytes = "stale";
    int Found = 0;
    for (const char* Gone : {"missing.vrk", "link.vrk", "fifo.vrk", "sub.vrk", "in.vrk/below"}) {
        SCOPED_TRACE(Gone);
        EXPECT_FALSE(ReadFileMadeWritable(Dir.Path(Gone), File, [&] { ++Found; }));
        EXPECT_EQ(File.Bytes, "");
        EXPECT_FALSE(ReadFileMadeWritable(Dir.Path(Gone), File));
    }
    EXPECT_EQ(Found, 0);
    EXPECT_EQ(ModeOf(Input) & 07777, 0444u);
    // A check that fails stops it before the file is changed.
    EXPECT_THROW(ReadFileMadeWritable(Input, File, [] { throw ETarnoError("no output"); }),
                 ETarnoError);
    EXPECT_EQ(ModeOf(Input) & 07777, 0444u);
    ASSERT_TRUE(ReadFileMadeWritable(Input, File, [&] { ++Found; }));
    EXPECT_EQ(Found, 1);
    EXPECT_EQ(File.Bytes, "rows");
    EXPECT_EQ(ModeOf(Input) & 07777, 0644u);
    struct stat St {};
    ASSERT_EQ(::stat(Input.c_str(), &St), 0);
    EXPECT_EQ(File.Inode, St.st_ino);
    // Read as ReadFileInto reads, it can be copied without reading it again.
    CopyReadFileReplacing(File, Input, Dir.Path("copy"));
    EXPECT_EQ(Dir.Read("copy"), "rows");
}

// The subdirectories the service creates or enters are never links.
TEST(Files, EnsureSubdirectoryRefusesLinks) {
    TTempDir Dir;
    const std::string Made = EnsureSubdirectory(Dir.Dir(), "raw");
    EXPECT_EQ(Made, Dir.Path("raw"));
    EXPECT_TRUE(S_ISDIR(ModeOf(Made)));
    EXPECT_EQ(EnsureSubdirectory(Dir.Dir(), "raw"), Made);
    ASSERT_EQ(::mkdir(Dir.Path("elsewhere").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(Dir.Path("elsewhere").c_str(), Dir.Path("planted").c_str()), 0);
    EXPECT_THAT([&] { EnsureSubdirectory(Dir.Dir(), "planted"); },
                ThrowsMessage<EOSError>(HasSubstr("Cannot use directory \"" + Dir.Path("planted") +
                                                  "\": it is a symbolic link, not a directory")));
    Dir.Write("file", "x");
    EXPECT_THROW(EnsureSubdirectory(Dir.Dir(), "file"), EOSError);
    EXPECT_TRUE(IsRealDirectory(Made));
    EXPECT_FALSE(IsRealDirectory(Dir.Path("planted")));
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

// A batch takes the directory syncs of the atomic replacements: each directory once, when the
// batch syncs or ends, or early for a file that records what came before it.
TEST(Files, DirectorySyncsWaitForTheirBatch) {
    TTempDir Dir;
    std::filesystem::create_directories(Dir.Path("a"));
    std::filesystem::create_directories(Dir.Path("b"));
    std::vector<std::string> Events;
    SetFileSyncObserver([&](std::string_view Event, const std::string& Path) {
        Events.push_back(std::string(Event) + " " + Path.substr(Dir.Dir().size()));
    });
    WriteFileAtomically(Dir.Path("a/1"), "x");
    {
        TDeferredDirectorySyncs Syncs;
        WriteFileAtomically(Dir.Path("a/2"), "x");
        CopyFileReplacing(Dir.Path("a/2"), Dir.Path("b/2"));
        WriteFileAtomically(Dir.Path("a/3"), "x");
        Events.push_back("--");
        SyncDeferredDirectories();
        Events.push_back("--");
        {
            TDeferredDirectorySyncs Inner;
            WriteFileAtomically(Dir.Path("b/4"), "x");
        }
        WriteFileAtomically(Dir.Path("b/5"), "x");
        WriteFileAtomically(Dir.Path("a/5"), "x");
        SyncDeferredDirectory(Dir.Path("b"));
        SyncDeferredDirectory(Dir.Path("b")); // no longer pending
        WriteFileAtomically(Dir.Path("a/6"), "x");
    }
    SetFileSyncObserver(nullptr);
    EXPECT_THAT(Events, testing::ElementsAre("rename /a/1", "sync /a", "rename /a/2", "rename /b/2",
                                             "rename /a/3", "--", "sync /a", "sync /b", "--",
                                             "rename /b/4", "sync /b", "rename /b/5", "rename /a/5",
                                             "sync /b", "rename /a/6", "sync /a"));
}

// Each failed write, fsync, rename or directory creation raises with the system's message and
// leaves the disk as it was (but for an append's failed flush and a replacement's failed
// directory sync): the old file whole, no temporary, no new directory.
TEST(FileFaults, EveryFailedOperationLeavesTheOldState) {
    TTempDir Dir;
    const std::string File = Dir.Write("out/a.txt", "old");
    const auto NoTemporary = [&] {
        return std::none_of(std::filesystem::directory_iterator(Dir.Path("out")),
                            std::filesystem::directory_iterator(), [](const auto& E) {
                                return IsAtomicWriteTempName(E.path().filename().string());
                            });
    };
    struct {
        const char* Name;
        std::function<void()> Act;
        std::vector<TFileOp> Ops;
    } Cases[] = {
        {"replace",
         [&] { WriteFileAtomically(File, "new"); },
         {TFileOp::Write, TFileOp::Write, TFileOp::Sync, TFileOp::Rename, TFileOp::Sync}},
        {"copy",
         [&] { CopyFileReplacing(Dir.Write("src.txt", "new"), File); },
         {TFileOp::Write, TFileOp::Write, TFileOp::Sync, TFileOp::Rename, TFileOp::Sync}},
        {"append", [&] { AppendToFile(File, "new"); }, {TFileOp::Write}},
        {"durable append",
         [&] { AppendToFileDurably(File, "new"); },
         {TFileOp::Write, TFileOp::Sync}},
        {"subdirectory", [&] { EnsureSubdirectory(Dir.Path("out"), "sub"); }, {TFileOp::MakeDir}},
        {"levels",
         [&] { ForceDirectories(Dir.Path("out/x/y")); },
         {TFileOp::MakeDir, TFileOp::MakeDir}},
    };
    for (const auto& C : Cases) {
        {
            TInjectedFaults Count;
            C.Act();
            std::vector<TFileOp> Seen;
            for (const auto& Op : Count.Ops()) {
                Seen.push_back(Op.Op);
            }
            EXPECT_EQ(Seen, C.Ops) << C.Name;
        }
        for (size_t N = 1; N <= C.Ops.size(); ++N) {
            for (const int Error : {ENOSPC, EIO}) {
                SCOPED_TRACE(std::string(C.Name) + " " + std::to_string(N) + " " +
                             SysErrorMessage(Error));
                std::filesystem::remove_all(Dir.Path("out"));
                Dir.Write("out/a.txt", "old");
                TInjectedFaults Fault(static_cast<int>(N), Error);
                EXPECT_THAT([&] { C.Act(); }, testing::ThrowsMessage<EOSError>(
                                                  testing::HasSubstr(SysErrorMessage(Error))));
                EXPECT_TRUE(Fault.Fired());
                // An append whose flush fails has written its bytes, and a replacement whose
                // directory cannot be synced has renamed its file: the caller learns that they
                // may not be on disk.
                const std::string Name = C.Name;
                const bool Appended = Name == "durable append" && N == 2;
                const bool Renamed = (Name == "replace" || Name == "copy") && N == 5;
                EXPECT_EQ(Dir.Read("out/a.txt"), Appended ? "oldnew" : Renamed ? "new" : "old");
                EXPECT_TRUE(NoTemporary());
                EXPECT_FALSE(std::filesystem::exists(Dir.Path("out/sub")));
                EXPECT_FALSE(std::filesystem::exists(Dir.Path("out/x/y")));
            }
        }
    }
}
