// The checks that make a byte string a trusted metafile: the walk over the
// records, and each known record's sizes, counts, offsets and object indexes
// checked against the record before anything is read. A metafile that fails
// is refused whole; records of unknown kinds are checked for size, counted
// and skipped.
#include "platform/metafile_play.h"

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace gdi;
using namespace gdi::mf;

std::string mf::hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

bool mf::rop_uses_src(DWORD rop) {
    std::uint32_t i = (rop >> 16) & 0xFF;
    return ((i >> 2) & 0x33) != (i & 0x33);
}

bool mf::wmf_creates(WORD fn) {
    return fn == wmf::CREATEPENINDIRECT || fn == wmf::CREATEBRUSHINDIRECT ||
           fn == wmf::CREATEFONTINDIRECT || fn == wmf::CREATEPALETTE ||
           fn == wmf::DIBCREATEPATTERNBRUSH || fn == wmf::CREATEREGION || (fn & 0xFF) >= 0xF7;
}

bool mf::is_small_points(DWORD type) {
    return type == emr::POLYGON16 || type == emr::POLYLINE16 || type == emr::POLYLINETO16 ||
           type == emr::POLYBEZIER16 || type == emr::POLYBEZIERTO16 || type == emr::POLYDRAW16;
}
bool mf::is_points(DWORD type) {
    return type == emr::POLYGON || type == emr::POLYLINE || type == emr::POLYLINETO ||
           type == emr::POLYBEZIER || type == emr::POLYBEZIERTO || type == emr::POLYDRAW ||
           is_small_points(type);
}
bool mf::is_polys(DWORD type) {
    return type == emr::POLYPOLYGON || type == emr::POLYPOLYLINE || type == emr::POLYPOLYGON16 ||
           type == emr::POLYPOLYLINE16;
}
bool mf::is_poly_draw(DWORD type) {
    return type == emr::POLYDRAW || type == emr::POLYDRAW16;
}

// ---------------------------------------------------------------------------
// Windows metafiles

