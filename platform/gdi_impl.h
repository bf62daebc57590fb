// Private structures of the drawing layer, shared by its own source files
// (gdi_*.cpp, metafile_*.cpp). Nothing outside the layer includes this.
#pragma once

#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gdi {

// ---------------------------------------------------------------------------
// Errors

// Records a failure (formatted message) and passes it to the error hook.
void fail(const std::string& message);

// ---------------------------------------------------------------------------
// Handle tables: a token is tag (2 bits) | generation (10 bits) | slot (20 bits).

inline constexpr std::uint32_t tag_object = 1u;
inline constexpr std::uint32_t tag_dc = 2u;
inline constexpr std::uint32_t tag_metafile = 3u;
inline constexpr std::uint32_t slot_bits = 20;
inline constexpr std::uint32_t slot_mask = (1u << slot_bits) - 1;
inline constexpr std::uint32_t gen_mask = 0x3FFu;

inline std::uint32_t tag_of(std::uint32_t token) {
    return token >> 30;
}

template <typename T> class HandleTable {
public:
    explicit HandleTable(std::uint32_t tag) : tag_(tag) {}
    std::uint32_t add(std::unique_ptr<T> item) {
        std::uint32_t slot;
        if (!free_.empty() && free_.size() > 64) { // reuse late: stale handles stay detectable
            slot = free_.front();
            free_.erase(free_.begin());
        } else {
            if (slots_.size() >= slot_mask) return 0;
            slot = static_cast<std::uint32_t>(slots_.size());
            slots_.push_back({});
        }
        Slot& s = slots_[slot];
        s.gen = (s.gen + 1) & gen_mask;
        if (s.gen == 0) s.gen = 1;
        s.item = std::move(item);
        return (tag_ << 30) | (s.gen << slot_bits) | (slot + 1);
    }
    T* get(std::uint32_t token) const {
        if (tag_of(token) != tag_) return nullptr;
        std::uint32_t slot = (token & slot_mask);
        if (slot == 0 || slot > slots_.size()) return nullptr;
        const Slot& s = slots_[slot - 1];
        if (!s.item || s.gen != ((token >> slot_bits) & gen_mask)) return nullptr;
        return s.item.get();
    }
    std::unique_ptr<T> remove(std::uint32_t token) {
        if (!get(token)) return nullptr;
        std::uint32_t slot = (token & slot_mask) - 1;
        free_.push_back(slot);
        return std::move(slots_[slot].item);
    }
    template <typename F> void for_each(F f) {
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].item)
                f((tag_ << 30) | (slots_[i].gen << slot_bits) | static_cast<std::uint32_t>(i + 1),
                  *slots_[i].item);
    }

private:
    struct Slot {
        std::uint32_t gen = 0;
        std::unique_ptr<T> item;
    };
    std::uint32_t tag_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> free_;
};

// ---------------------------------------------------------------------------
// Drawing objects

enum class Kind : std::uint8_t { pen, brush, font, bitmap, region, palette };

struct Object {
    Kind kind = Kind::pen;
    bool stock = false;
    int selected = 0;            // number of contexts it is selected into
    bool delete_pending = false; // DeleteObject while selected
    // pen
    int pen_style = PS_SOLID; // full style word (type, cap, join, style)
    int pen_width = 0;
    COLORREF colour = 0; // pen and brush colour
    std::vector<DWORD> user_style;
    // brush
    int brush_style = BS_SOLID;
    int hatch = 0;
    QImage pattern;            // pattern brushes (RGB32)
    bool pattern_mono = false; // 1-bit pattern: black = text colour, white = background
    // font
    LOGFONT lf{};
    // bitmap
    QImage image; // RGB32 pixels
    int bits_pixel = 32;
    // region
    QRegion region;
};

Object* object(HGDIOBJ h, Kind kind); // checked: null (and an error) when stale or wrong kind
Object* object_any(HGDIOBJ h);        // checked, any kind
HGDIOBJ stock(int index);
void object_selected(HGDIOBJ h);   // selection count up
void object_deselected(HGDIOBJ h); // selection count down; deletes when pending
// Called when an object really goes away (metafile recorders forget it).
void object_destroyed_notify(std::uint32_t token);

