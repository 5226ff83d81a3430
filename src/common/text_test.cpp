#include "common/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/utils.h"

TEST(GetField, ReadsFieldsAsWritten) {
    struct {
        const char* Text;
        char Sep;
        int Index;
        const char* Want;
    } Cases[] = {
        {"a;b;c", ';', 0, "a"}, {"a;b;c", ';', 1, "b"}, {"a;;c", ';', 1, ""},
        {"a;b;c", ';', 2, "c"}, {"a;b;c", ';', 3, ""},  {"", ';', 0, ""},
        {";", ';', 0, ""},      {";", ';', 1, ""},      {"abc", ';', 0, "abc"},
        {"a;b", ';', -1, ""},   {"x y  z", ' ', 2, ""}, {"x y  z", ' ', 3, "z"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::string(C.Text) + " #" + std::to_string(C.Index));
        EXPECT_EQ(GetField(C.Text, C.Sep, C.Index), C.Want);
    }
}

TEST(GetField, CutsAFieldTo255Characters) {
    const std::string Long(300, 'x');
    EXPECT_EQ(GetField(Long + ";y", ';', 0), std::string(255, 'x'));
    EXPECT_EQ(GetField(Long + ";y", ';', 1), "y");
    EXPECT_EQ(GetField("p;" + Long, ';', 1, NoFieldLimit), Long);
}

TEST(CopyText, NeverReadsOutsideTheText) {
    struct {
        long long From, Count;
        const char* Want;
    } Cases[] = {
        {1, 3, "abc"}, {2, 2, "bc"},
        {4, 5, "def"}, {6, 10, "f"},
        {7, 1, ""},    {0, 2, "a"},
        {-5, 7, "a"},  {3, 0, ""},
        {3, -1, ""},   {2, 9223372036854775807LL, "bcdef"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.From) + "," + std::to_string(C.Count));
        EXPECT_EQ(CopyText("abcdef", C.From, C.Count), C.Want);
    }
}