namespace {

// Checks one Windows metafile record's parameters; "" when sound. `known`
// turns false for a function the player does not know.
std::string check_wmf_record(const WRec& r, bool& known) {
    known = true;
    auto need = [&](std::size_t k) {
        return r.n >= k ? std::string() : "record " + hex(r.fn) + " too short";
    };
    if (const CallAt* c = wmf_call(r.fn)) return need(call_size(*c, false));
    switch (r.fn) {
    case wmf::SAVEDC:
    case wmf::REALIZEPALETTE:
        return {};
    case wmf::SETRELABS:
    case wmf::SETTEXTCHAREXTRA:
    case wmf::RESTOREDC:
    case wmf::SELECTOBJECT:
    case wmf::SELECTCLIPREGION:
    case wmf::DELETEOBJECT:
    case wmf::SELECTPALETTE:
    case wmf::INVERTREGION:
    case wmf::PAINTREGION:
        return need(1);
    case wmf::SETTEXTJUSTIFICATION:
    case wmf::FILLREGION:
    case wmf::SETMAPPERFLAGS:
        return need(2);
    case wmf::FRAMEREGION:
    case wmf::FLOODFILL:
        return need(4);
    case wmf::PATBLT:
        return need(6);
    case wmf::CREATEPENINDIRECT:
        return need(5);
    case wmf::CREATEBRUSHINDIRECT:
        return need(4);
    case wmf::CREATEFONTINDIRECT:
        return need(9);
    case wmf::CREATEPALETTE: {
        if (r.n < 2) return need(2);
        std::size_t entries = r.u(1);
        return r.n >= 2 + entries * 2 ? std::string() : "palette record too short";
    }
    case wmf::ESCAPE: {
        if (r.n < 2) return need(2);
        return r.bytes_from(2) >= r.u(1) ? std::string() : "escape record too short";
    }
    case wmf::POLYGON:
    case wmf::POLYLINE: {
        if (r.n < 1) return need(1);
        return r.n >= 1 + 2 * static_cast<std::size_t>(r.u(0)) ? std::string()
                                                               : "point count beyond the record";
    }
    case wmf::POLYPOLYGON: {
        if (r.n < 1) return need(1);
        std::size_t polys = r.u(0);
        if (r.n < 1 + polys) return "polygon count beyond the record";
        std::size_t total = 0;
        for (std::size_t i = 0; i < polys; ++i) total += r.u(1 + i);
        return r.n >= 1 + polys + 2 * total ? std::string() : "point count beyond the record";
    }
    case wmf::TEXTOUT: {
        if (r.n < 1) return need(1);
        std::size_t len = static_cast<std::size_t>(std::max<int>(0, r.s(0)));
        return r.n >= 1 + (len + 1) / 2 + 2 ? std::string() : "text beyond the record";
    }
    case wmf::EXTTEXTOUT: {
        if (r.n < 4) return need(4);
        std::size_t len = static_cast<std::size_t>(std::max<int>(0, r.s(2)));
        std::size_t at = 4 + ((r.u(3) & (ETO_OPAQUE | ETO_CLIPPED)) ? 4 : 0);
        return r.n >= at + (len + 1) / 2 ? std::string() : "text beyond the record";
    }
    case wmf::DIBCREATEPATTERNBRUSH:
        return need(2);
    case wmf::DIBBITBLT:
        return r.n >= 2 && rop_uses_src(r.u32(0)) ? need(8) : need(9);
    case wmf::DIBSTRETCHBLT:
        return r.n >= 2 && rop_uses_src(r.u32(0)) ? need(10) : need(11);
    case wmf::STRETCHDIB:
        return need(11);
    case wmf::SETDIBTODEV:
        return need(9);
    case wmf::CREATEREGION: {
        if (r.n < 11) return need(11);
        std::size_t scans = r.u(5);
        std::size_t at = 11;
        for (std::size_t i = 0; i < scans; ++i) {
            if (r.n < at + 3) return "region scan beyond the record";
            std::size_t count = r.u(at);
            if (count % 2) return "region scan with an odd count";
            if (r.n < at + 3 + count + 1) return "region scan beyond the record";
            at += 3 + count + 1;
        }
        return {};
    }
    case wmf::BITBLT:
    case wmf::STRETCHBLT:
        return {}; // old device-bitmap transfers: accepted and skipped
    default:
        known = false;
        return {};
    }
}

} // namespace

// Walks the records; `each` returns false to stop (an error).
bool mf::walk_wmf(const BYTE* data, std::size_t size, std::string& error,
                  const std::function<bool(const WRec&)>& each) {
    if (size < 18) {
        error = "metafile header truncated";
        return false;
    }
    WORD type = u16at(data), header_words = u16at(data + 2), version = u16at(data + 4);
    if ((type != 1 && type != 2) || header_words != 9 || (version != 0x0300 && version != 0x0100)) {
        error = "not a Windows metafile (bad header)";
        return false;
    }
    std::size_t total = static_cast<std::size_t>(u32at(data + 6)) * 2;
    if (total < 18 + 6 || total > size) {
        error = "metafile size " + std::to_string(total) + " does not match the data (" +
                std::to_string(size) + " bytes)";
        return false;
    }
    std::size_t pos = 18;
    while (true) {
        if (total - pos < 6) {
            error = "metafile truncated: no end record";
            return false;
        }
        std::size_t words = u32at(data + pos);
        WORD fn = u16at(data + pos + 4);
        if (words < 3 || words > (total - pos) / 2) {
            error = "record at byte " + std::to_string(pos) + " has a bad size";
            return false;
        }
        if (fn == wmf::EOF_) return true;
        WRec r{fn, data + pos + 6, words - 3};
        if (!each(r)) return false;
        pos += words * 2;
    }
}

