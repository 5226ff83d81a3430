#include "retail/fc_cegid.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/fake_clock.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Door 1 (entrance): channels 1 in, 2 out. Door 2 (entrance): channel 3 in. Door 3 (corridor):
// channel 4. Door 4 (entrance): channels 5 and 6, beyond the four channels of the export.
const char* const Header = "#TQMX\r\n# Shop name: 12\r\n"
                           "#D1DEntree\r\n#D2DQuai\r\n#D3CCouloir\r\n#D4DGarage\r\n"
                           "#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n#C4YE3\r\n#C5YE4\r\n#C6YX4\r\n"
                           "#R1111111111111111\r\n";

struct TCegidTest : testing::Test {
    TTempDir Tmp;
    TFakeClock Clock{EncodeDateTime(2008, 3, 7, 9, 40, 0, 0)};
    TConvParamsCegid P;

    TCegidTest() {
        P.OutDir = Tmp.Path("out");
        P.ShopId = "12";
    }
    bool Convert(const std::string& Text) {
        return ConvertCegid(Tmp.Write("in/080307.vrk", Text), P, Clock);
    }
    std::vector<std::string> Delivered() { return FileLines(Tmp.Path("out/ZALMORET.TXT")); }
    std::vector<std::string> Errors() { return FileLines(Tmp.Path("out/ZALMORET.ERR")); }
};

} // namespace

TEST_F(TCegidTest, EntranceDoorsOfChannelsOneToFour) {
    Clock.Set(EncodeDateTime(2008, 3, 8, 9, 0, 0, 0)); // the next day: every quarter complete
    ASSERT_TRUE(Convert(Vrk(Header, {Row("09:00", {5, 4, 3, 10, 8, 2, 7})})));
    // The corridor has no line; door 4 has its line with nothing in it, as its channels lie
    // beyond channel 4; the in count is written twice.
    EXPECT_THAT(Delivered(), ElementsAre("0000107032008090000005000050"
                                         "12",
                                         "0000207032008090000003000030"
                                         "12",
                                         "0000407032008090000000000000"
                                         "12"));
    EXPECT_THAT(Errors(), IsEmpty());
}

TEST_F(TCegidTest, StandardAndRetailLayouts) {
    struct {
        bool Retail;
        const char* ShopId;
        const char* Code;
        const char* Line;
    } Cases[] = {
        {false, "00001", "GCEC1", "000010703200809000001200012001"},
        {false, "7", "GCEC1", "000010703200809000001200012007"},
        {false, "12345", "GCEC1", "000010703200809000001200012345"},
        {false, "", "GCEC1", "000010703200809000001200012000"},
        {true, "12345", "GCEC1",
         "GCEC10000010703200809:00000120000"
         "3Y12345"},
        {true, "7", "ABCDEFGH",
         "ABCDEF0000107032008"
         "09:00000120000"
         "3Y7"},
        {true, "7", "",
         "0000000000107032008"
         "09:00000120000"
         "3Y7"},
    };
    const char* const OneDoor = "#TQMX\r\n#D1DEntree\r\n#C1YE1\r\n#C2YX1\r\n";
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        TTempDir Out;
        P.OutDir = Out.Path("");
        P.RetailMode = C.Retail;
        P.ShopId = C.ShopId;
        P.Code = C.Code;
        Clock.Set(EncodeDateTime(2008, 3, 8, 9, 0, 0, 0));
        ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {12, 3})})));
        EXPECT_THAT(FileLines(Out.Path("ZALMORET.TXT")), ElementsAre(C.Line));
    }
    // A count of six digits shifts the fields after it.
    TTempDir Out;
    P.OutDir = Out.Path("");
    P.RetailMode = false;
    P.ShopId = "1";
    ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {123456, 0})})));
    EXPECT_THAT(FileLines(Out.Path("ZALMORET.TXT")), ElementsAre("000010703200809001234561234560"
                                                                 "01"));
}

TEST_F(TCegidTest, TodaysLastQuarterWaitsAndEachQuarterIsDeliveredOnce) {
    const char* const OneDoor = "#TQMX\r\n#D1DEntree\r\n#C1YE1\r\n";
    ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {1}), Row("09:15", {2})})));
    EXPECT_THAT(Delivered(), ElementsAre("000010703200809000000100001012"));

    // The same file again appends nothing; grown by a quarter, it delivers 09:15.
    ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {1}), Row("09:15", {2})})));
    EXPECT_EQ(Delivered().size(), 1u);
    ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {1}), Row("09:15", {2}), Row("09:30", {0})})));
    EXPECT_THAT(Delivered(),
                ElementsAre("000010703200809000000100001012", "000010703200809150000200002012"));

    // A corrected quarter is delivered again with its new figures.
    ASSERT_TRUE(Convert(Vrk(OneDoor, {Row("09:00", {4}), Row("09:15", {2}), Row("09:30", {0})})));
    EXPECT_THAT(Delivered(),
                ElementsAre("000010703200809000000100001012", "000010703200809150000200002012",
                            "000010703200809000000400004012"));
}

TEST_F(TCegidTest, TimeFilter) {
    Clock.Set(EncodeDateTime(2008, 3, 8, 9, 0, 0, 0));
    P.UseTimeFilter = true;
    P.QtrStart = 36; // 09:00
    P.QtrStop = 83;  // 20:45
    const char* const OneDoor = "#TQMX\r\n#D1DEntree\r\n#C1YE1\r\n";
    ASSERT_TRUE(Convert(Vrk(
        OneDoor, {Row("08:45", {1}), Row("09:00", {2}), Row("20:45", {3}), Row("21:00", {4})})));
    EXPECT_THAT(Delivered(),
                ElementsAre("000010703200809000000200002012", "000010703200820450000300003012"));
}

