// The test answerer (see answerer.h).
#include "tests/driver/answerer.h"

#include "platform/controls.h"
#include "platform/msgbox.h"
#include "platform/win.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <memory>

namespace answerer {
namespace {

struct Store {
    bool installed = false;
    FailureHandler fail;
    std::deque<std::unique_ptr<Answer>> queue;
    std::vector<Seen> seen;
};

Store& store() {
    static Store s;
    return s;
}

void failure(const std::string& m) {
    if (store().fail)
        store().fail(m);
    else
        std::fprintf(stderr, "answerer: %s\n", m.c_str());
}

std::string describe(const ModalInfo& info) {
    if (info.message_box) return "message box \"" + info.caption + "\": " + info.text;
    return "dialog " + std::to_string(info.template_id) + " \"" + info.caption + "\"";
}

bool matches(const Answer& a, const ModalInfo& info) {
    if (a.message_box != info.message_box) return false;
    if (a.message_box) {
        if (!a.caption.empty() && a.caption != info.caption) return false;
        return a.text_contains.empty() || info.text.find(a.text_contains) != std::string::npos;
    }
    if (a.template_id) return a.template_id == info.template_id;
    return a.caption == info.caption;
}

std::string class_of(HWND h) {
    char name[64] = {};
    GetClassName(h, name, sizeof name);
    return name;
}
bool is_class(HWND h, const char* cls) {
    std::string a = class_of(h), b = cls;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Selects an item as a click would: the selection changes and the parent hears
// of it.
void choose(HWND dialog, HWND c, int id, int index, const std::string& what) {
    if (is_class(c, WC_LISTBOX)) {
        auto style = static_cast<DWORD>(GetWindowLong(c, GWL_STYLE));
        if (index < 0 || index >= SendMessage(c, LB_GETCOUNT, 0, 0)) {
            failure(what + ": list " + std::to_string(id) + " has no item " +
                    std::to_string(index));
            return;
        }
        if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))
            SendMessage(c, LB_SETSEL, TRUE, index);
        else
            SendMessage(c, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        if (style & LBS_NOTIFY)
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(c));
        return;
    }
    if (is_class(c, WC_COMBOBOX)) {
        if (index < 0 || index >= SendMessage(c, CB_GETCOUNT, 0, 0)) {
            failure(what + ": combo box " + std::to_string(id) + " has no item " +
                    std::to_string(index));
            return;
        }
        SendMessage(c, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), CBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(c));
        return;
    }
    failure(what + ": control " + std::to_string(id) + " is not a list or combo box");
}

void apply(HWND dialog, const Answer& a, const ModalInfo& info) {
    std::string what = describe(info);
    for (const Step& s : a.steps) {
        if (!IsWindow(dialog)) return;
        HWND c = s.kind == Step::Kind::call ? nullptr : GetDlgItem(dialog, s.id);
        if (s.kind != Step::Kind::call && !c) {
            failure(what + ": no control " + std::to_string(s.id));
            continue;
        }
        switch (s.kind) {
        case Step::Kind::set_text:
            SetWindowText(c, s.text.c_str());
            break;
        case Step::Kind::select_index:
            choose(dialog, c, s.id, s.value, what);
            break;
        case Step::Kind::select_string: {
            UINT find = is_class(c, WC_COMBOBOX) ? CB_FINDSTRING : LB_FINDSTRING;
            auto i = static_cast<int>(SendMessage(c, find, static_cast<WPARAM>(-1),
                                                  reinterpret_cast<LPARAM>(s.text.c_str())));
            if (i < 0)
                failure(what + ": no item \"" + s.text + "\" in control " + std::to_string(s.id));
            else
                choose(dialog, c, s.id, i, what);
            break;
        }
        case Step::Kind::check:
            if (!IsWindowEnabled(c)) {
                failure(what + ": control " + std::to_string(s.id) + " is disabled");
                break;
            }
            if ((SendMessage(c, BM_GETCHECK, 0, 0) == BST_CHECKED) != (s.value != 0))
                SendMessage(c, BM_CLICK, 0, 0);
            if ((SendMessage(c, BM_GETCHECK, 0, 0) == BST_CHECKED) != (s.value != 0))
                failure(what + ": control " + std::to_string(s.id) + " did not take the state");
            break;
        case Step::Kind::press:
            if (!IsWindowEnabled(c)) {
                failure(what + ": button " + std::to_string(s.id) + " is disabled");
                break;
            }
            SendMessage(c, BM_CLICK, 0, 0);
            break;
        case Step::Kind::call:
            s.fn(dialog);
            break;
        }
    }
}

