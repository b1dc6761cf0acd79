#pragma once
// The 128-bit block cipher inside the passphrase digest, and the word mixing step it shares
// with the digest. All arithmetic is on 32-bit words, modulo 2^32.

#include <array>
#include <cstdint>

// The 24-step mix of four words.
void WordMix(std::uint32_t& AA, std::uint32_t& BB, std::uint32_t& CC, std::uint32_t& DD);

class TDigestBlockCipher
{
public:
    // Round keys from the four key words; the number of rounds is clamped into 4..16.
    TDigestBlockCipher(std::uint32_t K0, std::uint32_t K1, std::uint32_t K2, std::uint32_t K3, int rounds);

    // Enciphers 16 bytes in place, read as four little-endian words.
    void EncryptBlock(std::uint8_t* block) const;

private:
    std::array<std::uint32_t, 32> words{}; // round key r is the pair words[2r], words[2r+1]
    int rounds;
};
