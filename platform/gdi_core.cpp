// Drawing objects: the handle table, pens, brushes, fonts, bitmaps, regions,
// stock objects, system colours, bitmap resources and DIB conversion.
#include "platform/gdi_impl.h"
#include "platform/metafile.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace gdi {

namespace {

std::string& last_error() {
    static std::string e;
    return e;
}
gdi_error_hook& error_hook() {
    static gdi_error_hook h = nullptr;
    return h;
}

HandleTable<Object>& objects() {
    static HandleTable<Object> t(tag_object);
    return t;
}

std::uint32_t tok(HGDIOBJ h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}
HGDIOBJ as_handle(std::uint32_t token) {
    return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(token));
}

template <typename H> H add_object(std::unique_ptr<Object> o) {
    std::uint32_t t = objects().add(std::move(o));
    if (!t) fail("the drawing object table is full");
    return static_cast<H>(as_handle(t));
}

void destroy(std::uint32_t token) {
    if (objects().remove(token)) object_destroyed_notify(token);
}

} // namespace

void fail(const std::string& message) {
    last_error() = message;
    if (error_hook()) error_hook()(message.c_str());
}

Object* object_any(HGDIOBJ h) {
    if (!h) return nullptr;
    Object* o = objects().get(tok(h));
    if (!o) fail("stale or unknown drawing object handle");
    return o;
}

Object* object(HGDIOBJ h, Kind kind) {
    Object* o = object_any(h);
    if (o && o->kind != kind) {
        fail("drawing object of the wrong kind");
        return nullptr;
    }
    return o;
}

void object_selected(HGDIOBJ h) {
    if (Object* o = objects().get(tok(h))) ++o->selected;
}

void object_deselected(HGDIOBJ h) {
    Object* o = objects().get(tok(h));
    if (!o) return;
    if (o->selected > 0) --o->selected;
    if (o->selected == 0 && o->delete_pending && !o->stock) destroy(tok(h));
}

void object_destroyed_notify(std::uint32_t token) {
    recorders_forget(token);
}

QImage make_image(int width, int height, const char* what) {
    if (width <= 0 || height <= 0 || width > max_side || height > max_side ||
        static_cast<qint64>(width) * height > max_pixels) {
        fail(std::string("refused to allocate a ") + std::to_string(width) + " x " +
             std::to_string(height) + " " + what);
        return {};
    }
    QImage img(width, height, QImage::Format_RGB32);
    if (img.isNull()) fail(std::string("out of memory for a ") + what);
    return img;
}

// ---------------------------------------------------------------------------
// Stock objects

namespace {

void default_font_face(LOGFONT& lf, const char* face) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
}

std::vector<HGDIOBJ>& stock_table() {
    static std::vector<HGDIOBJ> table = [] {
        std::vector<HGDIOBJ> t(DC_PEN + 1, nullptr);
        auto brush = [&](int i, int style, COLORREF c) {
            auto o = std::make_unique<Object>();
            o->kind = Kind::brush;
            o->stock = true;
            o->brush_style = style;
            o->colour = c;
            t[i] = as_handle(objects().add(std::move(o)));
        };
        auto pen = [&](int i, int style, COLORREF c) {
            auto o = std::make_unique<Object>();
            o->kind = Kind::pen;
            o->stock = true;
            o->pen_style = style;
            o->pen_width = 0;
            o->colour = c;
            t[i] = as_handle(objects().add(std::move(o)));
        };
        auto font = [&](int i) {
            auto o = std::make_unique<Object>();
            o->kind = Kind::font;
            o->stock = true;
            default_font(o->lf, i);
            t[i] = as_handle(objects().add(std::move(o)));
        };
        brush(WHITE_BRUSH, BS_SOLID, RGB(255, 255, 255));
        brush(LTGRAY_BRUSH, BS_SOLID, RGB(192, 192, 192));
        brush(GRAY_BRUSH, BS_SOLID, RGB(128, 128, 128));
        brush(DKGRAY_BRUSH, BS_SOLID, RGB(64, 64, 64));
        brush(BLACK_BRUSH, BS_SOLID, RGB(0, 0, 0));
        brush(NULL_BRUSH, BS_NULL, 0);
        pen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
        pen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
        pen(NULL_PEN, PS_NULL, 0);
        for (int i : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT,
                      DEVICE_DEFAULT_FONT, SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT})
            font(i);
        brush(DC_BRUSH, BS_SOLID, RGB(255, 255, 255));
        pen(DC_PEN, PS_SOLID, RGB(0, 0, 0));
        return t;
    }();
    return table;
}

} // namespace

void default_font(LOGFONT& lf, int stock_index) {
    lf = LOGFONT{};
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    switch (stock_index) {
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
        lf.lfHeight = 16;
        lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        default_font_face(lf, "DejaVu Sans Mono");
        break;
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        default_font_face(lf, "DejaVu Sans");
        break;
    default: // ANSI_VAR_FONT, DEFAULT_GUI_FONT
        lf.lfHeight = -11;
        lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        default_font_face(lf, "DejaVu Sans");
        break;
    }
}

