// The Datasets page: see datasets.h.
#include "shell/datasets.h"

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "model/context.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/datasets.h"
#include "runs/runfile.h"
#include "runs/runinfo.h"
#include "runs/select.h"
#include "shell/dialogs.h"
#include "shell/filechoice.h"
#include "shell/msgbox.h"
#include "shell/upcalls.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

HWND page_wnd = nullptr;
bool lists_disabled = false;
std::string load_from_name; // the last name chosen with "Load From..."

constexpr int gap = 2;

bool name_less(const std::string& a, const std::string& b) {
    return name_cmp(a.c_str(), b.c_str()) < 0;
}

// The folder run names are loaded from: the model context's directory, else
// the model's (as load_runs resolves them). Listing, loading and deleting all
// use it, so the page never shows one file and loads or deletes another.
const char* context_dir() {
    const char* dir =
        model_rec && model_rec->directory ? ctx_text(model_rec, model_rec->directory) : nullptr;
    return dir && *dir ? dir : nullptr;
}
std::string runs_folder() {
    char* dir = nullptr;
    split_path(context_dir(), "x.kdf", &dir, nullptr, nullptr);
    return dir && *dir ? dir : "./";
}
std::string run_file_path(const std::string& name) {
    return full_path(context_dir(), set_extension(name.c_str(), fk_run, 1));
}

bool has_run_extension(const std::string& name) {
    return name.size() > 4 && name_cmp(name.c_str() + name.size() - 4, ".kdf") == 0;
}

std::string list_text(HWND list, int i) {
    const LRESULT n = SendMessage(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n < 0) return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::strlen(s.c_str()));
    return s;
}

// The highlighted items of a list, in list order.
std::vector<std::string> highlighted(HWND list) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
        if (SendMessage(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
            out.push_back(list_text(list, i));
    return out;
}

std::vector<const char*> c_names(const std::vector<std::string>& names) {
    std::vector<const char*> p;
    for (const std::string& s : names) p.push_back(s.c_str());
    return p;
}

void layout_page(HWND page) {
    RECT c{};
    GetClientRect(page, &c);
    auto rect_of = [&](int id) {
        RECT r{};
        if (HWND w = GetDlgItem(page, id)) GetWindowRect(w, &r);
        return r;
    };
    const RECT arrow = rect_of(idd_load), info = rect_of(idd_available_info),
               button = rect_of(idd_delete);
    const int aw = arrow.right - arrow.left, ah = arrow.bottom - arrow.top;
    const int ih = info.bottom - info.top, bh = button.bottom - button.top;
    const int w = c.right - c.left, h = c.bottom - c.top;
    const int lw = std::max(0, (w - aw - 4 * gap) / 2);
    const int right = gap + lw + gap + aw + gap;
    const int top = gap + ih + gap;
    const int lh = std::max(0, h - top - gap - bh - gap);
    auto move = [&](int id, int x, int y, int cx, int cy) {
        if (HWND wnd = GetDlgItem(page, id)) MoveWindow(wnd, x, y, cx, cy, TRUE);
    };
    move(idd_available_info, gap, gap, lw, ih);
    move(idd_loaded_info, right, gap, lw, ih);
    move(idd_available, gap, top, lw, lh);
    move(idd_loaded, right, top, lw, lh);
    const int mid = top + lh / 2;
    move(idd_load, gap + lw + gap, mid - gap / 2 - ah, aw, ah);
    move(idd_unload, gap + lw + gap, mid + gap / 2, aw, ah);
    move(idd_delete, gap, top + lh + gap, lw, bh);
    move(idd_load_from, right, top + lh + gap, lw, bh);
}

void rebuild_io_objects() {
    refresh_sketch_values();
}

void load_highlighted(HWND page) {
    const std::vector<std::string> names = highlighted(GetDlgItem(page, idd_available));
    // From the last to the first, so the first ends up in front.
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        message_hold hold; // a refused file says why in its box
        load_runs(model_rec, -1, it->c_str(), 0, 0);
        hold.release_with_reasons();
    }
    refresh_loaded_runs_list();
    fill_available_runs(page);
    rebuild_io_objects();
}

// The highlighted loaded runs that the open model has selected. The list is
// kept current, but a name it shows that is not selected (any more) is left
// out rather than acted on: it would be a run of no model.
std::vector<std::string> highlighted_loaded(HWND page) {
    std::vector<std::string> names = highlighted(GetDlgItem(page, idd_loaded));
    const int n = model_rec ? loaded_run_names(1) : 0;
    std::erase_if(names, [n](const std::string& name) {
        for (int k = 0; k < n; ++k)
            if (name == selected_run_names[k]) return false;
        return true;
    });
    return names;
}

