// The file choice dialog (see filechoice.h). The dialog is one of our own
// (template 1536): the shown directory, its sub-directories and the files
// matching the chosen type, the file name field and the type list. It never
// changes the process's current directory; a relative name is taken in the
// directory shown.
#include "shell/filechoice.h"

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "resources/dialogs.h"
#include "shell/controls/tooltip.h"
#include "shell/dialogs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The two tables of {description, patterns} pairs, each text zero-terminated.
const char* const first_table[32] = {
    "Kavrel Models\0*.kmf;*.kpm;*.kpa",
    "Text Format Models\0*.kmt",
    "Binary Format Models\0*.kmf",
    "Datasets (Runs)\0*.kdf",
    "Graph Definitions\0*.kgd;*.kgf",
    "Text Graph Definition\0*.kgd",
    "Binary Graph Definition\0*.kgf",
    "Constant Changes\0*.cin",
    "CSV (comma delimited)\0*.csv",
    "Data Sources\0*.dat;*.xls;*.tab;*.txt;*.wk?",
    "Kavrel .dat Format\0*.dat",
    "Microsoft Excel Format\0*.xls",
    "Lotus 123 Format\0*.wk1;*.wk?",
    "Tab Delimited Files\0*.tab;*.txt",
    "Sensitivity Control\0*.ksc;*.prm",
    "Save Lists\0*.lst",
    "Optimization Control\0*.koc;*.prm",
    "Payoff Definitions\0*.kpd;*.prm",
    "Kavrel Application Definitions\0*.kcd;*.kcf",
    "Text Kavapp Definitions\0*.kcd",
    "Binary Kavapp Definitions\0*.kcf",
    "Command Scripts\0*.cmd",
    "Data Conversion Format\0*.frm",
    "Windows Metafiles\0*.wmf",
    "Graphics Transfer (.gtx)\0*.gtx",
    "Text File\0*.txt",
    "Analysis Toolsets\0*.kts",
    "Version 1.6 Text Model\0*.kmt",
    "Sketch Toolsets\0*.sts",
    "Version 4 Text Model\0*.kmt",
    "All Files\0*.*",
    "Kavrel Database Inputs\0*.kdi",
};
const char* const second_table[5] = {
    "Kavrel Database Outputs\0*.kdo",
    "Optimization Output Files\0*.out",
    "Gaming Changes\0*.gin",
    "Kavrel Packaged Models\0*.kpm",
    "Kavrel Packaged Applications\0*.kpa",
};

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

// The file-name part after the last path separator.
const char* after_separator(const char* path) {
    const char* p = path;
    for (const char* q = path; *q; ++q)
        if (is_separator(*q)) p = q + 1;
    return p;
}

// Case-insensitive glob match of one pattern ("*" any run, "?" one char).
bool glob(const char* name, const char* pat, const char* pat_end) {
    while (pat < pat_end) {
        if (*pat == '*') {
            ++pat;
            if (pat == pat_end) return true;
            for (const char* n = name;; ++n) {
                if (glob(n, pat, pat_end)) return true;
                if (!*n) return false;
            }
        }
        if (!*name) return false;
        if (*pat != '?' && std::tolower(static_cast<unsigned char>(*pat)) !=
                               std::tolower(static_cast<unsigned char>(*name)))
            return false;
        ++pat;
        ++name;
    }
    return *name == 0;
}

std::string with_slash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// The folder of the last file chosen: this run's, else the one the
// settings kept from an earlier run.
std::string& last_folder() {
    static std::string f;
    if (f.empty()) {
        const char* kept = ini_value(last_folder_key);
        if (kept) f = kept;
    }
    return f;
}

void remember_folder(const std::string& dir) {
    last_folder() = dir;
    ini_set(last_folder_key, dir.c_str());
}

