// Device contexts: the handle table, devices, the state model (colours, mix
// mode, mapping, clipping, save and restore), object selection, device
// capabilities, and the painter set-up shared by every drawing call.
#include "platform/gdi_impl.h"
#include "platform/metafile.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstring>

void (*gdi_window_drawn_hook)(HWND hwnd) = nullptr;

namespace gdi {

namespace {

HandleTable<Dc>& dcs() {
    static HandleTable<Dc> t(tag_dc);
    return t;
}

std::uint32_t tok(const void* h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}

void init_state(Dc& d) {
    d.s = DcState{};
    d.s.pen = static_cast<HPEN>(stock(BLACK_PEN));
    d.s.brush = static_cast<HBRUSH>(stock(WHITE_BRUSH));
    d.s.font = static_cast<HFONT>(stock(SYSTEM_FONT));
    object_selected(d.s.pen);
    object_selected(d.s.brush);
    object_selected(d.s.font);
}

void release_state(const DcState& s) {
    object_deselected(s.pen);
    object_deselected(s.brush);
    object_deselected(s.font);
}

void hold_state(const DcState& s) {
    object_selected(s.pen);
    object_selected(s.brush);
    object_selected(s.font);
}

} // namespace

Dc* dc(HDC h) {
    Dc* d = dcs().get(tok(h));
    if (!d) fail("stale or unknown device context handle");
    return d;
}

bool is_metafile(const Dc& d) {
    return d.kind == DcKind::wmf || d.kind == DcKind::emf;
}

HDC add_dc(std::unique_ptr<Dc> d) {
    init_state(*d);
    std::uint32_t t = dcs().add(std::move(d));
    if (!t) fail("the device context table is full");
    return handle_from_token<HDC>(t);
}

QSize screen_size() {
    if (QGuiApplication::instance())
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            QSize z = s->geometry().size();
            if (z.width() > 0 && z.height() > 0) return z;
        }
    return QSize(1920, 1080);
}

namespace {

// The image of a context without ending its painter.
QImage* raw_target(Dc& d) {
    switch (d.kind) {
    case DcKind::image:
        return d.image;
    case DcKind::memory: {
        Object* b = object(d.bitmap, Kind::bitmap);
        return b ? &b->image : nullptr;
    }
    case DcKind::screen:
        if (d.scratch.isNull()) {
            QSize z = screen_size();
            d.scratch = make_image(z.width(), z.height(), "screen image");
            if (!d.scratch.isNull()) d.scratch.fill(qRgb(255, 255, 255));
        }
        return d.scratch.isNull() ? nullptr : &d.scratch;
    default:
        return nullptr;
    }
}

// Contexts whose painter is open, so an image can end the painters on it
// without walking the whole context table.
std::vector<Dc*>& live_dcs() {
    static auto* v = new std::vector<Dc*>();
    return *v;
}

} // namespace

void end_live_painter(Dc& d) {
    if (!d.live || !d.live->target) return;
    d.live->painter.end();
    d.live->target = nullptr;
    d.live->bits = nullptr;
    auto& v = live_dcs();
    v.erase(std::remove(v.begin(), v.end(), &d), v.end());
}

void end_live_painters_on(const QImage* image) {
    auto& v = live_dcs();
    for (std::size_t i = v.size(); i-- > 0;)
        if (i < v.size() && v[i]->live->target == image) end_live_painter(*v[i]);
}

QImage* target_image(Dc& d) {
    QImage* img = raw_target(d);
    if (img && d.hwnd && ::gdi_window_drawn_hook) ::gdi_window_drawn_hook(d.hwnd);
    if (img) end_live_painters_on(img);
    return img;
}

QImage* image_of(Dc& d) {
    return raw_target(d);
}

QSize surface_size(Dc& d) {
    if (d.kind == DcKind::painter) return d.painter_size;
    if (d.kind == DcKind::screen) return screen_size();
    if (is_metafile(d)) return screen_size();
    QImage* img = raw_target(d);
    return img ? img->size() : QSize(0, 0);
}

// ---------------------------------------------------------------------------
// Mapping

QTransform page_transform(const DcState& s) {
    double sx = s.win_ext.cx ? static_cast<double>(s.vp_ext.cx) / s.win_ext.cx : 1.0;
    double sy = s.win_ext.cy ? static_cast<double>(s.vp_ext.cy) / s.win_ext.cy : 1.0;
    return QTransform(sx, 0, 0, sy, s.vp_org.x - s.win_org.x * sx, s.vp_org.y - s.win_org.y * sy);
}

QTransform full_transform(const DcState& s) {
    return page_transform(s) * s.outer;
}

QPointF to_device(const DcState& s, double x, double y) {
    return full_transform(s).map(QPointF(x, y));
}

