#include "data/vrkcfg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/datetime.h"
#include "common/errors.h"
#include "platform/files.h"
#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

const TFakeClock Clock(EncodeDateTime(2008, 12, 24, 9, 30, 0, 0));
const char* const Stamp = "#M dernière mise à jour 24/12/2008 09:30";

std::vector<std::string> HeaderOf(const TVrkConfig& Config) {
    std::vector<std::string> Lines;
    Config.BuildHeader(Lines);
    return Lines;
}

std::vector<std::string> SplitCrLf(const std::string& Text) {
    std::vector<std::string> Lines;
    std::size_t Start = 0;
    while (Start < Text.size()) {
        const std::size_t End = Text.find("\r\n", Start);
        EXPECT_NE(End, std::string::npos) << "line without CR LF";
        if (End == std::string::npos) {
            break;
        }
        Lines.push_back(Text.substr(Start, End - Start));
        Start = End + 2;
    }
    return Lines;
}

TVrkConfig Read(const std::string& Text) {
    TVrkConfig Config;
    Config.ReadHeader(Text);
    return Config;
}

} // namespace

TEST(VrkConfig, DefaultHeaderLineByLine) {
    TVrkConfig Config;
    Config.Clock = &Clock;
    EXPECT_THAT(HeaderOf(Config),
                ElementsAre("#TVRK01", Stamp, "#D1DPorte", "#D2DPorte", "#D3DPorte", "#D4DPorte",
                            "#C1YE1", "#C2IE2", "#C3IE3", "#C4IE4", "#C5IX1", "#C6IX2", "#C7IX3",
                            "#C8IX4", "#R2222111111111111", "#K1.000", "#F0", "#S"));
    Config.SetShopName("Boutique de la gare, quai numero 1 et 2");
    EXPECT_EQ(HeaderOf(Config)[1], "# Shop name: Boutique de la gare, quai numero");
}

TEST(VrkConfig, ChannelLettersOfEachModel) {
    // KT9: letters from the channel records, as many lines as the highest active channel.
    TVrkConfig Kt9;
    Kt9.SetModel("KT9");
    auto Set = [](TVrkConfig& C, int N, bool Active, bool Exit, int Kind, int Door) {
        TVrkChannel& Ch = C.Channels(N);
        Ch.Active = Active;
        Ch.IsExit = Exit;
        Ch.Kind = Kind;
        Ch.Door = Door;
    };
    Set(Kt9, 1, true, false, 0, 1);
    Set(Kt9, 2, true, true, 0, 1);
    Set(Kt9, 3, true, false, 1, 2);
    Set(Kt9, 4, true, true, 1, 2);
    Set(Kt9, 5, false, false, 2, 3);
    Set(Kt9, 6, true, true, 2, 3);
    Set(Kt9, 7, true, true, 3, 4);
    Kt9.Channels(9) = {true, false, 5, 0, "Nord"};
    Kt9.RecomputeDoorFlags();
    Kt9.Clock = &Clock;
    EXPECT_THAT(HeaderOf(Kt9),
                ElementsAre("#TKT9", Stamp, "#D1DPorte", "#D2DPorte", "#D3DPorte", "#D4DPorte",
                            "#D5DPorte", "#C1YE1", "#C2YX1", "#C3YA2", "#C4YB2", "#C5IC3", "#C6YD3",
                            "#C7YI4", "#C8IE1", "#C9YE5 Nord", "#R2222111111111111", "#K1.000",
                            "#F0", "#S"));

    // VRK01: fixed layout from the door records, whatever the channel records say.
    TVrkConfig Vrk01 = Read("#TVRK01\r\n#D1DA\r\n#D2DB\r\n#C1YA1\r\n#C2YC2\r\n#C6YE2\r\n"
                            "#C5IE1\r\n");
    Vrk01.Channels(1).Door = 9;
    std::vector<std::string> Lines = HeaderOf(Vrk01);
    EXPECT_THAT(std::vector<std::string>(Lines.begin() + 6, Lines.begin() + 14),
                ElementsAre("#C1YA1", "#C2YC2", "#C3IE3", "#C4IE4", "#C5IX1", "#C6YX2", "#C7IX3",
                            "#C8IX4"));

    // QMX: 32 door lines and 64 channel lines; VRK08: 8 and 8.
    TVrkConfig Qmx;
    Qmx.SetModel("QMX");
    Qmx.ResetDefaults();
    Lines = HeaderOf(Qmx);
    EXPECT_EQ(Lines.size(), 2u + 32u + 64u + 4u);
    EXPECT_EQ(Lines[2 + 32 + 63], "#C64YE1");
    TVrkConfig Vrk08;
    Vrk08.SetModel("VRK08");
    Vrk08.ResetDefaults();
    Lines = HeaderOf(Vrk08);
    EXPECT_EQ(Lines.size(), 2u + 8u + 8u + 4u);
    EXPECT_EQ(Lines[2 + 8 + 7], "#C8YE1");
}

