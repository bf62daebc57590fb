// Packages: reading, checking, writing and the open package.
//
// Members are scrambled with a ChaCha20 key stream. Without a password the key
// comes from the package's salt alone, which keeps the bytes from being plain
// but is no protection; with a password the key is stretched from the salt and
// the password, and only a short verifier of it is stored.
#include "foundation/package.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>

#include "foundation/checksum.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"

namespace {

// ---------------------------------------------------------------- ChaCha20 ---

using key256 = std::array<unsigned char, 32>;

std::uint32_t load_le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
void store_le32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// XORs data with the ChaCha20 stream of key and a 12-byte nonce (counter from 0).
void chacha20_xor(const key256& key, const unsigned char nonce[12], unsigned char* data,
                  std::size_t n) {
    std::uint32_t state[16];
    state[0] = 0x61707865;
    state[1] = 0x3320646e;
    state[2] = 0x79622d32;
    state[3] = 0x6b206574;
    for (int i = 0; i < 8; ++i) state[4 + i] = load_le32(key.data() + 4 * i);
    state[12] = 0;
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

// ------------------------------------------------------------------- keys ---

struct package_keys {
    key256 key{};
    std::array<unsigned char, 16> verifier{};
};

package_keys derive_keys(const unsigned char salt[16], const char* password,
                         std::uint32_t iterations) {
    package_keys k;
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
    key256 state = h.finish();
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
    key256 v = h.finish();
    std::memcpy(k.verifier.data(), v.data(), 16);
    return k;
}

// ---------------------------------------------------------------- numbers ---

struct byte_reader {
    const unsigned char* base;
    bool swap;
    std::uint16_t u16(std::size_t at) const {
        return swap ? static_cast<std::uint16_t>((base[at] << 8) | base[at + 1])
                    : static_cast<std::uint16_t>(base[at] | (base[at + 1] << 8));
    }
    std::uint32_t u32(std::size_t at) const {
        const unsigned char* p = base + at;
        return swap ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                          (std::uint32_t{p[2]} << 8) | p[3]
                    : load_le32(p);
    }
};

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
        store_le32(p, v);
    }
}

// ------------------------------------------------------------------ names ---

