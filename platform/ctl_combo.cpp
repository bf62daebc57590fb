// Combo boxes: simple and drop-down (with an edit field) and drop-down lists,
// sorted or not, with item data and the CB_* messages the program uses, over
// a QComboBox whose own signals are turned into the platform's notifications.
//
// The user's choice from the open list notifies CBN_SELENDOK, CBN_CLOSEUP and
// then CBN_SELCHANGE (the list is closed when the program hears of the change);
// dismissing the list notifies CBN_SELENDCANCEL and CBN_CLOSEUP. Opening
// notifies CBN_DROPDOWN before the list shows, so the program may refill it.
// Typing in the edit field notifies CBN_EDITUPDATE and CBN_EDITCHANGE.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <optional>

namespace ctl {
namespace {

class ComboWidget final : public QComboBox {
public:
    ComboWidget(HWND hwnd, QWidget* parent) : QComboBox(parent), hwnd_(hwnd) {
        DWORD kind = style_of(hwnd) & 3;
        setEditable(kind == CBS_SIMPLE || kind == CBS_DROPDOWN);
        setInsertPolicy(QComboBox::NoInsert);
        setMaxVisibleItems(30);
        QObject::connect(this, &QComboBox::currentIndexChanged, this, [this](int) {
            if (quiet) return;
            guarded([&] {
                finish_popup(true);
                notify(hwnd_, CBN_SELCHANGE);
            });
        });
        QObject::connect(this, &QComboBox::activated, this, [this](int) {
            if (quiet) return;
            guarded([&] { finish_popup(true); });
        });
        if (lineEdit()) {
            QObject::connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
                if (quiet) return;
                guarded([&] {
                    sync_text();
                    notify(hwnd_, CBN_EDITUPDATE);
                    notify(hwnd_, CBN_EDITCHANGE);
                });
            });
        }
    }
    HWND hwnd_;
    int quiet = 0;
    bool dropped = false;
    bool closing = false;
    int item_height = 0;
    int dropped_height = 0;
    int refitting = 0;

    // A new font gives the box a new line height.
    void fit_line() {
        if ((style_of(hwnd_) & 3) == CBS_SIMPLE) return;
        RECT rc;
        if (!GetWindowRect(hwnd_, &rc)) return;
        ++refitting;
        SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        --refitting;
    }

