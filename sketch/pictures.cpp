// Checks of the stored pictures' headers.
#include "sketch/pictures.h"

#include "foundation/bytes.h"

#include <cstring>

namespace {

constexpr auto u32 = &load_as<std::uint32_t>;
constexpr auto i32 = &load_as<std::int32_t>;
constexpr auto u16 = &load_as<std::uint16_t>;
constexpr auto i16 = &load_as<std::int16_t>;

} // namespace

bool check_bitmap(const std::vector<std::uint8_t>& blob, bitmap_info* out) {
    // The blob's own size word bounds everything (never more than is there).
    if (blob.size() < 4) return false;
    std::uint64_t size = u32(blob.data());
    if (size > blob.size()) size = blob.size();
    constexpr std::uint32_t file = 4; // the BMP file image starts after the size word
    if (size < file + 14 + 12) return false;
    const std::uint8_t* b = blob.data();
    if (b[file] != 'B' || b[file + 1] != 'M') return false;
    std::uint64_t off_bits = u32(b + file + 10);
    std::uint32_t info = file + 14;
    std::uint32_t header = u32(b + info);
    bitmap_info bi;
    std::int64_t height;
    int planes;
    if (header == 12) {
        bi.width = u16(b + info + 4);
        height = u16(b + info + 6);
        planes = u16(b + info + 8);
        bi.bits = u16(b + info + 10);
    } else {
        if (header < 40 || info + std::uint64_t{header} > size) return false;
        bi.width = i32(b + info + 4);
        height = i32(b + info + 8);
        planes = u16(b + info + 12);
        bi.bits = u16(b + info + 14);
        bi.compression = static_cast<int>(u32(b + info + 16));
        std::uint32_t used = u32(b + info + 32);
        if (bi.bits <= 8 && used > (1u << bi.bits)) return false;
        if (bi.bits > 8 && used > 4096) return false;
        bi.colours = static_cast<int>(used);
    }
    if (info + std::uint64_t{header} > size) return false;
    if (planes != 1 || bi.width < 1 || bi.width > 32767 || height == 0 || height > 32767 ||
        height < -32767)
        return false;
    bi.bottom_up = height > 0;
    bi.height = static_cast<int>(height < 0 ? -height : height);
    switch (bi.bits) {
    case 1:
    case 4:
    case 8:
        if (!bi.colours) bi.colours = 1 << bi.bits;
        break;
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    // Run-length coding fits only its own depth and bottom-up rows; bit fields
    // only 16 and 32 bits.
    if (bi.compression == 1 && (bi.bits != 8 || !bi.bottom_up)) return false;
    if (bi.compression == 2 && (bi.bits != 4 || !bi.bottom_up)) return false;
    if (bi.compression == 3 && bi.bits != 16 && bi.bits != 32) return false;
    if (bi.compression < 0 || bi.compression > 3) return false;
    std::uint64_t entry = header == 12 ? 3 : 4;
    // Headers shorter than 52 bytes are followed by their bit-field masks;
    // longer ones hold them.
    std::uint64_t table_bytes = bi.colours * entry + (bi.compression == 3 && header < 52 ? 12 : 0);
    bi.table = info + header;
    std::uint64_t pixels = file + off_bits;
    if (off_bits == 0) pixels = bi.table + table_bytes;
    if (bi.table + table_bytes > size || pixels < bi.table + table_bytes || pixels > size)
        return false;
    std::uint64_t stride =
        ((std::uint64_t{static_cast<std::uint32_t>(bi.width)} * bi.bits + 31) / 32) * 4;
    std::uint64_t need = stride * static_cast<std::uint64_t>(bi.height);
    if (bi.compression == 1 || bi.compression == 2) {
        need = u32(b + info + 20); // the coded size
        if (need == 0) return false;
    }
    if (pixels + need > size) return false;
    bi.pixels = static_cast<std::uint32_t>(pixels);
    bi.pixel_bytes = static_cast<std::uint32_t>(need);
    if (out) *out = bi;
    return true;
}

bool check_metafile(const std::vector<std::uint8_t>& blob, metafile_info* out) {
    if (blob.size() < 4) return false;
    std::uint64_t size = u32(blob.data());
    if (size > blob.size()) size = blob.size();
    const std::uint8_t* b = blob.data();
    metafile_info mi;
    if (size > 20) {
        mi.mapping_mode = i32(b + 4);
        mi.x_extent = i32(b + 8);
        mi.y_extent = i32(b + 12);
        if (mi.mapping_mode >= 0 && mi.mapping_mode <= 10 && mi.x_extent >= 1 &&
            mi.x_extent <= 32000 && mi.y_extent >= 1 && mi.y_extent <= 32000) {
            mi.bits = 20;
            mi.bytes = static_cast<std::uint32_t>(size - 20);
            if (out) *out = mi;
            return true;
        }
    }
    if (size > 12) {
        mi.mapping_mode = i16(b + 4);
        mi.x_extent = i16(b + 6);
        mi.y_extent = i16(b + 8);
        if (mi.mapping_mode >= 0 && mi.mapping_mode <= 10 && mi.x_extent >= 1 &&
            mi.x_extent < 32000 && mi.y_extent >= 1 && mi.y_extent < 32000) {
            mi.bits = 12;
            mi.bytes = static_cast<std::uint32_t>(size - 12);
            if (out) *out = mi;
            return true;
        }
    }
    return false;
}
