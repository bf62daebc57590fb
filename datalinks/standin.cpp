// The spreadsheet stand-in (see standin.h).
#include "datalinks/standin.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "datalinks/client.h"
#include "datalinks/service_items.h"
#include "datalinks/zip_parts.h"
#include "foundation/files.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "platform/automation.h"
#include "platform/clip.h"
#include "platform/dde.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "shell/settings_rows.h"

namespace standin {

namespace {

using automation::dispid;
using automation::hresult;
using automation::variant;
using automation::vt;
using sheet_service::area;
using sheet_service::area_of;
using sheets::cell;
using sheets::cell_kind;

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}
bool same_text(const std::string& a, const std::string& b) {
    return upper(a) == upper(b);
}
std::string file_part(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// ---- open workbooks ------------------------------------------------------------

struct book_state {
    std::mutex m;
    std::string path;
    sheets::workbook wb;
    std::int32_t cookie = 0;
    bool changed = false; // cells put or poked since it was read
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
};

void stamp(book_state& b) {
    std::error_code ec;
    b.size = std::filesystem::file_size(b.path, ec);
    b.time = ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(b.path, ec);
}
// Never destroyed: an opening worker may still use them while the program exits.
std::mutex& books_lock = *new std::mutex;
std::vector<std::shared_ptr<book_state>>& books = *new std::vector<std::shared_ptr<book_state>>;
void (*open_hook)(const std::string&) = nullptr;

std::shared_ptr<book_state> find_book(const std::string& path) {
    std::lock_guard<std::mutex> g(books_lock);
    for (auto& b : books)
        if (same_text(b->path, path)) return b;
    return nullptr;
}

std::shared_ptr<book_state> find_book_by_file(const std::string& file) {
    std::lock_guard<std::mutex> g(books_lock);
    for (auto& b : books)
        if (same_text(file_part(b->path), file)) return b;
    return nullptr;
}

std::shared_ptr<automation::dispatch> make_workbook_object(std::shared_ptr<book_state> b);

std::shared_ptr<book_state> open_state(const std::string& path, std::string* why) {
    if (auto b = find_book(path)) return b;
    if (open_hook) open_hook(path);
    auto b = std::make_shared<book_state>();
    b->path = path;
    stamp(*b);
    if (!sheets::read_workbook(path, &b->wb, why)) return nullptr;
    {
        std::lock_guard<std::mutex> g(books_lock);
        for (auto& other : books)
            if (same_text(other->path, path)) return other; // opened meanwhile
        books.push_back(b);
    }
    b->cookie = automation::register_running(path, make_workbook_object(b));
    return b;
}

void close_state(const std::shared_ptr<book_state>& b) {
    if (!b) return;
    automation::revoke_running(b->cookie);
    std::lock_guard<std::mutex> g(books_lock);
    books.erase(std::remove(books.begin(), books.end(), b), books.end());
}

// A save asked by a client: refused or failed ones are reported.
bool save_reported(const std::string& book, const std::string& target) {
    std::string why;
    if (book.empty() || target.empty()) return false;
    if (save_book(book, target, &why)) return true;
    report(5, "The workbook %s was not saved as %s: %s", book.c_str(), target.c_str(), why.c_str());
    return false;
}

// ---- cells and variants ----------------------------------------------------------

variant cell_variant(const sheets::workbook& wb, const cell* c) {
    if (!c) return {};
    switch (c->kind) {
    case cell_kind::number:
        return variant::of_double(c->number);
    case cell_kind::text:
        return variant::of_text(c->text < wb.texts.size() ? wb.texts[c->text] : "");
    case cell_kind::boolean:
        return variant::of_bool(c->number != 0);
    case cell_kind::error:
        return variant::of_error(2042); // #N/A
    default:
        return {};
    }
}

bool variant_cell(sheets::workbook& wb, const variant& v, cell* out) {
    cell c;
    switch (v.type) {
    case vt::empty:
    case vt::null:
        break;
    case vt::i1:
    case vt::i2:
    case vt::i4:
    case vt::ui1:
    case vt::ui2:
    case vt::ui4:
        c.kind = cell_kind::number;
        c.number = static_cast<double>(v.integer);
        break;
    case vt::cy:
        c.kind = cell_kind::number;
        c.number = static_cast<double>(v.integer) * 0.0001;
        break;
    case vt::r4:
    case vt::r8:
    case vt::date:
        if (!std::isfinite(v.real)) return false;
        c.kind = cell_kind::number;
        c.number = v.real;
        break;
    case vt::boolean:
        c.kind = cell_kind::boolean;
        c.number = v.integer ? 1 : 0;
        break;
    case vt::bstr:
        c.kind = cell_kind::text;
        c.text = wb.add_text(v.text);
        break;
    case vt::error:
        c.kind = cell_kind::error;
        c.text = wb.add_text("#N/A");
        break;
    default:
        return false;
    }
    *out = c;
    return true;
}

// ---- automation objects ----------------------------------------------------------

class named_members : public automation::dispatch {
public:
    explicit named_members(std::vector<const char*> names) : names_(std::move(names)) {}
    hresult ids_of_names(const std::string& name, dispid* id) override {
        for (std::size_t k = 0; k < names_.size(); ++k)
            if (same_text(name, names_[k])) {
                *id = static_cast<dispid>(k + 1);
                return automation::s_ok;
            }
        return automation::e_unknown_name;
    }

private:
    std::vector<const char*> names_;
};

class range_object final : public named_members {
public:
    range_object(std::shared_ptr<book_state> b, area a) : named_members({"Value"}), b_(b), a_(a) {}
    hresult invoke(dispid id, int kind, const std::vector<variant>& args,
                   variant* result) override {
        if (id != 1) return automation::e_unknown_name;
        std::lock_guard<std::mutex> g(b_->m);
        if (a_.sheet < 0 || static_cast<std::size_t>(a_.sheet) >= b_->wb.sheets.size())
            return automation::e_exception;
        const sheets::sheet& s = b_->wb.sheets[static_cast<std::size_t>(a_.sheet)];
        if (kind & automation::invoke_put) return put(args);
        if (a_.rows == 1 && a_.cols == 1) {
            *result = cell_variant(b_->wb, s.at(a_.row0, a_.col0));
            return automation::s_ok;
        }
        auto arr = automation::make_array(
            {{1, static_cast<std::uint32_t>(a_.rows)}, {1, static_cast<std::uint32_t>(a_.cols)}});
        if (!arr) return automation::e_exception;
        for (std::int64_t r = 0; r < a_.rows; ++r)
            for (std::int64_t c = 0; c < a_.cols; ++c)
                arr->elements[static_cast<std::size_t>(r * a_.cols + c)] =
                    cell_variant(b_->wb, s.at(a_.row0 + r, a_.col0 + c));
        result->type = vt::array;
        result->array = std::move(arr);
        return automation::s_ok;
    }

private:
    hresult put(const std::vector<variant>& args) {
        if (args.empty()) return automation::e_bad_count;
        const variant& v = args.back();
        std::string why;
        auto put_cell = [&](std::int64_t r, std::int64_t c, const variant& x) {
            cell k;
            if (!variant_cell(b_->wb, x, &k)) return false;
            b_->changed = true;
            return b_->wb.put(a_.sheet, a_.row0 + r, a_.col0 + c, k, &why);
        };
        if (v.type != vt::array) {
            for (std::int64_t r = 0; r < a_.rows; ++r)
                for (std::int64_t c = 0; c < a_.cols; ++c)
                    if (!put_cell(r, c, v)) return automation::e_type;
            return automation::s_ok;
        }
        if (!v.array || v.array->bounds.empty() || v.array->bounds.size() > 2)
            return automation::e_type;
        const auto& bd = v.array->bounds;
        const std::int64_t rows = bd.size() == 2 ? bd[0].count : 1;
        const std::int64_t cols = bd.size() == 2 ? bd[1].count : bd[0].count;
        for (std::int64_t r = 0; r < std::min(rows, a_.rows); ++r)
            for (std::int64_t c = 0; c < std::min(cols, a_.cols); ++c)
                if (!put_cell(r, c, v.array->elements[static_cast<std::size_t>(r * cols + c)]))
                    return automation::e_type;
        return automation::s_ok;
    }
    std::shared_ptr<book_state> b_;
    area a_;
};

class worksheet_object final : public named_members {
public:
    worksheet_object(std::shared_ptr<book_state> b, int sheet)
        : named_members({"Name", "Range"}), b_(std::move(b)), sheet_(sheet) {}
    hresult invoke(dispid id, int, const std::vector<variant>& args, variant* result) override {
        std::lock_guard<std::mutex> g(b_->m);
        if (id == 1) {
            *result = variant::of_text(b_->wb.sheets[static_cast<std::size_t>(sheet_)].name);
            return automation::s_ok;
        }
        if (id != 2) return automation::e_unknown_name;
        if (args.empty() || args.size() > 2) return automation::e_bad_count;
        for (const variant& a : args)
            if (a.type != vt::bstr) return automation::e_type;
        area a;
        if (!area_of(b_->wb, sheet_, args[0].text, args.size() > 1 ? args[1].text : "", &a))
            return automation::e_exception;
        *result = variant::of_object(std::make_shared<range_object>(b_, a));
        return automation::s_ok;
    }

private:
    std::shared_ptr<book_state> b_;
    int sheet_;
};

class worksheets_object final : public named_members {
public:
    explicit worksheets_object(std::shared_ptr<book_state> b)
        : named_members({"Count", "Item"}), b_(std::move(b)) {}
    hresult invoke(dispid id, int, const std::vector<variant>& args, variant* result) override {
        std::lock_guard<std::mutex> g(b_->m);
        const auto n = static_cast<std::int64_t>(b_->wb.sheets.size());
        if (id == 1) {
            *result = variant::of_int(static_cast<std::int32_t>(n));
            return automation::s_ok;
        }
        if (id != 2) return automation::e_unknown_name;
        if (args.size() != 1) return automation::e_bad_count;
        int s = -1;
        if (args[0].type == vt::bstr) {
            s = b_->wb.find_sheet(args[0].text);
        } else if (args[0].type == vt::i2 || args[0].type == vt::i4) {
            if (args[0].integer >= 1 && args[0].integer <= n)
                s = static_cast<int>(args[0].integer - 1);
        } else {
            return automation::e_type;
        }
        if (s < 0) return automation::e_bad_index;
        *result = variant::of_object(std::make_shared<worksheet_object>(b_, s));
        return automation::s_ok;
    }

private:
    std::shared_ptr<book_state> b_;
};

class workbook_object final : public named_members {
public:
    explicit workbook_object(std::shared_ptr<book_state> b)
        : named_members({"Name", "FullName", "Worksheets", "SaveAs", "Close"}), b_(std::move(b)) {}
    hresult invoke(dispid id, int, const std::vector<variant>& args, variant* result) override {
        switch (id) {
        case 1:
            *result = variant::of_text(file_part(b_->path));
            return automation::s_ok;
        case 2:
            *result = variant::of_text(b_->path);
            return automation::s_ok;
        case 3:
            *result = variant::of_object(std::make_shared<worksheets_object>(b_));
            return automation::s_ok;
        case 4: {
            if (args.size() != 1 || args[0].type != vt::bstr) return automation::e_bad_count;
            return save_reported(b_->path, args[0].text) ? automation::s_ok
                                                         : automation::e_exception;
        }
        case 5:
            close_state(b_);
            return automation::s_ok;
        default:
            return automation::e_unknown_name;
        }
    }

private:
    std::shared_ptr<book_state> b_;
};

std::shared_ptr<automation::dispatch> make_workbook_object(std::shared_ptr<book_state> b) {
    return std::make_shared<workbook_object>(std::move(b));
}

class workbooks_object final : public named_members {
public:
    workbooks_object() : named_members({"Open", "Count", "Item"}) {}
    hresult invoke(dispid id, int, const std::vector<variant>& args, variant* result) override {
        if (id == 1) {
            if (args.size() != 1 || args[0].type != vt::bstr) return automation::e_bad_count;
            std::string why;
            auto b = open_state(args[0].text, &why);
            if (!b) return automation::e_exception;
            *result = variant::of_object(make_workbook_object(b));
            return automation::s_ok;
        }
        std::lock_guard<std::mutex> g(books_lock);
        if (id == 2) {
            *result = variant::of_int(static_cast<std::int32_t>(books.size()));
            return automation::s_ok;
        }
        if (id != 3) return automation::e_unknown_name;
        if (args.size() != 1) return automation::e_bad_count;
        if (args[0].type != vt::i4 && args[0].type != vt::i2) return automation::e_type;
        if (args[0].integer < 1 || static_cast<std::size_t>(args[0].integer) > books.size())
            return automation::e_bad_index;
        *result = variant::of_object(
            make_workbook_object(books[static_cast<std::size_t>(args[0].integer - 1)]));
        return automation::s_ok;
    }
};

class application_object final : public named_members {
public:
    application_object() : named_members({"Visible", "Workbooks", "Quit"}) {}
    hresult invoke(dispid id, int kind, const std::vector<variant>& args,
                   variant* result) override {
        if (id == 1) {
            if (kind & automation::invoke_put) {
                if (args.empty()) return automation::e_bad_count;
                visible_ = args.back().integer != 0 || args.back().real != 0;
            } else {
                *result = variant::of_bool(visible_);
            }
            return automation::s_ok;
        }
        if (id == 2) {
            *result = variant::of_object(std::make_shared<workbooks_object>());
            return automation::s_ok;
        }
        if (id == 3) return automation::s_ok; // stays for the other users of its workbooks
        return automation::e_unknown_name;
    }

private:
    bool visible_ = false;
};

std::mutex& app_lock = *new std::mutex;
std::shared_ptr<automation::dispatch>& the_application = *new std::shared_ptr<automation::dispatch>;

std::shared_ptr<automation::dispatch> make_application() {
    std::lock_guard<std::mutex> g(app_lock);
    if (!the_application) {
        the_application = std::make_shared<application_object>();
        automation::class_id id = 0;
        if (!automation::failed(automation::class_from_program_id("Excel.Application", &id)))
            automation::register_active_object(id, the_application);
    }
    return the_application;
}

// ---- DDE services -------------------------------------------------------------------

constexpr UINT msg_quit_service = WM_USER + 61;

struct conversation {
    std::string service;
    HWND client = nullptr;
    bool system = false;
    std::string book; // path of the topic's workbook
    int sheet = 0;
    bool lotus = false;
};
std::map<std::string, HWND> services;       // upper-case service name -> its window
std::map<HWND, std::string> service_names;  // and back, as spelled
std::map<HWND, conversation> conversations; // by server window

LRESULT conv_proc(HWND w, UINT m, WPARAM wp, LPARAM lp);
LRESULT service_proc(HWND w, UINT m, WPARAM wp, LPARAM lp);

void ensure_classes() {
    WNDCLASS wc{};
    if (!GetClassInfo(nullptr, "Kavrel_sheetservice", &wc)) {
        wc = WNDCLASS{};
        wc.lpfnWndProc = service_proc;
        wc.lpszClassName = "Kavrel_sheetservice";
        RegisterClass(&wc);
    }
    if (!GetClassInfo(nullptr, "Kavrel_sheetconv", &wc)) {
        wc = WNDCLASS{};
        wc.lpfnWndProc = conv_proc;
        wc.lpszClassName = "Kavrel_sheetconv";
        RegisterClass(&wc);
    }
}

std::string atom_text(ATOM a) {
    char buf[256];
    const UINT n = a ? GlobalGetAtomNameA(a, buf, sizeof buf) : 0;
    return std::string(buf, n);
}

// The conversation a topic names, false when none.
bool resolve_topic(const std::string& service, const std::string& topic, conversation* out) {
    conversation c;
    c.service = service;
    c.lotus = same_text(service, "123w");
    if (same_text(topic, "System") || topic.empty()) {
        c.system = true;
        *out = c;
        return true;
    }
    std::shared_ptr<book_state> b;
    std::string sheet;
    const std::size_t open = topic.find('['), close = topic.find(']');
    if (!c.lotus && open != std::string::npos && close != std::string::npos && close > open) {
        const std::string dir = topic.substr(0, open),
                          file = topic.substr(open + 1, close - open - 1);
        sheet = topic.substr(close + 1);
        b = dir.empty() ? find_book_by_file(file) : find_book(dir + file);
        if (!b) return false;
    } else {
        b = find_book(topic);
        if (!b) b = find_book_by_file(topic);
        if (!b) return false;
    }
    c.book = b->path;
    if (!sheet.empty()) {
        std::lock_guard<std::mutex> g(b->m);
        c.sheet = b->wb.find_sheet(sheet);
        if (c.sheet < 0) return false;
    }
    *out = c;
    return true;
}

std::string command_argument(const std::string& cmd) {
    const std::size_t q = cmd.find('"');
    if (q == std::string::npos) return {};
    const std::size_t e = cmd.find('"', q + 1);
    return e == std::string::npos ? std::string() : cmd.substr(q + 1, e - q - 1);
}

// Carries out one execute; its acknowledgement word.
WORD run_command(HWND w, const conversation& c, const std::string& text) {
    const std::string u = upper(text);
    const bool quit =
        c.lotus ? u.find("{QUIT}") != std::string::npos : u.find("[QUIT(") != std::string::npos;
    if (quit) {
        PostMessage(GetParent(w), msg_quit_service, 0, 0);
        return dde_ack_word({0, false, true});
    }
    const bool open =
        c.lotus ? u.find("{FILE-OPEN") != std::string::npos : u.find("[OPEN(") != std::string::npos;
    if (open) {
        std::string why;
        return dde_ack_word({0, false, open_book(command_argument(text), &why)});
    }
    // Saving: the topic's workbook, or on "System" the one opened last.
    const bool save = c.lotus ? u.find("{FILE-SAVE") != std::string::npos
                              : u.find("[SAVE.AS(") != std::string::npos;
    if (save) {
        std::string book = c.book;
        if (c.system) {
            std::lock_guard<std::mutex> g(books_lock);
            if (!books.empty()) book = books.back()->path;
        }
        return dde_ack_word({0, false, save_reported(book, command_argument(text))});
    }
    return dde_ack_word({0, false, false});
}

void answer_request(HWND w, const conversation& c, HWND client, LPARAM lp) {
    UINT_PTR format = 0, item_atom = 0;
    UnpackDDElParam(WM_DDE_REQUEST, lp, &format, &item_atom);
    const ATOM item = static_cast<ATOM>(item_atom);
    auto negative = [&] {
        const LPARAM ack = ReuseDDElParam(lp, WM_DDE_REQUEST, WM_DDE_ACK, 0, item);
        if (!PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w), ack)) {
            if (item) GlobalDeleteAtom(item);
            FreeDDElParam(WM_DDE_ACK, ack);
        }
    };
    auto b = c.system ? nullptr : find_book(c.book);
    if (!b || !item) return negative();
    register_clip_formats();
    dde_block block;
    block.release = true;
    block.response = true;
    block.format = static_cast<UINT>(format);
    {
        std::lock_guard<std::mutex> g(b->m);
        area a;
        if (!sheet_service::item_area(b->wb, c.sheet, c.lotus, atom_text(item), opts.r1c1_row,
                                      opts.r1c1_col, &a) ||
            a.sheet < 0 || static_cast<std::size_t>(a.sheet) >= b->wb.sheets.size() ||
            a.rows * a.cols > sheets::kMaxTableCells)
            return negative();
        const sheets::sheet& s = b->wb.sheets[static_cast<std::size_t>(a.sheet)];
        if (format == clip_formats().xltable)
            block.value = sheet_service::xltable_block(s, b->wb, a.row0, a.col0, a.rows, a.cols);
        else if (format == clip_formats().wk1)
            block.value = sheet_service::wk1_block(s, b->wb, a.row0, a.col0, a.rows, a.cols);
        else if (format == CF_TEXT)
            block.value = sheet_service::text_block(s, b->wb, a);
        else
            return negative();
    }
    HGLOBAL mem = make_dde_data(block);
    if (!mem) return negative();
    const LPARAM data =
        ReuseDDElParam(lp, WM_DDE_REQUEST, WM_DDE_DATA, reinterpret_cast<UINT_PTR>(mem), item);
    if (!PostMessage(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(w), data)) {
        GlobalFree(mem);
        GlobalDeleteAtom(item);
        FreeDDElParam(WM_DDE_DATA, data);
    }
}