// Colour conversions.
inline QColor qcolor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline QRgb qrgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline COLORREF colorref(QRgb c) {
    return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)),
               static_cast<BYTE>(qBlue(c)));
}
// Palette-index and palette-relative colours are taken as plain RGB.
inline COLORREF plain(COLORREF c) {
    return c & 0x00FFFFFF;
}

// Largest image side and pixel count the layer allocates.
inline constexpr int max_side = 32767;
inline constexpr qint64 max_pixels = 256LL * 1024 * 1024;
// An RGB32 image of that size, or a null image (with an error) when refused.
QImage make_image(int width, int height, const char* what);

// What a DIB header says, read no further than the header's own size (and,
// for the OS/2 core header, its 12 bytes). Offsets count from the header.
struct DibHeader {
    int width = 0, height = 0; // positive; top_down gives the row order
    bool top_down = false;
    int bpp = 0;
    std::uint32_t compression = 0; // BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS
    std::uint32_t coded_size = 0;  // the header's image size (run-length data)
    std::size_t entry = 4;         // bytes of a colour table entry
    std::size_t colours = 0;       // entries of the colour table
    std::size_t masks_at = 0;      // offset of the bit-field masks, 0 when none
    std::uint32_t masks[3] = {0, 0, 0};
    std::size_t table_at = 0;   // offset of the colour table
    std::size_t head_bytes = 0; // header, masks and colour table
    std::size_t stride = 0;     // bytes of an uncompressed row
    std::size_t bits_bytes = 0; // bytes of pixel data the header calls for
};
// Reads a DIB header of which `avail` bytes may be read; false (with the
// reason) when it is not one this layer draws.
bool parse_dib_header(const BYTE* header, std::size_t avail, DibHeader& h, std::string& error);
// Decodes a DIB whose header, masks and colour table (h.head_bytes of them)
// are at `head` and whose bits (bits_size of them may be read) at `bits`.
// Run-length coded bits are decoded within the coded size.
QImage decode_dib_parts(const DibHeader& h, const BYTE* head, const BYTE* bits,
                        std::size_t bits_size, std::string& error, bool* mono);
// Decodes a packed DIB (header, colour table, bits) of at most `size` bytes
// into an RGB32 image; `mono` tells a two-colour black and white DIB.
// Returns a null image and sets `error` when the DIB is malformed.
QImage decode_dib(const BYTE* data, std::size_t size, std::string& error, bool* mono = nullptr);
// Encodes an image as a packed 24-bit (or 1-bit when mono) bottom-up DIB.
std::vector<BYTE> encode_dib(const QImage& image, bool mono);

// ---------------------------------------------------------------------------
// Device contexts

enum class DcKind : std::uint8_t { image, memory, screen, painter, wmf, emf };

struct DcState {
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    COLORREF text = RGB(0, 0, 0);
    COLORREF bk = RGB(255, 255, 255);
    int bk_mode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int map_mode = MM_TEXT;
    POINT win_org{0, 0};
    POINT vp_org{0, 0};
    SIZE win_ext{1, 1};
    SIZE vp_ext{1, 1};
    bool has_clip = false;
    QRegion clip; // device units
    POINT cur{0, 0};
    UINT text_align = TA_LEFT | TA_TOP;
    int poly_fill = ALTERNATE;
    int stretch_mode = BLACKONWHITE;
    int arc_direction = AD_COUNTERCLOCKWISE;
    POINT brush_org{0, 0};
    int char_extra = 0;
    // Applied after the page mapping; not the identity only while an
    // enhanced metafile plays (its picture placed into the target rectangle).
    QTransform outer;
};

class Recorder; // metafile recorder (metafile.h)

// The painter a context keeps open on its image across drawing calls: opening
// a painter costs several microseconds, more than a line segment itself. The
// raster painter writes straight into the pixels, and a copy of an image that
// is being painted is a deep copy, so readers and copies see every call's
// result as if each call had its own painter. Whoever replaces or frees the
// image ends the painter first (gdi_end_drawing); see "Drawing passes" in
// docs/design/platform.md.
struct LivePainter {
    QPainter painter;
    QImage* target = nullptr;
    const uchar* bits = nullptr;
};

