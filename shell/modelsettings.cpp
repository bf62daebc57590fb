// The model settings pages. Each page keeps a small state with the dialog
// (made at WM_INITDIALOG, freed at WM_DESTROY): which model it edits, and
// whether the password boxes were edited - the boxes show "****" for an
// existing password, and that placeholder must never become the password.
#include "shell/modelsettings.h"

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "model/constants.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "platform/controls.h"
#include "resources/modelpages.h"
#include "shell/dialogs.h"
#include "shell/filechoice.h"
#include "shell/mainplace.h"
#include "shell/msgbox.h"
#include "shell/settings_io.h"
#include "shell/state.h"
#include "shell/winlist.h"
#include "sim/changes.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* password_shown = "****";

struct page_state {
    handle symbols = 0;
    bool filling = false;         // controls are being filled: their changes are ours
    bool password_edited = false; // the user typed into a password box
};

page_state* state_of(HWND page) {
    return reinterpret_cast<page_state*>(GetWindowLongPtr(page, DWLP_USER));
}

bool has(HWND page, int id) {
    return GetDlgItem(page, id) != nullptr;
}

std::string item_text(HWND page, int id) {
    HWND item = GetDlgItem(page, id);
    if (!item) return {};
    int n = GetWindowTextLength(item);
    if (n <= 0) return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    int got = GetWindowText(item, s.data(), n + 1);
    s.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return s;
}

std::string handle_text(handle h, std::uint32_t length) {
    if (!h) return {};
    handle_lock<char> b(h);
    std::uint32_t size = handle_size(h);
    if (!length || length > size) length = size;
    return std::string(b.get(), strnlen(b.get(), length));
}

// A text in a new handle, with `spare` bytes beyond its terminating zero.
handle text_handle(const std::string& t, std::uint32_t spare) {
    handle h = new_handle(static_cast<std::uint32_t>(t.size() + 1 + spare));
    handle_lock<char> b(h);
    std::memcpy(b.get(), t.c_str(), t.size() + 1);
    return h;
}

// Edit boxes break lines with CR LF; the stored texts with LF.
std::string with_crlf(const std::string& t) {
    std::string out;
    for (char c : t) {
        if (c == '\n') out += '\r';
        if (c != '\r') out += c;
    }
    return out;
}
std::string without_cr(const std::string& t) {
    std::string out;
    for (char c : t)
        if (c != '\r') out += c;
    return out;
}

std::vector<std::string> lines_of(const std::string& t) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < t.size()) {
        std::size_t eol = t.find('\n', at);
        if (eol == std::string::npos) eol = t.size();
        std::string line = t.substr(at, eol - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(line);
        at = eol + 1;
    }
    return out;
}

bool model_has_errors() {
    return !model_is_open() || (get_header_word(cur_model_symbols, mh_flags) & mfl_has_errors);
}

bool needs_good_model() {
    if (!model_has_errors()) return true;
    report(8, "Model has errors - these need to be fixed to use this function");
    return false;
}

// "Model->Cin": the model's constants and lookups as a changes file.
void save_model_params() {
    if (!needs_good_model()) return;
    char* name = file_dialog("Save model params to", "", fd_save, ft_changes, 0, ft_changes, 0,
                             nullptr, nullptr);
    if (name) write_changes_file(name, 2);
}

// ------------------------------------------------------------------ pages ---

void init_notes(HWND page, const model_settings& ms) {
    SetDlgItemText(page, idm_notes, with_crlf(handle_text(ms.notes, 0)).c_str());
    SetDlgItemText(page, idm_info, model_info_text().c_str());
    CheckDlgButton(page, idm_show_notes, (ms.flags & msf_show_notes) ? BST_CHECKED : 0);
    for (int id : {idm_password, idm_verify}) {
        SendDlgItemMessage(page, id, EM_LIMITTEXT, max_password_chars, 0);
        if (ms.has_password) SetDlgItemText(page, id, password_shown);
    }
    // A model without a password may be given one; one with a password only
    // after it was entered correctly.
    bool editable = !ms.has_password || ms.password_edit;
    EnableWindow(GetDlgItem(page, idm_password), editable);
    EnableWindow(GetDlgItem(page, idm_verify), editable);
}

