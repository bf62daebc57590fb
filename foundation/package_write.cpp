// Writing packages: the image is made in memory and written through the file
// layer, so an old file is replaced only by a complete new one.
#include "foundation/package_write.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/checksum.h"
#include "foundation/files.h"
#include "foundation/package.h"
#include "foundation/package_format.h"
#include "foundation/report.h"

namespace {

void put16(unsigned char* p, std::uint16_t v, bool big) {
    if (big) {
        p[0] = static_cast<unsigned char>(v >> 8);
        p[1] = static_cast<unsigned char>(v);
    } else {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
    }
}
void put32(unsigned char* p, std::uint32_t v, bool big) {
    if (big) {
        p[0] = static_cast<unsigned char>(v >> 24);
        p[1] = static_cast<unsigned char>(v >> 16);
        p[2] = static_cast<unsigned char>(v >> 8);
        p[3] = static_cast<unsigned char>(v);
    } else {
        package_format::store_le32(p, v);
    }
}

} // namespace

bool package_write_big_endian = false;

int package_write(const char* path, const package_member* members, int count, const char* password,
                  std::uint32_t flags) {
    if (count < 0 || static_cast<std::uint32_t>(count) > package_max_members) {
        report(8, "Too many members for package %s", path);
        return 0;
    }
    const bool big = package_write_big_endian;
    const bool has_password = password && *password;
    flags &= pkg_flag_application;
    if (has_password) flags |= pkg_flag_password;

    std::vector<std::string> names;
    std::uint64_t names_len = 0, data_len = 0;
    for (int i = 0; i < count; ++i) {
        const char* nm = members[i].name ? members[i].name : "";
        std::string clean = package_format::clean_name(nm, std::strlen(nm));
        if (clean.empty()) {
            report(8, "Unable to put %s into package %s: not a relative file name", nm, path);
            return 0;
        }
        for (const std::string& n : names)
            if (package_format::names_equal(n, clean)) {
                report(8, "Unable to put %s into package %s twice", nm, path);
                return 0;
            }
        if (members[i].bytes && !members[i].data) {
            report(10, "PKG1101");
            return 0;
        }
        names_len += clean.size() + 1;
        data_len += members[i].bytes;
        names.push_back(std::move(clean));
    }
    const std::uint64_t dir_off = sizeof(package_header);
    const std::uint64_t names_off = dir_off + std::uint64_t(count) * sizeof(package_dir_entry);
    const std::uint64_t data_off = names_off + names_len;
    const std::uint64_t total = data_off + data_len;
    if (total > 0xFFFFFFFFu) {
        report(8, "The package %s would be larger than 4 GB", path);
        return 0;
    }

    std::vector<unsigned char> img(static_cast<std::size_t>(total), 0);
    std::random_device rd;
    unsigned char* h = img.data();
    h[0] = 0x7F;
    h[1] = 0xF7;
    h[2] = 0x17;
    h[3] = static_cast<unsigned char>(package_type_letter);
    std::string base = file_name_part(path);
    std::memcpy(h + 4, base.c_str(), std::min<std::size_t>(base.size(), 75));
    put16(h + 80, package_byte_order_mark, big);
    put16(h + 82, package_version, big);
    put32(h + 84, flags, big);
    put32(h + 88, static_cast<std::uint32_t>(count), big);
    put32(h + 92, static_cast<std::uint32_t>(dir_off), big);
    put32(h + 96, static_cast<std::uint32_t>(names_off), big);
    put32(h + 100, static_cast<std::uint32_t>(names_len), big);
    put32(h + 104, static_cast<std::uint32_t>(data_off), big);
    put32(h + 108, static_cast<std::uint32_t>(data_len), big);
    put32(h + 112, static_cast<std::uint32_t>(total), big);
    const std::uint32_t iterations = has_password ? package_default_iterations : 0;
    put32(h + 116, iterations, big);
    for (int i = 0; i < 16; i += 4) package_format::store_le32(h + 120 + i, rd());
    const package_format::keys keys =
        package_format::derive_keys(h + 120, has_password ? password : nullptr, iterations);
    if (has_password) std::memcpy(h + 136, keys.verifier.data(), 16);

    std::uint64_t noff = 0, moff = data_off;
    for (int i = 0; i < count; ++i) {
        unsigned char* e = h + dir_off + std::size_t(i) * sizeof(package_dir_entry);
        const std::string& nm = names[static_cast<std::size_t>(i)];
        std::memcpy(h + names_off + noff, nm.c_str(), nm.size() + 1);
        const std::size_t len = members[i].bytes;
        // The image was sized from the same names and members: a member
        // written past its share would run over the next or off the image.
        assert(names_off + noff + nm.size() + 1 <= data_off && moff + len <= total);
        unsigned char* dst = h + moff;
        if (len) std::memcpy(dst, members[i].data, len);
        const std::uint32_t nonce = rd();
        put32(e, static_cast<std::uint32_t>(noff), big);
        put32(e + 4, static_cast<std::uint32_t>(nm.size()), big);
        put32(e + 8, static_cast<std::uint32_t>(moff), big);
        put32(e + 12, static_cast<std::uint32_t>(len), big);
        put32(e + 16, crc32(dst, len), big);
        put32(e + 20, nonce, big);
        put32(e + 24, members[i].flags & member_flag_main, big);
        package_format::scramble(keys, nonce, static_cast<std::uint32_t>(moff), dst, len);
        noff += nm.size() + 1;
        moff += len;
    }
    std::uint32_t dcrc = crc32(h + dir_off, std::size_t(count) * sizeof(package_dir_entry));
    dcrc = crc32_update(dcrc, h + names_off, static_cast<std::size_t>(names_len));
    put32(h + 152, dcrc, big);
    put32(h + 156, crc32(h, 156), big);

    // A read-only file is replaced only when the user agrees (its mode kept).
    if (!ask_replace_read_only(path)) return 0;
    file_handle fh = fh_open_write(path, 0, 0);
    if (fh < 0) {
        report_write_failure(path, errno, "the package");
        return 0;
    }
    if (fh_write(fh, img.data(), img.size()) != img.size()) {
        int error = fh_error(fh);
        fh_abandon(fh);
        report_write_failure(path, error, "the package");
        return 0;
    }
    return fh_close(fh) > 0 ? 1 : 0;
}