HGDIOBJ stock(int index) {
    auto& t = stock_table();
    if (index < 0 || index >= static_cast<int>(t.size())) return nullptr;
    return t[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------------------
// DIB conversion

namespace {

std::uint32_t rd32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t rd16(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

int mask_shift(std::uint32_t m) {
    int s = 0;
    while (m && !(m & 1)) {
        m >>= 1;
        ++s;
    }
    return s;
}
int mask_bits(std::uint32_t m) {
    m >>= mask_shift(m);
    int n = 0;
    while (m & 1) {
        m >>= 1;
        ++n;
    }
    return n;
}
int take_channel(std::uint32_t px, std::uint32_t mask) {
    if (!mask) return 0;
    int bits = mask_bits(mask);
    std::uint32_t v = (px & mask) >> mask_shift(mask);
    if (bits >= 8) return static_cast<int>(v >> (bits - 8));
    std::uint32_t maxv = (1u << bits) - 1;
    return static_cast<int>(maxv ? v * 255 / maxv : 0);
}

} // namespace

bool parse_dib_header(const BYTE* p, std::size_t avail, DibHeader& h, std::string& error) {
    h = DibHeader{};
    if (!p || avail < 4) {
        error = "bitmap header missing or truncated";
        return false;
    }
    std::uint32_t hsize = rd32(p);
    long width, height;
    if (hsize == 12) { // the OS/2 core header: 16-bit sides, 3-byte colours
        if (avail < 12) {
            error = "bitmap header truncated";
            return false;
        }
        width = rd16(p + 4);
        height = static_cast<std::int16_t>(rd16(p + 6));
        h.bpp = rd16(p + 10);
        h.entry = 3;
    } else if (hsize >= 40 && hsize <= 256) {
        if (avail < hsize) {
            error = "bitmap header truncated";
            return false;
        }
        width = static_cast<std::int32_t>(rd32(p + 4));
        height = static_cast<std::int32_t>(rd32(p + 8));
        h.bpp = rd16(p + 14);
        h.compression = rd32(p + 16);
        h.coded_size = rd32(p + 20);
        h.colours = rd32(p + 32);
    } else {
        error = "unknown bitmap header size " + std::to_string(hsize);
        return false;
    }
    h.top_down = height < 0;
    if (h.top_down) height = -height;
    if (width <= 0 || height <= 0 || width > max_side || height > max_side ||
        static_cast<qint64>(width) * height > max_pixels) {
        error = "bitmap dimensions " + std::to_string(width) + " x " + std::to_string(height) +
                " out of range";
        return false;
    }
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) {
        error = "unsupported bitmap depth " + std::to_string(h.bpp);
        return false;
    }
    const bool rle =
        (h.compression == BI_RLE8 && h.bpp == 8) || (h.compression == BI_RLE4 && h.bpp == 4);
    if (h.compression != BI_RGB && !rle &&
        !(h.compression == BI_BITFIELDS && (h.bpp == 16 || h.bpp == 32))) {
        error = "unsupported bitmap compression " + std::to_string(h.compression) + " at " +
                std::to_string(h.bpp) + " bits";
        return false;
    }
    if (rle && h.top_down) {
        error = "run-length coded bitmap stored top-down";
        return false;
    }
    std::size_t pos = hsize;
    if (h.compression == BI_BITFIELDS) {
        // Headers of 52 bytes and more hold the masks themselves; shorter
        // ones are followed by them.
        if (hsize >= 52) {
            h.masks_at = 40;
        } else {
            h.masks_at = pos;
            pos += 12;
        }
    } else if (h.bpp == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bpp == 32) {
        h.masks[0] = 0xFF0000;
        h.masks[1] = 0xFF00;
        h.masks[2] = 0xFF;
    }
    if (h.bpp <= 8) {
        if (!h.colours) h.colours = 1u << h.bpp;
        if (h.colours > 256) {
            error = "bitmap colour table too long";
            return false;
        }
    } else {
        // A colour table of a deep bitmap is only a palette hint; skipped.
        if (h.colours > 4096) {
            error = "bitmap colour table too long";
            return false;
        }
    }
    h.table_at = pos;
    h.head_bytes = pos + h.colours * h.entry;
    h.stride =
        ((static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.bpp) + 31) / 32) * 4;
    if (rle) {
        if (!h.coded_size) {
            error = "run-length coded bitmap without its coded size";
            return false;
        }
        h.bits_bytes = h.coded_size;
    } else {
        h.bits_bytes = h.stride * static_cast<std::size_t>(h.height);
    }
    return true;
}

namespace {

// Run-length coded rows (8 or 4 bits a pixel, bottom-up) drawn into img in
// the table's colours; every read bounded by the coded bytes, every write by
// the bitmap. Pixels the runs skip keep the first colour.
bool decode_rle(const BYTE* in, std::size_t n, const DibHeader& h, const std::vector<QRgb>& colours,
                QImage& img, std::string& error) {
    auto colour = [&](unsigned v) { return v < colours.size() ? colours[v] : qRgb(0, 0, 0); };
    img.fill(colour(0));
    const bool four = h.bpp == 4;
    long x = 0, y = 0;
    std::size_t i = 0;
    QRgb* row = nullptr;
    auto seek_row = [&] {
        row = y < h.height
                  ? reinterpret_cast<QRgb*>(img.scanLine(static_cast<int>(h.height - 1 - y)))
                  : nullptr;
    };
    seek_row();
    auto put = [&](unsigned v) {
        if (row && x < h.width) row[x] = colour(v);
        ++x;
    };
    while (y < h.height) {
        // Coded data that stops without its end mark: what was decoded stands.
        if (n - i < 2) return true;
        const unsigned count = in[i], value = in[i + 1];
        i += 2;
        if (count) {
            for (unsigned k = 0; k < count && x < h.width; ++k)
                put(four ? (k % 2 ? value & 0x0F : value >> 4) : value);
            continue;
        }
        switch (value) {
        case 0: // end of the row
            x = 0;
            ++y;
            seek_row();
            break;
        case 1: // end of the bitmap
            return true;
        case 2: // move right and up
            if (n - i < 2) {
                error = "run-length coded bitmap: a move cut short";
                return false;
            }
            x += in[i];
            y += in[i + 1];
            i += 2;
            seek_row();
            break;
        default: { // literal pixels, padded to a whole word
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (n - i < bytes) {
                error = "run-length coded bitmap: literal pixels past the coded data";
                return false;
            }
            for (unsigned k = 0; k < value && x < h.width; ++k) {
                const unsigned b = in[i + (four ? k / 2 : k)];
                put(four ? (k % 2 ? b & 0x0F : b >> 4) : b);
            }
            i += bytes + (bytes % 2);
            if (i > n) i = n;
            break;
        }
        }
    }
    return true;
}

} // namespace

QImage decode_dib_parts(const DibHeader& h, const BYTE* head, const BYTE* bits,
                        std::size_t bits_size, std::string& error, bool* mono) {
    if (mono) *mono = false;
    std::uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
    if (h.masks_at)
        for (int i = 0; i < 3; ++i) masks[i] = rd32(head + h.masks_at + 4 * i);
    std::vector<QRgb> colours;
    if (h.bpp <= 8) {
        for (std::size_t i = 0; i < h.colours; ++i) {
            const BYTE* c = head + h.table_at + i * h.entry;
            colours.push_back(qRgb(c[2], c[1], c[0]));
        }
        if (mono)
            *mono = h.bpp == 1 && h.colours == 2 && colours[0] == qRgb(0, 0, 0) &&
                    colours[1] == qRgb(255, 255, 255);
    }
    if (!bits || bits_size < h.bits_bytes) {
        error = "bitmap pixel data truncated";
        return {};
    }
    QImage img = make_image(h.width, h.height, "bitmap");
    if (img.isNull()) {
        error = "out of memory for the bitmap";
        return {};
    }
    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
        if (!decode_rle(bits, h.bits_bytes, h, colours, img, error)) return {};
        return img;
    }
    auto colour = [&](unsigned v) { return v < colours.size() ? colours[v] : qRgb(0, 0, 0); };
    for (long y = 0; y < h.height; ++y) {
        auto out = reinterpret_cast<QRgb*>(
            img.scanLine(static_cast<int>(h.top_down ? y : h.height - 1 - y)));
        const BYTE* row = bits + h.stride * static_cast<std::size_t>(y);
        for (long x = 0; x < h.width; ++x) {
            QRgb px;
            if (h.bpp <= 8) {
                std::size_t bit = static_cast<std::size_t>(x) * h.bpp;
                px = colour((row[bit / 8] >> (8 - h.bpp - bit % 8)) & ((1u << h.bpp) - 1));
            } else if (h.bpp == 24) {
                const BYTE* c = row + x * 3;
                px = qRgb(c[2], c[1], c[0]);
            } else {
                std::uint32_t v = h.bpp == 16 ? rd16(row + x * 2) : rd32(row + x * 4);
                px = qRgb(take_channel(v, masks[0]), take_channel(v, masks[1]),
                          take_channel(v, masks[2]));
            }
            out[x] = px;
        }
    }
    return img;
}