void answer_poke(HWND w, const conversation& c, HWND client, LPARAM lp) {
    UINT_PTR mem_value = 0, item_atom = 0;
    UnpackDDElParam(WM_DDE_POKE, lp, &mem_value, &item_atom);
    const HGLOBAL mem = reinterpret_cast<HGLOBAL>(mem_value);
    const ATOM item = static_cast<ATOM>(item_atom);
    bool ok = false;
    dde_block block;
    const bool read = mem && read_dde_poke(mem, &block);
    auto b = c.system ? nullptr : find_book(c.book);
    if (read && b && item && block.format == CF_TEXT) {
        std::lock_guard<std::mutex> g(b->m);
        area a;
        if (sheet_service::item_area(b->wb, c.sheet, c.lotus, atom_text(item), opts.r1c1_row,
                                     opts.r1c1_col, &a)) {
            std::string why;
            b->changed = true;
            ok = sheet_service::poke_text(b->wb, a, block.value, &why);
        }
    }
    if (read && block.release) GlobalFree(mem);
    const LPARAM ack =
        ReuseDDElParam(lp, WM_DDE_POKE, WM_DDE_ACK, dde_ack_word({0, false, ok}), item);
    if (!PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w), ack)) {
        if (item) GlobalDeleteAtom(item);
        FreeDDElParam(WM_DDE_ACK, ack);
    }
}

