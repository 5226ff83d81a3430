#include "pipe/ft_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TSystemTime Time(uint16_t Year, uint16_t Second) {
    TSystemTime T;
    T.wYear = Year;
    T.wMonth = 3;
    T.wDayOfWeek = 2;
    T.wDay = 25;
    T.wHour = 17;
    T.wMinute = 4;
    T.wSecond = Second;
    T.wMilliseconds = 999;
    return T;
}

uint16_t At16(const std::string& B, size_t Offset) {
    return GetLE16(B.data() + Offset);
}
uint32_t At32(const std::string& B, size_t Offset) {
    return GetLE32(B.data() + Offset);
}

} // namespace

TEST(MessageHeader, FieldsAtTheirOffsetsLittleEndian) {
    const std::string M = BuildMessage("REQSETCONFIG", "abc", 1);
    ASSERT_EQ(M.size(), 31u);
    EXPECT_EQ(std::string(M.data(), 13), std::string("REQSETCONFIG\0", 13));
    EXPECT_EQ(std::string(M.data() + 12, 4), std::string(4, '\0'));
    EXPECT_EQ(std::string(M.data() + 16, 12), std::string("\1\0\0\0\0\0\0\0\3\0\0\0", 12));
    EXPECT_EQ(M.substr(28), "abc");

    const TPipeMessageHeader H = DecodeMessageHeader(M.data());
    EXPECT_STREQ(H.Name, "REQSETCONFIG");
    EXPECT_EQ(H.Error, 1);
    EXPECT_EQ(H.DataLength, 3);

    std::string Negative(28, '\0');
    PutLE32(Negative.data() + HeaderDataLengthOffset, 0xFFFFFFFFu);
    EXPECT_EQ(DecodeMessageHeader(Negative.data()).DataLength, -1);
}

TEST(MessageHeader, NamesComparedExactlyWithinSixteenBytes) {
    struct {
        std::string Field; // the 16 bytes of the name field
        const char* Name;
        bool Want;
    } Cases[] = {
        {std::string("REQGETSTATS\0\0\0\0\0", 16), "REQGETSTATS", true},
        {std::string("reqgetstats\0\0\0\0\0", 16), "REQGETSTATS", false},
        {std::string("REQGETSTATSX\0\0\0\0", 16), "REQGETSTATS", false},
        {std::string("REQGETSTATS\0XXXX", 16), "REQGETSTATS", true},
        // No zero byte: the name ends with the field, nothing beyond it is read.
        {std::string("REQGETSTATSREQGE", 16), "REQGETSTATS", false},
        {std::string("ABCDEFGHIJKLMNOP", 16), "ABCDEFGHIJKLMNOP", true},
        {std::string(16, '\0'), "", true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Field);
        std::string Message = C.Field + "TAIL-NEVER-READ";
        EXPECT_EQ(MessageNameIs(Message.data(), C.Name), C.Want);
    }
}

TEST(PipeStats, FieldsAtTheirOffsets) {
    TPipeStats S;
    S.StartTime = Time(2008, 7);
    S.Connections = 0x01020304;
    S.ConnectErrors = 5;
    S.Requests = 6;
    S.RequestBytes = 0x1122334455667788ull;
    S.Answers = 8;
    S.AnswerBytes = 0x0000000100000002ull;
    S.WriteErrors = 10;
    std::string B(PipeStatsSize, 'x');
    EncodePipeStats(S, B.data());
    EXPECT_EQ(At16(B, 0), 2008);
    EXPECT_EQ(At16(B, 12), 7);
    EXPECT_EQ(At16(B, 14), 999);
    EXPECT_EQ(std::string(B.data() + 16, 4), "\4\3\2\1");
    EXPECT_EQ(At32(B, 20), 5u);
    EXPECT_EQ(At32(B, 24), 6u);
    EXPECT_EQ(GetLE64(B.data() + 28), 0x1122334455667788ull);
    EXPECT_EQ(At32(B, 36), 0u);
    EXPECT_EQ(At32(B, 40), 8u);
    EXPECT_EQ(GetLE64(B.data() + 44), 0x0000000100000002ull);
    EXPECT_EQ(At32(B, 52), 10u);

    const TPipeStats D = DecodePipeStats(B.data());
    EXPECT_EQ(D.StartTime.wSecond, 7);
    EXPECT_EQ(D.Connections, S.Connections);
    EXPECT_EQ(D.RequestBytes, S.RequestBytes);
    EXPECT_EQ(D.AnswerBytes, S.AnswerBytes);
    EXPECT_EQ(D.WriteErrors, 10u);
}