TEST(VrkConfig, SetModelFallsBackAndAdapts) {
    TVrkConfig Config;
    Config.SetModel("KT9000");
    EXPECT_EQ(Config.Model(), "VRK01");
    Config.Flags = 0xFFFFFFFF;
    Config.SetModel("KT9");
    EXPECT_EQ(Config.Flags, 0xFFF0FFFFu);
    EXPECT_FALSE(Config.Channels(5).Active);
    EXPECT_TRUE(Config.Channels(1).Active);
}

TEST(VrkConfig, ReadsChannelLines) {
    const TVrkConfig Kt9 = Read("#TKT9\r\n#C12YB3 Sortie nord\r\n");
    const TVrkChannel& Ch = Kt9.Channels(12);
    EXPECT_TRUE(Ch.Active);
    EXPECT_EQ(Ch.Kind, 1);
    EXPECT_TRUE(Ch.IsExit);
    EXPECT_EQ(Ch.Door, 3);
    EXPECT_EQ(Ch.Name, "Sortie nord");
    EXPECT_TRUE(Kt9.Doors(3).Defined);
    EXPECT_TRUE(Kt9.Doors(3).HasExits);

    const TVrkConfig Vrk01 = Read("#TVRK01\r\n#C12YE3 Sortie nord\r\n#C2YE1\r\n");
    EXPECT_TRUE(Vrk01.Channels(12).IsExit);
    EXPECT_FALSE(Vrk01.Channels(2).IsExit);
    EXPECT_EQ(Vrk01.Channels(2).Door, 1);

    // Numbers of one digit, or with a sign or a blank, as well as plain two-digit ones.
    const TVrkConfig Signed =
        Read("#TQMX\r\n#D2DQuai\r\n#D3DHall\r\n#C+7YA 2 Quai\r\n#C9YE3Hall\r\n");
    EXPECT_EQ(Signed.Channels(7).Door, 2);
    EXPECT_EQ(Signed.Channels(7).Kind, 1);
    EXPECT_EQ(Signed.Channels(7).Name, "Quai");
    EXPECT_EQ(Signed.Channels(9).Door, 3);
    EXPECT_EQ(Signed.Channels(9).Name, "all");

    struct {
        char Letter;
        int Kind;
        bool Exit;
    } Letters[] = {{'A', 1, false}, {'B', 1, true}, {'C', 2, false}, {'D', 2, true},
                   {'I', 3, false}, {'X', 0, true}, {'E', 0, false}, {'Q', 0, false}};
    for (const auto& L : Letters) {
        SCOPED_TRACE(L.Letter);
        const TVrkConfig C = Read(std::string("#TKT9\r\n#C3Y") + L.Letter + "2\r\n");
        EXPECT_EQ(C.Channels(3).Kind, L.Kind);
        EXPECT_EQ(C.Channels(3).IsExit, L.Exit);
    }
}

TEST(VrkConfig, SkipsMalformedHeaderLines) {
    const std::string Base = "#TKT9\r\n#C1YE1\r\n#D2CCouloir\r\n";
    const char* Bad[] = {"#C70YE1", "#C1YE40", "#C0YE1", "#C1YE",  "#C1Y",  "#C1",
                         "#C",      "#CxxYE1", "#D7",    "#D40DX", "#D0DX", "#D12",
                         "#D",      "#Dab",    "#",      "#K",     "#Q"};
    const TVrkConfig Want = Read(Base);
    for (const char* Line : Bad) {
        SCOPED_TRACE(Line);
        const TVrkConfig Got = Read(Base + Line + "\r\n");
        for (int N = 1; N <= VrkChannelCount; ++N) {
            const TVrkChannel& A = Got.Channels(N);
            const TVrkChannel& B = Want.Channels(N);
            EXPECT_EQ(std::tie(A.Active, A.IsExit, A.Door, A.Kind, A.Name),
                      std::tie(B.Active, B.IsExit, B.Door, B.Kind, B.Name))
                << N;
        }
        for (int N = 1; N <= VrkDoorCount; ++N) {
            EXPECT_EQ(Got.Doors(N).Name, Want.Doors(N).Name) << N;
            EXPECT_EQ(Got.Doors(N).DoorType, Want.Doors(N).DoorType) << N;
        }
    }
    // "#T" alone is an unknown model: VRK01 and its layout.
    EXPECT_EQ(Read("#T\r\n").Model(), "VRK01");
    EXPECT_EQ(Read("#T  QMX  \r\n").Model(), "QMX");
}