LRESULT conv_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto it = conversations.find(w);
    if (it == conversations.end()) return DefWindowProc(w, m, wp, lp);
    const conversation c = it->second;
    const HWND client = reinterpret_cast<HWND>(wp);
    switch (m) {
    case WM_DDE_EXECUTE: {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_EXECUTE, lp, &lo, &hi);
        const HGLOBAL mem = reinterpret_cast<HGLOBAL>(hi);
        const std::size_t n = GlobalSize(mem);
        const char* p = static_cast<const char*>(GlobalLock(mem));
        std::string text;
        if (p) {
            text.assign(p, strnlen(p, n));
            GlobalUnlock(mem);
        }
        const WORD status = p ? run_command(w, c, text) : dde_ack_word({0, false, false});
        const LPARAM ack = PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(mem));
        if (!PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w), ack)) {
            GlobalFree(mem);
            FreeDDElParam(WM_DDE_ACK, ack);
        }
        return 0;
    }
    case WM_DDE_REQUEST:
        answer_request(w, c, client, lp);
        return 0;
    case WM_DDE_POKE:
        answer_poke(w, c, client, lp);
        return 0;
    case WM_DDE_ADVISE:
    case WM_DDE_UNADVISE: {
        // No hot links: refused; advise options stay the client's to free.
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(m, lp, &lo, &hi);
        const LPARAM ack = ReuseDDElParam(lp, m, WM_DDE_ACK, 0, hi);
        if (!PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w), ack)) {
            if (hi) GlobalDeleteAtom(static_cast<ATOM>(hi));
            FreeDDElParam(WM_DDE_ACK, ack);
        }
        return 0;
    }
    case WM_DDE_ACK: {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_ACK, lp, &lo, &hi);
        if (hi) GlobalDeleteAtom(static_cast<ATOM>(hi));
        FreeDDElParam(WM_DDE_ACK, lp);
        return 0;
    }
    case WM_DDE_TERMINATE:
        if (client == it->second.client) {
            PostMessage(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(w), 0);
            it->second.client = nullptr; // answered: no second terminate on destroy
            DestroyWindow(w);
        }
        return 0;
    case WM_DESTROY:
        if (it->second.client)
            PostMessage(it->second.client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(w), 0);
        conversations.erase(it);
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

