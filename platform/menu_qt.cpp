// Menus on the screen: the menu bar of a window as a QMenuBar, pop-ups as
// QMenus built from the menu objects each time they open (after the program
// has had WM_INITMENUPOPUP to set the states), owner-drawn items drawn by the
// window through WM_MEASUREITEM / WM_DRAWITEM, and TrackPopupMenu's nested
// loop.
#include "platform/menu.h"
#include "platform/menu_internal.h"

#include "platform/controls.h"
#include "platform/ctl_internal.h"
#include "platform/dlg.h"
#include "platform/gdi_internal.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QVariant>

#include <cctype>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace menu {
namespace {

PopupChooser& chooser() {
    static PopupChooser c;
    return c;
}

QString label(const Item& it) {
    // "Text\tAccel": Qt shows the part after the tab as the shortcut column.
    return ctl::qs(it.text);
}

QIcon owner_drawn_icon(HWND hwnd, HMENU owner, const Item& it, bool selected) {
    UINT w = 0;
    UINT h = 0;
    ctl::guarded([&] {
        MEASUREITEMSTRUCT m{ODT_MENU, 0, static_cast<UINT>(it.id), 0, 0, it.data};
        SendMessage(hwnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m));
        w = m.itemWidth;
        h = m.itemHeight;
    });
    if (w == 0 || h == 0 || w > 4096 || h > 4096) return QIcon();
    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
    image.fill(Qt::white);
    HDC dc = gdi_create_image_dc(&image, hwnd, QRegion());
    if (!dc) return QIcon();
    DRAWITEMSTRUCT d{};
    d.CtlType = ODT_MENU;
    d.itemID = static_cast<UINT>(it.id);
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = (selected ? ODS_SELECTED : 0) | ((it.flags & MF_CHECKED) ? ODS_CHECKED : 0) |
                  ((it.flags & MF_GRAYED) ? ODS_GRAYED : 0);
    d.hwndItem = reinterpret_cast<HWND>(owner);
    d.hDC = dc;
    d.rcItem = {0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    d.itemData = it.data;
    ctl::guarded([&] { SendMessage(hwnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d)); });
    gdi_delete_image_dc(dc);
    return QIcon(QPixmap::fromImage(image));
}

struct Chosen {
    bool done = false;
    UINT id = 0;
};

// Fills a QMenu with the items of `h`; sub-menus are filled when they open.
void fill(QMenu* q, HMENU h, HWND hwnd, Chosen* chosen, bool post);

QAction* add_item(QWidget* target, HMENU h, const Item& it, int pos, HWND hwnd, Chosen* chosen,
                  bool post) {
    if (it.flags & MF_SEPARATOR) {
        auto* a = new QAction(target);
        a->setSeparator(true);
        target->addAction(a);
        return a;
    }
    if (it.sub) {
        auto* sub = new QMenu(label(it), target);
        HMENU sh = it.sub;
        QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, sh, h, pos, hwnd, chosen, post] {
            ctl::guarded([&] {
                SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sh),
                            MAKELPARAM(static_cast<WORD>(pos), 0));
            });
            (void)h;
            fill(sub, sh, hwnd, chosen, post);
        });
        sub->menuAction()->setEnabled(!(it.flags & (MF_GRAYED | MF_DISABLED)));
        target->addAction(sub->menuAction());
        return sub->menuAction();
    }
    auto* a = new QAction(label(it), target);
    if (it.flags & MF_OWNERDRAW) {
        a->setText(QString());
        a->setIcon(owner_drawn_icon(hwnd, h, it, false));
    }
    a->setCheckable((it.flags & MF_CHECKED) != 0);
    a->setChecked((it.flags & MF_CHECKED) != 0);
    a->setEnabled(!(it.flags & (MF_GRAYED | MF_DISABLED)));
    UINT id = static_cast<UINT>(it.id);
    QObject::connect(a, &QAction::triggered, a, [hwnd, id, chosen, post] {
        if (chosen) {
            chosen->done = true;
            chosen->id = id;
            PostMessage(hwnd, WM_NULL, 0, 0); // wakes the pop-up's loop
        }
        if (post) PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
    });
    target->addAction(a);
    return a;
}

