#include "pipe/ft_protocol.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets of the fields of TRorozoraSrvStats.
constexpr size_t OffVersionMajor = 2;
constexpr size_t OffVersionMinor = 4;
constexpr size_t OffVersionRelease = 6;
constexpr size_t OffBusy = 8;
constexpr size_t OffLastEventAt = 9;
constexpr size_t OffLastErrorAt = 29;
constexpr size_t OffLastEventText = 49;
constexpr size_t OffLastErrorText = 177;
constexpr size_t OffLastFileOk = 305;
constexpr size_t OffLastFileOkAt = 370;
constexpr size_t OffLastFileBad = 386;
constexpr size_t OffLastFileBadAt = 451;
constexpr size_t OffLastGroupOk = 467;
constexpr size_t OffLastGroupBad = 471;
constexpr size_t OffLastGroupElapsedMs = 475;
constexpr size_t OffLastGroupAt = 479;
constexpr size_t OffNextCheckAt = 495;
static_assert(OffNextCheckAt + 16 == SrvStatsSize);

// A received text field: its bytes up to the first zero, always terminated in the copy.
void GetText(char* Field, size_t Size, const char* In) {
    CopyStatusText(Field, Size, std::string_view(In, strnlen(In, Size)));
}

} // namespace

void CopyStatusText(char* Field, size_t Size, std::string_view Text) {
    const size_t Length = std::min(Text.size(), Size - 1);
    std::memcpy(Field, Text.data(), Length);
    std::memset(Field + Length, 0, Size - Length);
}

void EncodeSrvStats(const TRorozoraSrvStats& Stats, char* Out) {
    std::memset(Out, 0, SrvStatsSize);
    PutLE16(Out, Stats.RecordSize);
    PutLE16(Out + OffVersionMajor, Stats.VersionMajor);
    PutLE16(Out + OffVersionMinor, Stats.VersionMinor);
    PutLE16(Out + OffVersionRelease, Stats.VersionRelease);
    Out[OffBusy] = Stats.Busy ? 1 : 0;
    PutSystemTime(Out + OffLastEventAt, Stats.LastEventAt);
    PutSystemTime(Out + OffLastErrorAt, Stats.LastErrorAt);
    // The texts are terminated in the record; the copy keeps the last byte of each field zero.
    std::memcpy(Out + OffLastEventText, Stats.LastEventText, StatusTextSize - 1);
    std::memcpy(Out + OffLastErrorText, Stats.LastErrorText, StatusTextSize - 1);
    std::memcpy(Out + OffLastFileOk, Stats.LastFileOk, StatusPathSize - 1);
    PutSystemTime(Out + OffLastFileOkAt, Stats.LastFileOkAt);
    std::memcpy(Out + OffLastFileBad, Stats.LastFileBad, StatusPathSize - 1);
    PutSystemTime(Out + OffLastFileBadAt, Stats.LastFileBadAt);
    PutLE32(Out + OffLastGroupOk, static_cast<uint32_t>(Stats.LastGroupOk));
    PutLE32(Out + OffLastGroupBad, static_cast<uint32_t>(Stats.LastGroupBad));
    PutLE32(Out + OffLastGroupElapsedMs, static_cast<uint32_t>(Stats.LastGroupElapsedMs));
    PutSystemTime(Out + OffLastGroupAt, Stats.LastGroupAt);
    PutSystemTime(Out + OffNextCheckAt, Stats.NextCheckAt);
}

TRorozoraSrvStats DecodeSrvStats(const char* In) {
    TRorozoraSrvStats Stats;
    Stats.RecordSize = GetLE16(In);
    Stats.VersionMajor = GetLE16(In + OffVersionMajor);
    Stats.VersionMinor = GetLE16(In + OffVersionMinor);
    Stats.VersionRelease = GetLE16(In + OffVersionRelease);
    Stats.Busy = In[OffBusy] != 0;
    Stats.LastEventAt = GetSystemTime(In + OffLastEventAt);
    Stats.LastErrorAt = GetSystemTime(In + OffLastErrorAt);
    GetText(Stats.LastEventText, StatusTextSize, In + OffLastEventText);
    GetText(Stats.LastErrorText, StatusTextSize, In + OffLastErrorText);
    GetText(Stats.LastFileOk, StatusPathSize, In + OffLastFileOk);
    Stats.LastFileOkAt = GetSystemTime(In + OffLastFileOkAt);
    GetText(Stats.LastFileBad, StatusPathSize, In + OffLastFileBad);
    Stats.LastFileBadAt = GetSystemTime(In + OffLastFileBadAt);
    Stats.LastGroupOk = static_cast<int32_t>(GetLE32(In + OffLastGroupOk));
    Stats.LastGroupBad = static_cast<int32_t>(GetLE32(In + OffLastGroupBad));
    Stats.LastGroupElapsedMs = static_cast<int32_t>(GetLE32(In + OffLastGroupElapsedMs));
    Stats.LastGroupAt = GetSystemTime(In + OffLastGroupAt);
    Stats.NextCheckAt = GetSystemTime(In + OffNextCheckAt);
    return Stats;
}