LRESULT service_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto name = service_names.find(w);
    if (name == service_names.end()) return DefWindowProc(w, m, wp, lp);
    if (m == msg_quit_service) {
        quit_service(name->second);
        return 0;
    }
    if (m != WM_DDE_INITIATE) return DefWindowProc(w, m, wp, lp);
    const std::string service = atom_text(static_cast<ATOM>(lp & 0xFFFF));
    const std::string topic = atom_text(static_cast<ATOM>((lp >> 16) & 0xFFFF));
    if (!same_text(service, name->second)) return 0;
    conversation c;
    if (!resolve_topic(name->second, topic, &c)) return 0;
    c.client = reinterpret_cast<HWND>(wp);
    const HWND conv = CreateWindowEx(0, "Kavrel_sheetconv", "", WS_CHILD, 0, 0, 0, 0, w, nullptr,
                                     nullptr, nullptr);
    if (!conv) return 0;
    conversations[conv] = c;
    const ATOM a = GlobalAddAtomA(name->second.c_str());
    const ATOM t = GlobalAddAtomA(topic.empty() ? "System" : topic.c_str());
    SendMessage(c.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(conv),
                static_cast<LPARAM>(a | (static_cast<LPARAM>(t) << 16)));
    if (a) GlobalDeleteAtom(a);
    if (t) GlobalDeleteAtom(t);
    return 0;
}

} // namespace

