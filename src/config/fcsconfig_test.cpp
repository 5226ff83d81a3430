#include "config/fcsconfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/errors.h"
#include "testing/temp_dir.h"

namespace {

using testing::StrEq;
using testing::ThrowsMessage;

std::string SavedText(const TZirConfig& Config) {
    TIniFile Ini = TIniFile::FromText("");
    Config.SaveToIni(Ini);
    return Ini.GetText();
}

void LoadText(TZirConfig& Config, const std::string& Text) {
    Config.LoadFromIni(TIniFile::FromText(Text));
}

TEST(ConvTypeNames, AreMatchedExactly) {
    for (const TConvTypeInfo& Info : ConvTypeTable()) {
        SCOPED_TRACE(Info.Name);
        EXPECT_EQ(TZirConfig::ConvTypeToText(Info.Code), Info.Name);
        EXPECT_EQ(TZirConfig::TextToConvType(Info.Name), Info.Code);
    }
    for (const char* Text : {"acurity", "Cegid", " ACE", "ACE ", "", "NONE", "UNKNOWN"}) {
        SCOPED_TRACE(Text);
        EXPECT_EQ(TZirConfig::TextToConvType(Text), 0);
    }
    for (int Code : {-1, 23, 99}) {
        EXPECT_EQ(TZirConfig::ConvTypeToText(Code), "NONE");
        EXPECT_NE(dynamic_cast<TConvParamsNone*>(TZirConfig::CreateConvParams(Code).get()),
                  nullptr);
    }
    EXPECT_NE(dynamic_cast<TConvParamsVrkSimplif*>(TZirConfig::CreateConvParams(13).get()),
              nullptr);
}

TEST(TZirConfig, StartsWithEverySlotNone) {
    TZirConfig Config;
    for (int I = 0; I < TBaseFtConfig::MaxDirectories; ++I) {
        EXPECT_EQ(Config.GetConvType(I), 0);
        EXPECT_NE(dynamic_cast<TConvParamsNone*>(&Config.GetParams(I)), nullptr);
        EXPECT_EQ(Config.GetFileExt(I), "*");
        EXPECT_EQ(Config.GetOutDir(I), "");
    }
    for (int Bad : {-1, 64}) {
        EXPECT_THAT([&] { Config.GetConvType(Bad); },
                    ThrowsMessage<ERangeError>(StrEq("Range check error")));
        EXPECT_THROW(Config.SetConvType(Bad, 1), ERangeError);
        EXPECT_THROW(Config.GetParams(Bad), ERangeError);
        EXPECT_THROW(Config.GetChainTitle(Bad), ERangeError);
    }
}

TEST(TZirConfig, ChangingTheTypeStartsFromTheClassDefaults) {
    TZirConfig Config;
    Config.SetDirectory(3, "/data/in");
    Config.SetConvType(3, ctAcurity);
    Config.GetParams(3).FileExt = "jnl";
    TConvParams* Before = &Config.GetParams(3);
    Config.SetConvType(3, ctAcurity); // the same type keeps the object
    EXPECT_EQ(&Config.GetParams(3), Before);
    EXPECT_EQ(Config.GetFileExt(3), "jnl");

    Config.SetConvType(3, ctAce);
    EXPECT_NE(dynamic_cast<TConvParamsAce*>(&Config.GetParams(3)), nullptr);
    EXPECT_EQ(Config.GetFileExt(3), "vrk");
    Config.SetConvType(3, ctAcurity);
    EXPECT_EQ(Config.GetFileExt(3), "*");

    Config.SetConvType(3, ctVrkSummarize);
    EXPECT_EQ(Config.GetChainTitle(3), "/data/in  (VRKSUMMARIZE)");
    Config.SetConvType(3, 99); // no such type: the class must still match the code
    EXPECT_EQ(Config.GetConvType(3), 0);
    EXPECT_NE(dynamic_cast<TConvParamsNone*>(&Config.GetParams(3)), nullptr);
}

TEST(TZirConfig, SavesEverySectionWithItsKeysInOrder) {
    ::unsetenv("TARNO_DRIVE");
    TZirConfig Config;
    Config.SetDirectory(1, "/in/cegid");
    Config.SetConvType(1, ctCegid);
    std::string Text = SavedText(Config);
    EXPECT_THAT(Text, testing::StartsWith("[General]\r\nLogDetailed=0\r\nTimeBetweenActions=60\r\n"
                                          "ExactTimeMode=0\r\nExactTime=18:00\r\n\r\n"
                                          "[Directory0]\r\nTrackDirectory=\r\nConvType=NONE\r\n"
                                          "OutDir=\r\nFileExt=*\r\n\r\n"
                                          "[Directory1]\r\nTrackDirectory=/in/cegid\r\n"
                                          "ConvType=CEGID\r\nOutDir=/Zalmoret/CEGID\r\n"
                                          "FileExt=vrk\r\nCurrDayOnly=0\r\nUseTimeFilter=0\r\n"
                                          "QtrStart=0\r\nQtrStop=95\r\nShopId=00001\r\n"
                                          "Code=GCEC1\r\nRetailMode=0\r\n\r\n[Directory2]\r\n"));
    EXPECT_THAT(Text, testing::EndsWith("[Directory63]\r\nTrackDirectory=\r\nConvType=NONE\r\n"
                                        "OutDir=\r\nFileExt=*\r\n"));
}

// A hand-edited file as found on a store PC.
const char* const HandEdited = "[general]\n"
                               "ExactTime=8:00   18:30\n"
                               "[Directory0]\n"
                               "TrackDirectory=/in/pos\n"
                               "ConvType=acurity\n"
                               "OutDir=/out/pos\n"
                               "FileExt=jnl\n"
                               "[Directory1]\n"
                               "TrackDirectory = /in/odeis \n"
                               "ConvType=ODEIS\n"
                               "StoreCode=7\n"
                               "QtrStart=x\n"
                               "[Directory2]\n"
                               "ConvType=CORRECTION\n"
                               "Correction=0.9  1.1 1.0\n"
                               "Unknown=kept nowhere\n"
                               "[Directory5]\n"
                               "TrackDirectory=/in/five\n"
                               "OutDir=/out/five\n";

TEST(TZirConfig, LoadsAHandEditedFileWithItsNormalisations) {
    TZirConfig Config;
    LoadText(Config, HandEdited);
    EXPECT_EQ(Config.ExactTime.GetText(), "08:00 18:30");
    EXPECT_EQ(Config.GetConvType(0), 0); // lower case is no type name
    EXPECT_EQ(Config.GetOutDir(0), "/out/pos");
    EXPECT_EQ(Config.GetFileExt(0), "jnl");
    EXPECT_EQ(Config.GetDirectory(1), "/in/odeis");
    ASSERT_EQ(Config.GetConvType(1), ctOdeis);
    const auto& Odeis = dynamic_cast<const TConvParamsOdeis&>(Config.GetParams(1));
    EXPECT_EQ(Odeis.StoreCode, "007");
    EXPECT_EQ(Odeis.QtrStart, 0);
    EXPECT_EQ(Odeis.QtrStop, 95);
    EXPECT_EQ(Odeis.OutDir, ""); // a missing key, not the creation default
    const auto& Correction = dynamic_cast<const TConvParamsCorrection&>(Config.GetParams(2));
    EXPECT_EQ(Correction.Correction, (TWeekCoeffs{0.9, 1.1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Config.GetConvType(5), 0); // no ConvType key
    EXPECT_EQ(Config.GetChainTitle(5), "/in/five  (NONE)");
    EXPECT_TRUE(Config.LoadErrors().empty());
}

TEST(TZirConfig, ASavedFileReadsBackTheSame) {
    TZirConfig Config;
    LoadText(Config, HandEdited);
    std::string Saved = SavedText(Config);
    EXPECT_THAT(Saved,
                testing::HasSubstr("[Directory0]\r\nTrackDirectory=/in/pos\r\n"
                                   "ConvType=NONE\r\nOutDir=/out/pos\r\nFileExt=jnl\r\n\r\n"));
    EXPECT_THAT(Saved, testing::HasSubstr("StoreCode=007\r\n"));
    EXPECT_THAT(Saved, testing::HasSubstr("Correction=0.900 1.100 1.000 1.000 1.000 1.000 1.000"));
    EXPECT_THAT(Saved, testing::Not(testing::HasSubstr("Unknown")));

    TZirConfig Again;
    LoadText(Again, Saved);
    EXPECT_EQ(SavedText(Again), Saved);
}

TEST(TZirConfig, AMalformedTimeStillLoadsTheSlots) {
    TZirConfig Config;
    LoadText(Config, "[General]\nExactTime=18h00\n[Directory4]\nTrackDirectory=/in\n"
                     "ConvType=XLSOFT\nSliceSize=15\n");
    EXPECT_EQ(Config.LoadErrors().size(), 1u);
    EXPECT_EQ(Config.ExactTime.GetText(), "18:00");
    ASSERT_EQ(Config.GetConvType(4), ctXlSoft);
    EXPECT_EQ(dynamic_cast<const TConvParamsXlSoft&>(Config.GetParams(4)).SliceSize, 30);
}

TEST(TZirConfig, CopiesEverySlotIntoObjectsOfItsOwn) {
    TZirConfig Source;
    LoadText(Source, HandEdited);
    Source.LogDetailed = true;
    TZirConfig Dest;
    Dest.SetConvType(1, ctCegid);
    Dest.Assign(Source);
    EXPECT_TRUE(Dest.LogDetailed);
    EXPECT_EQ(Dest.GetDirectory(0), "/in/pos");
    EXPECT_EQ(Dest.GetFileExt(0), "jnl");
    ASSERT_EQ(Dest.GetConvType(1), ctOdeis);
    EXPECT_EQ(dynamic_cast<const TConvParamsOdeis&>(Dest.GetParams(1)).StoreCode, "007");
    EXPECT_EQ(Source.GetFileExt(1), "*"); // as loaded; a copy takes the fixed extension
    EXPECT_EQ(Dest.GetFileExt(1), "vrk");
    EXPECT_EQ(Dest.GetChainTitle(5), "/in/five  (NONE)");

    TZirConfig Other;
    Source.AssignTo(Other);
    EXPECT_EQ(SavedText(Other), SavedText(Dest));
    Other.Assign(Other);
    EXPECT_EQ(SavedText(Other), SavedText(Dest));

    EXPECT_NE(&Dest.GetParams(1), &Source.GetParams(1));
    Source.GetParams(1).OutDir = "/changed";
    EXPECT_EQ(Dest.GetOutDir(1), "");
}

TEST(TZirConfig, RefusesToCopyAPlainConfiguration) {
    TBaseFtConfig Plain;
    Plain.SetDirectory(0, "/plain");
    TZirConfig Config;
    Config.SetConvType(0, ctCegid);
    const char* Message = "Attemp to assign wront object to TBaseFtConfig.";
    EXPECT_THAT([&] { Config.Assign(Plain); }, ThrowsMessage<EConvertError>(StrEq(Message)));
    EXPECT_THAT([&] { Config.AssignTo(Plain); }, ThrowsMessage<EConvertError>(StrEq(Message)));
    EXPECT_THAT([&] { Plain.AssignTo(Config); }, ThrowsMessage<EConvertError>(StrEq(Message)));
    EXPECT_EQ(Config.GetDirectory(0), "");
    EXPECT_EQ(Config.GetConvType(0), ctCegid);
    EXPECT_EQ(Plain.GetDirectory(0), "/plain");
}

TEST(TZirConfig, FileRoundTrip) {
    TTempDir Temp;
    std::string Path = Temp.Write("tarno.ini", HandEdited);
    TZirConfig Config;
    ASSERT_TRUE(Config.LoadFromFile(Path));
    Config.SetConvType(7, ctVrkNormalize);
    ASSERT_TRUE(Config.SaveToFile(Temp.Path("copy.ini")));
    TZirConfig Again;
    ASSERT_TRUE(Again.LoadFromFile(Temp.Path("copy.ini")));
    EXPECT_EQ(Again.GetConvType(7), ctVrkNormalize);
    EXPECT_EQ(SavedText(Again), SavedText(Config));
}

} // namespace
