#pragma once
// The Data Encryption Standard (FIPS 46-3) on single 64-bit blocks: key schedule and the
// enciphering and deciphering of one block. Bytes are taken most significant bit first.

#include <array>
#include <cstdint>

class TDes
{
public:
    using Key = std::array<std::uint8_t, 8>;

    // The lowest bit of each key byte (the parity bit) is ignored.
    void SetKey(const Key& key);

    std::uint64_t EncryptBlock(std::uint64_t block) const;
    std::uint64_t DecryptBlock(std::uint64_t block) const;

    // Big-endian helpers: byte 1 of a block is its most significant byte.
    static std::uint64_t LoadBlock(const std::uint8_t* bytes);
    static void StoreBlock(std::uint64_t block, std::uint8_t* bytes);

private:
    std::uint64_t Crypt(std::uint64_t block, bool decrypt) const;

    std::array<std::uint64_t, 16> subKeys{}; // 48-bit round keys
};
