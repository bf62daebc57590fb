// The pieces the two metafile players share: reading a record's fields, the
// checked walk over the records, the work one picture may cause, the object
// table and state of a playback, and the drawing calls both formats make
// alike (each format saying where its records keep the arguments).
//
// The players trust what the checks passed: every field they read was
// checked against the record first (platform/metafile_check.cpp).
#pragma once

#include "platform/metafile.h"

#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace gdi::mf {

// ---------------------------------------------------------------------------
// Little-endian fields

inline std::uint16_t u16at(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t i16at(const BYTE* p) {
    return static_cast<std::int16_t>(u16at(p));
}
inline std::uint32_t u32at(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t i32at(const BYTE* p) {
    return static_cast<std::int32_t>(u32at(p));
}
inline float f32at(const BYTE* p) {
    std::uint32_t bits = u32at(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
std::string hex(unsigned v); // 0x%04X

// ---------------------------------------------------------------------------
// Records
//
// Both kinds of record answer `field` (a signed number), `word` (a mode or
// flags: unsigned, as wide as the format's fields) and `dword` (a colour or
// raster operation) by where the field is: a parameter index in a Windows
// metafile, a byte offset in an enhanced one.

// A Windows metafile record's parameters (16-bit words).
struct WRec {
    WORD fn;
    const BYTE* p; // parameters
    std::size_t n; // number of parameter words
    std::int16_t s(std::size_t i) const { return i < n ? i16at(p + 2 * i) : 0; }
    std::uint16_t u(std::size_t i) const { return i < n ? u16at(p + 2 * i) : 0; }
    std::uint32_t u32(std::size_t i) const {
        return u(i) | (static_cast<std::uint32_t>(u(i + 1)) << 16);
    }
    const BYTE* bytes(std::size_t word) const { return p + 2 * word; }
    std::size_t bytes_from(std::size_t word) const { return word <= n ? 2 * (n - word) : 0; }
    int field(std::size_t i) const { return s(i); }
    unsigned word(std::size_t i) const { return u(i); }
    std::uint32_t dword(std::size_t i) const { return u32(i); }
};

// An enhanced metafile record, fields by byte offset from its start.
struct ERec {
    DWORD type;
    const BYTE* p; // whole record
    std::size_t size;
    std::int32_t i(std::size_t off) const { return off + 4 <= size ? i32at(p + off) : 0; }
    std::uint32_t u(std::size_t off) const { return off + 4 <= size ? u32at(p + off) : 0; }
    bool span(std::size_t off, std::size_t len) const { return off <= size && len <= size - off; }
    int field(std::size_t off) const { return i(off); }
    unsigned word(std::size_t off) const { return u(off); }
    std::uint32_t dword(std::size_t off) const { return u(off); }
};

// Walks the records; `each` returns false to stop (an error). The end record
// is handed to `each` in an enhanced metafile, not in a Windows one.
bool walk_wmf(const BYTE* data, std::size_t size, std::string& error,
              const std::function<bool(const WRec&)>& each);
bool walk_emf(const BYTE* data, std::size_t size, std::string& error,
              const std::function<bool(const ERec&)>& each);

// Does a Windows metafile record create an object (taking the lowest free
// slot)? Besides the known ones, every function numbered like an object
// creation (low byte 0xF7 and up) does, so that the indexes after it stay right.
bool wmf_creates(WORD fn);
// Enhanced records whose points are 16-bit pairs, and the point drawings
// (a kind byte after the points).
bool is_small_points(DWORD type);
// Records of one run of points (lines, curves, point drawings), and of
// several figures (poly-polygons and poly-polylines), in 16 or 32 bits.
bool is_points(DWORD type);
bool is_polys(DWORD type);
bool is_poly_draw(DWORD type);
bool rop_uses_src(DWORD rop);

// ---------------------------------------------------------------------------
// The work one picture may cause
//
// A few hundred bytes can ask for a path of millions of points, a region of
// millions of pieces or a long run of drawing. Past these limits a picture is
// simplified (the part that would cost too much is left out or replaced by its
// bounding box) and one message says what was reached.

inline constexpr int max_path_points = 1'000'000;            // elements of one path
inline constexpr std::uint64_t max_region_rows = 1'000'000;  // edge rows of a clip path
inline constexpr std::size_t max_loose_rects = 2'000;        // rectangles not in bands
inline constexpr std::size_t max_records_played = 4'000'000; // records of one picture

struct Limits {
    std::string first; // the first limit reached ("" while none)
    void reached(const std::string& what) {
        if (first.empty()) first = what;
    }
    // Hands what was reached to the caller, or gives the message itself.
    void report(std::string* out, bool emf) const;
};

// The part of the device where drawing can land, with a pixel to spare: a
// clip outside it changes nothing that can be seen.
QRect drawing_area(Dc& d);
// The region a filled path (device pixels) covers within `area`.
QRegion path_region(const QPainterPath& path, Qt::FillRule rule, const QRect& area, Limits& limits);
// The union of rectangles read from a file (sorted in place).
QRegion region_of(std::vector<QRect>& rects, Limits& limits);

// ---------------------------------------------------------------------------
// A playback: the context's state around the records, and the objects the
// picture made

// The picture's object table: a Windows metafile puts each new object in the
// lowest free slot, an enhanced one names the slot.
class ObjectTable {
public:
    void assign(std::size_t slots);
    void put_free(HGDIOBJ h);
    void put_at(std::size_t i, HGDIOBJ h);
    HGDIOBJ get(std::size_t i) const { return i < slot_.size() ? slot_[i] : nullptr; }
    void remove(std::size_t i); // the record deleting it
    void clear();               // every object the picture left
private:
    std::vector<HGDIOBJ> slot_;
    std::vector<bool> used_;
};

// What either player keeps beside the context.
struct PlayerState {
    HDC dc = nullptr;
    bool emf = false;
    ObjectTable objects;
    int saves = 0; // levels the picture saved and has not restored
    bool ok = true;
    Limits limits;

    bool save();          // a save record: true when saved
    int restore(int n);   // a restore record: the levels restored (0: none)
    void select(HGDIOBJ); // a selection: no object is a fault of the picture
    // A packed bitmap of the record; a null image (and a fault) when it cannot
    // be decoded.
    QImage dib(const BYTE* data, std::size_t size, bool* mono = nullptr);
};

// Saves the context and keeps its clip as the picture's outer clip while the
// records play; counts the records against the limit; puts everything back.
class Playback {
public:
    explicit Playback(HDC h);
    bool saved() const { return saved_; }
    bool count(Limits& limits); // false past the limit of records
    // Puts the context back, deletes what the picture left and gives its
    // messages; the players' result.
    bool finish(PlayerState& st, std::string* limits);

private:
    HDC h_;
    bool saved_ = false;
    bool had_meta_ = false;
    QRegion old_meta_;
    std::size_t played_ = 0;
};

// ---------------------------------------------------------------------------
// Objects both formats make

HPEN make_pen(int style, int width, COLORREF color);
HBRUSH make_brush(std::uint32_t style, COLORREF color, std::uint32_t hatch);
// A brush of a decoded bitmap (the null brush when there is none).
HGDIOBJ make_pattern_brush(const QImage& img, bool mono);
// A font's numbers, then its eight flag bytes (italic .. pitch and family);
// the face is each format's own.
LOGFONT font_head(int height, int width, int escapement, int orientation, int weight,
                  const BYTE* flags);
// A region object of a region read from the picture.
HRGN region_object(const QRegion& region);

// ---------------------------------------------------------------------------
// Drawing calls both formats make

// `n` points from `p` (at most `avail` bytes; points past it read as 0):
// 16-bit pairs when `small`, else 32-bit pairs.
std::vector<POINT> read_points(const BYTE* p, std::size_t avail, std::size_t n, bool small);
// A polygon or polyline (fewer than two points draw nothing).
void draw_poly(HDC dc, const std::vector<POINT>& pts, bool closed);
// Polygons or polylines, `counts` points each; one of fewer than two points,
// or none at all, draws nothing.
void draw_polys(HDC dc, const std::vector<POINT>& pts, const std::vector<int>& counts, bool closed);

// Text bytes in the code page of the selected font, spacing given per byte
// (none when empty).
void play_coded_text(HDC dc, int x, int y, UINT options, const RECT* rc, const BYTE* text,
                     int length, const std::vector<int>& byte_dx, bool as_textout);
// `length` UTF-16 units from `text`, spacing given per unit (none when empty).
void play_utf16_text(HDC dc, int x, int y, UINT options, const RECT* rc, const BYTE* text,
                     std::size_t length, const std::vector<int>& dx);

// The calls made alike by both formats, and where a record keeps their
// arguments, in the order the call takes them.
enum class Call : std::uint8_t {
    none,
    bk_color,
    text_color,
    bk_mode,
    map_mode,
    rop2,
    poly_fill_mode,
    stretch_blt_mode,
    text_align,
    window_org,
    window_ext,
    viewport_org,
    viewport_ext,
    offset_window_org,
    offset_viewport_org,
    scale_window_ext,
    scale_viewport_ext,
    move_to,
    line_to,
    offset_clip,
    exclude_clip,
    intersect_clip,
    set_pixel,
    ellipse,
    rectangle,
    round_rect,
    arc,
    chord,
    pie,
};
struct CallAt {
    DWORD record = 0; // the Windows function or enhanced record type
    Call call = Call::none;
    std::array<std::uint8_t, 8> at{};
};

// The call a record makes (null for a record that is not one call).
const CallAt* wmf_call(WORD fn);
const CallAt* emf_call(DWORD type);
// The size a record needs for the call's arguments: parameter words in a
// Windows metafile, bytes in an enhanced one.
std::size_t call_size(const CallAt& c, bool emf);

template <typename Rec> void play_call(HDC dc, const Rec& r, const CallAt& c) {
    const auto& a = c.at;
    auto f = [&](int k) { return r.field(a[static_cast<std::size_t>(k)]); };
    auto mode = [&](int k) { return static_cast<int>(r.word(a[static_cast<std::size_t>(k)])); };
    switch (c.call) {
    case Call::none:
        break;
    case Call::bk_color:
        SetBkColor(dc, r.dword(a[0]));
        break;
    case Call::text_color:
        SetTextColor(dc, r.dword(a[0]));
        break;
    case Call::bk_mode:
        SetBkMode(dc, mode(0));
        break;
    case Call::map_mode:
        SetMapMode(dc, mode(0));
        break;
    case Call::rop2:
        SetROP2(dc, mode(0));
        break;
    case Call::poly_fill_mode:
        SetPolyFillMode(dc, mode(0));
        break;
    case Call::stretch_blt_mode:
        SetStretchBltMode(dc, mode(0));
        break;
    case Call::text_align:
        SetTextAlign(dc, r.word(a[0]));
        break;
    case Call::window_org:
        SetWindowOrgEx(dc, f(0), f(1), nullptr);
        break;
    case Call::window_ext:
        SetWindowExtEx(dc, f(0), f(1), nullptr);
        break;
    case Call::viewport_org:
        SetViewportOrgEx(dc, f(0), f(1), nullptr);
        break;
    case Call::viewport_ext:
        SetViewportExtEx(dc, f(0), f(1), nullptr);
        break;
    case Call::offset_window_org:
        OffsetWindowOrgEx(dc, f(0), f(1), nullptr);
        break;
    case Call::offset_viewport_org:
        OffsetViewportOrgEx(dc, f(0), f(1), nullptr);
        break;
    case Call::scale_window_ext:
        ScaleWindowExtEx(dc, f(0), f(1), f(2), f(3), nullptr);
        break;
    case Call::scale_viewport_ext:
        ScaleViewportExtEx(dc, f(0), f(1), f(2), f(3), nullptr);
        break;
    case Call::move_to:
        MoveToEx(dc, f(0), f(1), nullptr);
        break;
    case Call::line_to:
        LineTo(dc, f(0), f(1));
        break;
    case Call::offset_clip:
        OffsetClipRgn(dc, f(0), f(1));
        break;
    case Call::exclude_clip:
        ExcludeClipRect(dc, f(0), f(1), f(2), f(3));
        break;
    case Call::intersect_clip:
        IntersectClipRect(dc, f(0), f(1), f(2), f(3));
        break;
    case Call::set_pixel:
        SetPixel(dc, f(0), f(1), r.dword(a[2]));
        break;
    case Call::ellipse:
        Ellipse(dc, f(0), f(1), f(2), f(3));
        break;
    case Call::rectangle:
        Rectangle(dc, f(0), f(1), f(2), f(3));
        break;
    case Call::round_rect:
        RoundRect(dc, f(0), f(1), f(2), f(3), f(4), f(5));
        break;
    case Call::arc:
        Arc(dc, f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7));
        break;
    case Call::chord:
        Chord(dc, f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7));
        break;
    case Call::pie:
        Pie(dc, f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7));
        break;
    }
}

// ---------------------------------------------------------------------------
// Block transfers

// Where a block transfer record keeps its fields. A record whose source has
// the destination's size names the destination's size fields for the source.
struct BlitLayout {
    std::size_t rop;
    std::size_t x, y, w, h;     // destination
    std::size_t sx, sy, sw, sh; // source rectangle
    bool bottom_up;             // the source's rows count from the bottom
};

inline constexpr BlitLayout wmf_dib_bitblt{0, 7, 6, 5, 4, 3, 2, 5, 4, false};
inline constexpr BlitLayout wmf_dib_stretchblt{0, 9, 8, 7, 6, 5, 4, 3, 2, false};
inline constexpr BlitLayout wmf_stretchdib{0, 10, 9, 8, 7, 6, 5, 4, 3, true};
inline constexpr BlitLayout emf_bitblt{40, 24, 28, 32, 36, 44, 48, 32, 36, false};
inline constexpr BlitLayout emf_stretchblt{40, 24, 28, 32, 36, 44, 48, 100, 104, false};
inline constexpr BlitLayout emf_stretchdibits{68, 24, 28, 72, 76, 32, 36, 40, 44, true};

// The pattern form of a Windows metafile transfer: without a bitmap the record
// holds one reserved word more, ahead of the destination.
constexpr BlitLayout without_bitmap(BlitLayout at) {
    ++at.x;
    ++at.y;
    ++at.w;
    ++at.h;
    return at;
}

// Plays a transfer record of either format: onto the destination with the
// source bitmap, or (`src` null) as a pattern operation. A source that could
// not be decoded draws nothing.
template <typename Rec>
void play_blit(HDC dc, const Rec& r, const BlitLayout& at, const QImage* src) {
    DWORD rop = r.dword(at.rop);
    int x = r.field(at.x), y = r.field(at.y), w = r.field(at.w), h = r.field(at.h);
    if (!src) {
        PatBlt(dc, x, y, w, h, rop);
        return;
    }
    if (src->isNull()) return;
    int sy = r.field(at.sy), sh = r.field(at.sh);
    if (at.bottom_up) // counted from the bottom: far-off rows must not overflow
        sy = static_cast<int>(std::clamp<long long>(static_cast<long long>(src->height()) - sy - sh,
                                                    INT32_MIN, INT32_MAX));
    blit_image(dc, x, y, w, h, *src, r.field(at.sx), sy, r.field(at.sw), sh, rop);
}

} // namespace gdi::mf
