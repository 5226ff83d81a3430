#include "retail/fc_winparf.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "testing/temp_dir.h"

TEST(Winparf, AddsTurnoverCustomersAndArticlesPerHour) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("caisse.csv", "01,x,25/03/2008 09:10, 100.50 \r\n"
                                                   "01,x,25/03/2008 09:20,-0.50\r\n"
                                                   "02,x,25/03/2008 09:20,4\r\n"
                                                   "03,x,25/03/2008 09:20,7\r\n"
                                                   "02,x,25/03/2008 24:00,2\r\n"
                                                   "03,x,25/03/2008 10:00,0\r\n"
                                                   "02,x,25/03/2008 11:00,-3\r\n"
                                                   "01,x,25/03/2008 12:00,abc\r\n"
                                                   "04,x,25/03/2008 13:00,1\r\n"
                                                   "02,x,26/03/2008 08:00,1\r\n");
    TConvParamsWinparf P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    EXPECT_TRUE(ConvertWinparf(In, P));
    // Hour 24 counts into hour 23; zero and negative counts add nothing but still name the hour.
    EXPECT_EQ(Tmp.Read("out/080325.txt"),
              " 001 | 25/03/08 | 09 |      4 |     100.00 |      7 |      0 |\r\n"
              " 001 | 25/03/08 | 23 |      2 |       0.00 |      0 |      0 |\r\n");
    EXPECT_EQ(Tmp.Read("out/080326.txt"),
              " 001 | 26/03/08 | 08 |      1 |       0.00 |      0 |      0 |\r\n");
}
