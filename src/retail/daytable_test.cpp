#include "retail/daytable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::StrEq;
using testing::ThrowsMessage;

namespace {

const TDateTime March25 = EncodeDate(2008, 3, 25);

THourRow Row(const char* Store, int32_t Customers, double Turnover, int32_t Articles) {
    return THourRow{Store, Customers, Turnover, Articles};
}

} // namespace

TEST(DayTable, WritesOneLinePerUsedHourInTheFixedLayout) {
    TDayTable T;
    ClearDayTable(T);
    EXPECT_EQ(FirstUsedHour(T), 24);
    EXPECT_EQ(LastUsedHour(T), -1);
    EXPECT_EQ(FormatDayTable(T, March25), "");
    T[8] = Row("001", 12, 345.6, 30);
    T[20] = Row("MAG12", NoCustomers, -7.125, NoArticles);
    T[12].Store = "X"; // empty row inside the range: no line
    EXPECT_EQ(FirstUsedHour(T), 8);
    EXPECT_EQ(LastUsedHour(T), 20);
    EXPECT_EQ(FormatDayTable(T, March25),
              " 001 | 25/03/08 | 08 |     12 |     345.60 |     30 |      0 |\r\n"
              " MAG12 | 25/03/08 | 20 |      0 |      -7.12 |      0 |      0 |\r\n");
}

TEST(DayTable, ParsesTableLines) {
    struct {
        const char* Line;
        const char* Store;
        TDateTime Day;
        const char* HourText;
        int32_t Customers;
        double Turnover;
        int32_t Articles;
    } Cases[] = {
        {" 001 | 25/03/08 | 09 |     12 |     345.60 |     30 |      0 |", "001", March25, "09:00",
         12, 345.6, 30},
        {"7|25/03/91|09:30|1|2,5|3", "7", EncodeDate(1991, 3, 25), "09:30", 1, 2.5, 3},
        {"7|25/03/90|23:59:59|-4|x|", "7", EncodeDate(2090, 3, 25), "23:59:59", NoCustomers, 0,
         NoArticles},
        {"7|31/02/08|24|1.5|1e3", "7", 0, "", NoCustomers, 1000, NoArticles},
        // A huge turnover is kept: the line is what an earlier conversion wrote.
        {"7|25/03/08|9|1|-123456789012.5|", "7", March25, "09:00", 1, -123456789012.5, NoArticles},
        {" 7 |garbage|9h30|12|1.234,5|0", "7", 0, "", 12, 0, 0},
        {"7|25/03/08|ab:cd", "7", March25, "", NoCustomers, 0, NoArticles},
        {"", "", 0, "", NoCustomers, 0, NoArticles},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        const TTableLine L = ParseTableLine(C.Line);
        EXPECT_EQ(L.Store, C.Store);
        EXPECT_EQ(L.Day, C.Day);
        EXPECT_EQ(L.HourText, C.HourText);
        EXPECT_EQ(L.Customers, C.Customers);
        EXPECT_DOUBLE_EQ(L.Turnover, C.Turnover);
        EXPECT_EQ(L.Articles, C.Articles);
    }
    EXPECT_THAT([] { ParseTableLine("1|25/03/08|09|1|2|many|0"); },
                ThrowsMessage<EConvertError>(StrEq("'many' is not a valid integer value")));
}

TEST(DayTable, MergeReplacesTheNewHoursAndKeepsTheOthers) {
    TTempDir Tmp;
    Tmp.Write("080325.txt", " 001 | 25/03/08 | 09 |      1 |       1.00 |      1 |      0 |\r\n"
                            "\r\n"
                            " 001 | 25/03/08 | 10:30 |      2 |       2.00 |      2 |      0 |\r\n"
                            " 001 | 25/03/08 | 11 |      3 |       3.00 |      3 |      0 |\r\n"
                            "unreadable line\r\n");
    TDayTable New;
    ClearDayTable(New);
    New[10] = Row("002", 20, NoTurnover, 22); // the old turnover of 10:00 stays
    EXPECT_EQ(MergeDayTable(Tmp.Dir(), New, March25), Tmp.Path("080325.txt"));
    EXPECT_EQ(Tmp.Read("080325.txt"),
              " 001 | 25/03/08 | 09 |      1 |       1.00 |      1 |      0 |\r\n"
              " 002 | 25/03/08 | 10 |     20 |       2.00 |     22 |      0 |\r\n"
              " 001 | 25/03/08 | 11 |      3 |       3.00 |      3 |      0 |\r\n");

    // Store rules: the new rows' codes, "001" over the new range, "001" everywhere.
    ClearDayTable(New);
    New[9] = Row("OLD", NoCustomers, NoTurnover, 5);
    New[11] = Row("NEW", 30, NoTurnover, NoArticles);
    MergeDayTable(Tmp.Dir(), New, March25, TMergeStores::RangeAs001);
    New[9] = Row("999", 9, 9, 9);
    New[11] = THourRow{};
    MergeDayTable(Tmp.Dir(), New, March25);
    EXPECT_EQ(Tmp.Read("080325.txt"),
              " 999 | 25/03/08 | 09 |      9 |       9.00 |      9 |      0 |\r\n"
              " 001 | 25/03/08 | 10 |     20 |       2.00 |     22 |      0 |\r\n"
              " 001 | 25/03/08 | 11 |     30 |       3.00 |      3 |      0 |\r\n");
    ClearDayTable(New);
    New[8] = Row("XYZ", 8, 8, 8);
    MergeDayTable(Tmp.Dir(), New, March25, TMergeStores::AllAs001);
    EXPECT_EQ(Tmp.Read("080325.txt"),
              " 001 | 25/03/08 | 08 |      8 |       8.00 |      8 |      0 |\r\n"
              " 001 | 25/03/08 | 09 |      9 |       9.00 |      9 |      0 |\r\n"
              " 001 | 25/03/08 | 10 |     20 |       2.00 |     22 |      0 |\r\n"
              " 001 | 25/03/08 | 11 |     30 |       3.00 |      3 |      0 |\r\n");
    // An empty hour inside the new range takes the empty row's blank store code.
    ClearDayTable(New);
    New[9] = Row("B", 9, 9, 9);
    New[11] = Row("B", 30, 3, 3);
    MergeDayTable(Tmp.Dir(), New, March25);
    EXPECT_EQ(Tmp.Read("080325.txt"),
              " 001 | 25/03/08 | 08 |      8 |       8.00 |      8 |      0 |\r\n"
              " B | 25/03/08 | 09 |      9 |       9.00 |      9 |      0 |\r\n"
              "  | 25/03/08 | 10 |     20 |       2.00 |     22 |      0 |\r\n"
              " B | 25/03/08 | 11 |     30 |       3.00 |      3 |      0 |\r\n");
}

