// The graph-set table, loading from text, saving as text, and the hooks into
// the model store and the shell.
#include "graphs/sets/graphset.h"

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/sets/gdtext.h"
#include "graphs/sets/kgf.h"
#include "model/context.h"
#include "model/model.h"
#include "shell/filechoice.h"

#include <strings.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

bool set_in_use(const graph_set& s) {
    return !s.is_free;
}

// The name a set is known by: relative to the model's directory when it lies
// there, else the full path.
std::string relative_name(const char* name) {
    const std::string full = full_path(nullptr, name);
    return strip_model_dir(nullptr, full.c_str());
}

// Runs the text reader over the text source just made current.
void read_into(graph_set& set, int quiet, bool need_marker) {
    if (need_marker) {
        if (!read_line(0)) return;
        if (std::strncmp(line_buf, graph_set_marker_line, 9) != 0) return;
    }
    read_graph_definitions(set, quiet);
}

// One message for what a graph-set file lost: the definitions that could
// not be read (each was reported alone, but only to the error log) and the
// rest of a file cut short.
void tell_what_was_lost(const std::string& name, const graph_set& set, const gd_read_notes& notes) {
    if (!notes.cut && notes.refused.empty()) return;
    std::string lost;
    for (const std::string& n : notes.refused) lost += (lost.empty() ? "" : ", ") + n;
    if (notes.cut) {
        report(7,
               "The graph set %s ends early (it looks cut short): %zu definitions were read%s%s; "
               "whatever followed the cut is lost",
               name.c_str(), set.defs.size(), lost.empty() ? "" : "; not read: ", lost.c_str());
        return;
    }
    report(7, "The graph set %s has definitions that could not be read and were left out: %s",
           name.c_str(), lost.c_str());
}

// Where the set a model carries inside it goes once changed: a .kgd of the
// model's name beside the model's file ("" with no model file). Saved there,
// it is the set used when the model opens again.
std::string model_set_file() {
    const char* model = current_model_name();
    if (!model || !*model || !model_rec || model_rec->state == 2) return {};
    return set_extension(model, fk_graph_text, 1);
}

} // namespace

std::vector<graph_set>& graph_sets() {
    static std::vector<graph_set> table = [] {
        std::vector<graph_set> t(2);
        t[0].is_free = 0; // entry 0 is never used nor handed out
        return t;
    }();
    return table;
}

graph_set* graph_set_at(int index) {
    auto& t = graph_sets();
    if (index < 1 || index >= static_cast<int>(t.size()) || t[index].is_free) return nullptr;
    return &t[static_cast<std::size_t>(index)];
}

int find_graph_set(const char* name) {
    auto& t = graph_sets();
    if (!name) {
        for (std::size_t i = 1; i < t.size(); ++i)
            if (t[i].is_free) return static_cast<int>(i);
        t.emplace_back();
        return static_cast<int>(t.size() - 1);
    }
    const std::string full = full_path(nullptr, name);
    for (std::size_t i = 1; i < t.size(); ++i)
        if (set_in_use(t[i]) && !t[i].name.empty() &&
            strcasecmp(full_path(nullptr, t[i].name.c_str()).c_str(), full.c_str()) == 0)
            return static_cast<int>(i);
    return 0;
}

int init_graph_set(int index, const char* name, std::uint32_t owner) {
    if (index <= 0) index = find_graph_set(nullptr);
    auto& t = graph_sets();
    if (index >= static_cast<int>(t.size())) t.resize(static_cast<std::size_t>(index) + 1);
    graph_set& s = t[static_cast<std::size_t>(index)];
    s = graph_set{};
    s.is_free = 0;
    s.owner = owner;
    if (name) s.name = name;
    return index;
}

void free_graph_set(int index) {
    auto& t = graph_sets();
    if (index < 1 || index >= static_cast<int>(t.size())) return;
    t[static_cast<std::size_t>(index)] = graph_set{};
    if (model_rec && model_rec->graph_set == index) model_rec->graph_set = 0;
}

int copy_graph_set(int index) {
    graph_set* from = graph_set_at(index);
    if (!from) return 0;
    std::vector<graph_def> defs = from->defs;
    int n = init_graph_set(0, nullptr, 0);
    graph_set& to = graph_sets()[static_cast<std::size_t>(n)];
    to.defs = std::move(defs);
    for (graph_def& d : to.defs) d.window = 0;
    return n;
}

namespace {
void (*owner_changed_hook)(std::uint32_t owner) = nullptr;
}

void mark_set_modified(int index) {
    graph_set* s = graph_set_at(index);
    if (!s) return;
    s->state = 1;
    if (s->owner && owner_changed_hook) owner_changed_hook(s->owner);
}

