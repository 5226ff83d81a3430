#include "retail/fc_odeis.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/temp_dir.h"

TEST(Odeis, PutsTheEntryChannelsOfEachQuarterInCalendarOrder) {
    TTempDir Tmp;
    const std::string In = Tmp.Write(
        "in/20090307.vrk", CountingFile("07/03/2009", "10:00\t 1\t 2\t 3\t 4\t 5\t 6\t 7\n"
                                                      "10:15\t 8\t 8\t 8\t 8\t 8\t 8\t 8\n"
                                                      "11:00\t 9\t 9\t 9\t 9\t 9\t 9\t 9"));
    Tmp.Write("out/zalmoret_client_042.txt", "042\t01/01/2010\t09:00\t1\t1\t1\t0\r\n"
                                             "042\t07/03/2009\t10:00\t0\t0\t0\t0\r\n"
                                             "042\t31/12/2008\t09:00\t1\t1\t1\t0\r\n");
    TConvParamsOdeis P;
    P.OutDir = Tmp.Path("out");
    P.StoreCode = "042";
    P.UseTimeFilter = true;
    P.QtrStart = 40;
    P.QtrStop = 41;
    EXPECT_TRUE(ConvertOdeis(In, P));
    // Entry channels 1, 3 and 5 (channel 7 is inactive), then a zero.
    EXPECT_EQ(Tmp.Read("out/zalmoret_client_042.txt"), "042\t31/12/2008\t09:00\t1\t1\t1\t0\r\n"
                                                       "042\t07/03/2009\t10:00\t1\t3\t5\t0\r\n"
                                                       "042\t07/03/2009\t10:15\t8\t8\t8\t0\r\n"
                                                       "042\t01/01/2010\t09:00\t1\t1\t1\t0\r\n");
    EXPECT_TRUE(ConvertOdeis(Tmp.Path("in/missing.vrk"), P));
}
