#include "retail/fc_xlsoft.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::StrEq;
using testing::ThrowsMessage;

TEST(XlSoft, SumsSlicesIntoHoursAndKeepsAMergedCopy) {
    TTempDir Tmp;
    // From 09:00 in slices of 30 minutes: slice 3 is 10:30, hour 10; slice 23 (20:30) is the last
    // within QtrStop 80 (20:00) plus one slice.
    const std::string In = Tmp.Write("in/BOCAISSE.TXT", "c;20090307;3;4;12,50\r\n"
                                                        "c;20090307;2;1;7.5\r\n"
                                                        "c;20090307;0;2;1\r\n"
                                                        "c;20090307;-1;9;9\r\n"
                                                        "c;20090307;23;9;9\r\n"
                                                        "c;20090307;24;9;9\r\n"
                                                        "c;20090307;30;9;9\r\n"
                                                        "c;20090307;5;x;9\r\n"
                                                        "c;20090307;5;1;1,5.0\r\n"
                                                        "\r\n"
                                                        "c;20090308;1;3;-2\r\n");
    Tmp.Write("raw/BOCAISSE.TXT", "c;20090306;1;1;1\r\n"
                                  "c;20090307;3;1;1\r\n"
                                  "garbage\r\n");
    TConvParamsXlSoft P;
    P.OutDir = Tmp.Path("out");
    P.RawOutDir = Tmp.Path("raw");
    P.QtrStart = 36;
    P.QtrStop = 80;
    ForceDirectories(P.OutDir);
    EXPECT_TRUE(ConvertXlSoft(In, P));
    EXPECT_EQ(Tmp.Read("out/090307.txt"),
              "  | 07/03/09 | 09 |      2 |       1.00 |      0 |      0 |\r\n"
              "  | 07/03/09 | 10 |      5 |      20.00 |      0 |      0 |\r\n"
              "  | 07/03/09 | 20 |      9 |       9.00 |      0 |      0 |\r\n");
    EXPECT_EQ(Tmp.Read("out/090308.txt"),
              "  | 08/03/09 | 09 |      3 |      -2.00 |      0 |      0 |\r\n");
    // Every line lands in the copy, replacing the line of its key.
    EXPECT_EQ(Tmp.Read("raw/BOCAISSE.TXT"), "c;20090306;1;1;1\r\n"
                                            "c;20090307;3;4;12,50\r\n"
                                            "garbage\r\n"
                                            "c;20090307;2;1;7.5\r\n"
                                            "c;20090307;0;2;1\r\n"
                                            "c;20090307;-1;9;9\r\n"
                                            "c;20090307;23;9;9\r\n"
                                            "c;20090307;24;9;9\r\n"
                                            "c;20090307;30;9;9\r\n"
                                            "c;20090307;5;1;1,5.0\r\n"
                                            "c;20090308;1;3;-2\r\n");
}

TEST(XlSoft, FailuresLeaveTheCopyAsItWas) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("bocaisse.txt", "c;20090307;3;4;12,50\r\n");
    TConvParamsXlSoft P;
    P.OutDir = Tmp.Path("out");
    EXPECT_THAT([&] { ConvertXlSoft(In, P); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
    P.RawOutDir = Tmp.Path("raw");
    Tmp.Write("out", "a file, not a directory");
    EXPECT_THROW(ConvertXlSoft(In, P), EOSError);
    EXPECT_FALSE(FileExists(Tmp.Path("raw/bocaisse.txt")));
}
