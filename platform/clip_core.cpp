// The clipboard (see clip.h).
#include "platform/clip.h"

#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPointer>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct Entry {
    HANDLE handle = nullptr; // what GetClipboardData hands out (owned here)
    bool delayed = false;    // rendered on request (WM_RENDERFORMAT)
};

struct Clip {
    bool use_private = false;
    bool open = false;
    HWND opener = nullptr;
    HWND owner = nullptr;
    bool changed = false;
    std::map<UINT, Entry> entries;        // in format order
    std::vector<std::string> names;       // registered: index = id - 0xC000
    const QMimeData* published = nullptr; // our own data on Qt's clipboard
    const QMimeData* imported = nullptr;  // the foreign data last read
};

Clip& clip() {
    static Clip c;
    return c;
}

std::string lower(const std::string& s) {
    std::string r = s;
    for (char& ch : r) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return r;
}

bool is_text(UINT f) {
    return f == CF_TEXT || f == CF_OEMTEXT;
}

void free_handle(UINT format, HANDLE h) {
    if (!h) return;
    switch (format) {
    case CF_BITMAP:
        DeleteObject(h);
        break;
    case CF_ENHMETAFILE:
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(h));
        break;
    case CF_METAFILEPICT: {
        auto g = static_cast<HGLOBAL>(h);
        if (auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g))) {
            DeleteMetaFile(mp->hMF);
            GlobalUnlock(g);
        }
        GlobalFree(g);
        break;
    }
    default:
        GlobalFree(static_cast<HGLOBAL>(h));
        break;
    }
}

void drop_entries() {
    for (auto& [f, e] : clip().entries) free_handle(f, e.handle);
    clip().entries.clear();
}

// A global block's bytes, locked for as long as the view lives: the
// clipboard reads megabytes of text and worksheets through it without a
// copy of its own.
struct locked_bytes {
    explicit locked_bytes(HGLOBAL g) : mem(g) {
        data = static_cast<const char*>(GlobalLock(g));
        size = data ? GlobalSize(g) : 0;
    }
    ~locked_bytes() {
        if (data) GlobalUnlock(mem);
    }
    locked_bytes(const locked_bytes&) = delete;
    locked_bytes& operator=(const locked_bytes&) = delete;
    // The length of the text before its first NUL; size + 1 when it has none.
    std::size_t text_length() const {
        const void* end = data ? std::memchr(data, 0, size) : nullptr;
        return end ? static_cast<std::size_t>(static_cast<const char*>(end) - data) : size + 1;
    }
    HGLOBAL mem;
    const char* data = nullptr;
    std::size_t size = 0;
};

