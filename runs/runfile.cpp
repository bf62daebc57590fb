// The run-file reader and the table of loaded runs.
#include "runs/runfile.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/context.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "sim/simdata.h"

loaded_run* cur_run = nullptr;
int cur_run_index = -1;

namespace {

handle g_records = 0; // loaded_run array
int g_count = 0;
handle g_names = 0; // piece block of full file names
std::uint16_t g_serial = 1;
std::vector<run_side> g_side;
run_reference_fn g_ref_hook = nullptr;
bool g_cur_foreign = false;

loaded_run read_record(int i) {
    loaded_run r{};
    if (i < 0 || i >= g_count || !g_records) return r;
    handle_lock<loaded_run> b(g_records);
    if (b) r = b.get()[i];
    return r;
}

void write_record(int i, const loaded_run& r) {
    if (i < 0 || i >= g_count || !g_records) return;
    handle_lock<loaded_run> b(g_records);
    if (b) b.get()[i] = r;
}

bool live(const loaded_run& r) {
    return r.type != 0;
}

// The name treatment of kdf_open and find_run.
std::string run_full_name(const char* name) {
    if (!name) return {};
    while (*name == '@') ++name;
    std::string n(name);
    while (!n.empty() &&
           (n.back() == ' ' || n.back() == '\t' || n.back() == '\n' || n.back() == '\r'))
        n.pop_back();
    if (n.empty()) return {};
    const char* with_ext = set_extension(n.c_str(), fk_run, 1);
    return full_path(nullptr, with_ext);
}

// What tells one file at a path from another put there later (a run file
// is replaced by renaming a new file over it, which keeps neither the inode
// nor, as a rule, the time).
file_identity identity_of(const std::string& path) {
    file_identity id;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return id;
    id.known = true;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.mtime_s = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    id.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return id;
}

bool same_file(const file_identity& a, const file_identity& b) {
    return a.known == b.known &&
           (!a.known || (a.device == b.device && a.inode == b.inode && a.size == b.size &&
                         a.mtime_s == b.mtime_s && a.mtime_ns == b.mtime_ns));
}

// The live record read from the file at full. same_file_only: a record whose
// file has since been replaced or removed on disk does not count (it holds
// the old file's tables and values).
int find_by_path(const std::string& full, bool same_file_only) {
    file_identity now;
    bool looked = false;
    for (int i = 0; i < g_count; ++i) {
        loaded_run r = read_record(i);
        if (!live(r) || static_cast<std::size_t>(i) >= g_side.size()) continue;
        const run_side& s = g_side[static_cast<std::size_t>(i)];
        if (name_cmp(s.path.c_str(), full.c_str()) != 0) continue;
        if (same_file_only) {
            if (!looked) now = identity_of(s.path);
            looked = true;
            if (!same_file(s.identity, now)) continue;
        }
        return i;
    }
    return -1;
}

int presence_bytes(std::uint64_t n) {
    return n ? static_cast<int>((n - 1) / 8 + 1) : 1;
}

// Reading one file while it is opened.
struct file_reader {
    file_handle fh;
    bool foreign;
    std::uint64_t size;
    bool at(std::uint64_t off, void* buf, std::size_t n) const {
        if (off > size || n > size - off) return false;
        if (fh_seek(fh, static_cast<long>(off), 0) != static_cast<long>(off)) return false;
        return fh_read(fh, buf, n) == n;
    }
    bool u32(std::uint64_t off, std::uint32_t& v) const {
        if (!at(off, &v, 4)) return false;
        if (foreign) v = swap32(v);
        return true;
    }
    bool count(std::uint64_t off, bool c32, std::int64_t& v) const {
        if (c32) {
            std::uint32_t w;
            if (!u32(off, w)) return false;
            v = static_cast<std::int32_t>(w);
            return true;
        }
        std::uint16_t h;
        if (!at(off, &h, 2)) return false;
        if (foreign) h = swap16(h);
        v = static_cast<std::int16_t>(h);
        return true;
    }
    bool floats(std::uint64_t off, std::size_t n, std::vector<float>& out) const {
        out.resize(n);
        if (n && !at(off, out.data(), 4 * n)) return false;
        if (foreign)
            for (float& f : out) f = as_float(swap32(float_bits(f)));
        return true;
    }
};

std::uint64_t fnv1a(const std::vector<std::uint8_t>& b) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t c : b) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Frees what a record (or a record being built) holds.
void release_parts(loaded_run& r, int self) {
    free_hblock_if(r.info);
    r.info = 0;
    if (r.file >= 0) fh_close(r.file);
    r.file = run_file_unopened;
    if (r.symbols) {
        bool shared = false;
        for (int j = 0; j < g_count; ++j) {
            if (j == self) continue;
            loaded_run o = read_record(j);
            if (live(o) && o.symbols == r.symbols) shared = true;
        }
        if (!shared) free_model(0, r.symbols);
    }
    r.symbols = 0;
}

// The model part bytes of a live run, read back from its file.
bool model_bytes_of(int j, std::vector<std::uint8_t>& out) {
    if (j < 0 || static_cast<std::size_t>(j) >= g_side.size()) return false;
    loaded_run o = read_record(j);
    if (!live(o) || o.file < 0) return false;
    const run_side& s = g_side[static_cast<std::size_t>(j)];
    out.resize(s.model_part_size);
    // The model part's file offset is kept after its hash.
    std::uint64_t off = 0;
    std::memcpy(&off, s.model_bytes_hash.data() + 8, 8);
    file_reader fr{o.file, false, s.file_size};
    return fr.at(off, out.data(), out.size());
}

// What a file shorter than a run file's header lacks.
std::string header_cut(std::uint64_t size) {
    if (size == 0) return "the file is empty";
    return "the header is cut off at the end of the file, after " + std::to_string(size) +
           " of its " + std::to_string(sizeof(kmf_header)) + " bytes";
}

// Opens and checks a run file part by part into a local record and side
// state. Each check fills what it vouches for; a failed one releases
// everything taken and leaves the reason in why (empty: the lower layer has
// reported it already).
class run_checker {
public:
    run_checker(const std::string& full, loaded_run& rec, run_side& side, std::string& why)
        : full_(full), rec_(rec), side_(side), why_(why) {}
    // Releases what the record holds unless accept() took it.
    ~run_checker() {
        if (opened_ && !accepted_) release_parts(rec_, -1);
    }
    run_checker(const run_checker&) = delete;
    run_checker& operator=(const run_checker&) = delete;
    void accept() { accepted_ = true; }