TEST_F(TCegidTest, QuartersAfterTodayAreReportedAndSkipped) {
    Clock.Set(EncodeDateTime(2008, 3, 6, 18, 5, 9, 0));
    ASSERT_TRUE(Convert(Vrk(Header, {Row("09:00", {1}), Row("09:15", {1})})));
    EXPECT_THAT(Errors(), ElementsAre("06/03/2008 18:05:09 -12 Wrong timestamp found 2008/3/7",
                                      "06/03/2008 18:05:09 -12 Wrong timestamp found 2008/3/7"));
    EXPECT_THAT(Delivered(), IsEmpty());
    EXPECT_TRUE(FileExists(Tmp.Path("out/ZALMORET.TXT")));
}

TEST_F(TCegidTest, AnIndexThatCannotBeWrittenFailsAndLosesNothing) {
    Clock.Set(EncodeDateTime(2008, 3, 8, 9, 0, 0, 0));
    const char* const OneDoor = "#TQMX\r\n#D1DEntree\r\n#C1YE1\r\n";
    const std::string Text = Vrk(OneDoor, {Row("09:00", {1}), Row("09:15", {2})});
    Tmp.Write("out/index", "a file where the index directory belongs");
    EXPECT_FALSE(Convert(Text));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], testing::StartsWith("08/03/2008 09:00:00 5 File error: "));
    EXPECT_THAT(Delivered(), IsEmpty());

    ASSERT_TRUE(DeleteFile(Tmp.Path("out/index")));
    ASSERT_TRUE(Convert(Text));
    EXPECT_EQ(Delivered().size(), 2u);

    // The back-office file cannot be appended to: failure, and the quarters stay pending.
    const std::string Later =
        Vrk(OneDoor, {Row("09:00", {1}), Row("09:15", {2}), Row("09:30", {3})});
    ASSERT_TRUE(DeleteFile(Tmp.Path("out/ZALMORET.TXT")));
    ForceDirectories(Tmp.Path("out/ZALMORET.TXT"));
    EXPECT_FALSE(Convert(Later));
    ASSERT_EQ(::rmdir(Tmp.Path("out/ZALMORET.TXT").c_str()), 0);
    ASSERT_TRUE(Convert(Later));
    EXPECT_THAT(Delivered(), ElementsAre("000010703200809300000300003012"));
}

TEST_F(TCegidTest, AnIndexFolderPlantedAsALinkIsNotWrittenThrough) {
    Clock.Set(EncodeDateTime(2008, 3, 8, 9, 0, 0, 0));
    ForceDirectories(Tmp.Path("elsewhere"));
    ForceDirectories(Tmp.Path("out"));
    ASSERT_EQ(::symlink(Tmp.Path("elsewhere").c_str(), Tmp.Path("out/index").c_str()), 0);
    EXPECT_FALSE(Convert(Vrk(Header, {Row("09:00", {1})})));
    EXPECT_FALSE(FileExists(Tmp.Path("elsewhere/index_cegid.txt")));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], testing::HasSubstr(" 5 File error: "));

    // An index file planted as a link is refused, not read, and its target is left alone.
    ASSERT_TRUE(DeleteFile(Tmp.Path("out/index")));
    ForceDirectories(Tmp.Path("out/index"));
    const std::string Target = Tmp.Write("elsewhere/secret", "keep");
    ASSERT_EQ(::symlink(Target.c_str(), Tmp.Path("out/index/index_cegid.txt").c_str()), 0);
    EXPECT_FALSE(Convert(Vrk(Header, {Row("09:00", {1})})));
    EXPECT_EQ(Tmp.Read("elsewhere/secret"), "keep");
    EXPECT_EQ(Errors().size(), 2u);
}

TEST_F(TCegidTest, MissingInputNoDataAndMissingOutputDirectory) {
    EXPECT_TRUE(ConvertCegid(Tmp.Path("gone.vrk"), P, Clock));
    EXPECT_FALSE(FileExists(Tmp.Path("out/ZALMORET.TXT")));
    EXPECT_TRUE(Convert(Header));
    EXPECT_THAT(Delivered(), IsEmpty());
    EXPECT_THAT(Errors(), IsEmpty());
    P.OutDir = "";
    EXPECT_THROW(Convert(Vrk(Header, {Row("09:00", {1})})), ETarnoError);
}

TEST(CegidInterface, CopiedWhenItsSizeDiffers) {
    TTempDir Tmp;
    const std::string Target = Tmp.Path("out/winvrk_cegidpgi.exe");
    ForceDirectories(Tmp.Path("out"));
    DeployCegidInterface(Tmp.Path("out"), Tmp.Path("home")); // no stub.exe: nothing
    EXPECT_FALSE(FileExists(Target));
    Tmp.Write("home/stub.exe", "program");
    DeployCegidInterface(Tmp.Path("out"), Tmp.Path("home"));
    EXPECT_EQ(Tmp.Read("out/winvrk_cegidpgi.exe"), "program");
    Tmp.Write("out/winvrk_cegidpgi.exe", "PROGRAM"); // same size: left alone
    DeployCegidInterface(Tmp.Path("out"), Tmp.Path("home"));
    EXPECT_EQ(Tmp.Read("out/winvrk_cegidpgi.exe"), "PROGRAM");
    Tmp.Write("home/stub.exe", "program 2");
    DeployCegidInterface(Tmp.Path("out"), Tmp.Path("home"));
    EXPECT_EQ(Tmp.Read("out/winvrk_cegidpgi.exe"), "program 2");
}
