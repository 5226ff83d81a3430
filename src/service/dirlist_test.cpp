#include "service/dirlist.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

const TDateTime Mar25 = EncodeDateTime(2008, 3, 25, 13, 5, 9, 120);

class DirectoryListTest : public ::testing::Test {
protected:
    // A file of Content with the UTC modification time Time.
    std::string Put(const std::string& Name, const std::string& Content, TDateTime Time = Mar25) {
        const std::string Path = Dir.Write(Name, Content);
        EXPECT_TRUE(SetFileTimeUtc(Path, Time));
        return Path;
    }
    TDirectoryList List(const std::string& Ext = "*") {
        return TDirectoryList(Dir.Dir(), Ext, "fclist_none0.dst", Clock, -60);
    }
    // The names offered by one pass in the order offered; every file converts.
    std::vector<std::string> Pass(bool Ascending = false, const std::string& Ext = "*") {
        std::vector<std::string> Seen;
        TDirectoryList L = List(Ext);
        L.Process(Ascending, [&](const std::string& File, TFileVisit&) {
            Seen.push_back(std::filesystem::path(File).filename().string());
            return true;
        });
        L.Save();
        return Seen;
    }
    std::string Status() const { return Dir.Read("fclist_none0.dst"); }

    TTempDir Dir;
    TFakeClock Clock{EncodeDateTime(2008, 3, 25, 14, 30, 0, 7), -60};
};

TEST_F(DirectoryListTest, WritesTheStatusFileByteForByte) {
    Put("0325_shop1.vrk", std::string(812, 'x'));
    Put("b.txt", "abc", EncodeDateTime(2008, 3, 24, 23, 59, 59, 999));
    EXPECT_THAT(Pass(), ElementsAre("b.txt", "0325_shop1.vrk"));
    EXPECT_EQ(Status(), "# directory status file \r\n"
                        "# directory: " +
                            Dir.Dir() +
                            "\r\n"
                            "# file mask: *.*\r\n"
                            "# last update: 2008/03/25 14:30:00:007 (UTC +01:00)\r\n"
                            "0325_shop1.vrk\t812\t2008/03/25 13:05:09.120 UTC\r\n"
                            "b.txt\t3\t2008/03/24 23:59:59.999 UTC\r\n");
    EXPECT_THAT(Pass(), ElementsAre()); // the next pass finds nothing to do
}

TEST_F(DirectoryListTest, KeepsAStatusFileWhoseRecordsStand) {
    Put("a.vrk", "abc");
    Pass();
    const std::string First = Status();
    Clock.Advance(60000);
    Pass(); // nothing changed: the old stamp stays
    EXPECT_EQ(Status(), First);
    Put("b.vrk", "abc");
    Pass();
    EXPECT_THAT(Status(), ::testing::HasSubstr("# last update: 2008/03/25 14:31:00:007 (UTC +01:00)"
                                               "\r\na.vrk\t3\t"));
    std::filesystem::remove(Dir.Path("b.vrk"));
    Pass(); // a file has gone: its record goes too
    EXPECT_THAT(Status(), ::testing::Not(::testing::HasSubstr("b.vrk")));
}

TEST_F(DirectoryListTest, EmptyDirectoryGetsTheHeaderOnly) {
    EXPECT_THAT(Pass(true, "vrk"), ElementsAre());
    EXPECT_EQ(Status(), "# directory status file \r\n# directory: " + Dir.Dir() +
                            "\r\n# file mask: *.vrk\r\n"
                            "# last update: 2008/03/25 14:30:00:007 (UTC +01:00)\r\n");
}

TEST_F(DirectoryListTest, ComparesSizeAndTimeWithTheStatusLine) {
    struct {
        const char* Line; // recorded for a.vrk: 3 bytes, 2008/03/25 13:05:09.120 UTC
        bool Changed;
    } Cases[] = {
        {"a.vrk\t3\t2008/03/25 13:05:09.120 UTC", false},
        {"A.VRK\t3\t2008/03/25 13:05:09.120 UTC", false},   // case ignored
        {"a.vrk\t3\t2008/03/25 13:05:11.119 UTC", false},   // 1.999 s apart
        {"a.vrk\t3\t2008/03/25 13:05:07.000 UTC", false},   // 2.12 s apart
        {"a.vrk\t3\t2008/03/25 13:05:12.120 UTC", true},    // 3 s apart
        {"a.vrk\t4\t2008/03/25 13:05:09.120 UTC", true},    // size differs
        {"a.vrk\tx\t2008/03/25 13:05:09.120 UTC", true},    // size read as 0
        {"a.vrk\t3\t2008/03/25 14:05:09.120", false},       // local time, bias -60
        {"a.vrk\t3\t2008/03/25 13:05:09.120", true},        // local time taken as UTC+1
        {"a.vrk\t3\t2008/03/25 13:05:09.120 UTC  ", false}, // line end trimmed
        {"  a.vrk\t3\t2008/03/25 13:05:09.120 UTC", true},  // the record of "  a.vrk"
        {"# a.vrk\t3\t2008/03/25 13:05:09.120 UTC", true},  // the record of "# a.vrk"
        {"# a.vrk 3 2008/03/25 13:05:09.120 UTC", true},    // a comment
        {"a.vrk\t3\t2008/03/25 13:05:09 UTC", false},       // no millisecond: .001
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        Put("a.vrk", "abc");
        Dir.Write("fclist_none0.dst", std::string("# header\r\n") + C.Line + "\r\n");
        TDirectoryList L = List();
        ASSERT_EQ(L.Files().size(), 1u);
        EXPECT_EQ(L.Files()[0].Status.Changed, C.Changed);
    }
}

