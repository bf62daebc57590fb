// What the two metafile players share: the object table, the context's state
// around a playback, the objects both formats make and the polygons both
// draw.
#include "platform/metafile_play.h"

#include <algorithm>

using namespace gdi;
using namespace gdi::mf;

// ---------------------------------------------------------------------------
// The object table

void ObjectTable::assign(std::size_t slots) {
    slot_.assign(slots, nullptr);
    used_.assign(slots, false);
}

void ObjectTable::put_free(HGDIOBJ h) {
    auto it = std::find(used_.begin(), used_.end(), false);
    if (it == used_.end()) { // the checks leave a slot for every creation
        if (h) DeleteObject(h);
        return;
    }
    put_at(static_cast<std::size_t>(it - used_.begin()), h);
}

void ObjectTable::put_at(std::size_t i, HGDIOBJ h) {
    if (i >= slot_.size()) {
        if (h) DeleteObject(h);
        return;
    }
    if (slot_[i]) DeleteObject(slot_[i]);
    slot_[i] = h;
    used_[i] = true;
}

void ObjectTable::remove(std::size_t i) {
    if (i >= slot_.size() || !used_[i]) return;
    if (slot_[i]) DeleteObject(slot_[i]);
    slot_[i] = nullptr;
    used_[i] = false;
}

void ObjectTable::clear() {
    for (std::size_t i = 0; i < slot_.size(); ++i) remove(i);
}

// ---------------------------------------------------------------------------
// The state of a playback

bool PlayerState::save() {
    if (!SaveDC(dc)) return false;
    ++saves;
    return true;
}

int PlayerState::restore(int n) {
    // Only levels this picture saved may be restored.
    long back = n < 0 ? -static_cast<long>(n) : 0;
    if (back < 1 || back > saves || !RestoreDC(dc, n)) return 0;
    saves -= static_cast<int>(back);
    return static_cast<int>(back);
}

void PlayerState::select(HGDIOBJ h) {
    if (h)
        SelectObject(dc, h);
    else
        ok = false;
}

QImage PlayerState::dib(const BYTE* data, std::size_t size, bool* mono) {
    std::string err;
    QImage img = decode_dib(data, size, err, mono);
    if (img.isNull()) {
        fail(std::string(emf ? "enhanced metafile bitmap: " : "metafile bitmap: ") + err);
        ok = false;
    }
    return img;
}

Playback::Playback(HDC h) : h_(h) {
    if (!SaveDC(h)) return;
    saved_ = true;
    Dc* d = dc(h);
    if (!d) return;
    had_meta_ = d->has_meta_clip;
    old_meta_ = d->meta_clip;
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    d->has_meta_clip = has;
    d->meta_clip = clip;
}

bool Playback::count(Limits& limits) {
    if (++played_ <= max_records_played) return true;
    limits.reached("more than " + std::to_string(max_records_played) + " records");
    return false;
}

bool Playback::finish(PlayerState& st, std::string* limits) {
    if (Dc* d = dc(h_)) {
        d->has_meta_clip = had_meta_;
        d->meta_clip = old_meta_;
    }
    RestoreDC(h_, -1 - st.saves);
    st.objects.clear();
    st.limits.report(limits, st.emf);
    if (!st.ok)
        fail(std::string(st.emf ? "PlayEnhMetaFile" : "PlayMetaFile") +
             ": some records could not be played");
    return st.ok;
}

// ---------------------------------------------------------------------------
// Objects

HPEN mf::make_pen(int style, int width, COLORREF color) {
    if (style & (PS_ENDCAP_MASK | PS_JOIN_MASK | PS_TYPE_MASK)) {
        LOGBRUSH lb{BS_SOLID, color, 0};
        return ExtCreatePen(static_cast<DWORD>(style | PS_GEOMETRIC),
                            static_cast<DWORD>(std::max(0, width)), &lb, 0, nullptr);
    }
    return CreatePen(style, width, color);
}

HBRUSH mf::make_brush(std::uint32_t style, COLORREF color, std::uint32_t hatch) {
    if (style == BS_HATCHED)
        return CreateHatchBrush(static_cast<int>(std::min<std::uint32_t>(hatch, 5)), color);
    if (style == BS_NULL) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return CreateSolidBrush(color);
}

HGDIOBJ mf::make_pattern_brush(const QImage& img, bool mono) {
    HBRUSH b = nullptr;
    if (!img.isNull()) {
        HBITMAP bm = gdi_bitmap_from_image(img);
        if (mono)
            if (Object* o = object(bm, Kind::bitmap)) o->bits_pixel = 1;
        b = CreatePatternBrush(bm);
        DeleteObject(bm);
    }
    return b ? static_cast<HGDIOBJ>(b) : GetStockObject(NULL_BRUSH);
}