bool ieq(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

// A member name: a relative path with "/" between non-empty parts, none of
// them "." or "..", no ":" (drive letters), no control characters. "\\" is
// taken as "/". Empty text when not acceptable.
std::string clean_member_name(const char* raw, std::size_t n) {
    std::string s(raw, n);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.empty() || s.size() > 1024 || s.front() == '/' || s.back() == '/') return {};
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

// ------------------------------------------------------------ the package ---

struct member_rec {
    std::string name;
    std::uint32_t flags = 0;
    std::shared_ptr<const std::vector<unsigned char>> data;
};

struct parsed_package {
    std::uint32_t flags = 0;
    std::vector<member_rec> members;
};

// Parses and checks a whole package image. 1 valid; 0 after a message.
int parse_package(const unsigned char* data, std::size_t bytes, const char* name,
                  const char* password, parsed_package& out) {
    auto corrupt = [&](const char* detail) {
        report(5, "Corrupt package %s: %s", name, detail);
        return 0;
    };
    auto corrupt_s = [&](const char* detail, const std::string& what) {
        report(5, "Corrupt package %s: %s %s", name, detail, what.c_str());
        return 0;
    };
    if (bytes < sizeof(package_header)) return corrupt("the file is shorter than a package header");
    if (data[0] != 0x7F || data[1] != 0xF7 || data[2] != 0x17 || data[3] != package_type_letter)
        return corrupt("not a package file (its signature does not match)");
    byte_reader r{data, false};
    if (r.u16(80) != package_byte_order_mark) {
        r.swap = true;
        if (r.u16(80) != package_byte_order_mark) return corrupt("unknown byte order");
    }
    if (r.u16(82) != package_version) {
        report(5, "The package %s has version %u; this program reads version %u", name,
               static_cast<unsigned>(r.u16(82)), static_cast<unsigned>(package_version));
        return 0;
    }
    if (r.u32(156) != crc32(data, 156)) return corrupt("the header checksum does not match");
    if (!std::memchr(data + 4, 0, 76)) return corrupt("the package name is not terminated");

    const std::uint32_t flags = r.u32(84), count = r.u32(88), dir_off = r.u32(92),
                        names_off = r.u32(96), names_len = r.u32(100), data_off = r.u32(104),
                        data_len = r.u32(108), file_len = r.u32(112), iterations = r.u32(116);
    if (file_len != bytes) {
        report(5, "Corrupt package %s: the file has %zu bytes where its header says %u", name,
               bytes, static_cast<unsigned>(file_len));
        return 0;
    }
    if (flags & ~(pkg_flag_password | pkg_flag_application)) return corrupt("unknown flags");
    if (count > package_max_members) return corrupt("too many members");

    // The areas: header, directory, names and data, in the file, apart.
    struct area {
        std::uint64_t start, length;
        const char* what;
    };
    area areas[4] = {{0, sizeof(package_header), "header"},
                     {dir_off, std::uint64_t{count} * sizeof(package_dir_entry), "directory"},
                     {names_off, names_len, "name area"},
                     {data_off, data_len, "data area"}};
    for (const area& a : areas)
        if (a.start + a.length > bytes) return corrupt_s("past the end of the file:", a.what);
    for (int i = 0; i < 4; ++i)
        for (int k = i + 1; k < 4; ++k) {
            const area &a = areas[i], &b = areas[k];
            if (a.length && b.length && a.start < b.start + b.length &&
                b.start < a.start + a.length)
                return corrupt("its areas overlap");
        }
    std::uint32_t dcrc = crc32(data + dir_off, std::size_t{count} * sizeof(package_dir_entry));
    dcrc = crc32_update(dcrc, data + names_off, names_len);
    if (dcrc != r.u32(152)) return corrupt("the directory checksum does not match");

    // The key.
    package_keys keys;
    if (flags & pkg_flag_password) {
        if (iterations == 0 || iterations > package_max_iterations)
            return corrupt("bad key parameters");
        if (!password || !*password) {
            report(8, "The package %s needs a password", name);
            return 0;
        }
        keys = derive_keys(data + 120, password, iterations);
        if (std::memcmp(keys.verifier.data(), data + 136, 16) != 0) {
            report(8, "The password for package %s is not correct", name);
            return 0;
        }
    } else {
        keys = derive_keys(data + 120, nullptr, 0);
    }

    // The directory.
    struct span_rec {
        std::uint64_t start, end;
    };
    std::vector<span_rec> spans;
    spans.reserve(count);
    out.flags = flags;
    out.members.clear();
    out.members.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t at = dir_off + std::size_t{i} * sizeof(package_dir_entry);
        std::uint32_t noff = r.u32(at), nlen = r.u32(at + 4), moff = r.u32(at + 8),
                      mlen = r.u32(at + 12), mcrc = r.u32(at + 16), nonce = r.u32(at + 20),
                      mflags = r.u32(at + 24);
        if (std::uint64_t{noff} + nlen + 1 > names_len)
            return corrupt("a member name lies outside the name area");
        const char* nm = reinterpret_cast<const char*>(data + names_off + noff);
        if (nm[nlen] != 0 || std::memchr(nm, 0, nlen))
            return corrupt("a member name is not terminated in its field");
        std::string clean = clean_member_name(nm, nlen);
        if (clean.empty()) {
            std::string shown(nm, std::min<std::uint32_t>(nlen, 80));
            for (char& c : shown)
                if (static_cast<unsigned char>(c) < 0x20) c = '?';
            return corrupt_s("a member has an unacceptable name:", shown);
        }
        if (std::uint64_t{moff} < data_off ||
            std::uint64_t{moff} + mlen > std::uint64_t{data_off} + data_len)
            return corrupt_s("a member lies outside the data area:", clean);
        if (mflags & ~member_flag_main) return corrupt_s("unknown member flags:", clean);
        for (const member_rec& m : out.members)
            if (ieq(m.name, clean)) return corrupt_s("two members are named", clean);
        if (mlen) spans.push_back({moff, std::uint64_t{moff} + mlen});
        auto plain = std::make_shared<std::vector<unsigned char>>(data + moff, data + moff + mlen);
        unsigned char nb[12];
        member_nonce(nonce, moff, nb);
        chacha20_xor(keys.key, nb, plain->data(), plain->size());
        if (crc32(plain->data(), plain->size()) != mcrc)
            return corrupt_s("a member fails its checksum:", clean);
        out.members.push_back({std::move(clean), mflags, std::move(plain)});
    }
    std::sort(spans.begin(), spans.end(),
              [](const span_rec& a, const span_rec& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].start < spans[i - 1].end) return corrupt("two members overlap");
    return 1;
}

// The open package.
struct open_pkg {
    bool open = false;
    std::string path;
    std::string dir;
    parsed_package pkg;
};
open_pkg& the_package() {
    static open_pkg p;
    return p;
}

// name made relative to the package's directory ("" when it lies outside).
std::string relative_to_package(const char* name) {
    const open_pkg& p = the_package();
    std::string full = full_path(p.dir.c_str(), name);
    if (full.size() <= p.dir.size() || full.compare(0, p.dir.size(), p.dir) != 0) return {};
    return full.substr(p.dir.size());
}

} // namespace

bool package_write_big_endian = false;

