// The binary model file (.kmf) and the model part of run files: reading with
// every offset, count, cell and symbol id checked, writing, the byte-order
// conversion, the model password, the settings block, and opening a model by
// file kind. The layout is described in docs/formats/model-file.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/names.h"
#include "foundation/types.h"
#include "model/blockfile.h"
#include "model/model.h"

// ---------------------------------------------------------------- views ---

// A view of the model's diagram (128 bytes). The view block (model-header word
// 17) is an array of them; the model file carries them byte for byte, each
// followed by its index and element blocks. The handles inside mean something
// only in memory (in a file: non-zero means present).
struct view_rec {
    handle index;             // elem_index: u32 cells, cell n the word offset of element n
    handle data;              // element data block (a piece block)
    std::uint32_t background; // 0xFFFFFFFF: the system window colour
    std::uint32_t outline;
    std::uint32_t connector;
    std::uint32_t fill;     // 0xFFFFFFFF: no fill
    font_spec font;         // default text font; empty face: not set
    std::uint16_t count;    // elements including the unused element 0
    std::uint16_t capacity; // cells of the index
    std::uint32_t init_link_colour;
    char name[52];         // empty: unused slot
    std::uint8_t flags;    // 1 shared view; 2 does not include the shared view
    std::uint8_t attached; // elements carry attached blocks (kinds 30 and above)
    std::int16_t zoom;     // 5 fit, 10 to 500 percent
};
static_assert(sizeof(view_rec) == 128);
static_assert(offsetof(view_rec, font) == 24);
static_assert(offsetof(view_rec, count) == 64);
static_assert(offsetof(view_rec, capacity) == 66);
static_assert(offsetof(view_rec, init_link_colour) == 68);
static_assert(offsetof(view_rec, name) == 72);
static_assert(offsetof(view_rec, flags) == 124);
static_assert(offsetof(view_rec, attached) == 125);
static_assert(offsetof(view_rec, zoom) == 126);

// Element kinds of the stored element records.
enum : std::int8_t {
    ek_deleted = 0,
    ek_connector = 1,
    ek_variable = 10,
    ek_valve = 11,
    ek_text = 12,
    ek_bitmap = 30,
    ek_metafile = 31,
    ek_attached = 40, // and above: an attached piece block
};
// The first cell of an element data block holds a zeroed 4-byte dummy record
// (a dropped element's index cell points at it).
inline constexpr std::uint32_t view_dummy_cell = 7;

// Adds an empty view named name; its number (from 0). The model must not be
// locked.
int add_view(handle symbols, const char* name);
// Appends a stored element record (bytes, its length in its first u16) to a
// view; the element number.
int add_view_element(handle symbols, int view, const void* record, std::uint32_t bytes);

// ------------------------------------------------------------ model files ---

struct model_write_options {
    bool foreign = false; // write in the other byte order (tests of the converter)
    std::uint16_t version = 400;
    const char* name = nullptr; // the header's name field (null: the file name)
};

// Writes the model part (the symbol block and everything hanging off it) at
// the file's position. 1 on success, 0 after a message.
int write_model_part(file_handle fh, handle symbols, bool foreign = false);
// Reads a model part at the file's position. The symbol block's handle, 0
// after a message naming the file. foreign: the file's byte order is the
// other one. end: the file offset after the part (may be null).
handle read_model_part(file_handle fh, bool foreign, const char* file_name, long* end = nullptr);
// The identity stamp of a model part (model-header word 27): CRC-32 of the
// symbol records as the writer stores them (uses lists, search marks and depth
// cleared), then of the name pool. The writer stores it in the part and in
// the model; the reader sets it from what it read.
std::uint32_t model_part_stamp(handle symbols);
// Writes a whole model file. 1 on success, 0 after a message.
int write_model_file(const char* path, handle symbols, const model_write_options& options = {});
int write_model_file(const char* path, handle header, handle symbols);
// Reads a model file into a new model: header and symbol block; both 0 after
// a message. Asks for the password through the hook when the model has one.
model_pair read_model_file(const char* path);
// The same from bytes in memory (fuzzing, tests).
model_pair read_model_bytes(const void* data, std::size_t bytes, const char* name);

// On a run file reads the run's model part and returns the handle of a
// 164-byte header record: the file's header with word 21 the reopened file
// handle (left open, positioned after the model part), word 37 the symbol
// block's handle and word 38 the run information block (read right after the
// header when the file's word 38 is set), else 0. On a model file: the header
// with word 37 the symbol block (word 21 -1: the file is closed). 0 on failure.
handle read_binary_model(const char* name, int unused);
// The run information block flag and the header words a run writer fills.
enum : int { kdf_word_file = 21, kdf_word_symbols = 37, kdf_word_info = 38 };

// ----------------------------------------------------------- the password ---

// Asks for a model's password; returns 1 with the text in out (size bytes),
// 0 when the user cancels. Null hook: every protected model is refused.
using password_hook_fn = int (*)(const char* model_name, char* out, std::size_t size);
void set_password_hook(password_hook_fn hook);
// Sets (text non-empty) or removes (null or "") a model's password: stored as
// a salted check value, never as the text.
void set_model_password(handle symbols, const char* text);
// Whether a text is the model's password (true when the model has none).
bool check_model_password(handle symbols, const char* text);
bool model_has_password(handle symbols);

// ------------------------------------------------------------- settings ---

// The model settings record of a model (made on first use).
model_settings* lock_model_settings(handle symbols);
void unlock_model_settings(handle symbols);

// Creates the model context record from the model's settings text (or with
// the defaults when it has none) and keeps its handle in header word 24;
// a graph-set line is passed to the graph-set loader through the hook. The
// context's handle, 0 on failure.
handle read_model_settings(handle header, handle symbols);
// Rebuilds the settings text from the settings record and the context, then
// with a file name writes it there. -1 as the third argument: only the file.
// 1 on success.
int write_model_settings(handle header, handle symbols, int mode, const char* file_name);
// Hook of the graph-set loader: given the settings text after the marker line
// (or a file name with from_text 0), returns the set index (0 none).
using graph_set_hook_fn = int (*)(const char* text_or_name, int from_text);
void set_graph_set_hook(graph_set_hook_fn hook);
// The settings text after the graph-set marker line ("" when none), in scratch memory.
const char* embedded_graph_set_text(handle symbols);

// --------------------------------------------------------------- opening ---

// Opens a model file by kind: mode 1 a named file; mode 0 with "" a new empty
// model. The opened model becomes the current one with its context. Reports
// its own errors; 1 on success, 0 on failure (the current model unchanged).
int open_model(int mode, int flags, const char* name, int open_flags);
