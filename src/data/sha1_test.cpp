#include "data/sha1.h"

#include <gtest/gtest.h>

#include <string>

TEST(Sha1, MatchesPublishedVectors) {
    struct {
        std::string Input;
        const char* Want;
    } Cases[] = {
        {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
        // 55, 56 and 64 bytes: the padding boundaries.
        {std::string(55, 'x'), "CEF734BA81A024479E09EB5A75B6DDAE62E6ABF1"},
        {std::string(56, 'x'), "901305367C259952F4E7AF8323F480D59F81335B"},
        {std::string(64, 'x'), "BB2FA3EE7AFB9F54C6DFB5D021F14B1FFE40C163"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Input.size());
        EXPECT_EQ(Sha1Hex(C.Input), C.Want);
    }
}

TEST(Sha1, IncrementalEqualsWhole) {
    const std::string Text(200, 'q');
    for (std::size_t Split : {0u, 1u, 63u, 64u, 65u, 130u}) {
        TSha1 Whole, Parts;
        Whole.Update(Text);
        Parts.Update(std::string_view(Text).substr(0, Split));
        Parts.Update(std::string_view(Text).substr(Split));
        EXPECT_EQ(Whole.Final(), Parts.Final()) << Split;
    }
}

TEST(Sha1, EnginesGiveTheSameDigests) {
    if (!Sha1EngineAvailable(TSha1Engine::ShaInstructions)) {
        GTEST_SKIP() << "this processor has no SHA instructions";
    }
    std::string Text;
    uint32_t Seed = 12345;
    for (int I = 0; I < 5000; ++I) {
        Seed = Seed * 1103515245u + 12345u;
        Text += static_cast<char>(Seed >> 16);
    }
    // Lengths around the block and padding boundaries, and fed in uneven pieces.
    for (std::size_t Size : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 128u, 1000u, 5000u}) {
        TSha1 Portable(TSha1Engine::Portable), Sha(TSha1Engine::ShaInstructions);
        const std::string_view Bytes = std::string_view(Text).substr(0, Size);
        Portable.Update(Bytes);
        for (std::size_t At = 0; At < Size; At += 77) {
            Sha.Update(Bytes.substr(At, 77));
        }
        EXPECT_EQ(Portable.Final(), Sha.Final()) << Size;
    }
}
