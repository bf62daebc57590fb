// Private seams of the dialog manager (dlg_*.cpp, msgbox.cpp, the answerer).
#pragma once

#include "platform/dlg.h"

namespace dlg {

struct State {
    HFONT font = nullptr; // the font in use (WM_SETFONT replaces it)
    // The font the dialog made from its template, deleted with the dialog;
    // never the font given by WM_SETFONT, which belongs to whoever made it.
    HFONT template_font = nullptr;
    SIZE base{6, 13};
    bool ended = false;
    INT_PTR result = 0;
    bool modal = false;
    int template_id = 0;
    int def_id = 0; // 0: none set (Enter gives IDOK)
    HWND last_focus = nullptr;
};

// The record of a dialog (null for a window that is not a dialog of ours).
State* state(HWND dialog);
// Runs a modal dialog from a template; `extra` adds what a message box tells
// the modal hook (its text and type).
INT_PTR run_modal(HINSTANCE instance, const DialogTemplate* tpl, HWND owner, DLGPROC proc,
                  LPARAM param, const ModalInfo* extra);
// Gives a control the focus as the keyboard interface does (an edit field's
// text is selected).
void focus_control(HWND dialog, HWND control);

} // namespace dlg