struct Dc {
    DcKind kind = DcKind::image;
    QImage* image = nullptr; // window image
    HWND hwnd = nullptr;
    QRegion base_clip;          // window update region (empty = whole image)
    bool has_meta_clip = false; // the clip in force when a metafile started playing
    QRegion meta_clip;
    HBITMAP bitmap = nullptr; // memory contexts
    HBITMAP default_bitmap = nullptr;
    QImage scratch;              // screen context
    QPainter* painter = nullptr; // painter contexts (printer pages)
    QSize painter_size;
    int dpi_x = 96;
    int dpi_y = 96;
    DcState s;
    std::vector<DcState> saved;
    std::unique_ptr<Recorder> rec;
    bool is_info = false; // information context: measuring only
    std::unique_ptr<LivePainter> live;
};

Dc* dc(HDC h); // checked
bool is_metafile(const Dc& d);
HDC add_dc(std::unique_ptr<Dc> d);
// The image a context draws on (window image, selected bitmap, scratch), or
// null for painter and metafile contexts. Any painter still open on that image
// is ended first, so the caller may read and write its pixels directly.
QImage* target_image(Dc& d);
// The image a context draws on, as target_image, but leaving any painter
// open on it (for writers that keep the order of calls themselves).
QImage* image_of(Dc& d);
// Ends the open painter of a context, or every open painter on an image.
void end_live_painter(Dc& d);
void end_live_painters_on(const QImage* image);
// Size of the drawing surface in device pixels.
QSize surface_size(Dc& d);

// The logical-to-device mapping of the context.
QTransform page_transform(const DcState& s);
QTransform full_transform(const DcState& s);
QPointF to_device(const DcState& s, double x, double y);
QRect rect_to_device(const DcState& s, int l, int t, int r, int b); // normalised
// The effective clip in device units; `has` false means "no clip".
QRegion effective_clip(const Dc& d, bool& has);

// A painter set up for one drawing call: clip and mix mode, in device pixels
// (the identity transform: callers map coordinates with `Mapper`). `ok` is
// false when nothing can be drawn (empty clip, no surface, R2_NOP).
class Paint {
public:
    explicit Paint(Dc& d, bool use_rop = true);
    ~Paint();
    Paint(const Paint&) = delete;
    Paint& operator=(const Paint&) = delete;
    bool ok() const { return p_ != nullptr; }
    QPainter& p() { return *p_; }
    // Pen and brush of the context's selection, ready to draw.
    void use_pen_and_brush(bool pen, bool brush);

private:
    Dc& d_;
    QPainter* p_ = nullptr;
    bool external_ = false;
};

// Device coordinates are kept within +-2^26 pixels: far beyond any surface,
// and small enough that sizes and sums of them never overflow an int.
inline constexpr double coord_limit = 67108864.0;
inline int clamp_coord(double v) {
    if (!(v == v)) return 0; // NaN
    return static_cast<int>(std::lround(std::clamp(v, -coord_limit, coord_limit)));
}

// A + b kept within the LONG range (origins moved again and again).
inline LONG sat_add(LONG a, long long b) {
    return static_cast<LONG>(std::clamp<long long>(a + b, INT32_MIN, INT32_MAX));
}

// Logical to device coordinates, rounded as the platform rounds them.
struct Mapper {
    explicit Mapper(const DcState& s) : t(full_transform(s)) {}
    QTransform t;
    QPoint operator()(double x, double y) const {
        QPointF p = t.map(QPointF(x, y));
        return QPoint(clamp_coord(p.x()), clamp_coord(p.y()));
    }
    QPoint operator()(const POINT& p) const { return (*this)(p.x, p.y); }
    // A box with its corners mapped and ordered: left <= right, top <= bottom
    // (right and bottom exclusive). Takes doubles so that x + w never overflows.
    void box(double l, double t_, double r, double b, int& L, int& T, int& R, int& B) const {
        QPoint a = (*this)(l, t_), c = (*this)(r, b);
        L = std::min(a.x(), c.x());
        R = std::max(a.x(), c.x());
        T = std::min(a.y(), c.y());
        B = std::max(a.y(), c.y());
    }
};