// The "Look in" tip: shown after the tip wait while the pointer rests on a
// folder text that had to be shortened. The field is a plain text, which
// takes no pointer moves: the dialog looks where the pointer is.
constexpr UINT_PTR look_in_timer = 7;
constexpr int look_in_poll_ms = 100;

bool is_directory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool pointer_on(HWND w) {
    POINT p{};
    GetCursorPos(&p);
    RECT r{};
    GetWindowRect(w, &r);
    return PtInRect(&r, p) != 0;
}

struct choice_state;
void look_in_tip(HWND dialog, choice_state& st);

// The state of one showing of the dialog.
struct choice_state {
    const char* title = nullptr;
    int mode = fd_open;
    filter_list* filters = nullptr;
    std::string dir;         // the directory shown, with a trailing "/"
    std::string name;        // the name field's text at start
    int type = 0;            // the chosen row (from 0)
    std::string wildcard;    // a pattern typed in the name field ("" none)
    std::string result;      // the chosen path (absolute) after OK
    bool dir_elided = false; // the folder text is shortened: the tip gives it whole
    int rested_ms = 0;       // how long the pointer has been on the folder text
    bool tip_up = false;
};

void look_in_tip(HWND dialog, choice_state& st) {
    HWND field = GetDlgItem(dialog, fdc_dir);
    bool on = field && st.dir_elided && pointer_on(field) && IsWindowVisible(dialog);
    if (!on) {
        if (st.tip_up) hide_tooltip(1);
        st.tip_up = false;
        st.rested_ms = 0;
        return;
    }
    if (st.tip_up) return;
    st.rested_ms += look_in_poll_ms;
    if (st.rested_ms < tip_wait_ms) return;
    show_tooltip(nullptr, field, 1, st.dir.c_str());
    st.tip_up = true;
}

std::string item_text(HWND list, int index) {
    LRESULT n = SendMessage(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n < 0) return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::strlen(s.c_str()));
    return s;
}

// The name field's text, or nullopt-like false when it is longer than a path
// may be.
bool field_text(HWND dialog, int id, std::string& out) {
    HWND field = GetDlgItem(dialog, id);
    int n = GetWindowTextLength(field);
    if (n < 0) n = 0;
    if (static_cast<std::size_t>(n) > file_name_max) return false;
    out.assign(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowText(field, out.data(), n + 1);
    out.resize(std::strlen(out.c_str()));
    return true;
}

void fill_list(HWND dialog, choice_state& st) {
    HWND list = GetDlgItem(dialog, fdc_list);
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    // A long folder keeps its beginning and its end, where the folder shown
    // is named; the whole of it is the field's tip.
    HWND dir_field = GetDlgItem(dialog, fdc_dir);
    std::string shown = st.dir;
    if (dir_field) {
        RECT r{};
        GetClientRect(dir_field, &r);
        HDC dc = GetDC(nullptr); // measures in the field's font
        auto font = reinterpret_cast<HGDIOBJ>(SendMessage(dir_field, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        shown = elide_middle(dc, st.dir, r.right - 4);

        if (old) SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    st.dir_elided = shown != st.dir;
    SetDlgItemText(dialog, fdc_dir, shown.c_str());
    std::vector<std::string> dirs, files;
    const std::string& patterns =
        !st.wildcard.empty() ? st.wildcard
                             : (st.type >= 0 && st.type < static_cast<int>(st.filters->rows.size())
                                    ? st.filters->rows[static_cast<std::size_t>(st.type)].second
                                    : std::string("*.*"));
    std::error_code ec;
    fs::directory_iterator it(st.dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string leaf = it->path().filename().string();
        if (leaf.empty() || leaf[0] == '.') continue;
        std::error_code e2;
        if (it->is_directory(e2))
            dirs.push_back(leaf);
        else if (matches_patterns(leaf.c_str(), patterns))
            files.push_back(leaf);
    }
    auto nocase = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    };
    std::sort(dirs.begin(), dirs.end(), nocase);
    std::sort(files.begin(), files.end(), nocase);
    for (const std::string& d : dirs)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("[" + d + "]").c_str()));
    for (const std::string& f : files)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
}

void go_to(HWND dialog, choice_state& st, const std::string& dir) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(dir), ec);
    st.dir = with_slash(ec ? dir : p.string());
    fill_list(dialog, st);
}