int load_graph_set_text(const char* text, int quiet, int for_model, std::uint32_t owner) {
    int index = init_graph_set(0, nullptr, owner);
    graph_set& set = graph_sets()[static_cast<std::size_t>(index)];
    set.from_text = 1;
    const char* lines[] = {text ? text : ""};
    if (push_text_source(lines, 1, 0)) {
        graph_set loaded = set;
        read_into(loaded, quiet, true);
        close_text_source();
        graph_sets()[static_cast<std::size_t>(index)] = std::move(loaded);
    }
    if (for_model) {
        graph_sets()[static_cast<std::size_t>(index)].state = 255;
        graph_sets()[static_cast<std::size_t>(index)].for_model = 1;
    }
    return index;
}

int load_graph_set(const char* name, int as_text, int quiet, int for_model, std::uint32_t owner) {
    int found = 0;
    std::string rel;
    if (name) {
        rel = relative_name(name);
        found = find_graph_set(rel.c_str());
        if (found) {
            graph_set& s = graph_sets()[static_cast<std::size_t>(found)];
            if (for_model) return found;
            if (s.state != 0) {
                if (quiet) return found;
                std::string q = "Graph set " + rel +
                                " has been modified interactively.  Do you want to discard these "
                                "changes";
                if (ask_question(question_yes_no, q.c_str(), 7) != 6) return found;
                s.state = 0;
            }
        }
    } else {
        // From the text source already open: the model's settings text.
        int index = init_graph_set(0, nullptr, owner);
        graph_set loaded = graph_sets()[static_cast<std::size_t>(index)];
        loaded.from_text = 1;
        read_into(loaded, quiet, true);
        if (for_model) {
            loaded.state = 255;
            loaded.for_model = 1;
        }
        graph_sets()[static_cast<std::size_t>(index)] = std::move(loaded);
        return index;
    }

    const std::string path = full_path(nullptr, rel.c_str());
    // Everything is read aside and takes the entry's place only when it loaded,
    // so a failed reload keeps the set already loaded.
    graph_set loaded;
    loaded.is_free = 0;
    loaded.name = rel;
    bool text = as_text != 0;
    if (!text) {
        int r = read_kgf_file(path.c_str(), rel.c_str(), loaded, quiet);
        if (r == kgf_failed) return 0;
        text = r == kgf_not_binary;
    }
    if (text) {
        if (!open_text_source(path.c_str(), 0, 0)) {
            const int error = errno;
            if (!quiet) {
                if (error)
                    report(8, "Unable to open %s to read in user graphs: %s", rel.c_str(),
                           std::strerror(error));
                else
                    report(8, "Unable to open %s to read in user graphs", rel.c_str());
            }
            return found;
        }
        const int collecting = err_window_on;
        if (!collecting) set_error_title(rel.c_str());
        loaded.owner = owner;
        loaded.from_text = 1;
        gd_read_notes notes;
        read_graph_definitions(loaded, quiet, &notes);
        notes.cut = notes.cut || text_source_refused();
        close_text_source();
        if (!quiet) tell_what_was_lost(rel, loaded, notes);
    }
    if (for_model) {
        loaded.state = 255;
        loaded.for_model = 1;
    }
    int index = found ? found : find_graph_set(nullptr);
    graph_sets()[static_cast<std::size_t>(index)] = std::move(loaded);
    return index;
}

// ---------------------------------------------------------------- saving ---

int save_graph_set_text(handle symbols, int index, file_handle fh, int ask_name) {
    auto& t = graph_sets();
    if (index < 1 || index >= static_cast<int>(t.size()) ||
        t[static_cast<std::size_t>(index)].is_free) {
        report(10, "WU3213");
        return 0;
    }
    graph_set* set = &t[static_cast<std::size_t>(index)];
    std::string error;
    if (fh >= 0) {
        std::string text = graph_set_text(*set, true, &error);
        if (!error.empty()) {
            report(8, "%s", error.c_str());
            return 0;
        }
        if (fh_write(fh, text.data(), text.size()) != text.size()) {
            const int error = errno;
            report(8, "Unable to write the graph set: %s",
                   error ? std::strerror(error) : "the write failed");
            return 0;
        }
        set->state = 0;
        return 1;
    }
    std::string name;
    // A set read from a .kgf file is never written back into it: text in a
    // file named .kgf would no longer load as the binary set it was.
    if (!set->name.empty() && !set->owner && !ask_name && !set->from_kgf) {
        if (set->from_text) {
            std::string q = "The graph set " + set->name +
                            " came from the Text Editor.  Do you want to overwrite this file";
            if (ask_question(question_yes_no, q.c_str(), 6) != 6) return 0;
        }
        name = set->name;
    } else {
        const char* initial =
            set->from_kgf ? set_extension(set->name.c_str(), fk_graph_text, 1) : set->name.c_str();
        char* chosen = file_dialog("Save custom graphs as", initial, fd_save, ft_graph_defs, 0,
                                   ft_graph_defs, 0, nullptr, nullptr);
        if (!chosen || !*chosen) return 0;
        name = set_extension(chosen, fk_graph_text, 0);
    }
    if (set->owner) {
        if (!symbols && !model_rec) {
            report(10, "WUG3321");
            return 0;
        }
        int copy = copy_graph_set(index);
        set = &graph_sets()[static_cast<std::size_t>(copy)];
        if (model_rec) model_rec->graph_set = static_cast<std::uint8_t>(copy);
        index = copy;
    }
    std::string text = graph_set_text(*set, false, &error);
    if (!error.empty()) {
        report(8, "%s", error.c_str());
        return 0;
    }
    const std::string path = full_path(nullptr, name.c_str());
    if (!save_with_backup(path.c_str(), nullptr)) return 0;
    file_handle out = fh_open_write(path.c_str(), 0, 0);
    if (out < 0) {
        const int error = errno;
        report(8, "Unable to open %s to write graph file: %s", name.c_str(),
               error ? std::strerror(error) : "the file cannot be made");
        return 0;
    }
    fh_guard guard(out);
    if (fh_write(out, text.data(), text.size()) != text.size() || guard.close() <= 0) {
        const int error = errno;
        report(8, "Unable to write graph file %s: %s", name.c_str(),
               error ? std::strerror(error) : "the write failed");
        return 0;
    }
    set = &graph_sets()[static_cast<std::size_t>(index)];
    set->name = relative_name(name.c_str());
    set->from_text = 1;
    set->from_kgf = 0;
    set->state = 0;
    return 1;
}