// Checks a handle given for a format; a message and false when it is unfit.
bool check(UINT format, HANDLE h) {
    auto name = [&] { return "SetClipboardData(" + clip_mime_type(format) + ")"; };
    if (format == CF_BITMAP) {
        if (gdi_bitmap_image(static_cast<HBITMAP>(h)).isNull()) {
            ui_fail(name() + ": the bitmap handle is not valid");
            return false;
        }
        return true;
    }
    if (format == CF_ENHMETAFILE) {
        if (GetEnhMetaFileBits(static_cast<HENHMETAFILE>(h), 0, nullptr) == 0) {
            ui_fail(name() + ": the enhanced metafile handle is not valid");
            return false;
        }
        return true;
    }
    auto g = static_cast<HGLOBAL>(h);
    if (GlobalFlags(g) == GMEM_INVALID_HANDLE) {
        ui_fail(name() + ": the memory handle is not valid");
        return false;
    }
    std::size_t size = GlobalSize(g);
    if (format == CF_METAFILEPICT) {
        if (size < sizeof(METAFILEPICT)) {
            ui_fail(name() + ": the block holds " + std::to_string(size) +
                    " bytes, a metafile picture needs " + std::to_string(sizeof(METAFILEPICT)));
            return false;
        }
        auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g));
        bool ok = mp && GetMetaFileBitsEx(mp->hMF, 0, nullptr) > 0;
        GlobalUnlock(g);
        if (!ok) {
            ui_fail(name() + ": the metafile picture holds no valid metafile");
            return false;
        }
        return true;
    }
    if (is_text(format)) {
        if (locked_bytes b(g); b.text_length() > b.size) {
            ui_fail(name() + ": the text of " + std::to_string(size) + " bytes has no end");
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Pictures for other programs

QSize picture_size(UINT format, HANDLE h) {
    int w = 0, ht = 0;
    if (format == CF_METAFILEPICT) {
        auto g = static_cast<HGLOBAL>(h);
        if (auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g))) {
            if ((mp->mm == MM_ANISOTROPIC || mp->mm == MM_ISOTROPIC) && mp->xExt > 0 &&
                mp->yExt > 0) {
                w = static_cast<int>(static_cast<long long>(mp->xExt) * 96 / 2540);
                ht = static_cast<int>(static_cast<long long>(mp->yExt) * 96 / 2540);
            }
            GlobalUnlock(g);
        }
    } else if (format == CF_ENHMETAFILE) {
        ENHMETAHEADER hd{};
        if (GetEnhMetaFileHeader(static_cast<HENHMETAFILE>(h), sizeof hd, &hd)) {
            w = static_cast<int>((static_cast<long long>(hd.rclFrame.right) - hd.rclFrame.left) *
                                 96 / 2540);
            ht = static_cast<int>((static_cast<long long>(hd.rclFrame.bottom) - hd.rclFrame.top) *
                                  96 / 2540);
        }
    }
    if (w <= 0 || ht <= 0) {
        w = 400;
        ht = 300;
    }
    return QSize(std::min(w, 4096), std::min(ht, 4096));
}

QImage render(UINT format, HANDLE h) {
    if (format == CF_BITMAP) return gdi_bitmap_image(static_cast<HBITMAP>(h));
    QSize size = picture_size(format, h);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateBitmap(size.width(), size.height(), 1, 32, nullptr);
    if (!dc || !bm) {
        if (dc) DeleteDC(dc);
        if (bm) DeleteObject(bm);
        return QImage();
    }
    HGDIOBJ old = SelectObject(dc, bm);
    RECT r{0, 0, size.width(), size.height()};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (format == CF_ENHMETAFILE) {
        PlayEnhMetaFile(dc, static_cast<HENHMETAFILE>(h), &r);
    } else {
        auto g = static_cast<HGLOBAL>(h);
        if (auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g))) {
            SetMapMode(dc, mp->mm == MM_ISOTROPIC ? MM_ISOTROPIC : MM_ANISOTROPIC);
            SetViewportExtEx(dc, size.width(), size.height(), nullptr);
            PlayMetaFile(dc, mp->hMF);
            GlobalUnlock(g);
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    QImage img = gdi_bitmap_image(bm);
    DeleteObject(bm);
    return img;
}

QByteArray png_of(const QImage& img) {
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return out;
}

QByteArray svg_of(const QImage& img, const QByteArray& png) {
    QByteArray s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                   "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"";
    s += QByteArray::number(img.width()) + "\" height=\"" + QByteArray::number(img.height()) +
         "\"><image width=\"" + QByteArray::number(img.width()) + "\" height=\"" +
         QByteArray::number(img.height()) + "\" xlink:href=\"data:image/png;base64,";
    s += png.toBase64();
    s += "\"/></svg>\n";
    return s;
}

// ---------------------------------------------------------------------------
// Qt's clipboard

QClipboard* system_clipboard() {
    if (clip().use_private || !QGuiApplication::instance()) return nullptr;
    return QGuiApplication::clipboard();
}

