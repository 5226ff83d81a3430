#include "retail/fc_ace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "config/fcsconvparams.h"
#include "platform/dirsync.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/fake_clock.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Door 1 (entrance): channels 1 in, 2 out. Door 2 (corridor): channel 3 in.
const char* const Header = "#TQMX\r\n#D1DEntree\r\n#D2CCouloir\r\n#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n";

struct TAceTest : testing::Test {
    TTempDir Tmp;
    TFakeClock Clock{EncodeDateTime(2008, 3, 7, 23, 0, 0, 0)};
    TConvParamsAce P;

    TAceTest() { P.OutDir = Tmp.Path("out"); }
    bool Convert(const std::string& Text, const std::string& Name = "080307.vrk") {
        return ConvertAce(Tmp.Write("in/" + Name, Text), P, Clock);
    }
    std::vector<std::string> Delivered(const std::string& Name = "ZALMORET.TXT") {
        return FileLines(Tmp.Path("out/" + Name));
    }
};

} // namespace

TEST_F(TAceTest, EntriesOfTheEntranceDoorsPerHourTheNewestHeldBack) {
    const std::string Morning =
        Vrk(Header, {Row("09:00", {5, 4, 9}), Row("09:15", {5, 4, 9}), Row("09:30", {5, 4, 9}),
                     Row("09:45", {5, 4, 9}), Row("10:00", {1, 0, 0}), Row("10:45", {2, 0, 0})});
    ASSERT_TRUE(Convert(Morning));
    // Exits and the corridor do not count; 10:00 waits for a later hour.
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t09\t20"));
    ASSERT_TRUE(Convert(Morning)); // again: no change
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t09\t20"));
    ASSERT_TRUE(Convert(Vrk(Header, {Row("09:00", {6, 0, 0}), Row("10:00", {1, 0, 0}),
                                     Row("10:45", {2, 0, 0}), Row("11:00", {4, 0, 0})})));
    // 09:00 corrected in place, 10:00 delivered, 11:00 waiting.
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t09\t6", "07/03/2008\t10\t3"));
}

TEST_F(TAceTest, TimeFilter) {
    P.UseTimeFilter = true;
    P.QtrStart = 40; // 10:00
    P.QtrStop = 79;  // 19:45
    ASSERT_TRUE(Convert(Vrk(Header, {Row("09:45", {1}), Row("10:00", {2}), Row("19:45", {3}),
                                     Row("20:00", {4}), Row("21:00", {5})})));
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t10\t2"));
}

TEST_F(TAceTest, DaylikeOutputPutsEachHourIntoItsDaysFile) {
    P.DaylikeOut = true;
    ASSERT_TRUE(Convert(Vrk(Header, {Row("22:00", {1}), Row("23:00", {2})})));
    EXPECT_THAT(Delivered("080307.txt"), ElementsAre("07/03/2008\t22\t1"));
    Clock.Set(EncodeDateTime(2008, 3, 8, 10, 0, 0, 0));
    ASSERT_TRUE(Convert(
        Vrk(Header, {Row("08:00", {3, 0, 0}, "08/03/2008"), Row("09:00", {4, 0, 0}, "08/03/2008")}),
        "080308.vrk"));
    EXPECT_THAT(Delivered("080307.txt"), ElementsAre("07/03/2008\t22\t1", "07/03/2008\t23\t2"));
    EXPECT_THAT(Delivered("080308.txt"), ElementsAre("08/03/2008\t08\t3"));
    EXPECT_FALSE(FileExists(Tmp.Path("out/ZALMORET.TXT")));
}

TEST_F(TAceTest, DamagedIndexLineIsDroppedAndFileErrorsFail) {
    Tmp.Write("out/index/counting_index.txt", "2008/03/07 09:00:00\t*\t5\r\n"
                                              "2008/03/07 25:00:00\t*\t5\r\n");
    ASSERT_TRUE(Convert(Vrk(Header, {Row("10:00", {1}), Row("11:00", {2})})));
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t09\t5", "07/03/2008\t10\t1"));
    EXPECT_FALSE(FileExists(Tmp.Path("out/ZALMORET.ERR")));

    // An output that cannot be written: the error line, a failure, and the hour still waits.
    ASSERT_TRUE(DeleteFile(Tmp.Path("out/ZALMORET.TXT")));
    ForceDirectories(Tmp.Path("out/ZALMORET.TXT"));
    const std::string Later =
        Vrk(Header, {Row("10:00", {1}), Row("11:00", {2}), Row("12:00", {3})});
    EXPECT_FALSE(Convert(Later));
    ASSERT_EQ(FileLines(Tmp.Path("out/ZALMORET.ERR")).size(), 1u);
    EXPECT_THAT(FileLines(Tmp.Path("out/ZALMORET.ERR"))[0],
                testing::StartsWith("07/03/2008 23:00:00 5 File error: "));
    ASSERT_EQ(::rmdir(Tmp.Path("out/ZALMORET.TXT").c_str()), 0);
    ASSERT_TRUE(Convert(Later));
    EXPECT_THAT(Delivered(), ElementsAre("07/03/2008\t11\t2"));
}

TEST_F(TAceTest, MissingInputIsASuccess) {
    EXPECT_TRUE(ConvertAce(Tmp.Path("gone.vrk"), P, Clock));
    EXPECT_THAT(Delivered(), IsEmpty());
}

// Within a batch of deferred directory syncs (the service's pass), the hours an index marks
// delivered are on disk before the index that marks them: a power cut never leaves an hour
// marked delivered and missing from the output.
TEST_F(TAceTest, TheOutputsReachTheDiskBeforeTheIndexMarksThemDelivered) {
    ForceDirectories(Tmp.Path("out"));
    std::vector<std::string> Events;
    SetFileSyncObserver([&](std::string_view Event, const std::string& Path) {
        Events.push_back(std::string(Event) + " " + Path.substr(Tmp.Path("out").size()));
    });
    {
        TDeferredDirectorySyncs Batch;
        ASSERT_TRUE(Convert(Vrk(Header, {Row("09:00", {5}), Row("10:00", {1})})));
    }
    SetFileSyncObserver(nullptr);
    const auto At = [&](const std::string& Event) {
        return std::find(Events.begin(), Events.end(), Event) - Events.begin();
    };
    ASSERT_LT(At("rename /ZALMORET.TXT"), static_cast<std::ptrdiff_t>(Events.size()));
    // The index is replaced twice: the hours recorded, then marked delivered.
    const auto Marked =
        std::find(Events.rbegin(), Events.rend(), "rename /index/counting_index.txt");
    ASSERT_NE(Marked, Events.rend());
    EXPECT_LT(At("sync "), Events.rend() - Marked - 1) << testing::PrintToString(Events);
}
