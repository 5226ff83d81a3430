#include "transforms/fc_vrkmerge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/text.h"
#include "data/vrkcfg.h"
#include "testing/temp_dir.h"
#include "transforms/vrktest.h"

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

TEST(Merge, CrcCheckValues) {
    struct {
        const char* Text;
        uint32_t Want;
    } Cases[] = {
        {"abc", 0x55129B27u},
        {"123456789", 0x7DC08C09u},
        {"D:\\DATA\\STOREA\\ZALMORET\\", 0xD232B20Eu},
        {"D:\\DATA\\STOREB\\ZALMORET\\", 0x4D836480u},
        {"", 0u},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(MergeCrc32(C.Text), C.Want);
    }
}

TEST(Merge, SourceKeys) {
    struct {
        const char* File;
        const char* Dir; // what the CRC is taken of
        const char* Name;
    } Cases[] = {
        {"/data/Store A/zalmoret/081224.vrk", "/DATA/STOREA/ZALMORET/", "STOREA"},
        {"/data/Store B/VRK/081224.vrk", "/DATA/STOREB/VRK/", "STOREB"},
        {"/data/lyon 2/081224.vrk", "/DATA/LYON2/", "LYON2"},
        {"/zalmoret/081224.vrk", "/ZALMORET/", ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.File);
        EXPECT_EQ(MergeSourceKey(C.File), Format("%8.8X", MergeCrc32(C.Dir)) + ":" + C.Name);
    }
}

namespace {

// Store A: door "Porte", entries on channel 1, an exit channel that counted nothing.
const char* const StoreA = "#TKT9\r\n# Shop name: Magasin A\r\n#D1DPorte\r\n#C1YE1\r\n#C2YX1\r\n"
                           "#C3IE1\r\n"
                           "A1\t24/12/2008\t09:00\t 5\t 0\t 9\r\n"
                           "A1\t24/12/2008\t09:30\t 6\t 0\t 9\r\n";
// Store B: door "porte" shared with A, and a corridor of its own.
const char* const StoreB = "#TKT9\r\n#D1Dporte\r\n#D2CCouloir\r\n#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n"
                           "B1\t24/12/2008\t09:15\t 1\t 2\t 3\r\n"
                           "B1\t24/12/2008\t09:30\t 4\t 5\t 0\r\n";

} // namespace

TEST(Merge, TwoStoresIntoOneFileAndTheSameFileTwice) {
    TTempDir Tmp;
    const std::string A = Tmp.Write("Store A/zalmoret/081224.vrk", StoreA);
    const std::string B = Tmp.Write("Store B/zalmoret/081224.vrk", StoreB);
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    ForceDirectories(P.OutDir);
    ASSERT_TRUE(MergeFile(A, P));
    ASSERT_TRUE(MergeFile(B, P));
    const std::string Out = Tmp.Path("merged/081224.vrk");
    const std::string KeyA = MergeSourceKey(A);
    const std::string KeyB = MergeSourceKey(B);
    EXPECT_THAT(KeyA, testing::EndsWith(":STOREA"));
    // Doors without channels stay unnamed when the merged file is merged into again.
    EXPECT_THAT(StableHeader(Out),
                ElementsAre("#TKT9", "# Shop name: Magasin A", "#D1DPorte", "#D2CCouloir", "#D3D",
                            "#D4D", "#C1YE1 " + KeyA + "-1", "#C2YE1 " + KeyB + "-1",
                            "#C3YX1 " + KeyB + "-2", "#C4YE2 " + KeyB + "-3", "#C5IE3", "#C6IX3",
                            "#C7IE4", "#C8IX4", "#R1111111111111111", "#K1.000", "#F0"));
    const std::vector<std::string> Rows = {"001\t24/12/2008\t09:00\t 5\t 0\t 0\t 0",
                                           "001\t24/12/2008\t09:15\t 0\t 1\t 2\t 3",
                                           "001\t24/12/2008\t09:30\t 6\t 4\t 5\t 0"};
    EXPECT_EQ(DataRows(Out), Rows);

    // Merging a source again replaces its counts: same channels, same rows.
    const std::vector<std::string> Header = StableHeader(Out);
    Tmp.Write("Store B/zalmoret/081224.vrk", "#TKT9\r\n#D1Dporte\r\n#D2CCouloir\r\n#C1YE1\r\n"
                                             "#C2YX1\r\n#C3YE2\r\n"
                                             "B1\t24/12/2008\t09:15\t 1\t 2\t 3\r\n"
                                             "B1\t24/12/2008\t09:30\t 4\t 5\t 0\r\n");
    ASSERT_TRUE(MergeFile(B, P));
    ASSERT_TRUE(MergeFile(A, P));
    EXPECT_EQ(StableHeader(Out), Header);
    EXPECT_EQ(DataRows(Out), Rows);
}

// Merging the same file again changes nothing but the update stamp.
TEST(Merge, TheSameFileTwiceGivesTheSameFile) {
    TTempDir Tmp;
    const std::string A = Tmp.Write("Store A/zalmoret/081224.vrk", StoreA);
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    ForceDirectories(P.OutDir);
    const std::string Out = Tmp.Path("merged/081224.vrk");
    ASSERT_TRUE(MergeFile(A, P));
    const std::vector<std::string> Header = StableHeader(Out);
    const std::vector<std::string> Rows = DataRows(Out);
    ASSERT_TRUE(MergeFile(A, P));
    EXPECT_EQ(StableHeader(Out), Header);
    EXPECT_EQ(DataRows(Out), Rows);
}

