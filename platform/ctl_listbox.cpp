// List boxes: single, multiple (LBS_MULTIPLESEL) and extended (LBS_EXTENDEDSEL)
// selection, sorted lists, tab stops, owner-drawn items of fixed or variable
// height (WM_MEASUREITEM / WM_DRAWITEM through a device context), item data,
// the horizontal extent, and the LB_* messages the program uses. The widget
// is our own (items, selection, caret and anchor kept here), so the
// selection rules are the platform's, not Qt's.
//
// LBN_SELCHANGE and LBN_DBLCLK go to the parent only with LBS_NOTIFY and only
// for the user's actions; LB_SETCURSEL and LB_SETSEL notify nothing.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"
#include "platform/gdi_internal.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace ctl {
namespace {

struct Item {
    std::string text;
    ULONG_PTR data = 0;
    bool selected = false;
    int height = 0; // variable owner-draw
};

int compare_nocase(const std::string& a, const std::string& b) {
    QString qa = qs(a), qb = qs(b);
    return qa.compare(qb, Qt::CaseInsensitive);
}

class ListWidget final : public QWidget {
public:
    ListWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
        setFocusPolicy(Qt::StrongFocus);
        DWORD st = style_of(hwnd);
        vbar_ = new QScrollBar(Qt::Vertical, this);
        vbar_->setVisible((st & WS_VSCROLL) != 0);
        hbar_ = new QScrollBar(Qt::Horizontal, this);
        hbar_->setVisible(false);
        QObject::connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) {
            top = v;
            update();
        });
        QObject::connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) {
            hscroll = v;
            update();
        });
    }

    HWND hwnd_;
    std::vector<Item> items;
    int top = 0;
    int caret = -1;
    int anchor = -1;
    int cursel = -1; // single selection
    int item_height = 0;
    int extent = 0;
    int hscroll = 0;
    std::vector<int> tabs; // pixels
    bool measured = false;

    DWORD style() const { return style_of(hwnd_); }
    bool multi() const { return (style() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
    bool extended() const { return (style() & LBS_EXTENDEDSEL) != 0; }
    bool owner_fixed() const { return (style() & LBS_OWNERDRAWFIXED) != 0; }
    bool owner_var() const { return (style() & LBS_OWNERDRAWVARIABLE) != 0; }
    bool owner() const { return owner_fixed() || owner_var(); }
    bool has_strings() const { return !owner() || (style() & LBS_HASSTRINGS); }
    bool notifies() const { return (style() & LBS_NOTIFY) != 0; }
    int count() const { return static_cast<int>(items.size()); }
    bool valid(int i) const { return i >= 0 && i < count(); }

    int border() const {
        return (style() & WS_BORDER) || (GetWindowLong(hwnd_, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 1
                                                                                               : 0;
    }
    QRect area() const {
        int b = border();
        int w = width() - 2 * b - (vbar_->isHidden() ? 0 : vbar_->sizeHint().width());
        int h = height() - 2 * b - (hbar_->isHidden() ? 0 : hbar_->sizeHint().height());
        return QRect(b, b, std::max(w, 0), std::max(h, 0));
    }
    int default_height() {
        if (item_height <= 0) item_height = QFontMetrics(font()).height();
        return std::max(item_height, 1);
    }
    int height_of(int i) {
        if (owner_var() && valid(i) && items[static_cast<std::size_t>(i)].height > 0)
            return items[static_cast<std::size_t>(i)].height;
        return default_height();
    }
    // Item rectangle relative to the widget (top item at the area's top).
    QRect item_rect(int i) {
        QRect a = area();
        int y = a.top();
        if (i >= top) {
            for (int k = top; k < i; ++k) y += height_of(k);
        } else {
            for (int k = i; k < top; ++k) y -= height_of(k);
        }
        return QRect(a.left(), y, a.width(), height_of(i));
    }
    // Items wholly shown from the top one (at least one): a page. Items of
    // fixed height count the room, not the items left, so the last page ends
    // with the last item.
    int visible_count() {
        QRect a = area();
        if (!owner_var()) return std::max(a.height() / default_height(), 1);
        int y = 0, n = 0;
        for (int k = top; k < count() && y + height_of(k) <= a.height(); ++k, ++n)
            y += height_of(k);
        return std::max(n, 1);
    }
    // The largest top index: the last page shows the last item at its foot.
    int max_top() {
        if (count() == 0) return 0;
        if (!owner_var()) return std::max(0, count() - visible_count());
        QRect a = area();
        int y = 0, k = count() - 1;
        while (k >= 0 && y + height_of(k) <= a.height()) y += height_of(k--);
        return std::clamp(k + 1, 0, count() - 1);
    }
    // The vertical bar shows when there is something to scroll (always, and
    // disabled when there is not, with LBS_DISABLENOSCROLL).
    void place_vbar() {
        if (!(style() & WS_VSCROLL)) {
            if (!vbar_->isHidden()) vbar_->setVisible(false);
            return;
        }
        bool keep = (style() & LBS_DISABLENOSCROLL) != 0;
        if (vbar_->isHidden()) vbar_->setVisible(true); // measure with the bar first
        bool needed = max_top() > 0;
        if (!needed && !keep) vbar_->setVisible(false);
        vbar_->setEnabled(needed);
    }
    int item_at(QPoint p) {
        QRect a = area();
        if (!a.contains(p)) return -1;
        int y = a.top();
        for (int k = top; k < count(); ++k) {
            int h = height_of(k);
            if (p.y() >= y && p.y() < y + h) return k;
            y += h;
        }
        return -1;
    }
    void sync_scroll() {
        place_vbar();
        bool hvis = (style() & WS_HSCROLL) && extent > area().width();
        if (hbar_->isHidden() == hvis) {
            hbar_->setVisible(hvis);
            place_vbar();
        }
        int last = max_top();
        top = std::clamp(top, 0, last);
        vbar_->blockSignals(true);
        vbar_->setRange(0, last);
        vbar_->setPageStep(visible_count());
        vbar_->setSingleStep(1);
        vbar_->setValue(top);
        vbar_->blockSignals(false);
        hbar_->blockSignals(true);
        hbar_->setRange(0, std::max(0, extent - area().width()));
        hbar_->setPageStep(std::max(area().width(), 1));
        hscroll = std::clamp(hscroll, 0, hbar_->maximum());
        hbar_->setValue(hscroll);
        hbar_->blockSignals(false);
        place_bars();
        update();
    }
    void place_bars() {
        int b = border();
        int vw = vbar_->isHidden() ? 0 : vbar_->sizeHint().width();
        int hh = hbar_->isHidden() ? 0 : hbar_->sizeHint().height();
        vbar_->setGeometry(width() - b - vw, b, vw, height() - 2 * b - hh);
        hbar_->setGeometry(b, height() - b - hh, width() - 2 * b - vw, hh);
    }
    void ensure_visible(int i) {
        if (!valid(i)) return;
        if (i < top)
            top = i;
        else {
            while (top < i && item_rect(i).bottom() >= area().bottom() + 1) ++top;
        }
        sync_scroll();
    }
    bool is_selected(int i) const {
        if (!valid(i)) return false;
        return multi() ? items[static_cast<std::size_t>(i)].selected : i == cursel;
    }
    void clear_selection() {
        for (Item& it : items) it.selected = false;
        cursel = -1;
    }

    int insert(int at, const char* text, ULONG_PTR data) {
        if (count() >= lb_max_items) return static_cast<int>(LB_ERRSPACE);
        Item it;
        if (has_strings()) it.text = text ? text : "";
        it.data = has_strings() ? 0 : data;
        if (at < 0 || at > count()) {
            at = count();
            if ((style() & LBS_SORT) && has_strings()) {
                at =
                    static_cast<int>(std::upper_bound(items.begin(), items.end(), it,
                                                      [](const Item& a, const Item& b) {
                                                          return compare_nocase(a.text, b.text) < 0;
                                                      }) -
                                     items.begin());
            }
        }
        items.insert(items.begin() + at, it);
        if (cursel >= at) ++cursel;
        if (caret >= at) ++caret;
        if (anchor >= at) ++anchor;
        if (owner_var()) {
            UINT h = 0;
            ULONG_PTR d = it.data;
            guarded([&] {
                h = measure_item(hwnd_, ODT_LISTBOX, static_cast<UINT>(at), d,
                                 static_cast<UINT>(default_height()));
            });
            if (valid(at)) items[static_cast<std::size_t>(at)].height = static_cast<int>(h);
        }
        sync_scroll();
        return at;
    }
    void delete_notify(int i) {
        if (!owner() || !valid(i)) return;
        HWND parent = GetParent(hwnd_);
        if (!parent) return;
        DELETEITEMSTRUCT d{ODT_LISTBOX, static_cast<UINT>(id_of(hwnd_)), static_cast<UINT>(i),
                           hwnd_, items[static_cast<std::size_t>(i)].data};
        SendMessage(parent, WM_DELETEITEM, d.CtlID, reinterpret_cast<LPARAM>(&d));
    }
    int remove(int i) {
        if (!valid(i)) return static_cast<int>(LB_ERR);
        delete_notify(i);
        if (!valid(i)) return static_cast<int>(LB_ERR);
        items.erase(items.begin() + i);
        auto fix = [&](int& v) {
            if (v == i)
                v = -1;
            else if (v > i)
                --v;
        };
        fix(cursel);
        if (caret > i || caret >= count()) --caret;
        fix(anchor);
        sync_scroll();
        return count();
    }
    void reset() {
        for (int i = count() - 1; i >= 0; --i) delete_notify(i);
        items.clear();
        cursel = caret = anchor = -1;
        top = 0;
        sync_scroll();
    }
    int find(int after, const char* text, bool exact) const {
        if (!text || count() == 0) return static_cast<int>(LB_ERR);
        QString t = qs(text);
        int start = (after < -1 || after >= count()) ? -1 : after;
        for (int n = 1; n <= count(); ++n) {
            int i = (start + n) % count();
            const Item& it = items[static_cast<std::size_t>(i)];
            if (!has_strings()) {
                if (it.data == reinterpret_cast<ULONG_PTR>(text)) return i;
                continue;
            }
            QString s = qs(it.text);
            if (exact ? s.compare(t, Qt::CaseInsensitive) == 0
                      : s.startsWith(t, Qt::CaseInsensitive))
                return i;
        }
        return static_cast<int>(LB_ERR);
    }

    // The user's selection actions.
    void user_select(int i, Qt::KeyboardModifiers mods, bool toggle_key) {
        if (!valid(i) || (style() & LBS_NOSEL)) return;
        std::vector<bool> before;
        for (const Item& it : items) before.push_back(it.selected);
        int old_cursel = cursel;
        if (!multi()) {
            cursel = i;
        } else if (!extended()) { // LBS_MULTIPLESEL: a click toggles
            if (toggle_key)
                items[static_cast<std::size_t>(i)].selected =
                    !items[static_cast<std::size_t>(i)].selected;
        } else if (mods & Qt::ShiftModifier) {
            int a = valid(anchor) ? anchor : i;
            if (!(mods & Qt::ControlModifier)) clear_selection();
            for (int k = std::min(a, i); k <= std::max(a, i); ++k)
                items[static_cast<std::size_t>(k)].selected = true;
        } else if (mods & Qt::ControlModifier) {
            if (toggle_key)
                items[static_cast<std::size_t>(i)].selected =
                    !items[static_cast<std::size_t>(i)].selected;
            anchor = i;
        } else {
            clear_selection();
            items[static_cast<std::size_t>(i)].selected = true;
            anchor = i;
        }
        caret = i;
        ensure_visible(i);
        update();
        bool changed = old_cursel != cursel;
        for (std::size_t k = 0; k < items.size() && !changed; ++k)
            changed = before[k] != items[k].selected;
        if (changed && notifies()) guarded([&] { notify(hwnd_, LBN_SELCHANGE); });
    }

protected:
    void resizeEvent(QResizeEvent*) override { sync_scroll(); }
    void paintEvent(QPaintEvent*) override {
        if (owner_fixed() && !measured) {
            measured = true;
            guarded([&] {
                item_height = static_cast<int>(
                    measure_item(hwnd_, ODT_LISTBOX, 0, 0, static_cast<UINT>(default_height())));
            });
        }
        QPainter p(this);
        QRect a = area();
        Colours c;
        guarded([&] { c = ask_colours(hwnd_, WM_CTLCOLORLISTBOX); });
        QColor base = c.valid ? c.background : palette().base().color();
        QColor textc = c.valid ? c.text : palette().text().color();
        p.fillRect(rect(), base);
        if (border()) {
            p.setPen(palette().mid().color());
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        if (owner()) {
            QImage image(std::max(a.right() + 1, 1), std::max(a.bottom() + 1, 1),
                         QImage::Format_RGB32);
            image.fill(base);
            for (int i = top; i < count(); ++i) {
                QRect r = item_rect(i);
                if (r.top() > a.bottom()) break;
                DRAWITEMSTRUCT di{};
                di.CtlType = ODT_LISTBOX;
                di.itemID = static_cast<UINT>(i);
                di.itemAction = ODA_DRAWENTIRE;
                di.itemState = (is_selected(i) ? ODS_SELECTED : 0) |
                               (hasFocus() && i == caret ? ODS_FOCUS : 0) |
                               (isEnabled() ? 0 : ODS_DISABLED);
                di.rcItem = {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
                di.itemData = items[static_cast<std::size_t>(i)].data;
                guarded([&] { owner_draw(hwnd_, image, di); });
            }
            p.setClipRect(a);
            p.drawImage(0, 0, image);
            return;
        }
        p.setClipRect(a);
        p.setFont(font());
        QFontMetrics fm(font());
        for (int i = top; i < count(); ++i) {
            QRect r = item_rect(i);
            if (r.top() > a.bottom()) break;
            bool sel = is_selected(i);
            if (sel) p.fillRect(r, palette().highlight());
            p.setPen(sel ? palette().highlightedText().color() : textc);
            draw_tabbed(p, fm, r.translated(-hscroll, 0).adjusted(2, 0, 0, 0),
                        qs(items[static_cast<std::size_t>(i)].text));
            if (hasFocus() && i == caret) {
                p.setPen(QPen(textc, 1, Qt::DotLine));
                p.drawRect(r.adjusted(0, 0, -1, -1));
            }
        }
    }
    void draw_tabbed(QPainter& p, const QFontMetrics& fm, QRect r, const QString& text) {
        bool use_tabs = (style() & LBS_USETABSTOPS) != 0;
        if (!use_tabs || !text.contains(QLatin1Char('\t'))) {
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString(text).replace('\t', ' '));
            return;
        }
        const QStringList parts = text.split(QLatin1Char('\t'));
        int x = 0, stop = 0;
        SIZE base = base_units_of(font_of(hwnd_));
        int default_step = 32 * base.cx / 4;
        for (int k = 0; k < parts.size(); ++k) {
            if (k > 0) {
                int next = 0;
                if (stop < static_cast<int>(tabs.size()) && tabs.size() > 1) {
                    while (stop < static_cast<int>(tabs.size()) &&
                           tabs[static_cast<std::size_t>(stop)] <= x)
                        ++stop;
                    next = stop < static_cast<int>(tabs.size())
                               ? tabs[static_cast<std::size_t>(stop)]
                               : x + fm.horizontalAdvance(QLatin1Char(' '));
                } else {
                    int step = tabs.size() == 1 ? std::max(tabs[0], 1) : default_step;
                    next = (x / step + 1) * step;
                }
                x = next;
            }
            p.drawText(r.adjusted(x, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, parts[k]);
            x += fm.horizontalAdvance(parts[k]);
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        int i = item_at(e->position().toPoint());
        if (i >= 0) user_select(i, e->modifiers(), true);
        dragging_ = e->button() == Qt::LeftButton && !multi();
        e->accept();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!dragging_ || !(e->buttons() & Qt::LeftButton)) return;
        int i = item_at(e->position().toPoint());
        if (i >= 0 && i != cursel) user_select(i, Qt::NoModifier, false);
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        int i = item_at(e->position().toPoint());
        if (i >= 0 && notifies()) guarded([&] { notify(hwnd_, LBN_DBLCLK); });
        e->accept();
    }
    void wheelEvent(QWheelEvent* e) override {
        // Three lines a notch; fine-grained wheels add up to notches.
        wheel_rest_ += e->angleDelta().y();
        int steps = wheel_rest_ / 120;
        wheel_rest_ -= steps * 120;
        if (steps != 0) {
            top -= steps * 3;
            sync_scroll();
        }
        e->accept();
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (count() == 0) return;
        int cur = valid(caret) ? caret : (valid(cursel) ? cursel : 0);
        int next = cur;
        switch (e->key()) {
        case Qt::Key_Up:
            next = cur - 1;
            break;
        case Qt::Key_Down:
            next = cur + 1;
            break;
        case Qt::Key_Home:
            next = 0;
            break;
        case Qt::Key_End:
            next = count() - 1;
            break;
        case Qt::Key_PageUp:
            next = cur - visible_count();
            break;
        case Qt::Key_PageDown:
            next = cur + visible_count();
            break;
        case Qt::Key_Space:
            if (multi()) user_select(cur, e->modifiers() | Qt::ControlModifier, true);
            return;
        default: {
            QString t = e->text();
            if (t.isEmpty() || !t[0].isPrint()) return;
            int f = find(cur, bytes(t.left(1)).c_str(), false);
            if (f < 0) return;
            next = f;
        }
        }
        next = std::clamp(next, 0, count() - 1);
        if (!multi() || extended()) {
            Qt::KeyboardModifiers m = e->modifiers() & Qt::ShiftModifier;
            user_select(next, m, true);
        } else {
            caret = next;
            ensure_visible(next);
        }
    }
    void focusInEvent(QFocusEvent*) override { update(); }
    void focusOutEvent(QFocusEvent*) override { update(); }

private:
    QScrollBar* vbar_;
    QScrollBar* hbar_;
    bool dragging_ = false;
    int wheel_rest_ = 0;
};

LRESULT copy_text(const Item& it, bool strings, char* buffer) {
    if (!buffer) return LB_ERR;
    if (!strings) {
        std::memcpy(buffer, &it.data, sizeof it.data);
        return static_cast<LRESULT>(sizeof it.data);
    }
    std::memcpy(buffer, it.text.c_str(), it.text.size() + 1);
    return static_cast<LRESULT>(it.text.size());
}

// The item messages: adding, inserting, deleting and finding items, their
// texts and their data; none when the message is not one of them.
std::optional<LRESULT> list_item_message(ListWidget* w, UINT message, int index, LPARAM lparam) {
    switch (message) {
    case LB_ADDSTRING:
        return w->insert(-1, reinterpret_cast<const char*>(lparam), static_cast<ULONG_PTR>(lparam));
    case LB_INSERTSTRING:
        if (index < -1 || index > w->count()) return LB_ERR;
        return w->insert(index < 0 ? w->count() : index, reinterpret_cast<const char*>(lparam),
                         static_cast<ULONG_PTR>(lparam));
    case LB_DELETESTRING:
        return w->remove(index);
    case LB_RESETCONTENT:
        w->reset();
        return 0;
    case LB_GETCOUNT:
        return w->count();
    case LB_GETTEXT:
        if (!w->valid(index)) return LB_ERR;
        return copy_text(w->items[static_cast<std::size_t>(index)], w->has_strings(),
                         reinterpret_cast<char*>(lparam));
    case LB_GETTEXTLEN:
        if (!w->valid(index)) return LB_ERR;
        return w->has_strings()
                   ? static_cast<LRESULT>(w->items[static_cast<std::size_t>(index)].text.size())
                   : static_cast<LRESULT>(sizeof(ULONG_PTR));
    case LB_GETITEMDATA:
        if (!w->valid(index)) return LB_ERR;
        return static_cast<LRESULT>(w->items[static_cast<std::size_t>(index)].data);
    case LB_SETITEMDATA:
        if (!w->valid(index)) return LB_ERR;
        w->items[static_cast<std::size_t>(index)].data = static_cast<ULONG_PTR>(lparam);
        return TRUE;
    case LB_FINDSTRING:
        return w->find(index, reinterpret_cast<const char*>(lparam), false);
    case LB_FINDSTRINGEXACT:
        return w->find(index, reinterpret_cast<const char*>(lparam), true);
    case LB_INITSTORAGE:
        return w->count();
    default:
        return std::nullopt;
    }
}

// The selection messages: the current item of a single-selection list, the
// selected items of a multiple-selection one, the anchor and the caret; none
// when the message is not one of them.
std::optional<LRESULT> list_selection_message(ListWidget* w, UINT message, int index, WPARAM wparam,
                                              LPARAM lparam) {
    switch (message) {
    case LB_SETCURSEL:
        if (w->multi()) return LB_ERR;
        if (!w->valid(index)) {
            w->cursel = -1;
            w->update();
            return LB_ERR;
        }
        w->cursel = w->caret = index;
        w->ensure_visible(index);
        return index;
    case LB_GETCURSEL:
        if (w->multi()) return w->valid(w->caret) ? w->caret : LB_ERR;
        return w->valid(w->cursel) ? w->cursel : LB_ERR;
    case LB_SETSEL: {
        if (!w->multi()) return LB_ERR;
        auto i = static_cast<int>(static_cast<LONG>(lparam));
        if (i == -1) {
            for (Item& it : w->items) it.selected = wparam != 0;
        } else {
            if (!w->valid(i)) return LB_ERR;
            w->items[static_cast<std::size_t>(i)].selected = wparam != 0;
            w->caret = i;
        }
        w->update();
        return 0;
    }
    case LB_GETSEL:
        if (!w->valid(index)) return LB_ERR;
        return w->is_selected(index) ? 1 : 0;
    case LB_GETSELCOUNT: {
        if (!w->multi()) return LB_ERR;
        return std::count_if(w->items.begin(), w->items.end(),
                             [](const Item& it) { return it.selected; });
    }
    case LB_GETSELITEMS: {
        if (!w->multi()) return LB_ERR;
        auto* out = reinterpret_cast<int*>(lparam);
        int n = 0;
        for (int i = 0; i < w->count() && n < index && out; ++i)
            if (w->items[static_cast<std::size_t>(i)].selected) out[n++] = i;
        return n;
    }
    case LB_SELITEMRANGE:
    case LB_SELITEMRANGEEX: {
        if (!w->multi()) return LB_ERR;
        int first, last;
        bool sel;
        if (message == LB_SELITEMRANGE) {
            first = LOWORD(static_cast<std::uintptr_t>(lparam));
            last = HIWORD(static_cast<std::uintptr_t>(lparam));
            sel = wparam != 0;
        } else {
            first = static_cast<int>(static_cast<LONG>(wparam));
            last = static_cast<int>(static_cast<LONG>(lparam));
            sel = first <= last;
            if (!sel) std::swap(first, last);
        }
        first = std::max(first, 0);
        last = std::min(last, w->count() - 1);
        for (int i = first; i <= last; ++i) w->items[static_cast<std::size_t>(i)].selected = sel;
        w->update();
        return 0;
    }
    case LB_SELECTSTRING: {
        if (w->multi()) return LB_ERR;
        int i = w->find(index, reinterpret_cast<const char*>(lparam), false);
        if (i < 0) return LB_ERR;
        w->cursel = w->caret = i;
        w->ensure_visible(i);
        return i;
    }
    case LB_SETANCHORINDEX:
        if (!w->valid(index)) return LB_ERR;
        w->anchor = index;
        return 0;
    case LB_GETANCHORINDEX:
        return w->anchor;
    case LB_SETCARETINDEX:
        if (!w->valid(index)) return LB_ERR;
        w->caret = index;
        w->ensure_visible(index);
        return 0;
    case LB_GETCARETINDEX:
        return w->caret;
    default:
        return std::nullopt;
    }
}

// The layout messages: the top item, item rectangles and heights, the
// horizontal extent and the tab stops; none when the message is not one of
// them.
std::optional<LRESULT> list_layout_message(HWND hwnd, ListWidget* w, UINT message, int index,
                                           WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case LB_GETTOPINDEX:
        return w->top;
    case LB_SETTOPINDEX:
        if (index < 0 || (index >= w->count() && w->count() > 0)) return LB_ERR;
        w->top = index;
        w->sync_scroll();
        return 0;
    case LB_GETITEMRECT: {
        auto* rc = reinterpret_cast<RECT*>(lparam);
        if (!rc || (!w->valid(index) && !(index == 0 && w->count() == 0))) return LB_ERR;
        QRect q = w->item_rect(index);
        *rc = {q.left(), q.top(), q.right() + 1, q.bottom() + 1};
        return 1;
    }
    case LB_ITEMFROMPOINT: {
        QPoint p(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        int i = w->item_at(p);
        if (i >= 0) return MAKELONG(static_cast<WORD>(i), 0);
        int last = std::max(w->count() - 1, 0);
        return MAKELONG(static_cast<WORD>(last), 1);
    }
    case LB_SETITEMHEIGHT: {
        int h = static_cast<int>(LOWORD(static_cast<std::uintptr_t>(lparam)));
        if (h <= 0 || h > 255) return LB_ERR;
        if (w->owner_var()) {
            if (!w->valid(index)) return LB_ERR;
            w->items[static_cast<std::size_t>(index)].height = h;
        } else {
            w->item_height = h;
            w->measured = true;
        }
        w->sync_scroll();
        return 0;
    }
    case LB_GETITEMHEIGHT:
        if (w->owner_var() && w->count() > 0 && !w->valid(index)) return LB_ERR;
        return w->height_of(index);
    case LB_SETHORIZONTALEXTENT:
        w->extent = static_cast<int>(wparam);
        w->sync_scroll();
        return 0;
    case LB_GETHORIZONTALEXTENT:
        return w->extent;
    case LB_SETTABSTOPS: {
        w->tabs.clear();
        auto* stops = reinterpret_cast<const int*>(lparam);
        SIZE base = base_units_of(font_of(hwnd));
        for (int i = 0; i < static_cast<int>(wparam) && stops; ++i)
            w->tabs.push_back(stops[i] * base.cx / 4);
        w->update();
        return TRUE;
    }
    case LB_SETCOLUMNWIDTH:
        return 0;
    default:
        return std::nullopt;
    }
}

LRESULT listbox_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    take_focus_on_click(hwnd, message);
    if (common_message(hwnd, message, wparam, lparam, r)) {
        if (message == WM_SETFONT)
            if (auto* w = widget_as<ListWidget>(hwnd)) {
                if (!w->owner()) w->item_height = 0;
                w->sync_scroll();
            }
        return r;
    }
    auto* w = widget_as<ListWidget>(hwnd);
    if (!w) return DefWindowProc(hwnd, message, wparam, lparam);
    auto index = static_cast<int>(static_cast<LONG>(wparam));
    if (auto answer = list_item_message(w, message, index, lparam)) return *answer;
    if (auto answer = list_selection_message(w, message, index, wparam, lparam)) return *answer;
    if (auto answer = list_layout_message(hwnd, w, message, index, wparam, lparam)) return *answer;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_CREATE:
        // A fixed owner-drawn list asks its item height once, when it is made.
        if (w->owner_fixed() && !w->measured) {
            w->measured = true;
            w->item_height = static_cast<int>(
                measure_item(hwnd, ODT_LISTBOX, 0, 0, static_cast<UINT>(w->default_height())));
        }
        return 0;
    case WM_SETFOCUS:
        w->update();
        if (w->notifies()) notify(hwnd, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        w->update();
        if (w->notifies()) notify(hwnd, LBN_KILLFOCUS);
        return 0;
    case WM_DESTROY:
        w->reset();
        return 0;
    case WM_SETREDRAW:
        w->setUpdatesEnabled(wparam != 0);
        return 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

} // namespace

void register_listbox() {
    register_class(WC_LISTBOX, listbox_proc,
                   [](HWND hwnd, QWidget* parent) { return new ListWidget(hwnd, parent); });
}

} // namespace ctl