bool gdi::validate_wmf(const BYTE* data, std::size_t size, std::string& error,
                       SkippedRecords* skipped) {
    if (!data) {
        error = "no metafile data";
        return false;
    }
    if (size < 18) {
        error = "metafile header truncated";
        return false;
    }
    std::size_t objects = u16at(data + 10);
    std::vector<bool> used(objects, false);
    return walk_wmf(data, size, error, [&](const WRec& r) {
        bool known = true;
        std::string e = check_wmf_record(r, known);
        if (!e.empty()) {
            error = e;
            return false;
        }
        if (!known && skipped && skipped->count++ == 0) skipped->first = r.fn;
        if (wmf_creates(r.fn)) {
            auto it = std::find(used.begin(), used.end(), false);
            if (it == used.end()) {
                error = "more objects than the header's object table holds";
                return false;
            }
            *it = true;
        } else if (r.fn == wmf::DELETEOBJECT) {
            if (r.u(0) >= objects) {
                error = "object index " + std::to_string(r.u(0)) + " outside the object table";
                return false;
            }
            used[r.u(0)] = false;
        } else if (r.fn == wmf::SELECTOBJECT || r.fn == wmf::SELECTPALETTE) {
            if (r.u(0) >= objects) {
                error = "object index " + std::to_string(r.u(0)) + " outside the object table";
                return false;
            }
        }
        return true;
    });
}

// ---------------------------------------------------------------------------
// Enhanced metafiles

