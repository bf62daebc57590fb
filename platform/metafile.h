// Windows metafile and enhanced metafile layouts, the recorder behind a
// metafile device context, and the checked readers and players.
//
// All multi-byte fields are little-endian on disk. A Windows metafile is a
// METAHEADER of nine 16-bit words and records of (size in words: u32,
// function: u16, parameters: u16...), ended by a record of size 3 and
// function 0; a file may start with the 22-byte placeable header. An
// enhanced metafile is records of (type: u32, size in bytes: u32, ...),
// starting with EMR_HEADER and ending with EMR_EOF.
#pragma once

#include "platform/gdi_impl.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// File records

#pragma pack(push, 2)
// The placeable-metafile header that precedes the metafile bytes in a file.
struct PLACEABLEMETAHEADER {
    DWORD key; // placeable_key
    WORD hmf;  // 0 on disk
    std::int16_t left;
    std::int16_t top;
    std::int16_t right;
    std::int16_t bottom;
    WORD inch; // units per inch of the bounding box
    DWORD reserved;
    WORD checksum; // XOR of the ten 16-bit words before it
};
struct METAHEADER {
    WORD mtType;       // 1 (2, once meaning a disk file, is read too)
    WORD mtHeaderSize; // 9 (words)
    WORD mtVersion;    // 0x0300
    DWORD mtSize;      // whole metafile in words
    WORD mtNoObjects;  // size of the object table
    DWORD mtMaxRecord; // largest record in words
    WORD mtNoParameters;
};
#pragma pack(pop)
static_assert(sizeof(PLACEABLEMETAHEADER) == 22);
static_assert(offsetof(PLACEABLEMETAHEADER, inch) == 14);
static_assert(offsetof(PLACEABLEMETAHEADER, checksum) == 20);
static_assert(sizeof(METAHEADER) == 18);
static_assert(offsetof(METAHEADER, mtSize) == 6);
static_assert(offsetof(METAHEADER, mtMaxRecord) == 12);

inline constexpr DWORD placeable_key = 0x9AC6CDD7u;
inline constexpr DWORD emf_signature = 0x464D4520u; // " EMF"

// The 22 bytes of a placeable header for a picture of `right` x `bottom`
// units at `inch` units per inch, checksum included.
std::vector<BYTE> placeable_header(int left, int top, int right, int bottom, int inch);
// XOR of the first ten 16-bit words of a placeable header.
WORD placeable_checksum(const BYTE* header22);
// Writes a placeable header and the metafile's bytes to `file`. FALSE (with
// an error naming the file) when the file cannot be written.
BOOL write_placeable_metafile(const char* file, HMETAFILE mf, int left, int top, int right,
                              int bottom, int inch);

