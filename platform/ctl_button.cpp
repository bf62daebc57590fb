// The button family: push and default push buttons, check boxes (plain,
// automatic, three-state), radio buttons (plain and automatic), group boxes
// and owner-drawn buttons, as Qt buttons driven by BM_* messages.
//
// Qt's own check toggling and radio exclusivity are switched off: the state
// changes here, as the platform does it (automatic kinds on a click,
// automatic radio buttons clearing the others of their group), and the parent
// hears BN_CLICKED.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"
#include "platform/win_internal.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace ctl {
namespace {

DWORD kind_of(DWORD style) {
    return style & BS_TYPEMASK;
}

class PushButton final : public QPushButton {
public:
    PushButton(HWND hwnd, QWidget* parent) : QPushButton(parent), hwnd_(hwnd) {
        setAutoDefault(false);
    }
    HWND hwnd_;
    bool pushed = false;

protected:
    void paintEvent(QPaintEvent* e) override {
        if (kind_of(style_of(hwnd_)) != BS_OWNERDRAW) {
            QPushButton::paintEvent(e);
            return;
        }
        QImage image(size(), QImage::Format_RGB32);
        image.fill(palette().button().color());
        DRAWITEMSTRUCT di{};
        di.CtlType = ODT_BUTTON;
        di.itemAction = ODA_DRAWENTIRE;
        di.itemState = (isDown() || pushed ? ODS_SELECTED : 0) | (hasFocus() ? ODS_FOCUS : 0) |
                       (isEnabled() ? 0 : ODS_DISABLED);
        di.rcItem = {0, 0, width(), height()};
        guarded([&] { owner_draw(hwnd_, image, di); });
        QPainter p(this);
        p.drawImage(0, 0, image);
    }
};

class CheckBox final : public QCheckBox {
public:
    CheckBox(HWND, QWidget* parent) : QCheckBox(parent) {}

protected:
    void nextCheckState() override {} // the state changes in click()
};

class RadioButton final : public QRadioButton {
public:
    RadioButton(HWND, QWidget* parent) : QRadioButton(parent) { setAutoExclusive(false); }

protected:
    void nextCheckState() override {}
};

// A group box drawn as the platform draws one: an etched frame and its title
// over the dialog's own background. The toolkit's style would shade the
// inside, and every check box or radio button in it, which fills its own
// background with the dialog's colour, would stand out as a lighter strip.
class GroupBox final : public QGroupBox {
public:
    explicit GroupBox(QWidget* parent) : QGroupBox(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics fm(font());
        const QString text = title();
        const int top = fm.height() / 2;
        const QRect frame(0, top, width() - 2, height() - top - 2);
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        p.setPen(shadow);
        p.drawRect(frame);
        p.setPen(light);
        p.drawRect(frame.translated(1, 1));
        if (text.isEmpty()) return;
        // The title sits on the frame's top line, with a little room either
        // side, in the background it was given.
        // "&" marks a mnemonic, "&&" stands for "&".
        QString shown;
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('&') && i + 1 < text.size())
                ++i;
            else if (text[i] == QLatin1Char('&'))
                continue;
            shown += text[i];
        }
        const int x = 8;
        const int w = std::min(fm.horizontalAdvance(shown) + 4, std::max(0, width() - x - 4));
        const QRect title_rect(x, 0, w, fm.height());
        p.fillRect(title_rect, palette().color(QPalette::Window));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        p.drawText(title_rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
};

QAbstractButton* as_button(HWND hwnd) {
    return dynamic_cast<QAbstractButton*>(win_widget(hwnd));
}

QString label(const std::string& text) {
    return qs(text); // '&' marks the mnemonic, as Qt buttons read it
}

UINT get_check(HWND hwnd) {
    auto* b = as_button(hwnd);
    if (!b) return BST_UNCHECKED;
    if (auto* cb = dynamic_cast<QCheckBox*>(b)) {
        switch (cb->checkState()) {
        case Qt::Checked:
            return BST_CHECKED;
        case Qt::PartiallyChecked:
            return BST_INDETERMINATE;
        default:
            return BST_UNCHECKED;
        }
    }
    return b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void set_check(HWND hwnd, WPARAM state) {
    auto* b = as_button(hwnd);
    if (!b) return;
    DWORD kind = kind_of(style_of(hwnd));
    if (auto* cb = dynamic_cast<QCheckBox*>(b)) {
        bool tri = kind == BS_3STATE || kind == BS_AUTO3STATE;
        cb->setTristate(tri);
        Qt::CheckState s = state == BST_CHECKED                  ? Qt::Checked
                           : (state == BST_INDETERMINATE && tri) ? Qt::PartiallyChecked
                                                                 : Qt::Unchecked;
        cb->setCheckState(s);
    } else if (dynamic_cast<QRadioButton*>(b)) {
        b->setChecked(state == BST_CHECKED);
        // A checked radio button is the group's tab stop, as the platform keeps it.
        DWORD st = style_of(hwnd);
        if (state == BST_CHECKED && kind == BS_AUTORADIOBUTTON && !(st & WS_TABSTOP))
            SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(st | WS_TABSTOP));
        else if (state != BST_CHECKED && kind == BS_AUTORADIOBUTTON && (st & WS_TABSTOP))
            SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(st & ~WS_TABSTOP));
    }
}