// Size in bytes of a packed DIB from its header (0 when the header is not
// sane); the program's own DIBs in memory are read that far.
std::size_t dib_packed_size(const BYTE* dib);
// The brush of a FillRect-style call: a handle, or a system colour index + 1.
Object* brush_arg(HBRUSH brush);

// The painter composition mode for a mix mode; false for R2_NOP.
bool composition_for_rop2(int rop2, QPainter::CompositionMode& mode, bool& force_black,
                          bool& force_white);
QPen make_qpen(const Dc& d, const Object* pen);
QBrush make_qbrush(const Dc& d, const Object* brush, const QTransform& device_to_logical);
bool pen_is_null(const Object* pen);
// Is the pen drawn one device pixel wide (width 0, or under a pixel and a
// half once mapped)?
bool pen_is_cosmetic(const Dc& d, const Object* pen);

// Fonts: the QFont of a LOGFONT at a device scale (device pixels per logical
// unit, vertical and horizontal).
QFont make_qfont(const LOGFONT& lf, double scale_y, double scale_x);
QFont current_qfont(Dc& d);
double scale_y(const DcState& s);
double scale_x(const DcState& s);
// Text in the single-byte code page of stored metafiles.
QString decode_text(const char* text, int length);
// Text bytes of a stored picture in the code page of a font's character set
// (the symbol set's bytes are glyph numbers). `unit_bytes` gets, for each
// UTF-16 unit of the result, the bytes it came from (0 for the second half of
// a pair), so per-byte spacing can be added up per character.
QString decode_charset(const char* text, int length, BYTE charset,
                       std::vector<int>* unit_bytes = nullptr);
// The character set to write a text with: the font's own when its code page
// holds every character, else the first page that does, else the one that
// holds the most.
BYTE charset_for_text(const QString& s, BYTE charset);
// A text cut where its code page must change: each run (from its first
// UTF-16 unit) in the font's own set where that page holds it, else in the
// set whose page holds the longest stretch. One run when one page holds all.
struct CharsetRun {
    int from;
    BYTE charset;
};
std::vector<CharsetRun> charset_runs(const QString& s, BYTE charset);
// The text in the code page of `charset` ('?' for what it lacks), with the
// bytes each UTF-16 unit became (0 for the second half of a pair).
QByteArray encode_charset(const QString& s, BYTE charset, std::vector<int>* unit_bytes = nullptr);
// The program's text: UTF-8, a byte that starts no character read as the code
// page. first_byte maps each UTF-16 unit of `s` to the offset of its first
// byte (a pair's second half to the end of the character), with the byte
// count last, so the units' byte spans are [first_byte[i], first_byte[i + 1]).
struct ProgramText {
    ProgramText(const char* text, int length);
    QString s;
    std::vector<int> first_byte;
    int bytes = 0;
    int byte_after(int unit) const;
};
QString decode_program_text(const char* text, int length);
// Draws or records one run of text (the work of TextOut and ExtTextOut).
BOOL text_out(HDC h, int x, int y, UINT options, const RECT* rc, const QString& text, const int* dx,
              bool as_textout);
// A source image blitted (stretched) onto a context with a raster operation.
BOOL blit_image(HDC h, int x, int y, int w, int ht, const QImage& src, int sx, int sy, int sw,
                int sh, DWORD rop);
void default_font(LOGFONT& lf, int stock_index);

// Raster operations with a source and a pattern on image targets; false when
// the operation has no image target (the caller falls back to painting).
bool image_rop3(Dc& d, const QRect& dest_device, const QImage* src, const QRect& src_rect,
                DWORD rop, bool src_mono);

// The device-capability answers of a context.
int device_caps(Dc& d, int index);

// Screen metrics used by all screen-like contexts.
inline constexpr int screen_dpi = 96;
QSize screen_size();

} // namespace gdi