// Windows metafile functions.
namespace wmf {
inline constexpr WORD EOF_ = 0x0000;
inline constexpr WORD SETBKCOLOR = 0x0201;
inline constexpr WORD SETBKMODE = 0x0102;
inline constexpr WORD SETMAPMODE = 0x0103;
inline constexpr WORD SETROP2 = 0x0104;
inline constexpr WORD SETRELABS = 0x0105;
inline constexpr WORD SETPOLYFILLMODE = 0x0106;
inline constexpr WORD SETSTRETCHBLTMODE = 0x0107;
inline constexpr WORD SETTEXTCHAREXTRA = 0x0108;
inline constexpr WORD SETTEXTCOLOR = 0x0209;
inline constexpr WORD SETTEXTJUSTIFICATION = 0x020A;
inline constexpr WORD SETWINDOWORG = 0x020B;
inline constexpr WORD SETWINDOWEXT = 0x020C;
inline constexpr WORD SETVIEWPORTORG = 0x020D;
inline constexpr WORD SETVIEWPORTEXT = 0x020E;
inline constexpr WORD OFFSETWINDOWORG = 0x020F;
inline constexpr WORD SCALEWINDOWEXT = 0x0410;
inline constexpr WORD OFFSETVIEWPORTORG = 0x0211;
inline constexpr WORD SCALEVIEWPORTEXT = 0x0412;
inline constexpr WORD LINETO = 0x0213;
inline constexpr WORD MOVETO = 0x0214;
inline constexpr WORD EXCLUDECLIPRECT = 0x0415;
inline constexpr WORD INTERSECTCLIPRECT = 0x0416;
inline constexpr WORD ARC = 0x0817;
inline constexpr WORD ELLIPSE = 0x0418;
inline constexpr WORD FLOODFILL = 0x0419;
inline constexpr WORD PIE = 0x081A;
inline constexpr WORD RECTANGLE = 0x041B;
inline constexpr WORD ROUNDRECT = 0x061C;
inline constexpr WORD PATBLT = 0x061D;
inline constexpr WORD SAVEDC = 0x001E;
inline constexpr WORD SETPIXEL = 0x041F;
inline constexpr WORD OFFSETCLIPRGN = 0x0220;
inline constexpr WORD TEXTOUT = 0x0521;
inline constexpr WORD BITBLT = 0x0922;
inline constexpr WORD STRETCHBLT = 0x0B23;
inline constexpr WORD POLYGON = 0x0324;
inline constexpr WORD POLYLINE = 0x0325;
inline constexpr WORD ESCAPE = 0x0626;
inline constexpr WORD RESTOREDC = 0x0127;
inline constexpr WORD FILLREGION = 0x0228;
inline constexpr WORD FRAMEREGION = 0x0429;
inline constexpr WORD INVERTREGION = 0x012A;
inline constexpr WORD PAINTREGION = 0x012B;
inline constexpr WORD SELECTCLIPREGION = 0x012C;
inline constexpr WORD SELECTOBJECT = 0x012D;
inline constexpr WORD SETTEXTALIGN = 0x012E;
inline constexpr WORD CHORD = 0x0830;
inline constexpr WORD SETMAPPERFLAGS = 0x0231;
inline constexpr WORD EXTTEXTOUT = 0x0A32;
inline constexpr WORD SETDIBTODEV = 0x0D33;
inline constexpr WORD SELECTPALETTE = 0x0234;
inline constexpr WORD REALIZEPALETTE = 0x0035;
inline constexpr WORD POLYPOLYGON = 0x0538;
inline constexpr WORD DIBBITBLT = 0x0940;
inline constexpr WORD DIBSTRETCHBLT = 0x0B41;
inline constexpr WORD DIBCREATEPATTERNBRUSH = 0x0142;
inline constexpr WORD STRETCHDIB = 0x0F43;
inline constexpr WORD DELETEOBJECT = 0x01F0;
inline constexpr WORD CREATEPALETTE = 0x00F7;
inline constexpr WORD CREATEPENINDIRECT = 0x02FA;
inline constexpr WORD CREATEFONTINDIRECT = 0x02FB;
inline constexpr WORD CREATEBRUSHINDIRECT = 0x02FC;
inline constexpr WORD CREATEREGION = 0x06FF;
} // namespace wmf