void fill(QMenu* q, HMENU h, HWND hwnd, Chosen* chosen, bool post) {
    q->clear();
    Menu* m = get(h);
    if (!m) return;
    int pos = 0;
    for (const Item& it : m->items) add_item(q, h, it, pos++, hwnd, chosen, post);
}

std::map<std::uint32_t, QPointer<QMenuBar>>& bars() {
    // Never destroyed (its guarded pointers must not outlive Qt).
    static auto* b = new std::map<std::uint32_t, QPointer<QMenuBar>>;
    return *b;
}

// The buttons at the bar's right end.
struct CornerButton {
    QImage up, down;
    int x = 0;
    HWND target = nullptr;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

class CornerStrip : public QWidget {
public:
    explicit CornerStrip(QWidget* parent) : QWidget(parent) {}
    std::vector<CornerButton> buttons;
    // The bar places its corner by the hint.
    QSize sizeHint() const override { return size(); }
    QSize minimumSizeHint() const override { return size(); }

    void set(std::vector<CornerButton> b) {
        buttons = std::move(b);
        held = -1;
        int w = 0, h = 0;
        for (const CornerButton& c : buttons) {
            w = std::max(w, c.x + c.up.width());
            h = std::max(h, c.up.height());
        }
        setFixedSize(w + 2, h);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            const CornerButton& c = buttons[i];
            const bool down = static_cast<int>(i) == held && inside && !c.down.isNull();
            p.drawImage(c.x, (height() - c.up.height()) / 2, down ? c.down : c.up);
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        held = at(e->position().toPoint());
        inside = held >= 0;
        update();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (held < 0) return;
        bool now = at(e->position().toPoint()) == held;
        if (now != inside) {
            inside = now;
            update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || held < 0) return;
        const int was = held;
        held = -1;
        update();
        if (at(e->position().toPoint()) != was) return;
        const CornerButton& c = buttons[static_cast<std::size_t>(was)];
        if (c.target) PostMessage(c.target, c.message, c.wparam, c.lparam);
    }

private:
    int held = -1;
    bool inside = false;
    int at(QPoint pt) const {
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            const CornerButton& c = buttons[i];
            if (QRect(c.x, (height() - c.up.height()) / 2, c.up.width(), c.up.height())
                    .contains(pt))
                return static_cast<int>(i);
        }
        return -1;
    }
};

std::map<std::uint32_t, std::vector<CornerButton>>& corner_buttons() {
    static auto* b = new std::map<std::uint32_t, std::vector<CornerButton>>;
    return *b;
}

// Puts the window's buttons (if any) at the right end of its bar.
void place_corner(HWND hwnd, QMenuBar* bar) {
    auto found = corner_buttons().find(token_of(hwnd));
    auto* strip = dynamic_cast<CornerStrip*>(bar->cornerWidget(Qt::TopRightCorner));
    if (found == corner_buttons().end() || found->second.empty()) {
        if (strip) {
            bar->setCornerWidget(nullptr, Qt::TopRightCorner);
            delete strip;
        }
        return;
    }
    // Sized before the bar lays it out.
    const bool made = !strip;
    if (made) strip = new CornerStrip(bar);
    strip->set(found->second);
    if (made) bar->setCornerWidget(strip, Qt::TopRightCorner);
    strip->show();
}

} // namespace

