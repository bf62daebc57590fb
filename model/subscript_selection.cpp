// The subscript selection kept in the model context.
#include "model/subscript_selection.h"

#include <cstring>
#include <vector>

#include "foundation/memory.h"
#include "model/context.h"
#include "model/model.h"

namespace {

// The selection entries of the context as a vector of words (range, count,
// words, bits...).
std::vector<std::uint32_t> selection_words() {
    std::vector<std::uint32_t> w;
    if (!model_rec || !model_rec->subscripts) return w;
    handle h = model_rec->subscripts;
    w.resize(handle_size(h) / 4);
    handle_lock<std::uint32_t> b(h);
    if (!w.empty()) std::memcpy(w.data(), b.get(), w.size() * 4);
    return w;
}

void store_selection(const std::vector<std::uint32_t>& w) {
    if (!model_rec) return;
    if (model_rec->subscripts) free_handle(model_rec->subscripts);
    model_rec->subscripts = new_handle(static_cast<std::uint32_t>(w.size() * 4));
    handle_lock<std::uint32_t> b(model_rec->subscripts);
    if (!w.empty()) std::memcpy(b.get(), w.data(), w.size() * 4);
}

// Index of the range's entry in the words, or -1.
long find_entry(const std::vector<std::uint32_t>& w, symbol_id range) {
    std::size_t i = 0;
    while (i + 3 <= w.size()) {
        if (w[i] == range) return static_cast<long>(i);
        std::size_t next = i + 3 + w[i + 2];
        if (next <= i || next > w.size()) break;
        i = next;
    }
    return -1;
}

} // namespace

bool subscript_selected(symbol_id range, int position) {
    if (position < 0) return false;
    std::vector<std::uint32_t> w = selection_words();
    long e = find_entry(w, range);
    if (e < 0) return true;
    std::uint32_t count = w[e + 1];
    if (static_cast<std::uint32_t>(position) >= count) return false;
    return (w[e + 3 + position / 32] >> (position % 32)) & 1;
}

namespace {

// Makes (or finds) the entry of a range with every element selected; its index.
long ensure_entry(std::vector<std::uint32_t>& w, symbol_id range, std::uint32_t count) {
    long e = find_entry(w, range);
    if (e >= 0 && w[e + 1] == count) return e;
    if (e >= 0) {
        // The range changed size: drop the old entry.
        w.erase(w.begin() + e, w.begin() + e + 3 + w[e + 2]);
    }
    e = static_cast<long>(w.size());
    std::uint32_t words = (count + 31) / 32;
    w.push_back(range);
    w.push_back(count);
    w.push_back(words);
    for (std::uint32_t i = 0; i < words; ++i) w.push_back(0xFFFFFFFFu);
    return e;
}

std::uint32_t range_count(symbol_id range) {
    model_lock_guard g(cur_model_symbols, 0);
    const element_list* l = g.ok() ? range_elements(range) : nullptr;
    return l ? l->count : 0;
}

} // namespace

void select_subscript(symbol_id range, int position, bool on) {
    std::uint32_t count = range_count(range);
    if (!model_rec || position < 0 || static_cast<std::uint32_t>(position) >= count) return;
    std::vector<std::uint32_t> w = selection_words();
    long e = ensure_entry(w, range, count);
    std::uint32_t& word = w[e + 3 + position / 32];
    std::uint32_t bit = 1u << (position % 32);
    word = on ? (word | bit) : (word & ~bit);
    store_selection(w);
}

int select_element_span(symbol_id range, int first, int last) {
    std::uint32_t count = range_count(range);
    if (!model_rec || count == 0) return 0;
    std::vector<std::uint32_t> w = selection_words();
    long e = ensure_entry(w, range, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        bool on = static_cast<int>(i) >= first && static_cast<int>(i) <= last;
        std::uint32_t& word = w[e + 3 + i / 32];
        std::uint32_t bit = 1u << (i % 32);
        word = on ? (word | bit) : (word & ~bit);
    }
    store_selection(w);
    return 1;
}
