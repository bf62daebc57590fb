// The menu bar's modes: the active window's kind decides what pop-ups 1 to 3
// (Edit, View, Insert) hold and which file commands can act.
#pragma once

#include <string>

#include "platform/win.h"

// Command ids the bar modes rename.
enum : int { cmd_load_lock = 493 };

// Output windows: 493 "&Lock/Unlock", 494 "Save &As", Save grey, Print on;
// the output Edit menu (Copy, Cut, Paste) as pop-up 1 "&Edit", the main Edit
// and Insert pop-ups as 2 "&View" and 3 "&Insert", only pop-up 1 enabled.
void output_menu_bar();
// Text-edit windows and no active window: 493 "&Load" (grey), 494 "&Save
// Settings", Save and Print grey, the main View, Edit and Insert pop-ups back
// as "&Edit", "&View" and "&Insert", all three grey; the title is reset.
void rebuild_menu_bar();
// The diagram (an active build window): its own Edit, View and third
// pop-up (Layout) at positions 1 to 3, the first two enabled, the third as
// `third_on` says; Print and Publish on.
void diagram_menu_bar(HMENU edit, HMENU view, HMENU third, const char* third_title, bool third_on);
// Which of them the bar shows: 1 output, 2 the diagram's, 0 the other, -1
// none yet.
int menu_bar_mode();

// The name of the file a text window edits, shown in the title's edit part;
// both bar modes forget it.
void set_edited_file(const char* name);
const std::string& edited_file();
