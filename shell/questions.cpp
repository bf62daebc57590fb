// The small question dialogs: text, replace and list.
#include "shell/questions.h"

#include "foundation/memory.h"
#include "platform/controls.h"
#include "resources/dialogs.h"
#include "shell/dialogs.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct question_data {
    const char* prompt = nullptr;
    std::string text;
    std::string second;
    bool two = false;
    const char* const* items = nullptr;
    int count = 0;
    std::int16_t chosen = -1;
};

std::string item_text(HWND dialog, int id) {
    HWND w = GetDlgItem(dialog, id);
    int n = std::max(0, GetWindowTextLength(w));
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowText(w, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

void layout_list_dialog(HWND dialog) {
    RECT cr{};
    GetClientRect(dialog, &cr);
    int w = cr.right, h = cr.bottom;
    RECT ok{};
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    int bw = ok.right - ok.left, bh = ok.bottom - ok.top;
    if (bw <= 0) bw = 75;
    if (bh <= 0) bh = 23;
    RECT pr{};
    GetWindowRect(GetDlgItem(dialog, idc_prompt), &pr);
    int ph = std::max<int>(pr.bottom - pr.top, 16);
    int margin = 10;
    MoveWindow(GetDlgItem(dialog, idc_prompt), margin, margin, std::max(0, w - 2 * margin), ph,
               TRUE);
    int by = h - margin - bh;
    MoveWindow(GetDlgItem(dialog, IDOK), w / 4 - bw / 2, by, bw, bh, TRUE);
    MoveWindow(GetDlgItem(dialog, IDCANCEL), 3 * w / 4 - bw / 2, by, bw, bh, TRUE);
    int ly = margin + ph + 6;
    MoveWindow(GetDlgItem(dialog, idc_answer), margin, ly, std::max(0, w - 2 * margin),
               std::max(0, by - 8 - ly), TRUE);
}

} // namespace

INT_PTR user_text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* q = dialog_data<question_data>(dialog);
    switch (message) {
    case WM_INITDIALOG:
        q = begin_dialog<question_data>(dialog, lparam);
        if (!q) return TRUE;
        if (q->prompt) SetDlgItemText(dialog, idc_prompt, q->prompt);
        if (q->two) {
            SetDlgItemText(dialog, idc_search, q->text.c_str());
            SetDlgItemText(dialog, idc_replace, q->second.c_str());
        } else {
            SetDlgItemText(dialog, idc_answer, q->text.c_str());
        }
        return TRUE;
    case WM_COMMAND:
        if (!q) {
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) EndDialog(dialog, 0);
            return FALSE;
        }
        if (LOWORD(wparam) == IDOK) {
            if (q->two) {
                q->text = item_text(dialog, idc_search);
                q->second = item_text(dialog, idc_replace);
            } else {
                q->text = item_text(dialog, idc_answer);
            }
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR user_list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* q = dialog_data<question_data>(dialog);
    switch (message) {
    case WM_INITDIALOG: {
        q = begin_dialog<question_data>(dialog, lparam);
        layout_list_dialog(dialog);
        if (!q) return TRUE;
        if (q->prompt) SetDlgItemText(dialog, idc_prompt, q->prompt);
        HWND list = GetDlgItem(dialog, idc_answer);
        for (int i = 0; i < q->count; ++i)
            SendMessage(list, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(q->items[i] ? q->items[i] : ""));
        if (q->chosen >= 0 && q->chosen < q->count)
            SendMessage(list, LB_SETCURSEL, static_cast<WPARAM>(q->chosen), 0);
        q->chosen = -1;
        layout_list_dialog(dialog);
        return TRUE;
    }
    case WM_SIZE:
        layout_list_dialog(dialog);
        return TRUE;
    case WM_COMMAND: {
        if (!q) return FALSE;
        int id = LOWORD(wparam);
        bool take = id == IDOK || (id == idc_answer && HIWORD(wparam) == LBN_DBLCLK);
        if (take) {
            LRESULT sel = SendDlgItemMessage(dialog, idc_answer, LB_GETCURSEL, 0, 0);
            if (sel < 0) return TRUE; // nothing chosen: the dialog stays
            q->chosen = static_cast<std::int16_t>(sel);
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            q->chosen = -1;
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

char* ask_text(const char* prompt, const char* dflt) {
    question_data q;
    q.prompt = prompt;
    q.text = dflt ? dflt : "";
    if (run_dialog(dlg_ask_text, nullptr, user_text_proc, reinterpret_cast<LPARAM>(&q)) != 1)
        return nullptr;
    return scratch_strdup(q.text.c_str());
}

char* ask_replace_text(HWND owner, const char* prompt, const char* text, const char* second) {
    question_data q;
    q.prompt = prompt;
    q.text = text ? text : "";
    q.two = second != nullptr;
    if (q.two) q.second = second;
    int id = q.two ? dlg_ask_replace_two : dlg_ask_replace_one;
    if (run_dialog(id, owner, user_text_proc, reinterpret_cast<LPARAM>(&q)) != 1) return nullptr;
    if (!q.two) return scratch_strdup(q.text.c_str());
    std::size_t a = q.text.size(), b = q.second.size();
    char* out = static_cast<char*>(scratch_alloc(a + b + 2));
    std::memcpy(out, q.text.data(), a);
    out[a] = 0;
    std::memcpy(out + a + 1, q.second.data(), b);
    out[a + 1 + b] = 0;
    return out;
}

int ask_list(const char* prompt, const char* const* items, int count, int current) {
    question_data q;
    q.prompt = prompt;
    q.items = items;
    q.count = items ? std::max(0, count) : 0;
    q.chosen = static_cast<std::int16_t>(current);
    if (run_dialog(dlg_ask_list, nullptr, user_list_proc, reinterpret_cast<LPARAM>(&q)) != 1)
        return -1;
    return q.chosen;
}
