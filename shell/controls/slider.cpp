// The input slider control: layout, painting, dragging and typing of a value
// between its limits, written into its value slot as it changes.
#include "shell/controls/slider.h"

#include "foundation/memory.h"
#include "foundation/names.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "shell/pump.h"
#include "shell/simdlg.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int long_record = 0;
constexpr const char* sketch_frame_class = "Kavrel_sketch_mother";

// The slider's record; the two label texts follow it (offsets from the start
// of the block, 0: none).
struct vslider_rec {
    float minimum;
    float maximum;
    float lower; // typed and dragged values are kept within lower..upper
    float upper;
    float value;
    float increment; // 0: continuous
    // The value this slider's last Livesweep re-run was asked with; NaN when
    // the model's value has since come from elsewhere (another slider, the
    // Setup box) or none was asked yet, so the next change re-runs.
    float last_rerun;
    std::uint32_t edit; // window tokens
    std::uint32_t self;
    handle attached;
    std::int32_t colour; // -1 window, -2 button face, else RGB
    std::uint32_t label_font;
    std::int32_t slot; // 0: none
    std::int32_t grab; // pointer offset into the thumb; -1 while not dragging
    RECT track;
    RECT thumb;
    std::int32_t travel;
    std::int32_t label_height;
    std::int32_t edit_x, edit_y, edit_w, edit_h;
    std::uint32_t max_label; // offsets of the label texts
    std::uint32_t min_label;
    std::uint8_t show_labels;
    std::uint8_t vertical;
    std::uint8_t digits;
    std::uint8_t owns_attached;
    std::uint8_t read_only;
    std::uint8_t changed; // since the last re-run
    std::uint8_t pending; // the edit box holds typed text not yet taken
    std::uint8_t showing; // the slider itself is writing the edit box
};

// The slider last pressed or typed into (a window token; 0 none).
std::uint32_t last_pressed = 0;

handle record_of(HWND w) {
    return static_cast<handle>(static_cast<std::uint32_t>(GetWindowLong(w, long_record)));
}

// The record of a window, locked while this lives.
class slider_ref : public handle_lock<vslider_rec> {
public:
    explicit slider_ref(HWND w) : handle_lock(record_of(w)) {}
    vslider_rec& rec() const { return *get(); }
    const char* label(std::uint32_t offset) const {
        return offset ? reinterpret_cast<const char*>(get()) + offset : nullptr;
    }
};

HWND edit_of(const vslider_rec& s) {
    return handle_from_token<HWND>(s.edit);
}

float lo_limit(const vslider_rec& s) {
    return std::min(s.lower, s.upper);
}
float hi_limit(const vslider_rec& s) {
    return std::max(s.lower, s.upper);
}

