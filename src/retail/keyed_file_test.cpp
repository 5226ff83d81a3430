#include "retail/keyed_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;

TEST(KeyedFile, PutReplacesTheLineOfItsKeyInPlace) {
    TTempDir Tmp;
    Tmp.Write("g.zul", "1\t07/03/2009\t10:00\t0001\t0002\t1\r\n"
                       "\r\n"
                       "2\t07/03/2009\t10:00\t0003\t0004\t1\n"
                       "1\t07/03/2009\t10:00\t0005\t0006\t1\n");
    TGenerixFile F(Tmp.Path("g.zul"));
    EXPECT_THAT(F.Keys, ElementsAre("107/03/200910:00", "207/03/200910:00", "107/03/200910:00"));
    F.Put("1\t07/03/2009\t10:00\t0009\t0009\t1"); // the first line of a doubled key
    F.Put("");
    F.Put("1\t07/03/2009\t10:30\t0001\t0001\t1");
    EXPECT_THAT(F.Records, ElementsAre("1\t07/03/2009\t10:00\t0009\t0009\t1",
                                       "2\t07/03/2009\t10:00\t0003\t0004\t1",
                                       "1\t07/03/2009\t10:00\t0005\t0006\t1",
                                       "1\t07/03/2009\t10:30\t0001\t0001\t1"));
    F.Save();
    EXPECT_EQ(Tmp.Read("g.zul"), "1\t07/03/2009\t10:00\t0009\t0009\t1\r\n"
                                 "2\t07/03/2009\t10:00\t0003\t0004\t1\r\n"
                                 "1\t07/03/2009\t10:00\t0005\t0006\t1\r\n"
                                 "1\t07/03/2009\t10:30\t0001\t0001\t1\r\n");
    F.UnixLineEnds = true;
    F.Save();
    EXPECT_EQ(Tmp.Read("g.zul").find('\r'), std::string::npos);
}

TEST(KeyedFile, KeysOfEachFormat) {
    TTempDir Tmp;
    TSoftTouchFile S(Tmp.Path("teller.txt"));
    TXlSoftFile X(Tmp.Path("bocaisse.txt"));
    TOdeisFile O(Tmp.Path("o.txt"));
    EXPECT_EQ(S.KeyOf("Shop,12,07032009,10:00,Ingang,Ingang,5,6"), "Shop120703200910:00");
    EXPECT_EQ(X.KeyOf("x;20090307;3;12;4,5"), "x;20090307;3");
    EXPECT_EQ(X.KeyOf("only"), "only;;");
    EXPECT_EQ(O.KeyOf("001\t07/03/2009\t10:00\t1\t2\t0\t0"), "00107/03/200910:00");
    // Keys differing in letter case are one key.
    S.Put("Shop,12,07032009,10:00,Ingang,Ingang,5,6");
    S.Put("SHOP,12,07032009,10:00,Ingang,Ingang,7,8");
    EXPECT_THAT(S.Records, ElementsAre("SHOP,12,07032009,10:00,Ingang,Ingang,7,8"));
    // The key follows the line that replaced the record (found by the fuzzer: it kept the old
    // one, so the file read back had other keys than the one saved).
    EXPECT_THAT(S.Keys, ElementsAre("SHOP120703200910:00"));
}

TEST(KeyedFile, SortOrders) {
    TTempDir Tmp;
    TOdeisFile O(Tmp.Path("o.txt"));
    for (const char* Line :
         {"002\t01/01/2008\t09:00\t1", "001\t01/01/2009\t09:00\t1", "001\t31/12/2008\t10:00\t1",
          "001\t31/12/2008\t09:00\t1", "001\t15/06/2008\t23:45\t1"}) {
        O.Put(Line);
    }
    O.Sort();
    EXPECT_THAT(O.Records, ElementsAre("001\t15/06/2008\t23:45\t1", "001\t31/12/2008\t09:00\t1",
                                       "001\t31/12/2008\t10:00\t1", "001\t01/01/2009\t09:00\t1",
                                       "002\t01/01/2008\t09:00\t1"));
    // Keys follow their records, so a later Put still finds its line.
    O.Put("001\t01/01/2009\t09:00\t2");
    EXPECT_EQ(O.Records[3], "001\t01/01/2009\t09:00\t2");
    EXPECT_EQ(O.Records.size(), 5u);

    TXlSoftFile X(Tmp.Path("x.txt"));
    for (const char* Line : {"b;1;1", "A;1;1", "a;0;1"}) {
        X.Put(Line);
    }
    X.Sort();
    EXPECT_THAT(X.Records, ElementsAre("a;0;1", "A;1;1", "b;1;1"));
}

TEST(KeyedFile, FileErrorsPropagate) {
    TTempDir Tmp;
    Tmp.Write("file", "");
    TGenerixFile F(Tmp.Path("file/below.zul")); // nothing to load
    F.Put("1\t2\t3");
    EXPECT_THROW(F.Save(), EOSError);
}