QRect rect_to_device(const DcState& s, int l, int t, int r, int b) {
    QPointF a = to_device(s, l, t), c = to_device(s, r, b);
    int x0 = clamp_coord(std::min(a.x(), c.x()));
    int x1 = clamp_coord(std::max(a.x(), c.x()));
    int y0 = clamp_coord(std::min(a.y(), c.y()));
    int y1 = clamp_coord(std::max(a.y(), c.y()));
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

double scale_y(const DcState& s) {
    QTransform t = full_transform(s);
    return std::hypot(t.m12(), t.m22());
}

double scale_x(const DcState& s) {
    QTransform t = full_transform(s);
    return std::hypot(t.m11(), t.m21());
}

QRegion effective_clip(const Dc& d, bool& has) {
    has = false;
    QRegion r;
    if (!d.base_clip.isEmpty()) {
        r = d.base_clip;
        has = true;
    }
    if (d.s.has_clip) {
        r = has ? r.intersected(d.s.clip) : d.s.clip;
        has = true;
    }
    if (d.has_meta_clip) {
        r = has ? r.intersected(d.meta_clip) : d.meta_clip;
        has = true;
    }
    return r;
}

// ---------------------------------------------------------------------------
// Pens, brushes, mix modes

bool pen_is_null(const Object* pen) {
    return !pen || (pen->pen_style & PS_STYLE_MASK) == PS_NULL;
}

bool composition_for_rop2(int rop2, QPainter::CompositionMode& mode, bool& force_black,
                          bool& force_white) {
    force_black = force_white = false;
    switch (rop2) {
    case R2_NOP:
        return false;
    case R2_BLACK:
        force_black = true;
        mode = QPainter::CompositionMode_Source;
        return true;
    case R2_WHITE:
        force_white = true;
        mode = QPainter::CompositionMode_Source;
        return true;
    case R2_NOTMERGEPEN:
        mode = QPainter::RasterOp_NotSourceAndNotDestination; // ~(P | D)
        return true;
    case R2_MASKNOTPEN:
        mode = QPainter::RasterOp_NotSourceAndDestination;
        return true;
    case R2_NOTCOPYPEN:
        mode = QPainter::RasterOp_NotSource;
        return true;
    case R2_MASKPENNOT:
        mode = QPainter::RasterOp_SourceAndNotDestination;
        return true;
    case R2_NOT:
        mode = QPainter::RasterOp_NotDestination;
        return true;
    case R2_XORPEN:
        mode = QPainter::RasterOp_SourceXorDestination;
        return true;
    case R2_NOTMASKPEN:
        mode = QPainter::RasterOp_NotSourceOrNotDestination;
        return true;
    case R2_MASKPEN:
        mode = QPainter::RasterOp_SourceAndDestination;
        return true;
    case R2_NOTXORPEN:
        mode = QPainter::RasterOp_NotSourceXorDestination;
        return true;
    case R2_MERGENOTPEN:
        mode = QPainter::RasterOp_NotSourceOrDestination;
        return true;
    case R2_MERGEPENNOT:
        mode = QPainter::RasterOp_SourceOrNotDestination;
        return true;
    case R2_MERGEPEN:
        mode = QPainter::RasterOp_SourceOrDestination;
        return true;
    default: // R2_COPYPEN
        mode = QPainter::CompositionMode_SourceOver;
        return true;
    }
}

namespace {

// Dash patterns of one-pixel pens, in pixels (on, off, ...).
QList<qreal> dash_pattern(int style) {
    switch (style) {
    case PS_DASH:
        return {18, 6};
    case PS_DOT:
        return {3, 3};
    case PS_DASHDOT:
        return {9, 6, 3, 6};
    case PS_DASHDOTDOT:
        return {9, 3, 3, 3, 3, 3};
    case PS_ALTERNATE:
        return {1, 1};
    default:
        return {};
    }
}

// The 8 x 8 hatch patterns (a row per byte, bit 7 leftmost).
const BYTE hatch_rows[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00}, // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // forward diagonal (\)
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // backward diagonal (/)
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08}, // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // diagonal cross
};

} // namespace

namespace {

// Widths are logical units, drawn in device pixels (painters draw with the
// identity transform: the layer maps every coordinate itself).
double pen_device_width(const Dc& d, const Object* pen) {
    double device_width = std::min(pen->pen_width * scale_x(d.s), 65536.0);
    if (!(device_width >= 0)) device_width = 1; // a degenerate mapping
    return device_width;
}

} // namespace

bool pen_is_cosmetic(const Dc& d, const Object* pen) {
    return pen && (pen->pen_width == 0 || pen_device_width(d, pen) < 1.5);
}

QPen make_qpen(const Dc& d, const Object* pen) {
    if (pen_is_null(pen)) return QPen(Qt::NoPen);
    int style = pen->pen_style & PS_STYLE_MASK;
    bool geometric = (pen->pen_style & PS_TYPE_MASK) == PS_GEOMETRIC;
    QPen q(qcolor(pen->colour));
    double device_width = pen_device_width(d, pen);
    bool cosmetic = pen->pen_width == 0 || device_width < 1.5;
    if (cosmetic) {
        q.setCosmetic(true);
        q.setWidth(1);
        q.setCapStyle(Qt::FlatCap);
        q.setJoinStyle(Qt::MiterJoin);
    } else {
        q.setWidthF(device_width);
        int cap = pen->pen_style & PS_ENDCAP_MASK;
        int join = pen->pen_style & PS_JOIN_MASK;
        q.setCapStyle(cap == PS_ENDCAP_FLAT     ? Qt::FlatCap
                      : cap == PS_ENDCAP_SQUARE ? Qt::SquareCap
                                                : Qt::RoundCap);
        q.setJoinStyle(join == PS_JOIN_BEVEL   ? Qt::BevelJoin
                       : join == PS_JOIN_MITER ? Qt::MiterJoin
                                               : Qt::RoundJoin);
    }
    // Styled lines are drawn with their dashes only when one pixel wide (as
    // the platform does for pens made with CreatePen).
    if (style == PS_USERSTYLE && !pen->user_style.empty()) {
        // The entries are lengths: logical units for a geometric pen, pixels
        // for a cosmetic one. The painter counts dashes in pen widths.
        double unit = (geometric ? scale_x(d.s) : 1.0) / (cosmetic ? 1.0 : device_width);
        if (!(unit > 0) || !std::isfinite(unit)) unit = 1.0;
        QList<qreal> pat;
        for (DWORD v : pen->user_style) pat << std::clamp<qreal>(v * unit, 1.0 / 64, 65536.0);
        if (pat.size() % 2) pat << pat.back();
        q.setDashPattern(pat);
    } else if (style != PS_SOLID && style != PS_INSIDEFRAME && (cosmetic || geometric)) {
        QList<qreal> pat = dash_pattern(style);
        if (!pat.isEmpty()) q.setDashPattern(pat);
    }
    return q;
}