    // The header: the file opens, is a run file of a version read here.
    // fail_kind 1: the file could not be opened; 2: not a file of this system.
    bool header(int& fail_kind);
    // The run information block (when the header says there is one).
    bool info_block();
    // The run's model part, shared with a loaded run that has the same bytes.
    bool model_part();
    // What the run's model says: slot, lookup and delay counts, slot types.
    bool model_facts();
    // The counts of the header, against the file and each other.
    bool header_counts();
    // The row table of a lower-case run, or the offset table of the others.
    bool value_table();
    // The run-type section: sensitivity head and slots, or payoff types.
    bool run_section();
    // The Time axis and the data time axis.
    bool time_axes();
    // Every part the header or the offset table points at lies within the
    // file: a file cut short is refused, not read with parts missing.
    bool parts_within_file();
    // What the header, the model part, the tables and the records say of
    // one another agrees, and no two parts share bytes: a damaged file is
    // refused rather than shown with series or points missing.
    bool parts_agree();

private:
    // A failed check only says why: what the record holds is released when
    // the checker ends, after every lock a check took has ended.
    bool fail(const char* what) {
        why_ = what;
        return false;
    }
    // The lower layer has shown its message already.
    bool fail_reported() {
        why_.clear();
        return false;
    }
    std::uint64_t record_head_bytes(std::int64_t count) const {
        return static_cast<std::uint64_t>(csize_) +
               static_cast<std::uint64_t>(presence_bytes(static_cast<std::uint64_t>(count)));
    }
    bool row_table(std::uint64_t table_at, std::uint64_t& table_bytes);
    // Where a stored block at a file offset ends: it fits in the file, is cut
    // off by its end, or has no sound head (for the lower layer to judge).
    enum block_fit { block_fits, block_cut, block_unsound };
    block_fit stored_block_at(std::uint64_t at, std::uint64_t& end) const;
    std::string model_part_cut(std::uint64_t at) const;

    const std::string& full_;
    loaded_run& rec_;
    run_side& side_;
    std::string& why_;
    kmf_header h_{};
    file_reader fr_{};
    std::uint64_t size_ = 0;
    // Set by header_counts.
    std::int64_t w28_ = 0, w29_ = 0, w30_ = 0, w31_ = 0;
    char type_ = 0;
    bool lower_ = false, timed_ = false, c32_ = false;
    int csize_ = 2;
    std::uint64_t data_values_at_ = 0; // file offset of the data axis values
    bool opened_ = false;              // the record holds the file (and what is read from it)
    bool accepted_ = false;
    std::string cut_; // what parts_within_file found cut (kept for the message)
    bool block_within(std::uint64_t at, std::uint32_t low_cells) const;
    bool records_within();
    // What one stored value record says of itself.
    struct record_note {
        std::uint32_t slot = 0;
        std::uint64_t begin = 0, end = 0; // file offsets (end: as its count says)
        std::uint64_t points = 0;         // presence bits it should have
        std::uint64_t count = 0;          // its stored count
        bool negative = false;            // the count was negative
        std::uint64_t set = 0;            // presence bits set among its points
        std::uint64_t stray = 0;          // bits set past its points
    };
    bool read_record_head(std::uint64_t off, std::uint64_t points, std::vector<std::uint8_t>& bits,
                          record_note& note) const;
    bool lost_record_between(std::uint64_t from, std::uint64_t to) const;
    bool nonzero_bytes_between(std::uint64_t from, std::uint64_t to) const;
    bool no_stray_bytes();
    std::uint64_t next_part_from(std::uint64_t at) const;
    std::vector<record_note> records_;
    // Extents noted by the checks, for parts_agree.
    std::uint64_t model_begin_ = 0, model_end_ = 0;
    std::uint64_t table_end_ = 0; // row head and table of a lower-case run
    std::uint64_t section_end_ = 0, matrix_at_ = 0, matrix_end_ = 0;
    std::uint64_t delays_end_ = 0;
    bool model_part_agrees();
    bool header_words_agree();
    bool records_agree();
    bool columns_agree();
    bool extents_apart();
    bool delays_within();
    std::string slot_variable(std::uint32_t slot) const;
};

