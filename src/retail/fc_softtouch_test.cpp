#include "retail/fc_softtouch.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "retail/exporttest.h"
#include "testing/temp_dir.h"

TEST(SoftTouch, SumsTheEntranceDoorsPerHour) {
    TTempDir Tmp;
    // The corridor (channels 5 and 6) does not count.
    const std::string In = Tmp.Write(
        "in/20090307.vrk", CountingFile("07/03/2009", "10:00\t 1\t 2\t 3\t 4\t 500\t 600\n"
                                                      "10:15\t 1\t 1\t 1\t 1\t 1\t 1\n"
                                                      "10:45\t 1\t 1\t 1\t 1\t 1\t 1\n"
                                                      "11:00\t 9\t 9\t 9\t 9\t 9\t 9\n"));
    Tmp.Write("out/teller.txt", "Gare,7,07032009,11:00,Ingang,Ingang,0,0\r\n"
                                "Gare,7,06032009,11:00,Ingang,Ingang,1,1\r\n");
    TConvParamsSoftTouch P;
    P.OutDir = Tmp.Path("out");
    P.LocationName = "Gare";
    P.LocationId = "7";
    EXPECT_TRUE(ConvertSoftTouch(In, P));
    EXPECT_EQ(Tmp.Read("out/teller.txt"), "Gare,7,07032009,11:00,Ingang,Ingang,18,18\r\n"
                                          "Gare,7,06032009,11:00,Ingang,Ingang,1,1\r\n"
                                          "Gare,7,07032009,10:00,Ingang,Ingang,8,10\r\n");

    P.NoDateSeparator = false;
    P.UseTimeFilter = true;
    P.QtrStart = 41; // 10:15
    P.QtrStop = 42;
    EXPECT_TRUE(ConvertSoftTouch(In, P));
    EXPECT_EQ(Tmp.Read("out/teller.txt"), "Gare,7,07032009,11:00,Ingang,Ingang,18,18\r\n"
                                          "Gare,7,06032009,11:00,Ingang,Ingang,1,1\r\n"
                                          "Gare,7,07032009,10:00,Ingang,Ingang,8,10\r\n"
                                          "Gare,7,07-03-2009,10:00,Ingang,Ingang,2,2\r\n");
}

TEST(SoftTouch, OnlyDaysUpToTodayAndWriteFailures) {
    TTempDir Tmp;
    TConvParamsSoftTouch P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    // A day after today writes no line; with CurrDayOnly any other day than today is skipped.
    const std::string Later =
        Tmp.Write("in/20990307.vrk", CountingFile("07/03/2099", "10:00\t 1\t 1\t 1\t 1"));
    EXPECT_TRUE(ConvertSoftTouch(Later, P));
    EXPECT_EQ(Tmp.Read("out/teller.txt"), "");
    P.CurrDayOnly = true;
    const std::string Past =
        Tmp.Write("in/20090307.vrk", CountingFile("07/03/2009", "10:00\t 1\t 1\t 1\t 1"));
    EXPECT_TRUE(ConvertSoftTouch(Past, P));
    EXPECT_EQ(Tmp.Read("out/teller.txt"), "");
    EXPECT_TRUE(ConvertSoftTouch(Tmp.Path("in/missing.vrk"), P));

    P.CurrDayOnly = false;
    Tmp.Write("file", "");
    P.OutDir = Tmp.Path("file/below");
    EXPECT_THROW(ConvertSoftTouch(Past, P), EOSError);
}
