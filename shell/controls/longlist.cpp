// The long list control: items kept in memory-layer blocks, selection,
// scrolling, type-ahead search, reordering by dragging and its messages.
#include "shell/controls/longlist.h"

#include "foundation/memory.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/messages.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int text_block_count = 20;
constexpr int grow_step = 100;
constexpr UINT_PTR timer_down = 1; // autoscroll while the pointer is below the list
constexpr UINT_PTR timer_up = 2;   // ... and above it
constexpr UINT autoscroll_ms = 25;
constexpr int thumb_limit = 32000; // the most positions a thumb addresses unscaled

// Window longs: the record's handle and the font.
constexpr int long_record = 0;
constexpr int long_font = 4;

// One item: where its text is and how long it is. `order` is the item's
// place when the list was set (items added later get the next numbers), so
// the order the user made by dragging is read straight off the entries.
struct ll_item {
    std::int32_t cell; // 0: empty text
    std::uint32_t length;
    std::int32_t order;
    std::uint8_t block;
    std::uint8_t pad[3];
};

// The control's record; `capacity` item entries follow it.
struct ll_rec {
    handle text[text_block_count];
    std::int32_t count;
    std::int32_t capacity;
    std::int32_t top;
    std::int32_t selection; // -1 none
    std::int32_t caret;     // framed when nothing is selected
    std::int32_t visible;   // lines, a partly visible last one included
    std::int32_t full;      // whole lines
    std::int32_t line_height;
    std::int32_t next_order;
    ll_item held;                // the entry lifted out while reordering
    std::int32_t held_from;      // its place before it was lifted; -1: nothing held
    std::uint8_t layout_changed; // the scroll bar must be recomputed
    std::uint8_t mouse_changed;  // selection moved by the mouse, not yet told
    std::uint8_t dragging;
    std::uint8_t reorderable;
};
static_assert(sizeof(ll_rec) % alignof(ll_item) == 0);

handle record_of(HWND w) {
    return static_cast<handle>(static_cast<std::uint32_t>(GetWindowLong(w, long_record)));
}

HFONT font_of(HWND w) {
    return handle_from_token<HFONT>(static_cast<std::uint32_t>(GetWindowLong(w, long_font)));
}

// The record of a window, locked while this lives.
class ll_ref {
public:
    explicit ll_ref(HWND w) : h_(record_of(w)) {
        if (h_) rec_ = static_cast<ll_rec*>(lock_handle(h_));
    }
    ~ll_ref() { unlock(); }
    ll_ref(const ll_ref&) = delete;
    ll_ref& operator=(const ll_ref&) = delete;

    explicit operator bool() const { return rec_ != nullptr; }
    ll_rec* operator->() const { return rec_; }
    ll_item* items() const { return reinterpret_cast<ll_item*>(rec_ + 1); }
    ll_item& item(int i) const { return items()[i]; }

    // Room for n items (grown to n + grow_step when short). False when out of
    // memory.
    bool reserve(int n) {
        if (n <= rec_->capacity) return true;
        int cap = n + grow_step;
        unlock();
        handle grown =
            resize_handle(h_, static_cast<std::uint32_t>(sizeof(ll_rec) + cap * sizeof(ll_item)));
        if (grown) h_ = grown;
        rec_ = static_cast<ll_rec*>(lock_handle(h_));
        if (!grown || !rec_) return false;
        rec_->capacity = cap;
        return true;
    }

private:
    void unlock() {
        if (rec_) unlock_handle(h_);
        rec_ = nullptr;
    }
    handle h_;
    ll_rec* rec_ = nullptr;
};

// The text blocks of a record, locked for reading while this lives (nothing
// may be stored meanwhile).
class text_view {
public:
    explicit text_view(const ll_ref& r) {
        for (int i = 0; i < text_block_count; ++i) {
            h_[i] = r->text[i];
            p_[i] = h_[i] ? static_cast<char*>(lock_handle(h_[i])) : nullptr;
        }
    }
    ~text_view() {
        for (int i = 0; i < text_block_count; ++i)
            if (p_[i]) unlock_handle(h_[i]);
    }
    text_view(const text_view&) = delete;
    text_view& operator=(const text_view&) = delete;

    const char* text(const ll_item& it) const {
        if (!it.cell || it.block >= text_block_count || !p_[it.block]) return "";
        return static_cast<const char*>(hblock_cell(p_[it.block], it.cell));
    }

private:
    handle h_[text_block_count];
    char* p_[text_block_count];
};