bool run_checker::header(int& fail_kind) {
    fail_kind = 0;
    // Probed first (silently), so that a file cut inside its header is
    // refused for being cut; every other failure is the file layer's to
    // report, with its reason.
    file_handle fh = open_block_file(full_.c_str(), &h_, -1);
    if (fh < 0) {
        struct stat st {};
        if (fh == -1 && stat(full_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<std::uint64_t>(st.st_size) < sizeof h_) {
            cut_ = header_cut(static_cast<std::uint64_t>(st.st_size));
            return fail(cut_.c_str());
        }
        fh = open_block_file(full_.c_str(), &h_, 0);
        if (fh < 0) {
            fail_kind = 1; // could not open
            return false;
        }
    }
    bool foreign = kmf_foreign;
    long probed = fh_size(fh);
    if (probed >= 0 && static_cast<std::uint64_t>(probed) < sizeof h_) {
        fh_close(fh);
        cut_ = header_cut(static_cast<std::uint64_t>(probed));
        return fail(cut_.c_str());
    }
    if (h_.byte_order != kmf_byte_order_mark ||
        (h_.version != kmf_version_300 && h_.version != kmf_version_400)) {
        fh_close(fh);
        fail_kind = 2;
        return false;
    }
    std::memcpy(&rec_, &h_, sizeof rec_);
    rec_.file = fh;
    rec_.symbols = 0;
    rec_.info = 0;
    opened_ = true;
    rec_.word33 = rec_.word34 = rec_.word36 = 0;
    long fsize = fh_size(fh);
    side_ = run_side{};
    side_.path = full_;
    side_.foreign = foreign;
    side_.file_size = fsize > 0 ? static_cast<std::uint64_t>(fsize) : 0;
    side_.identity = identity_of(full_);
    fr_ = file_reader{fh, foreign, side_.file_size};
    size_ = side_.file_size;
    return true;
}

bool run_checker::info_block() {
    file_handle fh = rec_.file;
    if (!kmf_word(h_, 38)) return fh_seek(fh, sizeof h_, 0) < 0 ? fail("header") : true;
    std::uint64_t end = 0;
    if (stored_block_at(sizeof h_, end) == block_cut)
        return fail("the run information block is cut off at the end of the file");
    if (fh_seek(fh, sizeof h_, 0) < 0) return fail("information block");
    // The block is the checker's until it is found sound; the guard ends its
    // lock before it frees it on every way out.
    owned_handle<> info(read_block_raw(fh, fr_.foreign));
    if (!info) return fail_reported();
    auto* cell = static_cast<std::uint32_t*>(info.lock());
    if (!cell) return fail("information block");
    // Cell 5: the byte length of the text that starts at cell 6. Only
    // the length is a word; the text is bytes in either byte order.
    std::uint32_t cells = reinterpret_cast<bhead*>(cell)->cur;
    if (cells < 7 || std::uint64_t{cells} * 4 > handle_size(info.get()))
        return fail("information block too short");
    if (fr_.foreign) cell[5] = swap32(cell[5]);
    std::uint64_t room = 4ull * (cells - 6);
    const char* text = reinterpret_cast<const char*>(cell + 6);
    if (cell[5] >= room || !std::memchr(text, 0, room)) return fail("information block text");
    rec_.info = info.release();
    return true;
}

bool run_checker::model_part() {
    file_handle fh = rec_.file;
    long start = fh_seek(fh, 0, 1);
    if (start >= 0) {
        std::string part = model_part_cut(static_cast<std::uint64_t>(start));
        if (!part.empty()) {
            cut_ = "the model part's " + part + " is cut off at the end of the file";
            return fail(cut_.c_str());
        }
        if (fh_seek(fh, start, 0) != start) return fail("model part");
    }
    long end = 0;
    handle symbols = read_model_part(fh, fr_.foreign, full_.c_str(), &end);
    if (!symbols) return fail_reported();
    rec_.symbols = symbols;
    if (start < 0 || end < start || static_cast<std::uint64_t>(end) > size_)
        return fail("model part");
    model_begin_ = static_cast<std::uint64_t>(start);
    model_end_ = static_cast<std::uint64_t>(end);
    std::vector<std::uint8_t> mine(static_cast<std::size_t>(end - start));
    if (!fr_.at(static_cast<std::uint64_t>(start), mine.data(), mine.size()))
        return fail("model part");
    std::uint64_t h64 = fnv1a(mine);
    std::uint64_t st = static_cast<std::uint64_t>(start);
    side_.model_bytes_hash.resize(16);
    std::memcpy(side_.model_bytes_hash.data(), &h64, 8);
    std::memcpy(side_.model_bytes_hash.data() + 8, &st, 8);
    side_.model_part_size = mine.size();
    // Share an identical model part of a loaded run: same size, same hash
    // and the same bytes.
    for (int j = 0; j < g_count; ++j) {
        loaded_run o = read_record(j);
        if (!live(o) || static_cast<std::size_t>(j) >= g_side.size()) continue;
        const run_side& os = g_side[static_cast<std::size_t>(j)];
        if (os.model_part_size != mine.size() || os.model_bytes_hash.size() != 16 ||
            std::memcmp(os.model_bytes_hash.data(), &h64, 8) != 0)
            continue;
        std::vector<std::uint8_t> theirs;
        if (!model_bytes_of(j, theirs) || theirs != mine) continue;
        free_model(0, symbols);
        rec_.symbols = o.symbols;
        break;
    }
    return true;
}

run_checker::block_fit run_checker::stored_block_at(std::uint64_t at, std::uint64_t& end) const {
    bhead head{};
    if (!fr_.at(at, &head, sizeof head)) return block_cut;
    if (fr_.foreign) swap_words(&head, 5);
    std::uint32_t letter = head.kind & 0xFF;
    if (head.guard != block_guard || (letter != 'H' && letter != 'C') || head.size != head.cur ||
        head.size < 5)
        return block_unsound;
    end = at + 4ull * head.size;
    return end > size_ ? block_cut : block_fits;
}

// The model part is read by the model layer, which says only that a block
// is corrupted when the file ends inside one; its blocks are walked here
// first so that a cut is called a cut. Stops (giving "") at anything that
// is not a cut: the model layer judges that.
std::string run_checker::model_part_cut(std::uint64_t at) const {
    std::uint64_t end = 0;
    block_fit fit = stored_block_at(at, end);
    if (fit == block_cut) return "symbol table";
    if (fit == block_unsound || end - at < 4ull * first_symbol_cell) return {};
    std::uint32_t hdr[mh_words];
    if (!fr_.at(at + 4ull * model_header_cell, hdr, sizeof hdr)) return {};
    if (fr_.foreign) swap_words(hdr, mh_words);
    static const struct {
        int word;
        const char* name;
    } names[] = {{mh_names, "name pool"},         {mh_dims, "dimension block"},
                 {mh_units, "units block"},       {mh_elists, "element lists"},
                 {mh_comments, "comment block"},  {mh_equations, "equation block"},
                 {mh_tokens, "equation texts"},   {mh_lookup_list, "lookup list"},
                 {mh_lookup_data, "lookup data"}, {mh_settings_text, "settings text"},
                 {mh_slot_types, "slot types"},   {mh_password, "password record"}};
    static_assert(std::size(names) == std::size(modelfile_format::stored_blocks));
    for (std::size_t k = 0; k < std::size(names); ++k) {
        int word = modelfile_format::stored_blocks[k].word;
        if (!hdr[word]) continue;
        at = end;
        fit = stored_block_at(at, end);
        if (fit == block_cut) {
            for (const auto& n : names)
                if (n.word == word) return n.name;
        }
        if (fit != block_fits) return {};
    }
    std::uint64_t views = hdr[mh_views] ? hdr[mh_view_count] & 0xFFFF : 0;
    if (end + views * sizeof(view_rec) > size_) return "views";
    return {};
}

bool run_checker::model_facts() {
    model_lock_guard g(rec_.symbols, 0);
    if (!g.ok() || !model_hdr) return fail("model part");
    std::uint64_t levels = model_hdr->w[mh_level_slots];
    std::uint64_t slots = levels + model_hdr->w[mh_other_slots];
    if (slots == 0 || slots > size_) return fail("value slot count");
    side_.slots = static_cast<std::uint32_t>(slots);
    side_.level_slots = static_cast<std::uint32_t>(levels);
    side_.lookups = model_hdr->w[mh_lookups];
    side_.delay_objects = model_hdr->w[mh_delay_objects];
    if (side_.lookups > size_ / 52 + 1) return fail("lookup count");
    side_.slot_types.assign(side_.slots, 0);
    handle tb = model_hdr->w[mh_slot_types];
    if (tb && model_slot_types && handle_size(tb) >= 20 + side_.slots) {
        std::memcpy(side_.slot_types.data(), model_slot_types, side_.slots);
        return true;
    }
    // No type bytes: each slot takes its variable's type.
    std::uint32_t end_cell = model_hdr->w[mh_sym_end];
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end_cell; s += symbol_cells) {
        if (!valid_symbol(s)) continue;
        const symbol_record* r = sym(s);
        if (r->type == 0 || r->type > st_last_with_slots || r->slot < 0) continue;
        std::uint64_t n = sym_dims(s)->count;
        for (std::uint64_t k = 0; k < n; ++k) {
            std::uint64_t slot = static_cast<std::uint64_t>(r->slot) + k;
            if (slot < side_.slots) side_.slot_types[slot] = r->type;
        }
    }
    return true;
}

bool run_checker::header_counts() {
    w28_ = rec_.max_points;
    w29_ = rec_.data_points;
    w30_ = rec_.times;
    w31_ = rec_.time_count;
    if (w28_ < 0 || w29_ < 0 || w30_ < 0 || w31_ < 0) return fail("negative count");
    if (static_cast<std::uint64_t>(w28_) > size_ / 4 ||
        static_cast<std::uint64_t>(w29_) > size_ / 4 ||
        static_cast<std::uint64_t>(w30_) > size_ / 4 ||
        static_cast<std::uint64_t>(w31_) > size_ * 8)
        return fail("count larger than the file");
    type_ = rec_.type;
    const char t = type_;
    lower_ = t == 'r' || t == 's' || t == 'p';
    timed_ = t == 'R' || t == 'r' || t == 'S' || t == 's' || t == 'P' || t == 'p';
    if (timed_ && (w31_ < w30_ || w31_ < w29_)) return fail("time count below the saved times");
    c32_ = rec_.counts32 != 0;
    csize_ = c32_ ? 4 : 2;
    if (rec_.offset_table >= size_)
        return fail(lower_ ? "the row table is cut off at the end of the file"
                           : "the offset table is cut off at the end of the file");
    return true;
}

