// Texts of graph definitions (see graphtexts.h).
#include "draw/graphtexts.h"

#include "draw/axis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A number at s ("%g"); `end` past it; false when none reads.
bool read_number(const char* s, const char* stop, double& v, const char** end) {
    std::string piece(s, static_cast<std::size_t>(stop - s));
    char* e = nullptr;
    v = std::strtod(piece.c_str(), &e);
    if (e == piece.c_str()) return false;
    if (end) *end = s + (e - piece.c_str());
    return true;
}

bool read_int(const char*& s, const char* stop, int& v) {
    while (s < stop && *s == ' ') ++s;
    const char* p = s;
    bool neg = false;
    if (p < stop && (*p == '-' || *p == '+')) neg = *p++ == '-';
    if (p >= stop || *p < '0' || *p > '9') return false;
    long long n = 0;
    while (p < stop && *p >= '0' && *p <= '9') {
        n = std::min<long long>(n * 10 + (*p - '0'), 1000000);
        ++p;
    }
    v = static_cast<int>(neg ? -n : n);
    s = p;
    return true;
}

bool read_rgb(const char* s, const char* stop, COLORREF& c) {
    int r, g, b;
    if (!read_int(s, stop, r) || s >= stop || *s++ != '|' || !read_int(s, stop, g) || s >= stop ||
        *s++ != '|' || !read_int(s, stop, b))
        return false;
    auto lim = [](int v) { return static_cast<BYTE>(std::clamp(v, 0, 255)); };
    c = RGB(lim(r), lim(g), lim(b));
    return true;
}

} // namespace

axis_labels parse_axis_labels(const char* text, bool x_axis) {
    axis_labels out;
    if (!text) return out;
    const char* s = text;
    while (*s == '?') ++s;
    while (*s && static_cast<int>(out.labels.size()) < graph_text_max_labels) {
        const char* end = std::strchr(s, '?');
        if (!end) end = s + std::strlen(s);
        const char* eq =
            static_cast<const char*>(std::memchr(s, '=', static_cast<std::size_t>(end - s)));
        axis_label l;
        double v = 0;
        if (!read_number(s, eq ? eq : end, v, nullptr)) v = 0;
        if (!std::isfinite(v)) return axis_labels{};
        l.value = v;
        if (eq) l.text.assign(eq + 1, end);
        out.labels.push_back(std::move(l));
        s = *end ? end + 1 : end;
    }
    if (out.labels.size() < 2) return axis_labels{};
    auto [lo, hi] = std::minmax_element(
        out.labels.begin(), out.labels.end(),
        [](const axis_label& a, const axis_label& b) { return a.value < b.value; });
    out.min = lo->value;
    out.max = hi->value;
    if (!(out.max > out.min) || !std::isfinite(out.max - out.min)) return axis_labels{};
    for (axis_label& l : out.labels)
        l.pos =
            x_axis ? axis_x_pos(l.value, out.min, out.max) : axis_y_pos(l.value, out.min, out.max);
    out.ok = true;
    return out;
}

std::vector<band_spec> parse_band_spec(const char* text) {
    std::vector<band_spec> out;
    if (!text) return out;
    const char* s = text;
    while (*s && static_cast<int>(out.size()) < graph_text_max_bands) {
        const char* end = std::strchr(s, ',');
        if (!end) end = s + std::strlen(s);
        const char* eq =
            static_cast<const char*>(std::memchr(s, '=', static_cast<std::size_t>(end - s)));
        double pct = 0;
        band_spec b;
        if (eq && read_number(s, eq, pct, nullptr) && std::isfinite(pct) &&
            read_rgb(eq + 1, end, b.colour)) {
            b.per_mille = static_cast<int>(std::clamp(pct, 0.0, 100.0) * 10 + 0.5);
            out.push_back(b);
        }
        s = *end ? end + 1 : end;
    }
    std::stable_sort(out.begin(), out.end(), [](const band_spec& a, const band_spec& b) {
        return a.per_mille > b.per_mille;
    });
    return out;
}

COLORREF parse_rgb_bars(const char* text, COLORREF fallback) {
    COLORREF c;
    if (!text || !read_rgb(text, text + std::strlen(text), c)) return fallback;
    return c;
}