QBrush make_qbrush(const Dc& d, const Object* brush, const QTransform& device_to_logical) {
    if (!brush || brush->brush_style == BS_NULL) return QBrush(Qt::NoBrush);
    if (brush->brush_style == BS_SOLID) return QBrush(qcolor(brush->colour));
    QImage tile;
    if (brush->brush_style == BS_HATCHED) {
        tile = QImage(8, 8, QImage::Format_ARGB32_Premultiplied);
        QRgb bg = d.s.bk_mode == OPAQUE ? qrgb(d.s.bk) : 0u;
        QRgb fg = qrgb(brush->colour);
        int h = std::clamp(brush->hatch, 0, 5);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                tile.setPixel(x, y, (hatch_rows[h][y] & (0x80 >> x)) ? fg : bg);
    } else {
        tile = brush->pattern.convertToFormat(QImage::Format_RGB32);
        if (brush->pattern_mono) {
            QRgb fg = qrgb(d.s.text), bg = qrgb(d.s.bk);
            for (int y = 0; y < tile.height(); ++y) {
                auto row = reinterpret_cast<QRgb*>(tile.scanLine(y));
                for (int x = 0; x < tile.width(); ++x) row[x] = qGray(row[x]) < 128 ? fg : bg;
            }
        }
    }
    QBrush b(tile);
    // Patterns are aligned to the device, at the brush origin.
    b.setTransform(QTransform::fromTranslate(d.s.brush_org.x, d.s.brush_org.y) * device_to_logical);
    return b;
}

// ---------------------------------------------------------------------------
// The painter of one drawing call

Paint::Paint(Dc& d, bool use_rop) : d_(d) {
    if (is_metafile(d) || d.is_info) return;
    bool has_clip = false;
    QRegion clip = effective_clip(d, has_clip);
    if (has_clip && clip.isEmpty()) return;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    bool black = false, white = false;
    if (use_rop && !composition_for_rop2(d.s.rop2, mode, black, white)) return;
    if (d.kind == DcKind::painter) {
        if (!d.painter || !d.painter->isActive()) return;
        p_ = d.painter;
        external_ = true;
        p_->save();
        p_->resetTransform();
        // Printers and PDF have no raster operations: copy is the best there is.
        if (mode >= QPainter::RasterOp_SourceOrDestination)
            mode = QPainter::CompositionMode_SourceOver;
    } else {
        QImage* img = raw_target(d);
        if (!img || img->isNull()) return;
        if (d.hwnd && ::gdi_window_drawn_hook) ::gdi_window_drawn_hook(d.hwnd);
        if (!d.live) d.live = std::make_unique<LivePainter>();
        LivePainter& L = *d.live;
        // The image object is the same but its pixels were replaced (only
        // possible through the image's owner, who ends the painter first).
        if (L.target && (L.target != img || img->constBits() != L.bits)) end_live_painter(d);
        if (!L.target) {
            end_live_painters_on(img); // one painter per image at a time
            if (!L.painter.begin(img)) return;
            L.target = img;
            L.bits = img->constBits();
            live_dcs().push_back(&d);
        }
        p_ = &L.painter;
        // The last call may have moved or turned the painter (texts): the
        // clip below is in device pixels, so the transform goes first.
        p_->resetTransform();
        p_->setPen(QPen());
        p_->setBrush(Qt::NoBrush);
        // With no clip, the whole image as the clip: Qt's raster engine draws
        // the same pixels but takes its faster clipped path for thin lines.
        if (!has_clip) p_->setClipRect(img->rect());
    }
    if (has_clip) p_->setClipRegion(clip);
    p_->setRenderHint(QPainter::Antialiasing, false);
    p_->setCompositionMode(mode);
    p_->setTransform(QTransform());
    p_->setBackgroundMode(d.s.bk_mode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    p_->setBackground(QBrush(qcolor(d.s.bk)));
    (void)black;
    (void)white;
}

Paint::~Paint() {
    if (p_ && external_) p_->restore();
}

void Paint::use_pen_and_brush(bool pen, bool brush) {
    bool black = false, white = false;
    QPainter::CompositionMode mode;
    composition_for_rop2(d_.s.rop2, mode, black, white);
    if (pen) {
        QPen q = make_qpen(d_, object(d_.s.pen, Kind::pen));
        if (black) q.setColor(Qt::black);
        if (white) q.setColor(Qt::white);
        p_->setPen(q);
    } else {
        p_->setPen(Qt::NoPen);
    }
    if (brush) {
        QBrush b = make_qbrush(d_, object(d_.s.brush, Kind::brush), QTransform());
        if (b.style() != Qt::NoBrush && (black || white)) b = QBrush(black ? Qt::black : Qt::white);
        p_->setBrush(b);
    } else {
        p_->setBrush(Qt::NoBrush);
    }
}

// ---------------------------------------------------------------------------
// Device capabilities

int device_caps(Dc& d, int index) {
    int dx = d.dpi_x, dy = d.dpi_y;
    QSize z = surface_size(d);
    if (d.kind == DcKind::memory || d.kind == DcKind::image || is_metafile(d) ||
        d.kind == DcKind::screen)
        z = screen_size();
    bool printer = d.kind == DcKind::painter;
    switch (index) {
    case DRIVERVERSION:
        return 0x4000;
    case TECHNOLOGY:
        return printer ? DT_RASPRINTER : (is_metafile(d) ? DT_METAFILE : DT_RASDISPLAY);
    case HORZSIZE:
        return static_cast<int>(std::lround(z.width() * 25.4 / dx));
    case VERTSIZE:
        return static_cast<int>(std::lround(z.height() * 25.4 / dy));
    case HORZRES:
    case PHYSICALWIDTH:
        return printer ? d.painter_size.width() : z.width();
    case VERTRES:
    case PHYSICALHEIGHT:
        return printer ? d.painter_size.height() : z.height();
    case BITSPIXEL:
        return printer ? 24 : 32;
    case PLANES:
        return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS:
        return -1;
    case NUMMARKERS:
        return 0;
    case NUMFONTS:
        return 0;
    case CURVECAPS:
    case LINECAPS:
    case POLYGONALCAPS:
        return 0xFF;
    case TEXTCAPS:
        return 0x7800;
    case CLIPCAPS:
        return 1;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV |
               RC_STRETCHBLT | RC_FLOODFILL | RC_STRETCHDIB | (printer ? RC_BANDING : 0);
    case ASPECTX:
    case ASPECTY:
        return 36;
    case ASPECTXY:
        return 51;
    case LOGPIXELSX:
        return dx;
    case LOGPIXELSY:
        return dy;
    case SIZEPALETTE:
    case NUMRESERVED:
        return 0;
    case COLORRES:
        return 24;
    case PHYSICALOFFSETX:
    case PHYSICALOFFSETY:
    case SCALINGFACTORX:
    case SCALINGFACTORY:
        return 0;
    default:
        return 0;
    }
}

} // namespace gdi

