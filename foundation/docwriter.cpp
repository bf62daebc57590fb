// The text report writer.

#include "foundation/docwriter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "foundation/memory.h"
#include "foundation/report.h"

int out_indent = 0;
std::uint8_t doc_compact = 0;
std::uint8_t* io_buf = nullptr;
std::size_t io_buf_size = 0;

namespace {

struct doc_state {
    int kind = report_none;
    std::uintptr_t dest = 0;
    int buffer_size = 256;
    int wrap = 0;
    int cont = 0;
    int follow = 0;
    std::string line;              // the line being written, indent included
    bool started = false;          // the line's indent has been written
    std::size_t content_start = 0; // where the line's own text begins
    int col = 0;                   // columns the line uses
    bool pending_ws = false;       // white space held back by compact mode 1
    bool write_failed = false;
    std::vector<std::string> lines; // finished lines of this report
    // Saved with the state by doc_push only.
    int indent = 0;
    std::uint8_t compact = 0;
};

doc_state cur;
std::vector<doc_state> saved;
report_sink sinks[2] = {{nullptr}, {nullptr}}; // grid, text
wrapped_writer wrapped = nullptr;
std::vector<std::uint32_t> collected;

inline bool is_blank(unsigned char c) {
    return c == ' ' || c == '\t';
}

// Wrapping counts characters: a tab is one column, as in the line buffer the
// width is measured against (windows expand tabs by their own tab stops).
inline int advance(int col, unsigned char) {
    return col + 1;
}

int columns(std::string_view s) {
    return static_cast<int>(s.size());
}

bool name_char(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '.' || c == '\'' || c == '"' || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

std::string indent_prefix() {
    return out_indent >= 0 ? std::string(static_cast<std::size_t>(out_indent), ' ')
                           : std::string(static_cast<std::size_t>(-(long)out_indent), '\t');
}

void deliver(const std::string& text) {
    cur.lines.push_back(text);
    switch (cur.kind) {
    case report_grid:
    case report_text: {
        const report_sink& s = sinks[cur.kind == report_grid ? 0 : 1];
        if (s.add_line) s.add_line(static_cast<handle>(cur.dest), text.c_str(), cur.follow);
        break;
    }
    case report_file: {
        auto* f = reinterpret_cast<std::FILE*>(cur.dest);
        if (!f) break;
        bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                  std::fputc('\n', f) != EOF;
        if (!ok && !cur.write_failed) {
            cur.write_failed = true;
            report(5, "Unable to write the report to its file");
        }
        break;
    }
    default:
        break;
    }
}

void reset_line() {
    cur.line.clear();
    cur.started = false;
    cur.content_start = 0;
    cur.col = 0;
    cur.pending_ws = false;
}

void end_line() {
    std::string text = cur.started ? cur.line : std::string();
    reset_line();
    deliver(text);
}

void start_line() {
    if (cur.started) return;
    cur.started = true;
    cur.line = indent_prefix();
    cur.content_start = cur.line.size();
    cur.col = columns(cur.line);
}

// Cuts the line while it passes the wrap width. The last character written
// is not a blank, and everything before the last run of blanks fitted when
// it was written, so a cut at the last blank leaves a piece that fits.
void wrap_line() {
    while (cur.wrap > 0 && cur.col > cur.wrap) {
        std::string& l = cur.line;
        // Blanks and tabs before the line's first word are its layout, not
        // places to cut.
        std::size_t first = cur.content_start;
        while (first < l.size() && is_blank(static_cast<unsigned char>(l[first]))) ++first;
        std::size_t brk = std::string::npos;
        for (std::size_t i = l.size() - 1; i > first && i < l.size(); --i)
            if (is_blank(static_cast<unsigned char>(l[i]))) {
                brk = i;
                break;
            }
        std::string piece;
        std::string rest;
        if (brk != std::string::npos) {
            std::size_t end = brk; // l[first] is a word, so end stays above first
            while (end > first && is_blank(static_cast<unsigned char>(l[end - 1]))) --end;
            piece = l.substr(0, end);
            std::size_t from = brk + 1;
            while (from < l.size() && is_blank(static_cast<unsigned char>(l[from]))) ++from;
            rest = l.substr(from);
        }
        if (brk == std::string::npos) {
            if (l.size() - 1 <= first) return; // a single word character: cannot cut
            piece = l.substr(0, l.size() - 1);
            rest = l.substr(l.size() - 1);
        }
        if (cur.cont) piece += '\\';
        deliver(piece);
        cur.line = indent_prefix() + '\t';
        cur.content_start = cur.line.size();
        cur.line += rest;
        cur.col = columns(cur.line);
    }
}

void append(unsigned char c) {
    start_line();
    cur.line += static_cast<char>(c);
    cur.col = advance(cur.col, c);
    if (cur.wrap > 0 && cur.col > cur.wrap && !is_blank(c)) wrap_line();
}

bool line_has_content() {
    return cur.started && cur.line.size() > cur.content_start;
}

void put_char(unsigned char c) {
    if (c == '\r') return;
    bool white = c == ' ' || c == '\t' || c == '\n';
    if (doc_compact == 2) {
        cur.pending_ws = false;
        if (white) {
            if (line_has_content() && cur.line.back() != ' ') append(' ');
            return;
        }
    } else if (doc_compact == 1) {
        if (white) {
            cur.pending_ws = true;
            return;
        }
        if (cur.pending_ws) {
            cur.pending_ws = false;
            if (line_has_content() && name_char(static_cast<unsigned char>(cur.line.back())) &&
                name_char(c))
                append(' ');
        }
    } else {
        cur.pending_ws = false;
        if (c == '\n') {
            end_line();
            return;
        }
    }
    append(c);
}

void put_text(std::string_view text) {
    for (char c : text) put_char(static_cast<unsigned char>(c));
}

void begin(int kind, std::uintptr_t dest, int buffer_size, int wrap, int cont, int follow,
           int indent) {
    doc_flush();
    cur.kind = kind;
    cur.dest = dest;
    cur.buffer_size = buffer_size;
    cur.wrap = std::max(0, wrap);
    cur.cont = cont;
    cur.follow = follow;
    cur.write_failed = false;
    cur.lines.clear();
    reset_line();
    out_indent = indent;
    doc_compact = 0;
    if (kind == report_collect) collected.clear();
}

} // namespace

// ----------------------------------------------------------- destinations ---

void set_report_sink(int kind, const report_sink* sink) {
    if (kind != report_grid && kind != report_text) return;
    sinks[kind == report_grid ? 0 : 1] = sink ? *sink : report_sink{nullptr};
}

void text_report(int line_buffer_size, int line_width, int indent, int kind,
                 std::uintptr_t destination, int continuation) {
    if (kind < report_none || kind > report_collect) kind = report_none;
    begin(kind, destination, line_buffer_size, line_width, continuation, 0, indent);
}

void text_report_stream(int line_buffer_size, int line_width, int indent, std::FILE* stream,
                        int continuation) {
    text_report(line_buffer_size, line_width, indent, report_file,
                reinterpret_cast<std::uintptr_t>(stream), continuation);
}

void doc_begin(int width, int wrap, int continuation, int destination, std::uintptr_t target,
               int flag) {
    int kind = report_none;
    switch (destination) {
    case doc_to_collect:
        kind = report_collect;
        break;
    case doc_to_text:
        kind = report_text;
        break;
    case doc_to_grid:
        kind = report_grid;
        break;
    case doc_to_file:
        kind = report_file;
        break;
    default:
        break;
    }
    begin(kind, target, width, wrap, continuation, flag, 0);
}

void doc_push() {
    cur.indent = out_indent;
    cur.compact = doc_compact;
    saved.push_back(std::move(cur));
    cur = doc_state{};
    out_indent = 0;
    doc_compact = 0;
}

void doc_pop() {
    if (saved.empty()) return;
    doc_flush();
    cur = std::move(saved.back());
    saved.pop_back();
    out_indent = cur.indent;
    doc_compact = cur.compact;
}

// ---------------------------------------------------------------- writing ---

int vdocprintf(const char* format, va_list args) {
    if (!format) return 0;
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return n;
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(n));
    put_text(text);
    return n;
}

int docprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vdocprintf(format, args);
    va_end(args);
    return n;
}

void doc_puts(const char* text) {
    if (text) put_text(text);
}

void doc_flush() {
    if (cur.started) end_line();
    cur.pending_ws = false;
}

int doc_wrap_width() {
    return cur.wrap;
}
int doc_buffer_size() {
    return cur.buffer_size;
}
int doc_kind() {
    return cur.kind;
}
int doc_column() {
    return cur.col;
}
const std::string& doc_current_line() {
    return cur.line;
}

void write_wrapped_default(int start_column, const char* text, int tabs, int cont_flag) {
    if (!text) return;
    std::string_view t(text);
    const std::string tab_text(static_cast<std::size_t>(std::max(0, tabs)), '\t');
    int col = start_column;
    int w = cur.wrap;
    for (;;) {
        if (w <= 0 || col + static_cast<long>(t.size()) <= w) {
            put_text(t);
            return;
        }
        // The last blank or tab at which the piece before it fits.
        std::size_t cut = std::string_view::npos;
        long avail = static_cast<long>(w) - col;
        if (avail >= 1) {
            for (std::size_t i =
                     std::min<std::size_t>(static_cast<std::size_t>(avail), t.size() - 1);
                 i >= 1; --i)
                if (is_blank(static_cast<unsigned char>(t[i]))) {
                    cut = i;
                    break;
                }
        }
        if (cut == std::string_view::npos) {
            // Nothing fits: cut at the first blank after, so no word is split.
            for (std::size_t i = 1; i < t.size(); ++i)
                if (is_blank(static_cast<unsigned char>(t[i]))) {
                    cut = i;
                    break;
                }
        }
        if (cut == std::string_view::npos) {
            put_text(t);
            return;
        }
        put_text(t.substr(0, cut));
        put_text(cont_flag ? "\\\n" : "\n");
        put_text(tab_text);
        t.remove_prefix(cut);
        while (!t.empty() && is_blank(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
        if (t.empty()) return;
        col = 10;
    }
}

void set_wrapped_writer(wrapped_writer writer) {
    wrapped = writer;
}

void doc_multiline(const char* text, int indent, int flag) {
    if (!text || !*text) return;
    wrapped_writer w = wrapped ? wrapped : write_wrapped_default;
    const std::string tab_text(static_cast<std::size_t>(std::max(0, indent)), '\t');
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t nl = rest.find('\n');
        std::string line(rest.substr(0, nl));
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        w(0, line.c_str(), indent, flag);
        put_text("\n");
        put_text(tab_text);
        if (nl == std::string_view::npos) break;
        rest.remove_prefix(nl + 1);
    }
}

// --------------------------------------------------------- collected names ---

bool doc_collecting() {
    return cur.kind == report_collect;
}

void doc_collect_name(std::uint32_t symbol) {
    if (!doc_collecting()) return;
    if (std::find(collected.begin(), collected.end(), symbol) != collected.end()) return;
    collected.push_back(symbol);
}

const std::vector<std::uint32_t>& doc_collected_names() {
    return collected;
}
void doc_clear_collected() {
    collected.clear();
}

// ------------------------------------------------------------ kept lines ---

const std::vector<std::string>& report_lines() {
    return cur.lines;
}
void clear_report_lines() {
    cur.lines.clear();
}

char* join_report_lines(int mode) {
    std::string all;
    for (std::size_t i = 0; i < cur.lines.size(); ++i) {
        if (mode == 0 && i > 0) all += ' ';
        all += cur.lines[i];
        if (mode != 0) all += '\n';
    }
    if (cur.started) {
        if (mode == 0 && !cur.lines.empty()) all += ' ';
        all += cur.line;
    }
    char* out = static_cast<char*>(scratch(all.size() + 1));
    std::memcpy(out, all.data(), all.size());
    out[all.size()] = 0;
    return out;
}

bool doc_write_failed() {
    return cur.write_failed;
}

// ----------------------------------------------------------- shared buffer ---

void size_shared_buffer(std::size_t n) {
    static std::vector<std::uint8_t> storage;
    std::size_t need = n == 0 ? 1 : (n - 1) / 8 + 1;
    if (storage.size() < need) storage.resize(need, 0);
    io_buf = storage.data();
    io_buf_size = storage.size();
}
