// The long list: the shell's own single-selection list box (window class
// "Kavrel_longlist"). Its item texts live in piece blocks of the memory
// layer, not in the window, so a list may hold any number of lines; painting
// and the scroll bar only ever look at the visible lines.
//
// The control's record is a movable block whose handle is window long 0 (0
// while the list has no items; the window is disabled then). Notifications are
// posted to the parent as WM_COMMAND: the control id in the low word of
// wParam, the code (longlist_notify) in the high word, the control in lParam.
// The window style bit longlist_reorderable lets the user move items by
// dragging; message ll_get_order then tells the caller the new order.
#pragma once

#include "platform/win.h"

#include <cstdint>

// Messages (wParam, lParam -> result).
enum longlist_message : UINT {
    ll_append = 1075,        // -, text -> 0
    ll_delete = 1076,        // index, - -> 0
    ll_find = 1077,          // start index (<= 0: from 0), prefix -> index or -1
    ll_find_next = 1078,     // the same
    ll_count = 1079,         // -> count
    ll_selected = 1080,      // -> index or -1
    ll_get_text = 1081,      // index, buffer of ll_text_length + 1 bytes -> length or -1
    ll_text_length = 1082,   // index -> length or -1
    ll_insert = 1083,        // index, text -> 0 (insert before index)
    ll_clear = 1084,         // -> 0 (the control is disabled)
    ll_select = 1085,        // index (-1 clears) -> the new selection; no notification
    ll_set_items = 1091,     // count, array of texts -> count
    ll_get_order = 1092,     // -, array of count int32 -> count (0: not reorderable)
    ll_item_offset = 1093,   // index -> pixels below the top of the visible area
    ll_get_text_sized = 1094 // index, longlist_text_request* -> length or -1
};

// Notification codes (high word of the WM_COMMAND wParam).
enum longlist_notify : WORD {
    ll_enter = 1086,      // Enter pressed or double click
    ll_focus_lost = 1087, // focus lost
    ll_sel_change = 1088, // the user changed the selection
    ll_focus_got = 1089   // focus gained
};

// Style bit: the items can be reordered by dragging.
inline constexpr DWORD longlist_reorderable = 0x0002;

// The sized form of ll_get_text: the text is cut to size - 1 bytes and always
// ends in a zero; the result is the item's full length.
struct longlist_text_request {
    char* buffer;
    int size;
};

LRESULT longlist_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Replaces all items (message ll_set_items); the count stored.
int longlist_set_items(HWND window, const char* const* texts, int count);
// Removes all items and disables the control.
void longlist_clear(HWND window);
// Selects an item (clamped to the list) and scrolls it into view; with notify
// the parent is told (ll_sel_change). The selection.
int longlist_select(HWND window, int index, bool notify);
// Copies an item's text into a buffer of `size` bytes (cut to fit, always
// ending in a zero). The item's full length, -1 when there is no such item.
int longlist_item_text(HWND window, int index, char* buffer, int size);

// Scroll bars over more positions than a thumb can address: above 32000
// positions every value is divided by a factor, so thumb positions stay
// within 16 bits. `bar` is SB_VERT or SB_HORZ.
//
// Sets the bar for `total` positions from `first`, `page` of them visible,
// at `position` (clamped to first + total - page). Hides the bar when the
// page holds them all. The clamped position.
int set_scroll_scaled(HWND window, int bar, int first, int total, int page, int position);
// The position a thumb position of a bar over `total` positions stands for.
int scroll_thumb_pos(int total, int thumb);
// Moves the thumb of a bar over `total` positions to `position`.
void set_scroll_pos_scaled(HWND window, int bar, int total, int position);
// The factor for a bar over `total` positions (1 up to 32000).
int scroll_scale_factor(int total);
