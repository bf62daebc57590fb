// The small question dialogs of the program: a text, a pair of texts, a
// choice from a list.
#pragma once

#include "platform/dlg.h"
#include "platform/win.h"

// ask_text: dialog 354, the text in scratch memory or
// null on Cancel. ask_replace_text: with a second text dialog 382 (the two
// texts separated by a zero byte), without dialog 355. ask_list: dialog 353,
// the chosen index or -1 on Cancel.
char* ask_text(const char* prompt, const char* dflt);
char* ask_replace_text(HWND owner, const char* prompt, const char* text, const char* second);
int ask_list(const char* prompt, const char* const* items, int count, int current);

// The dialog procedures of the question dialogs (exported by name).
INT_PTR user_text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR user_list_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
