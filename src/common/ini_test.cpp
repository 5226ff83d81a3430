#include "common/ini.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "common/errors.h"
#include "testing/temp_dir.h"

namespace {

using ::testing::ElementsAre;

TEST(TIniFile, WritesKeepEveryOtherLineAndPlaceNewKeysInTheirSection) {
    TIniFile Ini = TIniFile::FromText("; made by hand\n"
                                      "[General]\n"
                                      "Unknown = kept as written \n"
                                      "; Interval=5 is a comment\n"
                                      "Interval=5\n"
                                      "\n"
                                      "[Directory0]\r\n"
                                      "TrackDirectory=/data/in\r\n"
                                      "garbage line");
    Ini.WriteInteger("general", "INTERVAL", 10);
    Ini.WriteString("General", "Added", "x");
    Ini.WriteString("Directory0", "ConvType", "NONE");
    Ini.WriteString("New", "Key", "v");
    EXPECT_TRUE(Ini.Modified());
    EXPECT_EQ(Ini.GetText(), "; made by hand\r\n"
                             "[General]\r\n"
                             "Unknown = kept as written \r\n"
                             "; Interval=5 is a comment\r\n"
                             "INTERVAL=10\r\n"
                             "Added=x\r\n"
                             "\r\n"
                             "[Directory0]\r\n"
                             "TrackDirectory=/data/in\r\n"
                             "garbage line\r\n"
                             "ConvType=NONE\r\n"
                             "\r\n"
                             "[New]\r\n"
                             "Key=v\r\n");
}

TEST(TIniFile, ReadsWithoutCaseAndTakesTheFirstOccurrence) {
    const TIniFile Ini = TIniFile::FromText("[Main]\rA = one \rA=two\r;B=comment\r"
                                            "Q1=\"quoted \" \rQ2='x'\rQ3=\"x'\rQ4=\"\r"
                                            "[main]\nA=three\nC=3\n"
                                            "[Other]\nA=four\n");
    EXPECT_EQ(Ini.ReadString("MAIN", "a", "-"), "one");
    EXPECT_EQ(Ini.ReadString("Other", "A", "-"), "four");
    EXPECT_EQ(Ini.ReadString("Main", "B", "-"), "-");
    EXPECT_EQ(Ini.ReadString("Main", "C", "-"), "-"); // only the first [Main] counts
    EXPECT_EQ(Ini.ReadString("Main", "Q1", "-"), "quoted ");
    EXPECT_EQ(Ini.ReadString("Main", "Q2", "-"), "x");
    EXPECT_EQ(Ini.ReadString("Main", "Q3", "-"), "\"x'");
    EXPECT_EQ(Ini.ReadString("Main", "Q4", "-"), "\"");
    EXPECT_EQ(Ini.ReadString("None", "A", "-"), "-");
    EXPECT_TRUE(Ini.ValueExists("main", "q1"));
    EXPECT_FALSE(Ini.ValueExists("Main", "B"));
    EXPECT_TRUE(Ini.SectionExists("OTHER"));
    EXPECT_THAT(Ini.ReadSections(), ElementsAre("Main", "Other"));
    EXPECT_THAT(Ini.ReadSection("main"), ElementsAre("A", "Q1", "Q2", "Q3", "Q4"));
}

// A value reads back as written, even one that reading would trim or unquote: such a value is
// written between quotes, any other as it is.
TEST(TIniFile, EveryValueReadsBackAsWritten) {
    const struct {
        std::string Value;
        std::string Written; // the text after "="
    } Cases[] = {
        {"in", "in"},
        {"two words", "two words"},
        {"", ""},
        {"\"", "\""},
        {"a\"b'", "a\"b'"},
        {" lead", "\" lead\""},
        {"trail ", "\"trail \""},
        {"in \x03", "\"in \x03\""},
        {"\tx", "\"\tx\""},
        {"\"quoted\"", "\"\"quoted\"\""},
        {"'single'", "\"'single'\""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Value);
        TIniFile Ini = TIniFile::FromText("");
        Ini.WriteString("S", "K", C.Value);
        EXPECT_EQ(Ini.GetText(), "[S]\r\nK=" + C.Written + "\r\n");
        EXPECT_EQ(TIniFile::FromText(Ini.GetText()).ReadString("S", "K", "-"), C.Value);
    }
}

TEST(TIniFile, ReadsIntegersAndBooleans) {
    struct {
        const char* Value;
        int Want;
    } Cases[] = {
        {"42", 42},
        {" -17 ", -17},
        {"2147483647", 2147483647},
        {"2147483648", -1},
        {"-2147483649", -1},
        {"99999999999999999999", -1},
        {"12abc", -1},
        {"", -1},
        {"   ", -1},
        {"0x1F", 31},
        {"0X7fffffff", 2147483647},
        {"0x80000000", -1},
        {"$ff", 255},
        {"0x", -1},
        {"$1G", -1},
        {"1.5", -1},
        {"\"7\"", 7},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Value);
        const TIniFile Ini = TIniFile::FromText(std::string("[S]\nK=") + C.Value + "\n");
        EXPECT_EQ(Ini.ReadInteger("S", "K", -1), C.Want);
    }
    const TIniFile Ini = TIniFile::FromText("[S]\nOn=2\nOff=0\nBad=yes\nF=2.5\n");
    EXPECT_TRUE(Ini.ReadBool("S", "On", false));
    EXPECT_FALSE(Ini.ReadBool("S", "Off", true));
    EXPECT_TRUE(Ini.ReadBool("S", "Bad", true));
    EXPECT_FALSE(Ini.ReadBool("S", "Missing", false));
    EXPECT_EQ(Ini.ReadFloat("S", "F", 0), 2.5);
    EXPECT_EQ(Ini.ReadFloat("S", "Bad", 1.25), 1.25);
}