// Stores a text in the record's blocks; false when every block is full.
bool store_text(const ll_ref& r, const char* text, ll_item& it) {
    std::size_t n = text ? std::strlen(text) : 0;
    it.cell = 0;
    it.length = static_cast<std::uint32_t>(n);
    it.block = 0;
    if (n == 0) return true;
    int block = -1;
    std::int32_t cell =
        cblock_array_alloc(r->text, text_block_count, static_cast<std::uint32_t>(n + 1), &block);
    if (cell < 0 || block < 0) {
        it.length = 0;
        return false;
    }
    char* base = static_cast<char*>(lock_handle(r->text[block]));
    if (!base) return false;
    std::memcpy(hblock_cell(base, cell), text, n + 1);
    unlock_handle(r->text[block]);
    it.cell = cell;
    it.block = static_cast<std::uint8_t>(block);
    return true;
}

void free_text(const ll_ref& r, const ll_item& it) {
    if (it.cell && it.block < text_block_count && r->text[it.block])
        cblock_free(r->text[it.block], it.cell);
}

int client_height(HWND w) {
    RECT c{};
    GetClientRect(w, &c);
    return c.bottom;
}

int measure_line_height(HWND w) {
    HDC dc = GetDC(w);
    if (!dc) return 16;
    HFONT font = font_of(w);
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    SIZE s{};
    GetTextExtentPoint32(dc, "W", 1, &s);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return s.cy > 0 ? s.cy : 16;
}

void set_geometry(HWND w, ll_rec* rec) {
    rec->line_height = measure_line_height(w);
    int h = client_height(w);
    rec->full = h / rec->line_height;
    rec->visible = rec->full + (h % rec->line_height ? 1 : 0);
    rec->layout_changed = 1;
}

// The number of whole lines used for paging: at least one.
int page_lines(const ll_ref& r) {
    return std::max(1, r->full);
}

void notify(HWND w, WORD code) {
    PostMessage(GetParent(w), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(w)), code),
                reinterpret_cast<LPARAM>(w));
}

void invalidate_line(HWND w, const ll_ref& r, int index) {
    if (index < r->top || index >= r->top + r->visible) return;
    RECT c{};
    GetClientRect(w, &c);
    RECT line{0, (index - r->top) * r->line_height, c.right, (index - r->top + 1) * r->line_height};
    InvalidateRect(w, &line, TRUE);
}

void invalidate_from(HWND w, const ll_ref& r, int index) {
    RECT c{};
    GetClientRect(w, &c);
    c.top = std::max(0, (index - r->top) * r->line_height);
    InvalidateRect(w, &c, TRUE);
}

// Makes `top` the first visible item (clamped); one line is scrolled, more
// are redrawn. Moves the thumb unless tracking.
void scroll_to(HWND w, const ll_ref& r, int top, bool move_thumb = true) {
    top = std::clamp(top, 0, std::max(0, r->count - r->full));
    int delta = top - r->top;
    if (delta == 0) return;
    r->top = top;
    if (delta == 1 || delta == -1) {
        RECT c{};
        GetClientRect(w, &c);
        ScrollWindow(w, 0, -delta * r->line_height, nullptr, nullptr);
        RECT strip = c;
        if (delta > 0)
            strip.top = std::max(0, (r->full - 1) * r->line_height);
        else
            strip.bottom = r->line_height;
        InvalidateRect(w, &strip, TRUE);
    } else {
        InvalidateRect(w, nullptr, TRUE);
    }
    if (move_thumb) set_scroll_pos_scaled(w, SB_VERT, r->count, r->top);
}

int select_item(HWND w, const ll_ref& r, int index, bool notify_parent) {
    if (!r || r->count <= 0) return -1;
    index = std::clamp(index, 0, r->count - 1);
    if (index == r->selection) return index;
    invalidate_line(w, r, r->selection >= 0 ? r->selection : r->caret);
    r->selection = index;
    r->caret = index;
    if (notify_parent) notify(w, ll_sel_change);
    int full = page_lines(r);
    if (index == r->top - 1)
        scroll_to(w, r, r->top - 1);
    else if (index < r->top - 1)
        scroll_to(w, r, index);
    else if (index == r->top + full)
        scroll_to(w, r, r->top + 1);
    else if (index > r->top + full)
        scroll_to(w, r, index - full + 1);
    invalidate_line(w, r, index);
    return index;
}

