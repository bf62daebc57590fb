// The error log as shown lines (see history_read.h).
#include "shell/history_read.h"

#include "foundation/openfile.h"

#include <algorithm>
#include <cstring>

namespace {

// One line as shown: cut to the limit, control characters as blanks.
std::string shown_line(const char* begin, const char* end) {
    if (end > begin && end[-1] == '\r') --end;
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin),
                                          static_cast<std::size_t>(history_line_limit));
    std::string s(begin, n);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 && c != '\t') c = ' ';
    return s;
}

} // namespace

void history_reader::reset() {
    pending_.clear();
    pending_cut_ = false;
    pending_shown_ = false;
    taken_ = 0;
}

void history_reader::take(const char* data, std::size_t size, std::vector<std::string>* lines) {
    if (size == 0) return;
    taken_ += size;
    if (pending_shown_ && !lines->empty()) lines->pop_back();
    pending_shown_ = false;
    const char* p = data;
    const char* end = data + size;
    // Only the first history_line_limit + 1 bytes of an unfinished line are
    // kept: the rest is never shown, and the one past the limit tells a cut
    // line's carriage return from a short line's.
    const std::size_t keep = static_cast<std::size_t>(history_line_limit) + 1;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* e = nl ? nl : end;
        if (pending_.size() < keep) {
            std::size_t room = keep - pending_.size();
            std::size_t n = std::min(room, static_cast<std::size_t>(e - p));
            pending_.append(p, n);
            if (static_cast<std::size_t>(e - p) > n) pending_cut_ = true;
        } else if (e > p) {
            pending_cut_ = true;
        }
        if (!nl) break;
        lines->push_back(shown_line(pending_.data(), pending_.data() + pending_.size()));
        pending_.clear();
        pending_cut_ = false;
        p = nl + 1;
    }
    if (!pending_.empty() || pending_cut_) {
        lines->push_back(shown_line(pending_.data(), pending_.data() + pending_.size()));
        pending_shown_ = true;
    }
}

bool history_reader::take_stream(std::FILE* f, std::vector<std::string>* lines) {
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) take(buf, n, lines);
    return !std::ferror(f);
}

bool read_history_lines(const char* path, std::vector<std::string>* out) {
    std::FILE* f = path && *path ? open_regular_stream(path, "rb") : nullptr;
    if (!f) return false;
    history_reader r;
    bool ok = r.take_stream(f, out);
    std::fclose(f);
    return ok;
}
