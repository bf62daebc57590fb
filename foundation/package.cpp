// Packages: reading and checking them, and the open package.
//
// A package is read from one opening of its file: the header first (what is
// not a package is refused before anything else is read), then the directory
// and the name area, then the main member. Every other member is read from its
// own place the first time it is wanted, and kept: a package whose members
// are mostly unused costs no more than its directory and its model, and
// nothing is read twice. The file stays open while the package is.
#define file_handle os_file_handle_
#include <fcntl.h>
#undef file_handle

#include "foundation/package.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "foundation/checksum.h"
#include "foundation/openfile.h"
#include "foundation/package_format.h"
#include "foundation/paths.h"
#include "foundation/report.h"

namespace {

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
                    : package_format::load_le32(p);
    }
};

// ---------------------------------------------------------------- sources ---

// Where a package's bytes come from: a disk file read by position, or bytes
// in memory.
class byte_source {
public:
    virtual ~byte_source() = default;
    virtual std::uint64_t size() const = 0;
    // Reads n bytes at offset; false when they could not all be read.
    virtual bool read_at(std::uint64_t offset, unsigned char* out, std::size_t n) = 0;
};

class file_source final : public byte_source {
public:
    explicit file_source(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~file_source() override { ::close(fd_); }
    file_source(const file_source&) = delete;
    file_source& operator=(const file_source&) = delete;
    std::uint64_t size() const override { return size_; }
    bool read_at(std::uint64_t offset, unsigned char* out, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

class memory_source final : public byte_source {
public:
    memory_source(const unsigned char* data, std::size_t bytes) : data_(data), bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_; }
    bool read_at(std::uint64_t offset, unsigned char* out, std::size_t n) override {
        if (offset > bytes_ || n > bytes_ - offset) return false;
        if (n) std::memcpy(out, data_ + offset, n);
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t bytes_;
};

// ------------------------------------------------------------ the package ---

struct member_rec {
    std::string name;
    std::uint32_t flags = 0;
    std::uint32_t offset = 0, length = 0, crc = 0, nonce = 0;
    std::shared_ptr<const std::vector<unsigned char>> data; // null until first read
};

struct parsed_package {
    std::uint32_t flags = 0;
    std::string name; // as given, for messages
    std::shared_ptr<byte_source> source;
    package_format::keys keys;
    std::vector<member_rec> members;
};

// Reads, unscrambles and checks a member's bytes unless they were read
// before. True when m.data holds them; false after a message (a failed read is
// tried again when the member is next wanted).
// Members longer than this are checked piece by piece before any memory is
// taken for them, so a damaged or crafted length costs reading, not memory.
constexpr std::uint32_t check_first_bytes = 4u << 20;
constexpr std::size_t piece_bytes = 1u << 20; // a multiple of the key stream's 64-byte blocks

// Continues sum, a CRC-32, over bytes [offset, offset + n) of the source,
// unscrambled as a member's when keys is given (offset is then the member's),
// read in pieces. False when they cannot all be read.
bool crc_in_pieces(byte_source& source, std::uint64_t offset, std::uint64_t n,
                   const package_format::keys* keys, std::uint32_t nonce, std::uint32_t& sum) {
    std::vector<unsigned char> piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(n, piece_bytes)));
    for (std::uint64_t done = 0; done < n;) {
        auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, piece_bytes));
        if (!source.read_at(offset + done, piece.data(), take)) return false;
        if (keys)
            package_format::scramble_from(*keys, nonce, static_cast<std::uint32_t>(offset), done,
                                          piece.data(), take);
        sum = crc32_update(sum, piece.data(), take);
        done += take;
    }
    return true;
}