// The record for a window with room for `capacity` items, made when missing
// (which enables the window).
handle ensure_record(HWND w, int capacity) {
    if (handle h = record_of(w)) return h;
    capacity = std::max(capacity, grow_step);
    handle h = new_handle(static_cast<std::uint32_t>(sizeof(ll_rec) + capacity * sizeof(ll_item)));
    if (!h) return 0;
    auto* rec = static_cast<ll_rec*>(lock_handle(h));
    rec->capacity = capacity;
    rec->selection = -1;
    rec->held_from = -1;
    rec->reorderable = (GetWindowLong(w, GWL_STYLE) & longlist_reorderable) ? 1 : 0;
    set_geometry(w, rec);
    unlock_handle(h);
    SetWindowLong(w, long_record, static_cast<LONG>(h));
    EnableWindow(w, TRUE);
    return h;
}

void free_record(HWND w) {
    handle h = record_of(w);
    if (!h) return;
    {
        ll_ref r(w);
        if (r)
            for (handle& t : r->text) {
                free_hblock(t);
                t = 0;
            }
    }
    free_handle(h);
    SetWindowLong(w, long_record, 0);
}

// Inserts an item before `index` (clamped to the list), keeping the
// selection, the caret and the first visible line on the items they named.
void insert_item(HWND w, int index, const char* text) {
    if (!ensure_record(w, 0)) return;
    ll_ref r(w);
    if (!r || !r.reserve(r->count + 1)) return;
    ll_item it{};
    if (!store_text(r, text, it)) return;
    it.order = r->next_order++;
    index = std::clamp(index, 0, r->count);
    ll_item* items = r.items();
    std::memmove(items + index + 1, items + index,
                 static_cast<std::size_t>(r->count - index) * sizeof(ll_item));
    items[index] = it;
    ++r->count;
    if (r->selection >= index) ++r->selection;
    if (r->caret >= index && r->count > 1) ++r->caret;
    if (r->top > index) ++r->top;
    if (r->held_from > index) ++r->held_from;
    r->layout_changed = 1;
    invalidate_from(w, r, index);
}

// Deletes an item, keeping the selection, the caret and the first visible
// line on the items they named (a deleted selection is cleared).
void delete_item(HWND w, int index) {
    ll_ref r(w);
    if (!r || index < 0 || index >= r->count) return;
    free_text(r, r.item(index));
    ll_item* items = r.items();
    std::memmove(items + index, items + index + 1,
                 static_cast<std::size_t>(r->count - index - 1) * sizeof(ll_item));
    --r->count;
    if (r->selection == index)
        r->selection = -1;
    else if (r->selection > index)
        --r->selection;
    if (r->caret > index) --r->caret;
    r->caret = std::clamp(r->caret, 0, std::max(0, r->count - 1));
    if (r->top > index) --r->top;
    if (r->held_from > index) --r->held_from;
    r->layout_changed = 1;
    invalidate_from(w, r, index);
}

int set_items(HWND w, const char* const* texts, int count) {
    free_record(w);
    if (count < 0 || (count > 0 && !texts)) count = 0;
    // Sized for all the texts at once, so storing them never moves a block.
    std::uint64_t cells = 8;
    for (int i = 0; i < count; ++i)
        if (texts[i] && *texts[i]) cells += (std::strlen(texts[i]) + 1 + 3) / 4 + 1;
    if (!ensure_record(w, count)) return 0;
    ll_ref r(w);
    if (!r) return 0;
    if (cells < cblock_max_bytes / 4)
        r->text[0] = new_cblock(static_cast<std::uint32_t>(cells), 0, 0);
    ll_item* items = r.items();
    int stored = 0;
    for (; stored < count; ++stored) {
        if (!store_text(r, texts[stored], items[stored])) break;
        items[stored].order = stored;
    }
    r->count = stored;
    r->next_order = stored;
    r->layout_changed = 1;
    InvalidateRect(w, nullptr, TRUE);
    return stored;
}

bool same_folded(unsigned char a, unsigned char b) {
    auto fold = [](unsigned char c) -> unsigned char {
        if (c == '_') return ' ';
        return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
    };
    return fold(a) == fold(b);
}

