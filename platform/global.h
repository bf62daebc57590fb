// Global memory handles: movable blocks named by a handle, locked to a
// pointer while in use. The clipboard and DDE hand data between windows in
// them, so a block is owned by whoever holds the handle: the clipboard frees
// what it was given when it is emptied.
//
// Handles carry a generation count: a freed or made-up handle is refused
// (null / 0 / the handle itself from GlobalFree), never followed.
#pragma once

#include "platform/types.h"

#include <cstddef>

using HGLOBAL = HGLOBAL_;
using HLOCAL = HGLOBAL_;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_MODIFY = 0x0080;
inline constexpr UINT GMEM_DDESHARE = 0x2000;
inline constexpr UINT GMEM_SHARE = GMEM_DDESHARE;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
inline constexpr UINT GMEM_LOCKCOUNT = 0x00FF;
inline constexpr UINT GMEM_INVALID_HANDLE = 0x8000;

// Largest block handed out (a bigger request fails like an exhausted heap).
inline constexpr std::size_t global_max_size = std::size_t{1} << 30;

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Resizes a block (kept contents, new bytes zeroed with GMEM_ZEROINIT); a
// locked block can be resized too, its address then changes. GMEM_MODIFY only
// changes the flags.
HGLOBAL GlobalReAlloc(HGLOBAL mem, std::size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL mem);       // null for a stale handle
BOOL GlobalUnlock(HGLOBAL mem);      // TRUE while still locked
HGLOBAL GlobalFree(HGLOBAL mem);     // null on success, the handle on failure
std::size_t GlobalSize(HGLOBAL mem); // 0 for a stale handle
UINT GlobalFlags(HGLOBAL mem);       // lock count | flags, GMEM_INVALID_HANDLE when stale
// The handle of a pointer returned by GlobalLock (null when none).
HGLOBAL GlobalHandle(const void* pointer);

// Layer helpers: a new block holding a copy of `size` bytes (null when it
// cannot be made), and the number of live blocks (tests look for leaks).
HGLOBAL global_from_bytes(const void* data, std::size_t size, UINT flags = GMEM_MOVEABLE);
std::size_t global_live_blocks();
