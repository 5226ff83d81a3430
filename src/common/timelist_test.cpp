#include "common/timelist.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"

namespace {

using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

TEST(TTimeList, ReadsBlankSeparatedTimesSorted) {
    struct {
        const char* Text;
        std::vector<int32_t> Items;
        const char* Written;
    } Cases[] = {
        {"8:00   18:30", {8 * 3600, 18 * 3600 + 30 * 60}, "08:00 18:30"},
        {"  18:00:30 ", {18 * 3600 + 30}, "18:00"},
        {"18:00 7:05 18:00", {7 * 3600 + 300, 18 * 3600, 18 * 3600}, "07:05 18:00 18:00"},
        {"0:0:59 23:59", {59, 23 * 3600 + 59 * 60}, "00:00 23:59"},
        {"7:30:", {7 * 3600 + 30 * 60}, "07:30"}, // an empty seconds field is 0
        {"", {}, ""},
        {"   ", {}, ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        TTimeList List;
        List.SetText(C.Text);
        EXPECT_EQ(List.Items(), C.Items);
        EXPECT_EQ(List.GetText(), C.Written);
    }
    TTimeList Dotted;
    Dotted.SetText("9.15", '.');
    EXPECT_EQ(Dotted.GetText('.'), "09.15");
}

TEST(TTimeList, RefusesBadTokensKeepingTheTimesBeforeThem) {
    const char* Bad[] = {"24:00", "18h00", "18",      "18:60", "18:00:60",
                         "-1:00", "a:00",  "65536:0", "18:+-1"};
    for (const char* Token : Bad) {
        SCOPED_TRACE(Token);
        TTimeList List;
        EXPECT_THAT(
            [&] { List.SetText(std::string("19:00 8:00 ") + Token + " 7:00"); },
            ThrowsMessage<EConvertError>(StrEq(std::string("Wrong time value \"") + Token + "\"")));
        EXPECT_THAT(List.Items(), ElementsAre(19 * 3600, 8 * 3600));
    }
}

TEST(TTimeList, SetValidTextSkipsBadTokensAndNamesTheFirst) {
    TTimeList List;
    EXPECT_EQ(List.SetValidText("19:00 24:00 8:00 18h00"), "Wrong time value \"24:00\"");
    EXPECT_EQ(List.GetText(), "08:00 19:00");
    EXPECT_EQ(List.SetValidText("9:00"), "");
    EXPECT_EQ(List.GetText(), "09:00");
}

TEST(TTimeList, NearestAndNextAfterUseTheRoundedSecondOfDay) {
    const TTimeList List("08:00 18:00");
    const auto At = [](int H, int M, int S, int Ms) {
        return EncodeDate(2008, 3, 25) + EncodeTime(H, M, S, Ms);
    };
    EXPECT_EQ(List.Nearest(At(13, 0, 0, 0)), 8.0 / 24); // a tie keeps the earlier item
    EXPECT_EQ(List.Nearest(At(12, 59, 59, 600)), 8.0 / 24);
    EXPECT_EQ(List.Nearest(At(13, 0, 0, 600)), 18.0 / 24); // rounded to 13:00:01
    EXPECT_EQ(List.NextAfter(At(7, 0, 0, 0)), 8.0 / 24);
    EXPECT_EQ(List.NextAfter(At(8, 0, 0, 0)), 18.0 / 24);
    EXPECT_EQ(List.NextAfter(At(18, 0, 0, 400)), -1);
    EXPECT_EQ(List.NextAfter(At(17, 59, 59, 600)), -1);
    EXPECT_EQ(List.NextAfter(At(17, 59, 59, 400)), 18.0 / 24);

    const TTimeList Empty("");
    EXPECT_EQ(Empty.Nearest(At(12, 0, 0, 0)), -1.0 / 86400);
    EXPECT_EQ(Empty.NextAfter(At(12, 0, 0, 0)), -1);
}

} // namespace
