// The text form of graph definitions: keyword decoding, VAR entry splitting,
// the section readers (reading the current text source) and the writer.
#include "graphs/sets/gdtext.h"

#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/sets/graphdef.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

const char* const keyword_table[gd_keyword_count] = {
    "", // 1: reserved, matches nothing
    "BAR-GRAPH",
    "GRAPH",
    "REPORT",
    "TABLE",
    "ACTIVE-LEGEND",
    "AS-RUN",
    "BAR-BY-TIME",
    "BAR-TIME",
    "BAR-VAR-TIME",
    "CELLWIDTH",
    "CONFIDENCE",
    "COMLINE",
    "CUMMULATIVE",
    "CUMULATIVE",
    "DATASET",
    "DOTS",
    "DOTS-LINES",
    "END-OF-REPORT",
    "FIRST-CELLWIDTH",
    "FILE",
    "FONT",
    "FORCE",
    "FORMAT",
    "GRAPH-STYLE",
    "HEIGHT",
    "HORIZONTAL",
    "LABEL-INTERVALS",
    "LABEL-LINES",
    "LANDSCAPE",
    "LINE-COLOR",
    "LINE-STYLE",
    "LINE-WIDTH",
    "LOCATION",
    "MAX-POINTS",
    "MEAN",
    "NEWPAGE",
    "NO-LEGEND",
    "NOTIME",
    "OSUBTITLE",
    "OVAR",
    "PORTRAIT",
    "PRETTYNUM",
    "PRINT-EVERY",
    "RUN",
    "SCALE",
    "SENS-LINES",
    "SENS-XY",
    "SHAPE",
    "SIZE",
    "SOFT-BOUNDS",
    "SORT",
    "SPECIAL-TIME",
    "STACK",
    "STACK-FILL",
    "STAMP",
    "SUBTITLE",
    "TIME-DOWN",
    "TITLE",
    "UNITS",
    "VAR",
    "WIDTH",
    "WIP",
    "X-AXIS",
    "X-DIV",
    "X-LABEL",
    "X-MAX",
    "X-MIN",
    "Y-DIV",
    "Y-LABEL",
    "Y-MAX",
    "Y-MIN",
};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim_right(std::string s) {
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

bool read_float(const std::string& v, float& out) {
    float f = 0;
    if (std::sscanf(v.c_str(), "%f", &f) != 1) return false;
    out = f;
    return true;
}

bool read_int(const std::string& v, int& out) {
    int n = 0;
    if (std::sscanf(v.c_str(), "%d", &n) != 1) return false;
    out = n;
    return true;
}

template <typename T> T clamp_to(int v) {
    using L = std::numeric_limits<T>;
    if (v < static_cast<int>(L::min())) return L::min();
    if (v > static_cast<int>(L::max())) return L::max();
    return static_cast<T>(v);
}

// A float written so that it reads back the same: "%g" when that is exact.
std::string float_text(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    float back = 0;
    if (std::sscanf(buf, "%f", &back) == 1 && back == v) return buf;
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

} // namespace

const char* const line_style_names[5] = {"", "DASH", "DOT", "DASHDOT", "DASHDOTDOT"};
const char* const shape_names[10] = {"",  "SQUARE",  "SOLID-SQUARE", "CIRCLE",     "SOLID-CIRCLE",
                                     "X", "DIAMOND", "TRIANGLE",     "UPTRIANGLE", "CROSS"};

graph_def make_graph_def(std::uint8_t kind) {
    graph_def d;
    d.kind = kind;
    if (kind == gd_table) d.x_min = d.x_max = NA;
    return d;
}

void add_graph_def(graph_set& set, graph_def def) {
    if (def.wip) set.wip = 1;
    set.defs.push_back(std::move(def));
}

int bar_sort_run(std::int8_t stored) {
    if (stored > 1) return stored - 1;
    if (stored < -1) return stored + 1;
    return 0;
}

int decode_keyword_line(const char* line, int quiet, std::string* value) {
    if (value) value->clear();
    const char* p = line;
    while (is_blank(*p)) ++p;
    if (!*p || *p == '\n' || *p == '\r' || *p == '!') return 0;
    if (*p != ':') {
        if (!quiet) parse_error(3, 0, "Keywords must begin with a : - line ignored");
        return 0;
    }
    ++p;
    const char* k = p;
    while (*p && !is_blank(*p) && *p != ',' && *p != '\n' && *p != '\r' && *p != '#' && *p != '=')
        ++p;
    std::string key(k, p);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (value) {
        const char* v = p;
        if (*v && *v != '\n' && *v != '\r') ++v; // the delimiter
        while (is_blank(*v)) ++v;
        *value = trim_right(v);
    }
    for (int i = 1; i < gd_keyword_count; ++i)
        if (key == keyword_table[i]) return i + 1;
    if (!key.empty() && key[0] >= '1' && key[0] <= '9') return 72 + (key[0] - '0');
    if (key.compare(0, 3, "COM") == 0) return 0;
    if (key == "?") {
        if (!quiet) report(0, "The :? keyword is no longer supported");
        return 0;
    }
    if (!quiet) parse_error(3, 0, "Unknown keyword :%s", key.c_str());
    return 0;
}

const char* split_var_entry(const char* text, std::string& name, std::string& label, int& no_subs) {
    name.clear();
    label.clear();
    no_subs = 1;
    if (!text) return nullptr;
    const char* p = text;
    while (is_blank(*p) || *p == '\n' || *p == '\r') ++p;
    if (!*p) return nullptr;
    int depth = 0;
    bool quoted = false;
    const char* start = p;
    for (; *p; ++p) {
        if (*p == '"') quoted = !quoted;
        if (quoted) continue;
        if (*p == '[') {
            ++depth;
            no_subs = 0;
        } else if (*p == ']' && depth > 0) {
            --depth;
        } else if (depth == 0 && (*p == ',' || *p == '|')) {
            break;
        }
    }
    // An unclosed bracket or quote: the entry runs to the first ',' or '|'.
    if (depth != 0 || quoted) {
        p = start;
        while (*p && *p != ',' && *p != '|') ++p;
        no_subs = std::memchr(start, '[', static_cast<std::size_t>(p - start)) ? 0 : 1;
    }
    name = trim_right(std::string(start, p));
    if (*p == '|') {
        const char* l = ++p;
        while (*p && *p != ',') ++p;
        label = trim_right(std::string(l, p));
    }
    if (*p == ',') ++p;
    return p;
}

// ---------------------------------------------------------------- reader ---

namespace {

struct gd_reader {
    graph_set& set;
    int quiet;
    std::string value;
    bool at_end = false;
    gd_read_notes* notes = nullptr;

    // Reads the next line (a trailing backslash joins the next one) into
    // line_buf; false at the end of the text.
    bool next_line() {
        if (!read_line(0)) {
            at_end = true;
            return false;
        }
        for (;;) {
            std::size_t n = std::strlen(line_buf);
            while (n > 0 && (line_buf[n - 1] == '\n' || line_buf[n - 1] == '\r')) --n;
            if (n == 0 || line_buf[n - 1] != '\\') break;
            line_buf[n - 1] = '\0';
            if (!read_line(1)) break;
        }
        return true;
    }
    // The next line's code, -1 at the end.
    int next_code() { return next_line() ? decode_keyword_line(line_buf, quiet, &value) : -1; }

    // A DATASET / FILE / RUN value: a name or "*n", with "|label".
    void run_value(std::string& dataset, std::int8_t& run, std::string& label) {
        std::string v = value;
        std::size_t bar = v.find('|');
        label = bar == std::string::npos ? "" : v.substr(bar + 1);
        if (bar != std::string::npos) v.erase(bar);
        v = trim_right(v);
        if (v.size() >= 2 && v[0] == '*' && v[1] >= '0' && v[1] <= '9') {
            int n = 0;
            read_int(v.substr(1), n);
            run = clamp_to<std::int8_t>(n - 1);
            dataset.clear();
        } else {
            dataset = v;
        }
    }
    // ":n" lines: run n - 1, the label after the line's first '|'.
    void run_keyword(int code, std::int8_t& run, std::string& label) {
        run = static_cast<std::int8_t>(code - kw_run1);
        const char* bar = std::strchr(line_buf, '|');
        label = bar ? trim_right(bar + 1) : "";
    }

    int head(graph_def& d, bool strict) {
        std::string name = value;
        if (name.empty()) name = "USER" + std::to_string(set.defs.size());
        for (char& c : name)
            if (c == ' ') c = '_';
        d.name = name;
        d.title = name;
        for (;;) {
            if (!next_line()) return -1;
            if (strict) {
                const char* p = line_buf;
                while (is_blank(*p)) ++p;
                if (*p != ':') return 0;
            }
            int c = decode_keyword_line(line_buf, quiet, &value);
            int a = 0, b = 0;
            switch (c) {
            case kw_title:
                d.title = value;
                break;
            case kw_location:
                if (std::sscanf(value.c_str(), "%d,%d", &a, &b) == 2) {
                    d.x = clamp_to<std::int16_t>(a);
                    d.y = clamp_to<std::int16_t>(b);
                }
                break;
            case kw_size:
                if (std::sscanf(value.c_str(), "%d,%d", &a, &b) == 2) {
                    d.width = clamp_to<std::int16_t>(a);
                    d.height = clamp_to<std::int16_t>(b);
                }
                break;
            case kw_wip:
                d.wip = 1;
                break;
            default:
                if (c != 0 || strict) return c;
            }
        }
    }

    // A FONT value, kept as its text form reads back (the form writes a
    // control character of the face as a blank and drops trailing blanks).
    void read_font(font_spec& f) {
        read_font_spec(&f, value.c_str(), &f);
        f.face[sizeof f.face - 1] = '\0';
        // The value as a FONT line gives it back: blanks around it cut.
        for (int round = 0; round < 3; ++round) {
            std::string t = trim_right(font_spec_text(f));
            t.erase(0, t.find_first_not_of(" \t"));
            font_spec deflt = f; // an empty face field reads as no face
            deflt.face[0] = '\0';
            font_spec back = f;
            if (!read_font_spec(&back, t.c_str(), &deflt) || std::memcmp(&back, &f, sizeof f) == 0)
                break;
            f = back;
        }
    }

    void bad(const char* what, const graph_def& d) {
        if (!quiet) report(5, "bad %s descriptions for %s", what, d.name.c_str());
        if (notes) notes->refused.push_back(d.name);
    }

    // The keywords line graphs and bar graphs read alike; false for any
    // other. A bad width or height is no size, said with `what` ("graph" or
    // "bargraph").
    bool plot_keyword(int code, graph_def& d, const char* what) {
        int n = 1;
        switch (code) {
        case kw_title:
            d.title = value;
            return true;
        case kw_x_label:
            d.x_label = value;
            return true;
        case kw_width:
            if (!read_float(value, d.plot_width)) {
                d.plot_width = 0;
                if (!quiet) parse_error(3, 0, "Bad width in %s", what);
            }
            return true;
        case kw_height:
            if (!read_float(value, d.plot_height)) {
                d.plot_height = 0;
                if (!quiet) parse_error(5, 0, "Bad height in %s specification", what);
            }
            return true;
        case kw_no_legend:
            read_int(value, n);
            d.no_legend = clamp_to<std::uint8_t>(n);
            return true;
        case kw_soft_bounds:
            d.soft_bounds = 1;
            return true;
        case kw_wip:
            d.wip = 1;
            return true;
        default:
            return false;
        }
    }

    int graph_section() {
        graph_def d = make_graph_def(gd_line);
        int code = head(d, false);
        float y_min = FLT_MAX, y_max = -FLT_MAX;
        bool scale_seen = false;
        int group = 0, var_lines = 0;
        for (;;) {
            if (code < 0 || (code >= 1 && code <= 5)) break;
            int n = 0;
            switch (code) {
            case kw_x_axis:
                d.x_axis = value;
                break;
            case kw_y_label:
                d.y_label = value;
                break;
            case kw_stamp: {
                std::size_t bar = value.find('|');
                d.stamp[0] = value.substr(0, bar);
                d.stamp[1] = bar == std::string::npos ? "" : value.substr(bar + 1);
                break;
            }
            case kw_x_min:
                read_float(value, d.x_min);
                break;
            case kw_x_max:
                read_float(value, d.x_max);
                break;
            case kw_y_min:
                read_float(value, y_min);
                break;
            case kw_y_max:
                read_float(value, y_max);
                break;
            case kw_x_div:
                if (!value.empty() && value[0] == '?') {
                    d.x_div = 0;
                    d.x_div_label = value.substr(1);
                } else if (read_int(value, n)) {
                    d.x_div = clamp_to<std::int16_t>(n);
                    std::size_t bar = value.find('|');
                    d.x_div_label = bar == std::string::npos ? "" : value.substr(bar + 1);
                }
                break;
            case kw_y_div:
                if (read_int(value, n)) d.y_div = clamp_to<std::int16_t>(n);
                break;
            case kw_max_points:
                if (read_int(value, n)) d.max_points = clamp_to<std::uint16_t>(n);
                break;
            case kw_cumulative:
            case kw_cummulative:
                d.cumulative = 1;
                break;
            case kw_stack:
            case kw_stack_fill:
                n = 0;
                read_int(value, n);
                d.stack = clamp_to<std::int8_t>(n + 1);
                if (code == kw_stack_fill) d.dots = -1;
                break;
            case kw_portrait:
                d.portrait = 1;
                break;
            case kw_landscape:
                d.portrait = 0;
                break;
            case kw_label_intervals:
                d.label_intervals = 1;
                break;
            case kw_label_lines:
                d.label_intervals = 0;
                break;
            case kw_dots:
                d.dots = 1;
                break;
            case kw_dots_lines:
                d.dots = 2;
                break;
            case kw_graph_style:
                n = 0;
                read_int(value, n);
                d.graph_style = clamp_to<std::uint8_t>(n);
                break;
            case kw_scale:
                group = scale_seen ? group + 1 : var_lines;
                scale_seen = true;
                break;
            case kw_var: {
                graph_var v;
                v.y_min = y_min;
                v.y_max = y_max;
                if (d.wip) v.run = gd_wip_run;
                v.scale_group = clamp_to<std::int8_t>(scale_seen ? group : var_lines);
                ++var_lines;
                std::string text = value;
                code = var_keywords(v);
                std::string name, label;
                int no_subs = 1;
                const char* rest = text.c_str();
                while ((rest = split_var_entry(rest, name, label, no_subs))) {
                    if (name.empty()) continue; // an entry without a name is no variable
                    graph_var e = v;
                    e.name = name;
                    e.label = label;
                    e.no_subs = static_cast<std::uint8_t>(no_subs);
                    d.vars.push_back(std::move(e));
                }
                continue; // code is the line that ended the variable's keywords
            }
            default:
                plot_keyword(code, d, "graph"); // any other is read and of no effect here
                break;
            }
            code = next_code();
        }
        if (d.vars.empty())
            bad("graph", d);
        else
            add_graph_def(set, std::move(d));
        return code;
    }

    // The keywords after a VAR line of a line graph; the code that ended them.
    int var_keywords(graph_var& v) {
        for (;;) {
            int code = next_code();
            int n = 0;
            switch (code) {
            case 0:
                continue; // blank and comment lines do not end the block
            case kw_confidence:
            case kw_sens_lines:
                v.extra_kind = code == kw_confidence ? 1 : 2;
                v.extra_text = value;
                break;
            case kw_line_color:
                if (v.extra_kind != 1 && v.extra_kind != 2) {
                    std::int32_t c = read_color_spec(value.c_str());
                    if (c != colour_none) {
                        v.colour = static_cast<std::uint32_t>(c);
                        v.extra_kind = 8;
                    }
                }
                break;
            case kw_mean:
                v.mean = 1;
                v.mean_text = value;
                break;
            case kw_units:
                v.units = value.empty() ? " " : value;
                break;
            case kw_line_style: {
                std::string s = value;
                for (char& c : s)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                for (int i = 0; i < 5; ++i)
                    if (s == line_style_names[i]) v.line = static_cast<std::int8_t>(-i);
                break;
            }
            case kw_line_width:
                // Only a positive width: the negative values are the line styles.
                if (read_int(value, n) && n > 0) v.line = clamp_to<std::int8_t>(n);
                break;
            case kw_shape: {
                std::string s = value;
                std::size_t comma = s.find(',');
                if (comma != std::string::npos) {
                    if (read_int(s.substr(comma + 1), n)) v.shape_size = clamp_to<std::int8_t>(n);
                    s.erase(comma);
                }
                s = trim_right(s);
                for (char& c : s)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                for (int i = 0; i < 10; ++i)
                    if (s == shape_names[i]) v.shape = static_cast<std::int8_t>(i);
                break;
            }
            case kw_y_min:
                read_float(value, v.y_min);
                break;
            case kw_y_max:
                read_float(value, v.y_max);
                break;
            case kw_dataset:
            case kw_file:
            case kw_run:
                run_value(v.dataset, v.run, v.run_label);
                break;
            default:
                if (code >= kw_run1 && code < kw_run1 + 9) {
                    run_keyword(code, v.run, v.run_label);
                    break;
                }
                return code;
            }
        }
    }

    int bar_section() {
        graph_def d = make_graph_def(gd_bar);
        int code = head(d, false);
        std::string as_run;
        int group = 0;
        for (;;) {
            if (code < 0 || (code >= 1 && code <= 5)) break;
            int n = 0;
            switch (code) {
            case kw_as_run:
                as_run = value;
                ++group;
                break;
            case kw_bar_by_time:
                d.bar_by_time = 1;
                break;
            case kw_bar_time:
                read_float(value, d.bar_time);
                break;
            case kw_dataset:
            case kw_file:
            case kw_run: {
                bar_item it;
                run_value(it.dataset, it.run, it.text);
                d.bar_datasets.push_back(std::move(it));
                break;
            }
            case kw_force:
                if (d.sort == 0) d.sort = 1;
                break;
            case kw_sort:
                n = 1;
                read_int(value, n);
                d.sort = n >= 1   ? clamp_to<std::int8_t>(n + 1)
                         : n == 0 ? 2
                                  : clamp_to<std::int8_t>(n - 1);
                break;
            case kw_horizontal:
                d.horizontal = 1;
                break;
            case kw_osubtitle:
                d.osubtitle = value;
                break;
            case kw_subtitle:
                d.subtitle = value;
                break;
            case kw_y_max:
                read_float(value, d.y_max);
                break;
            case kw_y_min:
                read_float(value, d.y_min);
                break;
            case kw_var:
            case kw_ovar: {
                std::string text = value;
                bar_item base;
                base.text = as_run;
                base.as_run_group = clamp_to<std::uint8_t>(group);
                int next = next_code();
                if (next == kw_bar_var_time) {
                    read_float(value, base.time);
                    next = next_code();
                }
                std::string name, label;
                int no_subs = 1;
                const char* rest = text.c_str();
                auto& list = code == kw_var ? d.bar_vars : d.bar_ovars;
                while ((rest = split_var_entry(rest, name, label, no_subs))) {
                    if (name.empty()) continue;
                    bar_item e = base;
                    e.name = name;
                    e.label = label;
                    list.push_back(std::move(e));
                }
                code = next;
                continue;
            }
            default:
                plot_keyword(code, d, "bargraph");
                break;
            }
            code = next_code();
        }
        if (d.bar_vars.empty())
            bad("bargraph", d);
        else
            add_graph_def(set, std::move(d));
        return code;
    }

    int report_section() {
        graph_def d = make_graph_def(gd_report);
        int code = head(d, true);
        bool ended = false;
        if (code != -1) {
            for (;;) {
                const char* p = line_buf;
                while (is_blank(*p)) ++p;
                int c = *p == ':' ? decode_keyword_line(p, 1, &value) : 0;
                if (c == kw_end_of_report) {
                    ended = true;
                    break;
                }
                switch (c) {
                case kw_location:
                case kw_size:
                case kw_title: {
                    int a = 0, b = 0;
                    if (c == kw_title)
                        d.title = value;
                    else if (std::sscanf(value.c_str(), "%d,%d", &a, &b) == 2) {
                        (c == kw_size ? d.width : d.x) = clamp_to<std::int16_t>(a);
                        (c == kw_size ? d.height : d.y) = clamp_to<std::int16_t>(b);
                    }
                    break;
                }
                case kw_var:
                    d.var_texts.push_back(value);
                    break;
                case kw_font:
                    read_font(d.font);
                    break;
                case kw_newpage:
                    d.lines.emplace_back("\f");
                    break;
                default: {
                    std::string line = line_buf;
                    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                        line.pop_back();
                    d.lines.push_back(std::move(line));
                }
                }
                if (!next_line()) break;
            }
        }
        if (!ended && !quiet)
            report(3, "The report %s has no :END-OF-REPORT - it runs to the end of the text",
                   d.name.c_str());
        if (d.lines.empty())
            bad("report", d);
        else
            add_graph_def(set, std::move(d));
        return ended ? next_code() : -1;
    }

    int table_section() {
        graph_def d = make_graph_def(gd_table);
        int code = head(d, false);
        for (;;) {
            if (code < 0 || (code >= 1 && code <= 5)) break;
            int n = 0;
            switch (code) {
            case kw_cellwidth:
                if (read_int(value, n)) d.cellwidth = clamp_to<std::uint16_t>(n);
                break;
            case kw_first_cellwidth:
                if (read_int(value, n)) d.first_cellwidth = clamp_to<std::uint16_t>(n);
                break;
            case kw_font:
                read_font(d.font);
                break;
            case kw_height:
                if (read_int(value, n))
                    d.plot_height = static_cast<float>(clamp_to<std::uint16_t>(n));
                break;
            case kw_width:
                if (read_int(value, n))
                    d.plot_width = static_cast<float>(clamp_to<std::uint16_t>(n));
                break;
            case kw_notime:
                d.notime = 1;
                break;
            case kw_prettynum:
                d.prettynum = 1;
                break;
            case kw_time_down:
                d.time_down = 1;
                break;
            case kw_print_every:
            case kw_special_time:
            case kw_x_min:
            case kw_x_max: {
                float f = NA;
                if (std::sscanf(value.c_str(), "%g", &f) != 1) f = NA;
                (code == kw_print_every    ? d.print_every
                 : code == kw_special_time ? d.special_time
                 : code == kw_x_min        ? d.x_min
                                           : d.x_max) = f;
                break;
            }
            case kw_title:
                d.title = value;
                break;
            case kw_wip:
                d.wip = 1;
                break;
            case kw_comline: {
                table_item it;
                it.comment = true;
                it.label = value;
                d.items.push_back(std::move(it));
                break;
            }
            case kw_var: {
                std::string text = value;
                table_item base;
                int next;
                for (;;) {
                    next = next_code();
                    if (next == 0) continue;
                    if (next == kw_dataset || next == kw_file || next == kw_run)
                        run_value(base.dataset, base.run, base.dataset_label);
                    else if (next >= kw_run1 && next < kw_run1 + 9)
                        run_keyword(next, base.run, base.dataset_label);
                    else if (next == kw_format)
                        base.format = value;
                    else
                        break;
                }
                std::string name, label;
                int no_subs = 1;
                const char* rest = text.c_str();
                while ((rest = split_var_entry(rest, name, label, no_subs))) {
                    if (name.empty()) continue;
                    table_item e = base;
                    e.name = name;
                    e.label = label;
                    e.no_subs = static_cast<std::uint8_t>(no_subs);
                    d.items.push_back(std::move(e));
                }
                code = next;
                continue;
            }
            default:
                break;
            }
            code = next_code();
        }
        if (d.items.empty())
            bad("table", d);
        else
            add_graph_def(set, std::move(d));
        return code;
    }
};

} // namespace

void read_graph_definitions(graph_set& set, int quiet, gd_read_notes* notes) {
    gd_reader r{set, quiet, {}, false, notes};
    struct note_end {
        gd_read_notes* notes;
        ~note_end() {
            if (!notes) return;
            const std::size_t n = std::strlen(line_buf);
            notes->cut = n > 0 && line_buf[n - 1] != '\n';
        }
    } at_end{notes};
    int code = r.next_code();
    while (code >= 0) {
        switch (code) {
        case kw_graph:
            code = r.graph_section();
            continue;
        case kw_bar_graph:
            code = r.bar_section();
            continue;
        case kw_report:
            code = r.report_section();
            continue;
        case kw_table:
            code = r.table_section();
            continue;
        case 1:
            return;
        case 0:
            break;
        default:
            if (!quiet) parse_error(5, 0, "Unrecognized graph type");
        }
        code = r.next_code();
    }
}

// ---------------------------------------------------------------- writer ---

namespace {

struct gd_writer {
    std::string out;
    std::string error;
    const graph_def& d;

    // A value that would read back otherwise cannot be written.
    bool check(const std::string& v) {
        if (v.find_first_of("\r\n") != std::string::npos) {
            if (error.empty())
                error = "The definition " + d.name +
                        " holds a line break in a value and cannot be written as text";
            return false;
        }
        return true;
    }
    // A value ending in a backslash gets a blank after it, which the reader
    // cuts, so the backslash is not taken as joining the next line.
    void line(const char* kw, const std::string* v = nullptr) {
        out += ':';
        out += kw;
        if (v) {
            if (!check(*v)) return;
            out += ' ';
            out += *v;
            if (!v->empty() && v->back() == '\\') out += ' ';
        }
        out += "\r\n";
    }
    void text(const char* kw, const std::string& v) { line(kw, &v); }
    void pair(const char* kw, const std::string& a, const std::string& b) {
        text(kw, b.empty() ? a : a + "|" + b);
    }
    void num(const char* kw, long n) { text(kw, std::to_string(n)); }
    void real(const char* kw, float f) { text(kw, float_text(f)); }
    void run(const char* kw, int n, const std::string& label) {
        std::string r(1, '*');
        r += std::to_string(n);
        pair(kw, r, label);
    }

    void head() {
        const char* kind = d.kind == gd_line    ? "GRAPH"
                           : d.kind == gd_table ? "TABLE"
                           : d.kind == gd_bar   ? "BAR-GRAPH"
                                                : "REPORT";
        text(kind, d.name);
        if (d.title != d.name) text("TITLE", d.title);
        if (d.x || d.y) text("LOCATION", std::to_string(d.x) + "," + std::to_string(d.y));
        if (d.width || d.height)
            text("SIZE", std::to_string(d.width) + "," + std::to_string(d.height));
        if (d.wip) line("WIP");
        if (d.kind == gd_bar && d.no_legend) num("NO-LEGEND", d.no_legend);
    }

    void line_graph() {
        if (!d.stamp[0].empty() || !d.stamp[1].empty())
            text("STAMP", d.stamp[0] + "|" + d.stamp[1]);
        if (!d.x_axis.empty()) text("X-AXIS", d.x_axis);
        if (!d.x_label.empty()) text("X-LABEL", d.x_label);
        if (!d.y_label.empty()) text("Y-LABEL", d.y_label);
        if (d.x_div)
            pair("X-DIV", std::to_string(d.x_div), d.x_div_label);
        else if (!d.x_div_label.empty()) {
            std::string q(1, '?');
            q += d.x_div_label;
            text("X-DIV", q);
        }
        if (d.y_div) num("Y-DIV", d.y_div);
        if (d.x_min != FLT_MAX) real("X-MIN", d.x_min);
        if (d.x_max != -FLT_MAX) real("X-MAX", d.x_max);
        if (d.plot_width != 0) real("WIDTH", d.plot_width);
        if (d.plot_height != 0) real("HEIGHT", d.plot_height);
        if (d.cumulative) line("CUMMULATIVE");
        if (d.dots == -1)
            num("STACK-FILL", d.stack - 1);
        else if (d.stack)
            num("STACK", d.stack - 1);
        if (d.portrait) line("PORTRAIT");
        if (d.label_intervals) line("LABEL-INTERVALS");
        if (d.graph_style) num("GRAPH-STYLE", d.graph_style);
        if (d.soft_bounds) line("SOFT-BOUNDS");
        if (d.no_legend) num("NO-LEGEND", d.no_legend);
        if (d.dots == 1) line("DOTS");
        if (d.dots == 2) line("DOTS-LINES");
        if (d.max_points) num("MAX-POINTS", d.max_points);
        int group = -1;
        for (const graph_var& v : d.vars) {
            if (v.scale_group != group) line("SCALE");
            group = v.scale_group;
            pair("VAR", v.name, v.label);
            if (!v.units.empty()) text("UNITS", v.units);
            if (v.y_min != FLT_MAX) real("Y-MIN", v.y_min);
            if (v.y_max != -FLT_MAX) real("Y-MAX", v.y_max);
            if (!v.dataset.empty())
                pair("DATASET", v.dataset, v.run_label);
            else if (v.run > 0)
                run("DATASET", v.run + 1, v.run_label);
            if (v.extra_kind == 8) {
                text("LINE-COLOR", color_spec_text(static_cast<std::int32_t>(v.colour)));
            } else {
                if (v.extra_kind == 1 || v.extra_kind == 2) {
                    const char* kw = v.extra_kind == 1 ? "CONFIDENCE" : "SENS-LINES";
                    if (v.extra_text.empty())
                        line(kw);
                    else
                        text(kw, v.extra_text);
                }
                if (v.mean) {
                    if (v.mean_text.empty())
                        line("MEAN");
                    else
                        text("MEAN", v.mean_text);
                }
            }
            if (v.line < 0 && (-v.line) % 5 != 0)
                text("LINE-STYLE", line_style_names[(-v.line) % 5]);
            if (v.line > 0) num("LINE-WIDTH", v.line);
            if (v.shape || v.shape_size) {
                std::string s = shape_names[((v.shape % 10) + 10) % 10];
                if (v.shape_size) {
                    s += ',';
                    s += std::to_string(v.shape_size);
                }
                text("SHAPE", s);
            }
        }
    }

    void bar_graph() {
        if (d.y_div) num("Y-DIV", d.y_div);
        if (!d.x_label.empty()) text("X-LABEL", d.x_label);
        if (d.y_min != FLT_MAX) real("Y-MIN", d.y_min);
        if (d.y_max != -FLT_MAX) real("Y-MAX", d.y_max);
        if (!is_na(d.bar_time)) real("BAR-TIME", d.bar_time);
        if (d.plot_width != 0) real("WIDTH", d.plot_width);
        if (d.plot_height != 0) real("HEIGHT", d.plot_height);
        if (d.horizontal) line("HORIZONTAL");
        if (d.bar_by_time) line("BAR-BY-TIME");
        if (d.sort > 1)
            num("SORT", d.sort - 1);
        else if (d.sort < -1)
            num("SORT", d.sort + 1);
        else if (d.sort == 1)
            line("FORCE");
        if (d.soft_bounds) line("SOFT-BOUNDS");
        if (!d.subtitle.empty()) text("SUBTITLE", d.subtitle);
        if (!d.osubtitle.empty()) text("OSUBTITLE", d.osubtitle);
        int group = 0;
        for (const bar_item& it : d.bar_vars) {
            if (it.as_run_group != group) text("AS-RUN", it.text);
            group = it.as_run_group;
            pair("VAR", it.name, it.label);
            if (!is_na(it.time)) real("BAR-VAR-TIME", it.time);
        }
        for (const bar_item& it : d.bar_ovars) {
            pair("OVAR", it.name, it.label);
            if (!is_na(it.time)) real("BAR-VAR-TIME", it.time);
        }
        for (const bar_item& it : d.bar_datasets) {
            if (!it.dataset.empty())
                pair("DATASET", it.dataset, it.text);
            else
                run("DATASET", it.run + 1, it.text);
        }
    }

    void table() {
        if (d.prettynum) line("PRETTYNUM");
        if (!is_na(d.print_every) && d.print_every != 0) real("PRINT-EVERY", d.print_every);
        if (!is_na(d.x_min)) real("X-MIN", d.x_min);
        if (!is_na(d.x_max)) real("X-MAX", d.x_max);
        if (!is_na(d.special_time)) real("SPECIAL-TIME", d.special_time);
        if (d.notime) line("NOTIME");
        if (d.time_down) line("TIME-DOWN");
        if (d.first_cellwidth > 0) num("FIRST-CELLWIDTH", d.first_cellwidth);
        if (d.cellwidth > 0) num("CELLWIDTH", d.cellwidth);
        if (d.plot_width > 0) num("WIDTH", std::lround(d.plot_width));
        if (d.plot_height > 0) num("HEIGHT", std::lround(d.plot_height));
        if (d.font.face[0]) text("FONT", font_spec_text(d.font));
        for (const table_item& it : d.items) {
            if (it.comment) {
                if (it.label.empty())
                    line("COMLINE");
                else
                    text("COMLINE", it.label);
                continue;
            }
            pair("VAR", it.name, it.label);
            if (!it.dataset.empty())
                pair("DATASET", it.dataset, it.dataset_label);
            else if (it.run > 0)
                run("DATASET", it.run + 1, it.dataset_label);
            if (!it.format.empty()) text("FORMAT", it.format);
        }
    }

    void report_def() {
        // Until a line that is no head keyword, a WIP line reads as the head's.
        bool head_open = !d.font.face[0];
        if (!head_open) text("FONT", font_spec_text(d.font));
        for (const std::string& l : d.lines) {
            const bool first = head_open;
            head_open = false;
            if (l == "\f") {
                line("NEWPAGE");
                continue;
            }
            if (!check(l)) continue;
            const char* p = l.c_str();
            while (is_blank(*p)) ++p;
            int c = *p == ':' ? decode_keyword_line(p, 1, nullptr) : 0;
            bool keyword = c == kw_end_of_report || c == kw_location || c == kw_size ||
                           c == kw_title || c == kw_var || c == kw_font || c == kw_newpage ||
                           (first && c == kw_wip);
            if (keyword || (!l.empty() && l.back() == '\\')) {
                if (error.empty())
                    error = "The report " + d.name +
                            " has a line that would not read back as text: " + l;
                continue;
            }
            out += l;
            out += "\r\n";
        }
        for (const std::string& v : d.var_texts) text("VAR", v);
        line("END-OF-REPORT");
    }
};

} // namespace

std::string graph_def_text(const graph_def& def, std::string* error) {
    gd_writer w{{}, {}, def};
    w.head();
    switch (def.kind) {
    case gd_line:
        w.line_graph();
        break;
    case gd_bar:
        w.bar_graph();
        break;
    case gd_table:
        w.table();
        break;
    case gd_report:
        w.report_def();
        break;
    default:
        report(10, "LFTT%d", def.kind);
        if (error && w.error.empty()) w.error = "LFTT" + std::to_string(def.kind);
        break;
    }
    if (!w.error.empty()) {
        if (error) *error = w.error;
        return {};
    }
    return w.out;
}

std::string graph_set_text(const graph_set& set, bool marker, std::string* error) {
    std::string out;
    if (marker) out += std::string(graph_set_marker_line) + "\r\n";
    bool first = true;
    for (const graph_def& d : set.defs) {
        std::string e;
        std::string t = graph_def_text(d, &e);
        if (!e.empty()) {
            if (error) *error = e;
            return {};
        }
        if (!first) out += "\r\n";
        first = false;
        out += t;
    }
    return out;
}
