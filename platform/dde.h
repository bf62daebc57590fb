// DDE between windows of one process: the global atom table, the packing of
// the WM_DDE_* parameters, and the acknowledgement, data, poke and advise
// layouts over global memory blocks. (The bridge to other programs is
// separate.)
#pragma once

#include "platform/global.h"
#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <string>

// ---- global atoms ----------------------------------------------------------
// Names of 1 to 255 characters, compared without regard to case; each add
// counts, each delete uncounts, the atom goes at 0. String atoms are numbered
// from 0xC000; "#n" with n from 1 to 0xBFFF is the integer atom n (not kept).
inline constexpr ATOM first_string_atom = 0xC000;
ATOM GlobalAddAtomA(const char* name);
ATOM GlobalFindAtomA(const char* name);
ATOM GlobalDeleteAtom(ATOM atom); // 0 on success, the atom when it is not one
// Copies the name (cut to size - 1, ended by a zero); its length, 0 when none.
UINT GlobalGetAtomNameA(ATOM atom, char* buffer, int size);
std::size_t global_atom_count(); // the string atoms alive (tests look for leaks)

// ---- parameters of the WM_DDE_* messages ------------------------------------
// ACK, ADVISE, DATA and POKE carry two values in a global block named by the
// lParam; EXECUTE carries its command handle as the lParam; the others carry
// two 16-bit values.
LPARAM PackDDElParam(UINT msg, UINT_PTR lo, UINT_PTR hi);
BOOL UnpackDDElParam(UINT msg, LPARAM lparam, UINT_PTR* lo, UINT_PTR* hi);
BOOL FreeDDElParam(UINT msg, LPARAM lparam);
LPARAM ReuseDDElParam(LPARAM lparam, UINT msg_in, UINT msg_out, UINT_PTR lo, UINT_PTR hi);

// ---- the acknowledgement word -------------------------------------------------
// Bits 0-7 the application's code, bit 14 busy, bit 15 positive.
struct dde_ack {
    BYTE app_code = 0;
    bool busy = false;
    bool ack = false;
};
WORD dde_ack_word(const dde_ack& a);
dde_ack dde_ack_of(WORD w);

// ---- data, poke and advise blocks ---------------------------------------------
// DATA: a 16-bit flags word (bit 12 response, bit 13 release, bit 15 ack
// requested), the 16-bit clipboard format, then the value. POKE: flags (bit
// 13 release), format, value. ADVISE: flags (bit 14 defer updates, bit 15
// ack requested), format.
struct dde_block {
    bool response = false, release = false, ack_req = false, defer = false;
    UINT format = 0;
    std::string value; // the bytes after the header
};
HGLOBAL make_dde_data(const dde_block& b);
HGLOBAL make_dde_poke(const dde_block& b);
HGLOBAL make_dde_advise(const dde_block& b);
// Reads a block of that kind; false for a stale handle or one shorter than
// its header. The value is bounded by the block's size.
bool read_dde_data(HGLOBAL h, dde_block* out);
bool read_dde_poke(HGLOBAL h, dde_block* out);
bool read_dde_advise(HGLOBAL h, dde_block* out);

// ---- other programs -------------------------------------------------------------
// Called after a WM_DDE_INITIATE went to every top-level window: when its
// application names a service that another program of the user serves over
// the socket bridge (platform/dde_bridge.h), that program is asked too, and a
// proxy window standing for its server answers the client like a local one.
// Not for a wildcard application, nor for a service this process serves.
void dde_remote_initiate(WPARAM client, LPARAM lparam);