bool has_wildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// OK: a directory is entered, a pattern filters the list, a name ends the
// dialog with its full path.
void take_name(HWND dialog, choice_state& st) {
    std::string typed;
    if (!field_text(dialog, fdc_name, typed)) {
        report(7, "The file name is too long (at most %zu characters)", file_name_max);
        return;
    }
    while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.back())))
        typed.pop_back();
    std::size_t lead = 0;
    while (lead < typed.size() && std::isspace(static_cast<unsigned char>(typed[lead]))) ++lead;
    typed.erase(0, lead);
    if (typed.empty()) return;
    std::string path = full_path(st.dir.c_str(), typed.c_str());
    if (has_wildcard(after_separator(typed.c_str()))) {
        std::string dir_part(typed.c_str(), after_separator(typed.c_str()));
        if (!dir_part.empty()) {
            std::string d = full_path(st.dir.c_str(), dir_part.c_str());
            if (is_directory(d)) st.dir = with_slash(d);
        }
        st.wildcard = after_separator(typed.c_str());
        fill_list(dialog, st);
        return;
    }
    if (is_directory(path)) {
        SetDlgItemText(dialog, fdc_name, "");
        go_to(dialog, st, path);
        return;
    }
    if (is_separator(typed.back())) {
        // A folder by its form: one that is missing is said so, never taken
        // as a file named by the type's extension alone.
        report(7, "The folder %s does not exist", path.c_str());
        return;
    }
    st.result = path;
    st.type = static_cast<int>(SendDlgItemMessage(dialog, fdc_types, CB_GETCURSEL, 0, 0));
    EndDialog(dialog, IDOK);
}