bool run_checker::row_table(std::uint64_t table_at, std::uint64_t& table_bytes) {
    const kdf_row_head& rh = side_.row;
    const bool foreign = fr_.foreign;
    side_.columns.assign(side_.slots, 0);
    if (rh.direct) {
        if (rh.entries != side_.slots) return fail("row table entries");
        std::vector<std::uint32_t> tab(side_.slots);
        table_bytes = 4ull * side_.slots;
        if (!fr_.at(table_at, tab.data(), table_bytes))
            return fail("the row table is cut off at the end of the file");
        for (std::uint32_t s = 0; s < side_.slots; ++s) {
            std::uint32_t c = foreign ? swap32(tab[s]) : tab[s];
            if (c > rh.row_length) return fail("row table column");
            side_.columns[s] = c;
        }
        return true;
    }
    if (rh.entries > side_.slots) return fail("row table entries");
    table_bytes = 8ull * rh.entries;
    std::vector<std::uint32_t> tab(2ull * rh.entries);
    if (table_bytes && !fr_.at(table_at, tab.data(), table_bytes))
        return fail("the row table is cut off at the end of the file");
    std::int64_t prev = -1;
    for (std::uint32_t e = 0; e < rh.entries; ++e) {
        std::uint32_t c = foreign ? swap32(tab[2 * e]) : tab[2 * e];
        std::uint32_t s = foreign ? swap32(tab[2 * e + 1]) : tab[2 * e + 1];
        if (c > rh.row_length || s >= side_.slots || static_cast<std::int64_t>(s) <= prev)
            return fail("row table pairs");
        prev = s;
        side_.columns[s] = c;
    }
    return true;
}

bool run_checker::value_table() {
    if (!lower_) {
        if (static_cast<std::uint64_t>(rec_.offset_table) + 4ull * side_.slots > size_)
            return fail("the offset table is cut off at the end of the file");
        side_.offsets.resize(side_.slots);
        if (!fr_.at(rec_.offset_table, side_.offsets.data(), 4ull * side_.slots))
            return fail("the offset table is cut off at the end of the file");
        if (fr_.foreign)
            for (auto& o : side_.offsets) o = swap32(o);
        return true;
    }
    if (!fr_.at(rec_.offset_table, &side_.row, sizeof side_.row))
        return fail("the row table is cut off at the end of the file");
    if (fr_.foreign) {
        side_.row.first_row = swap32(side_.row.first_row);
        side_.row.row_length = swap32(side_.row.row_length);
        side_.row.entries = swap32(side_.row.entries);
    }
    const kdf_row_head& rh = side_.row;
    if (rh.row_length == 0 || rh.row_length > size_ / 4) return fail("row length");
    if (static_cast<std::uint64_t>(rh.first_row) +
            4ull * rh.row_length * static_cast<std::uint64_t>(w30_) >
        size_)
        return fail("the rows are cut off at the end of the file");
    std::uint64_t table_at = rec_.offset_table + sizeof(kdf_row_head);
    std::uint64_t table_bytes = 0;
    if (!row_table(table_at, table_bytes)) return false;
    table_end_ = table_at + table_bytes;
    data_values_at_ = table_at + table_bytes + record_head_bytes(w29_);
    if (w29_) {
        std::int64_t n = 0;
        if (!fr_.count(table_at + table_bytes, c32_, n))
            return fail("the data time axis is cut off at the end of the file");
        if (n != w29_) return fail("the data time axis disagrees with the header's data points");
    }
    return true;
}

bool run_checker::run_section() {
    const bool foreign = fr_.foreign;
    if (type_ == 'S' || type_ == 's') {
        kdf_sens_head sh{};
        if (!fr_.at(rec_.section, &sh, sizeof sh))
            return fail("the sensitivity section is cut off at the end of the file");
        if (foreign) {
            sh.rows = swap32(sh.rows);
            sh.times = swap32(sh.times);
            sh.matrix = swap32(sh.matrix);
            sh.singles = swap16(sh.singles);
            sh.series = swap16(sh.series);
        }
        std::uint64_t nsl = std::uint64_t{sh.singles} + sh.series;
        std::vector<std::uint32_t> slots(nsl);
        if (nsl && !fr_.at(std::uint64_t{rec_.section} + 32, slots.data(), 4 * nsl))
            return fail("the sensitivity section is cut off at the end of the file");
        for (auto& s : slots) {
            if (foreign) s = swap32(s);
            if (s >= side_.slots) return fail("sensitivity slot");
        }
        if (sh.series && sh.times != static_cast<std::uint32_t>(w30_))
            return fail("sensitivity saved times");
        std::uint64_t row_floats = sh.singles + std::uint64_t{sh.series} * sh.times;
        if (sh.rows > size_ / 4 || row_floats > size_ / 4)
            return fail("sensitivity matrix larger than the file");
        if (std::uint64_t{sh.matrix} + 4 * row_floats * sh.rows > size_)
            return fail("the sensitivity values are cut off at the end of the file");
        section_end_ = std::uint64_t{rec_.section} + 32 + 4 * nsl;
        matrix_at_ = sh.matrix;
        matrix_end_ = std::uint64_t{sh.matrix} + 4 * row_floats * sh.rows;
        side_.section.resize(32 + 4 * nsl);
        std::memcpy(side_.section.data(), &sh, 32);
        if (nsl) std::memcpy(side_.section.data() + 32, slots.data(), 4 * nsl);
    } else if (type_ == 'P' || type_ == 'p') {
        side_.section.resize(side_.slots);
        if (!fr_.at(rec_.section, side_.section.data(), side_.slots))
            return fail("the payoff types are cut off at the end of the file");
        section_end_ = std::uint64_t{rec_.section} + side_.slots;
        side_.slot_types = side_.section;
    }
    return true;
}

bool run_checker::time_axes() {
    if (!timed_) return true;
    if (!lower_) {
        std::uint64_t time_at = side_.offsets[0];
        std::int64_t n = 0;
        if (!time_at) return fail("Time record");
        if (!fr_.count(time_at, c32_, n))
            return fail("the record of Time is cut off at the end of the file");
        if (n != w30_) return fail("Time count differs from the saved times");
        std::uint64_t data_rec =
            time_at + record_head_bytes(w30_) + 4ull * static_cast<std::uint64_t>(w30_);
        if (w29_) {
            std::int64_t dn = 0;
            if (!fr_.count(data_rec, c32_, dn))
                return fail("the data time axis is cut off at the end of the file");
            if (dn != w29_)
                return fail("the data time axis disagrees with the header's data points");
        }
        data_values_at_ = data_rec + record_head_bytes(w29_);
        std::uint64_t tv = time_at + record_head_bytes(w30_);
        if (!fr_.floats(tv, static_cast<std::size_t>(w30_), side_.time_axis))
            return fail("the values of Time are cut off at the end of the file");
    } else {
        if (side_.columns.empty() || side_.columns[0] != 1) return fail("Time column");
        side_.time_axis.resize(static_cast<std::size_t>(w30_));
        for (std::int64_t k = 0; k < w30_; ++k) {
            std::vector<float> one;
            if (!fr_.floats(side_.row.first_row +
                                4ull * side_.row.row_length * static_cast<std::uint64_t>(k),
                            1, one))
                return fail("the values of Time are cut off at the end of the file");
            side_.time_axis[static_cast<std::size_t>(k)] = one[0];
        }
    }
    if (w29_ && !fr_.floats(data_values_at_, static_cast<std::size_t>(w29_), side_.data_axis))
        return fail("the data time axis is cut off at the end of the file");
    return true;
}