void init_flags(HWND page, const model_settings& ms) {
    auto show = [&](int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : 0); };
    show(idm_show_init_causes, !(ms.flags & msf_hide_init_causes));
    show(idm_show_lookups, !(ms.flags & msf_hide_lookups));
    show(idm_show_shadows, !(ms.flags & msf_hide_shadows));
    show(idm_no_livesweep_drag, ms.flags & msf_no_livesweep_drag);
    show(idm_disk_livesweep, ms.flags2 & msf2_disk_livesweep);
    show(idm_far_east, ms.flags & msf_far_east);
    show(idm_hard_underbar, ms.flags & msf_hard_underbar);
    underbar_follows_far_east(page);
}

void init_refs(HWND page, const model_settings& ms) {
    for (const std::string& line : lines_of(handle_text(ms.refs, ms.refs_length)))
        SendDlgItemMessage(page, idm_ref_list, LB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(line.c_str()));
}

// OK on the notes page; false keeps the page open.
bool take_notes(HWND page, page_state& st, model_settings& ms) {
    bool editable = !ms.has_password || ms.password_edit;
    if (editable && st.password_edited) {
        std::string a = item_text(page, idm_password).substr(0, max_password_chars);
        std::string b = item_text(page, idm_verify).substr(0, max_password_chars);
        if (a != b) {
            ms.mismatch = 1;
            report(8, "Password and verification do not match - please reenter both of them");
            return false;
        }
        ms.mismatch = 0;
        std::snprintf(ms.password, sizeof ms.password, "%s", a.c_str());
        // The check value is made now, so whatever saves the model next
        // writes the new password (an empty one removes it).
        set_model_password(st.symbols, a.c_str());
        ms.has_password = !a.empty();
        ms.password_edit = 1;
    }
    ms.flags = static_cast<std::uint8_t>(
        (ms.flags & ~msf_show_notes) |
        (IsDlgButtonChecked(page, idm_show_notes) == BST_CHECKED ? msf_show_notes : 0));
    std::string notes = without_cr(item_text(page, idm_notes));
    free_handle(ms.notes);
    ms.notes = notes.empty() ? 0 : text_handle(notes, 0);
    ms.changed = 1;
    return true;
}

void take_flags(HWND page, model_settings& ms) {
    auto on = [&](int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; };
    std::uint8_t f = ms.flags & msf_show_notes;
    if (!on(idm_show_init_causes)) f |= msf_hide_init_causes;
    if (!on(idm_show_lookups)) f |= msf_hide_lookups;
    if (!on(idm_show_shadows)) f |= msf_hide_shadows;
    if (on(idm_no_livesweep_drag)) f |= msf_no_livesweep_drag;
    if (on(idm_far_east)) f |= msf_far_east;
    if (on(idm_hard_underbar)) f |= msf_hard_underbar;
    ms.flags = f;
    ms.flags2 = static_cast<std::uint8_t>((ms.flags2 & ~msf2_disk_livesweep) |
                                          (on(idm_disk_livesweep) ? msf2_disk_livesweep : 0));
    ms.changed = 1;
}

std::string list_line(HWND page, int index) {
    LRESULT n =
        SendDlgItemMessage(page, idm_ref_list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n < 0) return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    SendDlgItemMessage(page, idm_ref_list, LB_GETTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::strlen(s.c_str()));
    return s;
}