TEST(SrvStats, FieldsAtTheirOffsetsAndTextsCut) {
    TRorozoraSrvStats S;
    S.VersionMajor = 1;
    S.VersionMinor = 2;
    S.VersionRelease = 3;
    S.Busy = true;
    S.LastEventAt = Time(2001, 1);
    S.LastErrorAt = Time(2002, 2);
    CopyStatusText(S.LastEventText, std::string(200, 'e'));
    CopyStatusText(S.LastErrorText, "disk full");
    CopyStatusText(S.LastFileOk, std::string(64, 'o'));
    S.LastFileOkAt = Time(2003, 3);
    CopyStatusText(S.LastFileBad, std::string(65, 'b'));
    S.LastFileBadAt = Time(2004, 4);
    S.LastGroupOk = 7;
    S.LastGroupBad = -1;
    S.LastGroupElapsedMs = 1234;
    S.LastGroupAt = Time(2005, 5);
    S.NextCheckAt = Time(2006, 6);

    std::string B(SrvStatsSize, 'x');
    EncodeSrvStats(S, B.data());
    EXPECT_EQ(At16(B, 0), 511);
    EXPECT_EQ(At16(B, 2), 1);
    EXPECT_EQ(At16(B, 4), 2);
    EXPECT_EQ(At16(B, 6), 3);
    EXPECT_EQ(B[8], 1);
    EXPECT_EQ(At16(B, 9), 2001);
    EXPECT_EQ(At32(B, 25), 0u);
    EXPECT_EQ(At16(B, 29), 2002);
    EXPECT_EQ(At32(B, 45), 0u);
    EXPECT_EQ(B.substr(49, 128), std::string(127, 'e') + '\0');
    EXPECT_EQ(B.substr(177, 10), std::string("disk full\0", 10));
    EXPECT_EQ(B.substr(177 + 9), std::string(128 - 9, '\0') + B.substr(305));
    EXPECT_EQ(B.substr(305, 65), std::string(64, 'o') + '\0');
    EXPECT_EQ(At16(B, 370), 2003);
    EXPECT_EQ(B.substr(386, 65), std::string(64, 'b') + '\0');
    EXPECT_EQ(At16(B, 451), 2004);
    EXPECT_EQ(At32(B, 467), 7u);
    EXPECT_EQ(At32(B, 471), 0xFFFFFFFFu);
    EXPECT_EQ(At32(B, 475), 1234u);
    EXPECT_EQ(At16(B, 479), 2005);
    EXPECT_EQ(At16(B, 495), 2006);
    EXPECT_EQ(At16(B, 509), 999);

    const TRorozoraSrvStats D = DecodeSrvStats(B.data());
    EXPECT_EQ(D.RecordSize, 511);
    EXPECT_TRUE(D.Busy);
    EXPECT_EQ(std::string(D.LastEventText), std::string(127, 'e'));
    EXPECT_STREQ(D.LastErrorText, "disk full");
    EXPECT_EQ(std::string(D.LastFileBad), std::string(64, 'b'));
    EXPECT_EQ(D.LastGroupBad, -1);
    EXPECT_EQ(D.NextCheckAt.wSecond, 6);
}

TEST(SrvStats, UnterminatedTextsFromThePeerStayInTheirField) {
    std::string B(SrvStatsSize, 'z');
    const TRorozoraSrvStats D = DecodeSrvStats(B.data());
    EXPECT_EQ(std::string(D.LastEventText), std::string(127, 'z'));
    EXPECT_EQ(std::string(D.LastFileOk), std::string(64, 'z'));
}