void refresh_bar(HWND hwnd) {
    HMENU h = win_menu(hwnd);
    QPointer<QMenuBar>& bar = bars()[token_of(hwnd)];
    Menu* m = get(h);
    if (!m) {
        if (bar) delete bar.data();
        bars().erase(token_of(hwnd));
        win_set_menu_bar(hwnd, nullptr, 0);
        return;
    }
    QWidget* frame = win_widget(hwnd);
    if (!frame) return;
    if (!bar) {
        bar = new QMenuBar(frame);
        bar->setNativeMenuBar(false);
    }
    bar->clear();
    int pos = 0;
    for (const Item& it : m->items) add_item(bar, h, it, pos++, hwnd, nullptr, true);
    // WM_INITMENU before a pop-up of the bar opens (and before its own
    // WM_INITMENUPOPUP: this connection is made after the pop-up's).
    for (QAction* a : bar->actions())
        if (QMenu* sub = a->menu()) {
            QObject::disconnect(sub, &QMenu::aboutToShow, nullptr, nullptr);
            QObject::connect(sub, &QMenu::aboutToShow, sub, [hwnd, h] {
                ctl::guarded(
                    [&] { SendMessage(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(h), 0); });
            });
        }
    // The pop-ups' own filling follows WM_INITMENU.
    pos = 0;
    for (const Item& it : m->items) {
        QAction* a = bar->actions().value(pos);
        ++pos;
        if (!it.sub || !a || !a->menu()) continue;
        QMenu* sub = a->menu();
        HMENU sh = it.sub;
        int p = pos - 1;
        QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, sh, p, hwnd] {
            ctl::guarded([&] {
                SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sh),
                            MAKELPARAM(static_cast<WORD>(p), 0));
            });
            fill(sub, sh, hwnd, nullptr, true);
        });
    }
    place_corner(hwnd, bar);
    bar->adjustSize();
    int height = bar->sizeHint().height();
    bar->show();
    win_set_menu_bar(hwnd, bar, height);
}

namespace {

// A top-level window made with a menu: the bar is built during creation.
void menu_attached(HWND hwnd) {
    HMENU h = win_menu(hwnd);
    Menu* m = get(h);
    if (!m) return;
    m->window = hwnd;
    // Bars of windows destroyed since are gone with their widgets: drop
    // their entries so the table does not grow with every window.
    for (auto it = bars().begin(); it != bars().end();)
        it = it->second ? std::next(it) : bars().erase(it);
    refresh_bar(hwnd);
}

// The position of the bar item a menu key opens: the item whose title has
// `ch` after its '&' (case-insensitive; "&&" is a literal ampersand), or the
// first item for 0. -1 when there is none.
int mnemonic_item(const Menu& m, UINT ch) {
    if (m.items.empty()) return -1;
    if (ch == 0) return 0;
    auto fold = [](unsigned char c) {
        return c < 128 ? static_cast<unsigned char>(std::tolower(c)) : c;
    };
    for (std::size_t i = 0; i < m.items.size(); ++i) {
        const Item& it = m.items[i];
        if (it.flags & (MF_SEPARATOR | MF_OWNERDRAW | MF_BITMAP)) continue;
        const std::string& t = it.text;
        for (std::size_t k = 0; k + 1 < t.size(); ++k) {
            if (t[k] != '&') continue;
            if (t[k + 1] == '&') {
                ++k;
                continue;
            }
            if (fold(static_cast<unsigned char>(t[k + 1])) == fold(static_cast<unsigned char>(ch)))
                return static_cast<int>(i);
            break; // one mnemonic per title
        }
    }
    return -1;
}

// WM_SYSCOMMAND SC_KEYMENU on a window with a menu bar. A pop-up opens after
// WM_INITMENU and WM_INITMENUPOPUP: in tests the pop-up chooser answers it;
// otherwise the Qt bar opens it (its pop-ups send the same messages as they
// show). A command item on the bar itself is chosen at once.
BOOL menu_key(HWND hwnd, UINT ch) {
    // A window disabled by a modal box or dialog has no usable menu bar.
    if (!IsWindowEnabled(hwnd)) return FALSE;
    HMENU h = win_menu(hwnd);
    Menu* m = get(h);
    if (!m) return FALSE;
    int pos = mnemonic_item(*m, ch);
    if (pos < 0) return FALSE;
    const Item it = m->items[static_cast<std::size_t>(pos)];
    if (it.flags & (MF_GRAYED | MF_DISABLED)) return FALSE;
    if (!it.sub) {
        SendMessage(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(h), 0);
        Item* now = find(h, static_cast<UINT>(pos), MF_BYPOSITION);
        if (!now || now->sub || (now->flags & (MF_GRAYED | MF_DISABLED))) return TRUE;
        PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(now->id), 0), 0);
        return TRUE;
    }
    if (chooser()) {
        HMENU sub = it.sub;
        SendMessage(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(h), 0);
        if (!get(sub)) return TRUE; // the program took the pop-up away
        SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub),
                    MAKELPARAM(static_cast<WORD>(pos), 0));
        if (!get(sub)) return TRUE;
        UINT id = chooser()(sub, hwnd);
        if (!id) return TRUE; // dismissed
        Item* chosen = find(sub, id, MF_BYCOMMAND);
        if (!chosen || (chosen->flags & (MF_GRAYED | MF_DISABLED))) {
            ui_fail("menu key: command " + std::to_string(id) +
                    " is not an enabled item of the pop-up");
            return TRUE;
        }
        PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
        return TRUE;
    }
    auto found = bars().find(token_of(hwnd));
    if (found == bars().end() || !found->second) {
        refresh_bar(hwnd);
        found = bars().find(token_of(hwnd));
        if (found == bars().end() || !found->second) return FALSE;
    }
    QMenuBar* bar = found->second;
    QAction* a = bar->actions().value(pos);
    if (!a || !a->menu()) return FALSE;
    bar->setActiveAction(a); // opens the pop-up
    return TRUE;
}

} // namespace

