// The text window's windowless parts: see textwin_core.h.
#include "tools/textwin_core.h"

#include <algorithm>
#include <cctype>

int text_lines::append(std::string_view text) {
    int added = 0;
    std::size_t pos = 0;
    do {
        std::size_t lf = text.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::size_t cut = end;
        if (lf != std::string_view::npos && cut > pos && text[cut - 1] == '\r') --cut;
        starts_.push_back(text_.size());
        for (std::size_t i = pos; i < cut; ++i) text_.push_back(text[i] == '\0' ? ' ' : text[i]);
        text_.push_back('\n');
        ++added;
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    } while (pos < text.size());
    return added;
}

std::size_t text_lines::line_start(int i) const {
    if (i < 0) return 0;
    if (i >= lines()) return text_.size();
    return starts_[static_cast<std::size_t>(i)];
}

std::string_view text_lines::line(int i) const {
    if (i < 0 || i >= lines()) return {};
    std::size_t s = starts_[static_cast<std::size_t>(i)];
    std::size_t e = line_start(i + 1) - 1; // before the line feed
    return std::string_view(text_).substr(s, e - s);
}

int text_lines::line_of(std::size_t offset) const {
    if (starts_.empty()) return 0;
    auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return static_cast<int>(it - starts_.begin()) - 1;
}

std::string crlf_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 1);
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

int text_step(int m_width) {
    // An int: five widths of a large font pass what a byte holds.
    return std::max(1, 5 * m_width);
}

follow_result follow_append(text_view& view, int lines) {
    if (view.visible < 1) view.visible = 1;
    if (lines <= view.visible) return follow_result::band;
    // Before the append the view showed the end when the old last line
    // (lines - 2) was visible.
    if (view.top + view.visible >= lines - 1) {
        view.top = lines - view.visible;
        return follow_result::scrolled;
    }
    return follow_result::kept;
}

void clamp_view(text_view& view, int lines) {
    if (view.visible < 1) view.visible = 1;
    view.top = std::clamp(view.top, 0, std::max(0, lines - view.visible));
    view.hpos = std::clamp(view.hpos, 0, std::max(0, view.longest));
}

namespace {

bool span_stop(char c) {
    return c == '\t' || c == '\n' || c == '\r';
}
bool name_char(unsigned char c) {
    return std::isalnum(c) || c == ' ' || c == '_' || c >= 0x80;
}

} // namespace

void find_name_extent(std::string_view text, int pos, int limit, int* start, int* end) {
    int n = std::min(static_cast<int>(text.size()), std::max(0, limit));
    pos = std::clamp(pos, 0, n);
    *start = *end = pos;
    if (pos >= n || span_stop(text[static_cast<std::size_t>(pos)])) return;
    int s = pos, e = pos;
    while (s > 0 && !span_stop(text[static_cast<std::size_t>(s - 1)])) --s;
    while (e < n && !span_stop(text[static_cast<std::size_t>(e)])) ++e;
    auto at = [&](int i) { return static_cast<unsigned char>(text[static_cast<std::size_t>(i)]); };
    // Walk the names of the span from its start so quotes pair up properly.
    int i = s;
    while (i < e) {
        int ts = i, te;
        unsigned char c = at(i);
        if (c == '"') {
            te = i + 1;
            while (te < e && at(te) != '"') te += (at(te) == '\\' && te + 1 < e) ? 2 : 1;
            te = std::min(e, te + 1);
        } else if (c == '#') {
            te = i + 1;
            while (te < e && at(te) != '#') ++te;
            te = std::min(e, te + 1);
        } else if (name_char(c)) {
            te = i;
            while (te < e && name_char(at(te))) ++te;
        } else {
            i = i + 1;
            if (pos < i) return; // on a separator: no name
            continue;
        }
        if (te < e && at(te) == '[') {
            int close = te;
            while (close < e && at(close) != ']') ++close;
            te = std::min(e, close + 1);
        }
        if (pos >= ts && pos < te) {
            while (ts < te && at(ts) == ' ') ++ts;
            while (te > ts && at(te - 1) == ' ') --te;
            *start = ts;
            *end = te;
            return;
        }
        i = te;
    }
}
