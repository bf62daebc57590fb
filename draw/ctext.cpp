// The caption window class: paints its text word-wrapped in its client
// rectangle in the font its dialog gives it.
#include "draw/ctext.h"

#include "draw/boxname.h"
#include "draw/drawing.h"
#include "platform/messages.h"
#include "shell/upcalls.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

// The font each caption draws in (null: the default font); the entry goes
// with the window.
std::map<HWND, HFONT> caption_fonts;

void paint_caption(HWND w) {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(w, &ps);
    if (!dc) return;
    const int n = GetWindowTextLength(w);
    std::vector<char> text(static_cast<std::size_t>(n) + 1, '\0');
    if (n > 0) GetWindowText(w, text.data(), n + 1);
    if (n > 0) {
        RECT c{};
        GetClientRect(w, &c);
        draw_pass pass(dc, dc);
        if (pass.ok()) {
            const auto it = caption_fonts.find(w);
            const font_spec spec = font_spec_of(it != caption_fonts.end() ? it->second : nullptr);
            use_graph_font(spec);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            draw_boxed_name(dc, dc, c, 1, text.data(), nullptr, nullptr, false, false, false);
        }
    }
    EndPaint(w, &ps);
}

} // namespace

font_spec font_spec_of(HFONT font) {
    font_spec spec{};
    spec.colour = 0xFFFFFFFFu;
    spec.size = default_font_points;
    LOGFONT lf{};
    if (!font || GetObject(font, static_cast<int>(sizeof lf), &lf) != static_cast<int>(sizeof lf))
        return spec;
    // A height in pixels (negative: the character height) on a 96-pixel
    // screen; 0 keeps the default size.
    const long pixels = std::labs(static_cast<long>(lf.lfHeight));
    if (pixels > 0) {
        const long points = (pixels * 72 + 48) / 96;
        spec.size = static_cast<std::uint8_t>(points < 1 ? 1 : points > 127 ? 127 : points);
    }
    if (lf.lfWeight >= 600) spec.style |= font_bold;
    if (lf.lfItalic) spec.style |= font_italic;
    if (lf.lfUnderline) spec.style |= font_underline;
    std::memcpy(spec.face, lf.lfFaceName, sizeof spec.face - 1);
    spec.face[sizeof spec.face - 1] = '\0';
    return spec;
}

LRESULT ctext_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE: {
        // The dialog's font, when the caption sits in one.
        HWND parent = GetParent(w);
        caption_fonts[w] =
            parent ? reinterpret_cast<HFONT>(SendMessage(parent, WM_GETFONT, 0, 0)) : nullptr;
        break;
    }
    case WM_SETFONT:
        caption_fonts[w] = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_GETFONT: {
        const auto it = caption_fonts.find(w);
        return it != caption_fonts.end() ? reinterpret_cast<LRESULT>(it->second) : 0;
    }
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(w, m, wp, lp);
        InvalidateRect(w, nullptr, TRUE);
        return r;
    }
    case WM_PAINT:
        paint_caption(w);
        return 0;
    case WM_NCDESTROY:
        caption_fonts.erase(w);
        break;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

void install_ctext_proc() {
    ctext_window_hook = ctext_proc;
}
