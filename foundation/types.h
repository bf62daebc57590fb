// Types and constants shared by every subsystem.
#pragma once

#include <bit>
#include <cstdint>

// A movable memory block of the handle table; 0 is none.
using handle = std::uint32_t;

// An open file of the file layer (OS file, package member or in-memory file);
// negative is none.
using file_handle = int;

// The guard word of every indexed block head.
inline constexpr std::uint32_t block_guard = 0xBF4C37A1u;

// The missing value: shown as "--", stored in value arrays, run files and lookups.
inline constexpr float NA = std::bit_cast<float>(std::uint32_t{0xF6800000u});

inline bool is_na(float v) {
    return std::bit_cast<std::uint32_t>(v) == 0xF6800000u;
}
inline bool is_na(double v) {
    return is_na(static_cast<float>(v));
}