TEST_F(DirectoryListTest, DamagedStatusFileStopsReadingAtTheBadLine) {
    for (const char* Bad :
         {"b.vrk\t-3\t2008/03/25 13:05:09.120 UTC", "b.vrk\t3\t2008/13/25 13:05:09.120 UTC",
          "b.vrk\t3\t2008/03/25 13:05:09.120 UTC\t", // fine: extra field
          "b.vrk\t3\t2008/-1/25 13:05:09.120 UTC", "b.vrk\t3\t2008/03/25 25:05:09.120 UTC"}) {
        SCOPED_TRACE(Bad);
        for (const char* Name : {"a.vrk", "b.vrk", "c.vrk"}) {
            Put(Name, "abc");
        }
        Dir.Write("fclist_none0.dst", std::string("a.vrk\t3\t2008/03/25 13:05:09.120 UTC\n") + Bad +
                                          "\r" + "c.vrk\t3\t2008/03/25 13:05:09.120 UTC\r\n");
        TDirectoryList L = List();
        const bool Damaged = std::string(Bad).back() != '\t';
        EXPECT_FALSE(L.Files()[0].Status.Changed);
        EXPECT_EQ(L.Files()[1].Status.Changed, Damaged);
        EXPECT_EQ(L.Files()[2].Status.Changed, Damaged);
    }
}

// Records are matched by name, exactly first, else without regard to case (then the first of
// the list's order takes the record), in whatever order the status file holds them; the list's
// order does not depend on it.
TEST_F(DirectoryListTest, MatchesRecordsByNameInAnyOrder) {
    const std::string Stamp = "\t2008/03/25 13:05:09.120 UTC\r\n";
    const std::vector<std::string> Records = {"d.vrk\t3", "A.VRK\t3", "b.VRK\t3", "gone.vrk\t3",
                                              "C.vrk\t9"};
    for (const bool Sorted : {false, true}) {
        SCOPED_TRACE(Sorted);
        for (const char* Name : {"d.vrk", "b.vrk", "C.vrk", "B.vrk", "e.vrk", "a.vrk"}) {
            Put(Name, "abc");
        }
        std::vector<std::string> Lines = Records;
        if (Sorted) {
            Lines = {"A.VRK\t3", "b.VRK\t3", "C.vrk\t9", "d.vrk\t3", "gone.vrk\t3"};
        }
        std::string Text;
        for (const std::string& Line : Lines) {
            Text += Line + Stamp;
        }
        Dir.Write("fclist_none0.dst", Text);
        TDirectoryList L = List();
        std::vector<std::string> Names;
        std::vector<bool> Changed;
        for (const TDirectoryList::TItem& Item : L.Files()) {
            Names.emplace_back(Item.Name);
            Changed.push_back(Item.Status.Changed);
        }
        EXPECT_THAT(Names, ElementsAre("a.vrk", "B.vrk", "b.vrk", "C.vrk", "d.vrk", "e.vrk"));
        EXPECT_THAT(Changed, ElementsAre(false, false, true, true, false, true));
    }
}

TEST_F(DirectoryListTest, LeavesOutHiddenStatusAndUnrecordableFiles) {
    Put("a.vrk", "1");
    Put("b.VRK", "1");
    Put("c.txt", "1");
    Put(".hidden.vrk", "1");
    Put("old.DST", "1");
    Put("tab\tname.vrk", "1");
    Put("line\nname.vrk", "1");
    std::filesystem::create_directories(Dir.Path("sub.vrk"));
    EXPECT_THAT(Pass(true, "vrk"), ElementsAre("a.vrk", "b.VRK"));
    EXPECT_THAT(Pass(false, "*"), ElementsAre("c.txt"));
}