void publish() {
    QClipboard* cb = system_clipboard();
    if (!cb) return;
    auto* md = new QMimeData;
    bool picture_done = false;
    for (auto& [f, e] : clip().entries) {
        if (e.delayed) { // other programs get what can be rendered now
            HANDLE h = GetClipboardData(f);
            if (!h) continue;
        }
        HANDLE h = e.handle;
        if (!h) continue;
        if (is_text(f)) {
            locked_bytes b(static_cast<HGLOBAL>(h));
            // Program text, read as the drawing reads it (model names in
            // their one-byte code page among UTF-8 run names).
            // The line ends stay as the program wrote them (CR LF).
            QString t = gdi::decode_program_text(
                b.data, static_cast<int>(std::min(b.text_length(), b.size)));
            md->setText(t);
            continue;
        }
        if (clip_mime_type(f) == "text/html") {
            // A table for spreadsheet programs, in the program's text code.
            locked_bytes b(static_cast<HGLOBAL>(h));
            md->setHtml(gdi::decode_program_text(
                b.data, static_cast<int>(std::min(b.text_length(), b.size))));
            continue;
        }
        if (f == CF_METAFILEPICT || f == CF_ENHMETAFILE || f == CF_BITMAP) {
            if (f == CF_METAFILEPICT) {
                auto g = static_cast<HGLOBAL>(h);
                auto* mp = static_cast<METAFILEPICT*>(GlobalLock(g));
                if (mp) {
                    UINT n = GetMetaFileBitsEx(mp->hMF, 0, nullptr);
                    std::vector<BYTE> bits(n);
                    GetMetaFileBitsEx(mp->hMF, n, bits.data());
                    QSize s = picture_size(f, h);
                    std::vector<BYTE> head = placeable_header(0, 0, s.width(), s.height(), 96);
                    QByteArray wmf(reinterpret_cast<const char*>(head.data()),
                                   static_cast<qsizetype>(head.size()));
                    wmf.append(reinterpret_cast<const char*>(bits.data()),
                               static_cast<qsizetype>(bits.size()));
                    md->setData(QStringLiteral("image/x-wmf"), wmf);
                    GlobalUnlock(g);
                }
            } else if (f == CF_ENHMETAFILE) {
                auto emf = static_cast<HENHMETAFILE>(h);
                UINT n = GetEnhMetaFileBits(emf, 0, nullptr);
                QByteArray bytes(static_cast<qsizetype>(n), '\0');
                GetEnhMetaFileBits(emf, n, reinterpret_cast<BYTE*>(bytes.data()));
                md->setData(QStringLiteral("image/x-emf"), bytes);
            }
            if (!picture_done) {
                QImage img = render(f, h);
                if (!img.isNull()) {
                    QByteArray png = png_of(img);
                    md->setData(QStringLiteral("image/png"), png);
                    md->setData(QStringLiteral("image/svg+xml"), svg_of(img, png));
                    picture_done = true;
                }
            }
            continue;
        }
        locked_bytes b(static_cast<HGLOBAL>(h));
        md->setData(QString::fromStdString(clip_mime_type(f)),
                    QByteArray(b.data ? b.data : "", static_cast<qsizetype>(b.size)));
    }
    clip().published = md;
    cb->setMimeData(md);
}

void put(UINT f, HANDLE h) {
    clip().entries[f] = Entry{h, false};
}