TEST(TryStrToInt, AcceptsDecimalIntegersOfTheTypeOnly) {
    EXPECT_EQ(TryStrToInt("42"), 42);
    EXPECT_EQ(TryStrToInt("  -7"), -7);
    EXPECT_EQ(TryStrToInt("+2147483647"), 2147483647);
    EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(TryStrToInt64("9223372036854775807"), INT64_MAX);
    // Nine digits and fewer take the short way, ten and more the one that checks the range.
    EXPECT_EQ(TryStrToInt("999999999"), 999999999);
    EXPECT_EQ(TryStrToInt("-999999999"), -999999999);
    EXPECT_EQ(TryStrToInt("-000000009"), -9);
    EXPECT_EQ(TryStrToInt("1000000000"), 1000000000);
    EXPECT_EQ(TryStrToInt("-0"), 0);
    EXPECT_EQ(TryStrToInt("00000000002147483647"), INT32_MAX);
    EXPECT_EQ(TryStrToInt("-00000000002147483648"), INT32_MIN);
    EXPECT_EQ(TryStrToInt64("-999999999999999999"), -999999999999999999);
    EXPECT_EQ(TryStrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(TryStrToInt64("9223372036854775808").has_value());
    for (const char* Bad :
         {"", " ", "-", "2147483648", "-2147483649", "12ab", "1 ", "0x10", "99999999999999999999",
          "1.5", "00000000002147483648", "12345678x", "4294967296"}) {
        SCOPED_TRACE(Bad);
        EXPECT_FALSE(TryStrToInt(Bad).has_value());
    }
}

TEST(TryStrToFloat, ReadsADotDecimalAndRefusesTheRest) {
    EXPECT_EQ(TryStrToFloat("0.9"), 0.9);
    EXPECT_EQ(TryStrToFloat("+1.5e2"), 150.0);
    EXPECT_EQ(TryStrToFloat("-3"), -3.0);
    for (const char* Bad : {"", "0,9", "x", "inf", "nan", "1e999", "1.0x", "++1"}) {
        SCOPED_TRACE(Bad);
        EXPECT_FALSE(TryStrToFloat(Bad).has_value());
    }
}

TEST(Text, TrimsCasesAndCollapses) {
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(UpperCase("abc-é"), "ABC-é");
    EXPECT_TRUE(SameText("Directory7", "dIRECTORY7"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_EQ(CollapseBlanks("8:00   18:30  x"), "8:00 18:30 x");
    EXPECT_EQ(FloatToStrFixed(0.88, 3), "0.880");
    EXPECT_EQ(Format("%s-%03d", "a", 7), "a-007");
}

// Names are compared eight bytes at a time, the last word overlapping and short names packed:
// a change at any place of a name of any length must count, and only the case of a letter may
// differ (a byte 0x20 apart that is no letter, as '@' and '`', may not).
TEST(Text, SameTextIgnoresTheCaseOfLettersOnlyAtEveryPlace) {
    const std::string Bytes = "aZ@`[{\xC1\xE1m9";
    for (size_t N = 0; N <= 20; ++N) {
        std::string A;
        for (size_t I = 0; I < N; ++I) {
            A += Bytes[I % Bytes.size()];
        }
        EXPECT_TRUE(SameText(A, A));
        for (size_t P = 0; P < N; ++P) {
            SCOPED_TRACE(testing::Message() << "length " << N << ", place " << P);
            const bool Letter = std::isalpha(static_cast<unsigned char>(A[P])) != 0 &&
                                static_cast<unsigned char>(A[P]) < 0x80;
            std::string B = A;
            B[P] = static_cast<char>(B[P] ^ 0x20);
            EXPECT_EQ(SameText(A, B), Letter);
            B[P] = '#';
            EXPECT_FALSE(SameText(A, B));
        }
    }
}

TEST(SplitFields, GivesTheFieldsOfGetFieldAsViews) {
    const std::string Long = " " + std::string(300, 'x') + " |b";
    const char* Lines[] = {"a|b|c", "a||c", "", "|", " a | b ", "a|b|c|d|e|f", Long.c_str()};
    for (const char* Line : Lines) {
        SCOPED_TRACE(Line);
        std::string_view Plain[4];
        std::string_view Trimmed[4];
        EXPECT_EQ(SplitFields(Line, '|', Plain, 4), CountChar(Line, '|') + 1);
        EXPECT_EQ(SplitTrimmedFields(Line, '|', Trimmed, 4), CountChar(Line, '|') + 1);
        for (int I = 0; I < 4; ++I) {
            EXPECT_EQ(Plain[I], GetField(Line, '|', I)) << "field " << I;
            EXPECT_EQ(Trimmed[I], Trim(GetField(Line, '|', I))) << "field " << I;
        }
    }
}

// The splitter reads sixteen bytes at a time: separators at every position of a block and of the
// tail, next to bytes that differ from the separator by one bit or carry, and lines that fill
// every slot before their end.
TEST(SplitFieldViews, FindsEverySeparatorWhereverItFalls) {
    const char Others[] = {'\xFC', '\x7B', '\x7D', '\x01', '\x00', '\xFF', 'a'};
    for (std::size_t Len = 0; Len <= 40; ++Len) {
        for (std::size_t Step = 1; Step <= 9; ++Step) {
            std::string Line;
            for (std::size_t I = 0; I < Len; ++I) {
                Line += I % Step == Step - 1 ? '|' : Others[(I * 3 + Step) % sizeof Others];
            }
            SCOPED_TRACE(testing::Message() << "length " << Len << " step " << Step);
            std::string_view Fields[12];
            const std::size_t Count = SplitFieldViews(Line, '|', Fields);
            EXPECT_EQ(Count, std::min<std::size_t>(
                                 12, static_cast<std::size_t>(CountChar(Line, '|')) + 1));
            for (std::size_t I = 0; I < Count; ++I) {
                EXPECT_EQ(Fields[I], FieldView(Line, '|', static_cast<int>(I))) << "field " << I;
            }
        }
    }
}

// Lines end at CR LF, LF or a lone CR; a line's first fields come cut to the longest allowed,
// the fields it lacks empty, whatever the line before held.
TEST(ForEachLineFields, SplitsLinesAndFieldsInOnePass) {
    const std::string Long(70, 'y');
    struct {
        std::string Text;
        std::vector<std::vector<std::string>> Want; // the fields of each line
    } Cases[] = {
        {"", {}},
        {"a|b\r\nc\nd|e|f\rg", {{"a", "b"}, {"c"}, {"d", "e", "f"}, {"g"}}},
        {"\r\n\n\r\r\n|", {{""}, {""}, {""}, {""}, {"", ""}}},
        {"a|b|c|d|e\r\nx\r\n", {{"a", "b", "c"}, {"x"}}},
        {"ab" + Long + "|" + Long + "|z\n", {{"ab" + Long.substr(0, 62), Long.substr(0, 64), "z"}}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        std::vector<std::vector<std::string>> Got;
        ForEachLineFields<3>(
            C.Text, '|', 64, [&](std::string_view, auto Fields, std::size_t Count) {
                Got.emplace_back(Fields.begin(),
                                 Fields.begin() + static_cast<std::ptrdiff_t>(Count));
                for (std::size_t I = Count; I < Fields.size(); ++I) {
                    EXPECT_TRUE(Fields[I].empty()) << I;
                }
            });
        EXPECT_EQ(Got, C.Want);
    }
}

// Separators and line ends at every position of the 64-byte blocks the bytes are examined in,
// and of the last, shorter one: the lines and fields are those of a byte-by-byte reading.
TEST(ForEachLineFields, FindsEverySeparatorAndLineEnd) {
    std::string Text;
    uint32_t Seed = 7;
    for (int I = 0; I < 1000; ++I) {
        Seed = Seed * 1103515245u + 12345u;
        const char Bytes[] = {'|', '|', '\r', '\n', 'a', 'b', '\xFC', '\0'};
        Text += Bytes[(Seed >> 16) % sizeof Bytes];
    }
    for (const std::size_t Size : {Text.size(), Text.size() - 17}) {
        const std::string_view Part = std::string_view(Text).substr(0, Size);
        std::vector<std::string> Want, Got;
        std::string Line;
        for (std::size_t I = 0; I < Part.size(); ++I) {
            if (Part[I] == '\r' || Part[I] == '\n') {
                if (Part[I] == '\n' && I > 0 && Part[I - 1] == '\r') {
                    continue;
                }
                Want.push_back(Line);
                Line.clear();
            } else {
                Line += Part[I];
            }
        }
        if (!Line.empty()) {
            Want.push_back(Line);
        }
        ForEachLineFields<40>(
            Part, '|', NoFieldLimit, [&](std::string_view L, auto Fields, std::size_t Count) {
                EXPECT_EQ(Count, std::min<std::size_t>(
                                     40, static_cast<std::size_t>(CountChar(L, '|')) + 1));
                for (std::size_t I = 0; I < Count; ++I) {
                    EXPECT_EQ(Fields[I], FieldView(L, '|', static_cast<int>(I)));
                }
                Got.emplace_back(L);
            });
        EXPECT_EQ(Got, Want) << Size;
    }
}

TEST(SameBytes, ComparesEveryByteOfEveryLength) {
    for (std::size_t Len = 0; Len <= 40; ++Len) {
        const std::string A(Len, 'k');
        EXPECT_TRUE(SameBytes(A, std::string(Len, 'k'))) << Len;
        EXPECT_FALSE(SameBytes(A, std::string(Len + 1, 'k'))) << Len;
        for (std::size_t At = 0; At < Len; ++At) {
            std::string B = A;
            B[At] = 'K';
            EXPECT_FALSE(SameBytes(A, B)) << Len << " " << At;
        }
    }
}
