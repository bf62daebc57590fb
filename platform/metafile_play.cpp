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