// Takes another program's data into the store.
// One format offered by another program, checked before it is taken.
bool import_one(const std::string& t, const QByteArray& data) {
    if (t == "image/x-wmf") {
        const auto* p = reinterpret_cast<const BYTE*>(data.constData());
        std::size_t n = static_cast<std::size_t>(data.size());
        int w = 0, ht = 0;
        if (n >= 22 && p[0] == 0xD7 && p[1] == 0xCD && p[2] == 0xC6 && p[3] == 0x9A) {
            // The placeable header gives the picture's size.
            auto i16 = [&](std::size_t at) {
                return static_cast<int>(static_cast<std::int16_t>(p[at] | (p[at + 1] << 8)));
            };
            int inch = p[14] | (p[15] << 8);
            if (inch > 0) {
                w = (i16(10) - i16(6)) * 2540 / inch;
                ht = (i16(12) - i16(8)) * 2540 / inch;
            }
        }
        // The placeable header stays on: the reader knows the writers that
        // count it in the metafile's size.
        HMETAFILE mf = n <= 0xFFFFFFFFu ? SetMetaFileBitsEx(static_cast<UINT>(n), p) : nullptr;
        if (!mf) {
            ui_fail("clipboard: the metafile picture from another program is malformed");
            return false;
        }
        METAFILEPICT mp{MM_ANISOTROPIC, std::max(w, 0), std::max(ht, 0), mf};
        HGLOBAL g = global_from_bytes(&mp, sizeof mp);
        if (!g) {
            DeleteMetaFile(mf);
            return false;
        }
        put(CF_METAFILEPICT, g);
        return true;
    }
    if (t == "image/x-emf") {
        HENHMETAFILE emf =
            SetEnhMetaFileBits(static_cast<UINT>(std::min<qsizetype>(data.size(), 0x7FFFFFFF)),
                               reinterpret_cast<const BYTE*>(data.constData()));
        if (!emf) {
            ui_fail("clipboard: the enhanced metafile from another program is malformed");
            return false;
        }
        put(CF_ENHMETAFILE, emf);
        return true;
    }
    if (t.rfind("application/x-kavrel-", 0) == 0) {
        UINT f = RegisterClipboardFormat(t.substr(21).c_str());
        if (!f) return false;
        HGLOBAL g = global_from_bytes(data.constData(), static_cast<std::size_t>(data.size()));
        if (!g) return false;
        put(f, g);
        return true;
    }
    return false;
}

// Text for the program: UTF-8, CR LF line ends.
bool import_text(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    QByteArray utf8 = text.toUtf8();
    HGLOBAL g = global_from_bytes(utf8.constData(), static_cast<std::size_t>(utf8.size()) + 1);
    if (!g) return false;
    put(CF_TEXT, g);
    return true;
}

// Takes another program's data into the store.
void import_foreign() {
    QClipboard* cb = system_clipboard();
    if (!cb) return;
    const QMimeData* md = cb->mimeData();
    if (!md || md == clip().published || md == clip().imported) return;
    drop_entries();
    clip().owner = nullptr;
    clip().imported = md;
    clip().published = nullptr;
    for (const QString& type : md->formats()) import_one(type.toStdString(), md->data(type));
    if (md->hasText()) import_text(md->text());
    if (!clip().entries.count(CF_BITMAP) && md->hasImage()) {
        QImage img = qvariant_cast<QImage>(md->imageData());
        if (!img.isNull())
            if (HBITMAP bm = gdi_bitmap_from_image(img)) put(CF_BITMAP, bm);
    }
}

} // namespace

std::string clip_mime_type(UINT f) {
    switch (f) {
    case CF_TEXT:
    case CF_OEMTEXT:
        return "text/plain";
    case CF_METAFILEPICT:
        return "image/x-wmf";
    case CF_ENHMETAFILE:
        return "image/x-emf";
    case CF_BITMAP:
    case CF_DIB:
        return "image/bmp";
    default:
        break;
    }
    if (f >= 0xC000 && f - 0xC000 < clip().names.size()) {
        std::string n = lower(clip().names[f - 0xC000]);
        if (n == "html format") return "text/html";
        std::string out = "application/x-kavrel-";
        for (char ch : n)
            out.push_back(std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' ||
                                  ch == '_'
                              ? ch
                              : '_');
        return out;
    }
    return "application/x-kavrel-format-" + std::to_string(f);
}

UINT RegisterClipboardFormat(const char* name) {
    if (!name || !*name) return 0;
    auto& names = clip().names;
    std::string key = lower(name);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (lower(names[i]) == key) return static_cast<UINT>(0xC000 + i);
    if (names.size() >= 0x3FFF) return 0;
    names.push_back(name);
    return static_cast<UINT>(0xC000 + names.size() - 1);
}