QImage decode_dib(const BYTE* data, std::size_t size, std::string& error, bool* mono) {
    if (mono) *mono = false;
    DibHeader h;
    if (!parse_dib_header(data, size, h, error)) return {};
    if (size < h.head_bytes) {
        error = h.masks_at && h.masks_at + 12 > size ? "bitmap colour masks truncated"
                                                     : "bitmap colour table truncated";
        return {};
    }
    return decode_dib_parts(h, data, data + h.head_bytes, size - h.head_bytes, error, mono);
}

std::size_t dib_packed_size(const BYTE* p) {
    DibHeader h;
    std::string err;
    // The program's own DIB: its header is read as far as it says it goes.
    if (!p || !parse_dib_header(p, 256, h, err)) return 0;
    return h.head_bytes + h.bits_bytes;
}

Object* brush_arg(HBRUSH brush) {
    auto v = reinterpret_cast<std::uintptr_t>(brush);
    if (v > 0 && v <= 31) return object(GetSysColorBrush(static_cast<int>(v - 1)), Kind::brush);
    return object(brush, Kind::brush);
}

std::vector<BYTE> encode_dib(const QImage& image, bool mono) {
    QImage img = image.convertToFormat(QImage::Format_RGB32);
    int w = img.width(), h = img.height();
    int bpp = mono ? 1 : 24;
    std::size_t stride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
    Bytes b;
    b.u32(40);
    b.i32(w);
    b.i32(h);
    b.u16(1);
    b.u16(static_cast<unsigned>(bpp));
    b.u32(BI_RGB);
    b.u32(static_cast<std::uint32_t>(stride * static_cast<std::size_t>(h)));
    b.i32(0);
    b.i32(0);
    b.u32(mono ? 2 : 0);
    b.u32(0);
    if (mono) {
        b.u32(0x00000000);
        b.u32(0x00FFFFFF);
    }
    for (int y = h - 1; y >= 0; --y) {
        auto row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        std::size_t start = b.v.size();
        if (mono) {
            b.v.resize(start + stride, 0);
            for (int x = 0; x < w; ++x)
                if (qGray(row[x]) >= 128) b.v[start + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        } else {
            for (int x = 0; x < w; ++x) {
                b.u8(qBlue(row[x]));
                b.u8(qGreen(row[x]));
                b.u8(qRed(row[x]));
            }
            b.v.resize(start + stride, 0);
        }
    }
    return b.v;
}

} // namespace gdi

using namespace gdi;

// ---------------------------------------------------------------------------
// Errors

const char* gdi_last_error() {
    return last_error().c_str();
}

void gdi_set_error_hook(gdi_error_hook hook) {
    error_hook() = hook;
}

// ---------------------------------------------------------------------------
// Pens and brushes

