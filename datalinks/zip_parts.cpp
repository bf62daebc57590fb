// Zip parts inflated and checked, and written (see zip_parts.h).
#include "datalinks/zip_parts.h"

#include <zlib.h>

#include <cstdint>

namespace sheets {

namespace {

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// Inflates a raw deflate stream into exactly `size` bytes; false when it
// gives more or fewer, or does not end.
bool inflate_exact(std::string_view in, std::uint32_t size, std::string* out) {
    out->assign(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out->data());
    z.avail_out = size;
    int rc = inflate(&z, Z_FINISH);
    if (rc == Z_BUF_ERROR && z.avail_out == 0) {
        // Output full: the stream must have ended right there.
        unsigned char probe;
        z.next_out = &probe;
        z.avail_out = 1;
        rc = inflate(&z, Z_FINISH);
        if (z.avail_out == 0) rc = Z_DATA_ERROR; // a byte beyond the stated size
    }
    const bool ok = rc == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return ok;
}

} // namespace

bool unzip_parts(std::string_view bytes, std::vector<zip_part>* parts, std::string* why) {
    parts->clear();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t eocd = std::string_view::npos;
    const std::size_t lowest = n > 22 + 65535 ? n - 22 - 65535 : 0;
    for (std::size_t i = n >= 22 ? n - 22 + 1 : 0; i-- > lowest;)
        if (le32(p + i) == 0x06054b50) {
            eocd = i;
            break;
        }
    if (eocd == std::string_view::npos) {
        *why = "a zip archive without its directory";
        return false;
    }
    const std::uint16_t entries = le16(p + eocd + 10);
    const std::uint32_t cd_size = le32(p + eocd + 12), cd_off = le32(p + eocd + 16);
    if (cd_off > eocd || cd_size > eocd - cd_off) {
        *why = "a zip directory outside the archive";
        return false;
    }
    std::size_t at = cd_off;
    const std::size_t cd_end = cd_off + cd_size;
    for (unsigned e = 0; e < entries; ++e) {
        if (cd_end - at < 46 || le32(p + at) != 0x02014b50) {
            *why = "a damaged zip directory";
            return false;
        }
        const std::uint16_t method = le16(p + at + 10);
        const std::uint32_t crc = le32(p + at + 16), csize = le32(p + at + 20),
                            usize = le32(p + at + 24);
        const std::uint32_t name_len = le16(p + at + 28), extra = le16(p + at + 30),
                            comment = le16(p + at + 32), local = le32(p + at + 42);
        if (cd_end - at < 46u + name_len + extra + comment) {
            *why = "a damaged zip directory";
            return false;
        }
        zip_part part;
        part.name.assign(bytes.substr(at + 46, name_len));
        at += 46u + name_len + extra + comment;
        if (local > n || n - local < 30 || le32(p + local) != 0x04034b50) {
            *why = "the zip part " + part.name + " is not where its directory says";
            return false;
        }
        const std::uint64_t data_at =
            static_cast<std::uint64_t>(local) + 30 + le16(p + local + 26) + le16(p + local + 28);
        if (data_at > n || n - data_at < csize) {
            *why = "the zip part " + part.name + " runs past the end of the archive";
            return false;
        }
        const std::string_view packed = bytes.substr(static_cast<std::size_t>(data_at), csize);
        if (method == 0) {
            if (csize != usize) {
                *why = "the zip part " + part.name + " is not the size its directory states";
                return false;
            }
            part.data.assign(packed);
        } else if (method == 8) {
            if (!inflate_exact(packed, usize, &part.data)) {
                *why = "the zip part " + part.name +
                       " is damaged (it does not inflate to the size its directory states)";
                return false;
            }
        } else {
            *why = "a zip part compressed by an unknown method";
            return false;
        }
        const auto sum =
            static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()),
                                             static_cast<uInt>(part.data.size())));
        if (sum != crc) {
            *why = "the zip part " + part.name + " is damaged (its check sum does not match)";
            return false;
        }
        parts->push_back(std::move(part));
    }
    return true;
}

std::string zip_archive(const std::vector<zip_part>& parts, bool deflate) {
    std::string out, dir;
    for (const zip_part& part : parts) {
        const auto crc =
            static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()),
                                             static_cast<uInt>(part.data.size())));
        std::string packed;
        std::uint16_t method = 0;
        if (deflate) {
            z_stream z{};
            if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                             Z_DEFAULT_STRATEGY) == Z_OK) {
                packed.resize(deflateBound(&z, static_cast<uLong>(part.data.size())));
                z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data.data()));
                z.avail_in = static_cast<uInt>(part.data.size());
                z.next_out = reinterpret_cast<Bytef*>(packed.data());
                z.avail_out = static_cast<uInt>(packed.size());
                const bool done = ::deflate(&z, Z_FINISH) == Z_STREAM_END;
                packed.resize(z.total_out);
                deflateEnd(&z);
                if (done) method = 8;
            }
        }
        if (method == 0) packed = part.data;
        const auto offset = static_cast<std::uint32_t>(out.size());
        auto head = [&](std::string& s) {
            put16(s, 20);
            put16(s, 0x0800); // names in UTF-8
            put16(s, method);
            put16(s, 0);
            put16(s, 0x21); // 1980-01-01
            put32(s, crc);
            put32(s, static_cast<std::uint32_t>(packed.size()));
            put32(s, static_cast<std::uint32_t>(part.data.size()));
            put16(s, static_cast<std::uint32_t>(part.name.size()));
            put16(s, 0);
        };
        put32(out, 0x04034b50);
        head(out);
        out += part.name;
        out += packed;
        put32(dir, 0x02014b50);
        put16(dir, 20);
        head(dir);
        put16(dir, 0);
        put16(dir, 0);
        put16(dir, 0);
        put32(dir, 0);
        put32(dir, offset);
        dir += part.name;
    }
    const auto dir_at = static_cast<std::uint32_t>(out.size());
    out += dir;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(parts.size()));
    put16(out, static_cast<std::uint32_t>(parts.size()));
    put32(out, static_cast<std::uint32_t>(dir.size()));
    put32(out, dir_at);
    put16(out, 0);
    return out;
}

} // namespace sheets
