// The main window's place and size, kept in the settings file as
// "MainWindow=x,y,width,height,maximised" and given back at the next start.
// The normal place is remembered while the window is neither maximised nor
// minimised, so a window that ends maximised comes back maximised over the
// place it had before.
#pragma once

#include "platform/win.h"

#include <optional>
#include <string>

struct main_place {
    RECT rect{}; // the normal (not maximised) window rectangle
    bool maximised = false;
};

// The setting's text and back; nullopt for a text that is no place (missing
// numbers, a size below the smallest usable window).
std::optional<main_place> parse_main_place(const std::string& text);
std::string format_main_place(const main_place& place);

// `r` moved and shrunk as little as needed to lie on `screen`.
RECT bring_onto(RECT r, const RECT& screen);

// The place to create the main window at: the saved one brought onto the
// screen, else a visible default (a centred window, shown maximised).
main_place initial_main_place();

// Notes the window's rectangle while it is in its normal state (called on
// every move and size of the main window).
void remember_main_place(HWND window);
// Sets the setting from the window (the settings table only; the caller
// writes the file).
void save_main_place(HWND window);