HPEN CreatePen(int style, int width, COLORREF colour) {
    int base = style & PS_STYLE_MASK;
    if (base > PS_INSIDEFRAME) {
        fail("CreatePen: unknown pen style " + std::to_string(style));
        return nullptr;
    }
    auto o = std::make_unique<Object>();
    o->kind = Kind::pen;
    o->pen_style = base;
    o->pen_width = std::clamp(width, 0, 32767);
    o->colour = plain(colour);
    return add_object<HPEN>(std::move(o));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
    if (!pen) return nullptr;
    return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD nstyles,
                  const DWORD* styles) {
    if (!brush) return nullptr;
    int base = static_cast<int>(style) & PS_STYLE_MASK;
    if (base > PS_ALTERNATE ||
        (base == PS_USERSTYLE && (nstyles == 0 || nstyles > 16 || !styles))) {
        fail("ExtCreatePen: bad pen style");
        return nullptr;
    }
    auto o = std::make_unique<Object>();
    o->kind = Kind::pen;
    o->pen_style = static_cast<int>(style);
    bool geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
    o->pen_width = geometric ? static_cast<int>(std::min<DWORD>(width, 0x7FFF)) : 0;
    o->colour = plain(brush->lbColor);
    if (base == PS_USERSTYLE) o->user_style.assign(styles, styles + nstyles);
    return add_object<HPEN>(std::move(o));
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    auto o = std::make_unique<Object>();
    o->kind = Kind::brush;
    o->brush_style = BS_SOLID;
    o->colour = plain(colour);
    return add_object<HBRUSH>(std::move(o));
}

HBRUSH CreateHatchBrush(int hatch, COLORREF colour) {
    if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) {
        fail("CreateHatchBrush: unknown hatch " + std::to_string(hatch));
        return nullptr;
    }
    auto o = std::make_unique<Object>();
    o->kind = Kind::brush;
    o->brush_style = BS_HATCHED;
    o->hatch = hatch;
    o->colour = plain(colour);
    return add_object<HBRUSH>(std::move(o));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    Object* b = object(bitmap, Kind::bitmap);
    if (!b || b->image.isNull()) return nullptr;
    auto o = std::make_unique<Object>();
    o->kind = Kind::brush;
    o->brush_style = BS_PATTERN;
    o->pattern = b->image.copy();
    o->pattern_mono = b->bits_pixel == 1;
    return add_object<HBRUSH>(std::move(o));
}

HBRUSH CreateDIBPatternBrushPt(const void* packed_dib, UINT) {
    if (!packed_dib) return nullptr;
    // The program hands its own packed DIB; its header bounds the reading.
    auto p = static_cast<const BYTE*>(packed_dib);
    std::size_t size = dib_packed_size(p);
    std::string err;
    bool mono = false;
    QImage img = decode_dib(p, size, err, &mono);
    if (img.isNull()) {
        fail("CreateDIBPatternBrushPt: " + err);
        return nullptr;
    }
    auto o = std::make_unique<Object>();
    o->kind = Kind::brush;
    o->brush_style = BS_DIBPATTERNPT;
    o->pattern = img;
    o->pattern_mono = false;
    return add_object<HBRUSH>(std::move(o));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush) return nullptr;
    switch (brush->lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(brush->lbColor);
    case BS_NULL:
        return static_cast<HBRUSH>(stock(NULL_BRUSH));
    case BS_HATCHED:
        return CreateHatchBrush(static_cast<int>(brush->lbHatch), brush->lbColor);
    case BS_PATTERN:
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush->lbHatch));
    default:
        fail("CreateBrushIndirect: unsupported brush style " + std::to_string(brush->lbStyle));
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Fonts

HFONT CreateFontIndirect(const LOGFONT* font) {
    if (!font) return nullptr;
    auto o = std::make_unique<Object>();
    o->kind = Kind::font;
    o->lf = *font;
    o->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return add_object<HFONT>(std::move(o));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeout, DWORD charset, DWORD out_precision,
                 DWORD clip_precision, DWORD quality, DWORD pitch_and_family, const char* face) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfUnderline = underline ? 1 : 0;
    lf.lfStrikeOut = strikeout ? 1 : 0;
    lf.lfCharSet = static_cast<BYTE>(charset);
    lf.lfOutPrecision = static_cast<BYTE>(out_precision);
    lf.lfClipPrecision = static_cast<BYTE>(clip_precision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitch_and_family);
    if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

// ---------------------------------------------------------------------------
// Bitmaps

