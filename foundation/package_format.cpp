// The package layout's shared parts. Members are scrambled with a ChaCha20
// key stream. Without a password the key comes from the package's salt alone,
// which keeps the bytes from being plain but is no protection; with a
// password the key is stretched from the salt and the password, and only a
// short verifier of it is stored.
#include "foundation/package_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "foundation/checksum.h"

namespace package_format {

namespace {

// XORs data with the ChaCha20 stream of key and a 12-byte nonce (counter from 0).
void chacha20_xor(const std::array<unsigned char, 32>& key, const unsigned char nonce[12],
                  unsigned char* data, std::size_t n, std::uint32_t counter = 0) {
    std::uint32_t state[16];
    state[0] = 0x61707865;
    state[1] = 0x3320646e;
    state[2] = 0x79622d32;
    state[3] = 0x6b206574;
    for (int i = 0; i < 8; ++i) state[4 + i] = load_le32(key.data() + 4 * i);
    state[12] = counter;
    for (int i = 0; i < 3; ++i) state[13 + i] = load_le32(nonce + 4 * i);
    auto rotl = [](std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); };
    auto qr = [&](std::uint32_t* x, int a, int b, int c, int d) {
        x[a] += x[b];
        x[d] = rotl(x[d] ^ x[a], 16);
        x[c] += x[d];
        x[b] = rotl(x[b] ^ x[c], 12);
        x[a] += x[b];
        x[d] = rotl(x[d] ^ x[a], 8);
        x[c] += x[d];
        x[b] = rotl(x[b] ^ x[c], 7);
    };
    for (std::size_t done = 0; done < n; done += 64) {
        std::uint32_t x[16];
        std::memcpy(x, state, sizeof x);
        for (int r = 0; r < 10; ++r) {
            qr(x, 0, 4, 8, 12);
            qr(x, 1, 5, 9, 13);
            qr(x, 2, 6, 10, 14);
            qr(x, 3, 7, 11, 15);
            qr(x, 0, 5, 10, 15);
            qr(x, 1, 6, 11, 12);
            qr(x, 2, 7, 8, 13);
            qr(x, 3, 4, 9, 14);
        }
        unsigned char stream[64];
        for (int i = 0; i < 16; ++i) store_le32(stream + 4 * i, x[i] + state[i]);
        std::size_t take = std::min<std::size_t>(64, n - done);
        for (std::size_t i = 0; i < take; ++i) data[done + i] ^= stream[i];
        ++state[12];
    }
}

void member_nonce(std::uint32_t nonce, std::uint32_t offset, unsigned char out[12]) {
    store_le32(out, nonce);
    store_le32(out + 4, offset);
    std::memcpy(out + 8, "KPkg", 4);
}

} // namespace

keys derive_keys(const unsigned char salt[16], const char* password, std::uint32_t iterations) {
    keys k;
    sha256 h;
    if (!password || !*password) {
        h.update("kavrel package scramble", 23);
        h.update(salt, 16);
        k.key = h.finish();
        return k;
    }
    std::size_t plen = std::strlen(password);
    h.update(salt, 16);
    h.update(password, plen);
    std::array<unsigned char, 32> state = h.finish();
    for (std::uint32_t i = 0; i < iterations; ++i) {
        h.reset();
        h.update(state.data(), state.size());
        h.update(salt, 16);
        h.update(password, plen);
        state = h.finish();
    }
    h.reset();
    h.update("key", 3);
    h.update(state.data(), state.size());
    k.key = h.finish();
    h.reset();
    h.update("verify", 6);
    h.update(state.data(), state.size());
    std::array<unsigned char, 32> v = h.finish();
    std::memcpy(k.verifier.data(), v.data(), 16);
    return k;
}

void scramble(const keys& k, std::uint32_t nonce, std::uint32_t offset, unsigned char* data,
              std::size_t n) {
    unsigned char nb[12];
    member_nonce(nonce, offset, nb);
    chacha20_xor(k.key, nb, data, n);
}

void scramble_from(const keys& k, std::uint32_t nonce, std::uint32_t offset, std::uint64_t at,
                   unsigned char* data, std::size_t n) {
    unsigned char nb[12];
    member_nonce(nonce, offset, nb);
    chacha20_xor(k.key, nb, data, n, static_cast<std::uint32_t>(at / 64));
}

bool names_equal(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

std::string clean_name(const char* raw, std::size_t n) {
    std::string s(raw, n);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.empty() || s.size() > max_name_bytes || s.front() == '/' || s.back() == '/') return {};
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find('/', start);
        if (end == std::string::npos) end = s.size();
        std::string part = s.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return {};
        start = end + 1;
    }
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F || c == ':') return {};
    return s;
}

} // namespace package_format
