// The frame of every message on the service's sockets (the 28-byte header) and the counters of a
// socket server (TPipeStats), with their little-endian encoding at fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/datetime.h"

constexpr size_t PipeBufferSize = 16384; // largest request or answer
constexpr int MaxPipeInstances = 64;
constexpr size_t MessageHeaderSize = 28;
constexpr size_t MessageNameSize = 16;
constexpr size_t MaxConfigSize = PipeBufferSize - MessageHeaderSize; // 16356

// Offsets of the header fields.
constexpr size_t HeaderErrorOffset = 16;
constexpr size_t HeaderReservedOffset = 20;
constexpr size_t HeaderDataLengthOffset = 24;

struct TPipeMessageHeader {
    char Name[MessageNameSize] = {}; // ASCII, zero-terminated when shorter than 16 bytes
    int32_t Error = 0;
    int32_t Reserved = 0;
    int32_t DataLength = 0;
};

// Writes Header into Out[0..27].
void EncodeMessageHeader(const TPipeMessageHeader& Header, char* Out);
// Reads the header from Message[0..27]; Message must hold at least 28 bytes.
TPipeMessageHeader DecodeMessageHeader(const char* Message);

// Whether the name field of the message at Message (at least 16 bytes) is Name, compared exactly
// as zero-terminated strings within the 16 bytes (a name filling all 16 bytes ends there).
bool MessageNameIs(const char* Message, std::string_view Name);

// A whole message: the header with Name, Error and DataLength = Data's size, then Data.
std::string BuildMessage(std::string_view Name, std::string_view Data = {}, int32_t Error = 0);

// Counters of one socket server; 56 bytes on the wire.
struct TPipeStats {
    TSystemTime StartTime;      // when the server created its instances (local time)
    uint32_t Connections = 0;   // clients connected
    uint32_t ConnectErrors = 0; // failed accepts
    uint32_t Requests = 0;      // requests read
    uint64_t RequestBytes = 0;  // bytes of requests read
    uint32_t Reserved = 0;      // always 0
    uint32_t Answers = 0;       // answers sent whole
    uint64_t AnswerBytes = 0;   // bytes of answers sent
    uint32_t WriteErrors = 0;   // answers that could not be sent whole
};
constexpr size_t PipeStatsSize = 56;

void EncodePipeStats(const TPipeStats& Stats, char* Out); // Out[0..55]
TPipeStats DecodePipeStats(const char* In);               // In[0..55]

// Little-endian integers at a byte position, shared by the record encoders.
void PutLE16(char* Out, uint16_t Value);
void PutLE32(char* Out, uint32_t Value);
void PutLE64(char* Out, uint64_t Value);
uint16_t GetLE16(const char* In);
uint32_t GetLE32(const char* In);
uint64_t GetLE64(const char* In);
void PutSystemTime(char* Out, const TSystemTime& Time); // 16 bytes
TSystemTime GetSystemTime(const char* In);
