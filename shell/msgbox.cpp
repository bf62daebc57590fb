// Message boxes and questions: show_message (the reporter's display hook),
// ask_yes_no and ask_yes_no_cancel, and the message list that takes messages
// below severity 6 the error window does not take.
#include "shell/msgbox.h"

#include "foundation/report.h"
#include "platform/msgbox.h"
#include "shell/dialogs.h"
#include "shell/pump.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

bool placing_output_in_sketch = false;

namespace {

bool box_up = false;
message_hold* innermost_hold = nullptr;
low_message_fn low_sink = nullptr;

constexpr std::size_t max_list_lines = 1000;
std::deque<std::string>& list_lines() {
    static std::deque<std::string> l;
    return l;
}
std::vector<const char*>& list_view() {
    static std::vector<const char*> v;
    return v;
}

void add_list_line(std::string line) {
    auto& l = list_lines();
    l.push_back(std::move(line));
    while (l.size() > max_list_lines) l.pop_front();
}

// One box with the modal counter raised and messages pumped before and after;
// the counter and the box-up flag come down on every way out.
// A box's text as it is shown: at most 40 lines of at most 200 characters
// (a longer line keeps its two ends) and about 4,000 characters in all, so that no message (a
// run-away name in it, a long list) makes a box taller or wider than the screen. The whole text
// stays in the error log.
std::string box_text(const char* text) {
    constexpr std::size_t most_chars = 4000, most_line = 200;
    constexpr int most_lines = 40;
    std::string out;
    int lines = 0;
    const char* p = text;
    while (*p) {
        const char* end = std::strchr(p, '\n');
        const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (++lines > most_lines || out.size() >= most_chars) {
            out += "...";
            return out;
        }
        if (n > most_line) // cut in the middle: a name keeps both its ends
            out.append(p, most_line / 2)
                .append(" ... ")
                .append(p + n - most_line / 2, most_line / 2);
        else
            out.append(p, n);
        if (!end) break;
        out += '\n';
        p = end + 1;
    }
    if (out.size() > most_chars) out = out.substr(0, most_chars) + "...";
    return out;
}

int modal_box(const char* text, const char* caption, UINT type, bool mark_box_up) {
    struct box_guard {
        bool mark;
        modal_guard modal;
        explicit box_guard(bool m) : mark(m) {
            if (mark) box_up = true;
        }
        ~box_guard() {
            if (mark) box_up = false;
        }
    } guard(mark_box_up);
    pump_messages();
    const std::string shown = box_text(text ? text : "");
    int answer = MessageBox(owner_window(nullptr), shown.c_str(), caption, type);
    pump_messages();
    return answer;
}

UINT severity_icon(int severity) {
    if (severity == 6) return MB_ICONINFORMATION;
    if (severity == 7) return MB_ICONEXCLAMATION;
    return MB_ICONSTOP;
}

} // namespace

void reset_message_box_state() {
    box_up = false;
    placing_output_in_sketch = false;
}

const char* const* message_list_lines(int* count) {
    auto& v = list_view();
    v.clear();
    for (const std::string& s : list_lines()) v.push_back(s.c_str());
    if (count) *count = static_cast<int>(v.size());
    return v.data();
}

void clear_message_list() {
    list_lines().clear();
    list_view().clear();
}

void set_low_message_sink(low_message_fn fn) {
    low_sink = fn;
}

int show_message(int kind, const char* caption, const char* text) {
    if (!text) text = "";
    if (kind == question_yes_no || kind == question_yes_no_cancel || kind == question_ok_cancel) {
        UINT type = kind == question_yes_no          ? MB_YESNO
                    : kind == question_yes_no_cancel ? MB_YESNOCANCEL
                                                     : MB_OKCANCEL;
        int answer = modal_box(text, question_caption, type | MB_ICONQUESTION, false);
        return answer > 0 ? answer : 0;
    }
    int severity = kind < 0 || kind > 10 ? 10 : kind;
    if (innermost_hold && innermost_hold->take(severity, text)) return 0;
    if (severity < 6) {
        const char* prefix = severity_prefix(severity);
        if (low_sink && low_sink(severity, prefix, text)) return 0;
        // Not taken by the error window: the lines are kept in the message
        // list, the first with the severity's prefix, the others alone.
        const char* line = text;
        bool first = true;
        for (;;) {
            const char* end = std::strchr(line, '\n');
            std::string piece(line, end ? static_cast<std::size_t>(end - line) : std::strlen(line));
            add_list_line(first ? std::string(prefix) + piece : piece);
            first = false;
            if (!end) break;
            line = end + 1;
        }
        return 0;
    }
    if (placing_output_in_sketch && severity != 10) return 0;
    if (box_up) return 0; // logged by the reporter; one box at a time
    const char* cap = caption && *caption ? caption : severity_caption(severity);
    modal_box(text, cap, MB_OK | severity_icon(severity), true);
    return 0;
}

message_hold::message_hold() : outer_(innermost_hold) {
    innermost_hold = this;
}

message_hold::~message_hold() {
    innermost_hold = outer_;
}

bool message_hold::take(int severity, const char* text) {
    if (severity >= 10) return false;
    kept_.push_back({severity, text ? text : ""});
    return severity >= 6;
}

std::string message_hold::reasons() const {
    std::vector<const kept*> order;
    for (const kept& k : kept_) order.push_back(&k);
    std::stable_sort(order.begin(), order.end(),
                     [](const kept* a, const kept* b) { return a->severity > b->severity; });
    std::string out;
    for (const kept* k : order) {
        if (k->text.empty()) continue;
        if (!out.empty()) out += '\n';
        out += k->text;
    }
    return out;
}

void message_hold::release() {
    std::vector<kept> boxes;
    for (const kept& k : kept_)
        if (k.severity >= 6) boxes.push_back(k);
    kept_.clear();
    // Shown as if no hold were here (an outer hold takes them instead).
    message_hold* self = innermost_hold;
    innermost_hold = outer_;
    for (const kept& k : boxes) show_message(k.severity, "", k.text.c_str());
    innermost_hold = self;
}

void message_hold::release_with_reasons() {
    std::string why;
    for (const kept& k : kept_) {
        if (k.severity < 1 || k.severity > 5 || k.text.empty()) continue;
        if (!why.empty()) why += '\n';
        why += k.text;
    }
    if (!why.empty())
        for (kept& k : kept_)
            if (k.severity >= 6) k.text += "\n\n" + why;
    release();
}

int ask_yes_no(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    return modal_box(text.c_str(), question_caption, MB_YESNO | MB_ICONQUESTION, false) == IDYES
               ? 1
               : 0;
}

int ask_yes_no_cancel(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    int answer = modal_box(text.c_str(), question_caption, MB_YESNOCANCEL | MB_ICONQUESTION, false);
    if (answer == IDYES) return 1;
    if (answer == IDNO) return 0;
    return -1;
}