bool load_member(parsed_package& p, member_rec& m) {
    if (m.data) return true;
    if (m.length > package_max_member_bytes) {
        report(5, "Corrupt package %s: a member is larger than %u bytes: %s", p.name.c_str(),
               static_cast<unsigned>(package_max_member_bytes), m.name.c_str());
        return false;
    }
    if (m.length > check_first_bytes && p.source) {
        std::uint32_t sum = 0;
        if (!crc_in_pieces(*p.source, m.offset, m.length, &p.keys, m.nonce, sum)) {
            report(8, "Unable to read package %s", p.name.c_str());
            return false;
        }
        if (sum != m.crc) {
            report(5, "Corrupt package %s: a member fails its checksum: %s", p.name.c_str(),
                   m.name.c_str());
            return false;
        }
    }
    auto plain = std::make_shared<std::vector<unsigned char>>(m.length);
    if (!p.source || !p.source->read_at(m.offset, plain->data(), m.length)) {
        report(8, "Unable to read package %s", p.name.c_str());
        return false;
    }
    package_format::scramble(p.keys, m.nonce, m.offset, plain->data(), plain->size());
    if (crc32(plain->data(), plain->size()) != m.crc) {
        report(5, "Corrupt package %s: a member fails its checksum: %s", p.name.c_str(),
               m.name.c_str());
        return false;
    }
    m.data = std::move(plain);
    return true;
}

