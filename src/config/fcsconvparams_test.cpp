#include "config/fcsconvparams.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "common/errors.h"
#include "config/convtypes.h"
#include "testing/temp_dir.h"

namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// The keys Params writes into a new section, one "Key=Value" per line.
std::string SavedKeys(const TConvParams& Params) {
    TIniFile Ini = TIniFile::FromText("");
    Params.SaveToIni(Ini, "S");
    std::string Text = Ini.GetText();
    std::string Lines;
    for (char C : Text.substr(Text.find('\n') + 1)) { // after the section line
        if (C != '\r') {
            Lines += C;
        }
    }
    return Lines;
}

template <class T>
std::unique_ptr<T> LoadFrom(const std::string& SectionText) {
    TIniFile Ini = TIniFile::FromText("[S]\n" + SectionText);
    auto Params = std::make_unique<T>();
    Params->LoadFromIni(Ini, "S");
    return Params;
}

std::unique_ptr<TConvParams> LoadType(int Code, const std::string& SectionText) {
    TIniFile Ini = TIniFile::FromText("[S]\n" + SectionText);
    auto Params = FindConvType(Code)->Create();
    Params->LoadFromIni(Ini, "S");
    return Params;
}

// The default paths depend on TARNO_DRIVE; the tests start without it.
class ConvParamsTest : public testing::Test {
protected:
    void SetUp() override { ::unsetenv("TARNO_DRIVE"); }
    void TearDown() override { ::unsetenv("TARNO_DRIVE"); }
};

const char* const TimeFilterKeys = "CurrDayOnly=0\nUseTimeFilter=0\nQtrStart=0\nQtrStop=95\n";

struct TDefaultCase {
    int Code;
    std::string Keys; // as saved by a new object, in order
};

const TDefaultCase DefaultCases[] = {
    {ctNone, "OutDir=\nFileExt=*\n"},
    {ctAce, std::string("OutDir=\nFileExt=vrk\n") + TimeFilterKeys + "DaylikeOut=0\n"},
    {ctAcurity, "OutDir=\nFileExt=*\n"},
    {ctAemsofts, "OutDir=\nFileExt=txt\n"},
    {ctBizPlu, "OutDir=\nFileExt=txt\n"},
    {ctBrickstream,
     "OutDir=/MERVANTO/zalmoret\nFileExt=dat\nZeroExits=0\nUseShopId=0\nShopId=001\n"},
    {ctBrickstreamChld,
     "OutDir=/MERVANTO/zalmoret\nFileExt=dat\nZeroExits=0\nUseShopId=0\nShopId=001\n"},
    {ctBrickstreamRt, "OutDir=\nFileExt=dat\nUseShopId=0\nShopId=001\n"},
    {ctCboxRt, std::string("OutDir=\nFileExt=dat\n") + TimeFilterKeys},
    {ctCorrection, "OutDir=\nFileExt=vrk\nCorrection=1.000 1.000 1.000 1.000 1.000 1.000 1.000\n"},
    {ctCroma, "OutDir=\nFileExt=vrk\n"},
    {ctOdeis, std::string("OutDir=\nFileExt=vrk\n") + TimeFilterKeys + "StoreCode=001\n"},
    {ctVrkMerge, "OutDir=\nFileExt=vrk\n"},
    {ctVrkCbx, "OutDir=\nFileExt=vrk\nZeroExits=1\n"},
    {ctVrkNormalize, "OutDir=\nFileExt=vrk\nEXMerge=0\nNoExits=0\nStaffRemoval=0\n"
                     "StaffCoeff1=0\nStaffCoeff2=0\nStaffCoeff3=0\nStaffCoeff4=0\n"
                     "StaffCoeff5=0\nStaffCoeff6=0\nStaffCoeff7=0\nStoreCode=001\n"},
    {ctVrkSummarize, "OutDir=\nFileExt=vrk\nDoorOnly=1\nStoreId=001\nZeroExits=1\n"},
    {ctXlSoft, "OutDir=\nFileExt=txt\nRawOutDir=\nQtrStart=0\nQtrStop=95\nSliceSize=30\n"},
    {ctCegid, std::string("OutDir=/Zalmoret/CEGID\nFileExt=vrk\n") + TimeFilterKeys +
                  "ShopId=00001\nCode=GCEC1\nRetailMode=0\n"},
    {ctCheckpoint, std::string("OutDir=\nFileExt=vrk\n") + TimeFilterKeys + "CounterId=001\n"},
    {ctGenerix, std::string("OutDir=/AGIL/AGILStore/FRQ/Vidage\nFileExt=vrk\n") + TimeFilterKeys},
    {ctCylande, std::string("OutDir=/winstore/data\nFileExt=vrk\n") + TimeFilterKeys +
                    "NoDateSeparator=0\nScale15min=0\n"},
    {ctSoftTouch, std::string("OutDir=\nFileExt=vrk\n") + TimeFilterKeys +
                      "NoDateSeparator=1\nLocationName=\nLocationId=\n"},
    {ctWinparf, "OutDir=\nFileExt=*\n"},
};