// An indexed block stored at a file offset lies within the file, its head
// and all the cells it says it has.
bool run_checker::block_within(std::uint64_t at, std::uint32_t low_cells) const {
    bhead head{};
    if (!fr_.at(at, &head, sizeof head)) return false;
    std::uint32_t cur = fr_.foreign ? swap32(head.cur) : head.cur;
    return cur >= low_cells && at + 4ull * cur <= size_;
}

// Every stored value record of an upper-case run: its count, its presence
// bits and the values the count and the bits promise. Notes what each record
// says of itself for parts_agree.
bool run_checker::records_within() {
    if (lower_) return true;
    std::vector<std::uint8_t> bits;
    for (std::uint32_t slot = 0; slot < side_.slots; ++slot) {
        std::uint64_t off = side_.offsets[slot];
        if (!off) continue;
        int tb = side_.slot_types[slot];
        // Constants kept in the table hold their value, not an offset.
        if (!rec_.constants_in_section && tb >= 22 && tb <= 24) continue;
        std::uint64_t points;
        if (type_ == 'A')
            points = static_cast<std::uint64_t>(w31_);
        else if (tb == 5 || tb == 6 || tb == 12)
            points = static_cast<std::uint64_t>(w29_);
        else
            points = static_cast<std::uint64_t>(w30_);
        record_note note;
        note.slot = slot;
        note.begin = off;
        if (!read_record_head(off, points, bits, note) ||
            off + csize_ + bits.size() + 4 * std::min<std::uint64_t>(note.count, note.set) >
                size_) {
            cut_ = "the values of " + slot_variable(slot) + " are cut off at the end of the file";
            return fail(cut_.c_str());
        }
        note.end = off + csize_ + bits.size() + 4 * note.count;
        records_.push_back(note);
    }
    return true;
}

// The count and presence bits of the record at off over `points` points.
bool run_checker::read_record_head(std::uint64_t off, std::uint64_t points,
                                   std::vector<std::uint8_t>& bits, record_note& note) const {
    std::int64_t count = 0;
    bits.assign(static_cast<std::size_t>(presence_bytes(points)), 0);
    if (!fr_.count(off, c32_, count) || !fr_.at(off + csize_, bits.data(), bits.size()))
        return false;
    note.points = points;
    note.count = count > 0 ? static_cast<std::uint64_t>(count) : 0;
    note.negative = count < 0;
    note.set = note.stray = 0;
    for (std::uint64_t p = 0; p < 8ull * bits.size(); ++p)
        if (bits[p / 8] >> (p % 8) & 1) ++(p < points ? note.set : note.stray);
    return true;
}

// The saved delay states: per delay object a capacity and that many entries.
bool run_checker::delays_within() {
    if (!rec_.delays) return true;
    std::uint64_t at = rec_.delays;
    for (std::uint32_t k = 0; k < side_.delay_objects; ++k) {
        std::int64_t n = 0;
        if (!fr_.count(at, false, n)) return false;
        at += 2;
        if (n > 0) at += 28 + 8ull * static_cast<std::uint64_t>(n);
        if (at > size_) return false;
    }
    delays_end_ = at;
    return true;
}

// The name of the variable a value slot belongs to, for messages.
std::string run_checker::slot_variable(std::uint32_t slot) const {
    model_lock_guard g(rec_.symbols, 0);
    if (g.ok() && model_hdr) {
        std::uint32_t end_cell = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end_cell; s += symbol_cells) {
            if (!valid_symbol(s)) continue;
            const symbol_record* r = sym(s);
            if (r->type == 0 || r->type > st_last_with_slots || r->slot < 0) continue;
            std::uint64_t first = static_cast<std::uint64_t>(r->slot);
            if (slot >= first && slot < first + sym_dims(s)->count) return sym_name(s);
        }
    }
    return "value slot " + std::to_string(slot);
}

bool run_checker::parts_within_file() {
    const std::uint64_t slot_bytes = 4ull * side_.slots;
    if (rec_.constants && (rec_.constants_in_section || lower_) &&
        std::uint64_t{rec_.constants} + slot_bytes > size_)
        return fail("the constants section is cut off at the end of the file");
    if (rec_.lookups && side_.lookups &&
        !block_within(std::uint64_t{rec_.lookups} + 52ull * side_.lookups, 5))
        return fail("the lookup section is cut off at the end of the file");
    if (rec_.strings && !block_within(rec_.strings, 5))
        return fail("the string block is cut off at the end of the file");
    if (!records_within()) return false;
    if (!delays_within()) return fail("the delay states are cut off at the end of the file");
    return true;
}

bool run_checker::parts_agree() {
    return model_part_agrees() && header_words_agree() && records_agree() && columns_agree() &&
           extents_apart() && no_stray_bytes();
}

// The model part is the one the run was written with (the identity stamp
// the writer puts at the end of the origin text, when the text carries one)
// and its variables have names a reader can find them by.
bool run_checker::model_part_agrees() {
    std::size_t n = strnlen(rec_.origin, sizeof rec_.origin);
    const char* tail = rec_.origin + (n >= 9 ? n - 8 : 0);
    bool stamped = n >= 9 && tail[-1] == ' ' && std::all_of(tail, tail + 8, [](char c) {
                       return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
                   });
    if (stamped && std::strtoul(std::string(tail, 8).c_str(), nullptr, 16) !=
                       get_header_word(rec_.symbols, mh_stamp))
        return fail("the model part differs from the one the run was written with");
    model_lock_guard g(rec_.symbols, 0);
    if (!g.ok() || !model_hdr) return fail("model part");
    std::vector<const char*> names;
    std::uint32_t end_cell = model_hdr->w[mh_sym_end];
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end_cell; s += symbol_cells) {
        if (!valid_symbol(s)) continue;
        int t = sym(s)->type;
        if (!is_variable_type(t) && t != st_element && t != st_range) continue;
        const char* name = sym_name(s);
        if (!name || !*name) return fail("a variable of the model part has no name");
        for (const char* c = name; *c; ++c)
            if (static_cast<unsigned char>(*c) < 0x20)
                return fail("a name in the model part holds a control character");
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const char* a, const char* b) { return name_cmp_us(a, b) < 0; });
    for (std::size_t k = 1; k < names.size(); ++k)
        if (name_cmp_us(names[k - 1], names[k]) == 0) {
            cut_ = std::string("two variables of the model part are named ") + names[k];
            return fail(cut_.c_str());
        }
    return true;
}