// The member that opens with the package: flagged main, else the first model
// member; -1 when none.
int main_member_of(const std::vector<member_rec>& members) {
    for (std::size_t i = 0; i < members.size(); ++i)
        if (members[i].flags & member_flag_main) return static_cast<int>(i);
    for (std::size_t i = 0; i < members.size(); ++i)
        if (file_kind_of(members[i].name.c_str(), -1) == fk_model) return static_cast<int>(i);
    return -1;
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

// ---------------------------------------------------------------- reading ---

struct package_reader::state {
    std::shared_ptr<byte_source> source;
    std::string name; // as given, for messages
    std::string full; // the file's full path ("" for bytes)
    unsigned char header[sizeof(package_header)] = {};
    bool swap = false;
    std::vector<unsigned char> dir; // the directory, then the name area
    std::uint32_t count = 0, names_len = 0, data_off = 0, data_len = 0, iterations = 0;
    std::uint32_t flags = 0;
    bool sound = false; // header and directory checked
    bool read = false;  // directory entries and the main member checked
    parsed_package pkg;

    int corrupt(const char* detail) const {
        report(5, "Corrupt package %s: %s", name.c_str(), detail);
        return 0;
    }
    int corrupt_s(const char* detail, const std::string& what) const {
        report(5, "Corrupt package %s: %s %s", name.c_str(), detail, what.c_str());
        return 0;
    }
    int unreadable() const {
        report(8, "Unable to read package %s", name.c_str());
        return 0;
    }
    int check_head();
    int check_members(const char* password);
};

// The header, the areas and the directory with its name area. 1 sound; 0
// after a message.
int package_reader::state::check_head() {
    const std::uint64_t bytes = source->size();
    if (bytes < sizeof(package_header)) return corrupt("the file is shorter than a package header");
    if (!source->read_at(0, header, sizeof header)) return unreadable();
    const unsigned char* data = header;
    if (data[0] != 0x7F || data[1] != 0xF7 || data[2] != 0x17 || data[3] != package_type_letter)
        return corrupt("not a package file (its signature does not match)");
    byte_reader r{data, false};
    if (r.u16(80) != package_byte_order_mark) {
        r.swap = true;
        if (r.u16(80) != package_byte_order_mark) return corrupt("unknown byte order");
    }
    swap = r.swap;
    if (r.u16(82) != package_version) {
        report(5, "The package %s has version %u; this program reads version %u", name.c_str(),
               static_cast<unsigned>(r.u16(82)), static_cast<unsigned>(package_version));
        return 0;
    }
    if (r.u32(156) != crc32(data, 156)) return corrupt("the header checksum does not match");
    if (!std::memchr(data + 4, 0, 76)) return corrupt("the package name is not terminated");

    flags = r.u32(84);
    count = r.u32(88);
    const std::uint32_t dir_off = r.u32(92), names_off = r.u32(96), file_len = r.u32(112);
    names_len = r.u32(100);
    data_off = r.u32(104);
    data_len = r.u32(108);
    iterations = r.u32(116);
    if (file_len != bytes) {
        report(5, "Corrupt package %s: the file has %zu bytes where its header says %u",
               name.c_str(), static_cast<std::size_t>(bytes), static_cast<unsigned>(file_len));
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
    // Every name is at most max_name_bytes and its NUL: a larger area is no
    // package's (and would cost memory before its checksum could refuse it).
    if (std::uint64_t{names_len} > std::uint64_t{count} * (package_format::max_name_bytes + 1))
        return corrupt("the name area is larger than its names can be");
    const std::size_t dir_bytes = std::size_t{count} * sizeof(package_dir_entry);
    // The checksum first, in pieces: a damaged directory costs no memory.
    if (dir_bytes + names_len > piece_bytes) {
        std::uint32_t sum = 0;
        if (!crc_in_pieces(*source, dir_off, dir_bytes, nullptr, 0, sum) ||
            !crc_in_pieces(*source, names_off, names_len, nullptr, 0, sum))
            return unreadable();
        if (sum != r.u32(152)) return corrupt("the directory checksum does not match");
    }
    dir.resize(dir_bytes + names_len);
    if (!source->read_at(dir_off, dir.data(), dir_bytes) ||
        !source->read_at(names_off, dir.data() + dir_bytes, names_len))
        return unreadable();
    std::uint32_t dcrc = crc32(dir.data(), dir_bytes);
    dcrc = crc32_update(dcrc, dir.data() + dir_bytes, names_len);
    if (dcrc != r.u32(152)) return corrupt("the directory checksum does not match");
    sound = true;
    return 1;
}

// The key, then each member's entry, then the main member's bytes (the
// others are read when first wanted). 1 sound; 0 after a message.
int package_reader::state::check_members(const char* password) {
    package_format::keys keys;
    if (flags & pkg_flag_password) {
        if (iterations == 0 || iterations > package_max_iterations)
            return corrupt("bad key parameters");
        if (!password || !*password) {
            report(8, "The package %s needs a password", name.c_str());
            return 0;
        }
        keys = package_format::derive_keys(header + 120, password, iterations);
        if (std::memcmp(keys.verifier.data(), header + 136, 16) != 0) {
            report(8, "The password for package %s is not correct", name.c_str());
            return 0;
        }
    } else {
        keys = package_format::derive_keys(header + 120, nullptr, 0);
    }

    const byte_reader r{dir.data(), swap};
    const unsigned char* names = dir.data() + std::size_t{count} * sizeof(package_dir_entry);
    struct span_rec {
        std::uint64_t start, end;
    };
    std::vector<span_rec> spans;
    spans.reserve(count);
    parsed_package out;
    out.flags = flags;
    out.name = name;
    out.source = source;
    out.keys = keys;
    out.members.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t at = std::size_t{i} * sizeof(package_dir_entry);
        std::uint32_t noff = r.u32(at), nlen = r.u32(at + 4), moff = r.u32(at + 8),
                      mlen = r.u32(at + 12), mcrc = r.u32(at + 16), nonce = r.u32(at + 20),
                      mflags = r.u32(at + 24);
        if (std::uint64_t{noff} + nlen + 1 > names_len)
            return corrupt("a member name lies outside the name area");
        const char* nm = reinterpret_cast<const char*>(names + noff);
        if (nm[nlen] != 0 || std::memchr(nm, 0, nlen))
            return corrupt("a member name is not terminated in its field");
        std::string clean = package_format::clean_name(nm, nlen);
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
            if (package_format::names_equal(m.name, clean))
                return corrupt_s("two members are named", clean);
        if (mlen) spans.push_back({moff, std::uint64_t{moff} + mlen});
        out.members.push_back({std::move(clean), mflags, moff, mlen, mcrc, nonce, nullptr});
    }
    std::sort(spans.begin(), spans.end(),
              [](const span_rec& a, const span_rec& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].start < spans[i - 1].end) return corrupt("two members overlap");
    // The model is read at once: a package whose model is damaged is refused
    // before it replaces the open package.
    int main = main_member_of(out.members);
    if (main >= 0 && !load_member(out, out.members[static_cast<std::size_t>(main)])) return 0;
    pkg = std::move(out);
    read = true;
    return 1;
}

package_reader::package_reader() : s_(std::make_unique<state>()) {}
package_reader::~package_reader() = default;

int package_reader::open(const char* path) {
    s_ = std::make_unique<state>();
    if (!path || !*path) return 0;
    s_->name = path;
    s_->full = full_path(nullptr, path);
    int fd = open_regular(s_->full.c_str(), O_RDONLY);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) {
        int why = errno;
        ::close(fd);
        fd = -1;
        errno = why;
    }
    if (fd < 0) {
        report(8, "Unable to open package %s: %s", path, file_error_text(errno).c_str());
        return 0;
    }
    s_->source = std::make_unique<file_source>(fd, static_cast<std::uint64_t>(st.st_size));
    if (s_->source->size() > 0xFFFFFFFFu) {
        report(5, "Corrupt package %s: larger than 4 GB", path);
        return 0;
    }
    return s_->check_head();
}