// ---- public ------------------------------------------------------------------------------

void install() {
    // The window classes come with the first service started.
    automation::register_server("Excel.Application", make_application);
}

void reset() {
    for (auto& [name, w] : std::map<std::string, HWND>(services)) quit_service(name);
    std::vector<std::shared_ptr<book_state>> all;
    {
        std::lock_guard<std::mutex> g(books_lock);
        all = books;
    }
    for (auto& b : all) close_state(b);
    std::lock_guard<std::mutex> g(app_lock);
    if (the_application) {
        automation::class_id id = 0;
        if (!automation::failed(automation::class_from_program_id("Excel.Application", &id)))
            automation::revoke_active_object(id);
    }
    the_application.reset();
}

bool running(const std::string& service) {
    auto it = services.find(upper(service));
    return it != services.end() && IsWindow(it->second);
}

bool start_service(const std::string& service, const std::string& file) {
    if (!same_text(service, "Excel") && !same_text(service, "123w")) return false;
    ensure_classes();
    if (!running(service)) {
        const HWND w = CreateWindowEx(0, "Kavrel_sheetservice", service.c_str(), WS_POPUP, 0, 0, 0,
                                      0, nullptr, nullptr, nullptr, nullptr);
        if (!w) return false;
        services[upper(service)] = w;
        service_names[w] = same_text(service, "Excel") ? "Excel" : "123w";
    }
    std::string why;
    return file.empty() || open_book(file, &why);
}

