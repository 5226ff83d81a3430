// The SHA-1 message digest (FIPS 180-1), used to sign the data part of counting files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Incremental SHA-1: feed bytes with Update, read the digest once with Final.
class TSha1 {
public:
    TSha1();
    void Update(std::string_view Bytes);
    std::array<uint8_t, 20> Final();

private:
    void Compress(const uint8_t* Block);

    std::array<uint32_t, 5> State;
    std::array<uint8_t, 64> Buffer{};
    std::size_t Buffered = 0;
    uint64_t Length = 0; // bytes fed so far
};

// The digest of Bytes as 40 upper-case hexadecimal digits.
std::string Sha1Hex(std::string_view Bytes);
