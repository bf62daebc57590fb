// The seams other parts of the platform use on windows: their widgets, menus
// and menu bars, non-client scroll bars and backing images.
#include "platform/win_internal.h"

#include <algorithm>

using namespace win;

QWidget* win_widget(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? w->widget.data() : nullptr;
}

HWND win_from_widget(const QWidget* widget) {
    for (const QWidget* x = widget; x; x = x->parentWidget()) {
        QVariant v = x->property("kavrel_hwnd");
        if (v.isValid()) {
            HWND h = handle_from_token<HWND>(v.toUInt());
            return get(h) ? h : nullptr;
        }
    }
    return nullptr;
}

BOOL win_set_class_widget_factory(const char* class_name, WidgetFactory factory) {
    auto cls = find_class(class_name);
    if (!cls) return FALSE;
    cls->factory = std::move(factory);
    install_input_filter();
    return TRUE;
}

HMENU win_menu(HWND hwnd) {
    Window* w = get(hwnd);
    return w && is_toplevel(*w) ? w->menu : nullptr;
}

BOOL win_set_menu(HWND hwnd, HMENU menu) {
    Window* w = get_or_fail(hwnd);
    if (!w || !is_toplevel(*w)) return FALSE;
    w->menu = menu;
    return TRUE;
}

BOOL win_set_menu_bar(HWND hwnd, QWidget* bar, int height) {
    Window* w = get_or_fail(hwnd);
    if (!w || !is_toplevel(*w) || !w->widget) return FALSE;
    QSize before = client_size(*w);
    if (w->menu_bar && w->menu_bar != bar) w->menu_bar->hide();
    w->menu_bar = bar;
    w->menu_bar_height = bar ? std::clamp(height, 0, 200) : 0;
    if (bar) {
        bar->setParent(w->widget);
        bar->setEnabled(!(w->style & WS_DISABLED)); // a disabled window's bar takes no clicks
        bar->show();
    }
    sync_widget_geometry_with_children(*w);
    // Creation sends its own WM_SIZE after WM_CREATE.
    client_resized(hwnd, *w, before, !w->creating);
    return TRUE;
}

void win_set_class_menu_loader(ClassMenuLoader loader) {
    st().menu_loader = loader;
}

void win_set_menu_attached_hook(MenuAttachedHook hook) {
    st().menu_attached = hook;
}

void win_set_menu_key_handler(MenuKeyHandler handler) {
    st().menu_key = handler;
}

BOOL win_show_nonclient_scrollbar(HWND hwnd, int bar, BOOL show) {
    Window* w = get_or_fail(hwnd);
    if (!w || w->is_desktop || bar < 0 || bar > 1) return FALSE;
    if (w->sb_shown[bar] == (show != 0)) return TRUE;
    QSize before = client_size(*w);
    w->sb_shown[bar] = show != 0;
    if (show)
        w->style |= bar ? WS_VSCROLL : WS_HSCROLL;
    else
        w->style &= ~(bar ? WS_VSCROLL : WS_HSCROLL);
    for (HWND c : w->children)
        if (Window* cw = get(c)) sync_widget_geometry(*cw);
    if (w->widget) w->widget->update();
    client_resized(hwnd, *w, before, true);
    return TRUE;
}

BOOL win_nonclient_scrollbar_visible(HWND hwnd, int bar) {
    Window* w = get(hwnd);
    return w && bar >= 0 && bar <= 1 && w->sb_shown[bar] ? TRUE : FALSE;
}

RECT win_nonclient_scrollbar_rect(HWND hwnd, int bar) {
    Window* w = get(hwnd);
    if (!w || bar < 0 || bar > 1 || !w->sb_shown[bar]) return {};
    Insets i = insets_of(*w);
    QSize cs = client_size(*w);
    int sbw = GetSystemMetrics(SM_CXVSCROLL);
    int sbh = GetSystemMetrics(SM_CYHSCROLL);
    if (bar == 1)
        return {i.left + cs.width(), i.top, i.left + cs.width() + sbw, i.top + cs.height()};
    return {i.left, i.top + cs.height(), i.left + cs.width(), i.top + cs.height() + sbh};
}

std::uint64_t win_screen_updates(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? w->screen_updates : 0;
}

QImage win_backing_image(HWND hwnd) {
    Window* w = get(hwnd);
    if (w) sync_image(*w);
    if (!w || w->image.isNull()) return QImage();
    QSize cs = client_size(*w);
    return w->image.copy(0, 0, std::min(cs.width(), w->image.width()),
                         std::min(cs.height(), w->image.height()));
}