LOGFONT mf::font_head(int height, int width, int escapement, int orientation, int weight,
                      const BYTE* flags) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = flags[0];
    lf.lfUnderline = flags[1];
    lf.lfStrikeOut = flags[2];
    lf.lfCharSet = flags[3];
    lf.lfOutPrecision = flags[4];
    lf.lfClipPrecision = flags[5];
    lf.lfQuality = flags[6];
    lf.lfPitchAndFamily = flags[7];
    return lf;
}

HRGN mf::region_object(const QRegion& region) {
    HRGN h = CreateRectRgn(0, 0, 0, 0);
    if (Object* o = object(h, Kind::region)) o->region = region;
    return h;
}

// ---------------------------------------------------------------------------
// The calls both formats make

namespace {

// A table of calls looked up by the record's low byte (a Windows function's
// number, an enhanced record's type), the whole record number confirmed.
class CallTable {
public:
    template <std::size_t N> constexpr explicit CallTable(const CallAt (&calls)[N]) {
        for (const CallAt& c : calls) {
            if (by_low_[c.record & 0xFF].call != Call::none)
                throw "two records of the table share a low byte";
            by_low_[c.record & 0xFF] = c;
        }
    }
    const CallAt* find(DWORD record) const {
        const CallAt& c = by_low_[record & 0xFF];
        return c.call != Call::none && c.record == record ? &c : nullptr;
    }

private:
    std::array<CallAt, 256> by_low_{};
};

// The records that are one drawing call, and the parameters of its arguments.
constexpr CallAt wmf_call_list[] = {
    {wmf::SETBKCOLOR, Call::bk_color, {0}},
    {wmf::SETTEXTCOLOR, Call::text_color, {0}},
    {wmf::SETBKMODE, Call::bk_mode, {0}},
    {wmf::SETMAPMODE, Call::map_mode, {0}},
    {wmf::SETROP2, Call::rop2, {0}},
    {wmf::SETPOLYFILLMODE, Call::poly_fill_mode, {0}},
    {wmf::SETSTRETCHBLTMODE, Call::stretch_blt_mode, {0}},
    {wmf::SETTEXTALIGN, Call::text_align, {0}},
    {wmf::SETWINDOWORG, Call::window_org, {1, 0}},
    {wmf::SETWINDOWEXT, Call::window_ext, {1, 0}},
    {wmf::SETVIEWPORTORG, Call::viewport_org, {1, 0}},
    {wmf::SETVIEWPORTEXT, Call::viewport_ext, {1, 0}},
    {wmf::OFFSETWINDOWORG, Call::offset_window_org, {1, 0}},
    {wmf::OFFSETVIEWPORTORG, Call::offset_viewport_org, {1, 0}},
    {wmf::SCALEWINDOWEXT, Call::scale_window_ext, {3, 2, 1, 0}},
    {wmf::SCALEVIEWPORTEXT, Call::scale_viewport_ext, {3, 2, 1, 0}},
    {wmf::MOVETO, Call::move_to, {1, 0}},
    {wmf::LINETO, Call::line_to, {1, 0}},
    {wmf::OFFSETCLIPRGN, Call::offset_clip, {1, 0}},
    {wmf::EXCLUDECLIPRECT, Call::exclude_clip, {3, 2, 1, 0}},
    {wmf::INTERSECTCLIPRECT, Call::intersect_clip, {3, 2, 1, 0}},
    {wmf::SETPIXEL, Call::set_pixel, {3, 2, 0}},
    {wmf::ELLIPSE, Call::ellipse, {3, 2, 1, 0}},
    {wmf::RECTANGLE, Call::rectangle, {3, 2, 1, 0}},
    {wmf::ROUNDRECT, Call::round_rect, {5, 4, 3, 2, 1, 0}},
    {wmf::ARC, Call::arc, {7, 6, 5, 4, 3, 2, 1, 0}},
    {wmf::CHORD, Call::chord, {7, 6, 5, 4, 3, 2, 1, 0}},
    {wmf::PIE, Call::pie, {7, 6, 5, 4, 3, 2, 1, 0}},
};
constexpr CallTable wmf_calls(wmf_call_list);

// The records that are one drawing call, and the byte offsets of its arguments.
constexpr CallAt emf_call_list[] = {
    {emr::SETBKCOLOR, Call::bk_color, {8}},
    {emr::SETTEXTCOLOR, Call::text_color, {8}},
    {emr::SETBKMODE, Call::bk_mode, {8}},
    {emr::SETMAPMODE, Call::map_mode, {8}},
    {emr::SETROP2, Call::rop2, {8}},
    {emr::SETPOLYFILLMODE, Call::poly_fill_mode, {8}},
    {emr::SETSTRETCHBLTMODE, Call::stretch_blt_mode, {8}},
    {emr::SETTEXTALIGN, Call::text_align, {8}},
    {emr::SETWINDOWORGEX, Call::window_org, {8, 12}},
    {emr::SETWINDOWEXTEX, Call::window_ext, {8, 12}},
    {emr::SETVIEWPORTORGEX, Call::viewport_org, {8, 12}},
    {emr::SETVIEWPORTEXTEX, Call::viewport_ext, {8, 12}},
    {emr::SCALEWINDOWEXTEX, Call::scale_window_ext, {8, 12, 16, 20}},
    {emr::SCALEVIEWPORTEXTEX, Call::scale_viewport_ext, {8, 12, 16, 20}},
    {emr::MOVETOEX, Call::move_to, {8, 12}},
    {emr::LINETO, Call::line_to, {8, 12}},
    {emr::OFFSETCLIPRGN, Call::offset_clip, {8, 12}},
    {emr::EXCLUDECLIPRECT, Call::exclude_clip, {8, 12, 16, 20}},
    {emr::INTERSECTCLIPRECT, Call::intersect_clip, {8, 12, 16, 20}},
    {emr::SETPIXELV, Call::set_pixel, {8, 12, 16}},
    {emr::ELLIPSE, Call::ellipse, {8, 12, 16, 20}},
    {emr::RECTANGLE, Call::rectangle, {8, 12, 16, 20}},
    {emr::ROUNDRECT, Call::round_rect, {8, 12, 16, 20, 24, 28}},
    {emr::ARC, Call::arc, {8, 12, 16, 20, 24, 28, 32, 36}},
    {emr::CHORD, Call::chord, {8, 12, 16, 20, 24, 28, 32, 36}},
    {emr::PIE, Call::pie, {8, 12, 16, 20, 24, 28, 32, 36}},
};
constexpr CallTable emf_calls(emf_call_list);

// The arguments each call takes.
int arity(Call c) {
    switch (c) {
    case Call::none:
        return 0;
    case Call::bk_color:
    case Call::text_color:
    case Call::bk_mode:
    case Call::map_mode:
    case Call::rop2:
    case Call::poly_fill_mode:
    case Call::stretch_blt_mode:
    case Call::text_align:
        return 1;
    case Call::set_pixel:
        return 3;
    case Call::scale_window_ext:
    case Call::scale_viewport_ext:
    case Call::exclude_clip:
    case Call::intersect_clip:
    case Call::ellipse:
    case Call::rectangle:
        return 4;
    case Call::round_rect:
        return 6;
    case Call::arc:
    case Call::chord:
    case Call::pie:
        return 8;
    default: // a point or a size
        return 2;
    }
}

// Is the call's argument `k` a double word (a colour)?
bool is_dword(Call c, int k) {
    return ((c == Call::bk_color || c == Call::text_color) && k == 0) ||
           (c == Call::set_pixel && k == 2);
}

} // namespace

