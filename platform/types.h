// Basic types of the platform layer: integer widths, handles, geometry.
//
// Handles are opaque tokens (a slot index and a generation), never pointers to
// real memory: a destroyed window's or object's handle is detected, not
// followed.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using ATOM = std::uint16_t;
using COLORREF = std::uint32_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

#define KAVREL_DECLARE_HANDLE(name)                                                                \
    struct name##__;                                                                               \
    using name = name##__*
KAVREL_DECLARE_HANDLE(HWND);
KAVREL_DECLARE_HANDLE(HDC);
KAVREL_DECLARE_HANDLE(HMENU);
KAVREL_DECLARE_HANDLE(HPEN);
KAVREL_DECLARE_HANDLE(HBRUSH);
KAVREL_DECLARE_HANDLE(HFONT);
KAVREL_DECLARE_HANDLE(HBITMAP);
KAVREL_DECLARE_HANDLE(HRGN);
KAVREL_DECLARE_HANDLE(HPALETTE);
KAVREL_DECLARE_HANDLE(HICON);
KAVREL_DECLARE_HANDLE(HCURSOR);
KAVREL_DECLARE_HANDLE(HINSTANCE);
KAVREL_DECLARE_HANDLE(HMETAFILE);
KAVREL_DECLARE_HANDLE(HENHMETAFILE);
KAVREL_DECLARE_HANDLE(HACCEL);
KAVREL_DECLARE_HANDLE(HGLOBAL_);
#undef KAVREL_DECLARE_HANDLE
using HGDIOBJ = void*;
using HANDLE = void*;

// Token <-> handle conversions for the layer's own tables.
template <typename H> inline H handle_from_token(std::uint32_t token) {
    return reinterpret_cast<H>(static_cast<std::uintptr_t>(token));
}
template <typename H> inline std::uint32_t token_of(H h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}

struct POINT {
    LONG x;
    LONG y;
};
struct SIZE {
    LONG cx;
    LONG cy;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

inline constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
inline constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline constexpr LONG MAKELONG(WORD lo, WORD hi) {
    return static_cast<LONG>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}
inline constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) {
    return static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(lo, hi)));
}
inline constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) {
    return MAKELONG(lo, hi);
}
// Signed client coordinates packed in an LPARAM.
inline constexpr int GET_X_LPARAM(LPARAM lp) {
    return static_cast<short>(LOWORD(lp));
}
inline constexpr int GET_Y_LPARAM(LPARAM lp) {
    return static_cast<short>(HIWORD(lp));
}

inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
inline constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
inline constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
inline constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = LONG_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Added by the window layer.
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using DWORD_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
