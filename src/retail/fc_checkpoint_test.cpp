#include "retail/fc_checkpoint.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "config/fcsconvparams.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "retail/fc_croma.h"
#include "testing/fake_clock.h"
#include "testing/file_lines.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;

namespace {

std::vector<std::string> Names(const std::string& Dir) {
    std::vector<std::string> Result;
    for (const TFileEntry& E : ListFiles(Dir, "*")) {
        Result.push_back(E.Name);
    }
    std::sort(Result.begin(), Result.end());
    return Result;
}

} // namespace

TEST(Checkpoint, SixEntryAndSixExitColumnsPerQuarter) {
    TTempDir Tmp;
    TFakeClock Clock(EncodeDateTime(2008, 3, 7, 10, 5, 9, 42));
    TConvParamsCheckpoint P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    P.CounterId = "5";
    // Seven entry channels (1, 3..8), one exit channel (2), an inactive entry channel 9.
    const std::string In = Tmp.Write(
        "080307.vrk", Vrk("#TQMX\r\n# Shop name: 12\r\n#D1DEntree\r\n#C1YE1\r\n#C2YX1\r\n"
                          "#C3YE1\r\n#C4YE1\r\n#C5YE1\r\n#C6YE1\r\n#C7YE1\r\n#C8YE1\r\n#C9IE1\r\n",
                          {Row("09:00", {1, 2, 3, 4, 5, 6, 7, 8, 9}), Row("09:30", {1})}));
    ASSERT_TRUE(ConvertCheckpoint(In, P, Clock));
    ASSERT_TRUE(ConvertCheckpoint(In, P, Clock)); // the same millisecond: a new name
    Clock.Advance(1000);
    ASSERT_TRUE(ConvertCheckpoint(In, P, Clock));
    EXPECT_THAT(Names(P.OutDir), ElementsAre("Checkpt001220080307100509042.txt",
                                             "Checkpt001220080307100509042_1.txt",
                                             "Checkpt001220080307100510042.txt"));
    for (const std::string& Name : Names(P.OutDir)) {
        SCOPED_TRACE(Name);
        EXPECT_THAT(FileLines(P.OutDir + "/" + Name),
                    ElementsAre("0012;005;07/03/2008;09:00;1;3;4;5;6;7;2;0;0;0;0;0",
                                "0012;005;07/03/2008;09:30;1;0;0;0;0;0;0;0;0;0;0;0"));
    }
}

TEST(Checkpoint, StoreNumberWithoutShopNameAndTimeFilter) {
    TTempDir Tmp;
    TFakeClock Clock(EncodeDateTime(2008, 3, 7, 10, 0, 0, 0));
    TConvParamsCheckpoint P;
    P.OutDir = Tmp.Path("");
    P.UseTimeFilter = true;
    P.QtrStart = 37;
    P.QtrStop = 37;
    const std::string In = Tmp.Write(
        "in/080307.vrk", Vrk("#TQMX\r\n#D1DEntree\r\n#C1YE1\r\n#C2YX1\r\n",
                             {Row("09:00", {1, 1}), Row("09:15", {2, 3}), Row("09:30", {4, 4})}));
    ASSERT_TRUE(ConvertCheckpoint(In, P, Clock));
    EXPECT_THAT(FileLines(Tmp.Path("Checkpt000120080307100000000.txt")),
                ElementsAre("0001;001;07/03/2008;09:15;2;0;0;0;0;0;3;0;0;0;0;0"));
    EXPECT_TRUE(ConvertCheckpoint(Tmp.Path("gone.vrk"), P, Clock));
}

TEST(Croma, ReadsTheFileAndWritesNothing) {
    TTempDir Tmp;
    TConvParamsCroma P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    const std::string In =
        Tmp.Write("store/zalmoret/080307.vrk", Vrk("#TQMX\r\n#C1YE1\r\n", {Row("09:00", {1})}));
    EXPECT_TRUE(ConvertCroma(In, P, "STORE"));
    EXPECT_TRUE(ConvertCroma(Tmp.Path("gone.vrk"), P, "STORE"));
    EXPECT_TRUE(Names(P.OutDir).empty());
}
