// The main window's remembered place (see mainplace.h).
#include "shell/mainplace.h"

#include "foundation/ini.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* setting = "MainWindow";
// Smaller than this is no window a user meant to keep.
constexpr int least_width = 200, least_height = 150;

RECT remembered{};
bool have_remembered = false;

RECT screen_rect() {
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) {
        x = y = 0;
        w = GetSystemMetrics(SM_CXSCREEN);
        h = GetSystemMetrics(SM_CYSCREEN);
    }
    return {x, y, x + std::max(w, 1), y + std::max(h, 1)};
}

} // namespace

std::optional<main_place> parse_main_place(const std::string& text) {
    long x, y, w, h;
    int max = 0;
    char tail = 0;
    int n =
        std::sscanf(text.c_str(), " %ld , %ld , %ld , %ld , %d %c", &x, &y, &w, &h, &max, &tail);
    if (n != 4 && n != 5) return std::nullopt;
    constexpr long far = 1L << 20;
    if (w < least_width || h < least_height || w > far || h > far || x < -far || x > far ||
        y < -far || y > far)
        return std::nullopt;
    main_place p;
    p.rect = {static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + w),
              static_cast<LONG>(y + h)};
    p.maximised = n == 5 && max != 0;
    return p;
}

std::string format_main_place(const main_place& p) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld,%d", static_cast<long>(p.rect.left),
                  static_cast<long>(p.rect.top), static_cast<long>(p.rect.right - p.rect.left),
                  static_cast<long>(p.rect.bottom - p.rect.top), p.maximised ? 1 : 0);
    return buf;
}

RECT bring_onto(RECT r, const RECT& screen) {
    LONG sw = screen.right - screen.left, sh = screen.bottom - screen.top;
    LONG w = std::clamp<LONG>(r.right - r.left, 1, sw);
    LONG h = std::clamp<LONG>(r.bottom - r.top, 1, sh);
    LONG x = std::clamp<LONG>(r.left, screen.left, screen.right - w);
    LONG y = std::clamp<LONG>(r.top, screen.top, screen.bottom - h);
    return {x, y, x + w, y + h};
}

main_place initial_main_place() {
    RECT screen = screen_rect();
    if (auto saved = parse_main_place(ini_get_string(setting, ""))) {
        saved->rect = bring_onto(saved->rect, screen);
        return *saved;
    }
    // Three quarters of the screen, centred, for the first start; the
    // window opens maximised over it.
    LONG sw = screen.right - screen.left, sh = screen.bottom - screen.top;
    LONG w = sw * 3 / 4, h = sh * 3 / 4;
    main_place p;
    p.rect = {screen.left + (sw - w) / 2, screen.top + (sh - h) / 2, 0, 0};
    p.rect.right = p.rect.left + w;
    p.rect.bottom = p.rect.top + h;
    p.maximised = true;
    return p;
}

void remember_main_place(HWND window) {
    if (!window || IsZoomed(window) || IsIconic(window)) return;
    RECT r{};
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return;
    remembered = r;
    have_remembered = true;
}

void save_main_place(HWND window) {
    if (!window || !IsWindow(window)) return;
    remember_main_place(window);
    if (!have_remembered) return;
    main_place p{remembered, IsZoomed(window) != 0};
    ini_set(setting, format_main_place(p).c_str());
}