bool begins_with(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (!*text ||
            !same_folded(static_cast<unsigned char>(*text), static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

int find_item(HWND w, int start, const char* prefix) {
    ll_ref r(w);
    if (!r || !prefix || r->count <= 0) return -1;
    start = std::clamp(start, 0, r->count);
    text_view tv(r);
    for (int i = start; i < r->count; ++i)
        if (begins_with(tv.text(r.item(i)), prefix)) return i;
    for (int i = 0; i < start; ++i)
        if (begins_with(tv.text(r.item(i)), prefix)) return i;
    return -1;
}

unsigned char upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Type-ahead: the first item starting with the character, found by binary
// search over items ordered by their first letter.
int find_first_letter(const ll_ref& r, unsigned char typed) {
    text_view tv(r);
    auto first = [&](int i) { return upper(static_cast<unsigned char>(tv.text(r.item(i))[0])); };
    unsigned char want = upper(typed);
    int lo = 0, hi = r->count - 1, found = -1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        unsigned char c = first(mid);
        if (c == want) {
            found = mid;
            break;
        }
        if (c < want)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    while (found > 0 && first(found - 1) == want) --found;
    return found;
}

void key_down(HWND w, int vk) {
    ll_ref r(w);
    if (!r || r->count <= 0) {
        if (vk == VK_RETURN) notify(w, ll_enter);
        return;
    }
    const bool none = r->selection < 0;
    const int from = none ? r->caret : r->selection;
    int to;
    switch (vk) {
    case VK_RETURN:
        notify(w, ll_enter);
        return;
    case VK_HOME:
        to = 0;
        break;
    case VK_END:
        to = r->count - 1;
        break;
    case VK_DOWN:
    case VK_LEFT:
        to = none ? from : from + 1;
        break;
    case VK_UP:
    case VK_RIGHT:
        to = none ? from : from - 1;
        break;
    case VK_NEXT:
        to = from + page_lines(r) - 1;
        break;
    case VK_PRIOR:
        to = from - page_lines(r) + 1;
        break;
    default:
        return;
    }
    select_item(w, r, to, true);
}

void char_typed(HWND w, WPARAM ch) {
    if (ch < 33 || ch > 255) return;
    ll_ref r(w);
    if (!r || r->count <= 0) return;
    int found = find_first_letter(r, static_cast<unsigned char>(ch));
    if (found >= 0) select_item(w, r, found, true);
}

void vscroll(HWND w, WPARAM wp) {
    ll_ref r(w);
    if (!r) return;
    int step = std::max(1, r->full - 1);
    switch (LOWORD(wp)) {
    case SB_LINEUP:
        scroll_to(w, r, r->top - 1);
        break;
    case SB_LINEDOWN:
        scroll_to(w, r, r->top + 1);
        break;
    case SB_PAGEUP:
        scroll_to(w, r, r->top - step);
        break;
    case SB_PAGEDOWN:
        scroll_to(w, r, r->top + step);
        break;
    case SB_TOP:
        scroll_to(w, r, 0);
        break;
    case SB_BOTTOM:
        scroll_to(w, r, r->count);
        break;
    case SB_THUMBTRACK:
        scroll_to(w, r, scroll_thumb_pos(r->count, HIWORD(wp)), false);
        break;
    case SB_THUMBPOSITION:
        scroll_to(w, r, scroll_thumb_pos(r->count, HIWORD(wp)), false);
        set_scroll_pos_scaled(w, SB_VERT, r->count, r->top);
        break;
    default:
        break;
    }
}

void stop_autoscroll(HWND w) {
    KillTimer(w, timer_down);
    KillTimer(w, timer_up);
}

// The row under the pointer, kept to the whole lines in view: beyond them
// the autoscroll timers move the list.
int row_at(const ll_ref& r, int y) {
    int row = (y < 0 ? 0 : y / r->line_height) + r->top;
    int last = std::min(r->top + page_lines(r) - 1, r->count - 1);
    return std::clamp(row, std::min(r->top, last), last);
}

// Lifts the selected item out of the list while it is dragged elsewhere.
void lift_selected(HWND w, const ll_ref& r) {
    int from = r->selection;
    r->held = r.item(from);
    r->held_from = from;
    ll_item* items = r.items();
    std::memmove(items + from, items + from + 1,
                 static_cast<std::size_t>(r->count - from - 1) * sizeof(ll_item));
    --r->count;
    r->selection = -1;
    r->caret = std::clamp(from, 0, std::max(0, r->count - 1));
    r->layout_changed = 1;
    SetCursor(LoadCursor(nullptr, IDC_CROSS));
    InvalidateRect(w, nullptr, TRUE);
}

// Puts the held item in at `place` and selects it.
void drop_held(HWND w, const ll_ref& r, int place) {
    place = std::clamp(place, 0, r->count);
    ll_item* items = r.items();
    std::memmove(items + place + 1, items + place,
                 static_cast<std::size_t>(r->count - place) * sizeof(ll_item));
    items[place] = r->held;
    ++r->count;
    r->held_from = -1;
    r->selection = place;
    r->caret = place;
    r->mouse_changed = 1;
    r->layout_changed = 1;
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    InvalidateRect(w, nullptr, TRUE);
}

// The mouse went away mid-drag (capture taken by another window, mode
// cancelled): a held item goes back to its place.
void abandon_drag(HWND w) {
    ll_ref r(w);
    if (!r || !r->dragging) return;
    r->dragging = 0;
    stop_autoscroll(w);
    if (r->held_from >= 0) drop_held(w, r, r->held_from);
    if (r->mouse_changed) notify(w, ll_sel_change);
    r->mouse_changed = 0;
}

void mouse_down(HWND w, LPARAM lp) {
    ll_ref r(w);
    if (!r || r->count <= 0) return; // nothing to click on
    SetFocus(w);
    SetCapture(w);
    r->dragging = 1;
    r->mouse_changed = 0;
    int row = row_at(r, GET_Y_LPARAM(lp));
    if (row != r->selection) {
        select_item(w, r, row, false);
        r->mouse_changed = 1;
    }
}

void mouse_move(HWND w, LPARAM lp) {
    ll_ref r(w);
    if (!r || !r->dragging) return;
    const int y = GET_Y_LPARAM(lp);
    if (y < 0 && r->top > 0)
        SetTimer(w, timer_up, autoscroll_ms, nullptr);
    else if (y >= r->full * r->line_height && r->top + r->full < r->count)
        SetTimer(w, timer_down, autoscroll_ms, nullptr);
    else
        stop_autoscroll(w);
    if (r->held_from >= 0 || r->count <= 0) return;
    int row = row_at(r, y);
    if (row == r->selection) return;
    if (r->reorderable && r->selection >= 0 && r->count > 1) {
        lift_selected(w, r);
        return;
    }
    select_item(w, r, row, false);
    r->mouse_changed = 1;
}

void mouse_up(HWND w, LPARAM lp) {
    ll_ref r(w);
    if (!r || !r->dragging) return;
    r->dragging = 0; // before the release, whose capture notice must not undo the drop
    ReleaseCapture();
    stop_autoscroll(w);
    if (r->held_from >= 0) {
        RECT c{};
        GetClientRect(w, &c);
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        int place = r->held_from;
        if (PtInRect(&c, p)) {
            int row = (p.y + r->line_height / 2) / r->line_height + r->top;
            place = std::min({row, r->top + r->full, r->count});
        }
        drop_held(w, r, place);
    }
    if (r->mouse_changed) notify(w, ll_sel_change);
    r->mouse_changed = 0;
}

void autoscroll(HWND w, UINT_PTR id) {
    ll_ref r(w);
    if (!r || !r->dragging) {
        stop_autoscroll(w);
        return;
    }
    const bool holding = r->held_from >= 0;
    if (id == timer_down) {
        if (r->top + r->full >= r->count) {
            KillTimer(w, timer_down);
            return;
        }
        scroll_to(w, r, r->top + 1);
        if (!holding) select_item(w, r, r->top + page_lines(r) - 1, false);
    } else {
        if (r->top <= 0) {
            KillTimer(w, timer_up);
            return;
        }
        scroll_to(w, r, r->top - 1);
        if (!holding) select_item(w, r, r->top, false);
    }
    if (!holding) r->mouse_changed = 1;
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    if (!dc) return;
    RECT c{};
    GetClientRect(w, &c);
    if (ps.fErase) FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_WINDOW)); // not erased yet
    ll_ref r(w);
    if (r) {
        if (r->layout_changed) {
            r->layout_changed = 0;
            r->top = set_scroll_scaled(w, SB_VERT, 0, r->count, r->full, r->top);
        }
        HFONT font = font_of(w);
        HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
        SetBkMode(dc, TRANSPARENT);
        const int lh = r->line_height;
        const bool holding = r->held_from >= 0;
        const int first = r->top + std::max(0, static_cast<int>(ps.rcPaint.top) / lh);
        const int last =
            std::min(r->count, r->top + (static_cast<int>(ps.rcPaint.bottom) + lh - 1) / lh);
        const COLORREF text_colour = GetSysColor(COLOR_WINDOWTEXT);
        const COLORREF high_text = GetSysColor(COLOR_HIGHLIGHTTEXT);
        {
            text_view tv(r);
            for (int i = first; i < last; ++i) {
                const int y = (i - r->top) * lh;
                const bool selected = i == r->selection && !holding;
                if (selected) {
                    RECT bar{c.left, y, c.right, y + lh};
                    FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
                }
                SetTextColor(dc, selected ? high_text : text_colour);
                const ll_item& it = r.item(i);
                TextOut(dc, 1, y, tv.text(it), static_cast<int>(it.length));
            }
        }
        const int marked = r->selection >= 0 ? r->selection : r->caret;
        if (!holding && GetFocus() == w && marked >= r->top && marked < r->top + r->visible &&
            marked < r->count) {
            const int y = (marked - r->top) * lh;
            HPEN pen = CreatePen(PS_DOT, 1, marked == r->selection ? high_text : text_colour);
            HGDIOBJ old_pen = SelectObject(dc, pen);
            HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
            int old_rop = SetROP2(dc, R2_NOTXORPEN);
            Rectangle(dc, c.left, y, c.right, y + lh);
            SetROP2(dc, old_rop);
            SelectObject(dc, old_brush);
            SelectObject(dc, old_pen);
            DeleteObject(pen);
        }
        if (old_font) SelectObject(dc, old_font);
    }
    EndPaint(w, &ps);
}

void on_size(HWND w) {
    int lh;
    {
        ll_ref r(w);
        if (r) {
            set_geometry(w, r.operator->());
            InvalidateRect(w, nullptr, TRUE);
        }
        lh = r ? r->line_height : measure_line_height(w);
    }
    const int h = client_height(w);
    const int partial = h % lh;
    if (partial && h / lh >= 1 && !(GetWindowLong(w, GWL_STYLE) & LBS_NOINTEGRALHEIGHT)) {
        RECT wr{};
        GetWindowRect(w, &wr);
        SetWindowPos(w, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top - partial,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int count_of(HWND w) {
    ll_ref r(w);
    return r ? r->count : 0;
}

// Message ll_select: -1 clears the selection, the caret taking its place.
int select_or_clear(HWND w, int index) {
    ll_ref r(w);
    if (!r) return -1;
    if (index >= 0) return select_item(w, r, index, false);
    if (r->selection >= 0) {
        r->caret = r->selection;
        r->selection = -1;
        invalidate_line(w, r, r->caret);
    }
    return -1;
}

int copy_order(HWND w, std::int32_t* out) {
    ll_ref r(w);
    if (!r || !r->reorderable) return 0;
    if (out)
        for (int i = 0; i < r->count; ++i) out[i] = r.item(i).order;
    return r->count;
}

int item_offset(HWND w, int index) {
    ll_ref r(w);
    if (!r) return 0;
    return std::clamp((index - r->top) * r->line_height, 0, r->visible * r->line_height);
}

} // namespace

int scroll_scale_factor(int total) {
    return total > thumb_limit ? total / thumb_limit + 1 : 1;
}

int set_scroll_scaled(HWND window, int bar, int first, int total, int page, int position) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    if (page >= total) {
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        SetScrollInfo(window, bar, &si, TRUE);
        return first;
    }
    position = std::clamp(position, first, first + total - page);
    const int f = scroll_scale_factor(total);
    if (page >= 1) {
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = first / f;
        si.nMax = (first + total - 2) / f + 1;
        si.nPage = static_cast<UINT>(std::max(1, page / f));
        si.nPos = position / f;
        SetScrollInfo(window, bar, &si, TRUE);
    } else {
        SetScrollRange(window, bar, first / f, (first + total - page) / f, FALSE);
        SetScrollPos(window, bar, position / f, TRUE);
    }
    return position;
}

int scroll_thumb_pos(int total, int thumb) {
    return thumb * scroll_scale_factor(total);
}

void set_scroll_pos_scaled(HWND window, int bar, int total, int position) {
    SetScrollPos(window, bar, position / scroll_scale_factor(total), TRUE);
}

int longlist_set_items(HWND window, const char* const* texts, int count) {
    return set_items(window, texts, count);
}

void longlist_clear(HWND window) {
    free_record(window);
    stop_autoscroll(window);
    if (GetCapture() == window) ReleaseCapture();
    set_scroll_scaled(window, SB_VERT, 0, 0, 0, 0);
    EnableWindow(window, FALSE);
    InvalidateRect(window, nullptr, TRUE);
}

int longlist_select(HWND window, int index, bool notify_parent) {
    ll_ref r(window);
    return select_item(window, r, index, notify_parent);
}

int longlist_item_text(HWND window, int index, char* buffer, int size) {
    ll_ref r(window);
    if (!r || index < 0 || index >= r->count) return -1;
    const ll_item& it = r.item(index);
    if (buffer && size > 0) {
        text_view tv(r);
        std::size_t n = std::min<std::size_t>(it.length, static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, tv.text(it), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(it.length);
}

LRESULT longlist_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE:
        SetWindowLong(w, long_record, 0);
        EnableWindow(w, FALSE);
        return 0;
    case WM_DESTROY:
        stop_autoscroll(w);
        free_record(w);
        return 0;
    case WM_SIZE:
        on_size(w);
        return 0;
    case WM_SETFONT: {
        SetWindowLong(w, long_font, static_cast<LONG>(token_of(reinterpret_cast<HFONT>(wp))));
        ll_ref r(w);
        if (r) set_geometry(w, r.operator->());
        if (LOWORD(lp)) InvalidateRect(w, nullptr, TRUE);
        return 0;
    }
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_of(w));
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        key_down(w, static_cast<int>(wp));
        return 0;
    case WM_CHAR:
        char_typed(w, wp);
        return 0;
    case WM_VSCROLL:
        vscroll(w, wp);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        notify(w, m == WM_SETFOCUS ? ll_focus_got : ll_focus_lost);
        ll_ref r(w);
        if (r) invalidate_line(w, r, r->selection >= 0 ? r->selection : r->caret);
        return 0;
    }
    case WM_LBUTTONDOWN:
        mouse_down(w, lp);
        return 0;
    case WM_MOUSEMOVE:
        mouse_move(w, lp);
        return 0;
    case WM_LBUTTONUP:
        mouse_up(w, lp);
        return 0;
    case WM_LBUTTONDBLCLK: {
        ll_ref r(w);
        if (r && r->count > 0) notify(w, ll_enter);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != w) abandon_drag(w);
        return 0;
    case WM_CANCELMODE:
        abandon_drag(w);
        if (GetCapture() == w) ReleaseCapture();
        return 0;
    case WM_TIMER:
        autoscroll(w, wp);
        return 0;
    case WM_SETCURSOR: {
        ll_ref r(w);
        if (r && r->held_from >= 0) {
            SetCursor(LoadCursor(nullptr, IDC_CROSS));
            return TRUE;
        }
        break;
    }

    case ll_append:
        insert_item(w, count_of(w), reinterpret_cast<const char*>(lp));
        return 0;
    case ll_delete:
        delete_item(w, static_cast<int>(wp));
        return 0;
    case ll_find:
    case ll_find_next:
        return find_item(w, static_cast<int>(wp), reinterpret_cast<const char*>(lp));
    case ll_count:
        return count_of(w);
    case ll_selected: {
        ll_ref r(w);
        return r ? r->selection : -1;
    }
    case ll_get_text:
        return longlist_item_text(w, static_cast<int>(wp), reinterpret_cast<char*>(lp), INT_MAX);
    case ll_get_text_sized: {
        auto* req = reinterpret_cast<longlist_text_request*>(lp);
        return req ? longlist_item_text(w, static_cast<int>(wp), req->buffer, req->size)
                   : longlist_item_text(w, static_cast<int>(wp), nullptr, 0);
    }
    case ll_text_length:
        return longlist_item_text(w, static_cast<int>(wp), nullptr, 0);
    case ll_insert:
        insert_item(w, static_cast<int>(wp), reinterpret_cast<const char*>(lp));
        return 0;
    case ll_clear:
        longlist_clear(w);
        return 0;
    case ll_select:
        return select_or_clear(w, static_cast<int>(wp));
    case ll_set_items:
        return set_items(w, reinterpret_cast<const char* const*>(lp), static_cast<int>(wp));
    case ll_get_order:
        return copy_order(w, reinterpret_cast<std::int32_t*>(lp));
    case ll_item_offset:
        return item_offset(w, static_cast<int>(wp));
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}
