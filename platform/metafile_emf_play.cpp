// The enhanced metafile player: each record of a checked metafile turned back
// into the drawing call it recorded, the picture's frame placed on the target
// rectangle, with its world transform and paths.
#include "platform/metafile_emf_play.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace gdi;
using namespace gdi::mf;

namespace {

// The ways a world transform is changed.
constexpr std::uint32_t mwt_identity = 1, mwt_leftmultiply = 2, mwt_rightmultiply = 3, mwt_set = 4;

// A transform's six numbers (eM11 eM12 eM21 eM22 eDx eDy); false when one is
// not a finite number or the transform cannot be undone.
bool read_xform(const ERec& r, std::size_t at, QTransform& out) {
    double v[6];
    for (int k = 0; k < 6; ++k) {
        v[k] = f32at(r.p + at + 4 * static_cast<std::size_t>(k));
        if (!std::isfinite(v[k]) || std::abs(v[k]) > coord_limit) return false;
    }
    out = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return out.isInvertible();
}

} // namespace

QImage EmfPlayer::dib(const ERec& r, std::size_t off_bmi, std::size_t cb_bmi, std::size_t off_bits,
                      std::size_t cb_bits) {
    std::vector<BYTE> packed(r.p + off_bmi, r.p + off_bmi + cb_bmi);
    packed.insert(packed.end(), r.p + off_bits, r.p + off_bits + cb_bits);
    return PlayerState::dib(packed.data(), packed.size());
}

std::vector<POINT> EmfPlayer::polys_points(const ERec& r, std::vector<int>& counts) {
    std::size_t polys = r.u(24), total = r.u(28);
    counts.resize(polys);
    for (std::size_t k = 0; k < polys; ++k)
        counts[k] = static_cast<int>(std::min<std::uint32_t>(r.u(32 + 4 * k), 0x7FFFFFFF));
    bool small = r.type == emr::POLYPOLYGON16 || r.type == emr::POLYPOLYLINE16;
    return points(r, 32 + polys * 4, total, small);
}

// Combines a region with the clip. The context maps regions by its placement
// transform; here that is `region_to_device`, the world transform aside.
void EmfPlayer::select_clip(HRGN region, int mode, const QTransform& region_to_device) {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    QTransform keep = d->s.outer;
    d->s.outer = region_to_device;
    ExtSelectClipRgn(dc, region, mode);
    if ((d = gdi::dc(dc)) != nullptr) d->s.outer = keep;
}

void EmfPlayer::apply_world() {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    QTransform page = page_transform(d->s);
    bool invertible = false;
    QTransform back = page.inverted(&invertible);
    d->s.outer = invertible && !world.isIdentity() ? back * world * page * placement : placement;
}

// A change of the world transform: reset, multiplied on either side, or set.
// A transform that cannot be read changes nothing.
void EmfPlayer::modify_world(const ERec& r) {
    QTransform t;
    std::uint32_t mode = r.u(32);
    if (mode == mwt_identity)
        world = QTransform();
    else if (!read_xform(r, 8, t))
        return;
    else if (mode == mwt_leftmultiply)
        world = t * world;
    else if (mode == mwt_rightmultiply)
        world = world * t;
    else if (mode == mwt_set)
        world = t;
    world_used = true;
}

// A text record: its place, options, clip or opaque rectangle and advances.
void EmfPlayer::play_text(const ERec& r) {
    std::size_t n = r.u(44), off = r.u(48), offdx = r.u(72);
    UINT opts = r.u(52);
    RECT rc{r.i(56), r.i(60), r.i(64), r.i(68)};
    bool has_rect = (opts & (ETO_OPAQUE | ETO_CLIPPED)) && rc.right >= rc.left;
    std::vector<int> dx;
    if (offdx)
        for (std::size_t k = 0; k < n; ++k) dx.push_back(r.i(offdx + 4 * k));
    if (r.type == emr::EXTTEXTOUTW)
        play_utf16_text(dc, r.i(36), r.i(40), opts, has_rect ? &rc : nullptr, r.p + off, n, dx);
    else
        play_coded_text(dc, r.i(36), r.i(40), opts, has_rect ? &rc : nullptr, r.p + off,
                        static_cast<int>(n), dx, false);
}

