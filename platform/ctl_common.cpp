// Helpers shared by the standard controls.
#include "platform/ctl_internal.h"

#include "platform/dlg.h"
#include "platform/gdi_internal.h"
#include "platform/win_internal.h"

#include <QEvent>
#include <QPalette>
#include <QVariant>

#include <cstdio>
#include <strings.h>

namespace ctl {

// Control texts read as the drawing reads program text (see qstr).
QString qs(const char* text) {
    return text ? gdi::decode_program_text(text, -1) : QString();
}
QString qs(const std::string& text) {
    return gdi::decode_program_text(text.data(), static_cast<int>(text.size()));
}
std::string bytes(const QString& text) {
    return text.toStdString();
}

int id_of(HWND hwnd) {
    return GetDlgCtrlID(hwnd);
}
DWORD style_of(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
}

void notify(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id_of(hwnd)), code),
                reinterpret_cast<LPARAM>(hwnd));
}

LRESULT notify_nm(HWND hwnd, UINT code) {
    HWND parent = GetParent(hwnd);
    if (!parent) return 0;
    NMHDR nm{hwnd, static_cast<UINT_PTR>(id_of(hwnd)), code};
    return SendMessage(parent, WM_NOTIFY, static_cast<WPARAM>(id_of(hwnd)),
                       reinterpret_cast<LPARAM>(&nm));
}

void guarded(const std::function<void()>& f) {
    win::guarded(f);
}

HFONT font_of(HWND hwnd) {
    QWidget* w = win_widget(hwnd);
    if (!w) return nullptr;
    return reinterpret_cast<HFONT>(w->property("kavrel_font").value<qulonglong>());
}

bool common_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    QWidget* w = win_widget(hwnd);
    switch (message) {
    case WM_SETFONT: {
        auto font = reinterpret_cast<HFONT>(wparam);
        if (w) {
            w->setProperty("kavrel_font",
                           QVariant::fromValue<qulonglong>(reinterpret_cast<qulonglong>(font)));
            if (font)
                w->setFont(gdi_qfont(font));
            else
                w->setFont(QFont());
            if (lparam) w->update();
        }
        result = 0;
        return true;
    }
    case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(font_of(hwnd));
        return true;
    case WM_ENABLE:
        if (w) w->setEnabled(wparam != 0);
        result = 0;
        return true;
    default:
        return false;
    }
}

void take_focus_on_click(HWND hwnd, UINT message) {
    if ((message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) && GetFocus() != hwnd &&
        IsWindowEnabled(hwnd))
        SetFocus(hwnd);
}

