#include "common/utils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "testing/temp_dir.h"

using testing::StrEq;
using testing::ThrowsMessage;

TEST(DateFromFileName, ReadsEightOrSixDigitsBeforeTheFirstUnderscore) {
    struct {
        const char* Name;
        int Year, Month, Day; // Year 0: no date
    } Cases[] = {
        {"20080325.vrk", 2008, 3, 25},
        {"/data/shop1/080325_shop1.txt", 2008, 3, 25},
        {"910101.dat", 1991, 1, 1},
        {"900101.dat", 2090, 1, 1},
        {"20080325.1.vrk", 2008, 3, 25},
        {"report.txt", 0, 0, 0},
        {"2008032.vrk", 0, 0, 0},
        {"20080230.vrk", 0, 0, 0},
        {"2008-325.vrk", 0, 0, 0},
        {"+0080325.vrk", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TDateTime Want = C.Year == 0 ? -1 : EncodeDate(C.Year, C.Month, C.Day);
        EXPECT_EQ(DateFromFileName(C.Name), Want);
    }
}

TEST(HourOfTime, AddsOneSecondAndLimits) {
    EXPECT_EQ(HourOfTime(EncodeTime(9, 59, 59, 0)), 10);
    EXPECT_EQ(HourOfTime(EncodeTime(9, 59, 58, 0)), 9);
    EXPECT_EQ(HourOfTime(EncodeTime(23, 59, 59, 500)), 23);
    EXPECT_EQ(HourOfTime(0), 0);
    EXPECT_EQ(HourOfTime(-1), 0);
    EXPECT_EQ(HourOfTimeText("09h30"), 9);
    EXPECT_EQ(HourOfTimeText("17:59:59"), 18);
    EXPECT_EQ(HourOfTimeText("garbage"), 0);
}

TEST(ParseTimeText, TakesTheThirdCharacterAsSeparator) {
    EXPECT_DOUBLE_EQ(ParseTimeText("09h30"), EncodeTime(9, 30, 0, 0));
    EXPECT_DOUBLE_EQ(ParseTimeText("09:30:15"), EncodeTime(9, 30, 15, 0));
    for (const char* Bad : {"", "9", "25:00", "09:60", "ab:cd", "09:30x", "09:30:15.1234"}) {
        SCOPED_TRACE(Bad);
        EXPECT_EQ(ParseTimeText(Bad), -1);
    }
}

TEST(ParseLeadingInt, ShortensUntilANumberReads) {
    struct {
        const char* Text;
        int From, Length, Want, WantLength;
    } Cases[] = {
        {"12ab", 1, 4, 12, 2}, {"ab12", 3, 2, 12, 2}, {"abc", 1, 3, 0, 0},
        {"12", 5, 3, 0, 0},    {"123", 1, 9, 123, 3}, {"99999999999", 1, 11, 999999999, 9},
        {"", 1, 0, 0, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        int Length = C.Length;
        EXPECT_EQ(ParseLeadingInt(C.Text, C.From, Length), C.Want);
        EXPECT_EQ(Length, C.WantLength);
    }
}

TEST(UtcOffsetText, SignIsTheOppositeOfTheBias) {
    EXPECT_EQ(UtcOffsetText(-60), "(UTC +01:00)");
    EXPECT_EQ(UtcOffsetText(0), "(UTC +00:00)");
    EXPECT_EQ(UtcOffsetText(300), "(UTC -05:00)");
    EXPECT_EQ(UtcOffsetText(-330), "(UTC +05:30)");
}

TEST(CheckStoreName, StripsBlanksAndRefusesOtherCharacters) {
    EXPECT_EQ(CheckStoreName(" shop 12 "), "SHOP12");
    EXPECT_THAT([] { CheckStoreName("   "); },
                ThrowsMessage<ETarnoError>(
                    StrEq("Nom du magasin non spécifié! Vous devez indiquer le nom du magasin.")));
    EXPECT_THAT([] { CheckStoreName("Caf\xc3\xa9 1"); },
                ThrowsMessage<ETarnoError>(
                    StrEq("Mauvais charactère '\xc3\xa9' dans le nom du magasin Caf\xc3\xa9"
                          "1")));
    EXPECT_THAT(
        [] { CheckStoreName("a\tb"); },
        ThrowsMessage<ETarnoError>(StrEq("Mauvais charactère '\t' dans le nom du magasin a\tb")));
}

TEST(IsReservedStoreDir, IgnoresCase) {
    EXPECT_TRUE(IsReservedStoreDir("WWW"));
    EXPECT_TRUE(IsReservedStoreDir("inconnu"));
    EXPECT_FALSE(IsReservedStoreDir("shop1"));
}

TEST(FileQueries, SizesPathsAndDirectories) {
    TTempDir Dir;
    Dir.Write("Data.TXT", "12345");
    EXPECT_EQ(GetFileSize64(Dir.Path("Data.TXT")), 5);
    EXPECT_EQ(GetFileSize64(Dir.Path("data.txt")), 5); // matched without regard to case
    EXPECT_EQ(GetFileSize64(Dir.Path("missing.txt")), 0);
    EXPECT_EQ(GetFileSize64(Dir.Path("")), 0);
    EXPECT_EQ(GetFileSize64(Dir.Path("Data.TXT/below")), 0);
    EXPECT_TRUE(IsDirectory(Dir.Path("")));
    EXPECT_FALSE(IsDirectory(Dir.Path("Data.TXT")));
    EXPECT_EQ(CombinePath("/a/b", "c.txt"), "/a/b/c.txt");
    EXPECT_EQ(CombinePath("/a/b/", "c.txt"), "/a/b/c.txt");
    EXPECT_EQ(CombinePath("", "/x/c.txt"), "/x/c.txt");
    EXPECT_EQ(CountChar("a;b;;c", ';'), 3);
}
