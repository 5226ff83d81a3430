#include "retail/fc_acurity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::StrEq;
using testing::ThrowsMessage;

TEST(Acurity, AddsTheMeasuresOfEachHourIntoTheDayTables) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("journal.txt", "MAGASIN12\t5\tCUST\t25/03/2008 09:15\r\n"
                                                    "MAGASIN12\t7\tCUST\t25/03/2008 09:40\r\n"
                                                    "MAGASIN12\t30\tSTUK\t25/03/2008 09:40\r\n"
                                                    "MAGASIN12\t345.6\tXOMZ-TOT\t25/03/2008 09:59\n"
                                                    "\n"
                                                    "S2\t1\tCUST\t25/03/2008 24:00\r\n"
                                                    "S2\tx\tCUST\t25/13/2008 10:00\r\n"
                                                    "S2\tx\tCUST\t25/03/2008 1x:00\r\n"
                                                    "S2\t99\tOTHER\t25/03/2008 11:00\r\n"
                                                    "S3\t2\tCUST\t26/03/2008 08:00\r\n");
    TConvParamsAcurity P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    EXPECT_TRUE(ConvertAcurity(In, P));
    // Hour 24 counts into hour 0; lines without a readable date or hour are skipped.
    EXPECT_EQ(Tmp.Read("out/080325.txt"),
              " S2 | 25/03/08 | 00 |      1 |       0.00 |      0 |      0 |\r\n"
              " MAGAS | 25/03/08 | 09 |     12 |     345.60 |     30 |      0 |\r\n");
    EXPECT_EQ(Tmp.Read("out/080326.txt"),
              " S3 | 26/03/08 | 08 |      2 |       0.00 |      0 |      0 |\r\n");
}

TEST(Acurity, AValueThatIsNotANumberEndsTheConversion) {
    struct {
        const char* Line;
        const char* Message;
    } Cases[] = {
        {"S\t12,5\tXOMZ\t26/03/2008 10:00", "'12,5' is not a valid floating point value"},
        {"S\t1.0\tCUST\t26/03/2008 10:00", "'1.0' is not a valid integer value"},
        {"S\t99999999999\tSTUK\t26/03/2008 10:00", "'99999999999' is not a valid integer value"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        TTempDir Tmp;
        const std::string In =
            Tmp.Write("j.txt", std::string("S\t4\tCUST\t25/03/2008 10:00\r\n") + C.Line + "\r\n");
        TConvParamsAcurity P;
        P.OutDir = Tmp.Dir();
        EXPECT_THAT([&] { ConvertAcurity(In, P); }, ThrowsMessage<EConvertError>(StrEq(C.Message)));
        // The day merged before the bad line stays merged; the bad line's day is not written.
        EXPECT_EQ(Tmp.Read("080325.txt"),
                  " S | 25/03/08 | 10 |      4 |       0.00 |      0 |      0 |\r\n");
        EXPECT_FALSE(FileExists(Tmp.Path("080326.txt")));
    }
}

TEST(Acurity, ReadErrors) {
    TTempDir Tmp;
    TConvParamsAcurity P;
    P.OutDir = Tmp.Dir();
    EXPECT_THROW(ConvertAcurity(Tmp.Path("missing.txt"), P), EOSError);
    // Binary garbage and an empty file write nothing.
    const std::string Garbage("\0\xff\t\t\t\x01\r\r\n\t", 10);
    EXPECT_TRUE(ConvertAcurity(Tmp.Write("garbage.txt", Garbage), P));
    EXPECT_TRUE(ConvertAcurity(Tmp.Write("empty.txt", ""), P));
    EXPECT_FALSE(FileExists(Tmp.Path("000000.txt")));
}
