#include "retail/counting_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "retail/ace_index.h"
#include "retail/exportfiles.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;

namespace {

TDateTime At(int Hour, int Day = 7) {
    return EncodeDateTime(2008, 3, Day, Hour, 0, 0, 0);
}

void Add(const std::string& Dir, TDateTime Stamp, const std::string& Entries) {
    TAceIndex Index(Dir);
    Index.Load();
    Index.Add(Stamp, std::span(&Entries, 1));
    Index.Save();
}

void ExportAt(const std::string& Dir, const std::string& Out, TDateTime Now, int Delay = 60) {
    TAceIndex Index(Dir);
    Index.DelayMinutes = Delay;
    Index.Export(Out, Now);
}

} // namespace

TEST(AceIndex, NewestHourWaitsForTheDelay) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("index");
    const std::string Out = Tmp.Path("out.txt");
    Add(Dir, At(9), "20");
    Add(Dir, At(10), "7");
    ExportAt(Dir, Out, At(10) + 59 / 1440.0);
    EXPECT_THAT(FileLines(Out), ElementsAre("07/03/2008\t09\t20"));
    ExportAt(Dir, Out, At(11));
    EXPECT_THAT(FileLines(Out), ElementsAre("07/03/2008\t09\t20", "07/03/2008\t10\t7"));
    EXPECT_THAT(FileLines(Dir + "/counting_index.txt"),
                ElementsAre("2008/03/07 09:00:00\t-\t20", "2008/03/07 10:00:00\t-\t7"));

    // Without a delay the newest record waits as long as it is the newest.
    Add(Dir, At(12), "3");
    ExportAt(Dir, Out, At(23), 0);
    EXPECT_EQ(FileLines(Out).size(), 2u);
}

TEST(AceIndex, ChangedHourReplacesItsLineAndLinesStaySorted) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("index");
    const std::string Out = Tmp.Path("out.txt");
    Add(Dir, At(10), "7");
    Add(Dir, At(11), "1");
    Add(Dir, At(9, 8), "1"); // the next day
    ExportAt(Dir, Out, At(23, 8));
    Add(Dir, At(10), "7"); // unchanged: stays exported
    Add(Dir, At(9), "5");  // an earlier hour exported later
    Add(Dir, At(11), "2"); // corrected
    {
        TAceIndex Index(Dir);
        Index.Load();
        EXPECT_THAT(Index.Lines(),
                    ElementsAre("2008/03/07 09:00:00\t*\t5", "2008/03/07 10:00:00\t-\t7",
                                "2008/03/07 11:00:00\t*\t2", "2008/03/08 09:00:00\t-\t1"));
    }
    ExportAt(Dir, Out, At(23, 8));
    EXPECT_THAT(FileLines(Out), ElementsAre("07/03/2008\t09\t5", "07/03/2008\t10\t7",
                                            "07/03/2008\t11\t2", "08/03/2008\t09\t1"));
}

TEST(AceIndex, DamagedLinesAreDroppedAndTheIndexIsBounded) {
    TTempDir Tmp;
    std::string Text = "2008/03/07 10:00:00\t*\t7\r\n"
                       "garbage\r\n"
                       "2008/03/07 10:30:00\t?\t1\r\n";
    for (int I = 0; I < 1100; ++I) {
        Text += IndexKey(At(0, 8) + I / 24.0) + "\t-\t1\r\n";
    }
    Text += IndexKey(At(0, 8) + 1100 / 24.0) + "\t*\t1\r\n";
    Tmp.Write("index/counting_index.txt", Text);
    ExportAt(Tmp.Path("index"), Tmp.Path("out.txt"), At(0, 8));
    const auto Lines = FileLines(Tmp.Path("index/counting_index.txt"));
    ASSERT_EQ(Lines.size(), 1024u);
    EXPECT_EQ(Lines.back(), IndexKey(At(0, 8) + 1100 / 24.0) + "\t*\t1"); // still waiting
    EXPECT_THAT(FileLines(Tmp.Path("out.txt")), ElementsAre("07/03/2008\t10\t7"));
}

TEST(AceIndex, OutputFileOfEachRecord) {
    TTempDir Tmp;
    const std::string Dir = Tmp.Path("index");
    Add(Dir, At(9), "1");
    Add(Dir, At(9, 8), "2");
    Add(Dir, At(10, 8), "3");
    TAceIndex Index(Dir);
    Index.Export(Tmp.Path("main.txt"), At(23, 8), [&Tmp](TDateTime Stamp) {
        return Tmp.Path(std::to_string(DecodeDate(Stamp).Day) + ".txt");
    });
    EXPECT_THAT(FileLines(Tmp.Path("7.txt")), ElementsAre("07/03/2008\t09\t1"));
    EXPECT_THAT(FileLines(Tmp.Path("8.txt")),
                ElementsAre("08/03/2008\t09\t2", "08/03/2008\t10\t3"));
    EXPECT_TRUE(FileExists(Tmp.Path("main.txt")));
}