namespace {

HBITMAP add_bitmap(QImage img, int bpp) {
    auto o = std::make_unique<Object>();
    o->kind = Kind::bitmap;
    o->image = std::move(img);
    o->bits_pixel = bpp;
    return add_object<HBITMAP>(std::move(o));
}

struct Resource {
    QImage image;
    bool mono = false;
};
std::map<std::string, Resource>& resources() {
    static std::map<std::string, Resource> r;
    return r;
}
std::string resource_key(const char* name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
    std::string s(name);
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, const void* bits) {
    int bpp = static_cast<int>(planes * bits_per_pixel);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        fail("CreateBitmap: unsupported depth " + std::to_string(bpp));
        return nullptr;
    }
    QImage img = make_image(width, height, "bitmap");
    if (img.isNull()) return nullptr;
    img.fill(bpp == 1 ? qRgb(0, 0, 0) : qRgb(0, 0, 0));
    if (bits) {
        // Device-dependent rows are padded to 16 bits, top-down.
        auto p = static_cast<const BYTE*>(bits);
        std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 15) / 16) * 2;
        for (int y = 0; y < height; ++y) {
            const BYTE* row = p + stride * static_cast<std::size_t>(y);
            auto out = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < width; ++x) {
                switch (bpp) {
                case 1:
                    out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                    break;
                case 24:
                    out[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                    break;
                case 32:
                    out[x] = qRgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
                    break;
                default: { // 4, 8, 16: grey levels of the raw value
                    unsigned v = bpp == 16
                                     ? rd16(row + x * 2)
                                     : (row[x * bpp / 8] >> (bpp == 4 ? (x % 2 ? 0 : 4) : 0)) &
                                           ((1u << std::min(bpp, 8)) - 1);
                    int g = bpp == 4 ? static_cast<int>(v * 17) : static_cast<int>(v & 0xFF);
                    out[x] = qRgb(g, g, g);
                }
                }
            }
        }
    }
    return add_bitmap(std::move(img), bpp);
}

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT) {
    if (!header) return nullptr;
    int w = header->biWidth, h = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    if (!(init & CBM_INIT) || !bits || !info) {
        QImage img = make_image(w, h, "bitmap");
        if (img.isNull()) return nullptr;
        img.fill(qRgb(0, 0, 0));
        return add_bitmap(std::move(img), 32);
    }
    // The header, colour table and bits are each read as far as the header
    // says they go.
    DibHeader dh;
    std::string err;
    bool mono = false;
    QImage img;
    if (parse_dib_header(reinterpret_cast<const BYTE*>(info), 256, dh, err))
        img = decode_dib_parts(dh, reinterpret_cast<const BYTE*>(info),
                               static_cast<const BYTE*>(bits), dh.bits_bytes, err, &mono);
    if (img.isNull()) {
        fail("CreateDIBitmap: " + err);
        return nullptr;
    }
    return add_bitmap(std::move(img), mono ? 1 : 32);
}

HBITMAP LoadBitmap(HINSTANCE, const char* name) {
    if (!name) return nullptr;
    auto it = resources().find(resource_key(name));
    if (it == resources().end()) {
        fail("LoadBitmap: no bitmap resource " + resource_key(name));
        return nullptr;
    }
    return add_bitmap(it->second.image.convertToFormat(QImage::Format_RGB32),
                      it->second.mono ? 1 : 32);
}

LONG GetBitmapBits(HBITMAP bitmap, LONG size, void* bits) {
    Object* b = object(bitmap, Kind::bitmap);
    if (!b || !bits || size <= 0) return 0;
    // 32 bits per pixel rows (BGRX), the layout of a 32-bit device bitmap.
    std::size_t total = static_cast<std::size_t>(b->image.width()) * b->image.height() * 4;
    std::size_t n = std::min(total, static_cast<std::size_t>(size));
    std::size_t done = 0;
    for (int y = 0; y < b->image.height() && done < n; ++y) {
        std::size_t row = static_cast<std::size_t>(b->image.width()) * 4;
        std::size_t k = std::min(row, n - done);
        std::memcpy(static_cast<BYTE*>(bits) + done, b->image.constScanLine(y), k);
        done += k;
    }
    return static_cast<LONG>(done);
}

int GetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT) {
    Object* b = object(bitmap, Kind::bitmap);
    if (!b || !info) return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    int w = b->image.width(), ht = b->image.height();
    if (!bits) { // fill in the header
        h.biSize = 40;
        h.biWidth = w;
        h.biHeight = ht;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(w) * ht * 4;
        h.biClrUsed = 0;
        return ht;
    }
    if (h.biBitCount != 32 && h.biBitCount != 24) {
        fail("GetDIBits: only 24 and 32 bits per pixel are written");
        return 0;
    }
    bool top_down = h.biHeight < 0;
    std::size_t stride = ((static_cast<std::size_t>(w) * h.biBitCount + 31) / 32) * 4;
    UINT done = 0;
    for (UINT i = 0; i < lines && start + i < static_cast<UINT>(ht); ++i) {
        UINT dib_row = start + i; // bottom-up row number
        int y = top_down ? static_cast<int>(dib_row) : ht - 1 - static_cast<int>(dib_row);
        auto src = reinterpret_cast<const QRgb*>(b->image.constScanLine(y));
        BYTE* out = static_cast<BYTE*>(bits) + stride * i;
        for (int x = 0; x < w; ++x) {
            int k = x * (h.biBitCount / 8);
            out[k] = static_cast<BYTE>(qBlue(src[x]));
            out[k + 1] = static_cast<BYTE>(qGreen(src[x]));
            out[k + 2] = static_cast<BYTE>(qRed(src[x]));
            if (h.biBitCount == 32) out[k + 3] = 0;
        }
        ++done;
    }
    return static_cast<int>(done);
}

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
    (void)usage; // colours are always given as RGB
    Object* b = object(bitmap, Kind::bitmap);
    if (!b || !bits || !info) return 0;
    DibHeader dh;
    std::string err;
    const auto* head = reinterpret_cast<const BYTE*>(info);
    if (!parse_dib_header(head, 256, dh, err)) {
        fail("SetDIBits: " + err);
        return 0;
    }
    const UINT rows = std::min<UINT>(lines, static_cast<UINT>(dh.height));
    if (rows == 0 || start >= static_cast<UINT>(b->image.height())) return 0;
    // The buffer holds just the rows set (a run-length coded one says its
    // own size): it is read as a bitmap of that height, never past them.
    const bool coded = dh.compression == BI_RLE8 || dh.compression == BI_RLE4;
    DibHeader part = dh;
    if (!coded) {
        part.height = static_cast<int>(rows);
        part.bits_bytes = part.stride * rows;
    }
    QImage img =
        decode_dib_parts(part, head, static_cast<const BYTE*>(bits), part.bits_bytes, err, nullptr);
    if (img.isNull()) {
        fail("SetDIBits: " + err);
        return 0;
    }
    end_live_painters_on(&b->image);
    QPainter p(&b->image);
    const int h = img.height();
    // Rows start..start+rows (bottom-up numbering) of the target, from the
    // bottom rows of what was read.
    const int y0 = b->image.height() - static_cast<int>(start + rows);
    p.drawImage(QPoint(0, y0), img,
                QRect(0, h - static_cast<int>(rows), img.width(), static_cast<int>(rows)));
    p.end();
    return static_cast<int>(rows);
}

