#include "retail/index_cylande.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "retail/exportfiles.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

TDateTime At(int Hour, int Minute, int Day = 7) {
    return EncodeDateTime(2008, 3, Day, Hour, Minute, 0, 0);
}

// One record step: load, add, save.
template <class TIndex>
void Record(const std::string& Dir, TDateTime Stamp, const TIndexDataFields& Fields,
            bool Partial = false) {
    TIndex Index(Dir, "");
    Index.Load();
    Index.AddFields(Fields, Partial, Stamp);
    Index.Save();
}

// One export step into Dir's "out.txt".
template <class TIndex>
void ExportTo(const std::string& Dir) {
    TIndex Index(Dir, "");
    Index.Load();
    Index.Export(Dir, "out.txt");
    Index.Save();
}

} // namespace

TEST(IndexKey, WrittenAndReadBack) {
    struct {
        TDateTime Stamp;
        const char* Key;
    } Cases[] = {
        {At(10, 15), "2008/03/07 10:15:00"},
        {At(0, 0), "2008/03/07"},
        {EncodeDateTime(2008, 3, 7, 0, 0, 1, 0), "2008/03/07 00:00:01"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Key);
        EXPECT_EQ(IndexKey(C.Stamp), C.Key);
        TDateTime Back = 0;
        ASSERT_TRUE(ParseIndexKey(C.Key, Back));
        EXPECT_EQ(IndexKey(Back), C.Key);
    }
    // Found by the fuzzer: before 1899-12-30 the time was added the wrong way, the key read
    // back as another one and its record was delivered again at every export.
    TDateTime Early = 0;
    ASSERT_TRUE(ParseIndexKey("1004/03/07 09:00:00", Early));
    EXPECT_EQ(IndexKey(Early), "1004/03/07 09:00:00");
    const char* Bad[] = {"",           "2008/3/07",           "2008-03-07",
                         "2008/02/30", "2008/03/07 25:00:00", "2008/03/07 10:15 ",
                         "1899/12/30", "x008/03/07"};
    for (const char* K : Bad) {
        SCOPED_TRACE(K);
        TDateTime Back = 0;
        EXPECT_FALSE(ParseIndexKey(K, Back));
    }
    TDateTime Short = 0;
    EXPECT_TRUE(ParseIndexKey("2008/03/07 10:15", Short));
    EXPECT_EQ(Short, At(10, 15));
}

TEST(IndexCegid, EachRecordOnceAndAgainWhenItChanges) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Record<TIndexCegid>(Dir, At(10, 0), {"A1", "A2"});
    Record<TIndexCegid>(Dir, At(10, 15), {"B1"}, /*Partial=*/true);
    ExportTo<TIndexCegid>(Dir);
    EXPECT_THAT(FileLines(Dir + "/out.txt"), ElementsAre("A1", "A2"));
    EXPECT_THAT(FileLines(Dir + "/index.txt"),
                ElementsAre("*\t-\t2008/03/07 10:00:00\tA1\tA2", "-\t*\t2008/03/07 10:15:00\tB1"));

    // The same record again keeps its mark; the partial one, now complete, and a changed one
    // are delivered (the back office then holds both versions, old first).
    Record<TIndexCegid>(Dir, At(10, 0), {"A1", "A2"});
    Record<TIndexCegid>(Dir, At(10, 15), {"B1"});
    ExportTo<TIndexCegid>(Dir);
    Record<TIndexCegid>(Dir, At(10, 0), {"A1x", "A2"});
    ExportTo<TIndexCegid>(Dir);
    ExportTo<TIndexCegid>(Dir);
    EXPECT_THAT(FileLines(Dir + "/out.txt"), ElementsAre("A1", "A2", "B1", "A1x", "A2"));
}

TEST(IndexCegid, LoadDropsDamagedLinesAndKeepsOnlyTheLatestPartialMark) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Tmp.Write("idx/index.txt", "-\t*\t2008/03/07 09:00:00\tA\r\n"
                               "-\t-\t2008/03/07 09:15:00\r\n" // no data field
                               "x\t-\t2008/03/07 09:30:00\tC\r\n"
                               "-\t-\t2008/13/07 09:45:00\tD\r\n"
                               "-\t**\t2008/03/07 10:00:00\tE\r\n"
                               "\r\n"
                               "-\t*\t2008/03/07 10:15:00\tF\r\n");
    TIndexCegid Index(Dir, "");
    Index.Load();
    EXPECT_THAT(Index.Lines(),
                ElementsAre("-\t-\t2008/03/07 09:00:00\tA", "-\t*\t2008/03/07 10:15:00\tF"));
    Index.Export(Dir, "out.txt");
    EXPECT_THAT(FileLines(Dir + "/out.txt"), ElementsAre("A"));
}

// Found by the fuzzer: a line the binary search could not find was never marked exported and
// was delivered again at every export.
TEST(IndexCegid, LoadSortsTheLinesAndWritesEveryKeyAsItIsWritten) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Tmp.Write("idx/index.txt", "-\t-\t2008/03/07 10:15:00\tB\r\n"
                               "-\t-\t2008/03/07 10:00\tA\r\n" // minutes only
                               "-\t-\t2008/03/07 10:15:00\tB2\r\n"
                               "-\t-\t2008/03/07\tM\r\n");
    TIndexCegid Index(Dir, "");
    Index.Load();
    EXPECT_THAT(Index.Lines(), ElementsAre("-\t-\t2008/03/07\tM", "-\t-\t2008/03/07 10:00:00\tA",
                                           "-\t-\t2008/03/07 10:15:00\tB"));
    Index.Save();
    ExportTo<TIndexCegid>(Dir);
    ExportTo<TIndexCegid>(Dir);
    EXPECT_THAT(FileLines(Dir + "/out.txt"), ElementsAre("M", "A", "B"));
}