// A name starting with "#" or a blank is a record like any other: it is read back exactly, so
// the file is converted once.
TEST_F(DirectoryListTest, ReadsBackNamesStartingWithHashOrBlank) {
    for (const char* Name : {"#1.vrk", " lead.vrk", "\tx", "trail .vrk", "# directory: x"}) {
        Put(Name, "abc");
    }
    EXPECT_THAT(Pass(), ElementsAre("trail .vrk", "#1.vrk", "# directory: x", " lead.vrk"));
    EXPECT_THAT(Pass(), ElementsAre());
}

TEST_F(DirectoryListTest, OffersFilesFromTheLastNameToTheFirst) {
    for (const char* Name : {"0326.vrk", "0325.vrk", "0327.vrk"}) {
        Put(Name, "x");
    }
    EXPECT_THAT(Pass(false), ElementsAre("0327.vrk", "0326.vrk", "0325.vrk"));
    std::filesystem::remove(Dir.Path("fclist_none0.dst"));
    EXPECT_THAT(Pass(true), ElementsAre("0325.vrk", "0326.vrk", "0327.vrk"));
}

TEST_F(DirectoryListTest, FailedAndRaisingFilesStayChangedAndAreOfferedAgain) {
    for (const char* Name : {"bad.vrk", "good.vrk", "raises.vrk", "zlast.vrk"}) {
        Put(Name, "x");
    }
    TDirectoryList L = List();
    std::vector<std::string> Seen;
    L.Process(false, [&](const std::string& File, TFileVisit& Visit) {
        const std::string Name = std::filesystem::path(File).filename().string();
        Seen.push_back(Name);
        if (Name == "raises.vrk") {
            throw ETarnoError("Current service task canceled due to urgent control request.");
        }
        if (Name == "good.vrk") {
            Visit.Continue = false;
        }
        return Name != "bad.vrk";
    });
    EXPECT_THAT(Seen, ElementsAre("zlast.vrk", "raises.vrk", "good.vrk"));
    EXPECT_EQ(L.OkCount(), 2);
    EXPECT_EQ(L.BadCount(), 0);
    L.Save();
    EXPECT_THAT(Pass(), ElementsAre("raises.vrk", "bad.vrk"));

    TDirectoryList Again = List();
    Again.Process(false, [](const std::string&, TFileVisit&) { return false; });
    EXPECT_EQ(Again.OkCount(), 0);
    EXPECT_EQ(Again.BadCount(), 0); // everything was recorded by the pass before
}

TEST_F(DirectoryListTest, RecordsTheScanValuesUnlessTheConverterRewroteTheInput) {
    const std::string Grows = Put("grows.vrk", "abc");
    const std::string Rewritten = Put("rewritten.vrk", "abc");
    TDirectoryList L = List();
    L.Process(true, [&](const std::string& File, TFileVisit& Visit) {
        Dir.Write(std::filesystem::path(File).filename().string(), "abcdef");
        Visit.InputRewritten = File == Rewritten;
        return true;
    });
    L.Save();
    EXPECT_THAT(Pass(), ElementsAre("grows.vrk"));
}

TEST_F(DirectoryListTest, RefusesAMissingDirectoryAndReportsAnUnwritableStatusFile) {
    EXPECT_THAT(
        [&] { TDirectoryList(Dir.Path("gone/"), "*", "", Clock, 0); },
        ThrowsMessage<ETarnoError>(StrEq("Directory does not exist\"" + Dir.Path("gone") + "\"")));
    // The root keeps its separator.
    EXPECT_EQ(TDirectoryList("/", "no-such-ext", "", Clock, 0).Directory(), "/");
    Put("a.vrk", "x");
    std::filesystem::create_directories(
        Dir.Path("fclist_none0.dst")); // a directory where the status file should go
    TDirectoryList L = List();
    L.Process(false, [](const std::string&, TFileVisit&) { return true; });
    EXPECT_THROW(L.Save(), EOSError);
}

TEST_F(DirectoryListTest, RewritesAReadOnlyStatusFile) {
    Put("a.vrk", "x");
    const std::string Path = Dir.Write("fclist_none0.dst", "");
    std::filesystem::permissions(Path, std::filesystem::perms::owner_read);
    EXPECT_THAT(Pass(), ElementsAre("a.vrk"));
    EXPECT_THAT(Status(), ::testing::HasSubstr("a.vrk\t1\t"));
}

