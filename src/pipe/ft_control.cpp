#include "pipe/ft_control.h"

#include <cstring>

#include "platform/files.h"

namespace {

// The header of an answer with no data; the rest of the answer buffer is not sent.
void SetAnswer(char* Answer, uint32_t& AnswerLength, const char* Name, int32_t Error = 0,
               uint32_t DataLength = 0) {
    TPipeMessageHeader Header;
    std::strncpy(Header.Name, Name, MessageNameSize);
    Header.Error = Error;
    Header.DataLength = static_cast<int32_t>(DataLength);
    EncodeMessageHeader(Header, Answer);
    AnswerLength = static_cast<uint32_t>(MessageHeaderSize) + DataLength;
}

} // namespace

TRorozoraSrvInfo::TRorozoraSrvInfo(const std::string& Path, int InstanceCount, TClock& Clock_)
    : TPipeServer(Path, InstanceCount, InfoSocketMode, Clock_) {}

TRorozoraSrvInfo::~TRorozoraSrvInfo() {
    Shutdown();
}

void TRorozoraSrvInfo::HandleRequest(const char* Request, uint32_t RequestLength, char* Answer,
                                     uint32_t Capacity, uint32_t& AnswerLength, bool& SendAck) {
    SendAck = false;
    if (RequestLength < MessageHeaderSize) {
        SetAnswer(Answer, AnswerLength, AnsReqUnknown);
        return;
    }
    if (MessageNameIs(Request, ReqGetStats)) {
        SetAnswer(Answer, AnswerLength, AnsGetStats, 0, StatsDataLength);
        EncodePipeStats(GetStats(), Answer + PipeStatsOffset);
        std::memset(Answer + SrvStatsOffset, 0, SrvStatsSize);
        if (OnFillStatistics) {
            OnFillStatistics(Answer + SrvStatsOffset);
        }
        return;
    }
    if (OnRequest && OnRequest(Request, RequestLength, AnswerLength, Capacity, Answer)) {
        return;
    }
    SetAnswer(Answer, AnswerLength, AnsReqUnknown);
}

TRorozoraSrvControl::TRorozoraSrvControl(const std::string& Path, std::string ConfigFileName_,
                                         int InstanceCount, TClock& Clock_)
    : TPipeServer(Path, InstanceCount, ControlSocketMode, Clock_),
      ConfigFileName(std::move(ConfigFileName_)) {}

TRorozoraSrvControl::~TRorozoraSrvControl() {
    Shutdown();
}

void TRorozoraSrvControl::HandleRequest(const char* Request, uint32_t RequestLength, char* Answer,
                                        uint32_t, uint32_t& AnswerLength, bool& SendAck) {
    SendAck = false;
    if (RequestLength < MessageHeaderSize) {
        SetAnswer(Answer, AnswerLength, AnsReqUnknown);
        return;
    }
    if (MessageNameIs(Request, ReqGetConfig)) {
        // The file goes whole or not at all: one that does not fit a message is refused.
        std::string Bytes;
        int64_t Size = 0;
        TDateTime Time = 0;
        if (!GetFileInfo(ConfigFileName, Size, Time) || Size > int64_t(MaxConfigSize) ||
            !TryReadFileBytes(ConfigFileName, Bytes) || Bytes.size() > MaxConfigSize) {
            SetAnswer(Answer, AnswerLength, AnsGetConfig, ConfigErrorUnreadable);
            return;
        }
        SetAnswer(Answer, AnswerLength, AnsGetConfig, 0, static_cast<uint32_t>(Bytes.size()));
        std::memcpy(Answer + MessageHeaderSize, Bytes.data(), Bytes.size());
        if (OnConfigRetrieved) {
            OnConfigRetrieved();
        }
        return;
    }
    if (MessageNameIs(Request, ReqSetConfig)) {
        const int32_t DataLength = DecodeMessageHeader(Request).DataLength;
        if (DataLength < 0 ||
            MessageHeaderSize + static_cast<uint32_t>(DataLength) > RequestLength) {
            SetAnswer(Answer, AnswerLength, AnsSetConfig, ConfigErrorLength);
            return;
        }
        try {
            WriteFileAtomically(ConfigFileName, std::string_view(Request + MessageHeaderSize,
                                                                 static_cast<size_t>(DataLength)));
        } catch (const std::exception&) {
            SetAnswer(Answer, AnswerLength, AnsSetConfig, ConfigErrorWrite);
            return;
        }
        SetAnswer(Answer, AnswerLength, AnsSetConfig);
        if (OnConfigUpdated) {
            OnConfigUpdated();
        }
        return;
    }
    SetAnswer(Answer, AnswerLength, AnsReqUnknown);
}
