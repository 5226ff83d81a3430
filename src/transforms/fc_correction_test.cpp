#include "transforms/fc_correction.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "data/vrkday.h"
#include "testing/temp_dir.h"
#include "transforms/vrktest.h"

using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

// Channel 0 of consecutive slots 8:00.. of Monday 22/12/2008, corrected with Coeff on Mondays.
std::vector<int32_t> Corrected(std::vector<int32_t> Counts, double Coeff) {
    auto Day = std::make_unique<TVrkDay>();
    InitDay(*Day, 2008, 12, 22);
    for (std::size_t I = 0; I < Counts.size(); ++I) {
        PutCount(*Day, 0, Counts[I], true, SlotTime(32 + static_cast<int>(I)));
    }
    ApplyWeekCorrection(*Day, {Coeff, 9, 9, 9, 9, 9, 9});
    std::vector<int32_t> Result;
    for (std::size_t I = 0; I < Counts.size(); ++I) {
        Result.push_back(Day->Slots[32 + I].Counts[0]);
    }
    return Result;
}

} // namespace

TEST(Correction, CarriesTheRoundingErrorPerChannel) {
    struct {
        std::vector<int32_t> Counts;
        double Coeff;
        std::vector<int32_t> Want;
    } Cases[] = {
        {{1, 1, 1, 1}, 0.5, {0, 0, 1, 0}}, // carry 0.5, 1.0 (kept), 1.5 (flushed), 1.0
        {{3, 3}, 1.5, {4, 4}},             // 4.5 to even, carry 0.5 then 1.0 (kept)
        {{1, 1, 1}, 1.5, {2, 2, 1}},       // carry -0.5, -1.0, -1.5: flushed downwards
        {{7, 0, 5}, 1.0, {7, 0, 5}},
        {{4, 2}, -1.0, {0, 0}}, // negative results become 0
        {{2000000000}, 2.0, {2147483647}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Coeff);
        EXPECT_EQ(Corrected(C.Counts, C.Coeff), C.Want);
    }
}

TEST(Correction, RewritesTheFileInPlaceFromMidnight) {
    TTempDir Tmp;
    const std::string Input = "#TKT9\r\n# Shop name: Gare\r\n#C1YE1\r\n#C2YX1\r\n"
                              "X\t22/12/2008\t00:30\t 3\t 1\r\n"
                              "X\t22/12/2008\t00:45\t 3\t 1\r\n";
    const std::string In = Tmp.Write("081222.vrk", Input);
    TConvParamsCorrection P;
    P.Correction = {1.5, 1, 1, 1, 1, 1, 1};
    EXPECT_TRUE(CorrectFile(In, P));
    EXPECT_THAT(DataRows(In),
                ElementsAre("Gare\t22/12/2008\t00:00\t 0\t 0", "Gare\t22/12/2008\t00:15\t 0\t 0",
                            "Gare\t22/12/2008\t00:30\t 4\t 2", "Gare\t22/12/2008\t00:45\t 4\t 2"));
    EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Input);
    EXPECT_EQ(StableHeader(In)[1], "# Shop name: Gare");
}

// The status of a corrected file may go unrecorded (a crash or a failed save right after the
// rewrite): the file is then offered again and must not be corrected twice, nor its raw copy
// replaced with corrected counts. A new raw version is corrected as usual.
TEST(Correction, ACorrectedFileOfferedAgainIsLeftAsItIs) {
    TTempDir Tmp;
    const std::string Input = "#TKT9\r\n# Shop name: Gare\r\n#C1YE1\r\n#C2YX1\r\n"
                              "X\t22/12/2008\t00:30\t 3\t 1\r\n";
    const std::string In = Tmp.Write("081222.vrk", Input);
    TConvParamsCorrection P;
    P.Correction = {2, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(CorrectFile(In, P));
    const std::vector<std::string> Once = DataRows(In);
    EXPECT_EQ(Once.back(), "Gare\t22/12/2008\t00:30\t 6\t 2");
    ASSERT_TRUE(CorrectFile(In, P));
    EXPECT_EQ(DataRows(In), Once);
    EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Input);

    const std::string Newer = Input + "X\t22/12/2008\t00:45\t 1\t 1\r\n";
    Tmp.Write("081222.vrk", Newer);
    ASSERT_TRUE(CorrectFile(In, P));
    EXPECT_EQ(DataRows(In).back(), "Gare\t22/12/2008\t00:45\t 2\t 2");
    EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Newer);

    // Raw rows written as corrected rows are, with a first row that is its own correction (zero
    // counts) and a later one that is not: the same raw version offered again is corrected again.
    const std::string Canonical = "#TKT9\r\n# Shop name: Gare\r\n#C1YE1\r\n#C2YX1\r\n"
                                  "Gare\t22/12/2008\t00:00\t 0\t 0\r\n"
                                  "Gare\t22/12/2008\t00:15\t 3\t 1\r\n";
    for (int Offer = 0; Offer < 2; ++Offer) {
        Tmp.Write("081222.vrk", Canonical);
        ASSERT_TRUE(CorrectFile(In, P));
        EXPECT_THAT(DataRows(In), ElementsAre("Gare\t22/12/2008\t00:00\t 0\t 0",
                                              "Gare\t22/12/2008\t00:15\t 6\t 2"));
        EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Canonical);
    }
}

TEST(Correction, FailuresLeaveTheInput) {
    TTempDir Tmp;
    TConvParamsCorrection P;
    EXPECT_TRUE(CorrectFile(Tmp.Path("missing.vrk"), P));
    // Without rows the file is rewritten with its header and no data.
    const std::string Empty = Tmp.Write("081222.vrk", "#TKT9\r\n#C1YE1\r\n");
    EXPECT_TRUE(CorrectFile(Empty, P));
    EXPECT_TRUE(DataRows(Empty).empty());

    const std::string In = Tmp.Write("sub/081222.vrk", "#TKT9\r\nX\t22/12/2008\t00:30\t 3\r\n");
    Tmp.Write("sub/compteursbrut", "");
    EXPECT_THROW(CorrectFile(In, P), EOSError);
    EXPECT_EQ(Tmp.Read("sub/081222.vrk"), "#TKT9\r\nX\t22/12/2008\t00:30\t 3\r\n");
}

// A raw-copy directory planted as a link to another directory is not written through.
TEST(Correction, RefusesARawCopyDirectoryThatIsALink) {
    TTempDir Tmp;
    TConvParamsCorrection P;
    const std::string Input = "#TKT9\r\nX\t22/12/2008\t00:30\t 3\r\n";
    const std::string In = Tmp.Write("in/081222.vrk", Input);
    ASSERT_EQ(::mkdir(Tmp.Path("elsewhere").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(Tmp.Path("elsewhere").c_str(), Tmp.Path("in/compteursbrut").c_str()), 0);
    EXPECT_THAT([&] { CorrectFile(In, P); },
                testing::ThrowsMessage<EOSError>(testing::HasSubstr("is a symbolic link")));
    EXPECT_EQ(Tmp.Read("in/081222.vrk"), Input);
    EXPECT_EQ(Tmp.Read("elsewhere/081222.vrk"), "");
}
