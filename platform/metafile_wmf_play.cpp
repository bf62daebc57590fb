// The Windows metafile player: each record of a checked metafile turned back
// into the drawing call it recorded. Parameters are stored last first, so a
// call's x comes after its y.
#include "platform/metafile_play.h"

#include <algorithm>
#include <cstring>

using namespace gdi;
using namespace gdi::mf;

namespace {

struct WmfPlayer : PlayerState {
    QImage dib(const WRec& r, std::size_t word) {
        return PlayerState::dib(r.bytes(word), r.bytes_from(word));
    }
    // `count` points from parameter `at`.
    static std::vector<POINT> points(const WRec& r, std::size_t at, std::size_t count) {
        return read_points(r.bytes(at), r.bytes_from(at), count, true);
    }
    void play(const WRec& r);
    void create(const WRec& r);
};

void WmfPlayer::play(const WRec& r) {
    if (const CallAt* c = wmf_call(r.fn)) {
        play_call(dc, r, *c);
        return;
    }
    switch (r.fn) {
    case wmf::SETTEXTCHAREXTRA:
        SetTextCharacterExtra(dc, r.s(0));
        break;
    case wmf::PATBLT:
        PatBlt(dc, r.s(5), r.s(4), r.s(3), r.s(2), r.u32(0));
        break;
    case wmf::SAVEDC:
        save();
        break;
    case wmf::RESTOREDC:
        restore(r.s(0));
        break;
    case wmf::POLYGON:
    case wmf::POLYLINE:
        draw_poly(dc, points(r, 1, r.u(0)), r.fn == wmf::POLYGON);
        break;
    case wmf::POLYPOLYGON: {
        std::size_t polys = r.u(0);
        std::vector<int> counts(polys);
        std::size_t total = 0;
        for (std::size_t i = 0; i < polys; ++i)
            total += static_cast<std::size_t>(counts[i] = r.u(1 + i));
        draw_polys(dc, points(r, 1 + polys, total), counts, true);
        break;
    }
    case wmf::TEXTOUT: {
        int len = std::max<int>(0, r.s(0));
        std::size_t after = 1 + (static_cast<std::size_t>(len) + 1) / 2;
        play_coded_text(dc, r.s(after + 1), r.s(after), 0, nullptr, r.bytes(1), len, {}, true);
        break;
    }
    case wmf::EXTTEXTOUT: {
        int y = r.s(0), x = r.s(1), len = std::max<int>(0, r.s(2));
        UINT opts = r.u(3);
        std::size_t at = 4;
        RECT rc{};
        bool has_rect = opts & (ETO_OPAQUE | ETO_CLIPPED);
        if (has_rect) {
            rc = RECT{r.s(4), r.s(5), r.s(6), r.s(7)};
            at = 8;
        }
        std::size_t dx_at = at + (static_cast<std::size_t>(len) + 1) / 2;
        std::vector<int> byte_dx;
        if (r.n >= dx_at + static_cast<std::size_t>(len) && len > 0)
            for (int i = 0; i < len; ++i)
                byte_dx.push_back(r.s(dx_at + static_cast<std::size_t>(i)));
        play_coded_text(dc, x, y, opts, has_rect ? &rc : nullptr, r.bytes(at), len, byte_dx, false);
        break;
    }
    case wmf::SELECTOBJECT:
        select(objects.get(r.u(0)));
        break;
    case wmf::SELECTCLIPREGION: // no region object: no clip
        SelectClipRgn(dc, static_cast<HRGN>(objects.get(r.u(0))));
        break;
    case wmf::DELETEOBJECT:
        objects.remove(r.u(0));
        break;
    case wmf::FILLREGION:
        FillRgn(dc, static_cast<HRGN>(objects.get(r.u(0))),
                static_cast<HBRUSH>(objects.get(r.u(1))));
        break;
    case wmf::FRAMEREGION:
        FrameRgn(dc, static_cast<HRGN>(objects.get(r.u(0))),
                 static_cast<HBRUSH>(objects.get(r.u(1))), r.s(3), r.s(2));
        break;
    case wmf::INVERTREGION:
        InvertRgn(dc, static_cast<HRGN>(objects.get(r.u(0))));
        break;
    case wmf::PAINTREGION:
        PaintRgn(dc, static_cast<HRGN>(objects.get(r.u(0))));
        break;
    case wmf::DIBBITBLT:
    case wmf::DIBSTRETCHBLT: {
        const BlitLayout& at = r.fn == wmf::DIBBITBLT ? wmf_dib_bitblt : wmf_dib_stretchblt;
        if (!rop_uses_src(r.dword(at.rop))) {
            play_blit(dc, r, without_bitmap(at), nullptr);
            break;
        }
        QImage img = dib(r, at.x + 1); // the bitmap follows the destination
        play_blit(dc, r, at, &img);
        break;
    }
    case wmf::STRETCHDIB: {
        QImage img = dib(r, wmf_stretchdib.x + 1);
        play_blit(dc, r, wmf_stretchdib, &img);
        break;
    }
    default:
        // Validated records without drawing effect (palettes, escapes, ...)
        // and unknown ones; every creation holds its slot.
        if (wmf_creates(r.fn)) create(r);
        break;
    }
}

// An object record: the object goes in the lowest free slot. An unknown object
// (a device-bitmap pattern brush, ...) and a palette hold theirs with the
// null brush.
void WmfPlayer::create(const WRec& r) {
    switch (r.fn) {
    case wmf::CREATEPENINDIRECT:
        objects.put_free(make_pen(r.u(0), r.s(1), r.u32(3)));
        break;
    case wmf::CREATEBRUSHINDIRECT:
        objects.put_free(make_brush(r.u(0), r.u32(1), r.u(3)));
        break;
    case wmf::CREATEFONTINDIRECT: {
        LOGFONT lf = font_head(r.s(0), r.s(1), r.s(2), r.s(3), r.s(4), r.bytes(5));
        std::size_t face_bytes = std::min<std::size_t>(r.bytes_from(9), LF_FACESIZE - 1);
        std::memcpy(lf.lfFaceName, r.bytes(9), face_bytes);
        lf.lfFaceName[face_bytes] = 0;
        objects.put_free(CreateFontIndirect(&lf));
        break;
    }
    case wmf::DIBCREATEPATTERNBRUSH:
        objects.put_free(make_pattern_brush(dib(r, 2), r.u(0) == BS_PATTERN));
        break;
    case wmf::CREATEREGION: {
        std::vector<QRect> rects;
        std::size_t scans = r.u(5), at = 11;
        for (std::size_t i = 0; i < scans; ++i) {
            std::size_t count = r.u(at);
            int top = r.s(at + 1), bottom = r.s(at + 2);
            for (std::size_t k = 0; k + 1 < count; k += 2) {
                int l = r.s(at + 3 + k), rr = r.s(at + 4 + k);
                if (rr > l && bottom > top) rects.emplace_back(l, top, rr - l, bottom - top);
            }
            at += 3 + count + 1;
        }
        objects.put_free(region_object(region_of(rects, limits)));
        break;
    }
    default:
        objects.put_free(GetStockObject(NULL_BRUSH));
        break;
    }
}

} // namespace

bool gdi::play_wmf(HDC h, const std::vector<BYTE>& bytes, std::string* limits) {
    if (!dc(h)) return false;
    std::string error;
    if (!validate_wmf(bytes.data(), bytes.size(), error)) {
        fail("PlayMetaFile: " + error);
        return false;
    }
    WmfPlayer pl;
    pl.dc = h;
    pl.objects.assign(u16at(bytes.data() + 10));
    Playback run(h);
    if (!run.saved()) return false;
    walk_wmf(bytes.data(), bytes.size(), error, [&](const WRec& r) {
        if (!run.count(pl.limits)) return false;
        pl.play(r);
        return true;
    });
    return run.finish(pl, limits);
}