void quit_service(const std::string& service) {
    auto it = services.find(upper(service));
    if (it == services.end()) return;
    const HWND w = it->second;
    services.erase(it);
    std::vector<HWND> convs;
    for (auto& [cw, c] : conversations)
        if (GetParent(cw) == w) convs.push_back(cw);
    for (HWND cw : convs) DestroyWindow(cw);
    service_names.erase(w);
    DestroyWindow(w);
}

bool open_book(const std::string& path, std::string* why) {
    return open_state(path, why) != nullptr;
}

bool is_open(const std::string& path) {
    return find_book(path) != nullptr;
}

std::shared_ptr<const sheets::workbook> book_of(const std::string& path) {
    auto b = find_book(path);
    if (!b) return nullptr;
    {
        std::lock_guard<std::mutex> g(b->m);
        std::error_code ec;
        const auto size = std::filesystem::file_size(b->path, ec);
        const auto time =
            ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(b->path, ec);
        // A file saved again by someone else is read again, unless cells
        // were changed here (they would be lost).
        if (ec || (!b->changed && (size != b->size || time != b->time))) b.reset();
    }
    if (!b) {
        close_state(find_book(path));
        return nullptr;
    }
    return std::shared_ptr<const sheets::workbook>(b, &b->wb);
}

bool book_copy(const std::string& path, sheets::workbook* out) {
    auto b = find_book(path);
    if (!b) return false;
    std::lock_guard<std::mutex> g(b->m);
    *out = b->wb;
    return true;
}

