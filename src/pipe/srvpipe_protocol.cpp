#include "pipe/srvpipe_protocol.h"

#include <cstring>

void PutLE16(char* Out, uint16_t Value) {
    for (int I = 0; I < 2; ++I) {
        Out[I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
    }
}

void PutLE32(char* Out, uint32_t Value) {
    for (int I = 0; I < 4; ++I) {
        Out[I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
    }
}

void PutLE64(char* Out, uint64_t Value) {
    for (int I = 0; I < 8; ++I) {
        Out[I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
    }
}

uint16_t GetLE16(const char* In) {
    return static_cast<uint16_t>(static_cast<unsigned char>(In[0]) |
                                 (static_cast<unsigned char>(In[1]) << 8));
}

uint32_t GetLE32(const char* In) {
    uint32_t Value = 0;
    for (int I = 3; I >= 0; --I) {
        Value = (Value << 8) | static_cast<unsigned char>(In[I]);
    }
    return Value;
}

uint64_t GetLE64(const char* In) {
    uint64_t Value = 0;
    for (int I = 7; I >= 0; --I) {
        Value = (Value << 8) | static_cast<unsigned char>(In[I]);
    }
    return Value;
}

void PutSystemTime(char* Out, const TSystemTime& Time) {
    const uint16_t Fields[8] = {Time.wYear, Time.wMonth,  Time.wDayOfWeek, Time.wDay,
                                Time.wHour, Time.wMinute, Time.wSecond,    Time.wMilliseconds};
    for (int I = 0; I < 8; ++I) {
        PutLE16(Out + 2 * I, Fields[I]);
    }
}

TSystemTime GetSystemTime(const char* In) {
    TSystemTime Time;
    Time.wYear = GetLE16(In);
    Time.wMonth = GetLE16(In + 2);
    Time.wDayOfWeek = GetLE16(In + 4);
    Time.wDay = GetLE16(In + 6);
    Time.wHour = GetLE16(In + 8);
    Time.wMinute = GetLE16(In + 10);
    Time.wSecond = GetLE16(In + 12);
    Time.wMilliseconds = GetLE16(In + 14);
    return Time;
}

void EncodeMessageHeader(const TPipeMessageHeader& Header, char* Out) {
    std::memcpy(Out, Header.Name, MessageNameSize);
    PutLE32(Out + HeaderErrorOffset, static_cast<uint32_t>(Header.Error));
    PutLE32(Out + HeaderReservedOffset, static_cast<uint32_t>(Header.Reserved));
    PutLE32(Out + HeaderDataLengthOffset, static_cast<uint32_t>(Header.DataLength));
}

TPipeMessageHeader DecodeMessageHeader(const char* Message) {
    TPipeMessageHeader Header;
    std::memcpy(Header.Name, Message, MessageNameSize);
    Header.Error = static_cast<int32_t>(GetLE32(Message + HeaderErrorOffset));
    Header.Reserved = static_cast<int32_t>(GetLE32(Message + HeaderReservedOffset));
    Header.DataLength = static_cast<int32_t>(GetLE32(Message + HeaderDataLengthOffset));
    return Header;
}

bool MessageNameIs(const char* Message, std::string_view Name) {
    const size_t Length = strnlen(Message, MessageNameSize);
    return std::string_view(Message, Length) == Name;
}

std::string BuildMessage(std::string_view Name, std::string_view Data, int32_t Error) {
    std::string Message(MessageHeaderSize + Data.size(), '\0');
    std::memcpy(Message.data(), Name.data(), std::min(Name.size(), MessageNameSize));
    PutLE32(Message.data() + HeaderErrorOffset, static_cast<uint32_t>(Error));
    PutLE32(Message.data() + HeaderDataLengthOffset, static_cast<uint32_t>(Data.size()));
    if (!Data.empty()) {
        std::memcpy(Message.data() + MessageHeaderSize, Data.data(), Data.size());
    }
    return Message;
}

void EncodePipeStats(const TPipeStats& Stats, char* Out) {
    PutSystemTime(Out, Stats.StartTime);
    PutLE32(Out + 16, Stats.Connections);
    PutLE32(Out + 20, Stats.ConnectErrors);
    PutLE32(Out + 24, Stats.Requests);
    PutLE64(Out + 28, Stats.RequestBytes);
    PutLE32(Out + 36, Stats.Reserved);
    PutLE32(Out + 40, Stats.Answers);
    PutLE64(Out + 44, Stats.AnswerBytes);
    PutLE32(Out + 52, Stats.WriteErrors);
}

TPipeStats DecodePipeStats(const char* In) {
    TPipeStats Stats;
    Stats.StartTime = GetSystemTime(In);
    Stats.Connections = GetLE32(In + 16);
    Stats.ConnectErrors = GetLE32(In + 20);
    Stats.Requests = GetLE32(In + 24);
    Stats.RequestBytes = GetLE64(In + 28);
    Stats.Reserved = GetLE32(In + 36);
    Stats.Answers = GetLE32(In + 40);
    Stats.AnswerBytes = GetLE64(In + 44);
    Stats.WriteErrors = GetLE32(In + 52);
    return Stats;
}
