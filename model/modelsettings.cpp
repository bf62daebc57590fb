// The model settings: the settings record, and the settings text stored in
// the model with the model context made from it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"

using modelfile_format::cells_of;

namespace {

graph_set_hook_fn graph_hook = nullptr;

} // namespace

void set_graph_set_hook(graph_set_hook_fn hook) {
    graph_hook = hook;
}

graph_set_hook_fn modelfile_format::current_graph_set_hook() {
    return graph_hook;
}

model_settings* lock_model_settings(handle symbols) {
    handle h = get_header_word(symbols, mh_settings);
    if (!h) {
        h = new_handle(sizeof(model_settings));
        set_header_word(symbols, mh_settings, h);
    }
    return static_cast<model_settings*>(lock_handle(h));
}

void unlock_model_settings(handle symbols) {
    handle h = get_header_word(symbols, mh_settings);
    if (h) unlock_handle(h);
}

namespace {

std::string settings_text(handle symbols) {
    handle h = get_header_word(symbols, mh_settings_text);
    if (!h) return {};
    handle_lock<char> b(h);
    std::uint32_t cells = cells_of(h);
    const char* p = b.get() + 20;
    return std::string(p, strnlen(p, cells > 5 ? 4 * (cells - 5) : 0));
}

std::string handle_text(handle h) {
    if (!h) return {};
    handle_lock<char> b(h);
    return std::string(b.get(), strnlen(b.get(), handle_size(h)));
}

handle text_handle(const std::string& t) {
    handle h = new_handle(static_cast<std::uint32_t>(t.size() + 1));
    handle_lock<char> b(h);
    std::memcpy(b.get(), t.c_str(), t.size() + 1);
    return h;
}

} // namespace

const char* embedded_graph_set_text(handle symbols) {
    std::string t = settings_text(symbols);
    std::size_t at = 0;
    while (at < t.size()) {
        std::size_t eol = t.find('\n', at);
        if (eol == std::string::npos) eol = t.size();
        if (t.compare(at, 9, graph_set_marker) == 0) return scratch_strdup(t.c_str() + at);
        at = eol + 1;
    }
    return "";
}

handle read_model_settings(handle header, handle symbols) {
    (void)header;
    if (!symbols) return 0;
    handle old = get_header_word(symbols, mh_model_rec);
    if (old) free_model_context(old);
    handle ctx_h = new_model_context();
    set_header_word(symbols, mh_model_rec, ctx_h);
    std::string text = settings_text(symbols);
    model_settings* ms = lock_model_settings(symbols);
    ms->has_password = model_has_password(symbols);
    std::string notes, refs;
    handle_lock<model_context> c(ctx_h);
    model_context* ctx = c.get();
    ctx->state = 1;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(at, eol - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 9, graph_set_marker) == 0) break;
        auto arg = [&](const char* key) -> const char* {
            std::size_t n = std::strlen(key);
            if (line.compare(0, n, key) != 0) return nullptr;
            // A key is a whole word: ":TIME" must not take a ":TIMEBASE" line.
            if (line.size() > n && line[n] != ' ') return nullptr;
            return line.c_str() + n + (line.size() > n ? 1 : 0);
        };
        if (const char* a = arg(":FLAGS")) {
            unsigned f1 = 0, f2 = 0;
            std::sscanf(a, "%u %u", &f1, &f2);
            ms->flags = static_cast<std::uint8_t>(f1);
            ms->flags2 = static_cast<std::uint8_t>(f2);
        } else if (const char* a2 = arg(":NOTE")) {
            notes += a2;
            notes += '\n';
        } else if (const char* a3 = arg(":REF")) {
            refs += a3;
            refs += '\n';
        } else if (const char* a4 = arg(":TIME")) {
            double s = 0, e = 0, sp = 0;
            if (std::sscanf(a4, "%lf %lf %lf", &s, &e, &sp) == 3) {
                ctx->start = s;
                ctx->end = e;
                ctx->special = sp;
            }
        } else if (const char* a5 = arg(":SKETCH")) {
            int z = 100, v = 0;
            if (std::sscanf(a5, "%d %d", &z, &v) == 2) {
                ctx->sketch_zoom = static_cast<std::int16_t>(z);
                ctx->sketch_view = static_cast<std::int16_t>(v);
            }
        } else if (const char* a6 = arg(":RUN")) {
            ctx->setup.run_name = ctx_set_text(ctx, ctx->setup.run_name, a6);
        } else if (const char* a7 = arg(":TIMEBASE")) {
            ctx->time_base_name = ctx_set_text(ctx, ctx->time_base_name, a7);
        } else if (const char* a8 = arg(":DATA")) {
            ctx->data_list = ctx_set_text(ctx, ctx->data_list, a8);
        } else if (const char* a9 = arg(":GRAPHS")) {
            std::strncpy(ms->graph_set_file, a9, sizeof ms->graph_set_file - 1);
        }
        at = eol + 1;
    }
    if (ms->notes) free_handle(ms->notes);
    if (ms->refs) free_handle(ms->refs);
    ms->notes = notes.empty() ? 0 : text_handle(notes);
    ms->refs = refs.empty() ? 0 : text_handle(refs);
    ms->refs_length = static_cast<std::uint32_t>(refs.size());
    std::string graph_file = ms->graph_set_file;
    unlock_model_settings(symbols);
    if (graph_hook) {
        const char* embedded = embedded_graph_set_text(symbols);
        int set = 0;
        if (*embedded)
            set = graph_hook(embedded, 1);
        else if (!graph_file.empty())
            set = graph_hook(graph_file.c_str(), 0);
        ctx->graph_set = static_cast<std::uint8_t>(set);
    }
    return ctx_h;
}