INT_PTR file_choice_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<choice_state>(dialog);
    switch (message) {
    case WM_INITDIALOG: {
        st = begin_dialog<choice_state>(dialog, lparam);
        if (st->title) SetWindowText(dialog, st->title);
        SetDlgItemText(dialog, IDOK, st->mode == fd_save ? "&Save" : "&Open");
        for (const auto& row : st->filters->rows) {
            std::string shown = row.first + " (" + row.second + ")";
            SendDlgItemMessage(dialog, fdc_types, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(shown.c_str()));
        }
        SendDlgItemMessage(dialog, fdc_types, CB_SETCURSEL, static_cast<WPARAM>(st->type), 0);
        SetDlgItemText(dialog, fdc_name, st->name.c_str());
        fill_list(dialog, *st);
        SetTimer(dialog, look_in_timer, look_in_poll_ms, nullptr);
        // Typing replaces the offered name.
        SetFocus(GetDlgItem(dialog, fdc_name));
        SendDlgItemMessage(dialog, fdc_name, EM_SETSEL, 0, -1);
        return FALSE; // the focus is set
    }
    case WM_TIMER:
        if (!st || wparam != look_in_timer) return FALSE;
        look_in_tip(dialog, *st);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, look_in_timer);
        if (st && st->tip_up) hide_tooltip(1);
        return FALSE;
    case WM_COMMAND: {
        if (!st) return FALSE;
        int id = LOWORD(wparam), code = HIWORD(wparam);
        if (id == IDOK) {
            take_name(dialog, *st);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (id == fdc_up && code == BN_CLICKED) {
            std::string d = st->dir;
            if (d.size() > 1) d.pop_back();
            fs::path parent = fs::path(d).parent_path();
            go_to(dialog, *st, parent.empty() ? std::string("/") : parent.string());
            return TRUE;
        }
        if (id == fdc_types && code == CBN_SELCHANGE) {
            st->type = static_cast<int>(SendDlgItemMessage(dialog, fdc_types, CB_GETCURSEL, 0, 0));
            st->wildcard.clear();
            fill_list(dialog, *st);
            return TRUE;
        }
        if (id == fdc_list && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
            HWND list = GetDlgItem(dialog, fdc_list);
            int sel = static_cast<int>(SendMessage(list, LB_GETCURSEL, 0, 0));
            if (sel < 0) return TRUE;
            std::string item = item_text(list, sel);
            bool dir = item.size() > 2 && item.front() == '[' && item.back() == ']';
            if (dir) {
                if (code == LBN_DBLCLK) {
                    SetDlgItemText(dialog, fdc_name, "");
                    go_to(dialog, *st, st->dir + item.substr(1, item.size() - 2));
                }
                return TRUE;
            }
            SetDlgItemText(dialog, fdc_name, item.c_str());
            if (code == LBN_DBLCLK) take_name(dialog, *st);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

} // namespace

// ------------------------------------------------------------- filters ---

std::string elide_middle(HDC dc, const std::string& text, int width) {
    auto fits = [&](const std::string& t) {
        SIZE s{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &s);
        return s.cx <= width;
    };
    if (fits(text)) return text;
    // Kept characters: a third from the start, the rest from the end.
    auto cut = [&](std::size_t k) {
        std::size_t head = k / 3, tail = k - head;
        return text.substr(0, head) + "..." + text.substr(text.size() - tail);
    };
    std::size_t lo = 0, hi = text.size() - 1;
    while (lo < hi) {
        std::size_t mid = (lo + hi + 1) / 2;
        if (fits(cut(mid)))
            lo = mid;
        else
            hi = mid - 1;
    }
    return cut(lo);
}

std::size_t filter_pair_length(const char* pair) {
    if (!pair) return 0;
    std::size_t a = std::strlen(pair) + 1;
    return a + std::strlen(pair + a) + 1;
}

char* copy_filter_pair(char* destination, const char* pair) {
    std::size_t n = filter_pair_length(pair);
    std::memcpy(destination, pair, n);
    return destination + n;
}

filter_list build_filters(std::uint32_t mask1, std::uint32_t mask2, std::uint32_t default1,
                          std::uint32_t default2, const char* custom) {
    filter_list out;
    int found = 0;
    auto add = [&](const char* pair, bool preselect) {
        out.text.append(pair, filter_pair_length(pair));
        out.rows.emplace_back(pair, pair + std::strlen(pair) + 1);
        if (preselect && !found) found = static_cast<int>(out.rows.size());
    };
    for (int bit = 0; bit < 32; ++bit)
        if (mask1 & (1u << bit)) add(first_table[bit], default1 == (1u << bit));
    for (int bit = 0; bit < 5; ++bit)
        if (mask2 & (1u << bit)) add(second_table[bit], default2 == (1u << bit));
    if (custom && *custom) {
        std::string desc = std::string("Special (") + custom + ")";
        out.text += desc;
        out.text += '\0';
        out.text += custom;
        out.text += '\0';
        out.rows.emplace_back(desc, custom);
        found = static_cast<int>(out.rows.size());
    }
    out.text += '\0';
    out.preselected = found ? found : 1;
    return out;
}

std::string row_extension(const std::string& patterns) {
    std::string first = patterns.substr(0, patterns.find(';'));
    if (!first.empty() && first[0] == '*') first.erase(0, 1);
    if (first.size() < 2 || first[0] != '.' || has_wildcard(first)) return {};
    return first;
}

bool name_has_extension(const char* path) {
    if (!path) return false;
    const char* leaf = after_separator(path);
    const char* dot = std::strrchr(leaf, '.');
    // A leading dot alone names a hidden file, not an extension.
    return dot && (dot != leaf || dot[1] == 0);
}

bool matches_patterns(const char* name, const std::string& patterns) {
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string::npos) end = patterns.size();
        std::string pat = patterns.substr(start, end - start);
        while (!pat.empty() && pat.front() == ' ') pat.erase(0, 1);
        if (pat == "*.*" || pat == "*") return true;
        if (!pat.empty() && glob(name, pat.data(), pat.data() + pat.size())) return true;
        start = end + 1;
    }
    return false;
}

