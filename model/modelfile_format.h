// The stored form of a model part, shared by the model-file reader and
// writer: which blocks are stored and in what order, the byte-order
// conversion of their cells and of the views, and the identity stamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/bytes.h"
#include "model/model.h"
#include "model/modelfile.h"

namespace modelfile_format {

// ---------------------------------------------------- block content kinds ---

enum content : int { ct_words, ct_bytes, ct_symbols, ct_equations, ct_tokens, ct_password };

// The stored blocks of a model part after the symbol block, in file order.
struct stored_word {
    int word;
    content kind;
};
inline constexpr stored_word stored_blocks[] = {
    {mh_names, ct_bytes},         {mh_dims, ct_words},        {mh_units, ct_words},
    {mh_elists, ct_words},        {mh_comments, ct_bytes},    {mh_equations, ct_equations},
    {mh_tokens, ct_tokens},       {mh_lookup_list, ct_words}, {mh_lookup_data, ct_words},
    {mh_settings_text, ct_bytes}, {mh_slot_types, ct_bytes},  {mh_password, ct_password},
};
// Header words that hold handles only meaningful in memory.
inline constexpr int memory_words[] = {mh_uses,          mh_alpha,    mh_hash_heads,
                                       mh_hash_overflow, mh_settings, mh_model_rec};

// Converts the cells after the head of a block between byte orders. to_native:
// the cells are foreign now (length fields are read after swapping).
bool convert_cells(content kind, std::uint32_t* c, std::uint32_t cur, bool to_native);

inline std::uint16_t get16(const std::uint8_t* p) {
    return load_as<std::uint16_t>(p);
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return load_as<std::uint32_t>(p);
}

// Swaps the bytes of an unaligned 16- or 32-bit number in place.
void swap_at16(std::uint8_t* p);
void swap_at32(std::uint8_t* p);
// Converts a view record between byte orders.
void convert_view_rec(view_rec& v);
// Walks the pieces of a stored piece block (cells from 6 to cur) and converts
// or checks them. Returns false when the tiling is broken.
bool walk_pieces(std::uint32_t* c, std::uint32_t cur, bool convert, bool to_native);

// The cells of a symbol record that only mean something in memory: the uses
// list (rebuilt on reading), the marks of the tree and loop searches and the
// search depth. They are written as 0 so that a file does not depend on what
// the tools did with the model before it was saved.
void normalise_record(std::uint32_t* rec);
// The identity stamp of a model part: CRC-32 of the symbol records as written
// (cells first_symbol_cell .. cur-1 of the symbol block image, records
// normalised), then of the name pool's cells 5 .. cur-1.
std::uint32_t stamp_of(const std::uint32_t* image, std::uint32_t cur, handle names);
// The used cells of a block (0 for no block).
std::uint32_t cells_of(handle h);

// The hooks installed by set_password_hook and set_graph_set_hook.
// Asks for a model's password: 0 when no hook is installed or the user cancels.
int ask_model_password(const char* model_name, char* out, std::size_t size);
graph_set_hook_fn current_graph_set_hook();

} // namespace modelfile_format