void install_window_hooks() {
    win_set_menu_attached_hook(menu_attached);
    win_set_menu_key_handler(menu_key);
}

void forget_window(HWND hwnd) {
    bars().erase(token_of(hwnd));
    corner_buttons().erase(token_of(hwnd));
}

} // namespace menu

BOOL SetMenu(HWND hwnd, HMENU h) {
    if (!IsWindow(hwnd)) return FALSE;
    if (h && !menu::get(h)) return FALSE;
    if (HMENU old = win_menu(hwnd))
        if (menu::Menu* om = menu::get(old)) om->window = nullptr;
    if (!win_set_menu(hwnd, h)) return FALSE;
    if (menu::Menu* m = menu::get(h)) m->window = hwnd;
    menu::refresh_bar(hwnd);
    return TRUE;
}

HMENU GetMenu(HWND hwnd) {
    HMENU h = win_menu(hwnd);
    return menu::get(h) ? h : nullptr;
}

BOOL SetMenuBarButtons(HWND hwnd, const MenuBarButton* buttons, int count) {
    if (!IsWindow(hwnd) || count < 0 || (count > 0 && !buttons)) return FALSE;
    std::vector<menu::CornerButton> list;
    for (int i = 0; i < count; ++i) {
        menu::CornerButton c;
        c.up = gdi_bitmap_image(buttons[i].up);
        if (c.up.isNull()) continue; // a button without a face is left out
        c.down = gdi_bitmap_image(buttons[i].down);
        c.x = std::max(buttons[i].x, 0);
        c.target = buttons[i].target;
        c.message = buttons[i].message;
        c.wparam = buttons[i].wparam;
        c.lparam = buttons[i].lparam;
        list.push_back(std::move(c));
    }
    if (list.empty())
        menu::corner_buttons().erase(token_of(hwnd));
    else
        menu::corner_buttons()[token_of(hwnd)] = std::move(list);
    // The bar is laid out again with them (or without them).
    auto bar = menu::bars().find(token_of(hwnd));
    if (bar != menu::bars().end() && bar->second) menu::refresh_bar(hwnd);
    return TRUE;
}

int GetMenuBarButtonCount(HWND hwnd) {
    auto found = menu::corner_buttons().find(token_of(hwnd));
    return found == menu::corner_buttons().end() ? 0 : static_cast<int>(found->second.size());
}

BOOL ClickMenuBarButton(HWND hwnd, int index) {
    auto found = menu::corner_buttons().find(token_of(hwnd));
    if (found == menu::corner_buttons().end() || index < 0 ||
        index >= static_cast<int>(found->second.size()))
        return FALSE;
    const menu::CornerButton& c = found->second[static_cast<std::size_t>(index)];
    return c.target ? PostMessage(c.target, c.message, c.wparam, c.lparam) : FALSE;
}

BOOL DrawMenuBar(HWND hwnd) {
    if (!IsWindow(hwnd)) return FALSE;
    menu::refresh_bar(hwnd);
    return TRUE;
}

