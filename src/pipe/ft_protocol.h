// The messages of the info and control sockets and the service's status record
// (TRorozoraSrvStats), 511 bytes packed at fixed offsets, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/datetime.h"
#include "pipe/srvpipe_protocol.h"

constexpr const char* InfoPipeName = "ZirInfo";
constexpr const char* ControlPipeName = "ZirControl";
constexpr int InfoPipeInstances = 4;
constexpr int ControlPipeInstances = 1;

constexpr const char* ReqGetStats = "REQGETSTATS";
constexpr const char* AnsGetStats = "ANSGETSTATS";
constexpr const char* ReqGetConfig = "REQGETCONFIG";
constexpr const char* AnsGetConfig = "ANSGETCONFIG";
constexpr const char* ReqSetConfig = "REQSETCONFIG";
constexpr const char* AnsSetConfig = "ANSSETCONFIG";
constexpr const char* AnsReqUnknown = "ANSREQUNKNOWN";

constexpr size_t SrvStatsSize = 511;
// The statistics answer: header, TPipeStats, TRorozoraSrvStats.
constexpr size_t StatsDataLength = PipeStatsSize + SrvStatsSize;        // 567
constexpr size_t StatsAnswerSize = MessageHeaderSize + StatsDataLength; // 595
constexpr size_t PipeStatsOffset = MessageHeaderSize;                   // 28
constexpr size_t SrvStatsOffset = MessageHeaderSize + PipeStatsSize;    // 84

// Sizes of the text fields, terminating zero byte included.
constexpr size_t StatusTextSize = 128;
constexpr size_t StatusPathSize = 65;

// The service's status as the console shows it. Texts are zero-terminated bytes.
struct TRorozoraSrvStats {
    uint16_t RecordSize = SrvStatsSize;
    uint16_t VersionMajor = 0;
    uint16_t VersionMinor = 0;
    uint16_t VersionRelease = 0;
    bool Busy = false;
    TSystemTime LastEventAt;
    TSystemTime LastErrorAt;
    char LastEventText[StatusTextSize] = {};
    char LastErrorText[StatusTextSize] = {};
    char LastFileOk[StatusPathSize] = {};
    TSystemTime LastFileOkAt;
    char LastFileBad[StatusPathSize] = {};
    TSystemTime LastFileBadAt;
    int32_t LastGroupOk = 0;
    int32_t LastGroupBad = 0;
    int32_t LastGroupElapsedMs = 0;
    TSystemTime LastGroupAt;
    TSystemTime NextCheckAt;
};

void EncodeSrvStats(const TRorozoraSrvStats& Stats, char* Out); // Out[0..510]
TRorozoraSrvStats DecodeSrvStats(const char* In);               // In[0..510]

// Copies Text into a text field of Size bytes, cut to Size - 1 bytes, zero-filled after it.
void CopyStatusText(char* Field, size_t Size, std::string_view Text);
template <size_t N>
void CopyStatusText(char (&Field)[N], std::string_view Text) {
    CopyStatusText(Field, N, Text);
}
