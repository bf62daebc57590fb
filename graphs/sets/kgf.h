// The reader of binary graph-set files (.kgf): a block-file header, the
// 28-byte set entry, the definition list and two stored indexed blocks (the
// definitions and the report texts); docs/formats/graph-set.md has the layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphs/sets/graphdef.h"

enum kgf_result : int {
    kgf_loaded = 1,     // the set was read into out
    kgf_not_binary = 0, // no block file: read it as text
    kgf_failed = -1,    // a block file that could not be read (reported unless quiet)
};

// Reads a .kgf file at path (shown as name in messages) into out (its
// definitions, version and WIP flag; everything else of out is kept). Every
// count, cell, chain and string is checked against its block.
kgf_result read_kgf_file(const char* path, const char* name, graph_set& out, int quiet);
// The same over bytes in memory (the fuzz target).
kgf_result read_kgf_bytes(const void* data, std::size_t size, const char* name, graph_set& out,
                          int quiet);
