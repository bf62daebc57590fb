// Fonts and the font list (see fonts.h).
#include "shell/fonts.h"

#include "platform/print.h"
#include "platform/win.h"
#include "shell/settings_rows.h"

#include <algorithm>
#include <cstring>

namespace {

std::vector<font_family> families;
bool families_made = false;

bool name_less(const font_family& f, const char* name) {
    return std::strcmp(f.name.c_str(), name) < 0;
}

struct list_fill {
    std::vector<font_family>* list;
    bool printer;
};

void enumerate_into(HDC dc, bool printer) {
    list_fill f{&families, printer};
    EnumFontFamilies(dc, nullptr, font_callback, reinterpret_cast<LPARAM>(&f));
}

} // namespace

std::vector<std::string> printer_names() {
    std::vector<std::string> out;
    std::vector<char> buf(4096);
    for (;;) {
        DWORD n = GetProfileString("PrinterPorts", nullptr, "", buf.data(),
                                   static_cast<DWORD>(buf.size()));
        if (n + 2 < buf.size() || buf.size() >= (1u << 20)) break;
        buf.resize(buf.size() * 2);
    }
    for (const char* p = buf.data(); *p; p += std::strlen(p) + 1) out.emplace_back(p);
    return out;
}

std::string default_printer_name() {
    char buf[512];
    GetProfileString("windows", "device", "", buf, sizeof buf);
    std::string s = buf;
    return s.substr(0, s.find(','));
}

bool printer_known(const char* name) {
    for (const std::string& p : printer_names())
        if (p == name) return true;
    return false;
}

int font_callback(const LOGFONT* font, const TEXTMETRIC*, DWORD type, LPARAM data) {
    auto* f = reinterpret_cast<list_fill*>(data);
    if (!font || !f) return 0;
    const char* name = font->lfFaceName;
    auto at = std::lower_bound(f->list->begin(), f->list->end(), name, name_less);
    if (at != f->list->end() && at->name == name) return 1; // already listed
    font_family fam;
    fam.name = name;
    fam.pitch_family = font->lfPitchAndFamily;
    fam.charset = font->lfCharSet;
    fam.kind = (type & TRUETYPE_FONTTYPE) ? 4 : (f->printer || (type & DEVICE_FONTTYPE)) ? 2 : 0;
    // Grows ten entries at a time, as the list is rebuilt rarely.
    auto index = at - f->list->begin();
    if (f->list->size() == f->list->capacity()) f->list->reserve(f->list->size() + 10);
    f->list->insert(f->list->begin() + index, fam);
    return 1;
}

int font2_callback(const LOGFONT* font, const TEXTMETRIC*, DWORD, LPARAM data) {
    if (font && data) *reinterpret_cast<BYTE*>(data) = font->lfCharSet;
    return 1;
}

void load_font_list() {
    families.clear();
    families_made = true;
    if (!opts.printer_name.empty() && printer_known(opts.printer_name.c_str())) {
        if (HDC pdc = print_create_dc(opts.printer_name.c_str(), nullptr, true)) {
            enumerate_into(pdc, true);
            DeleteDC(pdc);
        }
    }
    HDC screen = GetDC(nullptr);
    enumerate_into(screen, false);
    ReleaseDC(nullptr, screen);
}

const std::vector<font_family>& font_list() {
    if (!families_made) load_font_list();
    return families;
}

const font_family* find_font_family(const char* face) {
    if (!face) return nullptr;
    const auto& list = font_list();
    auto at = std::lower_bound(list.begin(), list.end(), face, name_less);
    return at != list.end() && at->name == face ? &*at : nullptr;
}

BYTE font_charset(HDC dc, const char* face) {
    if (!face || !*face) return DEFAULT_CHARSET;
    // The whole list opens every font file on the machine (tens of
    // milliseconds): it is used when made, and one face is asked for otherwise,
    // so painting the first window does not build it.
    if (families_made)
        if (const font_family* f = find_font_family(face)) return f->charset;
    BYTE charset = DEFAULT_CHARSET;
    HDC use = dc ? dc : GetDC(nullptr);
    EnumFontFamilies(use, face, font2_callback, reinterpret_cast<LPARAM>(&charset));
    if (!dc) ReleaseDC(nullptr, use);
    return charset;
}

LOGFONT font_logfont(HDC dc, const font_spec& font, int scale) {
    HDC use = dc ? dc : GetDC(nullptr);
    int ppi = GetDeviceCaps(use, LOGPIXELSY);
    LOGFONT lf{};
    int points = static_cast<std::int8_t>(font.size);
    if (scale == 0 || scale == 100)
        lf.lfHeight = -(points * ppi / 72);
    else
        lf.lfHeight = -(points * ppi * scale / 7200);
    lf.lfWeight = (font.style & font_bold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (font.style & font_italic) ? 1 : 0;
    lf.lfUnderline = (font.style & font_underline) ? 1 : 0;
    lf.lfStrikeOut = (font.style & font_strikeout) ? 1 : 0;
    if (font.style & font_vertical) lf.lfEscapement = lf.lfOrientation = 900;
    std::memcpy(lf.lfFaceName, font.face, sizeof lf.lfFaceName);
    lf.lfFaceName[LF_FACESIZE - 1] = 0;
    lf.lfCharSet = font_charset(use, lf.lfFaceName);
    if (!dc) ReleaseDC(nullptr, use);
    return lf;
}

HFONT make_font(HDC dc, const font_spec& font, int scale) {
    LOGFONT lf = font_logfont(dc, font, scale);
    return CreateFontIndirect(&lf);
}