// --------------------------------------------------------- model and shell ---

int current_graph_set() {
    return model_rec ? model_rec->graph_set : 0;
}

void set_current_graph_set(int index) {
    if (model_rec) model_rec->graph_set = static_cast<std::uint8_t>(index);
}

int model_graph_set_hook(const char* text_or_name, int from_text) {
    // The sets loaded for the model opened before (unchanged, state 255) go
    // with it; otherwise every opening of a model would leave one behind.
    auto& t = graph_sets();
    for (std::size_t i = 1; i < t.size(); ++i)
        if (!t[i].is_free && t[i].state == 255 && !t[i].owner) free_graph_set(static_cast<int>(i));
    if (from_text) return load_graph_set_text(text_or_name, 0, 1, 0);
    return load_graph_set(text_or_name, 0, 0, 1, 0);
}

void use_saved_model_graph_set() {
    const std::string file = model_set_file();
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec)) return;
    const int inside = current_graph_set();
    const graph_set* own = graph_set_at(inside);
    // A set the model names as a file of its own is that file already.
    if (own && !own->name.empty()) return;
    const int saved = load_graph_set(file.c_str(), 1, 0, 1, 0);
    graph_set* s = graph_set_at(saved);
    if (!s || saved == inside) return;
    if (s->defs.empty()) {
        // Nothing usable in it: the model's own set stays (the load said why).
        free_graph_set(saved);
        return;
    }
    // Written by the program for this model, not by hand: saving it again
    // needs no question about overwriting an editor's file.
    s->from_text = 0;
    if (inside) free_graph_set(inside);
    set_current_graph_set(saved);
}

int query_save_graph_sets(int all) {
    auto& t = graph_sets();
    if (t.size() < 2) return 1;
    // Every question is asked before anything is freed, so Cancel (or a
    // failed save) leaves every set as it was.
    std::vector<int> asked;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const graph_set& s = t[i];
        if (s.is_free || s.owner) continue;
        if (!all && !s.for_model) continue;
        asked.push_back(static_cast<int>(i));
        if (s.state == 0 || s.state > 127) continue;
        // The question names the set and the file it goes to. The set a
        // model carries inside it goes beside the model, under its name.
        const std::string beside = s.name.empty() && s.for_model ? model_set_file() : "";
        std::string q;
        if (!beside.empty())
            q = std::string("The custom graph set of the model ") +
                file_name_part(current_model_name()) +
                " has been modified - do you want to save it to " + beside +
                " (used in its place when the model opens again)";
        else if (s.name.empty() || s.from_kgf)
            q = "The custom graph set " + (s.name.empty() ? std::string("without name") : s.name) +
                " has been modified - do you want to save it (you choose the file)";
        else
            q = "The custom graph set " + s.name +
                " has been modified - do you want to save it to " +
                full_path(nullptr, s.name.c_str());
        int answer = ask_question(question_yes_no_cancel, q.c_str(), 7);
        if (answer == 2) return 0;
        if (answer == 6 && !beside.empty()) {
            t[i].name = relative_name(beside.c_str());
            t[i].from_text = 0;
        }
        if (answer == 6 && !save_graph_set_text(0, static_cast<int>(i), -1, 0)) return 0;
    }
    for (int i : asked) free_graph_set(i);
    return 1;
}
