// The SHA-1 message digest (FIPS 180-1), used to sign the data part of counting files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How the 64-byte blocks are hashed: in portable C++, or with the processor's SHA instructions
// (x86-64 processors that have them). Both give the same digests.
enum class TSha1Engine { Portable, ShaInstructions };

// Whether this processor can run Engine.
bool Sha1EngineAvailable(TSha1Engine Engine);
// The fastest engine this processor runs, looked up once.
TSha1Engine FastestSha1Engine();

// Incremental SHA-1: feed bytes with Update, read the digest once with Final. Engine must be
// available (Sha1EngineAvailable).
class TSha1 {
public:
    explicit TSha1(TSha1Engine Engine = FastestSha1Engine());
    void Update(std::string_view Bytes);
    std::array<uint8_t, 20> Final();

private:
    void Compress(const uint8_t* Blocks, std::size_t Count);

    std::array<uint32_t, 5> State;
    std::array<uint8_t, 64> Buffer{};
    std::size_t Buffered = 0;
    uint64_t Length = 0; // bytes fed so far
    TSha1Engine Engine;
};

// The digest of Bytes as 40 upper-case hexadecimal digits.
std::string Sha1Hex(std::string_view Bytes);