void take_refs(HWND page, model_settings& ms) {
    std::string text;
    int n = static_cast<int>(SendDlgItemMessage(page, idm_ref_list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) text += list_line(page, i) + "\n";
    free_handle(ms.refs);
    ms.refs = text_handle(text, 102);
    ms.refs_length = static_cast<std::uint32_t>(text.size());
    ms.refs_changed = 1;
}

void add_reference(HWND page) {
    std::string name = item_text(page, idm_ref_name);
    std::string file = item_text(page, idm_ref_file);
    if (!valid_reference(name, file)) {
        report(8, "A reference needs a name without \"=\" and a file");
        return;
    }
    std::string line = name + "=" + file;
    SendDlgItemMessage(page, idm_ref_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SetDlgItemText(page, idm_ref_name, "");
    SetDlgItemText(page, idm_ref_file, "");
}

void modify_reference(HWND page) {
    int sel = static_cast<int>(SendDlgItemMessage(page, idm_ref_list, LB_GETCURSEL, 0, 0));
    if (sel < 0) return;
    if ((!item_text(page, idm_ref_name).empty() || !item_text(page, idm_ref_file).empty()) &&
        !ask_yes_no("Do you want to abandon what you are currently editing?"))
        return;
    std::string line = list_line(page, sel);
    std::size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? line : line.substr(0, eq);
    std::string file = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    SetDlgItemText(page, idm_ref_name, name.c_str());
    SetDlgItemText(page, idm_ref_file, file.c_str());
    SendDlgItemMessage(page, idm_ref_list, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
}

void choose_reference_file(HWND page) {
    char* path = file_dialog("Spreadsheet file", item_text(page, idm_ref_file).c_str(), fd_open,
                             ft_excel | ft_lotus | ft_csv | ft_tab | ft_all, 0, ft_excel, 0,
                             nullptr, nullptr);
    if (path) SetDlgItemText(page, idm_ref_file, strip_model_dir(nullptr, path));
}

INT_PTR page_command(HWND page, page_state& st, int id, int code) {
    if ((id == idm_password || id == idm_verify) && code == EN_CHANGE) {
        if (!st.filling) st.password_edited = true;
        return TRUE;
    }
    if (code != BN_CLICKED) return FALSE;
    switch (id) {
    case idm_far_east:
        underbar_follows_far_east(page);
        return TRUE;
    case idm_to_changes:
        save_model_params();
        return TRUE;
    case idm_to_data:
        save_data_names();
        return TRUE;
    case idm_ref_add:
        add_reference(page);
        return TRUE;
    case idm_ref_delete: {
        LRESULT sel = SendDlgItemMessage(page, idm_ref_list, LB_GETCURSEL, 0, 0);
        if (sel >= 0) SendDlgItemMessage(page, idm_ref_list, LB_DELETESTRING, WPARAM(sel), 0);
        return TRUE;
    }
    case idm_ref_modify:
        modify_reference(page);
        return TRUE;
    case idm_ref_choose:
        choose_reference_file(page);
        return TRUE;
    case IDCANCEL:
        EndDialog(page, IDCANCEL);
        return TRUE;
    case IDOK: {
        model_settings* ms = lock_model_settings(st.symbols);
        bool done = true;
        if (has(page, idm_notes))
            done = take_notes(page, st, *ms);
        else if (has(page, idm_show_init_causes))
            take_flags(page, *ms);
        else if (has(page, idm_ref_list))
            take_refs(page, *ms);
        unlock_model_settings(st.symbols);
        if (done) EndDialog(page, IDOK);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR model_password_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    page_state* st = state_of(page);
    switch (message) {
    case WM_INITDIALOG: {
        fit_dialog(page, 0);
        st = new page_state;
        st->symbols = lparam ? static_cast<handle>(lparam) : cur_model_symbols;
        SetWindowLongPtr(page, DWLP_USER, reinterpret_cast<LONG_PTR>(st));
        if (!st->symbols) {
            EndDialog(page, -1);
            return TRUE;
        }
        st->filling = true;
        model_settings ms = *lock_model_settings(st->symbols);
        unlock_model_settings(st->symbols);
        if (has(page, idm_notes)) init_notes(page, ms);
        if (has(page, idm_show_init_causes)) init_flags(page, ms);
        if (has(page, idm_ref_list)) init_refs(page, ms);
        st->filling = false;
        return TRUE;
    }
    case WM_COMMAND:
        if (!st) return FALSE;
        return page_command(page, *st, LOWORD(wparam), HIWORD(wparam));
    case WM_DESTROY:
        delete st;
        SetWindowLongPtr(page, DWLP_USER, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR model_settings_page(int template_id) {
    if (template_id != dlg_model_notes && template_id != dlg_model_flags &&
        template_id != dlg_model_refs)
        return -1;
    if (!model_is_open() || !cur_model_symbols) return -1;
    return run_dialog(template_id, nullptr, model_password_proc,
                      static_cast<LPARAM>(cur_model_symbols));
}

void underbar_follows_far_east(HWND page) {
    HWND underbar = GetDlgItem(page, idm_hard_underbar);
    if (!underbar) return;
    if (IsDlgButtonChecked(page, idm_far_east) == BST_CHECKED) {
        CheckDlgButton(page, idm_hard_underbar, BST_CHECKED);
        EnableWindow(underbar, FALSE);
    } else {
        EnableWindow(underbar, TRUE);
    }
}

int save_data_names() {
    if (!needs_good_model()) return 0;
    std::vector<std::string> names;
    if (lock_model(0)) {
        for (int i = 0; i < model_alpha_count; ++i)
            if (sym(model_alpha[i])->type == st_data) names.emplace_back(sym_name(model_alpha[i]));
        unlock_model(0);
    }
    if (names.empty()) {
        report(8, "This model has no data variables requiring an input file");
        return 0;
    }
    char* name =
        file_dialog("Save data names to", "", fd_save, ft_text, 0, ft_text, 0, nullptr, nullptr);
    if (!name) return 0;
    std::FILE* f = open_stream(name, "w");
    if (!f) {
        report(8, "Unable to open %s", name);
        return 0;
    }
    for (const std::string& n : names) std::fprintf(f, "%s\n", n.c_str());
    return close_stream(f) > 0 ? 1 : 0;
}

std::string model_info_text() {
    if (!model_is_open() || !cur_model_symbols) return {};
    handle symbols = cur_model_symbols;
    long total = 0, lookups = 0, levels = 0, auxes = 0, data = 0, initials = 0, constants = 0;
    symbol_id time = get_header_word(symbols, mh_time_symbol);
    if (lock_model(0)) {
        for (int i = 0; i < model_alpha_count; ++i) {
            symbol_id id = model_alpha[i];
            ++total;
            switch (sym(id)->type) {
            case st_lookup:
                ++lookups;
                break;
            case st_level:
                if (id != time) ++levels;
                break;
            case st_aux:
                ++auxes;
                break;
            case st_data:
                ++data;
                break;
            case st_initial:
                ++initials;
                break;
            case st_constant:
            case st_data_constant:
                ++constants;
                break;
            default:
                break;
            }
        }
        unlock_model(0);
    }
    char buf[512];
    if (model_has_errors())
        std::snprintf(buf, sizeof buf, "Model has %ld symbols and cannot be simulated ", total);
    else
        std::snprintf(buf, sizeof buf,
                      "Model has %ld symbols, %ld Lookups, Time + %ld Levels, %ld Auxiliaries, %ld "
                      "Data, %ld Initial and %ld Constants (Total %ld). ",
                      total, lookups, levels, auxes, data, initials, constants,
                      lookups + 1 + levels + auxes + data + initials + constants);
    // Block sizes in units of 1028 bytes, as the model information has
    // always given them.
    auto k = [&](int word) {
        return static_cast<int>(handle_size(word < 0 ? symbols : get_header_word(symbols, word)) /
                                1028);
    };
    char sizes[128];
    std::snprintf(sizes, sizeof sizes, "-- Sizes: Symbols %dK, Equations %dK, Comments %dK", k(-1),
                  k(mh_equations), k(mh_comments));
    return std::string(buf) + sizes;
}

bool valid_reference(const std::string& name, const std::string& file) {
    return !name.empty() && !file.empty() && name.find('=') == std::string::npos;
}

int save_model_and_settings() {
    if (!model_is_open() || !cur_model_symbols) return 0;
    int ok = write_model_settings(cur_model_header, cur_model_symbols, 0, nullptr);
    // Only a binary model file is written back: a package or a run file
    // holds the model among other things this program does not rewrite.
    std::string name = current_model_name();
    std::string path = name;
    if (!path.empty() && path[0] != '/' && *current_model_dir())
        path = std::string(current_model_dir()) + "/" + name;
    std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ok && ext == ".kmf")
        ok = write_model_file(path.c_str(), cur_model_header, cur_model_symbols) == 1 ? 1 : 0;
    // Then the settings file, its "Model" key as the file has it.
    const int read = read_ini_file(nullptr, nullptr, 1);
    if (read == -2) {
        report_ini_make_failure(); // said once, not at every save
        return 0;
    }
    if (read < 0) {
        report(5, "Unable to read the settings file %s - the settings were not saved",
               ini_file_path());
        return 0;
    }
    save_main_place(main_wnd);
    recent_models(-2, 0, nullptr);
    store_settings();
    return write_ini_file(2) > 0 && ok ? 1 : 0;
}