bool save_book(const std::string& path, const std::string& target, std::string* why) {
    auto b = find_book(path);
    if (!b) {
        *why = "the workbook is not open";
        return false;
    }
    std::error_code ec;
    // Any workbook read from the target would lose what we do not keep.
    {
        std::lock_guard<std::mutex> g(books_lock);
        for (auto& other : books)
            if (same_text(other->path, target) ||
                std::filesystem::equivalent(other->path, target, ec)) {
                *why = "saving over " + other->path +
                       " is refused: its formulas and formatting would be lost; save under a "
                       "new name";
                return false;
            }
    }
    sheets::workbook copy;
    {
        std::lock_guard<std::mutex> g(b->m);
        copy = b->wb;
    }
    return write_xlsx(copy, target, why);
}

namespace {

std::string xml_text(std::string_view s) {
    std::string out;
    for (char ch : s) {
        if (const char* entity = markup_entity(ch)) {
            out += entity;
        } else if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' &&
                   ch != '\r') {
            // Control characters other than tab and line ends are no XML.
            out += "_x00" + std::string(1, "0123456789ABCDEF"[(ch >> 4) & 1]) +
                   "0123456789ABCDEF"[ch & 15] + "_";
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

// The error values the format knows; any other error text goes out as #N/A.
std::string error_value(std::string_view text) {
    for (const char* known : {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"})
        if (text == known) return known;
    return "#N/A";
}

// A sheet name the format accepts: 1 to 31 characters, none of []:*?/\ .
bool sheet_name_ok(const std::string& name) {
    std::size_t chars = 0;
    for (unsigned char ch : name) chars += (ch & 0xC0) != 0x80;
    return chars >= 1 && chars <= 31 && name.find_first_of("[]:*?/\\") == std::string::npos &&
           name.front() != '\'' && name.back() != '\'';
}

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

} // namespace

// Our own .xlsx: every number in its shortest form that reads back to the
// same double, NaN and infinite numbers and error cells as the format's
// error cells, names as spelled and in their sheet's scope. Written whole
// through a temporary file beside the target (flushed, then renamed; one a
// killed save leaves is removed by the next write in that folder), keeping a
// replaced file's mode.
std::string xlsx_bytes(const sheets::workbook& book, std::string* why) {
    std::vector<sheets::zip_part> parts;
    std::string types = std::string(kHead) +
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                        "content-types\"><Default Extension=\"rels\" "
                        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/xl/workbook.xml\" "
                        "ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                        "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
                        "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    std::string rels = std::string(kHead) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\">";
    std::string sheets_xml, strings;
    std::size_t string_count = 0;
    if (book.sheets.empty()) {
        *why = "a workbook without a sheet";
        return {};
    }
    for (std::size_t k = 0; k < book.sheets.size(); ++k) {
        const sheets::sheet& s = book.sheets[k];
        if (!sheet_name_ok(s.name)) {
            *why = "the sheet name \"" + s.name + "\" cannot be written";
            return {};
        }
        const std::string n = std::to_string(k + 1);
        types += "<Override PartName=\"/xl/worksheets/sheet" + n +
                 ".xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + kRel +
                "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        sheets_xml += "<sheet name=\"" + xml_text(s.name) + "\" sheetId=\"" + n + "\" r:id=\"rId" +
                      n + "\"/>";
        std::string x = std::string(kHead) + "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" +
                        kRel + "\"><sheetData>";
        for (std::size_t r = 0; r < s.rows.size(); ++r) {
            std::string row;
            for (std::size_t c = 0; c < s.rows[r].size(); ++c) {
                const cell& v = s.rows[r][c];
                const std::string ref = sheets::column_letters(static_cast<std::int64_t>(c) + 1) +
                                        std::to_string(r + 1);
                const std::string text = v.text < book.texts.size() ? book.texts[v.text] : "";
                switch (v.kind) {
                case cell_kind::number:
                    if (std::isfinite(v.number)) {
                        char num[32] = {};
                        std::to_chars(num, num + sizeof num - 1, v.number);
                        row += "<c r=\"" + ref + "\"><v>" + num + "</v></c>";
                    } else {
                        row += "<c r=\"" + ref + "\" t=\"e\"><v>" +
                               (std::isnan(v.number) ? "#N/A" : "#NUM!") + "</v></c>";
                    }
                    break;
                case cell_kind::boolean:
                    row += "<c r=\"" + ref + "\" t=\"b\"><v>" + (v.number != 0 ? "1" : "0") +
                           "</v></c>";
                    break;
                case cell_kind::text:
                    strings += "<si><t xml:space=\"preserve\">" + xml_text(text) + "</t></si>";
                    row += "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(string_count++) +
                           "</v></c>";
                    break;
                case cell_kind::error:
                    row += "<c r=\"" + ref + "\" t=\"e\"><v>" + error_value(text) + "</v></c>";
                    break;
                default:
                    break;
                }
            }
            if (!row.empty()) x += "<row r=\"" + std::to_string(r + 1) + "\">" + row + "</row>";
        }
        x += "</sheetData></worksheet>";
        parts.push_back({"xl/worksheets/sheet" + n + ".xml", std::move(x)});
    }
    std::string names;
    for (const auto& [key, r] : book.names) {
        if (r.sheet < 0 || static_cast<std::size_t>(r.sheet) >= book.sheets.size()) continue;
        std::string quoted;
        for (char ch : book.sheets[static_cast<std::size_t>(r.sheet)].name)
            quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
        const std::string range = "'" + quoted + "'!$" + sheets::column_letters(r.col0 + 1) + "$" +
                                  std::to_string(r.row0 + 1) + ":$" +
                                  sheets::column_letters(r.col1 + 1) + "$" +
                                  std::to_string(r.row1 + 1);
        names += "<definedName name=\"" + xml_text(r.spelled.empty() ? key : r.spelled) + "\"";
        if (r.scope >= 0 && static_cast<std::size_t>(r.scope) < book.sheets.size())
            names += " localSheetId=\"" + std::to_string(r.scope) + "\"";
        names += ">" + xml_text(range) + "</definedName>";
    }
    types += "</Types>";
    rels += "<Relationship Id=\"rIdStyles\" Type=\"" + std::string(kRel) +
            "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rIdStrings\" Type=\"" + kRel +
            "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";
    std::string workbook_xml = std::string(kHead) + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
                               kRel + "\"><sheets>" + sheets_xml + "</sheets>" +
                               (names.empty() ? "" : "<definedNames>" + names + "</definedNames>") +
                               "</workbook>";
    const std::string styles =
        std::string(kHead) + "<styleSheet xmlns=\"" + kMain +
        "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
        "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border><left/><right/>"
        "<top/><bottom/><diagonal/></border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" "
        "fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs count=\"1\"><xf "
        "numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
        "</cellStyles></styleSheet>";
    parts.insert(
        parts.begin(),
        {{"[Content_Types].xml", types},
         {"_rels/.rels", std::string(kHead) +
                             "<Relationships xmlns=\"http://schemas.openxmlformats.org/"
                             "package/2006/relationships\"><Relationship Id=\"rId1\" "
                             "Type=\"" +
                             kRel +
                             "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                             "</Relationships>"},
         {"xl/workbook.xml", workbook_xml},
         {"xl/_rels/workbook.xml.rels", rels},
         {"xl/styles.xml", styles},
         {"xl/sharedStrings.xml", std::string(kHead) + "<sst xmlns=\"" + kMain + "\" count=\"" +
                                      std::to_string(string_count) + "\" uniqueCount=\"" +
                                      std::to_string(string_count) + "\">" + strings + "</sst>"}});
    return sheets::zip_archive(parts, true);
}

// Earlier versions saved a workbook through "<name>.part<pid>" beside it,
// which a killed save left behind at full size. Such a file of this workbook
// whose writer is no longer running goes with the next save: only a regular
// file of the user's own, named exactly so (digits only after ".part").
// Returns the number removed.
int remove_stale_parts(const std::string& target) {
    const std::filesystem::path path(target);
    const std::string prefix = path.filename().string() + ".part";
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    int removed = 0;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            !std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid <= 0) continue;
        // This version never writes such a file, so one of its own id is stale.
        if (pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH))
            continue;
        const std::string full = (folder / name).string();
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::unlink(full.c_str()) == 0) ++removed;
    }
    return removed;
}

bool write_xlsx(const sheets::workbook& book, const std::string& target, std::string* why) {
    std::error_code dir_ec;
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, dir_ec)) {
        *why = "no folder " + folder.string();
        return false;
    }
    // A read-only file is not replaced behind its owner's back (the save may
    // come from another program, with nobody to ask).
    if (file_is_read_only(target.c_str())) {
        *why = target + " is read only";
        return false;
    }
    const int saved_errno = errno;
    remove_stale_parts(target);
    errno = saved_errno;
    const std::string bytes = xlsx_bytes(book, why);
    if (bytes.empty()) return false;
    if (!write_whole_file(target.c_str(), bytes.data(), bytes.size())) {
        const int error = errno;
        *why = "cannot write " + target + ": " + std::strerror(error);
        return false;
    }
    return true;
}

void set_open_hook(void (*hook)(const std::string& path)) {
    open_hook = hook;
}

} // namespace standin