// A status file that is a link or a special file is not read (a FIFO would block the pass, a
// link to a device would read without end): the directory counts as having none, and says so.
TEST_F(DirectoryListTest, StatusFileMustBeARegularFile) {
    Put("a.vrk", "x");
    Pass();
    const std::string Recorded = Status();
    ASSERT_THAT(Recorded, ::testing::HasSubstr("a.vrk\t1\t"));
    const std::string Elsewhere = Dir.Write("elsewhere/list", Recorded);
    ASSERT_EQ(::unlink(Dir.Path("fclist_none0.dst").c_str()), 0);
    ASSERT_EQ(::symlink(Elsewhere.c_str(), Dir.Path("fclist_none0.dst").c_str()), 0);
    {
        TDirectoryList L = List();
        EXPECT_TRUE(L.Files().at(0).Status.Changed);
        EXPECT_EQ(L.StatusFileProblem(), "Cannot open file \"" + Dir.Path("fclist_none0.dst") +
                                             "\". it is a symbolic link");
    }
    ASSERT_EQ(::unlink(Dir.Path("fclist_none0.dst").c_str()), 0);
    ASSERT_EQ(::mkfifo(Dir.Path("fclist_none0.dst").c_str(), 0644), 0);
    EXPECT_THAT(List().StatusFileProblem(), ::testing::HasSubstr("not a regular file"));
    ASSERT_EQ(::unlink(Dir.Path("fclist_none0.dst").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", Dir.Path("fclist_none0.dst").c_str()), 0);
    EXPECT_THAT(Pass(), ElementsAre("a.vrk"));
    // Saving replaces the link with a file and leaves its target alone.
    EXPECT_EQ(Dir.Read("elsewhere/list"), Recorded);
    EXPECT_THAT(Status(), ::testing::HasSubstr("a.vrk\t1\t"));
    EXPECT_EQ(List().StatusFileProblem(), "");
}

// Save leaves the status file alone exactly when the records it would write are those the file
// holds: any record written otherwise, out of order, twice or for a file gone, any other line
// after the header, or a file converted since, makes it rewrite the file.
TEST_F(DirectoryListTest, KeepsTheStatusFileOnlyWhenSaveWouldWriteItsRecords) {
    const TDateTime Night = EncodeDateTime(2008, 3, 24, 23, 59, 59, 999);
    const std::string A = "a.vrk\t3\t2008/03/25 13:05:09.120 UTC\r\n";
    const std::string B = "b.vrk\t10\t2008/03/24 23:59:59.999 UTC\r\n";
    struct {
        const char* What;
        std::string Records;
        bool Kept;
        bool Converts = false; // the pass converts the files not recorded
    } Cases[] = {
        {"as written", A + B, true},
        {"a file not recorded, failing", A, true},
        {"a file not recorded, converted", A, false, true},
        {"size with a leading zero", "a.vrk\t03\t2008/03/25 13:05:09.120 UTC\r\n" + B, false},
        {"other separators", "a.vrk\t3\t2008-03-25 13:05:09.120 UTC\r\n" + B, false},
        {"local time", "a.vrk\t3\t2008/03/25 14:05:09.120\r\n" + B, false},
        {"a second apart", "a.vrk\t3\t2008/03/25 13:05:10.120 UTC\r\n" + B, false},
        {"another case", "A.vrk\t3\t2008/03/25 13:05:09.120 UTC\r\n" + B, false},
        {"twice", A + A + B, false},
        {"out of order", B + A, false},
        {"a file gone", A + B + "c.vrk\t3\t2008/03/25 13:05:09.120 UTC\r\n", false},
        {"a comment between", A + "# note\r\n" + B, false},
        {"a blank line at the end", A + B + "\r\n", false},
        {"a line before the records", "\r\n" + A + B, false},
        {"LF line ends", "a.vrk\t3\t2008/03/25 13:05:09.120 UTC\n" + B, false},
        {"no last line end", A + B.substr(0, B.size() - 2), false},
        {"trailing blanks", A + B.substr(0, B.size() - 2) + " \r\n", false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        std::filesystem::remove_all(Dir.Dir());
        std::filesystem::create_directories(Dir.Dir());
        Put("a.vrk", "abc");
        Put("b.vrk", "0123456789", Night);
        const std::string Old = "# directory status file \r\n# directory: " + Dir.Dir() +
                                "\r\n# file mask: *.*\r\n"
                                "# last update: 2008/03/25 14:00:00:000 (UTC +01:00)\r\n" +
                                C.Records;
        Dir.Write("fclist_none0.dst", Old);
        TDirectoryList L = List();
        L.Process(false, [&](const std::string&, TFileVisit&) { return C.Converts; });
        L.Save();
        EXPECT_EQ(Status() == Old, C.Kept);
        if (!C.Kept) {
            EXPECT_EQ(Status(), L.StatusText());
        }
    }
}

// Links in the directory are skipped and named, for the detailed log.
TEST_F(DirectoryListTest, SkipsLinks) {
    Put("a.vrk", "x");
    const std::string Secret = Dir.Write("secret/b.vrk", "root only");
    ASSERT_EQ(::symlink(Secret.c_str(), Dir.Path("b.vrk").c_str()), 0);
    TDirectoryList L = List("vrk");
    ASSERT_EQ(L.Files().size(), 1u);
    EXPECT_EQ(L.Files()[0].Name, "a.vrk");
    EXPECT_THAT(L.SkippedLinks(), ElementsAre("b.vrk"));
}

} // namespace
