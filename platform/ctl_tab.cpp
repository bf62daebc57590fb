// The tab control ("SysTabControl32"): a row of tabs over a display area in
// which the program places its pages (child windows of the tab control). The
// user's choice of a tab sends WM_NOTIFY TCN_SELCHANGING (a non-zero answer
// keeps the old tab) and then TCN_SELCHANGE; TCM_SETCURSEL notifies nothing.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QTabBar>

#include <algorithm>
#include <cstring>
#include <vector>

namespace ctl {
namespace {

class TabWidget final : public QWidget {
public:
    TabWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
        bar = new QTabBar(this);
        bar->setDrawBase(false);
        bar->setExpanding(false);
        bar->setFocusPolicy((style_of(hwnd) & TCS_FOCUSNEVER) ? Qt::NoFocus : Qt::StrongFocus);
        setFocusProxy(bar);
        QObject::connect(bar, &QTabBar::currentChanged, this, [this](int index) {
            if (quiet) return;
            guarded([&] { user_changed(index); });
        });
    }
    HWND hwnd_;
    QTabBar* bar;
    std::vector<LPARAM> params;
    int quiet = 0;
    int current = -1;

    int bar_height() const { return bar->count() ? bar->sizeHint().height() : 0; }
    void layout() {
        bar->setGeometry(0, 0, width(), std::max(bar_height(), bar->sizeHint().height()));
        update();
    }
    void set_current(int i) {
        ++quiet;
        bar->setCurrentIndex(i);
        --quiet;
        current = bar->currentIndex();
    }

protected:
    void resizeEvent(QResizeEvent*) override { layout(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        int top = bar->sizeHint().height();
        p.setPen(Qt::white);
        p.drawLine(0, top, width() - 1, top);
        p.drawLine(0, top, 0, height() - 1);
        p.setPen(palette().dark().color());
        p.drawLine(width() - 1, top, width() - 1, height() - 1);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
    }

private:
    void user_changed(int index) {
        int old = current;
        if (notify_nm(hwnd_, TCN_SELCHANGING) != 0) {
            set_current(old); // the program refused to leave the page
            return;
        }
        current = index;
        notify_nm(hwnd_, TCN_SELCHANGE);
    }
};

LRESULT tab_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    take_focus_on_click(hwnd, message);
    if (common_message(hwnd, message, wparam, lparam, r)) {
        if (message == WM_SETFONT)
            if (auto* t = widget_as<TabWidget>(hwnd)) {
                t->bar->setFont(t->font());
                t->layout();
            }
        return r;
    }
    auto* t = widget_as<TabWidget>(hwnd);
    if (!t) return DefWindowProc(hwnd, message, wparam, lparam);
    auto index = static_cast<int>(static_cast<LONG>(wparam));
    auto valid = [&](int i) { return i >= 0 && i < t->bar->count(); };
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case TCM_GETITEMCOUNT:
        return t->bar->count();
    case TCM_INSERTITEM: {
        auto* item = reinterpret_cast<const TCITEM*>(lparam);
        if (!item || index < 0) return -1;
        index = std::min(index, t->bar->count());
        ++t->quiet;
        QString text = (item->mask & TCIF_TEXT) && item->pszText ? qs(item->pszText) : QString();
        t->bar->insertTab(index, text);
        --t->quiet;
        t->params.insert(t->params.begin() + index, (item->mask & TCIF_PARAM) ? item->lParam : 0);
        t->current = t->bar->currentIndex();
        t->layout();
        return index;
    }
    case TCM_SETITEM: {
        auto* item = reinterpret_cast<const TCITEM*>(lparam);
        if (!item || !valid(index)) return FALSE;
        if ((item->mask & TCIF_TEXT) && item->pszText) t->bar->setTabText(index, qs(item->pszText));
        if (item->mask & TCIF_PARAM) t->params[static_cast<std::size_t>(index)] = item->lParam;
        return TRUE;
    }
    case TCM_GETITEM: {
        auto* item = reinterpret_cast<TCITEM*>(lparam);
        if (!item || !valid(index)) return FALSE;
        if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0) {
            std::string s = bytes(t->bar->tabText(index));
            std::size_t n = std::min(s.size(), static_cast<std::size_t>(item->cchTextMax - 1));
            std::memcpy(item->pszText, s.data(), n);
            item->pszText[n] = 0;
        }
        if (item->mask & TCIF_PARAM) item->lParam = t->params[static_cast<std::size_t>(index)];
        return TRUE;
    }
    case TCM_DELETEITEM:
        if (!valid(index)) return FALSE;
        ++t->quiet;
        t->bar->removeTab(index);
        --t->quiet;
        t->params.erase(t->params.begin() + index);
        t->current = t->bar->currentIndex();
        t->layout();
        return TRUE;
    case TCM_DELETEALLITEMS:
        ++t->quiet;
        while (t->bar->count()) t->bar->removeTab(0);
        --t->quiet;
        t->params.clear();
        t->current = -1;
        t->layout();
        return TRUE;
    case TCM_GETCURSEL:
    case TCM_GETCURFOCUS:
        return t->current;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        if (!valid(index)) return -1;
        int old = t->current;
        t->set_current(index);
        return old;
    }
    case TCM_GETROWCOUNT:
        return 1;
    case TCM_GETITEMRECT: {
        auto* rc = reinterpret_cast<RECT*>(lparam);
        if (!rc || !valid(index)) return FALSE;
        QRect q = t->bar->tabRect(index).translated(t->bar->pos());
        *rc = {q.left(), q.top(), q.right() + 1, q.bottom() + 1};
        return TRUE;
    }
    case TCM_HITTEST: {
        auto* hit = reinterpret_cast<TCHITTESTINFO*>(lparam);
        if (!hit) return -1;
        int i = t->bar->tabAt(QPoint(hit->pt.x, hit->pt.y) - t->bar->pos());
        hit->flags = i >= 0 ? 6 /* on the item */ : 1 /* nowhere */;
        return i;
    }
    case TCM_ADJUSTRECT: {
        // FALSE: a window rectangle to the display area; TRUE: the reverse.
        auto* rc = reinterpret_cast<RECT*>(lparam);
        if (!rc) return 0;
        int top = t->bar->sizeHint().height();
        if (wparam) {
            rc->left -= 2;
            rc->right += 2;
            rc->top -= top + 2;
            rc->bottom += 2;
        } else {
            rc->left += 2;
            rc->right -= 2;
            rc->top += top + 2;
            rc->bottom -= 2;
        }
        return 0;
    }
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

} // namespace

void register_tab() {
    register_class(WC_TABCONTROL, tab_proc,
                   [](HWND hwnd, QWidget* parent) { return new TabWidget(hwnd, parent); });
}

} // namespace ctl