std::string value_text(const vslider_rec& s, float v) {
    if (s.digits) {
        char format[16];
        std::snprintf(format, sizeof format, "%%.%dg", static_cast<int>(s.digits));
        return format_number_fmt(format, 0, v);
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

void show_value(vslider_rec& s) {
    HWND edit = edit_of(s);
    if (!edit) return;
    s.showing = 1;
    SetWindowText(edit, value_text(s, s.value).c_str());
    SendMessage(edit, EM_SETMODIFY, FALSE, 0);
    s.showing = 0;
    s.pending = 0;
}

// The value slot's entry of the setup copy, or null.
float* slot_entry(const vslider_rec& s, handle& locked) {
    locked = 0;
    if (s.slot <= 0 || !setup_copy) return nullptr;
    if (static_cast<std::uint32_t>(s.slot) >= handle_size(setup_copy) / 4) return nullptr;
    auto* v = static_cast<float*>(lock_handle(setup_copy));
    if (!v) return nullptr;
    locked = setup_copy;
    return v + s.slot;
}

bool read_slot(const vslider_rec& s, float& out) {
    handle locked;
    float* e = slot_entry(s, locked);
    if (!e) return false;
    out = *e;
    unlock_handle(locked);
    return true;
}

// Whether the scale can give values at all: finite limits, the minimum
// below the maximum and a distance between them a float holds.
bool scale_usable(const vslider_rec& s) {
    return std::isfinite(s.minimum) && std::isfinite(s.maximum) && s.minimum < s.maximum &&
           std::isfinite(s.maximum - s.minimum) && std::isfinite(lo_limit(s)) &&
           std::isfinite(hi_limit(s));
}

// Takes a new value: kept within the limits, written into the value slot
// when it differs there, and in Livesweep a re-run asked for. A value that
// would not read back as itself (not finite, or too near 0 to be kept
// exactly) is never written.
void take_value(HWND w, vslider_rec& s, float v, int rerun_mode) {
    if (!std::isfinite(v) || !scale_usable(s)) return;
    if (v != 0.0f && std::fabs(v) < std::numeric_limits<float>::min()) v = 0.0f;
    v = std::clamp(v, lo_limit(s), hi_limit(s));
    const bool changed = v != s.value;
    // Taken before the copy is told: the controls it then refreshes find
    // this slider already showing the value.
    s.value = v;
    float current;
    if (read_slot(s, current) && current != v) {
        set_setup_value(s.slot, v);
        // A game's window lists the decisions: it shows the new one (and
        // does not put its old one back before the next move).
        if (game_state && game_window()) show_game_window();
    }
    if (changed && sim_phase == phase_livesweep_ready && v != s.last_rerun) {
        s.changed = 1;
        if (livesweep_rerun(token_of(w), rerun_mode, 0)) s.last_rerun = v;
    }
}

// The fraction of the scale a value stands at, 0 at the minimum.
float fraction(const vslider_rec& s, float v) {
    const float span = s.maximum - s.minimum;
    if (!(span > 0.0f)) return 0.0f;
    return std::clamp((v - s.minimum) / span, 0.0f, 1.0f);
}

void place_thumb(vslider_rec& s) {
    const int off = static_cast<int>(std::lround(fraction(s, s.value) * s.travel));
    if (s.vertical) {
        const int h = s.thumb.bottom - s.thumb.top;
        s.thumb.top = s.track.top + s.travel - off;
        s.thumb.bottom = s.thumb.top + h;
    } else {
        const int wd = s.thumb.right - s.thumb.left;
        s.thumb.left = s.track.left + off;
        s.thumb.right = s.thumb.left + wd;
    }
}

void font_metrics(HWND w, HFONT font, TEXTMETRIC& tm) {
    tm = TEXTMETRIC{};
    HDC dc = GetDC(w);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
}

// The rectangles of a slider of cw x ch pixels in s (the track, the thumb at
// the value, the edit box), from the fonts of the edit box and the labels.
void compute_layout(HWND w, vslider_rec& s, int cw, int ch) {
    HWND edit = edit_of(s);
    TEXTMETRIC tm;
    font_metrics(w, edit ? reinterpret_cast<HFONT>(SendMessage(edit, WM_GETFONT, 0, 0)) : nullptr,
                 tm);
    int ew = std::max(0, std::min(10 * static_cast<int>(tm.tmAveCharWidth), cw - 4));
    int eh =
        std::max(0, std::min(static_cast<int>(tm.tmHeight) + 2 * GetSystemMetrics(SM_CYBORDER) + 4,
                             ch - 10));
    TEXTMETRIC lm;
    font_metrics(w, handle_from_token<HFONT>(s.label_font), lm);
    s.label_height = s.show_labels ? static_cast<int>(lm.tmHeight) : 0;
    if (s.vertical) {
        const int ey = ch - 3 - eh;
        const int top = 2 + s.label_height;
        const int bottom = std::max(top, ey - 6 - s.label_height);
        s.track = RECT{5, top, std::max(6, cw - 5), bottom};
        const int th = std::max(2, (bottom - top) / 8);
        s.travel = std::max(0, bottom - top - th);
        s.thumb = RECT{s.track.left, top, s.track.right, top + th};
    } else {
        // The edit box gives way until the track has two thirds of the height.
        eh = std::max(std::min(eh, 6), std::min(eh, ch - 3 - (2 * ch) / 3));
        const int ey = ch - 3 - eh;
        const int bottom = std::max(2, ey - 2 - s.label_height);
        s.track = RECT{2, 2, std::max(3, cw - 5), bottom};
        const int tw = std::max(2, std::min(40, cw / 8));
        s.travel = std::max(0, static_cast<int>(s.track.right - s.track.left) - tw);
        s.thumb = RECT{s.track.left, s.track.top, s.track.left + tw, s.track.bottom};
    }
    s.edit_w = ew;
    s.edit_h = eh;
    s.edit_x = (cw - ew) / 2;
    s.edit_y = ch - 3 - eh;
    place_thumb(s);
}

void layout(HWND w, vslider_rec& s) {
    RECT c{};
    GetClientRect(w, &c);
    compute_layout(w, s, c.right, c.bottom);
    if (HWND edit = edit_of(s)) MoveWindow(edit, s.edit_x, s.edit_y, s.edit_w, s.edit_h, TRUE);
    InvalidateRect(w, nullptr, TRUE);
}

HBRUSH background_brush(const vslider_rec& s, bool& owned) {
    owned = false;
    if (s.colour == -1) return GetSysColorBrush(COLOR_WINDOW);
    if (s.colour == -2) return GetSysColorBrush(COLOR_BTNFACE);
    owned = true;
    return CreateSolidBrush(static_cast<COLORREF>(s.colour));
}

// One scale label of r at r's track, moved by (dx, dy); `set` is the text
// given in place of the number (null: the number).
void draw_label(HDC dc, const vslider_rec& r, const char* set, bool maximum, int dx = 0,
                int dy = 0) {
    std::string text = set ? std::string(set) : value_text(r, maximum ? r.maximum : r.minimum);
    SIZE size{};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
    int x, y;
    if (r.vertical) {
        x = (r.track.left + r.track.right - size.cx) / 2;
        y = maximum ? r.track.top - r.label_height : r.track.bottom;
    } else {
        y = r.track.bottom;
        x = maximum ? r.track.right - size.cx : r.track.left;
    }
    TextOut(dc, x + dx, y + dy, text.c_str(), static_cast<int>(text.size()));
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    if (!dc) return;
    slider_ref s(w);
    if (s) {
        vslider_rec& r = s.rec();
        paint_slider_body(dc, r.track, r.thumb, r.vertical, r.pending, false);
        if (r.show_labels) {
            HFONT font = handle_from_token<HFONT>(r.label_font);
            HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            draw_label(dc, r, s.label(r.min_label), false);
            draw_label(dc, r, s.label(r.max_label), true);
            if (old_font) SelectObject(dc, old_font);
        }
    }
    EndPaint(w, &ps);
}

void redraw_thumb(HWND w, vslider_rec& s) {
    RECT old = s.thumb;
    place_thumb(s);
    InvalidateRect(w, &old, TRUE);
    InvalidateRect(w, &s.thumb, TRUE);
}

// The value of a thumb position along the track.
// Worked out in double, so that a wide scale does not overflow on the way
// and a step too small for the scale is not taken (it would give the same
// value, or none, at every position).
float value_at(const vslider_rec& s, int offset) {
    if (s.travel <= 0) return s.minimum;
    const double lo = s.minimum, span = static_cast<double>(s.maximum) - lo;
    double v = lo + (static_cast<double>(offset) / static_cast<double>(s.travel)) * span;
    if (s.increment > 0.0f) {
        const double steps = std::round((v - lo) / s.increment);
        if (std::isfinite(steps) && std::fabs(steps) <= 1e7) v = lo + steps * s.increment;
    }
    return static_cast<float>(std::clamp(v, lo, static_cast<double>(s.maximum)));
}

int along(const vslider_rec& s, LPARAM lp) {
    return s.vertical ? GET_Y_LPARAM(lp) : GET_X_LPARAM(lp);
}

void mouse_down(HWND w, LPARAM lp) {
    slider_ref s(w);
    if (!s || modal_count > 0 || s->read_only) return;
    last_pressed = s->self;
    POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (!PtInRect(&s->thumb, p)) return;
    if (HWND edit = edit_of(s.rec())) SetFocus(edit);
    SetCapture(w);
    s->grab = along(s.rec(), lp) - (s->vertical ? s->thumb.top : s->thumb.left);
}

void mouse_move(HWND w, LPARAM lp) {
    // Only the latest position counts.
    MSG later;
    while (PeekMessage(&later, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) lp = later.lParam;
    slider_ref s(w);
    if (!s || s->grab < 0) return;
    vslider_rec& r = s.rec();
    int start = along(r, lp) - r.grab;
    int offset = r.vertical ? r.track.top + r.travel - start : start - r.track.left;
    offset = std::clamp(offset, 0, std::max(0, r.travel));
    take_value(w, r, value_at(r, offset), 0);
    show_value(r);
    redraw_thumb(w, r);
}

void mouse_up(HWND w) {
    slider_ref s(w);
    if (!s || s->grab < 0) return;
    s->grab = -1;
    if (GetCapture() == w) ReleaseCapture();
    redraw_thumb(w, s.rec());
    if (livesweep_state == ls_on && (s->slot > 0 || override_flags)) {
        livesweep_rerun(token_of(w), 1, 0);
        s->changed = 0;
    }
}

// The edit box lost the focus: its text becomes the value when it reads as
// a number; otherwise the value shown before comes back.
void take_typed(HWND w) {
    slider_ref s(w);
    if (!s) return;
    vslider_rec& r = s.rec();
    HWND edit = edit_of(r);
    if (r.slot > 0 && edit) {
        char buf[128];
        GetWindowText(edit, buf, sizeof buf);
        char* end = nullptr;
        double v = std::strtod(buf, &end);
        while (end && *end == ' ') ++end;
        if (end != buf && end && *end == '\0' && std::isfinite(v))
            take_value(w, r, static_cast<float>(v), 2);
    }
    if (r.changed && sim_phase == phase_livesweep_ready) {
        livesweep_rerun(token_of(w), 2, 0);
        r.changed = 0;
    }
    show_value(r);
    redraw_thumb(w, r);
}

// The edit box's keys, before they are translated: Page Up and Page Down
// page the sketch the slider sits on, Ctrl+R simulates.
bool edit_keys(HWND edit, MSG* msg) {
    if (msg->hwnd != edit || msg->message != WM_KEYDOWN) return false;
    if (msg->wParam == static_cast<WPARAM>(VK_PRIOR) ||
        msg->wParam == static_cast<WPARAM>(VK_NEXT)) {
        HWND frame = GetParent(GetParent(GetParent(edit)));
        char cls[64] = "";
        if (!frame || !GetClassName(frame, cls, sizeof cls) ||
            std::strcmp(cls, sketch_frame_class) != 0)
            return false;
        PostMessage(frame, WM_COMMAND,
                    msg->wParam == static_cast<WPARAM>(VK_PRIOR) ? sketch_page_up_command
                                                                 : sketch_page_down_command,
                    0);
        return true;
    }
    if (msg->wParam == 'R' && GetKeyState(VK_CONTROL) < 0) {
        post_sim_command(1);
        return true;
    }
    return false;
}

void set_label(HWND w, bool maximum, const char* text) {
    handle h = record_of(w);
    if (!h) return;
    // Both texts are kept after the fields; the block is rebuilt to hold them.
    std::string min_text, max_text;
    {
        slider_ref s(w);
        if (s.label(s->min_label)) min_text = s.label(s->min_label);
        if (s.label(s->max_label)) max_text = s.label(s->max_label);
    }
    (maximum ? max_text : min_text) = text ? text : "";
    const std::uint32_t base = sizeof(vslider_rec);
    const std::uint32_t size =
        base + static_cast<std::uint32_t>(min_text.size() + max_text.size()) + 2;
    handle grown = resize_handle(h, size);
    if (!grown) return;
    SetWindowLong(w, long_record, static_cast<LONG>(grown));
    slider_ref s(w);
    char* p = reinterpret_cast<char*>(&s.rec());
    std::memcpy(p + base, min_text.c_str(), min_text.size() + 1);
    std::memcpy(p + base + min_text.size() + 1, max_text.c_str(), max_text.size() + 1);
    s->min_label = min_text.empty() ? 0 : base;
    s->max_label = max_text.empty() ? 0 : base + static_cast<std::uint32_t>(min_text.size()) + 1;
    InvalidateRect(w, nullptr, TRUE);
}

bool create(HWND w) {
    handle h = new_handle(sizeof(vslider_rec));
    if (!h) return false;
    auto* s = static_cast<vslider_rec*>(lock_handle(h));
    s->maximum = s->upper = 100.0f;
    s->last_rerun = std::numeric_limits<float>::quiet_NaN();
    s->colour = -1;
    s->grab = -1;
    s->read_only = 1;
    s->self = token_of(w);
    s->vertical = (GetWindowLong(w, GWL_STYLE) & 0xF) == 1;
    HWND edit = CreateWindow(
        "Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, 0, 0, 10, 10,
        w, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(slider_edit_id)), nullptr, nullptr);
    s->edit = token_of(edit);
    unlock_handle(h);
    SetWindowLong(w, long_record, static_cast<LONG>(h));
    if (edit) {
        EnableWindow(edit, FALSE);
        add_loop_filter(edit, edit_keys);
    }
    slider_ref r(w);
    layout(w, r.rec());
    show_value(r.rec());
    return true;
}

void destroy(HWND w) {
    handle h = record_of(w);
    if (!h) return;
    {
        slider_ref s(w);
        if (last_pressed == s->self) last_pressed = 0;
        if (HWND edit = edit_of(s.rec())) remove_loop_filter(edit);
        if (s->owns_attached) free_hblock(s->attached);
    }
    free_handle(h);
    SetWindowLong(w, long_record, 0);
}

const float* float_arg(LPARAM lp) {
    return reinterpret_cast<const float*>(lp);
}

// Minimum above maximum after a change of one of them: the two change
// places before the value is kept on the scale.
void order_scale(vslider_rec& s) {
    if (s.minimum > s.maximum) std::swap(s.minimum, s.maximum);
    s.value = std::clamp(s.value, s.minimum, s.maximum);
}

LRESULT slider_message(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    slider_ref s(w);
    if (!s) return 0;
    vslider_rec& r = s.rec();
    switch (m) {
    case vs_set_value: {
        const float was = r.value;
        if (lp)
            r.value = *float_arg(lp);
        else
            read_slot(r, r.value);
        if (r.value != was) r.last_rerun = std::numeric_limits<float>::quiet_NaN();
        show_value(r);
        redraw_thumb(w, r);
        return 0;
    }
    case vs_get_value:
        if (lp) *reinterpret_cast<float*>(lp) = r.value;
        return 0;
    case vs_set_minimum:
        if (lp) r.minimum = r.lower = *float_arg(lp);
        break;
    case vs_set_maximum:
        if (lp) r.maximum = r.upper = *float_arg(lp);
        break;
    case vs_set_increment:
        if (lp) r.increment = std::max(0.0f, *float_arg(lp));
        return 0;
    case vs_show_labels:
        r.show_labels = wp != 0;
        layout(w, r);
        return 0;
    case vs_label_font:
        r.label_font = token_of(reinterpret_cast<HFONT>(wp));
        layout(w, r);
        return 0;
    case vs_attach:
        if (r.owns_attached && r.attached != static_cast<handle>(wp)) free_hblock(r.attached);
        r.attached = static_cast<handle>(wp);
        r.owns_attached = lp != 0;
        return 0;
    case vs_minimum_only:
        if (lp) r.minimum = *float_arg(lp);
        break;
    case vs_maximum_only:
        if (lp) r.maximum = *float_arg(lp);
        break;
    case vs_digits:
        r.digits = static_cast<std::uint8_t>(std::min<WPARAM>(wp, 20));
        show_value(r);
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case vs_bind_slot: {
        r.slot = static_cast<std::int32_t>(wp);
        r.read_only = r.slot <= 0 || !scale_usable(r);
        HWND edit = edit_of(r);
        SendMessage(edit, EM_SETREADONLY, r.read_only, 0);
        EnableWindow(edit, !r.read_only);
        if (!r.read_only) read_slot(r, r.value);
        r.last_rerun = std::numeric_limits<float>::quiet_NaN();
        show_value(r);
        redraw_thumb(w, r);
        return 0;
    }
    case vs_background:
        r.colour = static_cast<std::int32_t>(lp);
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case vs_rerun_finished:
        if (r.grab >= 0) redraw_thumb(w, r);
        return 0;
    default:
        return 0;
    }
    // A change of the scale.
    order_scale(r);
    show_value(r);
    redraw_thumb(w, r);
    InvalidateRect(w, nullptr, TRUE);
    return 0;
}

} // namespace

void paint_slider_body(HDC dc, const RECT& track, const RECT& thumb, bool vertical, bool outlined,
                       bool mono) {
    HPEN shadow = CreatePen(PS_SOLID, 1, mono ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNSHADOW));
    HPEN light =
        CreatePen(PS_SOLID, 1, mono ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNHIGHLIGHT));
    HGDIOBJ old_pen = SelectObject(dc, shadow);
    // The groove: a shadow line and a light one beside it.
    if (vertical) {
        const int x = (track.left + track.right) / 2;
        MoveToEx(dc, x - 1, track.top, nullptr);
        LineTo(dc, x - 1, track.bottom);
        SelectObject(dc, light);
        MoveToEx(dc, x, track.top, nullptr);
        LineTo(dc, x, track.bottom);
    } else {
        const int y = (track.top + track.bottom) / 2;
        MoveToEx(dc, track.left, y - 1, nullptr);
        LineTo(dc, track.right, y - 1);
        SelectObject(dc, light);
        MoveToEx(dc, track.left, y, nullptr);
        LineTo(dc, track.right, y);
    }
    const RECT& t = thumb;
    if (!outlined || mono) {
        HBRUSH face = CreateSolidBrush(mono ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE));
        FillRect(dc, &t, face);
        DeleteObject(face);
    }
    if (outlined || mono) {
        SelectObject(dc, shadow);
        HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, t.left, t.top, t.right, t.bottom);
        SelectObject(dc, old_brush);
    } else {
        SelectObject(dc, light);
        MoveToEx(dc, t.left, t.bottom - 1, nullptr);
        LineTo(dc, t.left, t.top);
        LineTo(dc, t.right - 1, t.top);
        SelectObject(dc, shadow);
        LineTo(dc, t.right - 1, t.bottom - 1);
        LineTo(dc, t.left, t.bottom - 1);
    }
    SelectObject(dc, old_pen);
    DeleteObject(shadow);
    DeleteObject(light);
}

