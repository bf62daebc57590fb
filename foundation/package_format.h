// The parts of the package layout that reading and writing share: numbers,
// the keys made from the salt (and the password), the members' key stream and
// the rules for member names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace package_format {

inline std::uint32_t load_le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
inline void store_le32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

struct keys {
    std::array<unsigned char, 32> key{};
    std::array<unsigned char, 16> verifier{}; // zeros without a password
};

// The members' key from the 16-byte salt; with a password (non-empty) it is
// stretched over iterations rounds and gives the verifier too.
keys derive_keys(const unsigned char salt[16], const char* password, std::uint32_t iterations);

// XORs a member's bytes with its key stream, made from the key, the nonce of
// its directory entry and its offset in the file. The same call scrambles and
// unscrambles.
void scramble(const keys& k, std::uint32_t nonce, std::uint32_t offset, unsigned char* data,
              std::size_t n);

// The same from byte at of the member on (at a multiple of 64), for members
// read in pieces.
void scramble_from(const keys& k, std::uint32_t nonce, std::uint32_t offset, std::uint64_t at,
                   unsigned char* data, std::size_t n);

// The longest member name, in bytes.
inline constexpr std::size_t max_name_bytes = 1024;

// A member name: a relative path with "/" between non-empty parts, none of
// them "." or "..", no ":" (drive letters), no control characters. "\\" is
// taken as "/". Empty text when not acceptable.
std::string clean_name(const char* raw, std::size_t n);
// Member names are compared without regard to case.
bool names_equal(const std::string& a, const std::string& b);

} // namespace package_format