// ---------------------------------------------------------------------------
// Regions

namespace {

HRGN add_region(QRegion r) {
    auto o = std::make_unique<Object>();
    o->kind = Kind::region;
    o->region = std::move(r);
    return add_object<HRGN>(std::move(o));
}

QRect norm_rect(long l, long t, long r, long b) {
    auto c = [](long v) { return static_cast<int>(std::clamp<long>(v, -(1L << 26), 1L << 26)); };
    int L = c(std::min(l, r)), R = c(std::max(l, r)), T = c(std::min(t, b)), B = c(std::max(t, b));
    return QRect(L, T, R - L, B - T);
}

int region_kind(const QRegion& r) {
    if (r.isEmpty()) return NULLREGION;
    return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return add_region(QRegion(norm_rect(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(const RECT* r) {
    return r ? CreateRectRgn(r->left, r->top, r->right, r->bottom) : nullptr;
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
    QRect r = norm_rect(left, top, right, bottom);
    if (r.width() > max_side || r.height() > max_side) {
        fail("CreateEllipticRgn: region too large");
        return nullptr;
    }
    return add_region(QRegion(r, QRegion::Ellipse));
}

HRGN CreateEllipticRgnIndirect(const RECT* r) {
    return r ? CreateEllipticRgn(r->left, r->top, r->right, r->bottom) : nullptr;
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int w, int h) {
    QRect r = norm_rect(left, top, right, bottom);
    if (r.width() > max_side || r.height() > max_side) {
        fail("CreateRoundRectRgn: region too large");
        return nullptr;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(r.x(), r.y(), r.width(), r.height()), w / 2.0, h / 2.0);
    return add_region(QRegion(path.toFillPolygon().toPolygon()));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fill_mode) {
    if (!points || count < 0 || count > 1000000) {
        fail("CreatePolygonRgn: bad point list");
        return nullptr;
    }
    QPolygon poly;
    for (int i = 0; i < count; ++i) poly << QPoint(points[i].x, points[i].y);
    return add_region(QRegion(poly, fill_mode == WINDING ? Qt::WindingFill : Qt::OddEvenFill));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    Object* d = object(dest, Kind::region);
    Object* a = object(src1, Kind::region);
    if (!d || !a) return ERROR;
    if (mode == RGN_COPY) {
        d->region = a->region;
        return region_kind(d->region);
    }
    Object* b = object(src2, Kind::region);
    if (!b) return ERROR;
    switch (mode) {
    case RGN_AND:
        d->region = a->region.intersected(b->region);
        break;
    case RGN_OR:
        d->region = a->region.united(b->region);
        break;
    case RGN_XOR:
        d->region = a->region.xored(b->region);
        break;
    case RGN_DIFF:
        d->region = a->region.subtracted(b->region);
        break;
    default:
        fail("CombineRgn: unknown mode " + std::to_string(mode));
        return ERROR;
    }
    return region_kind(d->region);
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom) {
    Object* r = object(region, Kind::region);
    if (!r) return FALSE;
    r->region = QRegion(norm_rect(left, top, right, bottom));
    return TRUE;
}

int OffsetRgn(HRGN region, int dx, int dy) {
    Object* r = object(region, Kind::region);
    if (!r) return ERROR;
    r->region.translate(dx, dy);
    return region_kind(r->region);
}

int GetRgnBox(HRGN region, RECT* rect) {
    Object* r = object(region, Kind::region);
    if (!r || !rect) return ERROR;
    QRect b = r->region.boundingRect();
    if (r->region.isEmpty()) {
        *rect = RECT{0, 0, 0, 0};
    } else {
        *rect = RECT{b.left(), b.top(), b.right() + 1, b.bottom() + 1};
    }
    return region_kind(r->region);
}

BOOL PtInRegion(HRGN region, int x, int y) {
    Object* r = object(region, Kind::region);
    return r && r->region.contains(QPoint(x, y)) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN region, const RECT* rect) {
    Object* r = object(region, Kind::region);
    if (!r || !rect) return FALSE;
    return r->region.intersects(norm_rect(rect->left, rect->top, rect->right, rect->bottom));
}

BOOL EqualRgn(HRGN a, HRGN b) {
    Object* x = object(a, Kind::region);
    Object* y = object(b, Kind::region);
    return x && y && x->region == y->region ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Generic object calls

HGDIOBJ GetStockObject(int index) {
    HGDIOBJ h = stock(index);
    if (!h) fail("GetStockObject: no stock object " + std::to_string(index));
    return h;
}

BOOL DeleteObject(HGDIOBJ h) {
    if (!h) return FALSE;
    Object* o = object_any(h);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    if (o->selected > 0) {
        o->delete_pending = true;
        return TRUE;
    }
    destroy(tok(h));
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ h) {
    std::uint32_t t = tok(h);
    if (tag_of(t) == tag_dc) {
        Dc* d = dc(static_cast<HDC>(h));
        if (!d) return 0;
        switch (d->kind) {
        case DcKind::memory:
            return OBJ_MEMDC;
        case DcKind::wmf:
            return OBJ_METADC;
        case DcKind::emf:
            return OBJ_ENHMETADC;
        default:
            return OBJ_DC;
        }
    }
    if (tag_of(t) == tag_metafile) {
        if (metafile(t, false)) return OBJ_METAFILE;
        if (metafile(t, true)) return OBJ_ENHMETAFILE;
        return 0;
    }
    Object* o = objects().get(t);
    if (!o) return 0;
    switch (o->kind) {
    case Kind::pen:
        return o->pen_style & (PS_TYPE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK) ||
                       !o->user_style.empty()
                   ? OBJ_EXTPEN
                   : OBJ_PEN;
    case Kind::brush:
        return OBJ_BRUSH;
    case Kind::font:
        return OBJ_FONT;
    case Kind::bitmap:
        return OBJ_BITMAP;
    case Kind::region:
        return OBJ_REGION;
    case Kind::palette:
        return OBJ_PAL;
    }
    return 0;
}

int GetObject(HGDIOBJ h, int size, void* buffer) {
    Object* o = object_any(h);
    if (!o) return 0;
    auto give = [&](const void* rec, int n) {
        if (!buffer) return n;
        if (size < n) {
            fail("GetObject: buffer too small");
            return 0;
        }
        std::memcpy(buffer, rec, static_cast<std::size_t>(n));
        return n;
    };
    switch (o->kind) {
    case Kind::pen: {
        LOGPEN lp{static_cast<UINT>(o->pen_style & PS_STYLE_MASK), POINT{o->pen_width, 0},
                  o->colour};
        return give(&lp, sizeof lp);
    }
    case Kind::brush: {
        LOGBRUSH lb{static_cast<UINT>(o->brush_style), o->colour,
                    static_cast<ULONG_PTR>(o->brush_style == BS_HATCHED ? o->hatch : 0)};
        return give(&lb, sizeof lb);
    }
    case Kind::font:
        return give(&o->lf, sizeof o->lf);
    case Kind::bitmap: {
        BITMAP bm{};
        bm.bmWidth = o->image.width();
        bm.bmHeight = o->image.height();
        bm.bmBitsPixel = static_cast<WORD>(o->bits_pixel);
        bm.bmPlanes = 1;
        bm.bmWidthBytes = ((bm.bmWidth * o->bits_pixel + 15) / 16) * 2;
        return give(&bm, sizeof bm);
    }
    default:
        fail("GetObject: no record for this kind of object");
        return 0;
    }
}

// ---------------------------------------------------------------------------
// System colours

namespace {

struct SysColours {
    COLORREF colour[31];
    HBRUSH brush[31];
};

SysColours& sys() {
    static SysColours s = [] {
        SysColours c{};
        const COLORREF defaults[31] = {
            RGB(212, 208, 200), // scroll bar
            RGB(58, 110, 165),  // background
            RGB(10, 36, 106),   // active caption
            RGB(128, 128, 128), // inactive caption
            RGB(212, 208, 200), // menu
            RGB(255, 255, 255), // window
            RGB(0, 0, 0),       // window frame
            RGB(0, 0, 0),       // menu text
            RGB(0, 0, 0),       // window text
            RGB(255, 255, 255), // caption text
            RGB(212, 208, 200), // active border
            RGB(212, 208, 200), // inactive border
            RGB(128, 128, 128), // app workspace
            RGB(10, 36, 106),   // highlight
            RGB(255, 255, 255), // highlight text
            RGB(212, 208, 200), // button face
            RGB(128, 128, 128), // button shadow
            RGB(128, 128, 128), // grey text
            RGB(0, 0, 0),       // button text
            RGB(212, 208, 200), // inactive caption text
            RGB(255, 255, 255), // button highlight
            RGB(64, 64, 64),    // 3D dark shadow
            RGB(212, 208, 200), // 3D light
            RGB(0, 0, 0),       // info text
            RGB(255, 255, 225), // info background
            RGB(181, 181, 181), // (unused 25)
            RGB(0, 0, 128),     // hot light
            RGB(166, 202, 240), // gradient active caption
            RGB(192, 192, 192), // gradient inactive caption
            RGB(10, 36, 106),   // menu highlight
            RGB(212, 208, 200), // menu bar
        };
        for (int i = 0; i < 31; ++i) {
            c.colour[i] = defaults[i];
            auto o = std::make_unique<Object>();
            o->kind = Kind::brush;
            o->stock = true;
            o->brush_style = BS_SOLID;
            o->colour = defaults[i];
            c.brush[i] = static_cast<HBRUSH>(as_handle(objects().add(std::move(o))));
        }
        return c;
    }();
    return s;
}

COLORREF colour_of(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

// Relative luminance of a colour (sRGB), 0 black to 1 white.
double luminance(COLORREF c) {
    auto lin = [](int v) {
        const double x = v / 255.0;
        return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(GetRValue(c)) + 0.7152 * lin(GetGValue(c)) + 0.0722 * lin(GetBValue(c));
}

} // namespace

double colour_contrast(COLORREF a, COLORREF b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

COLORREF readable_on(COLORREF text, COLORREF back) {
    // 4.5 to 1 is what body text needs to be read with ease.
    if (colour_contrast(text, back) >= 4.5) return text;
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
    return colour_contrast(black, back) >= colour_contrast(white, back) ? black : white;
}

namespace {

// The system colours follow the palette of the running style, so what the
// program draws itself (bars, frames, 3D edges) matches Qt's own controls.
// Taken once, when the application exists; colours set by SetSysColors
// afterwards stay as set.
void take_palette(SysColours& c) {
    const QPalette p = QGuiApplication::palette();
    auto col = [&](QPalette::ColorRole r) { return colour_of(p.color(QPalette::Active, r)); };
    const COLORREF face = col(QPalette::Button);
    const COLORREF window = col(QPalette::Window);
    const COLORREF highlight = col(QPalette::Highlight);
    const std::pair<int, COLORREF> roles[] = {
        {COLOR_SCROLLBAR, face},
        {COLOR_ACTIVECAPTION, highlight},
        {COLOR_INACTIVECAPTION, col(QPalette::Mid)},
        {COLOR_MENU, window},
        {COLOR_WINDOW, col(QPalette::Base)},
        {COLOR_WINDOWFRAME, col(QPalette::Shadow)},
        {COLOR_MENUTEXT, col(QPalette::WindowText)},
        {COLOR_WINDOWTEXT, col(QPalette::Text)},
        {COLOR_CAPTIONTEXT, col(QPalette::HighlightedText)},
        {COLOR_ACTIVEBORDER, window},
        {COLOR_INACTIVEBORDER, window},
        {COLOR_APPWORKSPACE, col(QPalette::Mid)},
        {COLOR_HIGHLIGHT, highlight},
        {COLOR_HIGHLIGHTTEXT, col(QPalette::HighlightedText)},
        {COLOR_BTNFACE, face},
        {COLOR_BTNSHADOW, col(QPalette::Dark)},
        {COLOR_GRAYTEXT, colour_of(p.color(QPalette::Disabled, QPalette::Text))},
        {COLOR_BTNTEXT, col(QPalette::ButtonText)},
        {COLOR_INACTIVECAPTIONTEXT, colour_of(p.color(QPalette::Disabled, QPalette::WindowText))},
        {COLOR_BTNHIGHLIGHT, col(QPalette::Light)},
        {COLOR_3DDKSHADOW, col(QPalette::Shadow)},
        {COLOR_3DLIGHT, col(QPalette::Midlight)},
        {COLOR_INFOTEXT, col(QPalette::ToolTipText)},
        {COLOR_INFOBK, col(QPalette::ToolTipBase)},
        {COLOR_HOTLIGHT, col(QPalette::Link)},
        {COLOR_GRADIENTACTIVECAPTION, highlight},
        {COLOR_GRADIENTINACTIVECAPTION, col(QPalette::Midlight)},
        {COLOR_MENUHILIGHT, highlight},
        {COLOR_MENUBAR, window},
    };
    for (const auto& [index, colour] : roles) c.colour[index] = colour;
    // Texts drawn on a bar of their own colour stay readable whatever the
    // style: the palette's disabled text on its mid grey (an inactive
    // window's title) is grey on grey.
    // (The white of a selection or an active title on the style's accent
    // colour is the style's own look and stays.)
    const std::pair<int, int> on[] = {
        {COLOR_INACTIVECAPTIONTEXT, COLOR_INACTIVECAPTION},
        {COLOR_INFOTEXT, COLOR_INFOBK},
    };
    for (const auto& [text, back] : on)
        c.colour[text] = readable_on(c.colour[text], c.colour[back]);
    for (const auto& [index, colour] : roles)
        if (Object* o = objects().get(tok(c.brush[index]))) o->colour = c.colour[index];
}

SysColours& synced() {
    static bool taken = false;
    SysColours& c = sys();
    if (!taken && QGuiApplication::instance()) {
        taken = true;
        take_palette(c);
    }
    return c;
}

} // namespace

DWORD GetSysColor(int index) {
    if (index < 0 || index >= 31) return 0;
    return synced().colour[index];
}

HBRUSH GetSysColorBrush(int index) {
    if (index < 0 || index >= 31) return nullptr;
    return synced().brush[index];
}

BOOL SetSysColors(int count, const int* indexes, const COLORREF* colours) {
    if (count < 0 || (count > 0 && (!indexes || !colours))) return FALSE;
    for (int i = 0; i < count; ++i) {
        int k = indexes[i];
        if (k < 0 || k >= 31) continue;
        synced().colour[k] = plain(colours[i]);
        if (Object* o = objects().get(tok(synced().brush[k]))) o->colour = plain(colours[i]);
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Seams for the rest of the platform

void gdi_register_bitmap(int id, const QImage& image, bool mono) {
    resources()[resource_key(MAKEINTRESOURCE(id))] = Resource{image, mono};
}

void gdi_register_bitmap(const char* name, const QImage& image, bool mono) {
    if (name) resources()[resource_key(name)] = Resource{image, mono};
}

QImage gdi_bitmap_image(HBITMAP bitmap) {
    Object* b = object(bitmap, Kind::bitmap);
    return b ? b->image.copy() : QImage();
}

HBITMAP gdi_bitmap_from_image(const QImage& image) {
    if (image.isNull()) return nullptr;
    QImage img = make_image(image.width(), image.height(), "bitmap");
    if (img.isNull()) return nullptr;
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.drawImage(0, 0, image);
    p.end();
    return add_bitmap(std::move(img), 32);
}

QRegion gdi_region(HRGN region) {
    Object* r = object(region, Kind::region);
    return r ? r->region : QRegion();
}

HBITMAP CreateCompatibleBitmap(HDC h, int width, int height) {
    // Compatible with a memory context means with its selected bitmap: a
    // fresh memory context holds a monochrome one, as on the platform.
    int bpp = 32;
    if (h) {
        Dc* d = dc(h);
        if (!d) return nullptr;
        if (d->kind == DcKind::memory)
            if (Object* b = object(d->bitmap, Kind::bitmap)) bpp = b->bits_pixel == 1 ? 1 : 32;
    }
    QImage img = make_image(width, height, "bitmap");
    if (img.isNull()) return nullptr;
    img.fill(qRgb(0, 0, 0));
    return add_bitmap(std::move(img), bpp);
}