void unload_highlighted(HWND page) {
    const std::vector<std::string> names = highlighted_loaded(page);
    if (!names.empty()) {
        std::vector<const char*> p = c_names(names);
        set_runs1(-2, p.data(), static_cast<int>(p.size()));
    }
    refresh_loaded_runs_list();
    fill_available_runs(page);
}

void activate_highlighted(HWND page) {
    const std::vector<std::string> names = highlighted_loaded(page);
    std::vector<const char*> p = c_names(names);
    set_runs1(1, p.data(), static_cast<int>(p.size()));
    refresh_loaded_runs_list();
    rebuild_io_objects();
}

void delete_highlighted(HWND page) {
    const std::vector<std::string> names = highlighted(GetDlgItem(page, idd_available));
    if (names.empty()) return;
    // A run still loaded but shown by nothing (a closed model's, kept in the
    // table of loaded runs) is not in use: it is unloaded and deleted.
    std::vector<std::string> rest;
    for (const std::string& n : names) {
        const int run = find_run(run_file_path(n).c_str());
        if (run < 0 || !run_is_referenced(run)) rest.push_back(n);
    }
    const int count = static_cast<int>(names.size());
    const int in_use = count - static_cast<int>(rest.size());
    if (rest.empty()) {
        report(8, "Highlighted run(s) in use with another model, can't delete");
        return;
    }
    if (in_use > 0) {
        if (!ask_yes_no("%d of %d runs are in use with another model and can't be deleted.  "
                        "Continue with %d others?",
                        in_use, count, static_cast<int>(rest.size())))
            return;
    } else if (!ask_yes_no("This will delete %s and %d others permanently.  Continue?",
                           names.back().c_str(), count - 1)) {
        return;
    }
    for (const std::string& n : rest) {
        const std::string path = run_file_path(n);
        const int run = find_run(path.c_str());
        if (run >= 0) unload_run(run);
        delete_file(path.c_str(), 1);
    }
    fill_available_runs(page);
}

void show_info(HWND page, int list_id) {
    HWND list = GetDlgItem(page, list_id);
    const int caret = static_cast<int>(SendMessage(list, LB_GETCARETINDEX, 0, 0));
    const int count = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
    if (caret < 0 || caret >= count) {
        report(8, "First highlight the one run you want info about");
        return;
    }
    const std::string name = list_text(list, caret);
    run_file_info info;
    bool ok = false;
    int run = -1;
    if (list_id == idd_loaded && model_rec)
        for (int k = 0; k < model_rec->run_count && run < 0; ++k)
            if (name_cmp(ctx_text(model_rec, model_rec->runs[k].name), name.c_str()) == 0)
                run = model_rec->runs[k].run;
    if (run < 0) run = find_run(run_file_path(name).c_str());
    if (run >= 0)
        ok = loaded_run_info(run, info);
    else
        ok = read_run_file_info(run_file_path(name).c_str(), info);
    if (!ok) {
        report(8, "Unable to get info");
        return;
    }
    report(6, "%s", run_info_message(name.c_str(), info).c_str());
}

void load_from(HWND page) {
    char* chosen = file_dialog("Dataset to Load", load_from_name.c_str(), fd_open, ft_runs, 0,
                               ft_runs, 0, nullptr, "kdf");
    if (!chosen || !*chosen) return;
    load_from_name = chosen;
    {
        message_hold hold; // a refused file says why in its box
        load_runs(model_rec, -1, load_from_name.c_str(), 0, 0);
        hold.release_with_reasons();
    }
    refresh_loaded_runs_list();
    fill_available_runs(page);
    rebuild_io_objects();
}

void enable_lists(HWND page, bool on) {
    EnableWindow(GetDlgItem(page, idd_available), on ? TRUE : FALSE);
    EnableWindow(GetDlgItem(page, idd_loaded), on ? TRUE : FALSE);
}

void reactivate(HWND page) {
    if (!lists_disabled) return;
    enable_lists(page, true);
    lists_disabled = false;
    load_from_name.clear();
    refresh_loaded_runs_list();
    fill_available_runs(page);
}

} // namespace

HWND datasets_page() {
    return page_wnd;
}

std::vector<std::string> available_run_names() {
    std::vector<std::string> names;
    names.reserve(20);
    char** members = nullptr;
    const int nm = list_package_members(fk_run, &members, 20);
    for (int i = 0; i < nm && members; ++i)
        if (members[i]) names.emplace_back(set_extension(file_name_part(members[i]), fk_none, 1));
    std::error_code ec;
    for (std::filesystem::directory_iterator it(runs_folder(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (!has_run_extension(file)) continue;
        std::error_code fe;
        if (!it->is_regular_file(fe)) continue;
        names.push_back(file.substr(0, file.size() - 4));
    }
    // A package member and a disk file of one name are listed once.
    std::stable_sort(names.begin(), names.end(), name_less);
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) {
                                return name_cmp(a.c_str(), b.c_str()) == 0;
                            }),
                names.end());
    const int selected = loaded_run_names(1);
    for (int k = 0; k < selected; ++k) {
        auto at = std::lower_bound(names.begin(), names.end(), std::string(selected_run_names[k]),
                                   name_less);
        if (at != names.end() && name_cmp(at->c_str(), selected_run_names[k]) == 0) names.erase(at);
    }
    return names;
}

