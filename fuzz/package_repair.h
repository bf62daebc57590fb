// Repairs the checksums of a mutated package, shared by the fuzz targets that
// read packages: the header, the directory and every member carry a CRC-32, so
// nearly every plain mutation would be refused at the first one and the parser
// behind them would never be reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/checksum.h"
#include "foundation/package.h"
#include "foundation/package_format.h"

namespace fuzz_package_repair {

// The password packages of the corpus are written with.
inline constexpr const char* password = "pw";

struct image {
    std::uint8_t* p;
    std::size_t n;
    bool swap;
    std::uint32_t get(std::size_t at) const {
        std::uint32_t v = package_format::load_le32(p + at);
        return swap ? __builtin_bswap32(v) : v;
    }
    void put(std::size_t at, std::uint32_t v) {
        package_format::store_le32(p + at, swap ? __builtin_bswap32(v) : v);
    }
    bool holds(std::uint64_t at, std::uint64_t len) const { return at <= n && len <= n - at; }
};

// Rewrites the file length, the members' checksums, the directory checksum
// and the header checksum of a mutant to what its bytes say.
inline void repair(std::uint8_t* data, std::size_t size) {
    if (size < sizeof(package_header) || data[3] != package_type_letter) return;
    image im{data, size, false};
    std::uint16_t mark = static_cast<std::uint16_t>(data[80] | (data[81] << 8));
    if (mark != package_byte_order_mark) im.swap = true;
    im.put(112, static_cast<std::uint32_t>(size));
    std::uint32_t count = im.get(88), dir = im.get(92), names = im.get(96), names_len = im.get(100);
    std::uint64_t dir_bytes = std::uint64_t{count} * sizeof(package_dir_entry);
    if (count <= package_max_members && im.holds(dir, dir_bytes)) {
        // Key stretching is costly: members keyed with more rounds than a
        // package is written with by default keep their checksums.
        std::uint32_t flags = im.get(84), rounds = im.get(116);
        bool keyed = flags & pkg_flag_password;
        if (!keyed || (rounds && rounds <= package_default_iterations)) {
            package_format::keys k =
                package_format::derive_keys(data + 120, keyed ? password : nullptr, rounds);
            for (std::uint32_t i = 0; i < count; ++i) {
                std::size_t e = dir + std::size_t{i} * sizeof(package_dir_entry);
                std::uint32_t at = im.get(e + 8), len = im.get(e + 12);
                if (!im.holds(at, len)) continue;
                std::vector<unsigned char> plain(data + at, data + at + len);
                package_format::scramble(k, im.get(e + 20), at, plain.data(), plain.size());
                im.put(e + 16, crc32(plain.data(), plain.size()));
            }
        }
        if (im.holds(names, names_len)) {
            std::uint32_t c = crc32(data + dir, dir_bytes);
            im.put(152, crc32_update(c, data + names, names_len));
        }
    }
    im.put(156, crc32(data, 156));
}

} // namespace fuzz_package_repair
