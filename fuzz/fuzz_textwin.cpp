// Drives a text window's line store with arbitrary bytes: the input is cut
// into appends, each followed by a selection at a position taken from the
// input and a copy of that selection (or of everything). The store must stay
// consistent (one line feed per line, no NUL), every selection must lie
// within the text and the clipboard form must have CR LF for every line feed.
#include "tools/textwin_core.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void check_store(const text_lines& t) {
    const std::string& s = t.text();
    std::size_t feeds = 0;
    for (char c : s) {
        check(c != '\0');
        if (c == '\n') ++feeds;
    }
    check(feeds == static_cast<std::size_t>(t.lines()));
    check(s.empty() || s.back() == '\n');
    for (int i = 0; i < t.lines(); i += 1 + t.lines() / 64) {
        std::string_view l = t.line(i);
        check(l.find('\n') == std::string_view::npos);
        check(t.line_of(t.line_start(i)) == i);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    text_lines t;
    text_view view;
    view.visible = 1 + (size ? data[0] % 8 : 0);
    std::size_t pos = 0;
    while (pos < size) {
        // A chunk: its length byte, its text, then two bytes for the click.
        std::size_t len = data[pos++];
        len = std::min(len, size - pos);
        std::string_view chunk(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        const int before = t.lines();
        const int added = t.append(chunk);
        check(added >= 1 && t.lines() == before + added);
        for (int i = before; i < t.lines(); ++i) {
            follow_append(view, i + 1);
            check(view.top >= 0 && view.top <= t.lines());
        }
        int click = 0;
        if (pos + 1 < size) {
            click = data[pos] | data[pos + 1] << 8;
            pos += 2;
        }
        const std::string& text = t.text();
        const int n = static_cast<int>(text.size());
        int s = -1, e = -1;
        find_name_extent(text, click % (n + 1), n, &s, &e);
        check(0 <= s && s <= e && e <= n);
        std::string_view sel = s < e ? std::string_view(text).substr(s, e - s) : text;
        std::string copy = crlf_text(sel);
        std::size_t feeds = 0;
        for (char c : sel) feeds += c == '\n';
        check(copy.size() == sel.size() + feeds);
    }
    check_store(t);
    clamp_view(view, t.lines());
    check(view.top >= 0 && (t.lines() == 0 || view.top < t.lines()));
    return 0;
}