// A click by the user (mouse, space) or BM_CLICK.
void click(HWND hwnd) {
    DWORD kind = kind_of(style_of(hwnd));
    switch (kind) {
    case BS_AUTOCHECKBOX:
        set_check(hwnd, get_check(hwnd) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
        break;
    case BS_AUTO3STATE: {
        UINT c = get_check(hwnd);
        set_check(hwnd, c == BST_UNCHECKED ? BST_CHECKED
                        : c == BST_CHECKED ? BST_INDETERMINATE
                                           : BST_UNCHECKED);
        break;
    }
    case BS_AUTORADIOBUTTON: {
        // Clear the other automatic radio buttons of the group: the siblings
        // from the nearest WS_GROUP control at or before this one up to the
        // next WS_GROUP control.
        HWND parent = GetParent(hwnd);
        if (parent) {
            std::vector<HWND> sib;
            for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
                sib.push_back(h);
            auto at = std::find(sib.begin(), sib.end(), hwnd);
            if (at != sib.end()) {
                auto start = at;
                while (start != sib.begin() && !(style_of(*start) & WS_GROUP)) --start;
                for (auto it = start; it != sib.end(); ++it) {
                    if (it != start && (style_of(*it) & WS_GROUP)) break;
                    if (*it != hwnd && kind_of(style_of(*it)) == BS_AUTORADIOBUTTON)
                        set_check(*it, BST_UNCHECKED);
                }
            }
        }
        set_check(hwnd, BST_CHECKED);
        break;
    }
    default:
        break;
    }
    if (kind == BS_GROUPBOX) return;
    notify(hwnd, BN_CLICKED);
}

LRESULT CALLBACK_button(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    take_focus_on_click(hwnd, message);
    if (common_message(hwnd, message, wparam, lparam, r)) return r;
    DWORD kind = kind_of(style_of(hwnd));
    switch (message) {
    case WM_NCCREATE: {
        LRESULT ok = DefWindowProc(hwnd, message, wparam, lparam);
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lparam);
        QWidget* w = win_widget(hwnd);
        QString text =
            cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName) ? label(cs->lpszName) : QString();
        if (auto* b = dynamic_cast<QAbstractButton*>(w)) b->setText(text);
        if (auto* g = dynamic_cast<QGroupBox*>(w)) g->setTitle(text);
        if (auto* p = dynamic_cast<QPushButton*>(w)) p->setDefault(kind == BS_DEFPUSHBUTTON);
        if (auto* cb = dynamic_cast<QCheckBox*>(w))
            cb->setTristate(kind == BS_3STATE || kind == BS_AUTO3STATE);
        return ok;
    }
    case WM_SETTEXT: {
        DefWindowProc(hwnd, message, wparam, lparam);
        auto* text = reinterpret_cast<const char*>(lparam);
        QWidget* w = win_widget(hwnd);
        if (auto* b = dynamic_cast<QAbstractButton*>(w)) b->setText(label(text ? text : ""));
        if (auto* g = dynamic_cast<QGroupBox*>(w)) g->setTitle(label(text ? text : ""));
        return TRUE;
    }
    case WM_GETDLGCODE:
        switch (kind) {
        case BS_PUSHBUTTON:
        case BS_PUSHBOX:
        case BS_USERBUTTON:
        case BS_OWNERDRAW:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
        }
    case BM_GETCHECK:
        return get_check(hwnd);
    case BM_SETCHECK:
        if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
            kind == BS_AUTO3STATE || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON)
            set_check(hwnd, wparam);
        return 0;
    case BM_GETSTATE: {
        LRESULT s = get_check(hwnd);
        if (auto* p = dynamic_cast<PushButton*>(win_widget(hwnd)); p && (p->pushed || p->isDown()))
            s |= BST_PUSHED;
        if (GetFocus() == hwnd) s |= BST_FOCUS;
        return s;
    }
    case BM_SETSTATE:
        if (auto* p = dynamic_cast<PushButton*>(win_widget(hwnd))) {
            p->pushed = wparam != 0;
            p->setDown(p->pushed);
        }
        return 0;
    case BM_SETSTYLE: {
        DWORD st = style_of(hwnd);
        DWORD nk = static_cast<DWORD>(wparam) & BS_TYPEMASK;
        // Only the push-button kinds may be swapped (the default-button dance).
        if ((kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON) &&
            (nk == BS_PUSHBUTTON || nk == BS_DEFPUSHBUTTON)) {
            SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>((st & ~BS_TYPEMASK) | nk));
            if (auto* p = dynamic_cast<QPushButton*>(win_widget(hwnd)))
                p->setDefault(nk == BS_DEFPUSHBUTTON);
        }
        return 0;
    }
    case BM_CLICK:
        if (IsWindowEnabled(hwnd)) click(hwnd);
        return 0;
    case WM_SETFOCUS:
        if (style_of(hwnd) & BS_NOTIFY) notify(hwnd, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (style_of(hwnd) & BS_NOTIFY) notify(hwnd, BN_KILLFOCUS);
        return 0;
    case WM_NCHITTEST:
        if (kind == BS_GROUPBOX) return HTTRANSPARENT;
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

QWidget* make_button(HWND hwnd, QWidget* parent) {
    DWORD kind = kind_of(style_of(hwnd));
    QWidget* w = nullptr;
    switch (kind) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
        w = new CheckBox(hwnd, parent);
        break;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        w = new RadioButton(hwnd, parent);
        break;
    case BS_GROUPBOX: {
        auto* g = new GroupBox(parent);
        follow_colours(g, hwnd, WM_CTLCOLORSTATIC);
        g->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks fall through, as they do
        g->setFocusPolicy(Qt::NoFocus);
        return g;
    }
    default:
        w = new PushButton(hwnd, parent);
        break;
    }
    // Check boxes and radio buttons take the parent's static colours, as on
    // the platform.
    if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON && kind != BS_OWNERDRAW &&
        kind != BS_PUSHBOX && kind != BS_USERBUTTON)
        follow_colours(w, hwnd, WM_CTLCOLORSTATIC);
    auto* b = static_cast<QAbstractButton*>(w);
    QObject::connect(b, &QAbstractButton::clicked, b, [hwnd] {
        // The click comes from input handed back to the button, and while
        // that is handed back the other windows' input is held off. The
        // program's answer is no part of it and may run a loop of its own (a
        // dialog): its windows must get their input meanwhile.
        struct program_answer {
            bool held = win::st().redelivering;
            program_answer() { win::st().redelivering = false; }
            ~program_answer() { win::st().redelivering = held; }
        } answer;
        guarded([&] { click(hwnd); });
    });
    return w;
}

} // namespace

void register_button() {
    register_class(WC_BUTTON, CALLBACK_button, make_button);
}

} // namespace ctl
