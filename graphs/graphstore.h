// The graphs that keep their own data beside an output record (bars, Gantt
// charts, sensitivity and strip graphs): word 0 of the record names an entry
// of the kind's table, word 1 the entry's block of hot-spot texts. The store
// makes the record with its entry, finds the entry of a record, opens the
// window and frees the entry when the record lets go of it.
#pragma once

#include "foundation/memory.h"
#include "foundation/report.h"
#include "tools/output.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace graphs {

struct record_callbacks {
    int (*layout)(output_record*) = nullptr;
    void (*draw)(output_record*) = nullptr;
    void (*release)(handle) = nullptr;
    void (*live_update)(handle) = nullptr;
};

// `Entry` holds `handle texts`, the block the record's word 1 names.
template <class Entry> class graph_store {
public:
    // A record of another kind is never ours, whatever its word 0 holds.
    Entry* entry_of(const output_record* o) const {
        if (!o || type_ < 0 || o->type != type_) return nullptr;
        auto it = entries_.find(o->words[0]);
        return it == entries_.end() ? nullptr : it->second.get();
    }
    Entry* entry_of(handle record) const {
        auto* o = static_cast<output_record*>(lock_handle(record));
        Entry* e = entry_of(o);
        if (o) unlock_handle(record);
        return e;
    }

    // A record of `type` holding `entry`, not yet shown; 0 when memory runs
    // out (nothing is kept then).
    handle make(int type, std::unique_ptr<Entry> entry, const record_callbacks& cb) {
        handle h = new_output_record(0, type);
        if (!h) return 0;
        type_ = type;
        entry->texts = new_hblock(0, 0, 0);
        if (!entry->texts) {
            free_output_record(h);
            return 0;
        }
        auto* o = static_cast<output_record*>(lock_handle(h));
        const std::int32_t id = next_id_++;
        o->words[0] = id;
        o->words[1] = static_cast<std::int32_t>(entry->texts);
        o->layout = cb.layout;
        o->draw = cb.draw;
        o->release = cb.release;
        o->live_update = cb.live_update;
        unlock_handle(h);
        entries_[id] = std::move(entry);
        return h;
    }

    // Lays the record out as the current output, which opens its window.
    // A layout that fails frees the record (and says `failure` when given)
    // and answers 0.
    handle open(handle h, const char* failure) {
        if (!h) return 0;
        auto* rec = static_cast<output_record*>(lock_handle(h));
        cur_output = h;
        const int opened = rec && rec->layout ? rec->layout(rec) : 0;
        void (*release)(handle) = rec ? rec->release : nullptr;
        if (rec) unlock_handle(h);
        if (opened) return h;
        if (failure) report(8, "%s", failure);
        if (release) release(h);
        free_output_record(h);
        return 0;
    }

    // Frees the entry the record names and clears its words; false when it
    // names none.
    bool release(handle record) {
        auto* o = static_cast<output_record*>(lock_handle(record));
        if (!o) return false;
        const std::int32_t id = o->words[0];
        o->words[0] = 0;
        o->words[1] = 0;
        unlock_handle(record);
        auto it = entries_.find(id);
        if (it == entries_.end()) return false;
        free_hblock(it->second->texts);
        entries_.erase(it);
        return true;
    }

private:
    std::map<std::int32_t, std::unique_ptr<Entry>> entries_;
    std::int32_t next_id_ = 1;
    int type_ = -1; // the records' type (one kind per store)
};

// The entry of a window of stacked plots (sensitivity and strip graphs): the
// window's data, its block of hot-spot texts, and the cells of the plots'
// names, the axis title and the axis variable's name (0 until made).
template <class Window> struct stacked_entry {
    Window w;
    handle texts = 0;
    std::vector<std::int32_t> name_cells;
    std::int32_t x_title_cell = 0, x_name_cell = 0;

    // A name cell per plot, made again when the plots are not those named.
    template <class Plots> void name_plots(const Plots& plots) {
        if (name_cells.size() == plots.size()) return;
        name_cells.clear();
        for (const auto& p : plots) name_cells.push_back(hblock_add_string(texts, p.name.c_str()));
    }
};

// The records of one kind of stacked-plot window, with the ones the tool's
// last run made (a released record leaves that list).
template <class Window> class stacked_store {
public:
    using entry = stacked_entry<Window>;

    entry* entry_of(const output_record* o) const { return store_.entry_of(o); }
    Window* window_of(handle record) const {
        entry* e = store_.entry_of(record);
        return e ? &e->w : nullptr;
    }
    const std::vector<handle>& last_records() const { return last_; }
    void forget_last() { last_.clear(); }
    // The tool's window is reused for the first record of a run; the others
    // open new ones.
    bool first_of_run() const { return last_.empty(); }

    // Makes the record of `w` (of `type`) and opens it; 0 after `failure`.
    handle show(Window w, int type, const record_callbacks& cb, const char* failure) {
        auto e = std::make_unique<entry>();
        e->w = std::move(w);
        return store_.open(store_.make(type, std::move(e), cb), failure);
    }
    void add_last(handle h) { last_.push_back(h); }
    void release(handle record) {
        if (store_.release(record)) std::erase(last_, record);
    }

private:
    graph_store<entry> store_;
    std::vector<handle> last_;
};

} // namespace graphs