using namespace gdi;

// ---------------------------------------------------------------------------
// Devices

HDC gdi_create_image_dc(QImage* image, HWND hwnd, const QRegion& clip) {
    if (!image) {
        fail("gdi_create_image_dc: no image");
        return nullptr;
    }
    auto d = std::make_unique<Dc>();
    d->kind = DcKind::image;
    d->image = image;
    d->hwnd = hwnd;
    d->base_clip = clip;
    return add_dc(std::move(d));
}

HDC gdi_create_screen_dc() {
    auto d = std::make_unique<Dc>();
    d->kind = DcKind::screen;
    return add_dc(std::move(d));
}

HDC gdi_create_painter_dc(QPainter* painter, QSize size, int dpi_x, int dpi_y) {
    if (!painter) return nullptr;
    auto d = std::make_unique<Dc>();
    d->kind = DcKind::painter;
    d->painter = painter;
    d->painter_size = size;
    d->dpi_x = dpi_x > 0 ? dpi_x : 72;
    d->dpi_y = dpi_y > 0 ? dpi_y : 72;
    return add_dc(std::move(d));
}

void gdi_delete_image_dc(HDC h) {
    DeleteDC(h);
}

HWND gdi_dc_window(HDC h) {
    Dc* d = dcs().get(tok(h));
    return d ? d->hwnd : nullptr;
}

void gdi_end_drawing(const QImage* image) {
    end_live_painters_on(image);
}

void gdi_set_dc_base_clip(HDC h, const QRegion& clip) {
    if (Dc* d = dc(h)) d->base_clip = clip;
}

HDC CreateCompatibleDC(HDC h) {
    if (h && !dc(h)) return nullptr;
    auto d = std::make_unique<Dc>();
    d->kind = DcKind::memory;
    if (h) {
        Dc* src = dc(h);
        if (src && src->kind == DcKind::painter) {
            d->dpi_x = src->dpi_x;
            d->dpi_y = src->dpi_y;
        }
    }
    // A memory context starts with a 1 x 1 monochrome bitmap selected.
    d->default_bitmap = CreateBitmap(1, 1, 1, 1, nullptr);
    d->bitmap = d->default_bitmap;
    object_selected(d->bitmap);
    return add_dc(std::move(d));
}

namespace {

// The printing layer's maker of printer contexts (constant-initialised, so the
// printing layer may install it from a static initialiser).
PrinterDcFactory printer_dc_factory = nullptr;

bool is_display(const char* s) {
    return s && (std::strcmp(s, "DISPLAY") == 0 || std::strcmp(s, "display") == 0);
}

HDC create_device_dc(const char* driver, const char* device, const char* port, const void* devmode,
                     bool info_only) {
    if (is_display(driver) || (!driver && is_display(device))) {
        HDC h = gdi_create_screen_dc();
        if (info_only)
            if (Dc* d = dcs().get(tok(h))) d->is_info = true;
        return h;
    }
    if (printer_dc_factory) {
        HDC h = printer_dc_factory(driver, device, port, devmode, info_only);
        if (h && info_only)
            if (Dc* d = dcs().get(tok(h))) d->is_info = true;
        return h;
    }
    fail(std::string("CreateDC: no device \"") + (device ? device : driver ? driver : "") + "\"");
    return nullptr;
}

} // namespace

void gdi_set_printer_dc_factory(PrinterDcFactory factory) {
    printer_dc_factory = factory;
}

HDC CreateDC(const char* driver, const char* device, const char* port, const void* devmode) {
    return create_device_dc(driver, device, port, devmode, false);
}

HDC CreateIC(const char* driver, const char* device, const char* port, const void* devmode) {
    return create_device_dc(driver, device, port, devmode, true);
}

BOOL DeleteDC(HDC h) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    end_live_painter(*d);
    if (is_metafile(*d)) {
        // Deleting a recording context throws the recording away.
        d->rec.reset();
    }
    release_state(d->s);
    for (auto& s : d->saved) release_state(s);
    if (d->bitmap) object_deselected(d->bitmap);
    HBITMAP def = d->default_bitmap;
    dcs().remove(tok(h));
    if (def) DeleteObject(def);
    return TRUE;
}

int GetDeviceCaps(HDC h, int index) {
    Dc* d = dc(h);
    return d ? device_caps(*d, index) : 0;
}

