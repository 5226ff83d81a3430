#include "retail/fc_bizplu.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"

#include "platform/files.h"
#include "testing/temp_dir.h"

TEST(BizPlu, CountsReceiptLinesWithAmountsInHundredths) {
    TTempDir Tmp;
    const std::string In =
        Tmp.Write("in.txt", "H#header#line\r\n"
                            "  T#1#2#20080325#0915#5#6#7#8#9#10#11#12#12345#3\r\n"
                            "T#1#2#20080325#0959#5#6#7#8#9#10#11#12#55#1\r\n"
                            "T#1#2#20080325#2500#5#6#7#8#9#10#11#12#100#2\r\n"
                            "T#1#2#20080325#1100#5#6#7#8#9#10#11#12#1,5#2\r\n"
                            "T#1#2#20080325#1100#5#6#7#8#9#10#11#12#100\r\n"
                            "t#1#2#20080325#1100#5#6#7#8#9#10#11#12#100#2\r\n");
    Tmp.Write("out/080325.txt",
              " OLD | 25/03/08 | 05 |      5 |       5.00 |      5 |      0 |\r\n"
              " OLD | 25/03/08 | 08 |      8 |       8.00 |      8 |      0 |\r\n"
              " OLD | 25/03/08 | 10 |      8 |       8.00 |      8 |      0 |\r\n");
    TConvParamsBizPlu P;
    P.OutDir = Tmp.Path("out");
    EXPECT_TRUE(ConvertBizPlu(In, P));
    // Hour 25 counts into hour 0; every hour of the new range 0..9 is store "001", the others
    // keep their code.
    EXPECT_EQ(Tmp.Read("out/080325.txt"),
              " 001 | 25/03/08 | 00 |      1 |       1.00 |      2 |      0 |\r\n"
              " 001 | 25/03/08 | 05 |      5 |       5.00 |      5 |      0 |\r\n"
              " 001 | 25/03/08 | 08 |      8 |       8.00 |      8 |      0 |\r\n"
              " 001 | 25/03/08 | 09 |      2 |     124.00 |      4 |      0 |\r\n"
              " OLD | 25/03/08 | 10 |      8 |       8.00 |      8 |      0 |\r\n");
}

TEST(BizPlu, ADamagedTableNamesItsLineCountedFromOne) {
    TTempDir Tmp;
    const std::string In =
        Tmp.Write("in.txt", "T#1#2#20080325#0915#5#6#7#8#9#10#11#12#12345#3\r\n");
    Tmp.Write("out/080325.txt",
              " 001 | 25/03/08 | 05 |      5 |       5.00 |   five |      0 |\r\n");
    TConvParamsBizPlu P;
    P.OutDir = Tmp.Path("out");
    EXPECT_THAT([&] { ConvertBizPlu(In, P); },
                testing::ThrowsMessage<EConvertError>(
                    testing::StrEq("'five' is not a valid integer value (080325.txt, line 1)")));
}