TEST(VrkConfig, ReadsDoorsFlagsAndNumbers) {
    TVrkConfig Config;
    Config.Flags = 0xF0000FFF;
    Config.KFactor = 2.5;
    Config.ReadHeader("#TKT9\r\n#D7Z\r\n#D2CCouloir est  \r\n#D3P\r\n#C1YE2\r\n#R22\r\n"
                      "#Kabc\r\n#F12x\r\n# Shop name:  Gare : quai  \r\n#SABC\r\n");
    EXPECT_EQ(Config.Doors(7).DoorType, 'D');
    EXPECT_EQ(Config.Doors(7).Name, "Porte");
    EXPECT_EQ(Config.Doors(2).Name, "Couloir est");
    EXPECT_EQ(Config.Doors(2).DoorType, 'C');
    EXPECT_EQ(Config.Doors(3).DoorType, 'P');
    EXPECT_TRUE(Config.Doors(2).Defined);
    EXPECT_FALSE(Config.Doors(7).Defined); // listed but without an active channel
    // "#R22": bits 12 and 13 set, 14..27 cleared; ResetForModel started from 0xF007.
    EXPECT_EQ(Config.Flags, 0x3007u);
    EXPECT_EQ(Config.KFactor, 2.5);
    EXPECT_EQ(Config.FValue, 0);
    EXPECT_EQ(Config.ShopName(), "Gare : quai");
    EXPECT_EQ(Config.Signature, "ABC");

    Config.ReadHeader("#K0.875\r\n#F-12\r\n#R1212121212121212121\r\n");
    EXPECT_EQ(Config.KFactor, 0.875);
    EXPECT_EQ(Config.FValue, -12);
    EXPECT_EQ(Config.Flags, 0xAAAA007u);
}

TEST(VrkConfig, MergesDoorsOfTheSameName) {
    const TVrkConfig Config =
        Read("#TKT9\n#D1DEntrée\n#D2DSortie\n#D3DEntrée\n#D4DSortie\n#D5DEntrée\n#D6DEntré\n"
             "#C1YE1\n#C2YE2\n#C3YX3\n#C4YX4\n#C5YE5\n#C6YE6\n");
    for (const int Door : {1, 2, 6}) {
        EXPECT_TRUE(Config.Doors(Door).Defined) << Door;
    }
    for (const int Door : {3, 4, 5}) {
        EXPECT_FALSE(Config.Doors(Door).Defined) << Door;
    }
    EXPECT_EQ(Config.Channels(3).Door, 1);
    EXPECT_EQ(Config.Channels(5).Door, 1);
    EXPECT_EQ(Config.Channels(2).Door, 2);
    EXPECT_EQ(Config.Channels(4).Door, 2);
    EXPECT_EQ(Config.Channels(6).Door, 6);
}

TEST(VrkConfig, AcceptsEveryLineEnd) {
    for (const char* Eol : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(Eol);
        const std::string E = Eol;
        const TVrkConfig Config = Read("#TKT9" + E + "#C6YB2 Nord" + E + "001\t01/01/2008" + E);
        EXPECT_EQ(Config.Model(), "KT9");
        EXPECT_EQ(Config.Channels(6).Name, "Nord");
    }
}

TEST(ForEachTextLine, EndsLinesAtCrLfLfOrALoneCr) {
    // Line ends are searched for in blocks of 16 and 64 bytes, the last block overlapping the one
    // before: ends on either side of block edges, a CR LF across one, a long last line.
    const std::string X15(15, 'x'), X16(16, 'x'), X63(63, 'x'), X70(70, 'x');
    struct {
        std::string Text;
        std::vector<std::string> Lines;
    } Cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"\n\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\rb\r", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"long line\rx\ry\nz\r\n", {"long line", "x", "y", "z"}},
        {X15 + "\r\n" + X16 + "\n" + X63 + "\r" + X70, {X15, X16, X63, X70}},
        {X16 + X63 + "\r\n\n" + X15 + "\r", {X16 + X63, "", X15}},
        {"a\n" + X16, {"a", X16}},
        {X63 + "a\r", {X63 + "a"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(C.Text)));
        std::vector<std::string> Lines;
        ForEachTextLine(C.Text, [&](std::string_view Line) { Lines.emplace_back(Line); });
        EXPECT_EQ(Lines, C.Lines);
    }
}

TEST(VrkConfig, CallsOnHeaderLineForEveryHeaderLine) {
    TVrkConfig Config;
    std::vector<std::string> Seen;
    Config.OnHeaderLine = [&](TVrkConfig& Sender, const std::string& Line) {
        EXPECT_EQ(&Sender, &Config);
        Seen.push_back(Line);
    };
    Config.ReadHeader("#TKT9\r\nMagasin\r\n#Q\r\n001\t1\r\n#\r\n#S\r\n");
    EXPECT_THAT(Seen, ElementsAre("#TKT9", "#Q", "#S"));
}