LRESULT vslider_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE:
        return create(w) ? 0 : -1;
    case WM_DESTROY:
        destroy(w);
        return 0;
    case WM_SIZE: {
        slider_ref s(w);
        if (s) layout(w, s.rec());
        return 0;
    }
    case WM_ERASEBKGND: {
        slider_ref s(w);
        if (!s) break;
        bool owned;
        HBRUSH b = background_brush(s.rec(), owned);
        RECT c{};
        GetClientRect(w, &c);
        FillRect(reinterpret_cast<HDC>(wp), &c, b);
        if (owned) DeleteObject(b);
        return 1;
    }
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_LBUTTONDOWN:
        mouse_down(w, lp);
        return 0;
    case WM_MOUSEMOVE:
        mouse_move(w, lp);
        return 0;
    case WM_LBUTTONUP:
        mouse_up(w);
        return 0;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE: {
        slider_ref s(w);
        if (s && s->grab >= 0 && reinterpret_cast<HWND>(lp) != w) {
            s->grab = -1;
            redraw_thumb(w, s.rec());
        }
        return 0;
    }
    case WM_COMMAND: {
        if (LOWORD(wp) != slider_edit_id) return 0;
        const WORD code = HIWORD(wp);
        if (code == EN_KILLFOCUS) take_typed(w);
        if (code == EN_CHANGE) {
            slider_ref s(w);
            HWND edit = s ? edit_of(s.rec()) : nullptr;
            if (s && !s->showing && SendMessage(edit, EM_GETMODIFY, 0, 0)) {
                s->pending = 1;
                InvalidateRect(w, &s->thumb, TRUE);
            }
        }
        if (code == EN_SETFOCUS) {
            slider_ref s(w);
            if (s) last_pressed = s->self;
        }
        if (code == EN_KILLFOCUS || code == EN_SETFOCUS)
            SendMessage(GetParent(w), WM_COMMAND,
                        MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(w)),
                                   code == EN_KILLFOCUS ? slider_edit_done : slider_edit_focus),
                        reinterpret_cast<LPARAM>(w));
        return 0;
    }
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case EM_SETSEL: {
        slider_ref s(w);
        return s ? SendMessage(edit_of(s.rec()), m, wp, lp) : 0;
    }
    case WM_SETFONT: {
        slider_ref s(w);
        if (!s) return 0;
        SendMessage(edit_of(s.rec()), WM_SETFONT, wp, lp);
        layout(w, s.rec());
        return 0;
    }
    case WM_GETFONT: {
        slider_ref s(w);
        return s ? SendMessage(edit_of(s.rec()), WM_GETFONT, 0, 0) : 0;
    }
    case vs_max_label:
    case vs_min_label: // grows the record: not while it is locked
        set_label(w, m == vs_max_label, reinterpret_cast<const char*>(lp));
        return 0;
    default:
        if (m >= vs_set_value && m <= vs_rerun_finished) return slider_message(w, m, wp, lp);
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

