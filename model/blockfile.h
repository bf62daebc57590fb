// Block files: the 164-byte kmf_header shared by binary models, run files,
// graph-set files and packages, and stored indexed blocks (a 20-byte block
// head with the guard word, then the cells).
//
// Files are little-endian. A file whose byte-order mark reads 101 only when
// swapped was written in the other byte order: the header is converted on
// reading and the caller is told (kmf_foreign) so that blocks are converted
// too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/memory.h"
#include "foundation/types.h"

struct kmf_header {
    std::uint8_t magic[3];    // 7F F7 17
    char type;                // file-type letter ('M' model, 'R'... runs, 'G' graph set)
    char name[76];            // name or origin text, NUL-padded
    std::uint16_t byte_order; // 101
    std::uint16_t version;    // 300 or 400
    std::uint32_t words[20];  // words 21 to 40 (word n at byte 4 n)
};
static_assert(sizeof(kmf_header) == 164);
static_assert(offsetof(kmf_header, byte_order) == 80);
static_assert(offsetof(kmf_header, version) == 82);
static_assert(offsetof(kmf_header, words) == 84);

// Word n (21 to 40) of a header.
inline std::uint32_t& kmf_word(kmf_header& h, int n) {
    return h.words[n - 21];
}

// Words of a model file's header.
enum : int {
    kmw_model_offset = 21, // file offset of the model part (164 normally)
    kmw_model_end = 22,    // file offset after the model part
    kmw_flags = 23,        // kmf_flag_*
};
enum : std::uint32_t {
    kmf_flag_password = 1, // the model has a password
};

// Set by open_block_file: the file just opened was written in the other byte
// order (its header has been converted already).
extern bool kmf_foreign;

// Opens a block file and reads its header into *header (converted to this
// machine's order). Returns the file handle; -1 when the file cannot be
// opened or read, -2 for a wrong magic. Mode -1 only probes: the magic is
// checked, the file is left at position 0, nothing is reported; header may be
// null then. Other modes report failures at severity 5 with the file name.
file_handle open_block_file(const char* name, kmf_header* header, int mode, int unused = -1);
// The header as read from a file that may be foreign: converts in place;
// returns 1 native, 2 foreign (converted), 0 when the mark is neither.
int convert_kmf_header(kmf_header* header);

// Reads one stored indexed block at the file's position and returns its
// handle; 0 on failure after "Bad block head in file read", "Corrupted block
// reading file" or "Bad/incomplete block in file read" (severity 5). Every
// cell of a block of a foreign file is byte-swapped as a 32-bit word: callers
// whose blocks hold bytes or 16-bit fields use read_block_raw and convert
// themselves. limit_bytes bounds the block (0: the rest of the file).
handle read_block(file_handle fh);
// The largest block a file may hold, in cells (its byte size fits 32 bits).
inline constexpr std::uint32_t block_max_cells = (1u << 30) - 1;
handle read_block_raw(file_handle fh, bool foreign, std::uint32_t limit_bytes = 0);
// Writes an indexed block (its head and its used cells; the head's size is
// written as the used size). foreign: write in the other byte order (tests),
// with every cell swapped as a 32-bit word unless raw_cells says the block
// holds bytes beyond its head (then only the head is swapped).
int write_block(file_handle fh, handle block, bool foreign = false, bool raw_cells = false);
// Writes a block image already prepared by the caller (head included, size and
// cur equal, in the byte order wanted). 1 on success.
int write_block_image(file_handle fh, const void* image, std::uint32_t bytes);

// Byte swapping.
inline std::uint32_t swap32(std::uint32_t v) {
    return __builtin_bswap32(v);
}
inline std::uint16_t swap16(std::uint16_t v) {
    return __builtin_bswap16(v);
}
void swap_words(void* data, std::size_t words);
// The file name of an open handle for messages.
const char* block_file_name(file_handle fh);