// The header's counts: the time points are the larger of the saved times and
// the data points ('A': no saved times), and the longest series is the
// longest of those and of the lookups.
bool run_checker::header_words_agree() {
    std::int64_t longest = w31_;
    for (std::uint32_t k = 0; rec_.lookups && k < side_.lookups; ++k) {
        std::uint32_t points = 0;
        if (!fr_.u32(std::uint64_t{rec_.lookups} + 52ull * k + 32, points))
            return fail("the lookup section is cut off at the end of the file");
        longest = std::max<std::int64_t>(longest, points);
    }
    if (timed_ && w31_ != std::max(w29_, w30_)) {
        cut_ = "the header's time points (" + std::to_string(w31_) +
               ") disagree with its saved times (" + std::to_string(w30_) + ") and data points (" +
               std::to_string(w29_) + ")";
        return fail(cut_.c_str());
    }
    if (type_ == 'A' && (w29_ || w30_))
        return fail("the header of an array run gives saved times or data points");
    if (w28_ != longest) {
        cut_ = "the header's longest series (" + std::to_string(w28_) +
               ") disagrees with the time points and lookups (" + std::to_string(longest) + ")";
        return fail(cut_.c_str());
    }
    return true;
}

// Each record's count is the number of its presence bits, no bit lies past
// its points, the time axes are complete, and the records follow one another
// in slot order without sharing bytes.
bool run_checker::records_agree() {
    if (lower_) return true;
    std::vector<std::uint8_t> bits;
    for (std::size_t k = 0; k < records_.size(); ++k) {
        record_note& r = records_[k];
        auto what = [this, &r] { return r.slot == 0 ? "Time" : slot_variable(r.slot); };
        if (r.negative || r.count != r.set) {
            cut_ = "the value count of " + what() + " disagrees with its presence bits";
            return fail(cut_.c_str());
        }
        if (r.stray) {
            cut_ = "the presence bits of " + what() + " run past its " + std::to_string(r.points) +
                   " points";
            return fail(cut_.c_str());
        }
        if (r.slot == 0 && timed_) {
            if (r.set != r.points) return fail("the record of Time misses saved times");
            if (w29_) {
                // The data time axis lies right behind Time's record.
                record_note d;
                if (!read_record_head(r.end, static_cast<std::uint64_t>(w29_), bits, d))
                    return fail("data time axis");
                if (d.count != d.set || d.set != d.points || d.stray)
                    return fail("the record of the data time axis misses points");
                r.end += csize_ + bits.size() + 4 * d.count;
            }
        }
        if (k > 0 && r.begin < records_[k - 1].end) {
            cut_ = "the values of " + what() + " overlap those of " +
                   slot_variable(records_[k - 1].slot) + " or lie before them";
            return fail(cut_.c_str());
        }
    }
    // Then the bytes behind the offset table and behind each record, up to
    // whatever part comes next (overlaps said first): the first and the last
    // series can lose their entries as well as one between two others.
    const char* lost = " belongs to no variable (its entry in the offset table is lost)";
    const std::uint64_t table_end = std::uint64_t{rec_.offset_table} + 4ull * side_.slots;
    if (!records_.empty() && lost_record_between(table_end, next_part_from(table_end))) {
        cut_ = "a series before the values of " + slot_variable(records_.front().slot) + lost;
        return fail(cut_.c_str());
    }
    for (std::size_t k = 0; k < records_.size(); ++k) {
        const std::uint64_t from = records_[k].end;
        if (!lost_record_between(from, next_part_from(from))) continue;
        cut_ = (k + 1 < records_.size()
                    ? "a series between the values of " + slot_variable(records_[k].slot) +
                          " and " + slot_variable(records_[k + 1].slot)
                    : "a series after the values of " + slot_variable(records_[k].slot)) +
               lost;
        return fail(cut_.c_str());
    }
    return true;
}

// The writer leaves no bytes between the value records (padding would be
// zeros): bytes there are the head of a record whose entry was moved past
// it, which would otherwise read as a shorter series or one of no points.
bool run_checker::no_stray_bytes() {
    if (lower_) return true;
    const std::uint64_t table_end = std::uint64_t{rec_.offset_table} + 4ull * side_.slots;
    auto record_at = [&](std::uint64_t at) -> const record_note* {
        for (const record_note& r : records_)
            if (r.begin == at) return &r;
        return nullptr;
    };
    std::vector<std::uint64_t> gaps{table_end};
    for (const record_note& r : records_) gaps.push_back(r.end);
    for (std::uint64_t from : gaps) {
        std::uint64_t to = next_part_from(from);
        // A constants section the table makes unused is a part all the same.
        if (rec_.constants >= from && rec_.constants < to) to = rec_.constants;
        if (!nonzero_bytes_between(from, to)) continue;
        const record_note* next = record_at(to);
        cut_ = std::to_string(to - from) + " bytes before " +
               (next ? "the values of " +
                           (next->slot == 0 ? std::string("Time") : slot_variable(next->slot))
                     : std::string("the next part")) +
               " belong to no variable (an entry of the offset table points past the start of "
               "its values)";
        return fail(cut_.c_str());
    }
    return true;
}

// Whether any byte from `from` up to `to` is not zero.
bool run_checker::nonzero_bytes_between(std::uint64_t from, std::uint64_t to) const {
    std::uint8_t chunk[4096];
    while (from < to) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, to - from));
        if (!fr_.at(from, chunk, n)) return false;
        for (std::size_t i = 0; i < n; ++i)
            if (chunk[i]) return true;
        from += n;
    }
    return false;
}

// Where the first part or value record at or after a file offset begins
// (the end of the file when none does).
std::uint64_t run_checker::next_part_from(std::uint64_t at) const {
    std::uint64_t next = size_;
    auto consider = [&](std::uint64_t begin) {
        if (begin >= at && begin < next) next = begin;
    };
    consider(model_begin_);
    if (rec_.constants && rec_.constants_in_section) consider(rec_.constants);
    if (rec_.lookups) consider(rec_.lookups);
    if (rec_.strings) consider(rec_.strings);
    consider(rec_.offset_table);
    if (section_end_) consider(rec_.section);
    if (matrix_end_) consider(matrix_at_);
    if (rec_.delays) consider(rec_.delays);
    for (const record_note& r : records_) consider(r.begin);
    return next;
}

// Whether the bytes between two value records hold a whole value record of
// their own: a series whose offset-table entry was cut or zeroed would
// otherwise load as a variable the run never saved. (Padding is zeros: no
// record has a zero count and bit 0 of a series is always set.)
bool run_checker::lost_record_between(std::uint64_t from, std::uint64_t to) const {
    if (to <= from || to - from < static_cast<std::uint64_t>(csize_) + 1 + 4) return false;
    std::vector<std::uint8_t> bits;
    for (std::int64_t points : {w30_, w29_, w31_}) {
        if (points <= 0) continue;
        record_note n;
        if (!read_record_head(from, static_cast<std::uint64_t>(points), bits, n)) continue;
        if (n.negative || n.count == 0 || n.count != n.set || n.stray || bits.empty() ||
            !(bits[0] & 1))
            continue;
        if (from + csize_ + bits.size() + 4 * n.count <= to) return true;
    }
    return false;
}

// Each saved column of a row-layout run belongs to one slot, and there are
// as many as the row is long.
bool run_checker::columns_agree() {
    if (!lower_) return true;
    std::vector<std::uint8_t> seen(side_.row.row_length + 1ull, 0);
    std::uint64_t used = 0;
    for (std::uint32_t c : side_.columns) {
        if (!c) continue;
        if (seen[c]++) {
            cut_ = "column " + std::to_string(c) + " of the row table belongs to two variables";
            return fail(cut_.c_str());
        }
        ++used;
    }
    if (used != side_.row.row_length) {
        cut_ = "the row table saves " + std::to_string(used) + " columns in rows of " +
               std::to_string(side_.row.row_length);
        return fail(cut_.c_str());
    }
    return true;
}