int package_reader::open_bytes(const unsigned char* data, std::size_t bytes, const char* name) {
    s_ = std::make_unique<state>();
    s_->name = name ? name : "";
    s_->source = std::make_unique<memory_source>(data, data ? bytes : 0);
    return s_->check_head();
}

bool package_reader::needs_password() const {
    return s_->sound && (s_->flags & pkg_flag_password) != 0;
}

int package_reader::read_members(const char* password) {
    if (!s_->sound) return 0;
    return s_->check_members(password);
}

int package_reader::read_every_member() {
    if (!s_->read) return 0;
    for (member_rec& m : s_->pkg.members)
        if (!load_member(s_->pkg, m)) return 0;
    return 1;
}

int package_reader::make_open() {
    if (!s_->read || s_->full.empty()) return 0;
    close_package();
    open_pkg& p = the_package();
    p.pkg = std::move(s_->pkg);
    p.path = s_->full;
    std::size_t slash = p.path.rfind('/');
    p.dir = slash == std::string::npos ? std::string() : p.path.substr(0, slash + 1);
    p.open = true;
    s_ = std::make_unique<state>();
    return 1;
}

int package_check_bytes(const unsigned char* data, std::size_t bytes, const char* name,
                        const char* password) {
    package_reader reader;
    return reader.open_bytes(data, bytes, name) && reader.read_members(password) &&
                   reader.read_every_member()
               ? 1
               : 0;
}

int open_package(const char* path, const char* password) {
    close_package();
    package_reader reader;
    if (!reader.open(path) || !reader.read_members(password)) return 0;
    return reader.make_open();
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
        if (package_format::names_equal(ms[i].name, rel)) return static_cast<int>(i);
    return -1;
}

std::shared_ptr<const std::vector<unsigned char>> package_member_data(int index) {
    if (index < 0 || index >= package_member_count()) return nullptr;
    parsed_package& p = the_package().pkg;
    member_rec& m = p.members[static_cast<std::size_t>(index)];
    return load_member(p, m) ? m.data : nullptr;
}

int package_main_member() {
    return the_package().open ? main_member_of(the_package().pkg.members) : -1;
}

int package_drop(const char* name) {
    int i = package_find(name);
    if (i < 0) return 0;
    auto& ms = the_package().pkg.members;
    ms.erase(ms.begin() + i);
    return 1;
}