namespace {

// Too short for a record of k bytes: the message, else "".
std::string emf_need(const ERec& r, std::size_t k) {
    return r.size >= k ? std::string() : "record type " + std::to_string(r.type) + " too short";
}

// An object index a record may use: a stock object or a slot of the table.
bool emf_handle_ok(std::uint32_t ih, std::size_t handles) {
    return (ih & emf_stock_bit) || (ih >= 1 && ih < handles);
}

// A record of points, or of polygons with their point counts: every point
// inside the record, the polygons' counts adding up to the total.
std::string check_emf_points(const ERec& r) {
    if (is_points(r.type)) {
        if (r.size < 28) return emf_need(r, 28);
        std::size_t n = r.u(24);
        // Points of 8 or 4 bytes; a point drawing adds one kind byte a point.
        std::size_t each = (is_small_points(r.type) ? 4 : 8) + (is_poly_draw(r.type) ? 1 : 0);
        return n <= (r.size - 28) / each ? std::string() : "point count beyond the record";
    }
    if (r.size < 32) return emf_need(r, 32);
    std::uint64_t polys = r.u(24), total = r.u(28);
    if (!r.span(32, polys * 4)) return "polygon count beyond the record";
    std::uint64_t sum = 0;
    for (std::uint64_t k = 0; k < polys; ++k) sum += r.u(32 + 4 * k);
    if (sum != total) return "polygon point counts do not add up";
    bool small = r.type == emr::POLYPOLYGON16 || r.type == emr::POLYPOLYLINE16;
    return r.span(32 + polys * 4, total * (small ? 4 : 8)) ? std::string()
                                                           : "point count beyond the record";
}

// A record making an object: at least k bytes, a slot of the table (not a
// stock object) to put it in, and its own parts (a pen's style, a brush's
// bitmap) inside the record. Null for a record of another kind.
std::optional<std::string> check_emf_creation(const ERec& r, std::size_t handles) {
    auto creates = [&](std::size_t k) {
        std::string e = emf_need(r, k);
        if (!e.empty()) return e;
        return emf_handle_ok(r.u(8), handles) && !(r.u(8) & emf_stock_bit)
                   ? std::string()
                   : "object index out of range";
    };
    switch (r.type) {
    case emr::CREATEPEN:
        return creates(28);
    case emr::EXTCREATEPEN: {
        std::string e = creates(52);
        if (!e.empty()) return e;
        return r.span(52, static_cast<std::size_t>(r.u(48)) * 4) ? std::string()
                                                                 : "pen style beyond the record";
    }
    case emr::CREATEBRUSHINDIRECT:
        return creates(24);
    case emr::CREATEMONOBRUSH:
    case emr::CREATEDIBPATTERNBRUSHPT: {
        std::string e = creates(32);
        if (!e.empty()) return e;
        if (!r.span(r.u(16), r.u(20)) || !r.span(r.u(24), r.u(28)))
            return "bitmap beyond the record";
        return std::string();
    }
    case emr::EXTCREATEFONTINDIRECTW:
        return creates(12 + 92);
    case emr::CREATEPALETTE:
        return creates(16);
    default:
        return std::nullopt;
    }
}

// A record carrying a payload at offsets it gives (text and its spacing, a
// region's rectangles, a bitmap): each part inside the record. Null for a
// record of another kind.
std::optional<std::string> check_emf_payload(const ERec& r) {
    switch (r.type) {
    case emr::EXTTEXTOUTA:
    case emr::EXTTEXTOUTW: {
        std::string e = emf_need(r, 76);
        if (!e.empty()) return e;
        std::size_t n = r.u(44), off = r.u(48), offdx = r.u(72);
        std::size_t unit = r.type == emr::EXTTEXTOUTW ? 2 : 1;
        if (n > 0xFFFF || !r.span(off, n * unit)) return "text beyond the record";
        if (offdx && !r.span(offdx, n * 4)) return "character spacing beyond the record";
        return std::string();
    }
    case emr::EXTSELECTCLIPRGN: {
        std::string e = emf_need(r, 16);
        if (!e.empty()) return e;
        std::size_t cb = r.u(8);
        if (cb == 0) return std::string();
        if (cb < 32 || !r.span(16, cb)) return "region beyond the record";
        std::size_t n = r.u(16 + 8);
        if (n > (cb - 32) / 16) return "region rectangles beyond the record";
        return std::string();
    }
    case emr::BITBLT:
    case emr::STRETCHBLT: {
        std::string e = emf_need(r, r.type == emr::BITBLT ? 100 : 108);
        if (!e.empty()) return e;
        // Without a source bitmap (offset 0) the transfer is a pattern operation.
        if (r.u(84) != 0 && (!r.span(r.u(84), r.u(88)) || !r.span(r.u(92), r.u(96))))
            return "bitmap beyond the record";
        return std::string();
    }
    case emr::STRETCHDIBITS: {
        std::string e = emf_need(r, 80);
        if (!e.empty()) return e;
        if (!r.span(r.u(48), r.u(52)) || !r.span(r.u(56), r.u(60)))
            return "bitmap beyond the record";
        return std::string();
    }
    default:
        return std::nullopt;
    }
}

// One record of an enhanced metafile checked against the table of handles
// objects: "" when sound, else what is wrong; known is false for a record
// type the checker does not know (which is passed).
std::string check_emf_record(const ERec& r, std::size_t handles, bool& known) {
    known = true;
    if (const CallAt* c = emf_call(r.type)) return emf_need(r, call_size(*c, true));
    if (is_points(r.type) || is_polys(r.type)) return check_emf_points(r);
    if (std::optional<std::string> e = check_emf_creation(r, handles)) return *e;
    if (std::optional<std::string> e = check_emf_payload(r)) return *e;
    switch (r.type) {
    case emr::EOF_:
        return emf_need(r, 20);
    case emr::SAVEDC:
    case emr::REALIZEPALETTE:
        return emf_need(r, 8);
    case emr::RESTOREDC:
    case emr::SETARCDIRECTION:
    case emr::SETMAPPERFLAGS:
    case emr::SETICMMODE:
    case emr::SETLAYOUT:
    case emr::SETMITERLIMIT:
    case emr::SELECTPALETTE:
        return emf_need(r, 12);
    case emr::SELECTOBJECT:
    case emr::DELETEOBJECT: {
        std::string e = emf_need(r, 12);
        if (!e.empty()) return e;
        std::uint32_t ih = r.u(8);
        if (r.type == emr::DELETEOBJECT && (ih & emf_stock_bit)) return {};
        return emf_handle_ok(ih, handles) ? std::string()
                                          : "object index " + std::to_string(ih) + " out of range";
    }
    case emr::SETBRUSHORGEX:
        return emf_need(r, 16);
    case emr::BEGINPATH:
    case emr::ENDPATH:
    case emr::CLOSEFIGURE:
    case emr::FLATTENPATH:
    case emr::WIDENPATH:
    case emr::ABORTPATH:
        return emf_need(r, 8);
    case emr::SELECTCLIPPATH:
        return emf_need(r, 12);
    case emr::FILLPATH:
    case emr::STROKEANDFILLPATH:
    case emr::STROKEPATH:
        return emf_need(r, 24);
    case emr::SETWORLDTRANSFORM:
        return emf_need(r, 32);
    case emr::MODIFYWORLDTRANSFORM:
        return emf_need(r, 36);
    case emr::GDICOMMENT:
    case emr::SETCOLORADJUSTMENT:
    case emr::SETMETARGN:
    case emr::SETPALETTEENTRIES:
    case emr::RESIZEPALETTE:
        return emf_need(r, 8);
    default:
        known = false;
        return {};
    }
}

} // namespace