int slider_slot(HWND slider) {
    if (!slider || !IsWindow(slider) || !record_of(slider)) return 0;
    slider_ref s(slider);
    return s ? s->slot : 0;
}

HWND last_pressed_slider() {
    HWND w = handle_from_token<HWND>(last_pressed);
    return w && IsWindow(w) ? w : nullptr;
}

bool slider_layout(HWND slider, SIZE size, slider_geometry* out) {
    if (!out || !slider || !IsWindow(slider) || !record_of(slider)) return false;
    slider_ref s(slider);
    if (!s) return false;
    vslider_rec copy = s.rec(); // the window's own layout stays
    compute_layout(slider, copy, std::max<int>(0, size.cx), std::max<int>(0, size.cy));
    out->track = copy.track;
    out->thumb = copy.thumb;
    out->edit =
        RECT{copy.edit_x, copy.edit_y, copy.edit_x + copy.edit_w, copy.edit_y + copy.edit_h};
    out->label_height = copy.label_height;
    return true;
}

void draw_slider_labels(HWND slider, HDC dc, const slider_geometry& g, POINT origin) {
    if (!dc || !slider || !IsWindow(slider) || !record_of(slider)) return;
    slider_ref s(slider);
    if (!s || !s->show_labels) return;
    vslider_rec r = s.rec();
    r.track = g.track;
    r.label_height = g.label_height;
    // Without a font of their own the labels are in the font a window's
    // context starts with, as the window draws them.
    HFONT font = handle_from_token<HFONT>(r.label_font);
    if (!font) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
    int old_mode = SetBkMode(dc, TRANSPARENT);
    draw_label(dc, r, s.label(r.min_label), false, origin.x, origin.y);
    draw_label(dc, r, s.label(r.max_label), true, origin.x, origin.y);
    SetBkMode(dc, old_mode);
    if (old_font) SelectObject(dc, old_font);
}
