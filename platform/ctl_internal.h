// Private helpers shared by the standard controls (ctl_*.cpp) and the dialog
// manager (dlg_*.cpp). Nothing outside the platform includes this.
#pragma once

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/win.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

namespace ctl {

// Program text (UTF-8 bytes) and Qt text.
QString qs(const char* text);
QString qs(const std::string& text);
std::string bytes(const QString& text);
// Positions in a text: the program counts UTF-8 bytes (a line feed as
// `newline_bytes`, two where the program sees CR LF), Qt counts UTF-16 units.
// A byte position inside a character means the character's start.
int byte_position(const QString& text, int qt_pos, int newline_bytes = 1);
int qt_position(const QString& text, int byte_pos, int newline_bytes = 1);

int id_of(HWND hwnd);
DWORD style_of(HWND hwnd);
// WM_COMMAND (id, code) to the control's parent.
void notify(HWND hwnd, WORD code);
// WM_NOTIFY with an NMHDR to the control's parent; the parent's answer.
LRESULT notify_nm(HWND hwnd, UINT code);
// Runs a call into the program from a Qt event or signal handler (the program
// may throw; Qt must not be unwound): the exception is kept for the layer's
// loop to rethrow.
void guarded(const std::function<void()>& f);

// The widget of a control window, as its own class (null when the handle is
// stale or of another class).
template <typename W> W* widget_as(HWND hwnd) {
    return dynamic_cast<W*>(win_widget(hwnd));
}

// The messages every control answers alike: WM_SETFONT (the widget takes the
// font), WM_GETFONT, WM_ENABLE (the widget follows), WM_SHOWWINDOW. Returns
// true when handled, with the result in `result`.
bool common_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
HFONT font_of(HWND hwnd);
// A mouse press on a control takes the focus first, as on the platform.
void take_focus_on_click(HWND hwnd, UINT message);

// Colours of a control from its parent's WM_CTLCOLOR* answer (asked with a
// device context, as the platform does). `valid` false when the parent left
// the default.
struct Colours {
    bool valid = false;
    QColor text;
    QColor background;
    bool transparent = false;
};
Colours ask_colours(HWND hwnd, UINT ctlcolor_message);

// Gives `widget` the colours of the parent's `ctlcolor_message` answer before
// each paint (text, window and base colours of its palette).
void follow_colours(QWidget* widget, HWND hwnd, UINT ctlcolor_message);

// Owner drawing: the parent draws one item onto `image` through a device
// context (rcItem in the image's co-ordinates); the font of the control is
// selected into the context first.
void owner_draw(HWND hwnd, QImage& image, DRAWITEMSTRUCT item);
// WM_MEASUREITEM to the parent; the height it gives (or `fallback`).
UINT measure_item(HWND hwnd, UINT type, UINT item_id, ULONG_PTR data, UINT fallback,
                  UINT* width = nullptr);

// Class procedures and factories of each control (ctl_*.cpp).
void register_button();
void register_static();
void register_edit();
void register_listbox();
void register_combobox();
void register_scrollbar();
void register_tab();

// Registers one control class with its procedure and widget factory.
void register_class(const char* name, WNDPROC proc, WidgetFactory factory, int extra = 0);

// The dialog base units of a font (average width of the alphabet, height).
SIZE base_units_of(HFONT font);

} // namespace ctl