const CallAt* mf::wmf_call(WORD fn) {
    return wmf_calls.find(fn);
}
const CallAt* mf::emf_call(DWORD type) {
    return emf_calls.find(type);
}

std::size_t mf::call_size(const CallAt& c, bool emf) {
    std::size_t need = 0;
    for (int k = 0; k < arity(c.call); ++k) {
        std::size_t width = emf ? 4 : is_dword(c.call, k) ? 2 : 1;
        need = std::max(need, c.at[static_cast<std::size_t>(k)] + width);
    }
    return need;
}

// ---------------------------------------------------------------------------
// Polygons

std::vector<POINT> mf::read_points(const BYTE* p, std::size_t avail, std::size_t n, bool small) {
    std::vector<POINT> pts(n);
    std::size_t each = small ? 4 : 8;
    for (std::size_t k = 0; k < n && (k + 1) * each <= avail; ++k) {
        const BYTE* q = p + k * each;
        pts[k] = small ? POINT{i16at(q), i16at(q + 2)} : POINT{i32at(q), i32at(q + 4)};
    }
    return pts;
}

void mf::draw_poly(HDC dc, const std::vector<POINT>& pts, bool closed) {
    if (pts.size() < 2) return;
    if (closed)
        Polygon(dc, pts.data(), static_cast<int>(pts.size()));
    else
        Polyline(dc, pts.data(), static_cast<int>(pts.size()));
}

void mf::draw_polys(HDC dc, const std::vector<POINT>& pts, const std::vector<int>& counts,
                    bool closed) {
    if (counts.empty() || std::any_of(counts.begin(), counts.end(), [](int n) { return n < 2; }))
        return;
    if (closed) {
        PolyPolygon(dc, pts.data(), counts.data(), static_cast<int>(counts.size()));
    } else {
        std::vector<DWORD> dc_counts(counts.begin(), counts.end());
        PolyPolyline(dc, pts.data(), dc_counts.data(), static_cast<DWORD>(counts.size()));
    }
}