// A clip region record: its rectangles over the drawing area combined with
// the clip in device units.
void EmfPlayer::play_clip_region(const ERec& r) {
    std::size_t cb = r.u(8);
    int mode = r.i(12);
    if (cb == 0) {
        if (mode == RGN_COPY) SelectClipRgn(dc, nullptr);
        return;
    }
    std::size_t n = r.u(16 + 8);
    // Only the part over the drawing area matters (in the picture's
    // pixels, kept within the coordinate limit and a pixel to spare).
    QRect area(-0x4000000, -0x4000000, 0x8000000, 0x8000000);
    if (Dc* d = gdi::dc(dc)) {
        bool invertible = false;
        QTransform back = placement.inverted(&invertible);
        if (invertible) {
            QRectF f = back.mapRect(QRectF(drawing_area(*d)));
            int l = clamp_coord(std::floor(f.left())) - 1, t = clamp_coord(std::floor(f.top())) - 1;
            int rr = clamp_coord(std::ceil(f.right())) + 1,
                b = clamp_coord(std::ceil(f.bottom())) + 1;
            area = QRect(QPoint(l, t), QPoint(rr, b));
        }
    }
    std::vector<QRect> rects;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t at = 16 + 32 + 16 * k;
        int l = clamp_coord(r.i(at)), t = clamp_coord(r.i(at + 4));
        int rr = clamp_coord(r.i(at + 8)), b = clamp_coord(r.i(at + 12));
        if (rr > l && b > t) {
            QRect q = QRect(l, t, rr - l, b - t).intersected(area);
            if (!q.isEmpty()) rects.push_back(q);
        }
    }
    HRGN h = region_object(region_of(rects, limits));
    select_clip(h, mode, placement); // device units: no world transform
    DeleteObject(h);
}

// A block transfer record, with its source bitmap when the operation uses one.
void EmfPlayer::play_transfer(const ERec& r) {
    // A transfer without a source bitmap is a pattern operation. The
    // source transform is taken as the identity (every writer we know
    // stores that).
    const BlitLayout& at = r.type == emr::BITBLT ? emf_bitblt : emf_stretchblt;
    if (r.u(84) == 0 || !rop_uses_src(r.dword(at.rop))) {
        play_blit(dc, r, at, nullptr);
        return;
    }
    QImage img = dib(r, r.u(84), r.u(88), r.u(92), r.u(96));
    play_blit(dc, r, at, &img);
}

