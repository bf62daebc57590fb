// Dialogs of the platform stand-in: dialog templates in our own format, the
// template registry, and the dialog manager with the platform's names and
// semantics (dialog procedures returning BOOL, WM_INITDIALOG, EndDialog, the
// dialog item helpers, keyboard navigation by IsDialogMessage, dialog units).
//
// Modal dialogs run a nested GetMessage loop of our own (no Qt modality): the
// owner is disabled while the dialog is up, and every posted message, timer
// and paint keeps being dispatched. A test answerer (tests/driver/
// answerer.h) can answer a modal dialog through the hook below.
#pragma once

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/types.h"
#include "platform/win.h"

#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Constants

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDCLOSE = 8;
inline constexpr int IDHELP = 9;
inline constexpr int IDC_STATIC = -1;

inline constexpr DWORD DS_ABSALIGN = 0x01;
inline constexpr DWORD DS_SYSMODAL = 0x02;
inline constexpr DWORD DS_3DLOOK = 0x04;
inline constexpr DWORD DS_FIXEDSYS = 0x08;
inline constexpr DWORD DS_NOFAILCREATE = 0x10;
inline constexpr DWORD DS_SETFONT = 0x40;
inline constexpr DWORD DS_MODALFRAME = 0x80;
inline constexpr DWORD DS_SETFOREGROUND = 0x200;
inline constexpr DWORD DS_CONTROL = 0x400;
inline constexpr DWORD DS_CENTER = 0x800;
inline constexpr DWORD DS_CENTERMOUSE = 0x1000;
inline constexpr DWORD DS_CONTEXTHELP = 0x2000;

inline constexpr UINT DM_GETDEFID = WM_USER + 0;
inline constexpr UINT DM_SETDEFID = WM_USER + 1;
inline constexpr UINT DM_REPOSITION = WM_USER + 2;
inline constexpr WORD DC_HASDEFID = 0x534B;

// WM_GETDLGCODE answers.
inline constexpr LRESULT DLGC_WANTARROWS = 0x0001;
inline constexpr LRESULT DLGC_WANTTAB = 0x0002;
inline constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
inline constexpr LRESULT DLGC_WANTMESSAGE = 0x0004;
inline constexpr LRESULT DLGC_HASSETSEL = 0x0008;
inline constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
inline constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
inline constexpr LRESULT DLGC_RADIOBUTTON = 0x0040;
inline constexpr LRESULT DLGC_WANTCHARS = 0x0080;
inline constexpr LRESULT DLGC_STATIC = 0x0100;
inline constexpr LRESULT DLGC_BUTTON = 0x2000;

// The window class of dialogs.
inline constexpr const char* WC_DIALOG = "#32770";

// ---------------------------------------------------------------------------
// Templates (our own format: the resources fill the registry with these)

struct DialogItem {
    const char* cls;    // window class: "Button", "Edit", ... or any registered class
    int id;             // control id (IDC_STATIC for none)
    const char* text;   // null for none
    DWORD style;        // WS_CHILD is added; WS_VISIBLE must be given to show it
    short x, y, cx, cy; // dialog units
    DWORD ex_style = 0;
};

struct DialogTemplate {
    int id = 0; // the template number (MAKEINTRESOURCE(id) in DialogBoxParam)
    const char* caption = nullptr;
    DWORD style = 0; // DS_*, WS_*
    DWORD ex_style = 0;
    const char* font_face = nullptr; // with DS_SETFONT; null: "MS Sans Serif"
    int font_points = 8;
    short x = 0, y = 0, cx = 0, cy = 0; // dialog units
    std::vector<DialogItem> items;
    const char* cls = nullptr; // a registered class for the dialog window (null: dialogs)
};

// Registers a template under its number (replaces an earlier one). The
// registry copies the table. FALSE when the template is not sound (no id,
// a negative size, an item without class); the reason is reported.
BOOL dlg_register_template(const DialogTemplate& tpl);
const DialogTemplate* dlg_find_template(int id);
void dlg_clear_templates(); // tests

// ---------------------------------------------------------------------------
// The dialog manager

// `name` is MAKEINTRESOURCE(template number). Returns the value given to
// EndDialog, or -1 when the dialog could not be made (unknown template,
// unknown control class, WM_QUIT received while it was up: the quit is posted
// again for the outer loop).
INT_PTR DialogBoxParam(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc,
                       LPARAM param);
inline INT_PTR DialogBox(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc) {
    return DialogBoxParam(instance, name, owner, proc, 0);
}
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* tpl, HWND owner,
                               DLGPROC proc, LPARAM param);
// A modeless dialog (a child dialog with WS_CHILD in its style). Null when it
// cannot be made.
HWND CreateDialogParam(HINSTANCE instance, const char* name, HWND parent, DLGPROC proc,
                       LPARAM param);
inline HWND CreateDialog(HINSTANCE instance, const char* name, HWND parent, DLGPROC proc) {
    return CreateDialogParam(instance, name, parent, proc, 0);
}
HWND CreateDialogIndirectParam(HINSTANCE instance, const DialogTemplate* tpl, HWND parent,
                               DLGPROC proc, LPARAM param);
// Ends a modal dialog (its loop returns `result` once the current message is
// done); a modeless dialog is only hidden (the program destroys it).
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// Handles the keyboard interface of `dialog` (Tab, Shift+Tab, arrows in a
// group, Enter for the default button, Escape for Cancel, Alt+mnemonic) and
// dispatches every other message meant for the dialog or its controls. TRUE
// when the message was for the dialog (then the caller must not dispatch it).
BOOL IsDialogMessage(HWND dialog, MSG* msg);

BOOL SetDlgItemText(HWND dialog, int id, const char* text);
UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL is_signed);
// Reads an optionally signed decimal number (blanks around it allowed);
// *translated tells whether the text was a number that fits.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and unchecks the other buttons from first to last.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// Not of the Win32 set: tells the toolkit that the keyboard moved the focus
// to `control` (as Tab does in IsDialogMessage), so focus marks are drawn.
void dlg_mark_keyboard_focus(HWND control);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
// Dialog units to pixels with the dialog's font.
BOOL MapDialogRect(HWND dialog, RECT* rect);
// MAKELONG(average character width, height) of the system dialog font.
LONG GetDialogBaseUnits();

// ---------------------------------------------------------------------------
// Seams for message boxes, the test answerer and the resources

// What the manager tells the modal hook about a modal dialog about to run its
// loop (after WM_INITDIALOG): its window, template number (0 for built
// templates), caption, and for message boxes their text and MB_* type.
struct ModalInfo {
    HWND dialog = nullptr;
    int template_id = 0;
    std::string caption;
    bool message_box = false;
    std::string text;
    UINT mb_type = 0;
};
using ModalHook = std::function<void(const ModalInfo&)>;
// Called for each modal dialog before its loop; null removes it.
void dlg_set_modal_hook(ModalHook hook);
// The modal dialogs running now (innermost last).
std::vector<HWND> dlg_modal_stack();
// Template number of a dialog made from a registered template (0 otherwise).
int dlg_template_id(HWND dialog);

// Failure messages of the dialog, control, menu, clipboard, printing and
// shell layers go to this hook (a clear message naming what failed); the last
// one is kept for callers and tests. Default: written to stderr.
using ui_error_hook = void (*)(const char* message);
void ui_set_error_hook(ui_error_hook hook);
std::string ui_last_error();
void ui_clear_last_error();
void ui_fail(const std::string& message);