int GetClipboardFormatName(UINT format, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    if (format < 0xC000 || format - 0xC000 >= clip().names.size()) return 0;
    const std::string& n = clip().names[format - 0xC000];
    std::size_t k = std::min(n.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, n.data(), k);
    buffer[k] = 0;
    return static_cast<int>(k);
}

BOOL OpenClipboard(HWND owner) {
    Clip& c = clip();
    if (owner && !IsWindow(owner)) return FALSE;
    if (c.open && c.opener != owner) return FALSE;
    platform_ensure_application();
    c.open = true;
    c.opener = owner;
    c.changed = false;
    import_foreign();
    return TRUE;
}

BOOL CloseClipboard() {
    Clip& c = clip();
    if (!c.open) return FALSE;
    if (c.changed) publish(); // while still open: delayed formats render now
    c.open = false;
    c.changed = false;
    c.opener = nullptr;
    return TRUE;
}

BOOL EmptyClipboard() {
    Clip& c = clip();
    if (!c.open) return FALSE;
    HWND old = c.owner;
    drop_entries();
    if (old && old != c.opener && IsWindow(old)) SendMessage(old, WM_DESTROYCLIPBOARD, 0, 0);
    c.owner = c.opener;
    c.changed = true;
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    Clip& c = clip();
    if (!c.open && !data) return nullptr;
    if (!c.open) {
        // Only the owner answering WM_RENDERFORMAT may set data while closed.
        auto it = c.entries.find(format);
        if (it == c.entries.end() || !it->second.delayed) {
            ui_fail("SetClipboardData: the clipboard is not open");
            return nullptr;
        }
    }
    if (format == 0) return nullptr;
    if (data && !check(format, data)) return nullptr;
    auto it = c.entries.find(format);
    if (it != c.entries.end() && it->second.handle && it->second.handle != data)
        free_handle(format, it->second.handle);
    c.entries[format] = Entry{data, data == nullptr};
    c.changed = true;
    return data ? data : reinterpret_cast<HANDLE>(1);
}

HANDLE GetClipboardData(UINT format) {
    Clip& c = clip();
    if (!c.open) return nullptr;
    auto it = c.entries.find(format);
    if (it == c.entries.end()) return nullptr;
    if (it->second.delayed && c.owner && IsWindow(c.owner)) {
        SendMessage(c.owner, WM_RENDERFORMAT, format, 0);
        it = c.entries.find(format);
        if (it == c.entries.end()) return nullptr;
    }
    return it->second.delayed ? nullptr : it->second.handle;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    if (!clip().open) import_foreign();
    return clip().entries.count(format) ? TRUE : FALSE;
}

UINT EnumClipboardFormats(UINT format) {
    if (!clip().open) return 0;
    auto it = clip().entries.upper_bound(format);
    return it == clip().entries.end() ? 0 : it->first;
}

int CountClipboardFormats() {
    if (!clip().open) import_foreign();
    return static_cast<int>(clip().entries.size());
}

HWND GetClipboardOwner() {
    return IsWindow(clip().owner) ? clip().owner : nullptr;
}
HWND GetOpenClipboardWindow() {
    return clip().open ? clip().opener : nullptr;
}

void clip_use_private(bool on) {
    clip().use_private = on;
}

void clip_reset() {
    drop_entries();
    Clip& c = clip();
    c.open = false;
    c.opener = c.owner = nullptr;
    c.changed = false;
    c.published = c.imported = nullptr;
}

BOOL clip_import_foreign(const char* mime, const void* data, std::size_t size) {
    if (!mime || (!data && size)) return FALSE;
    QByteArray bytes(static_cast<const char*>(data), static_cast<qsizetype>(size));
    if (std::strcmp(mime, "text/plain") == 0) return import_text(QString::fromUtf8(bytes));
    return import_one(mime, bytes) ? TRUE : FALSE;
}

bool clip_put(HWND owner, UINT format, HANDLE data) {
    if (!data || !OpenClipboard(owner)) return false;
    EmptyClipboard();
    const bool taken = SetClipboardData(format, data) != nullptr;
    CloseClipboard();
    return taken;
}