TEST(IndexCegid, MidnightKeySortsFirstAndAMissingBackOfficeFileIsCreated) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Record<TIndexCegid>(Dir, At(0, 15), {"Q"});
    Record<TIndexCegid>(Dir, At(0, 0), {"M"});
    TIndexCegid Index(Dir, "");
    Index.Load();
    EXPECT_THAT(Index.Lines(), ElementsAre("-\t-\t2008/03/07\tM", "-\t-\t2008/03/07 00:15:00\tQ"));

    TTempDir Empty;
    ExportTo<TIndexCegid>(Empty.Path("x"));
    EXPECT_TRUE(FileExists(Empty.Path("x/out.txt")));
    EXPECT_THAT(FileLines(Empty.Path("x/out.txt")), IsEmpty());
}

TEST(IndexCegid, BoundDropsTheOldestExportedLinesAndNeverAPendingOne) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    std::string Text;
    for (int I = 0; I < 1030; ++I) {
        // Six pending lines first, then exported ones.
        Text +=
            std::string(I < 6 ? "-" : "*") + "\t-\t" + IndexKey(At(0, 0) + I / 96.0) + "\tL\r\n";
    }
    Tmp.Write("idx/index.txt", Text);
    TIndexCegid Index(Dir, "");
    Index.Load();
    ASSERT_EQ(Index.Lines().size(), 1030u);
    Index.Save();
    const auto Lines = FileLines(Dir + "/index.txt");
    ASSERT_EQ(Lines.size(), IndexMaxLines);
    for (int I = 0; I < 6; ++I) {
        EXPECT_EQ(Lines[static_cast<std::size_t>(I)][0], '-');
    }
    EXPECT_EQ(Lines[6], "*\t-\t" + IndexKey(At(0, 0) + 12 / 96.0) + "\tL");
}

TEST(IndexCylande, SumsTheQuartersOfASlot) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Record<TIndexCylande>(Dir, At(10, 0), {"1", "5", "4", "2", "1", "0"});
    Record<TIndexCylande>(Dir, At(10, 15), {"1", "3", "2", "2", "7", "1"});
    Record<TIndexCylande>(Dir, At(10, 30), {"1", "9", "9"}, /*Partial=*/true);
    ExportTo<TIndexCylande>(Dir);
    EXPECT_THAT(FileLines(Dir + "/out.txt"),
                ElementsAre("07032008;10:00;1;8;6", "07032008;10:00;2;8;1"));

    // 10:15 corrected: the slot is delivered again with both of its quarters. 10:30 alone
    // stays partial.
    Record<TIndexCylande>(Dir, At(10, 15), {"1", "4", "2", "2", "7", "1"});
    ExportTo<TIndexCylande>(Dir);
    EXPECT_THAT(FileLines(Dir + "/out.txt"),
                ElementsAre("07032008;10:00;1;8;6", "07032008;10:00;2;8;1", "07032008;10:00;1;9;6",
                            "07032008;10:00;2;8;1"));

    // A partial quarter holds back its whole slot, both quarters staying pending.
    Record<TIndexCylande>(Dir, At(10, 45), {"1", "1", "1"}, /*Partial=*/true);
    ExportTo<TIndexCylande>(Dir);
    EXPECT_EQ(FileLines(Dir + "/out.txt").size(), 4u);
    TIndexCylande Index(Dir, "");
    Index.Load();
    EXPECT_THAT(Index.Lines(),
                ElementsAre(testing::StartsWith("*"), testing::StartsWith("*"),
                            testing::StartsWith("-\t-"), testing::StartsWith("-\t*")));
}

TEST(IndexCylande, FifteenMinuteSlots) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Record<TIndexCylande>(Dir, At(10, 0), {"1", "5", "4"});
    Record<TIndexCylande>(Dir, At(10, 15), {"1", "3", "2"});
    TIndexCylande Index(Dir, "");
    Index.SetSlotMinutes(15);
    Index.Load();
    Index.Export(Dir, "out.txt");
    Index.Save();
    EXPECT_THAT(FileLines(Dir + "/out.txt"),
                ElementsAre("07032008;10:00;1;5;4", "07032008;10:15;1;3;2"));
}

TEST(IndexFiles, AFailedAppendLeavesTheRecordsPending) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("idx");
    Record<TIndexCegid>(Dir, At(10, 0), {"A"});
    ForceDirectories(Dir + "/out.txt"); // the back-office file cannot be appended to
    TIndexCegid Index(Dir, "");
    Index.Load();
    EXPECT_THROW(Index.Export(Dir, "out.txt"), EOSError);
    TIndexCegid Again(Dir, "");
    Again.Load();
    EXPECT_THAT(Again.Lines(), ElementsAre("-\t-\t2008/03/07 10:00:00\tA"));
}