    void sync_text() {
        std::string t = bytes(currentText());
        DefWindowProc(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
    }
    void showPopup() override {
        if (dropped) return;
        guarded([&] { notify(hwnd_, CBN_DROPDOWN); });
        dropped = true;
        QComboBox::showPopup();
    }
    void hidePopup() override {
        if (!dropped) {
            QComboBox::hidePopup();
            return;
        }
        QComboBox::hidePopup();
        dropped = false;
        closing = true;
        // A choice, when there is one, follows at once (Qt hides the list
        // first); otherwise the list was dismissed.
        QTimer::singleShot(0, this, [this] {
            if (!closing) return;
            guarded([&] {
                closing = false;
                notify(hwnd_, CBN_SELENDCANCEL);
                notify(hwnd_, CBN_CLOSEUP);
            });
        });
    }
    // The keys of the open list, handled here so they act the same whichever
    // widget Qt gave the keyboard to.
    bool dropped_key(int vk) {
        QAbstractItemView* v = view();
        int cur = v && v->currentIndex().isValid() ? v->currentIndex().row() : currentIndex();
        switch (vk) {
        case VK_DOWN:
        case VK_UP:
        case VK_NEXT:
        case VK_PRIOR: {
            int step = (vk == VK_DOWN || vk == VK_UP) ? 1 : std::max(maxVisibleItems() - 1, 1);
            int next = std::clamp(cur + ((vk == VK_DOWN || vk == VK_NEXT) ? step : -step), 0,
                                  std::max(count() - 1, 0));
            if (v && count() > 0) v->setCurrentIndex(model()->index(next, modelColumn()));
            return true;
        }
        case VK_RETURN: {
            hidePopup();
            if (cur >= 0 && cur != currentIndex()) {
                setCurrentIndex(cur); // SELENDOK, CLOSEUP and SELCHANGE follow
            } else {
                finish_popup(true);
            }
            sync_text();
            return true;
        }
        case VK_ESCAPE:
            hidePopup();
            finish_popup(false);
            return true;
        default:
            return false;
        }
    }
    void finish_popup(bool ok) {
        if (!closing) return;
        closing = false;
        notify(hwnd_, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
        notify(hwnd_, CBN_CLOSEUP);
    }
    int insert(int at, const char* text, ULONG_PTR data) {
        if (count() >= lb_max_items) return static_cast<int>(CB_ERRSPACE);
        QString t = qs(text ? text : "");
        if (at < 0 || at > count()) {
            at = count();
            if (style_of(hwnd_) & CBS_SORT) {
                at = 0;
                while (at < count() && itemText(at).compare(t, Qt::CaseInsensitive) <= 0) ++at;
            }
        }
        ++quiet;
        QString keep = currentText();
        int cur = currentIndex();
        insertItem(at, t, QVariant::fromValue<qulonglong>(data));
        // Inserting never selects on the platform: keep "no selection".
        if (cur < 0) {
            setCurrentIndex(-1);
            if (lineEdit()) lineEdit()->setText(keep);
        }
        --quiet;
        return at;
    }
    int find(int after, const char* text, bool exact) const {
        if (!text || count() == 0) return static_cast<int>(CB_ERR);
        QString t = qs(text);
        int start = (after < -1 || after >= count()) ? -1 : after;
        for (int n = 1; n <= count(); ++n) {
            int i = (start + n) % count();
            QString s = itemText(i);
            if (exact ? s.compare(t, Qt::CaseInsensitive) == 0
                      : s.startsWith(t, Qt::CaseInsensitive))
                return i;
        }
        return static_cast<int>(CB_ERR);
    }
    void select(int i) {
        ++quiet;
        setCurrentIndex(i);
        if (i < 0 && lineEdit()) lineEdit()->clear();
        if (i >= 0 && lineEdit()) lineEdit()->selectAll(); // the chosen text is selected
        --quiet;
        sync_text();
    }
};

// The item messages: adding, inserting, deleting, finding and selecting
// items, their texts and their data; none when the message is not one of
// them.
std::optional<LRESULT> combo_item_message(ComboWidget* w, UINT message, int index, LPARAM lparam) {
    auto valid = [&](int i) { return i >= 0 && i < w->count(); };
    switch (message) {
    case CB_ADDSTRING:
        return w->insert(-1, reinterpret_cast<const char*>(lparam), 0);
    case CB_INSERTSTRING:
        if (index < -1 || index > w->count()) return CB_ERR;
        return w->insert(index < 0 ? w->count() : index, reinterpret_cast<const char*>(lparam), 0);
    case CB_DELETESTRING:
        if (!valid(index)) return CB_ERR;
        ++w->quiet;
        w->removeItem(index);
        --w->quiet;
        w->sync_text();
        return w->count();
    case CB_RESETCONTENT:
        ++w->quiet;
        w->clear();
        if (w->lineEdit()) w->lineEdit()->clear();
        --w->quiet;
        w->sync_text();
        return CB_OKAY;
    case CB_GETCOUNT:
        return w->count();
    case CB_GETCURSEL:
        return valid(w->currentIndex()) ? w->currentIndex() : CB_ERR;
    case CB_SETCURSEL:
        if (!valid(index)) {
            w->select(-1);
            return CB_ERR;
        }
        w->select(index);
        return index;
    case CB_GETLBTEXT: {
        auto* buffer = reinterpret_cast<char*>(lparam);
        if (!valid(index) || !buffer) return CB_ERR;
        std::string t = bytes(w->itemText(index));
        std::memcpy(buffer, t.c_str(), t.size() + 1);
        return static_cast<LRESULT>(t.size());
    }
    case CB_GETLBTEXTLEN:
        if (!valid(index)) return CB_ERR;
        return static_cast<LRESULT>(bytes(w->itemText(index)).size());
    case CB_FINDSTRING:
        return w->find(index, reinterpret_cast<const char*>(lparam), false);
    case CB_FINDSTRINGEXACT:
        return w->find(index, reinterpret_cast<const char*>(lparam), true);
    case CB_SELECTSTRING: {
        int i = w->find(index, reinterpret_cast<const char*>(lparam), false);
        if (i < 0) return CB_ERR;
        w->select(i);
        return i;
    }
    case CB_GETITEMDATA:
        if (!valid(index)) return CB_ERR;
        return static_cast<LRESULT>(w->itemData(index).value<qulonglong>());
    case CB_SETITEMDATA:
        if (!valid(index)) return CB_ERR;
        w->setItemData(index, QVariant::fromValue<qulonglong>(static_cast<qulonglong>(lparam)));
        return CB_OKAY;
    default:
        return std::nullopt;
    }
}

// The messages on the box itself: its drop-down list, the edit line's limit
// and selection, and the item height; none when the message is not one of
// them.
std::optional<LRESULT> combo_box_message(HWND hwnd, ComboWidget* w, UINT message, WPARAM wparam,
                                         LPARAM lparam) {
    switch (message) {
    case CB_SHOWDROPDOWN:
        if (wparam)
            w->showPopup();
        else
            w->hidePopup();
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return w->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        if (w->lineEdit()) w->lineEdit()->setMaxLength(wparam ? static_cast<int>(wparam) : 32767);
        return TRUE;
    case CB_GETEDITSEL: {
        if (!w->lineEdit()) return CB_ERR;
        QLineEdit* e = w->lineEdit();
        int qs_ = e->hasSelectedText() ? static_cast<int>(e->selectionStart())
                                       : static_cast<int>(e->cursorPosition());
        int qe = qs_ + static_cast<int>(e->selectedText().size());
        // The program counts UTF-8 bytes.
        int s = byte_position(e->text(), qs_), end = byte_position(e->text(), qe);
        if (wparam) *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(s);
        if (lparam) *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(end);
        return MAKELONG(static_cast<WORD>(s), static_cast<WORD>(end));
    }
    case CB_SETEDITSEL: {
        if (!w->lineEdit()) return CB_ERR;
        QLineEdit* e = w->lineEdit();
        int s = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
        int end = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
        int len = static_cast<int>(e->text().size());
        if (s < 0) {
            e->deselect();
            return TRUE;
        }
        end = end < 0 ? len : qt_position(e->text(), end);
        s = qt_position(e->text(), s);
        e->setSelection(s, end - s);
        return TRUE;
    }
    case CB_SETITEMHEIGHT:
        if (static_cast<int>(lparam) <= 0) return CB_ERR;
        w->item_height = static_cast<int>(lparam);
        return 0;
    case CB_GETITEMHEIGHT:
        return w->item_height > 0 ? w->item_height : QFontMetrics(w->font()).height();
    case CB_GETDROPPEDCONTROLRECT: {
        auto* rc = reinterpret_cast<RECT*>(lparam);
        if (!rc) return CB_ERR;
        GetWindowRect(hwnd, rc);
        rc->bottom = rc->top + std::max<LONG>(w->dropped_height, rc->bottom - rc->top);
        return TRUE;
    }
    default:
        return std::nullopt;
    }
}

LRESULT combo_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    take_focus_on_click(hwnd, message);
    if (common_message(hwnd, message, wparam, lparam, r)) {
        if (message == WM_SETFONT)
            if (auto* c = widget_as<ComboWidget>(hwnd)) c->fit_line();
        return r;
    }
    auto* w = widget_as<ComboWidget>(hwnd);
    if (!w) return DefWindowProc(hwnd, message, wparam, lparam);
    auto index = static_cast<int>(static_cast<LONG>(wparam));
    if (auto answer = combo_item_message(w, message, index, lparam)) return *answer;
    if (auto answer = combo_box_message(hwnd, w, message, wparam, lparam)) return *answer;
    switch (message) {
    case WM_NCCREATE: {
        LRESULT ok = DefWindowProc(hwnd, message, wparam, lparam);
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lparam);
        if (w->lineEdit() && cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
            ++w->quiet;
            w->lineEdit()->setText(qs(cs->lpszName));
            --w->quiet;
        }
        return ok;
    }
    case WM_CREATE: {
        // The template's height is the dropped-down list's; the box itself is
        // one line high (set on the way through WM_WINDOWPOSCHANGING).
        if ((style_of(hwnd) & 3) != CBS_SIMPLE) {
            RECT rc;
            GetWindowRect(hwnd, &rc);
            SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    }
    case WM_WINDOWPOSCHANGING: {
        // Whoever sizes a drop-down box (a template, MoveWindow from a layout)
        // gives the extent of the open list; the box stays one line high.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
        if (pos && !(pos->flags & SWP_NOSIZE) && (style_of(hwnd) & 3) != CBS_SIMPLE) {
            int line = w->sizeHint().height();
            if (!w->refitting && pos->cy != line) w->dropped_height = pos->cy;
            pos->cy = line;
        }
        break;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS | (w->dropped ? DLGC_WANTALLKEYS : 0);
    case WM_SETFOCUS:
        if (w->lineEdit()) { // the text is selected, as the platform's combo does
            w->setFocus(Qt::OtherFocusReason);
            w->lineEdit()->selectAll();
        }
        notify(hwnd, CBN_SETFOCUS);
        return 0;
    case WM_KEYDOWN:
        if (w->dropped && w->dropped_key(static_cast<int>(wparam))) return 0;
        if (!w->dropped && wparam == VK_F4) {
            w->showPopup();
            return 0;
        }
        break;
    case WM_CHAR:
        if (w->dropped) return 0;
        break;
    case WM_KILLFOCUS:
        if (w->dropped) w->hidePopup();
        notify(hwnd, CBN_KILLFOCUS);
        return 0;
    case WM_SETTEXT: {
        auto* text = reinterpret_cast<const char*>(lparam);
        if (!w->lineEdit()) { // a drop-down list shows only its items
            int i = w->find(-1, text ? text : "", true);
            if (i < 0) return CB_ERR;
            w->select(i);
            return TRUE;
        }
        ++w->quiet;
        w->lineEdit()->setText(qs(text ? text : ""));
        --w->quiet;
        w->sync_text();
        return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        w->sync_text();
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

} // namespace

void register_combobox() {
    register_class(WC_COMBOBOX, combo_proc,
                   [](HWND hwnd, QWidget* parent) { return new ComboWidget(hwnd, parent); });
}

} // namespace ctl