int write_model_settings(handle header, handle symbols, int mode, const char* file_name) {
    (void)header;
    if (!symbols) return 0;
    std::string out;
    model_settings* ms = lock_model_settings(symbols);
    char line[128];
    std::snprintf(line, sizeof line, ":FLAGS %u %u\n", ms->flags, ms->flags2);
    out += line;
    auto each_line = [&](const std::string& text, const char* key) {
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t eol = text.find('\n', at);
            if (eol == std::string::npos) eol = text.size();
            out += key;
            out += ' ';
            out += text.substr(at, eol - at);
            out += '\n';
            at = eol + 1;
        }
    };
    each_line(handle_text(ms->notes), ":NOTE");
    each_line(handle_text(ms->refs), ":REF");
    if (ms->graph_set_file[0]) out += std::string(":GRAPHS ") + ms->graph_set_file + "\n";
    if (ms->password[0]) {
        std::string pw = ms->password;
        std::memset(ms->password, 0, sizeof ms->password);
        unlock_model_settings(symbols);
        set_model_password(symbols, pw.c_str());
        ms = lock_model_settings(symbols);
        ms->has_password = 1;
    }
    unlock_model_settings(symbols);
    handle ctx_h = get_header_word(symbols, mh_model_rec);
    if (ctx_h) {
        handle_lock<model_context> c(ctx_h);
        std::snprintf(line, sizeof line, ":TIME %.9g %.9g %.9g\n", c->start, c->end, c->special);
        out += line;
        std::snprintf(line, sizeof line, ":SKETCH %d %d\n", c->sketch_zoom, c->sketch_view);
        out += line;
        if (c->setup.run_name)
            out += std::string(":RUN ") + ctx_text(c.get(), c->setup.run_name) + "\n";
        if (c->time_base_name)
            out += std::string(":TIMEBASE ") + ctx_text(c.get(), c->time_base_name) + "\n";
        if (c->data_list) out += std::string(":DATA ") + ctx_text(c.get(), c->data_list) + "\n";
    }
    out += embedded_graph_set_text(symbols);
    if (mode != -1) set_settings_text(symbols, out.c_str());
    if (file_name && *file_name) {
        std::FILE* f = open_stream(file_name, "w");
        if (!f) {
            report_write_failure(file_name, errno);
            return 0;
        }
        std::fputs(out.c_str(), f);
        return close_stream(f) > 0 ? 1 : 0;
    }
    return 1;
}