TEST_F(ConvParamsTest, NewObjectsWriteTheirDefaultsInKeyOrder) {
    ASSERT_EQ(std::size(DefaultCases), ConvTypeTable().size());
    for (const TDefaultCase& C : DefaultCases) {
        SCOPED_TRACE(FindConvType(C.Code)->Name);
        EXPECT_EQ(SavedKeys(*FindConvType(C.Code)->Create()), C.Keys);
    }
}

TEST_F(ConvParamsTest, AnEmptySectionLoadsTheDefaultsWithNoOutDirAndEveryExtension) {
    for (const TDefaultCase& C : DefaultCases) {
        SCOPED_TRACE(FindConvType(C.Code)->Name);
        // The creation defaults, except the first two lines.
        std::string Rest = C.Keys.substr(C.Keys.find('\n', C.Keys.find('\n') + 1) + 1);
        EXPECT_EQ(SavedKeys(*LoadType(C.Code, "")), "OutDir=\nFileExt=*\n" + Rest);
    }
}

TEST_F(ConvParamsTest, DefaultPathsStartWithTheDrive) {
    ::setenv("TARNO_DRIVE", "/mnt/c", 1);
    EXPECT_EQ(WindowsDrive(), "/mnt/c");
    EXPECT_EQ(TConvParamsCegid().OutDir, "/mnt/c/Zalmoret/CEGID");
    EXPECT_EQ(TConvParamsBrickstreamChld().OutDir, "/mnt/c/MERVANTO/zalmoret");
    ::unsetenv("TARNO_DRIVE");
    EXPECT_EQ(WindowsDrive(), "");
}