// ---------------------------------------------------------------------------
// Simple state

namespace {

template <typename T, typename Rec>
T set_field(HDC h, T Gdi_fail, T DcState::*field, T value, Rec rec) {
    Dc* d = dc(h);
    if (!d) return Gdi_fail;
    T old = d->s.*field;
    d->s.*field = value;
    if (d->rec) rec(*d->rec);
    return old;
}

} // namespace

COLORREF SetTextColor(HDC h, COLORREF c) {
    c = plain(c);
    return set_field<COLORREF>(h, CLR_INVALID, &DcState::text, c, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETTEXTCOLOR, {static_cast<std::int32_t>(c)});
        else
            r.w(wmf::SETTEXTCOLOR, {static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16)});
    });
}

COLORREF GetTextColor(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.text : CLR_INVALID;
}

COLORREF SetBkColor(HDC h, COLORREF c) {
    c = plain(c);
    return set_field<COLORREF>(h, CLR_INVALID, &DcState::bk, c, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETBKCOLOR, {static_cast<std::int32_t>(c)});
        else
            r.w(wmf::SETBKCOLOR, {static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16)});
    });
}

COLORREF GetBkColor(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.bk : CLR_INVALID;
}

int SetBkMode(HDC h, int mode) {
    if (mode != OPAQUE && mode != TRANSPARENT) return 0;
    return set_field<int>(h, 0, &DcState::bk_mode, mode, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETBKMODE, {mode});
        else
            r.w(wmf::SETBKMODE, {mode});
    });
}

int GetBkMode(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.bk_mode : 0;
}

int SetROP2(HDC h, int mix) {
    if (mix < R2_BLACK || mix > R2_WHITE) return 0;
    return set_field<int>(h, 0, &DcState::rop2, mix, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETROP2, {mix});
        else
            r.w(wmf::SETROP2, {mix});
    });
}

int GetROP2(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.rop2 : 0;
}

UINT SetTextAlign(HDC h, UINT align) {
    Dc* d = dc(h);
    if (!d) return GDI_ERROR;
    UINT old = d->s.text_align;
    d->s.text_align = align & TA_MASK;
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETTEXTALIGN, {static_cast<std::int32_t>(align & TA_MASK)});
        else
            d->rec->w(wmf::SETTEXTALIGN, {static_cast<int>(align & TA_MASK)});
    }
    return old;
}

UINT GetTextAlign(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.text_align : GDI_ERROR;
}

int SetPolyFillMode(HDC h, int mode) {
    if (mode != ALTERNATE && mode != WINDING) return 0;
    return set_field<int>(h, 0, &DcState::poly_fill, mode, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETPOLYFILLMODE, {mode});
        else
            r.w(wmf::SETPOLYFILLMODE, {mode});
    });
}

int GetPolyFillMode(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.poly_fill : 0;
}

int SetStretchBltMode(HDC h, int mode) {
    if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return set_field<int>(h, 0, &DcState::stretch_mode, mode, [&](Recorder& r) {
        if (r.emf)
            r.e(emr::SETSTRETCHBLTMODE, {mode});
        else
            r.w(wmf::SETSTRETCHBLTMODE, {mode});
    });
}

int GetStretchBltMode(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.stretch_mode : 0;
}

int SetArcDirection(HDC h, int dir) {
    if (dir != AD_COUNTERCLOCKWISE && dir != AD_CLOCKWISE) return 0;
    return set_field<int>(h, 0, &DcState::arc_direction, dir, [&](Recorder& r) {
        if (r.emf) r.e(emr::SETARCDIRECTION, {dir});
        // Windows metafiles have no arc direction; arcs are recorded as drawn.
    });
}

int GetArcDirection(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.arc_direction : 0;
}

BOOL SetBrushOrgEx(HDC h, int x, int y, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.brush_org;
    d->s.brush_org = POINT{x, y};
    if (d->rec && d->rec->emf) d->rec->e(emr::SETBRUSHORGEX, {x, y});
    return TRUE;
}

BOOL GetBrushOrgEx(HDC h, POINT* org) {
    Dc* d = dc(h);
    if (!d || !org) return FALSE;
    *org = d->s.brush_org;
    return TRUE;
}

int SetTextCharacterExtra(HDC h, int extra) {
    Dc* d = dc(h);
    if (!d) return static_cast<int>(0x80000000);
    int old = d->s.char_extra;
    d->s.char_extra = extra;
    if (d->rec && !d->rec->emf) d->rec->w(wmf::SETTEXTCHAREXTRA, {extra});
    return old;
}

int GetTextCharacterExtra(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.char_extra : static_cast<int>(0x80000000);
}

COLORREF GetNearestColor(HDC h, COLORREF c) {
    return dc(h) ? plain(c) : CLR_INVALID;
}

// ---------------------------------------------------------------------------
// Mapping modes

namespace {

void adjust_isotropic(DcState& s) {
    if (s.map_mode != MM_ISOTROPIC || !s.win_ext.cx || !s.win_ext.cy || !s.vp_ext.cx ||
        !s.vp_ext.cy)
        return;
    double xs = std::abs(static_cast<double>(s.vp_ext.cx) / s.win_ext.cx);
    double ys = std::abs(static_cast<double>(s.vp_ext.cy) / s.win_ext.cy);
    auto sgn = [](long v) { return v < 0 ? -1 : 1; };
    if (xs < ys) {
        long v = std::lround(std::abs(static_cast<double>(s.win_ext.cy)) * xs);
        s.vp_ext.cy = static_cast<LONG>(sgn(s.vp_ext.cy) * std::max(1L, v));
    } else if (ys < xs) {
        long v = std::lround(std::abs(static_cast<double>(s.win_ext.cx)) * ys);
        s.vp_ext.cx = static_cast<LONG>(sgn(s.vp_ext.cx) * std::max(1L, v));
    }
}

void set_metric_extents(Dc& d, int units_per_inch) {
    d.s.win_ext = SIZE{units_per_inch, units_per_inch};
    d.s.vp_ext = SIZE{d.dpi_x, -d.dpi_y};
}

bool fixed_mode(const DcState& s) {
    return s.map_mode != MM_ISOTROPIC && s.map_mode != MM_ANISOTROPIC;
}

} // namespace

