// Checksums and digests shared by the readers and writers of stored files:
// CRC-32 (the common polynomial 0xEDB88320, chainable) and SHA-256.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Continues a CRC-32 over more bytes; start with 0.
std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t n);
inline std::uint32_t crc32(const void* data, std::size_t n) {
    return crc32_update(0, data, n);
}

// SHA-256 digest, fed in pieces.
class sha256 {
public:
    sha256() { reset(); }
    void reset();
    void update(const void* data, std::size_t n);
    std::array<unsigned char, 32> finish();

private:
    void block(const unsigned char* p);
    std::uint32_t h_[8];
    std::uint64_t total_;
    std::size_t fill_;
    unsigned char buf_[64];
};
