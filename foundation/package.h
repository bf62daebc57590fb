// Packaged models (.kpm) and packaged applications (.kpa): one container file
// holding a model and its files, members stored scrambled, optionally
// protected by a package password. The layout is in docs/formats/package.md.
//
// At most one package is open at a time: "the open package". The file layer
// (file_status, fh_open_read, open_stream, extract_member, delete_file)
// consults it, so the model's files are found in the package by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// ---------------------------------------------------------------- layout ---

inline constexpr std::uint16_t package_byte_order_mark = 101;
inline constexpr std::uint16_t package_version = 400;
inline constexpr char package_type_letter = 'K';
inline constexpr std::uint32_t package_max_members = 65536;
inline constexpr std::uint32_t package_max_iterations = 131072;
inline constexpr std::uint32_t package_default_iterations = 20000;
// The largest member the reader takes into memory (a longer one is refused
// when it is read, before anything is allocated for it).
inline constexpr std::uint32_t package_max_member_bytes = 256u << 20;

enum : std::uint32_t {
    pkg_flag_password = 1,    // members keyed by the package password
    pkg_flag_application = 2, // a packaged application (.kpa)
};
enum : std::uint32_t {
    member_flag_main = 1, // the package's model, opened with the package
};

// The 164-byte head of a package (the block-file header family). All numbers
// little-endian unless the byte-order mark reads 101 only when swapped.
struct package_header {
    std::uint8_t magic[3];    // 0x7F 0xF7 0x17
    char type;                // 'K'
    char name[76];            // the package's file name, NUL-terminated
    std::uint16_t byte_order; // 101
    std::uint16_t version;    // 400
    std::uint32_t flags;      // pkg_flag_*
    std::uint32_t member_count;
    std::uint32_t dir_offset;   // member_count directory entries
    std::uint32_t names_offset; // the name area
    std::uint32_t names_length;
    std::uint32_t data_offset; // the data area
    std::uint32_t data_length;
    std::uint32_t file_length; // the whole file
    std::uint32_t iterations;  // key stretching rounds (0 without password)
    std::uint8_t salt[16];
    std::uint8_t verifier[16]; // proves the password; zeros without one
    std::uint32_t dir_crc;     // CRC-32 of the directory and the name area
    std::uint32_t header_crc;  // CRC-32 of bytes 0..155
    std::uint32_t reserved;    // 0
};
static_assert(sizeof(package_header) == 164);
static_assert(offsetof(package_header, byte_order) == 80);
static_assert(offsetof(package_header, version) == 82);
static_assert(offsetof(package_header, flags) == 84);
static_assert(offsetof(package_header, iterations) == 116);
static_assert(offsetof(package_header, salt) == 120);
static_assert(offsetof(package_header, verifier) == 136);
static_assert(offsetof(package_header, dir_crc) == 152);
static_assert(offsetof(package_header, header_crc) == 156);

// One directory entry (32 bytes).
struct package_dir_entry {
    std::uint32_t name_offset; // into the name area
    std::uint32_t name_length; // without its NUL, which must follow
    std::uint32_t data_offset; // from the start of the file
    std::uint32_t data_length;
    std::uint32_t crc;      // CRC-32 of the plain bytes
    std::uint32_t nonce;    // of the member's key stream
    std::uint32_t flags;    // member_flag_*
    std::uint32_t reserved; // 0
};
static_assert(sizeof(package_dir_entry) == 32);

// ---------------------------------------------------------------- reading ---

// A package read in steps from one opening of its file: the header and the
// directory first, so that what is not a package is refused before anything
// else is read and a password is asked for only when the package needs one;
// then the members' entries and the main member; then it becomes the open
// package, so the package open before stays until the new one's directory and
// model have been read. Other members are read when first wanted
// (package_member_data).
class package_reader {
public:
    package_reader();
    ~package_reader();
    package_reader(const package_reader&) = delete;
    package_reader& operator=(const package_reader&) = delete;
    // Opens path (relative names: to the model's directory) and reads and
    // checks its header and directory. 1 sound; 0 after a message naming the
    // file, as open_package gives them.
    int open(const char* path);
    // The same over bytes in memory (never made the open package).
    int open_bytes(const unsigned char* data, std::size_t bytes, const char* name);
    // Whether the members are keyed by a password (false before a sound open).
    bool needs_password() const;
    // Checks the password (null: none given) and every member's directory
    // entry, and reads and checks the main member's bytes. 1 sound; 0 after a
    // message.
    int read_members(const char* password);
    // Reads and checks the bytes of every member now (for checks of a whole
    // package). 1 sound; 0 after a message; 0 before read_members has
    // succeeded.
    int read_every_member();
    // Makes the package read from a file the open package (closing the one
    // open before). 1 done; 0 before read_members has succeeded.
    int make_open();

private:
    struct state;
    std::unique_ptr<state> s_;
};

// Opens a package as the open package (closing one open before). password
// null: none given. 1 on success; 0 after a message naming the file: "Corrupt
// package %s: ..." (severity 5), "The package %s needs a password" (8), "The
// password for package %s is not correct" (8), or an open failure.
int open_package(const char* path, const char* password);
void close_package();
bool package_open();
const char* package_path(); // "" when none
// The directory of the open package with a trailing "/" ("" when none).
const char* package_dir();
std::uint32_t package_flags();

// Members of the open package. A name matches a member when, read with "/"
// for "\\" and made relative to the package's directory, it equals the
// member's name without regard to case.
int package_member_count();
const char* package_member_name(int index); // null out of range
std::uint32_t package_member_flags(int index);
int package_find(const char* name); // index or -1
// The plain bytes of a member, shared so that they outlive closing. They are
// read, unscrambled and checked the first time they are wanted; null out of
// range or after a message when that fails ("Corrupt package %s: a member
// fails its checksum: %s" or "Unable to read package %s").
std::shared_ptr<const std::vector<unsigned char>> package_member_data(int index);
// The member that opens with the package (flagged main, else the first model
// member); -1 when none.
int package_main_member();
// Drops a member from the open package (not from the file). 1 when dropped.
int package_drop(const char* name);

// Reads a package from bytes without making it the open package: for checks
// and the fuzz target. 1 valid; 0 after a message.
int package_check_bytes(const unsigned char* data, std::size_t bytes, const char* name,
                        const char* password);