int SetMapMode(HDC h, int mode) {
    Dc* d = dc(h);
    if (!d) return 0;
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
    int old = d->s.map_mode;
    int prev = old;
    d->s.map_mode = mode;
    switch (mode) {
    case MM_TEXT:
        d->s.win_ext = SIZE{1, 1};
        d->s.vp_ext = SIZE{1, 1};
        break;
    case MM_LOMETRIC:
        set_metric_extents(*d, 254);
        break;
    case MM_HIMETRIC:
        set_metric_extents(*d, 2540);
        break;
    case MM_LOENGLISH:
        set_metric_extents(*d, 100);
        break;
    case MM_HIENGLISH:
        set_metric_extents(*d, 1000);
        break;
    case MM_TWIPS:
        set_metric_extents(*d, 1440);
        break;
    case MM_ISOTROPIC:
        // Entering the isotropic mode starts from the low-metric extents
        // (as the platform does), unless the extents were already free.
        if (prev != MM_ANISOTROPIC) set_metric_extents(*d, 254);
        adjust_isotropic(d->s);
        break;
    case MM_ANISOTROPIC:
        break; // keeps the extents of the mode before
    }
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETMAPMODE, {mode});
        else
            d->rec->w(wmf::SETMAPMODE, {mode});
    }
    return old;
}

int GetMapMode(HDC h) {
    Dc* d = dc(h);
    return d ? d->s.map_mode : 0;
}

BOOL SetWindowOrgEx(HDC h, int x, int y, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.win_org;
    d->s.win_org = POINT{x, y};
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETWINDOWORGEX, {x, y});
        else
            d->rec->w(wmf::SETWINDOWORG, {y, x});
    }
    return TRUE;
}

BOOL GetWindowOrgEx(HDC h, POINT* org) {
    Dc* d = dc(h);
    if (!d || !org) return FALSE;
    *org = d->s.win_org;
    return TRUE;
}

BOOL SetWindowExtEx(HDC h, int cx, int cy, SIZE* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.win_ext;
    if (cx == 0 || cy == 0) return FALSE;
    // Fixed modes ignore extents; a metafile still records them for playback.
    if (!fixed_mode(d->s)) {
        d->s.win_ext = SIZE{cx, cy};
        adjust_isotropic(d->s);
    }
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETWINDOWEXTEX, {cx, cy});
        else
            d->rec->w(wmf::SETWINDOWEXT, {cy, cx});
    }
    return TRUE;
}

BOOL GetWindowExtEx(HDC h, SIZE* ext) {
    Dc* d = dc(h);
    if (!d || !ext) return FALSE;
    *ext = d->s.win_ext;
    return TRUE;
}

BOOL SetViewportOrgEx(HDC h, int x, int y, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.vp_org;
    d->s.vp_org = POINT{x, y};
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETVIEWPORTORGEX, {x, y});
        else
            d->rec->w(wmf::SETVIEWPORTORG, {y, x});
    }
    return TRUE;
}

BOOL GetViewportOrgEx(HDC h, POINT* org) {
    Dc* d = dc(h);
    if (!d || !org) return FALSE;
    *org = d->s.vp_org;
    return TRUE;
}

BOOL SetViewportExtEx(HDC h, int cx, int cy, SIZE* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.vp_ext;
    if (cx == 0 || cy == 0) return FALSE;
    if (!fixed_mode(d->s)) {
        d->s.vp_ext = SIZE{cx, cy};
        adjust_isotropic(d->s);
    }
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETVIEWPORTEXTEX, {cx, cy});
        else
            d->rec->w(wmf::SETVIEWPORTEXT, {cy, cx});
    }
    return TRUE;
}

BOOL GetViewportExtEx(HDC h, SIZE* ext) {
    Dc* d = dc(h);
    if (!d || !ext) return FALSE;
    *ext = d->s.vp_ext;
    return TRUE;
}

BOOL OffsetWindowOrgEx(HDC h, int dx, int dy, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.win_org;
    d->s.win_org.x = sat_add(d->s.win_org.x, dx);
    d->s.win_org.y = sat_add(d->s.win_org.y, dy);
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETWINDOWORGEX, {d->s.win_org.x, d->s.win_org.y});
        else
            d->rec->w(wmf::OFFSETWINDOWORG, {dy, dx});
    }
    return TRUE;
}

BOOL OffsetViewportOrgEx(HDC h, int dx, int dy, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.vp_org;
    d->s.vp_org.x = sat_add(d->s.vp_org.x, dx);
    d->s.vp_org.y = sat_add(d->s.vp_org.y, dy);
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETVIEWPORTORGEX, {d->s.vp_org.x, d->s.vp_org.y});
        else
            d->rec->w(wmf::OFFSETVIEWPORTORG, {dy, dx});
    }
    return TRUE;
}