// ---------------------------------------------------------------- writing ---

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
        std::string clean = clean_member_name(nm, std::strlen(nm));
        if (clean.empty()) {
            report(8, "Unable to put %s into package %s: not a relative file name", nm, path);
            return 0;
        }
        for (const std::string& n : names)
            if (ieq(n, clean)) {
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
    for (int i = 0; i < 16; i += 4) store_le32(h + 120 + i, rd());
    package_keys keys = derive_keys(h + 120, has_password ? password : nullptr, iterations);
    if (has_password) std::memcpy(h + 136, keys.verifier.data(), 16);

    std::uint64_t noff = 0, moff = data_off;
    for (int i = 0; i < count; ++i) {
        unsigned char* e = h + dir_off + std::size_t(i) * sizeof(package_dir_entry);
        const std::string& nm = names[static_cast<std::size_t>(i)];
        std::memcpy(h + names_off + noff, nm.c_str(), nm.size() + 1);
        const std::size_t len = members[i].bytes;
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
        unsigned char nb[12];
        member_nonce(nonce, static_cast<std::uint32_t>(moff), nb);
        chacha20_xor(keys.key, nb, dst, len);
        noff += nm.size() + 1;
        moff += len;
    }
    std::uint32_t dcrc = crc32(h + dir_off, std::size_t(count) * sizeof(package_dir_entry));
    dcrc = crc32_update(dcrc, h + names_off, static_cast<std::size_t>(names_len));
    put32(h + 152, dcrc, big);
    put32(h + 156, crc32(h, 156), big);

    file_handle fh = fh_open_write(path, 0, 0);
    if (fh < 0) {
        report(8, "Unable to open %s for writing", path);
        return 0;
    }
    if (fh_write(fh, img.data(), img.size()) != img.size()) {
        fh_abandon(fh);
        report(8, "Unable to write %s", path);
        return 0;
    }
    return fh_close(fh) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------- reading ---

int package_check_bytes(const unsigned char* data, std::size_t bytes, const char* name,
                        const char* password) {
    parsed_package p;
    return parse_package(data, bytes, name ? name : "", password, p);
}

int open_package(const char* path, const char* password) {
    close_package();
    if (!path || !*path) return 0;
    std::string full = full_path(nullptr, path);
    std::FILE* f = std::fopen(full.c_str(), "rb");
    if (!f) {
        report(8, "Unable to open package %s", path);
        return 0;
    }
    std::vector<unsigned char> img;
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (img.size() + n > 0xFFFFFFFFu) {
            std::fclose(f);
            report(5, "Corrupt package %s: larger than 4 GB", path);
            return 0;
        }
        img.insert(img.end(), buf, buf + n);
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        report(8, "Unable to read package %s", path);
        return 0;
    }
    parsed_package pkg;
    if (!parse_package(img.data(), img.size(), path, password, pkg)) return 0;
    open_pkg& p = the_package();
    p.pkg = std::move(pkg);
    p.path = full;
    std::size_t slash = full.rfind('/');
    p.dir = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
    p.open = true;
    return 1;
}

void close_package() {
    open_pkg& p = the_package();
    p.open = false;
    p.path.clear();
    p.dir.clear();
    p.pkg = parsed_package{};
}

bool package_open() {
    return the_package().open;
}
const char* package_path() {
    return the_package().path.c_str();
}
const char* package_dir() {
    return the_package().dir.c_str();
}
std::uint32_t package_flags() {
    return the_package().open ? the_package().pkg.flags : 0;
}

int package_member_count() {
    return the_package().open ? static_cast<int>(the_package().pkg.members.size()) : 0;
}

const char* package_member_name(int index) {
    if (index < 0 || index >= package_member_count()) return nullptr;
    return the_package().pkg.members[static_cast<std::size_t>(index)].name.c_str();
}

std::uint32_t package_member_flags(int index) {
    if (index < 0 || index >= package_member_count()) return 0;
    return the_package().pkg.members[static_cast<std::size_t>(index)].flags;
}

int package_find(const char* name) {
    if (!name || !*name || !package_open()) return -1;
    std::string rel = relative_to_package(name);
    if (rel.empty()) return -1;
    const auto& ms = the_package().pkg.members;
    for (std::size_t i = 0; i < ms.size(); ++i)
        if (ieq(ms[i].name, rel)) return static_cast<int>(i);
    return -1;
}

std::shared_ptr<const std::vector<unsigned char>> package_member_data(int index) {
    if (index < 0 || index >= package_member_count()) return nullptr;
    return the_package().pkg.members[static_cast<std::size_t>(index)].data;
}

int package_main_member() {
    int n = package_member_count();
    for (int i = 0; i < n; ++i)
        if (package_member_flags(i) & member_flag_main) return i;
    for (int i = 0; i < n; ++i)
        if (file_kind_of(package_member_name(i), -1) == fk_model) return i;
    return -1;
}

int package_drop(const char* name) {
    int i = package_find(name);
    if (i < 0) return 0;
    auto& ms = the_package().pkg.members;
    ms.erase(ms.begin() + i);
    return 1;
}
