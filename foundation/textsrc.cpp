// Text sources, the shared line buffer and parse-error lines.
#include "foundation/textsrc.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/report.h"

namespace {

// The line buffer. Buffers outgrown are kept, not freed, so that a pointer a
// caller took into line_buf never dangles.
struct line_store {
    std::vector<std::unique_ptr<char[]>> buffers;
    std::size_t capacity = 0;
};

line_store& store() {
    static line_store s;
    return s;
}

char empty_line[1] = {0};

// Makes line_buf hold at least bytes characters, keeping its text.
void reserve_line(std::size_t bytes) {
    line_store& s = store();
    if (bytes <= s.capacity) return;
    std::size_t cap = s.capacity ? s.capacity : 4096;
    while (cap < bytes) cap *= 2;
    auto fresh = std::make_unique<char[]>(cap);
    std::size_t used = s.capacity ? std::strlen(line_buf) : 0;
    std::memcpy(fresh.get(), line_buf, used);
    fresh[used] = 0;
    line_buf = fresh.get();
    s.buffers.push_back(std::move(fresh));
    s.capacity = cap;
}

// Stores text of n characters at offset at of line_buf.
void put_line(std::size_t at, const char* text, std::size_t n) {
    reserve_line(at + n + 1);
    std::memmove(line_buf + at, text, n);
    line_buf[at + n] = 0;
    line_pos = line_buf;
}

struct text_source {
    std::string name; // "" for lines
    long line_no = 0;
    // A file.
    file_handle fh = -1;
    std::vector<char> chunk;
    std::size_t chunk_pos = 0, chunk_len = 0;
    bool at_eof = false;
    bool skip_lf = false; // the last line ended in CR: a following LF belongs to it
    bool refused = false; // not text, a line too long, or a failed read (said so)
    long ends_met = 0;    // reads that found the end
    // Lines.
    std::vector<std::string> owned;
    const char* const* lines = nullptr;
    int count = 0; // < 0: up to the first null
    int index = 0;
    std::size_t offset = 0; // within lines[index]

    // The next physical line into out, its line end as "\n". false at the end.
    bool next(std::string& out) {
        out.clear();
        return fh >= 0 ? next_from_file(out) : next_from_lines(out);
    }

    bool fill() {
        if (at_eof) return false;
        if (chunk.empty()) chunk.resize(65536);
        chunk_len = fh_read(fh, chunk.data(), chunk.size());
        chunk_pos = 0;
        if (chunk_len == 0) {
            at_eof = true;
            if (int e = fh_error(fh))
                refuse(("Unable to read " + name + ": " + file_error_text(e)).c_str());
        }
        return chunk_len > 0;
    }

    // Ends the source after one message: what was read of it is not to be
    // taken as the whole file.
    void refuse(const char* text) {
        refused = true;
        at_eof = true;
        report(5, "%s", text);
    }

    bool next_from_file(std::string& out) {
        bool any = false;
        for (;;) {
            if (refused) return false;
            if (chunk_pos >= chunk_len && !fill()) return any && !refused;
            if (skip_lf) {
                skip_lf = false;
                if (chunk[chunk_pos] == '\n') {
                    ++chunk_pos;
                    continue;
                }
            }
            const char* p = chunk.data() + chunk_pos;
            std::size_t left = chunk_len - chunk_pos, i = 0;
            while (i < left && p[i] != '\n' && p[i] != '\r' && p[i] != 0) ++i;
            if (i < left && p[i] == 0) {
                refuse(("The file " + name + " is not a text file: line " +
                        std::to_string(line_no + 1) + " holds a NUL byte")
                           .c_str());
                return false;
            }
            if (out.size() + i > max_line_bytes) {
                refuse(("Line " + std::to_string(line_no + 1) + " of file " + name +
                        " is longer than " + std::to_string(max_line_bytes) + " bytes")
                           .c_str());
                return false;
            }
            out.append(p, i);
            any = true;
            chunk_pos += i;
            if (i < left) {
                skip_lf = p[i] == '\r';
                ++chunk_pos;
                out += '\n';
                return true;
            }
        }
    }

    bool next_from_lines(std::string& out) {
        const char* const* arr = owned.empty() ? lines : nullptr;
        for (;;) {
            if (count >= 0 && index >= count) return false;
            const char* text = arr ? arr[index]
                                   : (index < static_cast<int>(owned.size())
                                          ? owned[static_cast<std::size_t>(index)].c_str()
                                          : nullptr);
            if (!text && count < 0) return false;
            if (!text) text = "";
            const char* p = text + offset;
            std::size_t i = 0;
            while (p[i] && p[i] != '\n' && p[i] != '\r') ++i;
            out.assign(p, i);
            if (p[i]) {
                std::size_t skip = (p[i] == '\r' && p[i + 1] == '\n') ? 2 : 1;
                offset += i + skip;
                if (!text[offset]) {
                    ++index;
                    offset = 0;
                }
            } else {
                ++index;
                offset = 0;
            }
            out += '\n';
            return true;
        }
    }
};

std::vector<std::unique_ptr<text_source>>& sources() {
    static std::vector<std::unique_ptr<text_source>> s;
    return s;
}

bool room_for_source() {
    if (sources().size() < static_cast<std::size_t>(max_text_sources)) return true;
    report(5, "Tried to open too many files at the same time");
    return false;
}

std::string& scratch_line() {
    static std::string s;
    return s;
}

void strip_line_end(char* text) {
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
}

bool blank(const char* text) {
    for (; *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r' && *text != '\f' &&
            *text != '\v')
            return false;
    return true;
}

} // namespace

