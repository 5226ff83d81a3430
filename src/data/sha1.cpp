#include "data/sha1.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARNO_SHA_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

uint32_t Rotl(uint32_t X, int N) {
    return (X << N) | (X >> (32 - N));
}

void CompressPortable(uint32_t* State, const uint8_t* Block) {
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

#ifdef TARNO_SHA_X86

bool CpuHasShaInstructions() {
    unsigned Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
    if (__get_cpuid_count(7, 0, &Eax, &Ebx, &Ecx, &Edx) == 0 || (Ebx & (1u << 29)) == 0) {
        return false; // no SHA extensions
    }
    __get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx);
    return (Ecx & (1u << 19)) != 0 && (Ecx & (1u << 9)) != 0; // SSE4.1 and SSSE3
}

// Four rounds of group G (0..19) with the SHA instructions: E carries the fifth state word into
// the rounds, Next receives A for the next group; Msg holds the 16 schedule words, four to a
// register, each group preparing the words of the groups after it.
template <int G>
__attribute__((target("sha,sse4.1"), always_inline)) inline void
ShaNiGroup(__m128i& Abcd, __m128i& E, __m128i& Next, __m128i (&Msg)[4]) {
    __m128i& Cur = Msg[G % 4];
    if constexpr (G == 0) {
        E = _mm_add_epi32(E, Cur);
    } else {
        E = _mm_sha1nexte_epu32(E, Cur);
    }
    Next = Abcd;
    if constexpr (G >= 3 && G <= 18) {
        Msg[(G + 1) % 4] = _mm_sha1msg2_epu32(Msg[(G + 1) % 4], Cur);
    }
    Abcd = _mm_sha1rnds4_epu32(Abcd, E, G / 5);
    if constexpr (G >= 1 && G <= 16) {
        Msg[(G + 3) % 4] = _mm_sha1msg1_epu32(Msg[(G + 3) % 4], Cur);
    }
    if constexpr (G >= 2 && G <= 17) {
        Msg[(G + 2) % 4] = _mm_xor_si128(Msg[(G + 2) % 4], Cur);
    }
}

template <int... G>
__attribute__((target("sha,sse4.1"), always_inline)) inline void
ShaNiRounds(__m128i& Abcd, __m128i& E0, __m128i& E1, __m128i (&Msg)[4],
            std::integer_sequence<int, G...>) {
    // Even groups take E0 and hand A on in E1, odd groups the other way round.
    ((G % 2 == 0 ? ShaNiGroup<G>(Abcd, E0, E1, Msg) : ShaNiGroup<G>(Abcd, E1, E0, Msg)), ...);
}

__attribute__((target("sha,sse4.1"))) void CompressShaNi(uint32_t* State, const uint8_t* Blocks,
                                                         std::size_t Count) {
    const __m128i ByteOrder = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i Abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(State)), 0x1B);
    __m128i E0 = _mm_set_epi32(static_cast<int>(State[4]), 0, 0, 0);
    for (; Count > 0; --Count, Blocks += 64) {
        const __m128i AbcdSaved = Abcd;
        const __m128i ESaved = E0;
        __m128i Msg[4];
        for (int I = 0; I < 4; ++I) {
            Msg[I] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(Blocks + 16 * I)), ByteOrder);
        }
        __m128i E1;
        ShaNiRounds(Abcd, E0, E1, Msg, std::make_integer_sequence<int, 20>());
        // Group 19 handed A on in E0.
        E0 = _mm_sha1nexte_epu32(E0, ESaved);
        Abcd = _mm_add_epi32(Abcd, AbcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(State), _mm_shuffle_epi32(Abcd, 0x1B));
    State[4] = static_cast<uint32_t>(_mm_extract_epi32(E0, 3));
}

#endif

} // namespace

bool Sha1EngineAvailable(TSha1Engine Engine) {
    if (Engine == TSha1Engine::Portable) {
        return true;
    }
#ifdef TARNO_SHA_X86
    static const bool Has = CpuHasShaInstructions();
    return Has;
#else
    return false;
#endif
}

TSha1Engine FastestSha1Engine() {
    static const TSha1Engine Fastest = Sha1EngineAvailable(TSha1Engine::ShaInstructions)
                                           ? TSha1Engine::ShaInstructions
                                           : TSha1Engine::Portable;
    return Fastest;
}

TSha1::TSha1(TSha1Engine Use)
    : State{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}, Engine(Use) {}

void TSha1::Compress(const uint8_t* Blocks, std::size_t Count) {
#ifdef TARNO_SHA_X86
    if (Engine == TSha1Engine::ShaInstructions) {
        CompressShaNi(State.data(), Blocks, Count);
        return;
    }
#endif
    for (; Count > 0; --Count, Blocks += 64) {
        CompressPortable(State.data(), Blocks);
    }
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
        Compress(Buffer.data(), 1);
        Buffered = 0;
    }
    Compress(P, N / 64);
    P += N / 64 * 64;
    N %= 64;
    std::memcpy(Buffer.data(), P, N);
    Buffered = N;
}

std::array<uint8_t, 20> TSha1::Final() {
    const uint64_t Bits = Length * 8;
    Buffer[Buffered++] = 0x80;
    if (Buffered > 56) {
        std::memset(Buffer.data() + Buffered, 0, Buffer.size() - Buffered);
        Compress(Buffer.data(), 1);
        Buffered = 0;
    }
    std::memset(Buffer.data() + Buffered, 0, 56 - Buffered);
    for (int I = 0; I < 8; ++I) {
        Buffer[56 + static_cast<std::size_t>(I)] = static_cast<uint8_t>(Bits >> (56 - 8 * I));
    }
    Compress(Buffer.data(), 1);
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