// Closes a box nobody answered.
void dismiss(const ModalInfo& info) {
    int r = IDCANCEL;
    if (info.message_box) {
        r = msgbox_escape_answer(info.mb_type);
        if (!r) r = msgbox_buttons(info.mb_type).back();
    }
    EndDialog(info.dialog, r);
}

void answer_next(const ModalInfo& info, bool first) {
    auto& q = store().queue;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!matches(**it, info)) continue;
        std::shared_ptr<Answer> a(std::move(*it));
        q.erase(it);
        if (first) {
            store().seen.back().answered = true;
        }
        win_push_idle_action([a, info] {
            if (!IsWindow(info.dialog)) return;
            apply(info.dialog, *a, info);
            // Still open (the procedure refused the answer): a further queued
            // answer for the same box may follow, else it is a failure.
            if (IsWindow(info.dialog) && IsWindowVisible(info.dialog)) {
                auto& q2 = store().queue;
                for (auto& next : q2)
                    if (matches(*next, info)) {
                        answer_next(info, false);
                        return;
                    }
                failure(describe(info) + " stayed open after its answer");
                dismiss(info);
            }
        });
        return;
    }
    if (first) {
        failure("unexpected " + describe(info));
        dismiss(info);
    }
}

void on_modal(const ModalInfo& info) {
    store().seen.push_back(
        {info.message_box, info.template_id, info.caption, info.text, false, info.mb_type});
    answer_next(info, true);
}

Answer& queue(std::unique_ptr<Answer> a) {
    store().queue.push_back(std::move(a));
    return *store().queue.back();
}

} // namespace

Answer& Answer::set_text(int id, const std::string& value) {
    steps.push_back({Step::Kind::set_text, id, value, 0, nullptr});
    return *this;
}
Answer& Answer::select(int id, int index) {
    steps.push_back({Step::Kind::select_index, id, {}, index, nullptr});
    return *this;
}
Answer& Answer::select(int id, const std::string& item) {
    steps.push_back({Step::Kind::select_string, id, item, 0, nullptr});
    return *this;
}
Answer& Answer::check(int id, bool on) {
    steps.push_back({Step::Kind::check, id, {}, on ? 1 : 0, nullptr});
    return *this;
}
Answer& Answer::call(std::function<void(HWND)> fn) {
    steps.push_back({Step::Kind::call, 0, {}, 0, std::move(fn)});
    return *this;
}
Answer& Answer::press(int id) {
    steps.push_back({Step::Kind::press, id, {}, 0, nullptr});
    return *this;
}

void install(FailureHandler on_failure) {
    store().installed = true;
    store().fail = std::move(on_failure);
    dlg_set_modal_hook(on_modal);
}

void uninstall() {
    dlg_set_modal_hook(nullptr);
    store() = Store{};
}

Answer& box(const std::string& caption) {
    auto a = std::make_unique<Answer>();
    a->message_box = true;
    a->caption = caption;
    return queue(std::move(a));
}

Answer& dialog(int template_id) {
    auto a = std::make_unique<Answer>();
    a->template_id = template_id;
    return queue(std::move(a));
}

Answer& dialog(const std::string& caption) {
    auto a = std::make_unique<Answer>();
    a->caption = caption;
    return queue(std::move(a));
}

const std::vector<Seen>& seen() {
    return store().seen;
}
std::size_t pending() {
    return store().queue.size();
}
void clear() {
    store().queue.clear();
    store().seen.clear();
}

int run_modeless(HWND dialog, int limit) {
    MSG m;
    int n = 0;
    while (n < limit && PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        ++n;
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (IsWindow(dialog) && IsDialogMessage(dialog, &m)) continue;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    return n;
}

} // namespace answerer