char* line_buf = empty_line;
char* line_pos = empty_line;

int open_text_source(const char* file_name, int, long byte_offset) {
    if (!room_for_source()) return 0;
    if (!file_name || !*file_name || byte_offset < 0) return 0;
    file_handle fh = fh_open_read(file_name);
    if (fh < 0) return 0;
    if (byte_offset > 0 && fh_seek(fh, byte_offset, 0) != byte_offset) {
        fh_close(fh);
        return 0;
    }
    auto src = std::make_unique<text_source>();
    src->name = file_name;
    src->fh = fh;
    sources().push_back(std::move(src));
    return 1;
}

int push_text_source(const char* const* lines, int count, int in_place) {
    if (!room_for_source()) return 0;
    auto src = std::make_unique<text_source>();
    src->count = lines ? count : 0;
    if (in_place || !lines) {
        src->lines = lines;
    } else {
        for (int i = 0; count < 0 ? lines[i] != nullptr : i < count; ++i)
            src->owned.emplace_back(lines[i] ? lines[i] : "");
        src->count = static_cast<int>(src->owned.size());
    }
    sources().push_back(std::move(src));
    return 1;
}

void close_text_source() {
    auto& s = sources();
    if (s.empty()) return;
    if (s.back()->fh >= 0) fh_close(s.back()->fh);
    s.pop_back();
}

void close_all_text_sources() {
    while (!sources().empty()) close_text_source();
}

int read_line(int continuation) {
    auto& s = sources();
    if (s.empty()) return 0;
    text_source& src = *s.back();
    std::string& line = scratch_line();
    if (!src.next(line)) {
        ++src.ends_met;
        return 0;
    }
    ++src.line_no;
    std::size_t at = continuation ? std::strlen(line_buf) : 0;
    if (at + line.size() > max_line_bytes) {
        // Joined lines are held to the same bound as one line.
        src.refuse(("Line " + std::to_string(src.line_no) + " of file " + src.name +
                    " is longer than " + std::to_string(max_line_bytes) + " bytes when joined")
                       .c_str());
        return 0;
    }
    put_line(at, line.data(), line.size());
    return 1;
}

int text_source_refused() {
    auto& s = sources();
    return !s.empty() && s.back()->refused ? 1 : 0;
}

long text_source_ends_met() {
    auto& s = sources();
    return s.empty() ? 0 : s.back()->ends_met;
}

int read_joined_line(int skip_blank, int continuation_char) {
    for (;;) {
        if (!read_line(0)) return 0;
        strip_line_end(line_buf);
        if (!skip_blank || !blank(line_buf)) break;
    }
    while (continuation_char) {
        std::size_t n = std::strlen(line_buf);
        while (n > 0 && (line_buf[n - 1] == ' ' || line_buf[n - 1] == '\t')) --n;
        if (n == 0 || static_cast<unsigned char>(line_buf[n - 1]) !=
                          static_cast<unsigned char>(continuation_char))
            break;
        line_buf[n - 1] = 0;
        if (!read_line(1)) break;
        strip_line_end(line_buf);
    }
    line_pos = line_buf;
    return 1;
}

void line_buf_assign(const char* text) {
    if (!text) text = "";
    put_line(0, text, std::strlen(text));
}

const char* text_source_name() {
    auto& s = sources();
    return s.empty() ? "" : s.back()->name.c_str();
}

long text_line_number() {
    auto& s = sources();
    return s.empty() ? 0 : s.back()->line_no;
}

int text_source_depth() {
    return static_cast<int>(sources().size());
}
// ----------------------------------------------------------- parse errors ---

std::string parse_error_caret(const char* source_line, int column) {
    std::string caret;
    if (column < 0) column = 0;
    for (int i = 0; i < column && source_line[i]; ++i) caret += source_line[i] == '\t' ? '\t' : ' ';
    caret += '^';
    return caret;
}

int parse_error(int severity, int column, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);

    // The source line without its line end.
    std::string source = line_buf ? line_buf : "";
    auto end = source.find_first_of("\r\n");
    if (end != std::string::npos) source.resize(end);

    // One message, so a stop or fatal error still carries the line with it.
    text += '\n';
    text += source;
    text += '\n';
    text += parse_error_caret(source.c_str(), column);
    text += '\n';
    const char* name = text_source_name();
    text += "Line " + std::to_string(text_line_number()) + " of file " + (name ? name : "");
    return report(severity, "%s", text.c_str());
}
