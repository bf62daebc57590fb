// Private structures of the menu layer (menu_*.cpp).
#pragma once

#include "platform/menu.h"

#include <string>
#include <vector>

namespace menu {

struct Item {
    UINT flags = 0; // MF_* (MF_POPUP for pop-ups)
    UINT_PTR id = 0;
    std::string text;
    HMENU sub = nullptr;
    ULONG_PTR data = 0; // owner-drawn items
};

struct Menu {
    bool bar = false;
    std::vector<Item> items;
    HWND window = nullptr; // the window whose bar this is
};

Menu* get(HMENU h);
// Finds an item by position or (recursively) by command; `owner` gets the
// menu that holds it and `index` its position.
Item* find(HMENU h, UINT item, UINT flags, HMENU* owner = nullptr, int* index = nullptr);
// Rebuilds the Qt bar of a window from its menu.
void refresh_bar(HWND hwnd);
void forget_window(HWND hwnd);
// Builds the bar of windows made with a menu when they are first shown.
void watch_shown_windows();

} // namespace menu
