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
// Installs the window layer's menu hooks: the bar of a window made with a
// menu is built at its creation, and Alt+letter / F10 open the bar's pop-ups.
void install_window_hooks();

} // namespace menu