void EmfPlayer::play(const ERec& r) {
    if (in_path && add_to_path(r)) return;
    if (const CallAt* c = emf_call(r.type)) {
        play_call(dc, r, *c);
        return;
    }
    if (is_polys(r.type)) {
        std::vector<int> counts;
        std::vector<POINT> pts = polys_points(r, counts);
        draw_polys(dc, pts, counts, r.type == emr::POLYPOLYGON || r.type == emr::POLYPOLYGON16);
        return;
    }
    switch (r.type) {
    case emr::SETARCDIRECTION:
        SetArcDirection(dc, r.i(8));
        break;
    case emr::SETBRUSHORGEX:
        SetBrushOrgEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::SAVEDC:
        if (save()) world_saved.push_back(world);
        break;
    case emr::RESTOREDC:
        if (restore(r.i(8)) > 0) {
            world = world_saved[static_cast<std::size_t>(saves)];
            world_saved.resize(static_cast<std::size_t>(saves));
        }
        break;
    case emr::SETWORLDTRANSFORM: {
        QTransform t;
        if (read_xform(r, 8, t)) world = t;
        world_used = true;
        break;
    }
    case emr::MODIFYWORLDTRANSFORM:
        modify_world(r);
        break;
    case emr::SETMITERLIMIT: {
        // A whole number by the format; some writers store a float's bits.
        std::uint32_t v = r.u(8);
        double limit = v <= 1000 ? static_cast<double>(v) : f32at(r.p + 8);
        if (std::isfinite(limit) && limit >= 1 && limit <= 1000) miter = limit;
        break;
    }
    case emr::BEGINPATH:
        in_path = true;
        new_path();
        break;
    case emr::ENDPATH:
        in_path = false;
        break;
    case emr::ABORTPATH:
        in_path = false;
        new_path();
        break;
    case emr::CLOSEFIGURE:
        close_figure();
        break;
    case emr::FLATTENPATH:
        break; // curves are flattened when drawn
    case emr::WIDENPATH:
        widen_path();
        break;
    case emr::FILLPATH:
    case emr::STROKEPATH:
    case emr::STROKEANDFILLPATH:
        in_path = false;
        draw_path(path, r.type != emr::FILLPATH, r.type != emr::STROKEPATH);
        new_path();
        break;
    case emr::SELECTCLIPPATH:
        clip_to_path(r.i(8));
        break;
    case emr::POLYBEZIER:
    case emr::POLYBEZIERTO:
    case emr::POLYBEZIER16:
    case emr::POLYBEZIERTO16:
    case emr::POLYDRAW:
    case emr::POLYDRAW16:
        // Curves are built as a path of their own and stroked at once.
        new_path();
        add_to_path(r);
        draw_path(path, true, false);
        new_path();
        break;
    case emr::POLYGON:
    case emr::POLYGON16:
    case emr::POLYLINE:
    case emr::POLYLINE16:
        draw_poly(dc, poly_points(r), r.type == emr::POLYGON || r.type == emr::POLYGON16);
        break;
    case emr::POLYLINETO:
    case emr::POLYLINETO16: {
        std::vector<POINT> pts = poly_points(r);
        if (!pts.empty()) PolylineTo(dc, pts.data(), static_cast<DWORD>(pts.size()));
        break;
    }
    case emr::SELECTOBJECT:
        select(get(r.u(8)));
        break;
    case emr::DELETEOBJECT:
        if (!(r.u(8) & emf_stock_bit)) objects.remove(r.u(8));
        break;
    case emr::CREATEPEN:
    case emr::EXTCREATEPEN:
    case emr::CREATEBRUSHINDIRECT:
    case emr::CREATEMONOBRUSH:
    case emr::CREATEDIBPATTERNBRUSHPT:
    case emr::EXTCREATEFONTINDIRECTW:
    case emr::CREATEPALETTE:
        create(r);
        break;
    case emr::EXTTEXTOUTA:
    case emr::EXTTEXTOUTW:
        play_text(r);
        break;
    case emr::EXTSELECTCLIPRGN:
        play_clip_region(r);
        break;
    case emr::BITBLT:
    case emr::STRETCHBLT:
        play_transfer(r);
        break;
    case emr::STRETCHDIBITS: {
        QImage img = dib(r, r.u(48), r.u(52), r.u(56), r.u(60));
        play_blit(dc, r, emf_stretchdibits, &img);
        break;
    }
    default:
        break; // validated records without drawing effect
    }
}

// An object record: the object goes in the slot the record names.
void EmfPlayer::create(const ERec& r) {
    std::uint32_t ih = r.u(8);
    switch (r.type) {
    case emr::CREATEPEN:
        objects.put_at(ih, make_pen(r.i(12), r.i(16), r.u(24)));
        break;
    case emr::EXTCREATEPEN: {
        std::uint32_t style = r.u(28), width = r.u(32);
        LOGBRUSH lb{r.u(36), r.u(40), 0};
        std::size_t n = r.u(48);
        std::vector<DWORD> styles(n);
        for (std::size_t k = 0; k < n; ++k) styles[k] = r.u(52 + 4 * k);
        HPEN pen = ExtCreatePen(style, width, &lb, static_cast<DWORD>(n),
                                styles.empty() ? nullptr : styles.data());
        if (!pen) pen = CreatePen(PS_SOLID, 0, r.u(40));
        objects.put_at(ih, pen);
        break;
    }
    case emr::CREATEBRUSHINDIRECT:
        objects.put_at(ih, make_brush(r.u(12), r.u(16), r.u(20)));
        break;
    case emr::CREATEMONOBRUSH:
    case emr::CREATEDIBPATTERNBRUSHPT:
        objects.put_at(ih, make_pattern_brush(dib(r, r.u(16), r.u(20), r.u(24), r.u(28)),
                                              r.type == emr::CREATEMONOBRUSH));
        break;
    case emr::EXTCREATEFONTINDIRECTW: {
        LOGFONT lf = font_head(r.i(12), r.i(16), r.i(20), r.i(24), r.i(28), r.p + 32);
        QString face;
        for (int k = 0; k < LF_FACESIZE; ++k) {
            char16_t c = u16at(r.p + 40 + 2 * k);
            if (!c) break;
            face.append(QChar(c));
        }
        QByteArray f = face.toUtf8();
        qsizetype keep = std::min<qsizetype>(f.size(), LF_FACESIZE - 1);
        while (keep > 0 && keep < f.size() && (static_cast<unsigned char>(f[keep]) & 0xC0) == 0x80)
            --keep;
        f.truncate(keep);
        std::memcpy(lf.lfFaceName, f.constData(), static_cast<std::size_t>(f.size()));
        objects.put_at(ih, CreateFontIndirect(&lf));
        break;
    }
    default: // a palette: its slot holds nothing
        objects.put_at(ih, nullptr);
        break;
    }
}