Colours ask_colours(HWND hwnd, UINT ctlcolor_message) {
    Colours c;
    HWND parent = GetParent(hwnd);
    if (!parent) return c;
    HDC dc = GetDC(nullptr);
    if (!dc) return c;
    HFONT font = font_of(hwnd);
    if (font) SelectObject(dc, font);
    COLORREF text0 = GetTextColor(dc), bk0 = GetBkColor(dc);
    auto brush = reinterpret_cast<HBRUSH>(SendMessage(
        parent, ctlcolor_message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    COLORREF text = GetTextColor(dc), bk = GetBkColor(dc);
    c.transparent = GetBkMode(dc) == TRANSPARENT;
    LOGBRUSH lb{};
    bool has_brush = brush && GetObject(brush, sizeof lb, &lb) == sizeof lb;
    if (has_brush || text != text0 || bk != bk0) {
        c.valid = true;
        c.text = QColor(GetRValue(text), GetGValue(text), GetBValue(text));
        COLORREF b = has_brush && lb.lbStyle == BS_SOLID ? lb.lbColor : bk;
        c.background = QColor(GetRValue(b), GetGValue(b), GetBValue(b));
        if (has_brush && lb.lbStyle == BS_HOLLOW) c.transparent = true;
    }
    ReleaseDC(nullptr, dc);
    return c;
}

namespace {
class ColourFilter final : public QObject {
public:
    ColourFilter(HWND hwnd, UINT message, QObject* parent)
        : QObject(parent), hwnd_(hwnd), message_(message) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::Paint || busy_) return false;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w) return false;
        busy_ = true;
        Colours c;
        guarded([&] { c = ask_colours(hwnd_, message_); });
        QPalette pal = w->palette();
        QPalette want = pal;
        if (c.valid) {
            // The parent's text colour is for a control that takes input: a
            // disabled one keeps the greyed text of its own palette, as the
            // platform greys a disabled control's text whatever the parent set.
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
                for (QPalette::ColorRole role :
                     {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                    want.setColor(group, role, c.text);
            if (!c.transparent) {
                want.setColor(QPalette::Window, c.background);
                want.setColor(QPalette::Base, c.background);
            }
        } else {
            want = QPalette();
        }
        if (want != pal) {
            w->setAutoFillBackground(c.valid && !c.transparent);
            w->setPalette(want);
        }
        busy_ = false;
        return false;
    }

private:
    HWND hwnd_;
    UINT message_;
    bool busy_ = false;
};
} // namespace

void follow_colours(QWidget* widget, HWND hwnd, UINT ctlcolor_message) {
    if (!widget) return;
    widget->installEventFilter(new ColourFilter(hwnd, ctlcolor_message, widget));
}

void owner_draw(HWND hwnd, QImage& image, DRAWITEMSTRUCT item) {
    HWND parent = GetParent(hwnd);
    if (!parent || image.isNull()) return;
    HDC dc = gdi_create_image_dc(&image, hwnd, QRegion());
    if (!dc) return;
    if (HFONT font = font_of(hwnd)) SelectObject(dc, font);
    item.hDC = dc;
    item.hwndItem = hwnd;
    item.CtlID = static_cast<UINT>(id_of(hwnd));
    SendMessage(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    gdi_delete_image_dc(dc);
}

UINT measure_item(HWND hwnd, UINT type, UINT item_id, ULONG_PTR data, UINT fallback, UINT* width) {
    HWND parent = GetParent(hwnd);
    MEASUREITEMSTRUCT m{type, static_cast<UINT>(id_of(hwnd)), item_id, 0, fallback, data};
    if (parent) SendMessage(parent, WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
    if (width) *width = m.itemWidth;
    return m.itemHeight > 0 && m.itemHeight < 32768 ? m.itemHeight : fallback;
}

void register_class(const char* name, WNDPROC proc, WidgetFactory factory, int extra) {
    WNDCLASS wc{};
    if (GetClassInfo(nullptr, name, &wc)) return;
    wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    if (!RegisterClass(&wc)) {
        ui_fail(std::string("cannot register the control class \"") + name + "\"");
        return;
    }
    win_set_class_widget_factory(name, std::move(factory));
}

SIZE base_units_of(HFONT font) {
    HDC dc = GetDC(nullptr);
    SIZE r{6, 13};
    if (!dc) return r;
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE ext{};
    TEXTMETRIC tm{};
    if (GetTextExtentPoint32(dc, alphabet, 52, &ext) && ext.cx > 0) r.cx = (ext.cx / 26 + 1) / 2;
    if (GetTextMetrics(dc, &tm) && tm.tmHeight > 0) r.cy = tm.tmHeight;
    if (old) SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (r.cx < 1) r.cx = 1;
    return r;
}

} // namespace ctl

BOOL controls_register_class(const char* name) {
    if (!name || IS_INTRESOURCE(name)) return FALSE;
    static const struct {
        const char* name;
        void (*reg)();
    } classes[] = {{WC_BUTTON, ctl::register_button},     {WC_STATIC, ctl::register_static},
                   {WC_EDIT, ctl::register_edit},         {WC_LISTBOX, ctl::register_listbox},
                   {WC_COMBOBOX, ctl::register_combobox}, {WC_SCROLLBAR, ctl::register_scrollbar},
                   {WC_TABCONTROL, ctl::register_tab}};
    for (const auto& c : classes)
        if (strcasecmp(c.name, name) == 0) {
            platform_ensure_application();
            c.reg();
            WNDCLASS wc{};
            return GetClassInfo(nullptr, c.name, &wc);
        }
    return FALSE;
}

void controls_register() {
    platform_ensure_application();
    ctl::register_button();
    ctl::register_static();
    ctl::register_edit();
    ctl::register_listbox();
    ctl::register_combobox();
    ctl::register_scrollbar();
    ctl::register_tab();
}