TEST(VrkConfig, LineTests) {
    struct {
        const char* Line;
        bool Header, Data;
    } Cases[] = {{"#T", true, false},
                 {"#", false, false},
                 {"", false, false},
                 {"0", false, false},
                 {"01", false, true},
                 {"cnl\t1", false, true},
                 {VrkHeadingLine1, false, false},
                 {VrkHeadingLine2, false, false},
                 {"Magasin\tDate\tHeure", false, false},
                 {"Magasin", false, false},
                 {"\t\t\tCNL1", false, false},
                 // A store name is no column heading, whatever words it holds.
                 {"Magasin Rivoli\t24/12/2008\t09:00\t 1", false, true},
                 {"Magasin\t24/12/2008\t09:00\t 1", false, true},
                 {"CNL\t24/12/2008\t09:00\t 1", false, true},
                 {"001\tMagasin", false, true}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        EXPECT_EQ(IsHeaderLine(C.Line), C.Header);
        EXPECT_EQ(IsDataLine(C.Line), C.Data);
    }
}

// A header written and read again is written the same (cases the fuzzer found: a shop name and
// a door name cut after a blank).
TEST(VrkConfig, HeaderReadBackIsWrittenTheSame) {
    const std::string Here = __FILE__;
    const std::string Crash = ReadFileBytes(Here.substr(0, Here.find_last_of('/') + 1) +
                                            "testdata/fuzz_shop_name_cut_at_blank.vrk");
    for (const std::string& Text :
         {Crash, std::string("#TKT9\r\n# Shop name: ") + std::string(31, 'x') + " tail\r\n",
          std::string("#TKT9\r\n#D1D") + std::string(31, 'x') + "\t tail\r\n"}) {
        TVrkConfig Config;
        Config.ReadHeader(Text);
        TVrkConfig Again;
        Again.ReadHeader(Config.HeaderText());
        EXPECT_EQ(Again.ShopName(), Config.ShopName());
        const auto Stable = [](const TVrkConfig& C) { // without the update stamp
            std::vector<std::string> Lines;
            C.BuildHeader(Lines);
            std::erase_if(Lines, [](const std::string& L) { return L.starts_with("#M"); });
            return Lines;
        };
        EXPECT_EQ(Stable(Again), Stable(Config));
    }
}

TEST(VrkConfig, SetHeaderToFileSignsTheDataPart) {
    TTempDir Tmp;
    const std::string Path = Tmp.Write("081224.vrk", "#TQMX\r\n#SOLD\r\nMagasin\r\n"
                                                     "001\t24/12/2008\t00:00\t 1\n"
                                                     "\t\t\tCNL1\tCNL2\r\n");
    TVrkConfig Config;
    Config.Clock = &Clock;
    Config.SetHeaderToFile(Path);
    const std::vector<std::string> Lines = SplitCrLf(Tmp.Read("081224.vrk"));
    std::vector<std::string> Want = HeaderOf(Config);
    Want.push_back(VrkHeadingLine1);
    Want.push_back(VrkHeadingLine2);
    Want.push_back("001\t24/12/2008\t00:00\t 1");
    EXPECT_THAT(Lines, ElementsAreArray(Want));
    // The SHA-1 of "001<TAB>24/12/2008<TAB>00:00<TAB> 1" CR LF.
    EXPECT_EQ(Config.Signature, "C08DDE7D4DD16C442271660C952334B622F4EB9B");
    EXPECT_EQ(Lines[Lines.size() - 4], "#SC08DDE7D4DD16C442271660C952334B622F4EB9B");

    std::vector<std::string> Data;
    TVrkConfig Reader;
    Reader.ReadDataLines(Path, Data);
    EXPECT_EQ(Reader.Signature, Config.Signature);
    EXPECT_THAT(Data, ElementsAre("001\t24/12/2008\t00:00\t 1"));
}

TEST(VrkConfig, SetHeaderToFileWithoutData) {
    TTempDir Tmp;
    TVrkConfig Config;
    Config.Signature = "STALE";
    Config.SetHeaderToFile(Tmp.Path("missing.vrk"));
    const std::vector<std::string> Lines = SplitCrLf(Tmp.Read("missing.vrk"));
    ASSERT_EQ(Lines.size(), HeaderOf(Config).size() + 2);
    EXPECT_EQ(Lines[Lines.size() - 3], "#S");
    EXPECT_EQ(Lines.back(), VrkHeadingLine2);
}

TEST(VrkConfig, SetHeaderToFileRaisesWhenTheFileCannotBeWritten) {
    TTempDir Tmp;
    Tmp.Write("plain", "x");
    TVrkConfig Config;
    EXPECT_THROW(Config.SetHeaderToFile(Tmp.Path("plain/a.vrk")), EOSError);
    EXPECT_THROW(Config.Doors(33), ERangeError);
    EXPECT_THROW(Config.Channels(0), ERangeError);
}
