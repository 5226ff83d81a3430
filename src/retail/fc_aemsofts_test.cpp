#include "retail/fc_aemsofts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::StrEq;
using testing::ThrowsMessage;

namespace {

// Receipt 1: two articles and a total of 15.50, the total written twice. Receipt 2: a withdrawal.
// Receipt 3: a float. Receipt 4: one article at 11:05. Receipt 5 is on the next day.
const char* const Journal = "1;20080325;0930;x;01;ART;a;b;10.00\r\n"
                            "1;20080325;0931;x;00;ART;a;b;3.00\r\n"
                            "1;20080325;0931;x;01;ART;a;b;5.50\r\n"
                            "1;20080325;0932;x;01;ART;a;b;-1.00\r\n"
                            "1;20080325;0932;x;01;GDTOTAL;a;b;15.50\r\n"
                            "1;20080325;0932;x;01;GDTOTAL;a;b;15.50\r\n"
                            "  \r\n"
                            "2;20080325;0940;x;01;PRLMNT;a;b;50\r\n"
                            "2;20080325;0940;x;01;GDTOTAL;a;b;50\r\n"
                            "3;20080325;0950;x;01;ART;a;b;20\r\n"
                            "3;20080325;0950;x;01;FDCAI;a;b;0\r\n"
                            "3;20080325;0950;x;01;GDTOTAL;a;b;20\r\n"
                            "4;20080325;1105;x;01;ART;a;b;2\r\n"
                            "4;20080325;2505;x;01;ART;a;b;2\r\n"
                            "4;20080325;1105;x;01;ART;a;b;two\r\n"
                            "4;20080325;1105;x;01;GDTOTAL;a;b;2\r\n"
                            "5;20080326;0800;x;01;ART;a;b;1\r\n"
                            "5;20080326;0800;x;01;GDTOTAL;a;b;1\r\n";

} // namespace

TEST(Aemsofts, CountsEachSaleReceiptOnceAtItsTotal) {
    TTempDir Tmp;
    // The existing 10:00 line stays, under store "001"; 09:00 is replaced.
    Tmp.Write("out/080325.txt",
              " AB | 25/03/08 | 09 |      9 |       9.00 |      9 |      0 |\r\n"
              " AB | 25/03/08 | 10 |      1 |       1.00 |      1 |      0 |\r\n");
    TConvParamsAemsofts P;
    P.OutDir = Tmp.Path("out");
    EXPECT_TRUE(ConvertAemsofts(Tmp.Write("in.txt", Journal), P));
    EXPECT_EQ(Tmp.Read("out/080325.txt"),
              " 001 | 25/03/08 | 09 |      1 |      15.50 |      2 |      0 |\r\n"
              " 001 | 25/03/08 | 10 |      1 |       1.00 |      1 |      0 |\r\n"
              " 001 | 25/03/08 | 11 |      1 |       2.00 |      1 |      0 |\r\n");
    EXPECT_EQ(Tmp.Read("out/080326.txt"),
              " 001 | 26/03/08 | 08 |      1 |       1.00 |      1 |      0 |\r\n");
}

TEST(Aemsofts, ADayThatCannotBeWrittenFailsTheConversionAtTheEnd) {
    TTempDir Tmp;
    const std::string Damaged = " 001 | 25/03/08 | 12 |      1 |       1.00 |   bad |      0 |\r\n";
    Tmp.Write("out/080325.txt", Damaged);
    TConvParamsAemsofts P;
    P.OutDir = Tmp.Path("out");
    EXPECT_THAT([&] { ConvertAemsofts(Tmp.Write("in.txt", Journal), P); },
                ThrowsMessage<ETarnoError>(
                    StrEq("'bad' is not a valid integer value (080325.txt, line 1)")));
    // The failed day stays as it was and its receipts are not carried into the next day.
    EXPECT_EQ(Tmp.Read("out/080325.txt"), Damaged);
    EXPECT_EQ(Tmp.Read("out/080326.txt"),
              " 001 | 26/03/08 | 08 |      1 |       1.00 |      1 |      0 |\r\n");
}