namespace {

BOOL scale_ext(HDC h, SIZE DcState::*field, int xn, int xd, int yn, int yd, SIZE* old,
               bool window) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.*field;
    if (xd == 0 || yd == 0) return FALSE;
    if (!fixed_mode(d->s)) {
        SIZE& e = d->s.*field;
        long cx = static_cast<long>(e.cx) * xn / xd, cy = static_cast<long>(e.cy) * yn / yd;
        if (cx == 0 || cy == 0) return FALSE;
        e = SIZE{static_cast<LONG>(cx), static_cast<LONG>(cy)};
        adjust_isotropic(d->s);
    }
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(window ? emr::SCALEWINDOWEXTEX : emr::SCALEVIEWPORTEXTEX, {xn, xd, yn, yd});
        else
            d->rec->w(window ? wmf::SCALEWINDOWEXT : wmf::SCALEVIEWPORTEXT, {yd, yn, xd, xn});
    }
    return TRUE;
}

} // namespace

BOOL ScaleWindowExtEx(HDC h, int xn, int xd, int yn, int yd, SIZE* old) {
    return scale_ext(h, &DcState::win_ext, xn, xd, yn, yd, old, true);
}

BOOL ScaleViewportExtEx(HDC h, int xn, int xd, int yn, int yd, SIZE* old) {
    return scale_ext(h, &DcState::vp_ext, xn, xd, yn, yd, old, false);
}

BOOL LPtoDP(HDC h, POINT* pts, int count) {
    Dc* d = dc(h);
    if (!d || (count > 0 && !pts) || count < 0) return FALSE;
    QTransform t = full_transform(d->s);
    for (int i = 0; i < count; ++i) {
        QPointF p = t.map(QPointF(pts[i].x, pts[i].y));
        pts[i] =
            POINT{static_cast<LONG>(std::lround(p.x())), static_cast<LONG>(std::lround(p.y()))};
    }
    return TRUE;
}

BOOL DPtoLP(HDC h, POINT* pts, int count) {
    Dc* d = dc(h);
    if (!d || (count > 0 && !pts) || count < 0) return FALSE;
    bool ok = false;
    QTransform t = full_transform(d->s).inverted(&ok);
    if (!ok) return FALSE;
    for (int i = 0; i < count; ++i) {
        QPointF p = t.map(QPointF(pts[i].x, pts[i].y));
        pts[i] =
            POINT{static_cast<LONG>(std::lround(p.x())), static_cast<LONG>(std::lround(p.y()))};
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Clipping

namespace {

int clip_kind(const Dc& d) {
    if (!d.s.has_clip) return SIMPLEREGION;
    if (d.s.clip.isEmpty()) return NULLREGION;
    return d.s.clip.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// The region "everything" stands for when a clip is first narrowed.
QRegion whole(Dc& d) {
    QSize z = surface_size(d);
    return QRegion(0, 0, std::max(1, z.width()), std::max(1, z.height()));
}

} // namespace

int ExtSelectClipRgn(HDC h, HRGN region, int mode) {
    Dc* d = dc(h);
    if (!d) return ERROR;
    if (!region) {
        if (mode != RGN_COPY) return ERROR;
        d->s.has_clip = false;
        d->s.clip = QRegion();
        if (d->rec) record_clip_region(*d, nullptr);
        return SIMPLEREGION;
    }
    Object* r = object(region, Kind::region);
    if (!r) return ERROR;
    // Region coordinates are device units, moved by the playback placement.
    QRegion rg = d->s.outer.isIdentity() ? r->region : d->s.outer.map(r->region);
    QRegion cur = d->s.has_clip ? d->s.clip : whole(*d);
    switch (mode) {
    case RGN_COPY:
        cur = rg;
        break;
    case RGN_AND:
        cur = cur.intersected(rg);
        break;
    case RGN_OR:
        cur = cur.united(rg);
        break;
    case RGN_XOR:
        cur = cur.xored(rg);
        break;
    case RGN_DIFF:
        cur = cur.subtracted(rg);
        break;
    default:
        return ERROR;
    }
    d->s.clip = cur;
    d->s.has_clip = true;
    if (d->rec) record_clip_region(*d, &cur);
    return clip_kind(*d);
}

int SelectClipRgn(HDC h, HRGN region) {
    return ExtSelectClipRgn(h, region, RGN_COPY);
}

int IntersectClipRect(HDC h, int l, int t, int r, int b) {
    Dc* d = dc(h);
    if (!d) return ERROR;
    QRect dev = rect_to_device(d->s, l, t, r, b);
    d->s.clip = (d->s.has_clip ? d->s.clip : whole(*d)).intersected(QRegion(dev));
    d->s.has_clip = true;
    if (d->rec) record_rect_call(*d, wmf::INTERSECTCLIPRECT, emr::INTERSECTCLIPRECT, l, t, r, b);
    return clip_kind(*d);
}

int ExcludeClipRect(HDC h, int l, int t, int r, int b) {
    Dc* d = dc(h);
    if (!d) return ERROR;
    QRect dev = rect_to_device(d->s, l, t, r, b);
    d->s.clip = (d->s.has_clip ? d->s.clip : whole(*d)).subtracted(QRegion(dev));
    d->s.has_clip = true;
    if (d->rec) record_rect_call(*d, wmf::EXCLUDECLIPRECT, emr::EXCLUDECLIPRECT, l, t, r, b);
    return clip_kind(*d);
}

int OffsetClipRgn(HDC h, int dx, int dy) {
    Dc* d = dc(h);
    if (!d) return ERROR;
    if (d->s.has_clip) {
        QPointF o = to_device(d->s, 0, 0), p = to_device(d->s, dx, dy);
        d->s.clip.translate(static_cast<int>(std::lround(p.x() - o.x())),
                            static_cast<int>(std::lround(p.y() - o.y())));
    }
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::OFFSETCLIPRGN, {dx, dy});
        else
            d->rec->w(wmf::OFFSETCLIPRGN, {dy, dx});
    }
    return clip_kind(*d);
}

int GetClipBox(HDC h, RECT* rect) {
    Dc* d = dc(h);
    if (!d || !rect) return ERROR;
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    QRect dev = has ? clip.boundingRect() : QRect(QPoint(0, 0), surface_size(*d));
    if (has && clip.isEmpty()) {
        *rect = RECT{0, 0, 0, 0};
        return NULLREGION;
    }
    bool ok = false;
    QTransform inv = full_transform(d->s).inverted(&ok);
    if (!ok) return ERROR;
    QPointF a = inv.map(QPointF(dev.left(), dev.top()));
    QPointF b = inv.map(QPointF(dev.right() + 1, dev.bottom() + 1));
    *rect = RECT{static_cast<LONG>(std::lround(std::min(a.x(), b.x()))),
                 static_cast<LONG>(std::lround(std::min(a.y(), b.y()))),
                 static_cast<LONG>(std::lround(std::max(a.x(), b.x()))),
                 static_cast<LONG>(std::lround(std::max(a.y(), b.y())))};
    return has ? (clip.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION) : SIMPLEREGION;
}

int GetClipRgn(HDC h, HRGN region) {
    Dc* d = dc(h);
    Object* r = object(region, Kind::region);
    if (!d || !r) return -1;
    if (!d->s.has_clip) return 0;
    r->region = d->s.clip;
    return 1;
}

BOOL PtVisible(HDC h, int x, int y) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    QPointF p = to_device(d->s, x, y);
    QPoint q(clamp_coord(std::floor(p.x())), clamp_coord(std::floor(p.y())));
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    if (has) return clip.contains(q);
    QSize z = surface_size(*d);
    return QRect(QPoint(0, 0), z).contains(q);
}