// A long source directory name is cut so that the merged channel name keeps its key and its
// channel suffix: two source channels never share one merged channel.
TEST(Merge, LongSourceNamesKeepTheChannelSuffix) {
    TTempDir Tmp;
    const std::string Long(60, 'L');
    const std::string In = Tmp.Write(Long + "/081224.vrk", "#TKT9\r\n#C1YE1\r\n#C2YX1\r\n"
                                                           "A1\t24/12/2008\t09:00\t 5\t 7\r\n");
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    ForceDirectories(P.OutDir);
    ASSERT_TRUE(MergeFile(In, P));
    const std::string Key = MergeSourceKey(In);
    TVrkConfig Merged;
    Merged.ReadHeaderFromFile(Tmp.Path("merged/081224.vrk"));
    EXPECT_EQ(Merged.Channels(1).Name, Key.substr(0, 62) + "-1");
    EXPECT_EQ(Merged.Channels(2).Name, Key.substr(0, 62) + "-2");
    EXPECT_EQ(DataRows(Tmp.Path("merged/081224.vrk")).front(),
              "001\t24/12/2008\t09:00\t 5\t 7\t 0\t 0");
}

// A source's channels keep the merged channels of their names wherever these are, and a channel
// that counted nothing leaves no gap: the counts go to the channels of the right names.
TEST(Merge, CountsFollowTheChannelNamesNotTheirOrder) {
    TTempDir Tmp;
    const std::string In =
        Tmp.Write("Store C/081224.vrk", "#TKT9\r\n#D1DPorte\r\n#C1YE1\r\n"
                                        "#C2YX1\r\n#C3YE1\r\n#C4YX1\r\n"
                                        "C\t24/12/2008\t09:00\t 5\t 0\t 7\t 8\r\n");
    const std::string Key = MergeSourceKey(In);
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    const std::string Out =
        Tmp.Write("merged/081224.vrk", "#TKT9\r\n#D1DPorte\r\n#C1YE1 " + Key +
                                           "-3\r\n#C2YE1 Other\r\n" + "#C3YE1 " + Key + "-1\r\n" +
                                           "001\t24/12/2008\t09:00\t 1\t 2\t 3\r\n");
    ASSERT_TRUE(MergeFile(In, P));
    const std::vector<std::string> Header = StableHeader(Out);
    EXPECT_THAT(std::vector<std::string>(Header.begin() + 5, Header.begin() + 9),
                ElementsAre("#C1YE1 " + Key + "-3", "#C2YE1 Other", "#C3YE1 " + Key + "-1",
                            "#C4YX1 " + Key + "-4"));
    EXPECT_EQ(DataRows(Out), std::vector<std::string>{"001\t24/12/2008\t09:00\t 7\t 2\t 5\t 8"});
}

TEST(Merge, SixtyFifthChannelIsLeftOut) {
    TTempDir Tmp;
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    ForceDirectories(P.OutDir);
    // Three stores of 30 active channels each on 30 doors: the third finds 4 free channels.
    for (const char* Store : {"s1", "s2", "s3"}) {
        std::string Text = "#TQMX\r\n";
        std::string Row = "X\t24/12/2008\t08:00";
        for (int C = 1; C <= 64; ++C) {
            Text += Format("#C%d%cE%d\r\n", C, C <= 30 ? 'Y' : 'I', C <= 30 ? C : 1);
            Row += Format("\t %d", C);
        }
        for (int D = 1; D <= 32; ++D) {
            Text += Format("#D%dD%s%d\r\n", D, Store, D);
        }
        ASSERT_TRUE(
            MergeFile(Tmp.Write(std::string(Store) + "/081224.vrk", Text + Row + "\r\n"), P));
    }
    TVrkConfig Merged;
    Merged.ReadHeaderFromFile(Tmp.Path("merged/081224.vrk"));
    // Doors run out first: 32 doors for 30 + 2 distinct names; the rest of s2 and s3 is dropped.
    EXPECT_EQ(Merged.Channels(32).Name, MergeSourceKey(Tmp.Path("s2/x")) + "-2");
    EXPECT_EQ(Merged.Channels(33).Name, "");
    EXPECT_EQ(DataRows(Tmp.Path("merged/081224.vrk")).front().substr(0, 29),
              "001\t24/12/2008\t08:00\t 1\t 2\t 3");
}

TEST(Merge, Failures) {
    TTempDir Tmp;
    TConvParamsVrkMerge P;
    P.OutDir = Tmp.Path("merged");
    ForceDirectories(P.OutDir);
    EXPECT_FALSE(MergeFile(Tmp.Path("missing.vrk"), P));
    // A source that counted nothing all day gets no channel, and an empty merge writes nothing.
    const std::string Zero = Tmp.Write("a/081224.vrk", "#TKT9\r\n#C1YE1\r\n");
    EXPECT_THAT([&] { MergeFile(Zero, P); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    EXPECT_FALSE(FileExists(Tmp.Path("merged/081224.vrk")));
    const std::string Quiet =
        Tmp.Write("b/081224.vrk", "#TKT9\r\n#C1YE1\r\nB\t24/12/2008\t09:00\t 0\r\n");
    ASSERT_TRUE(MergeFile(Quiet, P));
    EXPECT_EQ(StableHeader(Tmp.Path("merged/081224.vrk"))[5], "#C1IE1");
    P.OutDir.clear();
    EXPECT_THAT([&] { MergeFile(Quiet, P); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
}