bool mf::walk_emf(const BYTE* data, std::size_t size, std::string& error,
                  const std::function<bool(const ERec&)>& each) {
    if (!data || size < 88) {
        error = "enhanced metafile header truncated";
        return false;
    }
    if (u32at(data) != emr::HEADER || u32at(data + 40) != emf_signature) {
        error = "not an enhanced metafile (no \" EMF\" header)";
        return false;
    }
    std::size_t hsize = u32at(data + 4);
    std::size_t total = u32at(data + 48);
    if (hsize < 88 || hsize % 4 || hsize > size) {
        error = "enhanced metafile header size " + std::to_string(hsize) + " out of range";
        return false;
    }
    if (total < hsize || total > size) {
        error = "enhanced metafile size " + std::to_string(total) + " does not match the data (" +
                std::to_string(size) + " bytes)";
        return false;
    }
    std::size_t pos = hsize;
    while (true) {
        if (total - pos < 8) {
            error = "enhanced metafile truncated: no end record";
            return false;
        }
        DWORD type = u32at(data + pos);
        std::size_t rs = u32at(data + pos + 4);
        if (rs < 8 || rs % 4 || rs > total - pos) {
            error = "record at byte " + std::to_string(pos) + " has a bad size";
            return false;
        }
        ERec r{type, data + pos, rs};
        if (type == emr::HEADER) {
            error = "a second header record";
            return false;
        }
        if (!each(r)) return false;
        if (type == emr::EOF_) return true;
        pos += rs;
    }
}

bool gdi::validate_emf(const BYTE* data, std::size_t size, std::string& error,
                       SkippedRecords* skipped) {
    if (!data || size < 88) {
        error = "enhanced metafile header truncated";
        return false;
    }
    std::size_t handles = u16at(data + 56);
    return walk_emf(data, size, error, [&](const ERec& r) {
        bool known = true;
        std::string e = check_emf_record(r, handles, known);
        if (!e.empty()) {
            error = e;
            return false;
        }
        if (!known && skipped && skipped->count++ == 0) skipped->first = r.type;
        return true;
    });
}

std::string gdi::skipped_message(const SkippedRecords& skipped, bool emf) {
    std::string first = emf ? "type " + std::to_string(skipped.first) : hex(skipped.first);
    return std::to_string(skipped.count) +
           (skipped.count == 1 ? " record of an unknown kind was"
                               : " records of unknown kinds were") +
           " skipped (the first: " + first + "); the rest of the picture is shown";
}