BOOL RectVisible(HDC h, const RECT* rect) {
    Dc* d = dc(h);
    if (!d || !rect) return FALSE;
    QRect dev = rect_to_device(d->s, rect->left, rect->top, rect->right, rect->bottom);
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    if (has) return clip.intersects(dev);
    return QRect(QPoint(0, 0), surface_size(*d)).intersects(dev);
}

// ---------------------------------------------------------------------------
// Save and restore

int SaveDC(HDC h) {
    Dc* d = dc(h);
    if (!d) return 0;
    hold_state(d->s);
    d->saved.push_back(d->s);
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SAVEDC, {});
        else
            d->rec->w(wmf::SAVEDC, {});
    }
    return static_cast<int>(d->saved.size());
}

BOOL RestoreDC(HDC h, int level) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    int n = static_cast<int>(d->saved.size());
    int target = level < 0 ? n + 1 + level : level; // the level to come back to
    if (target < 1 || target > n) {
        fail("RestoreDC: no saved level " + std::to_string(level));
        return FALSE;
    }
    DcState back = d->saved[static_cast<std::size_t>(target - 1)];
    release_state(d->s);
    for (int i = target; i < n; ++i) release_state(d->saved[static_cast<std::size_t>(i)]);
    d->saved.resize(static_cast<std::size_t>(target - 1));
    d->s = back; // the saved copy's hold becomes the current selection's
    // Objects deleted while saved come back as the stock defaults.
    if (!object(d->s.pen, Kind::pen)) {
        d->s.pen = static_cast<HPEN>(stock(BLACK_PEN));
        object_selected(d->s.pen);
    }
    if (!object(d->s.brush, Kind::brush)) {
        d->s.brush = static_cast<HBRUSH>(stock(WHITE_BRUSH));
        object_selected(d->s.brush);
    }
    if (!object(d->s.font, Kind::font)) {
        d->s.font = static_cast<HFONT>(stock(SYSTEM_FONT));
        object_selected(d->s.font);
    }
    if (d->rec) {
        int rel = target - 1 - n; // negative: levels back from the top
        if (d->rec->emf)
            d->rec->e(emr::RESTOREDC, {rel});
        else
            d->rec->w(wmf::RESTOREDC, {rel});
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Selection

HGDIOBJ SelectObject(HDC h, HGDIOBJ obj) {
    Dc* d = dc(h);
    if (!d) return nullptr;
    Object* o = object_any(obj);
    if (!o) return nullptr;
    auto swap_in = [&](auto& slot) -> HGDIOBJ {
        using H = std::remove_reference_t<decltype(slot)>;
        HGDIOBJ old = slot;
        if (d->rec && !d->rec->select(obj)) return nullptr;
        object_selected(obj);
        slot = static_cast<H>(obj);
        object_deselected(old);
        return old;
    };
    switch (o->kind) {
    case Kind::pen:
        return swap_in(d->s.pen);
    case Kind::brush:
        return swap_in(d->s.brush);
    case Kind::font:
        return swap_in(d->s.font);
    case Kind::bitmap: {
        if (d->kind != DcKind::memory) {
            fail("SelectObject: a bitmap goes only into a memory context");
            return nullptr;
        }
        HGDIOBJ old = d->bitmap;
        end_live_painter(*d);
        object_selected(obj);
        d->bitmap = static_cast<HBITMAP>(obj);
        object_deselected(old);
        return old;
    }
    case Kind::region: {
        int k = SelectClipRgn(h, static_cast<HRGN>(obj));
        return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(k));
    }
    default:
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
    Dc* d = dc(h);
    if (!d) return nullptr;
    switch (type) {
    case OBJ_PEN:
        return d->s.pen;
    case OBJ_BRUSH:
        return d->s.brush;
    case OBJ_FONT:
        return d->s.font;
    case OBJ_BITMAP:
        return d->bitmap;
    default:
        return nullptr;
    }
}

BOOL GdiFlush() {
    return TRUE;
}

void gdi::recorders_forget(std::uint32_t token) {
    dcs().for_each([&](std::uint32_t, Dc& d) {
        if (d.rec) d.rec->forget(token);
    });
}
