// The model password dialog (template dlg_password).
#include "shell/password.h"

#include "model/constants.h"
#include "platform/controls.h"
#include "resources/dialogs.h"
#include "shell/dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int try_number = 1;
password_answer answer = password_answer::not_asked;

struct password_state {
    std::string caption;
    std::string note;
    std::string typed;
};

// The model's file name without its folder.
std::string leaf_of(const char* path) {
    const char* p = path ? path : "";
    for (const char* q = p; *q; ++q)
        if (*q == '/' || *q == '\\') p = q + 1;
    return p;
}

INT_PTR password_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<password_state>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        st = begin_dialog<password_state>(dialog, lparam);
        SetWindowText(dialog, st->caption.c_str());
        SetDlgItemText(dialog, idc_password_note, st->note.c_str());
        SendDlgItemMessage(dialog, idc_password, EM_LIMITTEXT, max_password_chars, 0);
        SetFocus(GetDlgItem(dialog, idc_password));
        return FALSE; // the focus is set
    case WM_COMMAND:
        if (!st) return FALSE;
        if (LOWORD(wparam) == IDOK) {
            char text[max_password_chars + 2] = {};
            GetDlgItemText(dialog, idc_password, text, sizeof text);
            st->typed = text;
            std::memset(text, 0, sizeof text);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void begin_password_try(int number) {
    try_number = number < 1 ? 1 : number;
    answer = password_answer::not_asked;
}

password_answer last_password_answer() {
    return answer;
}

int ask_model_password_dialog(const char* model_name, char* out, std::size_t size) {
    password_state st;
    st.caption = "Password for " + leaf_of(model_name);
    if (try_number > 1)
        st.note = "The password was not correct (try " + std::to_string(try_number) + " of " +
                  std::to_string(password_tries) + ").";
    INT_PTR r = run_dialog(dlg_password, nullptr, password_proc, reinterpret_cast<LPARAM>(&st));
    if (r != IDOK) {
        answer = password_answer::cancelled;
        return 0;
    }
    answer = password_answer::given;
    if (out && size) std::snprintf(out, size, "%s", st.typed.c_str());
    std::fill(st.typed.begin(), st.typed.end(), '\0');
    return 1;
}