void fill_available_runs(HWND page) {
    HWND list = page ? GetDlgItem(page, idd_available) : nullptr;
    if (!list) return;
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& n : available_run_names())
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
}

int refresh_datasets_page() {
    if (!page_wnd) return 0;
    fill_available_runs(page_wnd);
    return 1;
}

void fill_loaded_runs_list(const char* const* names, int n, int active) {
    if (!page_wnd) return;
    if (n == -1) {
        enable_lists(page_wnd, false);
        lists_disabled = true;
        return;
    }
    HWND list = GetDlgItem(page_wnd, idd_loaded);
    if (!list) return;
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < n && names; ++i) {
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i] ? names[i] : ""));
        // Programmatic selection notifies nothing, so this cannot loop back
        // into a change of the active runs.
        if (i < active) SendMessage(list, LB_SETSEL, TRUE, i);
    }
}

void refresh_loaded_runs_list() {
    if (!page_wnd) return;
    const int n = model_rec ? loaded_run_names(1) : 0;
    fill_loaded_runs_list(selected_run_names, n, model_rec ? model_rec->active_count : 0);
}

const char* data_sources_text(const run_setup* setup) {
    if (!setup || !model_rec || !setup->data_sources) return scratch_strdup("");
    return scratch_strdup(ctx_text(model_rec, setup->data_sources));
}

std::string tidy_file_list(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
    for (; i < text.size(); ++i) {
        if (text[i] == ',' && !out.empty() && out.back() == ',') continue;
        out += text[i];
    }
    if (!out.empty() && out.back() == ',') out.pop_back();
    return out;
}

void sim_command_file(HWND edit, int mode) {
    if (!edit) return;
    const char* title = mode == 0   ? "Dataset Input Name"
                        : mode == 2 ? "Additional change file"
                                    : "Command/Database output files";
    const std::uint32_t kind = mode == 0 ? ft_runs : mode == 2 ? ft_changes : ft_command_scripts;
    char* chosen = file_dialog(title, "", fd_open, kind, 0, kind, 0, nullptr, nullptr);
    if (!chosen || !*chosen) return;
    std::string name = strip_model_dir(nullptr, chosen);
    if (mode == 0) name = set_extension(name.c_str(), fk_none, 1);
    const int len = GetWindowTextLength(edit);
    std::string text(static_cast<std::size_t>(std::max(len, 0)) + 1, '\0');
    GetWindowText(edit, text.data(), len + 1);
    text.resize(std::strlen(text.c_str()));
    DWORD start = 0, end = 0;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::size_t at = std::min<std::size_t>(end, text.size());
    const std::string inserted = text.substr(0, at) + "," + name + "," + text.substr(at);
    const std::string tidy = tidy_file_list(inserted);
    if (tidy != text) SetWindowText(edit, tidy.c_str());
}

INT_PTR runs_sel_proc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        fit_dialog(page, -1);
        page_wnd = page;
        lists_disabled = false;
        set_runs1(0, nullptr, 0);
        refresh_loaded_runs_list();
        fill_available_runs(page);
        layout_page(page);
        return TRUE;
    case WM_SIZE:
        layout_page(page);
        return TRUE;
    case WM_SHOWWINDOW:
        if (wparam) reactivate(page);
        return FALSE;
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) reactivate(page);
        return FALSE;
    case WM_DESTROY:
        if (page_wnd == page) page_wnd = nullptr;
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        switch (id) {
        case idd_available:
            if (code == LBN_DBLCLK) load_highlighted(page);
            return TRUE;
        case idd_loaded:
            if (code == LBN_SELCHANGE) {
                activate_highlighted(page);
            } else if (code == LBN_DBLCLK) {
                HWND list = GetDlgItem(page, idd_loaded);
                if (SendMessage(list, LB_GETSELCOUNT, 0, 0) == 1 &&
                    SendMessage(list, LB_GETSEL, 0, 0) > 0)
                    unload_highlighted(page);
            }
            return TRUE;
        case idd_available_info:
            show_info(page, idd_available);
            return TRUE;
        case idd_loaded_info:
            show_info(page, idd_loaded);
            return TRUE;
        case idd_load:
            load_highlighted(page);
            return TRUE;
        case idd_unload:
            unload_highlighted(page);
            return TRUE;
        case idd_delete:
            delete_highlighted(page);
            return TRUE;
        case idd_load_from:
            load_from(page);
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}