TEST(DayTable, MergeKeepsLinesDatedAnyDay) {
    // A table dated far ahead (a register with a wrong clock) keeps its lines on the next merge.
    TTempDir Tmp;
    const TDateTime Later = EncodeDate(2089, 1, 2);
    Tmp.Write("890102.txt", " 001 | 02/01/89 | 09 |      1 |       1.00 |      1 |      0 |\r\n");
    TDayTable New;
    ClearDayTable(New);
    New[10] = Row("001", 2, 2, 2);
    MergeDayTable(Tmp.Dir(), New, Later);
    EXPECT_EQ(Tmp.Read("890102.txt"),
              " 001 | 02/01/89 | 09 |      1 |       1.00 |      1 |      0 |\r\n"
              " 001 | 02/01/89 | 10 |      2 |       2.00 |      2 |      0 |\r\n");
}

// Found by the fuzzer: a store code with a "|", or a blank or control byte at an end (also once
// cut to five characters), was written so that the next read took other fields or another code.
TEST(DayTable, StoreCodesAreWrittenAsTheyReadBack) {
    TTempDir Tmp;
    Tmp.Write("080325.txt",
              " SHOP 12 | 25/03/08 | 09 |      1 |       1.00 |      1 |      0 |\r\n");
    TDayTable New;
    ClearDayTable(New);
    New[10] = Row("\x05S|1 ", 2, 2, 2);
    New[11] = Row("A|", 3, 3, 3);
    MergeDayTable(Tmp.Dir(), New, March25);
    const std::string Once = Tmp.Read("080325.txt");
    EXPECT_EQ(Once, " SHOP | 25/03/08 | 09 |      1 |       1.00 |      1 |      0 |\r\n"
                    " S 1 | 25/03/08 | 10 |      2 |       2.00 |      2 |      0 |\r\n"
                    " A | 25/03/08 | 11 |      3 |       3.00 |      3 |      0 |\r\n");
    ClearDayTable(New);
    New[12] = Row("001", 4, 4, 4);
    MergeDayTable(Tmp.Dir(), New, March25);
    EXPECT_EQ(Tmp.Read("080325.txt"),
              Once + " 001 | 25/03/08 | 12 |      4 |       4.00 |      4 |      0 |\r\n");
}

TEST(DayTable, ADamagedTableIsRefusedWholeAndLeftAsItWas) {
    TTempDir Tmp;
    const std::string Damaged = " 001 | 25/03/08 | 09 |      1 |       1.00 |      1 |      0 |\r\n"
                                " 001 | 25/03/08 | 10 |      2 |       2.00 |    2x |      0 |\r\n";
    Tmp.Write("080325.txt", Damaged);
    TDayTable New;
    ClearDayTable(New);
    New[11] = Row("001", 3, 3, 3);
    EXPECT_THAT([&] { MergeDayTable(Tmp.Dir(), New, March25); },
                ThrowsMessage<EConvertError>(
                    StrEq("'2x' is not a valid integer value (080325.txt, line 2)")));
    EXPECT_EQ(Tmp.Read("080325.txt"), Damaged);
}

TEST(DayTable, WriteErrors) {
    TTempDir Tmp;
    TDayTable New;
    ClearDayTable(New);
    // An empty table leaves the file alone.
    Tmp.Write("080325.txt", "kept");
    WriteDayTable(Tmp.Path("080325.txt"), New, March25);
    EXPECT_EQ(Tmp.Read("080325.txt"), "kept");

    New[1] = Row("001", 1, 1, 1);
    EXPECT_THAT([&] { MergeDayTable("", New, March25); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
    Tmp.Write("file", "");
    EXPECT_THROW(MergeDayTable(Tmp.Path("file/below"), New, March25), EOSError);
}
