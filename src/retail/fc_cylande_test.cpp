#include "retail/fc_cylande.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "config/fcsconvparams.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/fake_clock.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Door 1: channels 1 in, 2 out. Door 2: channel 3 in, no exit channel.
std::string Header(const std::string& Update, const std::string& Halving = "1111") {
    return "#TQMX\r\n#M dernière mise à jour " + Update +
           "\r\n#D1DEntree\r\n#D2DQuai\r\n#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n#R" + Halving +
           "111111111111\r\n";
}

struct TCylandeTest : testing::Test {
    TTempDir Tmp;
    TFakeClock Clock{EncodeDateTime(2008, 3, 7, 23, 0, 0, 0)};
    TConvParamsCylande P;

    TCylandeTest() { P.OutDir = Tmp.Path("out"); }
    bool Convert(const std::string& Text) {
        return ConvertCylande(Tmp.Write("in/080307.vrk", Text), P, Clock);
    }
    std::vector<std::string> Delivered() { return FileLines(Tmp.Path("out/ZALMORET.TXT")); }
};

} // namespace

TEST(CylandeUpdateTime, ReadFromTheEndOfTheLine) {
    struct {
        const char* Line;
        TDateTime Want;
    } Cases[] = {
        {"#M dernière mise à jour 07/03/2008 10:20", EncodeDateTime(2008, 3, 7, 10, 20, 0, 0)},
        {"#M dernière mise à jour 07.03.2008 10:20", EncodeDateTime(2008, 3, 7, 10, 20, 0, 0)},
        {"#M 07.03.2008 09:05  ", EncodeDateTime(2008, 3, 7, 9, 5, 0, 0)},
        {"#M 10:20", 0},            // the colon is near the start
        {"#M 2008-03-07 10:20", 0}, // another format
        {"#M 07/03.2008 10:20", 0}, // mixed separators
        {"#M dernière mise à jour 31/02/2008 10:20", 0},
        {"#M no time here", 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        EXPECT_EQ(LastUpdateTime(C.Line), C.Want);
    }
}

TEST_F(TCylandeTest, HalfHoursOfCompleteQuarters) {
    // 10:15 + 17 minutes is after the update time 10:20: the quarter may still grow, and the
    // 10:00 slot waits for it.
    ASSERT_TRUE(Convert(
        Vrk(Header("07/03/2008 10:20"), {Row("10:00", {5, 4, 2}), Row("10:15", {3, 1, 1})})));
    EXPECT_THAT(Delivered(), IsEmpty());
    ASSERT_TRUE(Convert(
        Vrk(Header("07.03.2008 10:35"), {Row("10:00", {5, 4, 2}), Row("10:15", {3, 1, 1})})));
    // Door 2 has no exit channel: its in count is repeated.
    EXPECT_THAT(Delivered(), ElementsAre("07032008;10:00;1;8;5", "07032008;10:00;2;3;3"));

    // Converted again: nothing new. Corrected: the whole slot again.
    ASSERT_TRUE(Convert(
        Vrk(Header("07.03.2008 10:35"), {Row("10:00", {5, 4, 2}), Row("10:15", {3, 1, 1})})));
    EXPECT_EQ(Delivered().size(), 2u);
    ASSERT_TRUE(Convert(
        Vrk(Header("07.03.2008 10:50"), {Row("10:00", {5, 4, 2}), Row("10:15", {3, 2, 1})})));
    EXPECT_THAT(Delivered(), ElementsAre("07032008;10:00;1;8;5", "07032008;10:00;2;3;3",
                                         "07032008;10:00;1;8;6", "07032008;10:00;2;3;3"));
}

TEST_F(TCylandeTest, HalvedChannelsCarryTheirRemainders) {
    P.Scale15min = true;
    const std::string Text =
        Vrk(Header("08/03/2008 00:00", "2222"), {Row("10:00", {3, 5, 1}), Row("10:15", {3, 5, 1})});
    ASSERT_TRUE(Convert(Text));
    // 3 and 3 halve to 1 and 2; with all four channels halved the out field repeats the in.
    EXPECT_THAT(Delivered(), ElementsAre("07032008;10:00;1;1;1", "07032008;10:00;2;0;0",
                                         "07032008;10:15;1;2;2", "07032008;10:15;2;1;1"));
    // The remainders start from zero for every conversion: the same file gives the same lines.
    ASSERT_TRUE(Convert(Text));
    EXPECT_EQ(Delivered().size(), 4u);
}

TEST_F(TCylandeTest, DaysAfterTodayCurrentDayOnlyAndFailures) {
    Clock.Set(EncodeDateTime(2008, 3, 6, 8, 30, 0, 0));
    ASSERT_TRUE(Convert(Vrk(Header("x"), {Row("10:00", {5, 4, 2})})));
    EXPECT_THAT(FileLines(Tmp.Path("out/ZALMORET.ERR")),
                ElementsAre("@06/03/2008 08:30:00", "1\t06/03/2008\t08:30\t0\t0\t22",
                            "2\t06/03/2008\t08:30\t0\t0\t22", "3\t06/03/2008\t08:30\t0\t0\t22",
                            "4\t06/03/2008\t08:30\t0\t0\t22"));
    EXPECT_THAT(Delivered(), IsEmpty());

    P.CurrDayOnly = true;
    Clock.Set(EncodeDateTime(2008, 3, 8, 8, 30, 0, 0));
    ASSERT_TRUE(Convert(Vrk(Header("x"), {Row("10:00", {5, 4, 2})})));
    EXPECT_THAT(Delivered(), IsEmpty());

    // An index that cannot be written: a report with code 21, and the conversion fails.
    P.CurrDayOnly = false;
    ASSERT_TRUE(DeleteFile(Tmp.Path("out/index_cylande.txt")));
    ForceDirectories(Tmp.Path("out/index_cylande.txt"));
    EXPECT_ANY_THROW(Convert(Vrk(Header("x"), {Row("10:00", {5, 4, 2})})));
    EXPECT_EQ(FileLines(Tmp.Path("out/ZALMORET.ERR")).back(), "4\t08/03/2008\t08:30\t0\t0\t21");
    ASSERT_EQ(::rmdir(Tmp.Path("out/index_cylande.txt").c_str()), 0);
    ASSERT_TRUE(Convert(Vrk(Header("x"), {Row("10:00", {5, 4, 2})})));
    EXPECT_THAT(Delivered(), ElementsAre("07032008;10:00;1;5;4", "07032008;10:00;2;2;2"));
}
