// What the dialog templates of this folder share: the frame of a template in
// the dialogs' font, and the styles of the common controls.
#pragma once

#include "platform/controls.h"
#include "platform/dlg.h"

namespace template_parts {

// A modal pop-up with a caption and a system menu.
inline constexpr DWORD modal_popup =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
inline constexpr DWORD push = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
inline constexpr DWORD def_push = WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
inline constexpr DWORD check = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
inline constexpr DWORD radio = WS_VISIBLE | BS_AUTORADIOBUTTON;
inline constexpr DWORD group = WS_VISIBLE | BS_GROUPBOX;
inline constexpr DWORD edit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;

// A template of the given style, caption and size (dialog units) in the
// dialogs' font, with no controls yet.
inline DialogTemplate frame(int id, DWORD style, const char* caption, short cx, short cy) {
    DialogTemplate t;
    t.id = id;
    t.caption = caption;
    t.style = style;
    t.font_face = "MS Sans Serif";
    t.cx = cx;
    t.cy = cy;
    return t;
}

} // namespace template_parts
