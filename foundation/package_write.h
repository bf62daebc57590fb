// Writing packaged models (.kpm) and packaged applications (.kpa); the
// layout is in package.h and docs/formats/package.md.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/package.h"

// ---------------------------------------------------------------- writing ---

struct package_member {
    const char* name; // relative path ("model.kmf", "data/a.dat"); "\\" read as "/"
    const void* data;
    std::size_t bytes;
    std::uint32_t flags; // member_flag_*
};

// Writes a package (atomically: an old file is replaced only when complete).
// password null or "" for none; flags pkg_flag_application for a .kpa.
// 1 on success; 0 after a message (bad member name, duplicate, too large,
// write failure).
int package_write(const char* path, const package_member* members, int count, const char* password,
                  std::uint32_t flags);
// Test hook: write numbers big-endian (as a foreign writer would).
extern bool package_write_big_endian;