// Enhanced metafile record types.
namespace emr {
inline constexpr DWORD HEADER = 1;
inline constexpr DWORD POLYBEZIER = 2;
inline constexpr DWORD POLYGON = 3;
inline constexpr DWORD POLYLINE = 4;
inline constexpr DWORD POLYBEZIERTO = 5;
inline constexpr DWORD POLYLINETO = 6;
inline constexpr DWORD POLYPOLYLINE = 7;
inline constexpr DWORD POLYPOLYGON = 8;
inline constexpr DWORD SETWINDOWEXTEX = 9;
inline constexpr DWORD SETWINDOWORGEX = 10;
inline constexpr DWORD SETVIEWPORTEXTEX = 11;
inline constexpr DWORD SETVIEWPORTORGEX = 12;
inline constexpr DWORD SETBRUSHORGEX = 13;
inline constexpr DWORD EOF_ = 14;
inline constexpr DWORD SETPIXELV = 15;
inline constexpr DWORD SETMAPPERFLAGS = 16;
inline constexpr DWORD SETMAPMODE = 17;
inline constexpr DWORD SETBKMODE = 18;
inline constexpr DWORD SETPOLYFILLMODE = 19;
inline constexpr DWORD SETROP2 = 20;
inline constexpr DWORD SETSTRETCHBLTMODE = 21;
inline constexpr DWORD SETTEXTALIGN = 22;
inline constexpr DWORD SETCOLORADJUSTMENT = 23;
inline constexpr DWORD SETTEXTCOLOR = 24;
inline constexpr DWORD SETBKCOLOR = 25;
inline constexpr DWORD OFFSETCLIPRGN = 26;
inline constexpr DWORD MOVETOEX = 27;
inline constexpr DWORD SETMETARGN = 28;
inline constexpr DWORD EXCLUDECLIPRECT = 29;
inline constexpr DWORD INTERSECTCLIPRECT = 30;
inline constexpr DWORD SCALEVIEWPORTEXTEX = 31;
inline constexpr DWORD SCALEWINDOWEXTEX = 32;
inline constexpr DWORD SAVEDC = 33;
inline constexpr DWORD RESTOREDC = 34;
inline constexpr DWORD SETWORLDTRANSFORM = 35;
inline constexpr DWORD MODIFYWORLDTRANSFORM = 36;
inline constexpr DWORD SELECTOBJECT = 37;
inline constexpr DWORD CREATEPEN = 38;
inline constexpr DWORD CREATEBRUSHINDIRECT = 39;
inline constexpr DWORD DELETEOBJECT = 40;
inline constexpr DWORD ELLIPSE = 42;
inline constexpr DWORD RECTANGLE = 43;
inline constexpr DWORD ROUNDRECT = 44;
inline constexpr DWORD ARC = 45;
inline constexpr DWORD CHORD = 46;
inline constexpr DWORD PIE = 47;
inline constexpr DWORD SELECTPALETTE = 48;
inline constexpr DWORD CREATEPALETTE = 49;
inline constexpr DWORD SETPALETTEENTRIES = 50;
inline constexpr DWORD RESIZEPALETTE = 51;
inline constexpr DWORD REALIZEPALETTE = 52;
inline constexpr DWORD LINETO = 54;
inline constexpr DWORD POLYDRAW = 56;
inline constexpr DWORD SETARCDIRECTION = 57;
inline constexpr DWORD SETMITERLIMIT = 58;
inline constexpr DWORD BEGINPATH = 59;
inline constexpr DWORD ENDPATH = 60;
inline constexpr DWORD CLOSEFIGURE = 61;
inline constexpr DWORD FILLPATH = 62;
inline constexpr DWORD STROKEANDFILLPATH = 63;
inline constexpr DWORD STROKEPATH = 64;
inline constexpr DWORD FLATTENPATH = 65;
inline constexpr DWORD WIDENPATH = 66;
inline constexpr DWORD SELECTCLIPPATH = 67;
inline constexpr DWORD ABORTPATH = 68;
inline constexpr DWORD GDICOMMENT = 70;
inline constexpr DWORD EXTSELECTCLIPRGN = 75;
inline constexpr DWORD BITBLT = 76;
inline constexpr DWORD STRETCHBLT = 77;
inline constexpr DWORD STRETCHDIBITS = 81;
inline constexpr DWORD EXTCREATEFONTINDIRECTW = 82;
inline constexpr DWORD EXTTEXTOUTA = 83;
inline constexpr DWORD EXTTEXTOUTW = 84;
inline constexpr DWORD POLYBEZIER16 = 85;
inline constexpr DWORD POLYGON16 = 86;
inline constexpr DWORD POLYLINE16 = 87;
inline constexpr DWORD POLYBEZIERTO16 = 88;
inline constexpr DWORD POLYLINETO16 = 89;
inline constexpr DWORD POLYPOLYLINE16 = 90;
inline constexpr DWORD POLYPOLYGON16 = 91;
inline constexpr DWORD POLYDRAW16 = 92;
inline constexpr DWORD CREATEMONOBRUSH = 93;
inline constexpr DWORD CREATEDIBPATTERNBRUSHPT = 94;
inline constexpr DWORD EXTCREATEPEN = 95;
inline constexpr DWORD SETICMMODE = 98;
inline constexpr DWORD SETLAYOUT = 115;
} // namespace emr

// Stock objects appear in enhanced metafiles as this bit plus the index.
inline constexpr DWORD emf_stock_bit = 0x80000000u;

namespace gdi {

// ---------------------------------------------------------------------------
// Little-endian byte building

struct Bytes {
    std::vector<BYTE> v;
    void u8(unsigned x) { v.push_back(static_cast<BYTE>(x)); }
    void u16(unsigned x) {
        u8(x & 0xFF);
        u8((x >> 8) & 0xFF);
    }
    void u32(std::uint32_t x) {
        u16(x & 0xFFFF);
        u16(x >> 16);
    }
    void i16(int x) { u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(x))); }
    void i32(std::int32_t x) { u32(static_cast<std::uint32_t>(x)); }
    void raw(const void* p, std::size_t n) {
        if (n == 0) return;
        const std::size_t at = v.size();
        v.resize(at + n);
        std::memcpy(v.data() + at, p, n);
    }
    void pad_to(std::size_t multiple) {
        while (v.size() % multiple) v.push_back(0);
    }
    void put32_at(std::size_t at, std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<BYTE>(x >> (8 * i));
    }
    void put16_at(std::size_t at, unsigned x) {
        v[at] = static_cast<BYTE>(x);
        v[at + 1] = static_cast<BYTE>(x >> 8);
    }
};