// Every key a class writes is read back by the same class (values chosen away from the
// defaults and already in normalised form).
TEST_F(ConvParamsTest, EveryWrittenKeyIsReadBack) {
    const std::string Filter = "CurrDayOnly=1\nUseTimeFilter=1\nQtrStart=8\nQtrStop=80\n";
    struct {
        int Code;
        std::string Keys;
    } Cases[] = {
        {ctAce, "OutDir=/o\nFileExt=vrk\n" + Filter + "DaylikeOut=1\n"},
        {ctAcurity, "OutDir=/o\nFileExt=jnl\n"},
        {ctBrickstream, "OutDir=/o\nFileExt=dat\nZeroExits=1\nUseShopId=1\nShopId=17\n"},
        {ctBrickstreamRt, "OutDir=/o\nFileExt=dat\nUseShopId=1\nShopId=17\n"},
        {ctCboxRt, "OutDir=/o\nFileExt=dat\n" + Filter},
        {ctCorrection, "OutDir=/o\nFileExt=vrk\n"
                       "Correction=0.900 1.100 1.000 1.000 1.300 0.500 2.000\n"},
        {ctOdeis, "OutDir=/o\nFileExt=vrk\n" + Filter + "StoreCode=042\n"},
        {ctVrkCbx, "OutDir=/o\nFileExt=vrk\nZeroExits=0\n"},
        {ctVrkNormalize, "OutDir=/o\nFileExt=vrk\nEXMerge=1\nNoExits=0\nStaffRemoval=1\n"
                         "StaffCoeff1=1\nStaffCoeff2=2\nStaffCoeff3=3\nStaffCoeff4=4\n"
                         "StaffCoeff5=5\nStaffCoeff6=6\nStaffCoeff7=-7\nStoreCode=S12\n"},
        {ctVrkSummarize, "OutDir=/o\nFileExt=vrk\nDoorOnly=0\nStoreId=S9\nZeroExits=0\n"},
        {ctXlSoft,
         "OutDir=/o\nFileExt=txt\nRawOutDir=/raw\nQtrStart=4\nQtrStop=90\nSliceSize=60\n"},
        {ctCegid, "OutDir=/o\nFileExt=vrk\n" + Filter + "ShopId=00042\nCode=XY\nRetailMode=1\n"},
        {ctCheckpoint, "OutDir=/o\nFileExt=vrk\n" + Filter + "CounterId=C7\n"},
        {ctGenerix, "OutDir=/o\nFileExt=vrk\n" + Filter},
        {ctCylande, "OutDir=/o\nFileExt=vrk\n" + Filter + "NoDateSeparator=1\nScale15min=1\n"},
        {ctSoftTouch, "OutDir=/o\nFileExt=vrk\n" + Filter +
                          "NoDateSeparator=0\nLocationName=Gare\nLocationId=L1\n"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(FindConvType(C.Code)->Name);
        EXPECT_EQ(SavedKeys(*LoadType(C.Code, C.Keys)), C.Keys);
    }
}

TEST_F(ConvParamsTest, HandEditedValuesTakeTheDefaultOrTheNormalisedValue) {
    struct {
        int Code;
        const char* Section;
        const char* Key;
        const char* Want; // the value written back
    } Cases[] = {
        {ctOdeis, "StoreCode=7", "StoreCode", "007"},
        {ctOdeis, "StoreCode=12345", "StoreCode", "123"},
        {ctOdeis, "StoreCode=", "StoreCode", "000"},
        {ctVrkNormalize, "StoreCode=\"   \"", "StoreCode", "001"},
        {ctVrkNormalize, "StoreCode=", "StoreCode", "001"},
        {ctVrkNormalize, "NoExits=1\nEXMerge=1", "EXMerge", "0"},
        {ctVrkNormalize, "NoExits=0\nEXMerge=1", "EXMerge", "1"},
        {ctVrkNormalize, "StaffCoeff3=x", "StaffCoeff3", "0"},
        {ctXlSoft, "SliceSize=15", "SliceSize", "30"},
        {ctXlSoft, "SliceSize=1", "SliceSize", "1"},
        {ctXlSoft, "SliceSize=sixty", "SliceSize", "30"},
        {ctXlSoft, "QtrStop=", "QtrStop", "95"},
        {ctCegid, "", "QtrStop", "95"},
        {ctCegid, "QtrStart=abc", "QtrStart", "0"},
        {ctCegid, "QtrStart=99999999999", "QtrStart", "0"}, // does not fit 32 bits
        {ctCegid, "QtrStop=200", "QtrStop", "200"},         // kept: the exports clamp
        {ctCegid, "RetailMode=yes", "RetailMode", "0"},
        {ctCegid, "RetailMode=2", "RetailMode", "1"},
        {ctVrkSummarize, "DoorOnly=", "DoorOnly", "1"},
        {ctCorrection, "Correction=0,9 x", "Correction",
         "1.000 1.000 1.000 1.000 1.000 1.000 1.000"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::string(FindConvType(C.Code)->Name) + " " + C.Section);
        TIniFile Ini = TIniFile::FromText("");
        LoadType(C.Code, C.Section)->SaveToIni(Ini, "S");
        EXPECT_EQ(Ini.ReadString("S", C.Key, "?"), C.Want);
    }
}

TEST_F(ConvParamsTest, SavingNormalisesTheStaffOptions) {
    TConvParamsVrkNormalize Params;
    Params.NoExits = true;
    Params.EXMerge = true;
    Params.StoreCode = " ";
    TIniFile Ini = TIniFile::FromText("");
    Params.SaveToIni(Ini, "S");
    EXPECT_EQ(Ini.ReadString("S", "EXMerge", "?"), "0");
    EXPECT_EQ(Ini.ReadString("S", "StoreCode", "?"), "001");
}

TEST_F(ConvParamsTest, CopyingBetweenTypesCopiesOnlyTheSharedLevels) {
    TConvParamsCegid Cegid;
    Cegid.OutDir = "/out/cegid";
    Cegid.FileExt = "abc";
    Cegid.CurrDayOnly = true;
    Cegid.UseTimeFilter = true;
    Cegid.QtrStart = 10;
    Cegid.QtrStop = 20;
    auto Odeis = LoadFrom<TConvParamsOdeis>("StoreCode=42");

    Odeis->Assign(Cegid);
    EXPECT_EQ(Odeis->OutDir, "/out/cegid");
    EXPECT_EQ(Odeis->FileExt, "vrk");
    EXPECT_TRUE(Odeis->CurrDayOnly);
    EXPECT_TRUE(Odeis->UseTimeFilter);
    EXPECT_EQ(Odeis->QtrStart, 10);
    EXPECT_EQ(Odeis->QtrStop, 20);
    EXPECT_EQ(Odeis->StoreCode, "042");

    // A derived class's object carries the fields of its base level.
    TConvParamsBrickstream Brick;
    Brick.ZeroExits = true;
    Brick.ShopId = "77";
    TConvParamsBrickstreamChld Child;
    Brick.AssignTo(Child);
    EXPECT_TRUE(Child.ZeroExits);
    EXPECT_EQ(Child.ShopId, "77");
}

TEST_F(ConvParamsTest, FixedExtensionsComeBackOnCopy) {
    auto BizPlu = LoadFrom<TConvParamsBizPlu>("OutDir=/b");
    EXPECT_EQ(BizPlu->FileExt, "*");
    TConvParamsBizPlu Other;
    Other.FileExt = "csv";
    BizPlu->Assign(Other);
    EXPECT_EQ(BizPlu->FileExt, "txt");

    TConvParamsAcurity Acurity; // free extension: keeps the copied one
    Acurity.Assign(Other);
    EXPECT_EQ(Acurity.FileExt, "csv");
    TConvParamsWinparf Winparf;
    Winparf.Assign(Other);
    EXPECT_EQ(Winparf.FileExt, "*");
}

TEST(WeekCoeffs, ReadsBlankSeparatedReals) {
    struct {
        const char* Text;
        TWeekCoeffs Want;
    } Cases[] = {
        {"0.9  1.1 1.0", {0.9, 1.1, 1, 1, 1, 1, 1}},
        {"0,9 x", {1, 1, 1, 1, 1, 1, 1}},
        {"", {1, 1, 1, 1, 1, 1, 1}},
        {" 0.5", {1, 0.5, 1, 1, 1, 1, 1}}, // a leading blank is an empty first piece
        {"1 2 3 4 5 6 7 8 9", {1, 2, 3, 4, 5, 6, 7}},
        {"-1 1e3 1e999 nan 0", {-1, 1000, 1, 1, 0, 1, 1}},
        {"0.5\t0.7", {1, 1, 1, 1, 1, 1, 1}}, // only blanks separate
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(StrToCoeffs(C.Text), C.Want);
    }
}

TEST(WeekCoeffs, WritesTwoSignificantDigitsWithThreeDecimals) {
    struct {
        double Value;
        const char* Want;
    } Cases[] = {
        {1, "1.000"},      {0.875, "0.880"},   {0.125, "0.130"},         {0.145, "0.150"},
        {1.05, "1.100"},   {0.9, "0.900"},     {12.34, "12.000"},        {99.7, "100.000"},
        {0, "0.000"},      {-0.875, "-0.880"}, {0.0125, "0.013"},        {0.0004, "0.000"},
        {0.0006, "0.001"}, {-0.0001, "0.000"}, {1234567, "1200000.000"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Value);
        TWeekCoeffs Coeffs{C.Value, 1, 1, 1, 1, 1, 1};
        EXPECT_EQ(CoeffsToStr(Coeffs),
                  std::string(C.Want) + " 1.000 1.000 1.000 1.000 1.000 1.000");
    }
    TWeekCoeffs Huge{1e300, -1e308, 1.79e308, 1, 1, 1, 1};
    std::string Text = CoeffsToStr(Huge);
    EXPECT_EQ(Text.substr(0, 3), "100");
    EXPECT_EQ(StrToCoeffs(Text)[0], 1e300);
    EXPECT_EQ(StrToCoeffs(Text)[1], -1e308);
}

TEST(ZeroPadLeft, PadsOrKeepsTheLastCharacters) {
    struct {
        const char* Text;
        int Width;
        const char* Want;
    } Cases[] = {
        {"7", 3, "007"}, {"12345", 3, "345"}, {"", 3, "001"}, {"Paris", 4, "aris"},
        {"ab", 2, "ab"}, {"x", 1, "x"},       {"x", 0, ""},   {"x", -2, ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(ZeroPadLeft(C.Text, C.Width), C.Want);
    }
}

class PrepareDirectoriesTest : public ConvParamsTest {
protected:
    bool IsDir(const std::string& Name) const {
        struct stat St {};
        return ::stat(Temp.Path(Name).c_str(), &St) == 0 && S_ISDIR(St.st_mode);
    }
    TTempDir Temp;
};

TEST_F(PrepareDirectoriesTest, CreatesTheOutputAndRawCopyDirectories) {
    TConvParamsCorrection Correction; // no OutDir: only the raw-copy directory
    Correction.PrepareDirectories(Temp.Path("in1") + "/");
    EXPECT_TRUE(IsDir("in1/compteursbrut"));

    TConvParamsVrkNormalize Normalize;
    Normalize.OutDir = Temp.Path("out/a/b");
    Normalize.PrepareDirectories(Temp.Path("in2"));
    EXPECT_TRUE(IsDir("out/a/b"));
    EXPECT_TRUE(IsDir("in2/compteursbrut"));
    struct stat St {};
    ASSERT_EQ(::stat(Temp.Path("out/a/b").c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0777u);

    TConvParamsXlSoft XlSoft;
    XlSoft.RawOutDir = Temp.Path("raw");
    XlSoft.PrepareDirectories(Temp.Path("in3"));
    EXPECT_TRUE(IsDir("raw"));
    EXPECT_FALSE(IsDir("in3"));

    TConvParamsCegid Cegid; // a type without raw copies, and no watched directory at all
    Cegid.OutDir = Temp.Path("cegid");
    TConvParamsCorrection NoWatched;
    NoWatched.PrepareDirectories("");
    Cegid.PrepareDirectories(Temp.Path("in4"));
    EXPECT_TRUE(IsDir("cegid"));
    EXPECT_FALSE(IsDir("in4"));
}

TEST_F(PrepareDirectoriesTest, ReportsADirectoryThatCannotBeCreated) {
    std::string File = Temp.Write("file", "x");
    EXPECT_THAT(
        [&] { CreateDirWithRights(File + "/sub"); },
        ThrowsMessage<EOSError>(StrEq("Create directory " + File + "/sub: Not a directory")));
    TConvParamsCorrection Correction;
    EXPECT_THROW(Correction.PrepareDirectories(File), EOSError);
    EXPECT_NO_THROW(CreateDirWithRights(""));
}

} // namespace
