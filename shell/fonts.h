// Fonts: a GDI font for a font_spec, and the list of font families the face
// lists of the font dialogs show (the printer's and the screen's, sorted by
// name).
#pragma once

#include "foundation/names.h"
#include "platform/gdi.h"

#include <string>
#include <vector>

// A font for `font`: height -(points x vertical pixels per inch / 72), or
// with a scale other than 0 and 100 (per cent) -(points x pixels per inch x
// scale / 7200); bold, italic, underline, strike-out and vertical (escapement
// 900) from the style bits; the face of `font` and that face's character set.
// The caller deletes it.
HFONT make_font(HDC dc, const font_spec& font, int scale);
// The LOGFONT make_font makes its font from.
LOGFONT font_logfont(HDC dc, const font_spec& font, int scale);

// One family of the font list. kind: 4 TrueType, 2 a printer font, 0 other.
struct font_family {
    std::string name;
    BYTE pitch_family = 0;
    BYTE charset = DEFAULT_CHARSET;
    int kind = 0;
};

// The font list: made on first use (the printer's families, when a printer
// is chosen, then the screen's); load_font_list makes it again (after the
// printer changed).
const std::vector<font_family>& font_list();
void load_font_list();
// The family of a face in the font list (byte order), or null.
const font_family* find_font_family(const char* face);
// The character set of a face: from the font list, else from enumerating the
// face's fonts (the last reported), else DEFAULT_CHARSET.
BYTE font_charset(HDC dc, const char* face);

// The printers of the system's printer list, the default printer's name, and
// whether a name is one of the list.
std::vector<std::string> printer_names();
std::string default_printer_name();
bool printer_known(const char* name);

// The enumeration callbacks (data: the list being filled; the charset out).
int font_callback(const LOGFONT* font, const TEXTMETRIC* metrics, DWORD type, LPARAM data);
int font2_callback(const LOGFONT* font, const TEXTMETRIC* metrics, DWORD type, LPARAM data);