std::string start_directory(const char* initial) {
    if (initial && *initial) {
        std::string path = full_path(nullptr, initial);
        std::string dir(path.c_str(), after_separator(path.c_str()));
        if (is_directory(dir)) return with_slash(dir);
    }
    if (is_directory(last_folder())) return with_slash(last_folder());
    if (model_rec) {
        const char* last = ctx_text(model_rec, model_rec->directory);
        if (last && *last) {
            std::string dir = full_path(nullptr, last);
            if (is_directory(dir)) return with_slash(dir);
        }
    }
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return with_slash(ec ? std::string("/") : cwd.string());
}

const std::string& last_file_folder() {
    return last_folder();
}

void forget_file_folder() {
    last_folder().clear();
}

// ---------------------------------------------------------- file_dialog ---

char* file_dialog(const char* title, const char* initial, int mode, std::uint32_t mask1,
                  std::uint32_t mask2, std::uint32_t default1, std::uint32_t default2,
                  const char* custom, const char* default_ext) {
    filter_list filters = build_filters(mask1, mask2, default1, default2, custom);
    if (filters.rows.empty()) filters = build_filters(ft_all, 0, ft_all, 0, nullptr);
    const int custom_row = custom && *custom ? static_cast<int>(filters.rows.size()) - 1 : -1;
    choice_state st;
    st.title = title;
    st.mode = mode;
    st.filters = &filters;
    st.dir = start_directory(initial);
    st.name = initial ? after_separator(initial) : "";
    if (st.name.size() > file_name_max) st.name.clear();
    st.type = filters.preselected - 1;
    for (;;) {
        st.result.clear();
        st.wildcard.clear();
        INT_PTR r =
            run_dialog(dlg_file_choice, nullptr, file_choice_proc, reinterpret_cast<LPARAM>(&st));
        if (r != IDOK || st.result.empty()) return nullptr;
        std::string path = st.result;
        if (st.type < 0 || st.type >= static_cast<int>(filters.rows.size()))
            st.type = filters.preselected - 1;
        if (!name_has_extension(path.c_str())) {
            std::string ext;
            if (st.type == custom_row) {
                if (default_ext && *default_ext)
                    ext = std::string(default_ext[0] == '.' ? "" : ".") + default_ext;
            } else {
                ext = row_extension(filters.rows[static_cast<std::size_t>(st.type)].second);
            }
            path += ext;
        } else if (path.size() > 1 && path.back() == '.' && !is_separator(path[path.size() - 2])) {
            // A final "." asks for the name exactly as typed, without an extension.
            path.pop_back();
        }
        st.dir = with_slash(std::string(path.c_str(), after_separator(path.c_str())));
        st.name = after_separator(path.c_str());
        if (mode == fd_save) {
            if (is_directory(path)) continue;
            if (!ask_overwrite(path.c_str())) continue;
            // Saving over a name that is both a package member and a disk file:
            // the member is dropped so that the disk file is what gets used.
            if (file_status(path.c_str(), 0) == 3) delete_file(path.c_str(), -2);
        } else if (file_status(path.c_str(), 0) == 0) {
            report(7, "The file %s does not exist", path.c_str());
            continue;
        }
        remember_folder(st.dir);
        return scratch_strdup(path.c_str());
    }
}

char* choose_model_file(const char* initial) {
    return file_dialog("Name of model to open", initial, fd_open,
                       ft_models | ft_binary_models | ft_runs | ft_app_defs | ft_command_scripts |
                           ft_toolsets | ft_all,
                       ft2_packaged_models | ft2_packaged_apps, ft_models, 0, nullptr, nullptr);
}
