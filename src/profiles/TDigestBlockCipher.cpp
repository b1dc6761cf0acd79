#include "profiles/TDigestBlockCipher.h"

#include <algorithm>

void WordMix(std::uint32_t& AA, std::uint32_t& BB, std::uint32_t& CC, std::uint32_t& DD)
{
    AA += DD;
    DD += AA;
    AA ^= AA >> 7;
    BB += AA;
    AA += BB;
    BB ^= BB << 13;
    CC += BB;
    BB += CC;
    CC ^= CC >> 17;
    DD += CC;
    CC += DD;
    DD ^= DD << 9;
    AA += DD;
    DD += AA;
    AA ^= AA >> 3;
    BB += AA;
    AA += BB;
    BB ^= BB << 7;
    CC += BB;
    BB += CC;
    CC ^= DD >> 15; // DD, not CC: keys made from passphrases depend on it
    DD += CC;
    CC += DD;
    DD ^= DD << 11;
}

TDigestBlockCipher::TDigestBlockCipher(std::uint32_t K0, std::uint32_t K1, std::uint32_t K2, std::uint32_t K3,
                                       int wantedRounds)
    : rounds(std::clamp(wantedRounds, 4, 16))
{
    constexpr std::uint32_t seeds[4] = {0x55555555u, 0xAAAAAAAAu, 0x33333333u, 0xCCCCCCCCu};
    std::size_t next = 0;
    for (const std::uint32_t Z : seeds) {
        std::uint32_t s1 = K0, s2 = Z, s3 = K1, s4 = Z, s5 = K2, s6 = Z, s7 = K3, s8 = Z;
        for (int i = 0; i < 8; ++i) {
            s1 ^= s2 << 11;
            s4 += s1;
            s2 += s3;
            s2 ^= s3 >> 2;
            s5 += s2;
            s3 += s4;
            s3 ^= s4 << 8;
            s6 += s3;
            s4 += s5;
            s4 ^= s5 >> 16;
            s7 += s4;
            s5 += s6;
            s5 ^= s6 << 10;
            s8 += s5;
            s6 += s7;
            s6 ^= s7 >> 4;
            s1 += s6;
            s7 += s8;
            s7 ^= s8 << 8;
            s2 += s7;
            s8 += s1;
            s8 ^= s1 >> 9;
            s3 += s8;
            s1 += s2;
        }
        for (const std::uint32_t s : {s1, s2, s3, s4, s5, s6, s7, s8})
            words[next++] = s;
    }
}

namespace {
std::uint32_t LoadWord(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void StoreWord(std::uint32_t w, std::uint8_t* p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(w >> (8 * i));
}
} // namespace

void TDigestBlockCipher::EncryptBlock(std::uint8_t* block) const
{
    std::uint32_t L0 = LoadWord(block), L1 = LoadWord(block + 4);
    std::uint32_t R0 = LoadWord(block + 8), R1 = LoadWord(block + 12);
    for (int r = 0; r < rounds; ++r) {
        std::uint32_t AA = L0, BB = words[2 * r], CC = L1, DD = words[2 * r + 1];
        WordMix(AA, BB, CC, DD);
        // (AA, BB, CC, DD) = (CC, DD, AA, BB)
        std::swap(AA, CC);
        std::swap(BB, DD);
        WordMix(AA, BB, CC, DD);
        const std::uint32_t T0 = AA ^ BB ^ R0;
        const std::uint32_t T1 = CC ^ DD ^ R1;
        R0 = L0;
        R1 = L1;
        L0 = T0;
        L1 = T1;
    }
    StoreWord(R0, block);
    StoreWord(R1, block + 4);
    StoreWord(L0, block + 8);
    StoreWord(L1, block + 12);
}