// A 16-bit metafile coordinate (values outside the range are clamped).
std::int16_t clamp16(long v);

// ---------------------------------------------------------------------------
// A finished metafile (handle table tag_metafile)

struct Metafile {
    bool emf = false;
    std::vector<BYTE> bytes;  // validated: the players trust the layout
    bool told_limits = false; // the message of its work limits was given
};

Metafile* metafile(std::uint32_t token, bool emf);
std::uint32_t add_metafile(std::unique_ptr<Metafile> mf);

// Records of kinds the players do not know: other programs write records we
// have no use for. They are checked for size like any record, then skipped.
struct SkippedRecords {
    std::size_t count = 0;
    unsigned first = 0; // the function or type of the first one
};

// Checks a whole Windows metafile (no placeable header): header, every
// record's size against the file, the end record, object indexes within the
// table, and each known record's parameter count. Unknown functions are
// counted in `skipped` (an unknown one that creates an object holds its slot
// in the table). Returns false with `error` set.
bool validate_wmf(const BYTE* data, std::size_t size, std::string& error,
                  SkippedRecords* skipped = nullptr);
// The same for an enhanced metafile.
bool validate_emf(const BYTE* data, std::size_t size, std::string& error,
                  SkippedRecords* skipped = nullptr);
// The one message telling that a picture's unknown records were skipped.
std::string skipped_message(const SkippedRecords& skipped, bool emf);

// Plays validated bytes onto a context. A picture that asks for more work
// than allowed is simplified; `limits` (when given) gets what was reached
// ("" when nothing was), else the message is given at once.
bool play_wmf(HDC dc, const std::vector<BYTE>& bytes, std::string* limits = nullptr);
bool play_emf(HDC dc, const std::vector<BYTE>& bytes, const RECT* rect,
              std::string* limits = nullptr);
// The message of a picture played past its work limits.
std::string limits_message(const std::string& reached, bool emf);

// ---------------------------------------------------------------------------
// The recorder of a metafile context

class Recorder {
public:
    Recorder(bool emf, std::string file);
    bool emf;
    std::string file;

    // EMF header information.
    bool frame_given = false;
    RECT frame{};
    std::u16string description;
    QSize ref_pixels{1, 1};
    QSize ref_mm{1, 1};
    QRect bounds; // device units of the drawing (reference pixels)

    // Object table: slot -> object token (0 free).
    std::vector<std::uint32_t> table;
    std::size_t max_table = 0;

    std::vector<BYTE> body; // records after the header
    std::uint32_t records = 0;
    std::uint32_t max_record_words = 0;

    // --- Windows metafile records
    void w(WORD function, std::initializer_list<int> params);
    void w_raw(WORD function, const Bytes& params); // parameters already encoded
    // --- enhanced metafile records
    void e(DWORD type, std::initializer_list<std::int32_t> params);
    void e_raw(DWORD type, const Bytes& params);

    // Makes sure the object has a slot (writing its creation record) and
    // writes the selection record. False when the object cannot be recorded.
    bool select(HGDIOBJ object);
    // The object went away: its deletion record, and the slot is freed.
    void forget(std::uint32_t token);
    void add_bounds(const QRect& device_rect);

    // The whole metafile: header, records, end record.
    std::vector<BYTE> finish();

private:
    int slot_for(std::uint32_t token) const;
    int new_slot(std::uint32_t token);
    std::vector<std::uint32_t> stock_selected_; // enhanced: stock objects need no slot
};

// Recording helpers used by the drawing calls on metafile contexts.
void record_rect_call(Dc& d, WORD wfn, DWORD etype, int l, int t, int r, int b);
void record_points(Dc& d, WORD wfn, DWORD etype, const POINT* pts, int count);
// A block transfer: with the source image, or (`src` null) a pattern operation.
void record_blit(Dc& d, int x, int y, int w, int h, const QImage* src, int sx, int sy, int sw,
                 int sh, DWORD rop);
void record_clip_region(Dc& d, const QRegion* region_device); // null: no clip
void recorders_forget(std::uint32_t token);                   // every open recorder

} // namespace gdi
