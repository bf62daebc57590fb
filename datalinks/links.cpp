// Spreadsheet links (see links.h).
#include "datalinks/links.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "datalinks/client.h"
#include "datalinks/standin.h"
#include "datalinks/workbook.h"
#include "foundation/files.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "model/model.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "shell/filechoice.h"
#include "shell/pump.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/run.h"
#include "sim/simdata.h"

namespace links {

namespace {

using automation::variant;
using automation::vt;

struct cached_link {
    std::string name;
    std::shared_ptr<automation::dispatch> workbook;
};
std::vector<cached_link> excel_links;
std::atomic<int> open_state{0};
bool ole_ready = false;
bool given_up = false;                  // the last opening ended with the user's Stop
std::vector<std::string> redirect_list; // "name=value"
worker_starter starter = nullptr;

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}
bool same_text(const std::string& a, const std::string& b) {
    return upper(a) == upper(b);
}
bool file_exists(const std::string& p) {
    std::error_code ec;
    return !p.empty() && std::filesystem::is_regular_file(p, ec);
}
std::string dir_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens the workbook in the spreadsheet program: its application object,
// made visible, asked to open the file. Runs on the worker thread.
bool excel_open_workbook(const std::string& path) {
    automation::class_id id = 0;
    if (automation::failed(automation::class_from_program_id("Excel.Application", &id)))
        return false;
    std::shared_ptr<automation::dispatch> app;
    if (automation::failed(automation::get_active_object(id, &app)) &&
        automation::failed(automation::create_instance(id, &app)))
        return false;
    if (automation::failed(
            automation::call(app.get(), "Visible", automation::invoke_put, {variant::of_int(1)})))
        return false;
    variant books, book;
    if (automation::failed(
            automation::call(app.get(), "Workbooks", automation::invoke_get, {}, &books)) ||
        !books.object)
        return false;
    return !automation::failed(automation::call(books.object.get(), "Open",
                                                automation::invoke_method, {variant::of_text(path)},
                                                &book)) &&
           book.object;
}

void excel_open_thread(std::string path) {
    automation::initialise();
    const bool ok = excel_open_workbook(path);
    automation::uninitialise();
    int expected = 1;
    if (ok && open_state.compare_exchange_strong(expected, 3)) return;
    // Failed, or the user gave up meanwhile: idle again either way.
    open_state.store(0);
}

bool start_thread(const std::string& path) {
    try {
        std::thread(excel_open_thread, path).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// A poll step of the wait for the worker: 200 ms, ended early when the
// opening ends. On a test's manual clock the step also moves that clock, so
// timers fire as they would; the wait itself is real time either way, so the
// user-interface thread idles while the worker reads.
// The caller holds the reader's fork gate; it is let go only while this
// thread sleeps, so the worker's reader forks then.
void wait_for_worker(std::unique_lock<std::recursive_mutex>& gate) {
    Clock& clock = platform_clock();
    const std::uint64_t start = clock.now_ms();
    gate.unlock();
    for (int k = 0; k < 40 && open_state.load() == 1; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    gate.lock();
    if (clock.is_manual()) {
        clock.sleep_ms(200);
    } else {
        const std::uint64_t spent = clock.now_ms() - start;
        if (spent < 200 && open_state.load() == 1) Sleep(static_cast<DWORD>(200 - spent));
    }
}

// The shell's quit call at shutdown (shell/upcalls.h): the links end; the
// programs they started are asked to quit only when forced.
void end_links(int force) {
    dde_close_all();
    quit_started_spreadsheets(force);
}

void forget_redirects() {
    redirect_list.clear();
}

} // namespace

std::atomic<int>& excel_open_state() {
    return open_state;
}

bool last_open_given_up() {
    return given_up;
}

void set_worker_starter(worker_starter s) {
    starter = s;
}

void set_redirect(const std::string& name, const std::string& value) {
    const std::string key = upper(name) + "=";
    for (std::string& e : redirect_list)
        if (upper(e.substr(0, key.size())) == key) {
            e = name + "=" + value;
            return;
        }
    redirect_list.push_back(name + "=" + value);
}

std::string redirect_of(const std::string& name) {
    const std::string key = upper(name) + "=";
    for (const std::string& e : redirect_list)
        if (upper(e.substr(0, key.size())) == key) return e.substr(key.size());
    return {};
}

std::string resolve_file(const std::string& file, bool is_123, bool no_prompt) {
    std::string path;
    if (!file.empty() && file[0] != '?') {
        path = full_path(nullptr, file.c_str());
    } else {
        const std::string name = file.empty() ? "?" : file;
        if (no_prompt) return {};
        if (name.find('=') != std::string::npos) {
            report(5, "Illegal redirect name %s includes =", name.c_str());
            return {};
        }
        path = redirect_of(name);
        if (!file_exists(path)) {
            char title[300];
            std::snprintf(title, sizeof title, "Spreadsheet file %s", name.c_str() + 1);
            for (;;) {
                // The row of the program's own format, and every format the
                // data links read, preselected (the row alone hides .xlsx).
                const char* chosen =
                    file_dialog(title, nullptr, fd_open_data, is_123 ? ft_lotus : ft_excel, 0,
                                is_123 ? ft_lotus : ft_excel, 0,
                                "*.xlsx;*.xls;*.ods;*.csv;*.tab;*.txt;*.wk1", nullptr);
                if (!chosen || !*chosen) return {};
                if (file_exists(chosen)) {
                    path = chosen;
                    break;
                }
            }
            set_redirect(name, path);
        }
    }
    // A member of the open package comes to disk first.
    if (!file_exists(path)) {
        const char* on_disk = extract_member(path.c_str(), 0);
        if (on_disk) path = on_disk;
    }
    if (!file_exists(path)) {
        report(5, "The file %s does not exist - can't read info", path.c_str());
        return {};
    }
    data_source_index(path.c_str());
    return path;
}

int connect_spreadsheet(const std::string& file, const std::string& sheet, bool is_123,
                        bool no_prompt) {
    const std::string path = resolve_file(file, is_123, no_prompt);
    if (path.empty()) return -1;
    const std::string service = is_123 ? "123w" : "Excel";
    std::string topic;
    if (is_123) {
        topic = path;
    } else {
        if (!opts.r1c1_star) {
            const int ch = automation_connect(path, sheet);
            if (ch >= 0) return ch;
            if (ch == -2) return -1;
        }
        topic = dir_of(path);
        if (sheet.empty())
            topic.append(name_of(path));
        else
            topic.append("[").append(name_of(path)).append("]").append(sheet);
    }
    const HWND focus = GetFocus();
    int ch = kdde_initiate(service.c_str(), topic.c_str());
    if (ch >= 0) return ch;
    if (!is_123 && !sheet.empty()) {
        // The workbook answering alone means it is open but has no such sheet.
        dde_client::set_quiet(true);
        const int book = kdde_initiate(service.c_str(), (dir_of(path) + name_of(path)).c_str());
        dde_client::set_quiet(false);
        if (book >= 0) {
            kdde_terminate(book);
            report(5, "The sheet name %s appears to be invalid", sheet.c_str());
            return -1;
        }
    }
    bool refused = false;
    const int sys = kdde_initiate(service.c_str(), "System");
    if (sys < 0) {
        if (start_spreadsheet_program(service, path)) started_programs() |= is_123 ? 2 : 1;
    } else {
        const std::string command =
            is_123 ? "[run({FILE-OPEN \"" + path + "\"})]" : "[Open(\"" + path + "\")]";
        kdde_wait_execute(sys, command.c_str(), 4500);
        // The exported wait counts any answer; a refused Open is known here.
        refused = dde_client::last_execute_ack() == 0;
        if (HWND partner = dde_client::channel_partner(sys)) SetFocus(partner);
        if (focus) SetFocus(focus);
        kdde_terminate(sys);
    }
    if (!refused) {
        ch = kdde_initiate(service.c_str(), topic.c_str());
        if (ch >= 0) return ch;
        std::string second;
        if (!is_123 && !sheet.empty())
            second.append("[").append(name_of(path)).append("]").append(sheet);
        else
            second = name_of(path);
        ch = kdde_initiate(service.c_str(), second.c_str());
        if (ch >= 0) return ch;
    }
    report(5, "Failed to connect to %s to get data from %s", service.c_str(), path.c_str());
    return -1;
}

bool start_spreadsheet_program(const std::string& service, const std::string& file) {
    const HWND focus = GetFocus();
    const bool ok = standin::start_service(service, file);
    if (ok && main_wnd && IsWindow(main_wnd))
        SetWindowPos(main_wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (focus) SetFocus(focus);
    return ok;
}

std::string range_text(const std::string& sheet, std::int64_t first_row, std::int64_t first_col,
                       std::int64_t rows, std::int64_t cols, bool is_123, bool automation) {
    const std::int64_t last_row = first_row + rows - 1, last_col = first_col + cols - 1;
    const std::string a = sheets::column_letters(first_col) + std::to_string(first_row);
    const std::string b = sheets::column_letters(last_col) + std::to_string(last_row);
    if (automation) return a + ":" + b;
    if (is_123) return (sheet.empty() ? std::string() : sheet + ":") + a + ".." + b;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%c%lld%c%lld:%c%lld%c%lld", opts.r1c1_row,
                  static_cast<long long>(first_row), opts.r1c1_col,
                  static_cast<long long>(first_col), opts.r1c1_row,
                  static_cast<long long>(last_row), opts.r1c1_col,
                  static_cast<long long>(last_col));
    return buf;
}

std::optional<sheets::data_matrix> request_range(int channel, const std::string& range, bool is_123,
                                                 bool transposed) {
    if (automation::dispatch* ws = dde_client::channel_object(channel)) {
        const std::size_t colon = range.find(':');
        if (colon == std::string::npos) return excel_read_range(ws, range, "", transposed);
        return excel_read_range(ws, range.substr(0, colon), range.substr(colon + 1), transposed);
    }
    return dde_client::request_table(channel, range, is_123 ? 2 : 1, transposed, 1500);
}

int automation_connect(const std::string& path, const std::string& sheet) {
    const int have = dde_client::find_automation_channel(path, sheet);
    if (have >= 0) return have;
    if (!ole_ready) {
        if (automation::failed(automation::initialise())) return -1;
        ole_ready = true;
    }
    auto ws = open_excel_sheet(path, sheet);
    if (!ws) return given_up ? -2 : -1;
    return dde_client::add_automation_channel(std::move(ws), path, sheet);
}

bool open_workbook_in_spreadsheet(const std::string& path,
                                  std::shared_ptr<automation::dispatch>* book) {
    given_up = false;
    if (find_open_workbook(path, book)) return true;
    int idle = 0;
    // An opening still running from an earlier request: not now.
    if (!open_state.compare_exchange_strong(idle, 1)) return false;
    // The wait's Stop raises the engine's stop request; what was there before
    // (a Stop Simulation of the user's own) comes back after the wait, and a
    // Stop that only gave the opening up is cleared, so the run it belongs
    // to goes on instead of stopping to ask about its results.
    const std::uint8_t before = stop_request;
    stop_request = 0;
    if (!(starter ? starter(path) : start_thread(path))) {
        // No worker: nothing would ever end the wait, so none starts.
        open_state.store(0);
        stop_request = before;
        return false;
    }
    // The panel's lines are short: the file's name on the first, its folder
    // on the second, so a long path never hides which file it is.
    const std::string folder = dir_of(path);
    std::unique_lock<std::recursive_mutex> gate(sheets::reader_fork_gate());
    while (open_state.load() == 1) {
        wip_message(-1, "Opening %s", name_of(path).c_str());
        wip_message(-2, "%s", folder.c_str());
        wait_for_worker(gate);
        if (stop_request) {
            int opening = 1;
            open_state.compare_exchange_strong(opening, 2);
            given_up = true;
            Sleep(200);
            break;
        }
    }
    gate.unlock();
    stop_request = before;
    if (sim_phase < 5 || livesweep_state) wip_message(0, nullptr);
    pump_messages();
    if (main_wnd && IsWindow(main_wnd)) {
        SetForegroundWindow(main_wnd);
        SetWindowPos(main_wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    }
    pump_messages();
    int opened = 3;
    if (!open_state.compare_exchange_strong(opened, 0)) return false;
    return find_open_workbook(path, book);
}

std::shared_ptr<automation::dispatch> open_excel_sheet(const std::string& path,
                                                       const std::string& sheet) {
    std::shared_ptr<automation::dispatch> book, ws;
    if (!open_workbook_in_spreadsheet(path, &book)) return nullptr;
    return get_worksheet(sheet, std::move(book), &ws) ? ws : nullptr;
}

bool find_open_workbook(const std::string& path, std::shared_ptr<automation::dispatch>* out) {
    // Paths are the same on every disk here: no drive letters to map.
    for (const cached_link& l : excel_links)
        if (same_text(l.name, path)) {
            *out = l.workbook;
            return true;
        }
    const bool fill = excel_links.empty();
    bool found = false;
    for (const std::string& name : automation::running_names()) {
        const bool match = !found && same_text(name, path);
        if (!match && !(fill && name.find('!') == std::string::npos && !name.empty() &&
                        (name[0] == '/' || (name.size() > 1 && name[1] == ':'))))
            continue;
        std::shared_ptr<automation::dispatch> obj;
        if (automation::failed(automation::bind_running(name, &obj)) || !obj) continue;
        excel_links.push_back({name, obj});
        if (match) {
            *out = obj;
            found = true;
            if (!fill) break;
        }
    }
    return found;
}

bool get_worksheet(const std::string& sheet, std::shared_ptr<automation::dispatch> workbook,
                   std::shared_ptr<automation::dispatch>* out) {
    variant sheets_v;
    if (!workbook ||
        automation::failed(automation::call(workbook.get(), "Worksheets", automation::invoke_get,
                                            {}, &sheets_v)) ||
        !sheets_v.object)
        return false;
    workbook.reset();
    for (std::int32_t i = 1;; ++i) {
        variant item, name;
        if (automation::failed(automation::call(sheets_v.object.get(), "Item",
                                                automation::invoke_get | automation::invoke_method,
                                                {variant::of_int(i)}, &item)) ||
            !item.object)
            return false;
        if (automation::failed(
                automation::call(item.object.get(), "Name", automation::invoke_get, {}, &name)))
            continue;
        if (same_text(name.text, sheet)) {
            *out = item.object;
            return true;
        }
    }
}

std::optional<sheets::data_matrix> excel_read_range(automation::dispatch* ws,
                                                    const std::string& first,
                                                    const std::string& last, bool transposed) {
    std::vector<variant> args{variant::of_text(first)};
    if (!last.empty()) args.push_back(variant::of_text(last));
    variant range, value;
    if (automation::failed(automation::call(ws, "Range", automation::invoke_get, args, &range)) ||
        !range.object)
        return std::nullopt;
    if (automation::failed(
            automation::call(range.object.get(), "Value", automation::invoke_get, {}, &value)))
        return std::nullopt;
    sheets::data_matrix m;
    if (value.type != vt::array) {
        m.values.assign(1, static_cast<float>(variant_to_number(value)));
        m.outer = m.inner = 1;
        return m;
    }
    // Every range of more than one cell is rows by columns; one dimension or
    // more than two is not a range's value.
    if (!value.array || value.array->bounds.size() != 2) return std::nullopt;
    const auto& bd = value.array->bounds;
    const std::int64_t rows = bd[0].count, cols = bd[1].count;
    if (rows * cols > sheets::kMaxTableCells) return std::nullopt;
    m.values.assign(static_cast<std::size_t>(rows * cols), 0.0f);
    m.outer = static_cast<std::int32_t>(transposed ? cols : rows);
    m.inner = static_cast<std::int32_t>(transposed ? rows : cols);
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c) {
            variant e;
            if (automation::failed(
                    automation::array_get(*value.array,
                                          {static_cast<std::int32_t>(bd[0].lower + r),
                                           static_cast<std::int32_t>(bd[1].lower + c)},
                                          &e)))
                return std::nullopt;
            const auto at = static_cast<std::size_t>(transposed ? c * rows + r : r * cols + c);
            m.values[at] = static_cast<float>(variant_to_number(e));
        }
    return m;
}

double variant_to_number(const variant& v) {
    switch (v.type) {
    case vt::i1:
    case vt::i2:
    case vt::i4:
    case vt::ui1:
    case vt::ui2:
    case vt::ui4:
        return static_cast<double>(v.integer);
    case vt::r4:
    case vt::r8:
    case vt::date:
        return v.real;
    case vt::cy:
        return static_cast<double>(v.integer) * 0.0001;
    case vt::bstr:
        return sheets::text_to_number(v.text);
    default:
        return NA;
    }
}

void release_excel_links() {
    excel_links.clear();
}

int cached_links() {
    return static_cast<int>(excel_links.size());
}

void setup_exogenous_data() {
    dde_close_all();
}

void install_spreadsheet_links() {
    standin::install();
    set_release_links_hook(release_excel_links);
    dde_quit_spreadsheets_hook = end_links;
    on_model_switched(forget_redirects);
    set_exogenous_data_hook(setup_exogenous_data);
}

} // namespace links
