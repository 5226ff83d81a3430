#include "retail/fc_generix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/temp_dir.h"

using testing::MatchesRegex;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

const std::string Rows = "10:00\t 1\t 2\t 3\t 4\t 5\t 6\t 100\n"
                         "10:15\t 10\t 20\t 30\t 40\t 50\t 60\t 100\n"
                         "10:30\t 1\t 1\t 1\t 1\t 1\t 1\t 1\n"
                         "11:45\t 7\t 7\t 7\t 7\t 7\t 7\t 7";

} // namespace

TEST(Generix, SumsDoorsPerHalfHourIntoTheDaysFile) {
    TTempDir Tmp;
    // Channel 3 (door 2) counts every person twice: door 2 writes its in count twice.
    const std::string In =
        Tmp.Write("in/20090307.vrk", CountingFile("07/03/2009", Rows, "1121111111111111"));
    Tmp.Write("out/03070000.zul", "1\t06/03/2009\t10:00\t0001\t0001\t1\r\n"
                                  "1\t07/03/2009\t10:00\t0099\t0099\t1\r\n");
    TConvParamsGenerix P;
    P.OutDir = Tmp.Path("out");
    EXPECT_TRUE(ConvertGenerix(In, P));
    EXPECT_EQ(Tmp.Read("out/03070000.zul"), "1\t06/03/2009\t10:00\t0001\t0001\t1\r\n"
                                            "1\t07/03/2009\t10:00\t0011\t0022\t1\r\n"
                                            "2\t07/03/2009\t10:00\t0033\t0033\t1\r\n"
                                            "3\t07/03/2009\t10:00\t0055\t0066\t1\r\n"
                                            "1\t07/03/2009\t10:30\t0001\t0001\t1\r\n"
                                            "2\t07/03/2009\t10:30\t0001\t0001\t1\r\n"
                                            "3\t07/03/2009\t10:30\t0001\t0001\t1\r\n"
                                            "1\t07/03/2009\t11:30\t0007\t0007\t1\r\n"
                                            "2\t07/03/2009\t11:30\t0007\t0007\t1\r\n"
                                            "3\t07/03/2009\t11:30\t0007\t0007\t1\r\n");
    EXPECT_FALSE(FileExists(Tmp.Path("out/03070000.err")));

    // A corrected delivery under the time filter 10:30..10:45: only the 10:30 lines change.
    Tmp.Write("in/20090307.vrk", CountingFile("07/03/2009", "10:00\t 9\t 9\t 9\t 9\t 9\t 9\n"
                                                            "10:30\t 2\t 3\t 4\t 5\t 6\t 7\n"
                                                            "11:00\t 9\t 9\t 9\t 9\t 9\t 9"));
    P.UseTimeFilter = true;
    P.QtrStart = 42;
    P.QtrStop = 43;
    EXPECT_TRUE(ConvertGenerix(In, P));
    EXPECT_EQ(Tmp.Read("out/03070000.zul"), "1\t06/03/2009\t10:00\t0001\t0001\t1\r\n"
                                            "1\t07/03/2009\t10:00\t0011\t0022\t1\r\n"
                                            "2\t07/03/2009\t10:00\t0033\t0033\t1\r\n"
                                            "3\t07/03/2009\t10:00\t0055\t0066\t1\r\n"
                                            "1\t07/03/2009\t10:30\t0002\t0003\t1\r\n"
                                            "2\t07/03/2009\t10:30\t0004\t0005\t1\r\n"
                                            "3\t07/03/2009\t10:30\t0006\t0007\t1\r\n"
                                            "1\t07/03/2009\t11:30\t0007\t0007\t1\r\n"
                                            "2\t07/03/2009\t11:30\t0007\t0007\t1\r\n"
                                            "3\t07/03/2009\t11:30\t0007\t0007\t1\r\n");
}

TEST(Generix, ErrorsGoToTheDaysErrorFile) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("in/20090307.vrk", CountingFile("07/03/2009", Rows));
    TConvParamsGenerix P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(Tmp.Path("out/03070000.zul")); // a directory: the file cannot be replaced
    EXPECT_TRUE(ConvertGenerix(In, P));
    EXPECT_THAT(Tmp.Read("out/03070000.err"),
                MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\t"
                             "Cannot .*03070000\\.zul.*\r\n"));

    EXPECT_TRUE(ConvertGenerix(Tmp.Path("in/missing.vrk"), P));
    P.OutDir.clear();
    EXPECT_THAT([&] { ConvertGenerix(In, P); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
}
