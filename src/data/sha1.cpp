#include "data/sha1.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t Rotl(uint32_t X, int N) {
    return (X << N) | (X >> (32 - N));
}

} // namespace

TSha1::TSha1() : State{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void TSha1::Compress(const uint8_t* Block) {
    uint32_t W[16];
    for (int I = 0; I < 16; ++I) {
        W[I] = (uint32_t{Block[4 * I]} << 24) | (uint32_t{Block[4 * I + 1]} << 16) |
               (uint32_t{Block[4 * I + 2]} << 8) | uint32_t{Block[4 * I + 3]};
    }
    // The message schedule lives in 16 words, word I + 16 replacing word I.
    auto Next = [&W](int I) {
        uint32_t& Slot = W[I & 15];
        Slot = Rotl(W[(I + 13) & 15] ^ W[(I + 8) & 15] ^ W[(I + 2) & 15] ^ Slot, 1);
        return Slot;
    };
    uint32_t A = State[0], B = State[1], C = State[2], D = State[3], E = State[4];
    auto Step = [&](uint32_t F, uint32_t K, uint32_t Word) {
        const uint32_t T = Rotl(A, 5) + F + E + K + Word;
        E = D;
        D = C;
        C = Rotl(B, 30);
        B = A;
        A = T;
    };
    for (int I = 0; I < 16; ++I) {
        Step((B & C) | (~B & D), 0x5A827999u, W[I]);
    }
    for (int I = 16; I < 20; ++I) {
        Step((B & C) | (~B & D), 0x5A827999u, Next(I));
    }
    for (int I = 20; I < 40; ++I) {
        Step(B ^ C ^ D, 0x6ED9EBA1u, Next(I));
    }
    for (int I = 40; I < 60; ++I) {
        Step((B & C) | (D & (B | C)), 0x8F1BBCDCu, Next(I));
    }
    for (int I = 60; I < 80; ++I) {
        Step(B ^ C ^ D, 0xCA62C1D6u, Next(I));
    }
    State[0] += A;
    State[1] += B;
    State[2] += C;
    State[3] += D;
    State[4] += E;
}

void TSha1::Update(std::string_view Bytes) {
    const auto* P = reinterpret_cast<const uint8_t*>(Bytes.data());
    std::size_t N = Bytes.size();
    Length += N;
    if (Buffered > 0) {
        const std::size_t Take = std::min(N, Buffer.size() - Buffered);
        std::memcpy(Buffer.data() + Buffered, P, Take);
        Buffered += Take;
        P += Take;
        N -= Take;
        if (Buffered < Buffer.size()) {
            return;
        }
        Compress(Buffer.data());
        Buffered = 0;
    }
    while (N >= 64) {
        Compress(P);
        P += 64;
        N -= 64;
    }
    std::memcpy(Buffer.data(), P, N);
    Buffered = N;
}

std::array<uint8_t, 20> TSha1::Final() {
    const uint64_t Bits = Length * 8;
    Buffer[Buffered++] = 0x80;
    if (Buffered > 56) {
        std::memset(Buffer.data() + Buffered, 0, Buffer.size() - Buffered);
        Compress(Buffer.data());
        Buffered = 0;
    }
    std::memset(Buffer.data() + Buffered, 0, 56 - Buffered);
    for (int I = 0; I < 8; ++I) {
        Buffer[56 + static_cast<std::size_t>(I)] = static_cast<uint8_t>(Bits >> (56 - 8 * I));
    }
    Compress(Buffer.data());
    std::array<uint8_t, 20> Digest{};
    for (std::size_t I = 0; I < 20; ++I) {
        Digest[I] = static_cast<uint8_t>(State[I / 4] >> (24 - 8 * (I % 4)));
    }
    return Digest;
}

std::string Sha1Hex(std::string_view Bytes) {
    static const char Hex[] = "0123456789ABCDEF";
    TSha1 Sha;
    Sha.Update(Bytes);
    std::string Result;
    Result.reserve(40);
    for (uint8_t B : Sha.Final()) {
        Result += Hex[B >> 4];
        Result += Hex[B & 15];
    }
    return Result;
}