// No two parts of the file share a byte.
bool run_checker::extents_apart() {
    struct extent {
        std::uint64_t begin, end;
        std::string name; // empty: the values of a slot
        std::uint32_t slot;
    };
    std::vector<extent> parts;
    auto add = [&](std::uint64_t b, std::uint64_t e, const char* name, std::uint32_t slot = 0) {
        if (e > b) parts.push_back({b, e, name ? name : "", slot});
    };
    add(0, model_begin_, "header");
    add(model_begin_, model_end_, "model part");
    const std::uint64_t slot_bytes = 4ull * side_.slots;
    if (rec_.constants && (rec_.constants_in_section || lower_))
        add(rec_.constants, rec_.constants + slot_bytes, "constants section");
    if (rec_.lookups) {
        std::uint64_t at = std::uint64_t{rec_.lookups} + 52ull * side_.lookups, end = 0;
        add(rec_.lookups, stored_block_at(at, end) == block_fits ? end : at, "lookup section");
    }
    std::uint64_t end = 0;
    if (rec_.strings && stored_block_at(rec_.strings, end) == block_fits)
        add(rec_.strings, end, "string block");
    if (lower_) {
        add(rec_.offset_table, table_end_, "row table");
        if (w29_)
            add(table_end_, data_values_at_ + 4ull * static_cast<std::uint64_t>(w29_),
                "data time axis");
        add(side_.row.first_row,
            side_.row.first_row + 4ull * side_.row.row_length * static_cast<std::uint64_t>(w30_),
            "rows");
    } else {
        add(rec_.offset_table, rec_.offset_table + slot_bytes, "offset table");
        for (const record_note& r : records_) add(r.begin, r.end, nullptr, r.slot);
    }
    if (section_end_) add(rec_.section, section_end_, "run-type section");
    if (matrix_end_) add(matrix_at_, matrix_end_, "sensitivity values");
    if (rec_.delays) add(rec_.delays, delays_end_, "delay states");
    std::sort(parts.begin(), parts.end(),
              [](const extent& a, const extent& b) { return a.begin < b.begin; });
    auto name_of = [&](const extent& e) {
        return e.name.empty() ? "values of " + slot_variable(e.slot) : e.name;
    };
    for (std::size_t k = 1; k < parts.size(); ++k)
        if (parts[k].begin < parts[k - 1].end) {
            cut_ = "the " + name_of(parts[k - 1]) + " and the " + name_of(parts[k]) + " overlap";
            return fail(cut_.c_str());
        }
    return true;
}

// Opens and checks a run file into a local record and side state (see
// run_checker). fail_kind as run_checker::header.
bool open_local(const std::string& full, loaded_run& rec, run_side& side, std::string& why,
                int& fail_kind) {
    run_checker c(full, rec, side, why);
    if (!(c.header(fail_kind) && c.info_block() && c.model_part() && c.model_facts() &&
          c.header_counts() && c.value_table() && c.run_section() && c.time_axes() &&
          c.parts_within_file() && c.parts_agree()))
        return false;
    c.accept();
    return true;
}

} // namespace

// ------------------------------------------------------------ the table ---

int loaded_run_count() {
    return g_count;
}
std::uint16_t next_load_serial() {
    return g_serial;
}

void set_run_reference_hook(run_reference_fn fn) {
    g_ref_hook = fn;
}

bool run_is_referenced(int i) {
    loaded_run r = read_record(i);
    if (!live(r)) return false;
    if (model_rec) {
        int n = std::clamp(model_rec->run_count, 0, max_selected_runs);
        for (int k = 0; k < n; ++k)
            if (model_rec->runs[k].run == i && model_rec->runs[k].serial == r.serial) return true;
    }
    return g_ref_hook && g_ref_hook(i, r.serial);
}

namespace {
int open_run(const char* name, bool fresh);
}

int kdf_open(const char* name) {
    return open_run(name, false);
}

int kdf_open_fresh(const char* name) {
    return open_run(name, true);
}

namespace {
int open_run(const char* name, bool fresh) {
    if (cur_run) {
        report(10, "kdf_open with lock");
        unlock_rh();
    }
    std::string full = run_full_name(name);
    if (full.empty()) return -1;
    if (!g_records) {
        g_records = new_handle(sizeof(loaded_run));
        g_count = 1;
        g_side.assign(1, run_side{});
        g_names = new_cblock(0, 0, 0);
    }
    int existing = fresh ? -1 : find_by_path(full, true);
    if (existing >= 0) return existing;

    loaded_run rec{};
    run_side side;
    std::string why;
    int kind = 0;
    bool ok = open_local(full, rec, side, why, kind);
    if (!ok && kind == 1 && g_count > 20) {
        // Short of file handles perhaps: drop the runs nobody keeps or
        // refers to, and try once more.
        unload_runs(0);
        ok = open_local(full, rec, side, why, kind);
    }
    if (!ok) {
        if (kind == 2)
            report(5, "the file %s is not compatible with the current system", full.c_str());
        else if (!why.empty())
            report(5, "Corrupted kdf file %s (%s)", full.c_str(), why.c_str());
        return -1;
    }
    // The record becomes live only now.
    int slot = -1;
    for (int i = 0; i < g_count; ++i)
        if (!live(read_record(i))) {
            slot = i;
            break;
        }
    if (slot < 0) {
        g_records = resize_handle(g_records, static_cast<std::uint32_t>(sizeof(loaded_run)) *
                                                 static_cast<std::uint32_t>(g_count + 1));
        slot = g_count++;
        g_side.resize(static_cast<std::size_t>(g_count));
    }
    rec.name_cell = static_cast<std::uint32_t>(cblock_add_string(g_names, full.c_str(), 0));
    rec.serial = g_serial++;
    if (g_serial == 0) g_serial = 1;
    rec.kept = 0;
    write_record(slot, rec);
    g_side[static_cast<std::size_t>(slot)] = std::move(side);
    return slot;
}
} // namespace

int find_run(const char* name) {
    if (!g_records) return -1;
    std::string full = run_full_name(name);
    if (full.empty()) return -1;
    int i = find_by_path(full, true);
    if (i < 0) return -1;
    return read_record(i).file < 0 ? -1 : i;
}

int unload_run(int i) {
    if (cur_run && cur_run_index == i) return 0; // it is being read
    loaded_run r = read_record(i);
    if (!live(r)) return 0;
    r.type = 0;
    write_record(i, r); // no longer live: the model part is freed when nobody else holds it
    release_parts(r, i);
    if (r.name_cell && g_names) cblock_free(g_names, static_cast<std::int32_t>(r.name_cell));
    loaded_run cleared{};
    write_record(i, cleared);
    g_side[static_cast<std::size_t>(i)] = run_side{};
    return 1;
}

void unload_runs(int all) {
    for (int i = 0; i < g_count; ++i) {
        loaded_run r = read_record(i);
        if (!live(r)) continue;
        if (all || (!r.kept && !run_is_referenced(i))) unload_run(i);
    }
}