void menu_set_popup_chooser(PopupChooser c) {
    menu::chooser() = std::move(c);
}

BOOL TrackPopupMenu(HMENU h, UINT flags, int x, int y, int, HWND hwnd, const RECT*) {
    if (!menu::get(h) || !IsWindow(hwnd)) return FALSE;
    SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(h), 0);
    if (!menu::get(h)) return FALSE;
    bool return_cmd = (flags & TPM_RETURNCMD) != 0;
    UINT id = 0;
    if (menu::chooser()) {
        id = menu::chooser()(h, hwnd);
        if (id) {
            menu::Item* it = menu::find(h, id, MF_BYCOMMAND);
            if (!it || (it->flags & (MF_GRAYED | MF_DISABLED))) {
                ui_fail("TrackPopupMenu: command " + std::to_string(id) +
                        " is not an enabled item of the menu");
                id = 0;
            }
        }
    } else {
        QWidget* parent = win_widget(hwnd);
        QMenu popup(parent);
        menu::Chosen chosen;
        menu::fill(&popup, h, hwnd, &chosen, false);
        bool closed = false;
        QObject::connect(&popup, &QMenu::aboutToHide, &popup, [&] {
            closed = true;
            PostMessage(hwnd, WM_NULL, 0, 0);
        });
        popup.popup(QPoint(x, y));
        MSG msg;
        while (!closed && !chosen.done) {
            BOOL got = GetMessage(&msg, nullptr, 0, 0);
            if (got <= 0) {
                if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        // A triggered action hides the menu first; let its signal arrive.
        QCoreApplication::processEvents();
        if (chosen.done) id = chosen.id;
        popup.hide();
    }
    if (!id) return FALSE;
    if (return_cmd) return static_cast<BOOL>(id);
    PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
    return TRUE;
}

BOOL menu_choose(HWND hwnd, UINT id) {
    HMENU bar = GetMenu(hwnd);
    if (!bar) {
        ui_fail("menu_choose: the window has no menu");
        return FALSE;
    }
    if (!IsWindowEnabled(hwnd)) {
        // A person cannot reach the bar of a window a modal box disabled.
        ui_fail("menu_choose: the window is disabled (a modal box or dialog is up)");
        return FALSE;
    }
    // The path of pop-ups down to the item.
    std::vector<std::pair<HMENU, int>> path;
    std::function<bool(HMENU)> walk = [&](HMENU h) -> bool {
        menu::Menu* m = menu::get(h);
        if (!m) return false;
        for (std::size_t i = 0; i < m->items.size(); ++i) {
            const menu::Item& it = m->items[i];
            if (it.sub) {
                path.push_back({it.sub, static_cast<int>(i)});
                if (walk(it.sub)) return true;
                path.pop_back();
            } else if (!(it.flags & MF_SEPARATOR) && it.id == id) {
                return true;
            }
        }
        return false;
    };
    if (!walk(bar)) {
        ui_fail("menu_choose: no command " + std::to_string(id) + " in the window's menu");
        return FALSE;
    }
    SendMessage(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    for (auto& [sub, pos] : path) {
        if (!menu::get(sub)) return FALSE; // the program took the pop-up away
        SendMessage(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub),
                    MAKELPARAM(static_cast<WORD>(pos), 0));
    }
    menu::Item* it = menu::find(bar, id, MF_BYCOMMAND);
    if (!it) return FALSE;
    if (it->flags & (MF_GRAYED | MF_DISABLED)) {
        ui_fail("menu_choose: command " + std::to_string(id) + " is greyed");
        return FALSE;
    }
    // A greyed pop-up on the way cannot be opened either.
    menu::Menu* m = menu::get(bar);
    for (auto& [sub, pos] : path) {
        if (!m || pos >= static_cast<int>(m->items.size())) break;
        if (m->items[static_cast<std::size_t>(pos)].flags & (MF_GRAYED | MF_DISABLED)) {
            ui_fail("menu_choose: the menu holding command " + std::to_string(id) + " is greyed");
            return FALSE;
        }
        m = menu::get(sub);
    }
    return PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}