TEST(TIniFile, DeletesKeysAndSections) {
    TIniFile Ini = TIniFile::FromText("[A]\nK=1\nk=2\nL=3\n[B]\nK=1\n[a]\nM=4\n");
    Ini.DeleteKey("a", "K");
    EXPECT_FALSE(Ini.ValueExists("A", "K"));
    EXPECT_EQ(Ini.ReadInteger("A", "L", 0), 3);
    Ini.EraseSection("A");
    EXPECT_EQ(Ini.GetText(), "[B]\r\nK=1\r\n");
}

TEST(TIniFile, MissingFileReadsEmptyAndIsWrittenOnlyWhenChanged) {
    const TTempDir Temp;
    const std::string Path = Temp.Path("conf.ini");
    TIniFile Ini(Path);
    EXPECT_EQ(Ini.ReadString("General", "Key", "dflt"), "dflt");
    EXPECT_TRUE(Ini.ReadSections().empty());
    Ini.UpdateFile();
    EXPECT_FALSE(std::filesystem::exists(Path));

    Ini.WriteString("General", "Key", "value");
    Ini.UpdateFile();
    EXPECT_FALSE(Ini.Modified());
    EXPECT_EQ(Temp.Read("conf.ini"), "[General]\r\nKey=value\r\n");

    TIniFile Again(Path);
    EXPECT_EQ(Again.ReadString("general", "key", ""), "value");
    Again.WriteString("General", "Key", "value"); // the same text: nothing to save
    EXPECT_FALSE(Again.Modified());
}

TEST(TIniFile, UpdateFileRaisesWhenTheFileCannotBeWritten) {
    const TTempDir Temp;
    const std::string Plain = Temp.Write("plain", "x");
    TIniFile Ini(Plain + "/conf.ini");
    Ini.WriteString("S", "K", "v");
    EXPECT_THROW(Ini.UpdateFile(), EOSError);
    EXPECT_TRUE(Ini.Modified());
}

} // namespace