void mark_loaded_runs() {
    for (int i = 0; i < g_count; ++i) {
        loaded_run r = read_record(i);
        r.kept = live(r) ? 1 : 0;
        write_record(i, r);
    }
}

void free_loaded_runs() {
    if (cur_run) unlock_rh();
    for (int i = 0; i < g_count; ++i) unload_run(i);
    free_handle(g_records);
    free_hblock_if(g_names);
    g_records = 0;
    g_names = 0;
    g_count = 0;
    g_side.clear();
}

bool runs_share_model(int a, int b) {
    loaded_run ra = read_record(a), rb = read_record(b);
    return live(ra) && live(rb) && ra.symbols && ra.symbols == rb.symbols;
}

std::string run_file_name(int i) {
    loaded_run r = read_record(i);
    if (!live(r)) return {};
    return g_side[static_cast<std::size_t>(i)].path;
}

char run_type(int i) {
    run_lock l(i);
    return l ? l->type : 0;
}

char* run_display_name(int i) {
    std::string p = run_file_name(i);
    if (p.empty()) return nullptr;
    std::string n = file_name_part(p.c_str());
    std::size_t dot = n.rfind('.');
    if (dot != std::string::npos && dot > 0) n.resize(dot);
    return scratch_strdup(n.c_str());
}

std::string run_info_text(int i) {
    run_lock l(i);
    if (!l || !l->info) return {};
    handle_lock<std::uint32_t> b(l->info);
    if (!b) return {};
    std::uint32_t cells = reinterpret_cast<bhead*>(b.get())->cur;
    if (cells < 7) return {};
    const char* text = reinterpret_cast<const char*>(b.get() + 6);
    return std::string(text, strnlen(text, 4ull * (cells - 6)));
}

int run_time_count(int i) {
    run_lock l(i);
    return l ? l->time_count : 0;
}

int run_max_points(int i) {
    run_lock l(i);
    return l ? l->max_points : 0;
}

int run_time_bases(int i, char*** list_out) {
    if (list_out) *list_out = nullptr;
    handle symbols;
    {
        run_lock l(i);
        if (!l) return 0;
        symbols = l->symbols;
    }
    std::vector<std::string> names;
    {
        model_lock_guard g(symbols, 0);
        if (!g.ok()) return 0;
        int n = 0;
        const symbol_id* alpha = alpha_index(&n);
        for (int k = 0; alpha && k < n; ++k)
            if (valid_symbol(alpha[k]) && sym(alpha[k])->type == st_time_base)
                names.emplace_back(sym_name(alpha[k]));
    }
    if (names.empty()) return 0;
    auto** list = static_cast<char**>(scratch_alloc(sizeof(char*) * names.size()));
    for (std::size_t k = 0; k < names.size(); ++k) list[k] = scratch_strdup(names[k].c_str());
    if (list_out) *list_out = list;
    return static_cast<int>(names.size());
}

int close_run_file_for_rewrite(const char* path) {
    int i = find_by_path(full_path(nullptr, path), false);
    if (i < 0) return -1;
    loaded_run r = read_record(i);
    if (r.file >= 0) fh_close(r.file);
    r.file = run_file_closed;
    write_record(i, r);
    return i;
}

int reopen_run_file(const char* path) {
    int i = find_by_path(full_path(nullptr, path), false);
    if (i < 0) return -1;
    loaded_run r = read_record(i);
    if (r.file != run_file_closed) return i;
    file_handle fh = fh_open_read(g_side[static_cast<std::size_t>(i)].path.c_str());
    long size = fh >= 0 ? fh_size(fh) : -1;
    if (fh >= 0 &&
        static_cast<std::uint64_t>(size) != g_side[static_cast<std::size_t>(i)].file_size) {
        // Another file now: reading it with this run's tables would show
        // wrong values.
        fh_close(fh);
        fh = -1;
    }
    r.file = fh >= 0 ? fh : run_file_unopened;
    write_record(i, r);
    return i;
}

namespace {
void before_delete(const char* path) {
    if (!path || !g_records) return;
    std::string full = full_path(nullptr, path);
    int i = find_by_path(full, false);
    if (i >= 0) unload_run(i);
}

// A new run file was renamed over path: every record read from the old file
// goes (a copy loaded afresh beside another included), so no later open by
// name finds the old run's tables and values.
void after_replace(const char* path) {
    if (!path || !g_records) return;
    std::string full = full_path(nullptr, path);
    for (int i = 0; i < g_count; ++i) {
        if (!live(read_record(i)) || static_cast<std::size_t>(i) >= g_side.size()) continue;
        run_side& side = g_side[static_cast<std::size_t>(i)];
        if (name_cmp(side.path.c_str(), full.c_str()) != 0 || unload_run(i)) continue;
        // Being read right now: it keeps its record but no longer matches
        // the file at its path.
        side.identity = file_identity{};
        side.identity.known = true;
        side.identity.mtime_ns = -1;
    }
}
} // namespace

void install_run_delete_hook() {
    set_before_delete_hook(before_delete);
    set_run_file_replaced_hook(after_replace);
}

// ------------------------------------------------------ the current run ---

loaded_run* lock_rh(int i) {
    if (cur_run) {
        report(10, "lock_rh called when a block is already locked");
        return nullptr;
    }
    if (i < 0 || i >= g_count || !g_records) return nullptr;
    auto* recs = static_cast<loaded_run*>(lock_handle(g_records));
    if (!recs) return nullptr;
    loaded_run* r = recs + i;
    if (!live(*r)) {
        unlock_handle(g_records);
        return nullptr;
    }
    if (r->file == run_file_unopened) {
        report(8, "The dataset %s not loaded properly.  Try unloading and reloading it",
               g_side[static_cast<std::size_t>(i)].path.c_str());
        r->file = run_file_broken;
        unlock_handle(g_records);
        return nullptr;
    }
    cur_run = r;
    cur_run_index = i;
    g_cur_foreign = g_side[static_cast<std::size_t>(i)].foreign;
    return r;
}

void unlock_rh() {
    if (!cur_run) {
        report(10, "unlock_rh called when there is nothing to unlock");
        return;
    }
    cur_run = nullptr;
    cur_run_index = -1;
    unlock_handle(g_records);
}

run_side* cur_side() {
    if (!cur_run || cur_run_index < 0 || static_cast<std::size_t>(cur_run_index) >= g_side.size())
        return nullptr;
    return &g_side[static_cast<std::size_t>(cur_run_index)];
}

bool run_read_at(std::uint64_t offset, void* buffer, std::size_t n) {
    run_side* s = cur_side();
    if (!s || cur_run->file < 0) return false;
    file_reader fr{cur_run->file, false, s->file_size};
    return fr.at(offset, buffer, n);
}

std::uint32_t run_u32(std::uint32_t v) {
    return g_cur_foreign ? swap32(v) : v;
}
std::uint16_t run_u16(std::uint16_t v) {
    return g_cur_foreign ? swap16(v) : v;
}
float run_f32(float v) {
    return g_cur_foreign ? as_float(swap32(float_bits(v))) : v;
}