bool gdi::play_emf(HDC h, const std::vector<BYTE>& bytes, const RECT* rect, std::string* limits) {
    Dc* d = dc(h);
    if (!d || !rect) return false;
    std::string error;
    if (!validate_emf(bytes.data(), bytes.size(), error)) {
        fail("PlayEnhMetaFile: " + error);
        return false;
    }
    const BYTE* hd = bytes.data();
    // The picture's frame in reference pixels, placed on the target rectangle.
    double dev_w = i32at(hd + 72), dev_h = i32at(hd + 76), mm_w = i32at(hd + 80),
           mm_h = i32at(hd + 84);
    double fl = i32at(hd + 24), ft = i32at(hd + 28), fr = i32at(hd + 32), fb = i32at(hd + 36);
    // The reference's size in micrometres, where the header has it, is exact;
    // whole millimetres can be off by most of one.
    if (u32at(hd + 4) >= 108 && i32at(hd + 100) > 0 && i32at(hd + 104) > 0) {
        mm_w = i32at(hd + 100) / 1000.0;
        mm_h = i32at(hd + 104) / 1000.0;
    }
    double px_x = (mm_w > 0 && dev_w > 0) ? dev_w / (mm_w * 100.0) : screen_dpi / 2540.0;
    double px_y = (mm_h > 0 && dev_h > 0) ? dev_h / (mm_h * 100.0) : screen_dpi / 2540.0;
    double pl = fl * px_x, pt = ft * px_y, pr = fr * px_x, pb = fb * px_y;
    {
        // A frame within a pixel of the bounds is the bounds rounded to
        // 0.01 mm (as recorded here): take the exact pixels.
        double bl = i32at(hd + 8), bt = i32at(hd + 12), br = i32at(hd + 16) + 1.0,
               bb = i32at(hd + 20) + 1.0;
        if (std::abs(pl - bl) < 1 && std::abs(pt - bt) < 1 && std::abs(pr - br) < 1 &&
            std::abs(pb - bb) < 1) {
            pl = bl;
            pt = bt;
            pr = br;
            pb = bb;
        }
    }
    if (!(pr - pl > 0.5) || !(pb - pt > 0.5)) { // no frame: the bounds
        pl = i32at(hd + 8);
        pt = i32at(hd + 12);
        pr = i32at(hd + 16) + 1.0;
        pb = i32at(hd + 20) + 1.0;
    }
    if (!(pr - pl > 0.5) || !(pb - pt > 0.5) || !std::isfinite(pr - pl) ||
        !std::isfinite(pb - pt)) {
        return true; // an empty picture
    }
    QTransform target = full_transform(d->s);
    QRectF dest =
        target.mapRect(QRectF(QPointF(rect->left, rect->top), QPointF(rect->right, rect->bottom)));
    QTransform outer = QTransform::fromTranslate(-pl, -pt) *
                       QTransform::fromScale(dest.width() / (pr - pl), dest.height() / (pb - pt)) *
                       QTransform::fromTranslate(dest.left(), dest.top());
    EmfPlayer player;
    player.dc = h;
    player.emf = true;
    player.objects.assign(u16at(hd + 56));
    player.placement = outer;
    Playback run(h);
    if (!run.saved()) return false;
    d = dc(h);
    // The picture starts from the default page and objects.
    d->s.map_mode = MM_TEXT;
    d->s.win_org = d->s.vp_org = POINT{0, 0};
    d->s.win_ext = d->s.vp_ext = SIZE{1, 1};
    d->s.has_clip = false;
    d->s.clip = QRegion();
    d->s.outer = outer;
    SelectObject(h, GetStockObject(BLACK_PEN));
    SelectObject(h, GetStockObject(WHITE_BRUSH));
    SelectObject(h, GetStockObject(SYSTEM_FONT));
    walk_emf(bytes.data(), bytes.size(), error, [&](const ERec& r) {
        if (!run.count(player.limits)) return false;
        player.play(r);
        if (player.world_used) player.apply_world();
        return true;
    });
    return run.finish(player, limits);
}
