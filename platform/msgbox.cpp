// Message boxes: a dialog template built for each box (icon, text, buttons),
// run by the dialog manager's modal loop.
#include "platform/msgbox.h"

#include "platform/ctl_internal.h"
#include "platform/dlg_internal.h"
#include "platform/gdi_internal.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <string>

namespace {

struct BoxData {
    UINT type = 0;
    std::vector<int> buttons;
};

const char* button_text(int id) {
    switch (id) {
    case IDOK:
        return "OK";
    case IDCANCEL:
        return "Cancel";
    case IDABORT:
        return "&Abort";
    case IDRETRY:
        return "&Retry";
    case IDIGNORE:
        return "&Ignore";
    case IDYES:
        return "&Yes";
    case IDNO:
        return "&No";
    default:
        return "?";
    }
}

INT_PTR box_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    auto* box = reinterpret_cast<BoxData*>(GetWindowLongPtr(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtr(dlg, DWLP_USER, lp);
        box = reinterpret_cast<BoxData*>(lp);
        std::size_t def = (box->type & MB_DEFMASK) >> 8;
        if (def >= box->buttons.size()) def = 0;
        int id = box->buttons[def];
        SendMessage(dlg, DM_SETDEFID, static_cast<WPARAM>(id), 0);
        SetFocus(GetDlgItem(dlg, id));
        return FALSE;
    }
    case WM_COMMAND: {
        if (!box) return FALSE;
        int id = LOWORD(wp);
        if (id == IDCANCEL &&
            std::find(box->buttons.begin(), box->buttons.end(), IDCANCEL) == box->buttons.end()) {
            int esc = msgbox_escape_answer(box->type);
            if (esc) EndDialog(dlg, esc);
            return TRUE;
        }
        if (std::find(box->buttons.begin(), box->buttons.end(), id) != box->buttons.end())
            EndDialog(dlg, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// Qt wraps a box's text at blanks only, so a long path with none (a file
// the message names) made a box as wide as the path, or wider than the
// screen with its text cut. A paragraph holding a word wider than `max_w` is
// laid out here instead: lines break after blanks and after the path
// separators, and a piece still too wide is cut where it reaches the edge.
// Other paragraphs are left to Qt.
QString wrap_long_words(const QString& text, const QFontMetrics& fm, int max_w) {
    QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (QString& para : paragraphs) {
        bool too_wide = false;
        for (const QString& word : para.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (fm.horizontalAdvance(word) > max_w) too_wide = true;
        if (!too_wide) continue;
        // Pieces that a line may end after.
        QStringList pieces;
        QString piece;
        for (QChar c : para) {
            piece += c;
            if (c == QLatin1Char(' ') || c == QLatin1Char('/') || c == QLatin1Char('\\')) {
                pieces << piece;
                piece.clear();
            }
        }
        if (!piece.isEmpty()) pieces << piece;
        QStringList lines;
        QString line;
        auto end_line = [&] {
            while (line.endsWith(QLatin1Char(' '))) line.chop(1);
            lines << line;
            line.clear();
        };
        for (QString rest : pieces) {
            if (!line.isEmpty() && fm.horizontalAdvance(line + rest) > max_w) end_line();
            if (line.isEmpty()) {
                while (rest.startsWith(QLatin1Char(' '))) rest.remove(0, 1);
                // A piece wider than a line on its own: cut by characters.
                while (fm.horizontalAdvance(rest) > max_w && rest.size() > 1) {
                    int n = 1;
                    while (n < rest.size() && fm.horizontalAdvance(rest.left(n + 1)) <= max_w) ++n;
                    if (n < rest.size() && rest.at(n).isLowSurrogate()) --n;
                    if (n < 1) n = 1;
                    line = rest.left(n);
                    rest.remove(0, n);
                    end_line();
                }
            }
            line += rest;
        }
        if (!line.isEmpty()) end_line();
        para = lines.join(QLatin1Char('\n'));
    }
    return paragraphs.join(QLatin1Char('\n'));
}

} // namespace

std::vector<int> msgbox_buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

int msgbox_escape_answer(UINT type) {
    auto b = msgbox_buttons(type);
    if (std::find(b.begin(), b.end(), IDCANCEL) != b.end()) return IDCANCEL;
    if (b.size() == 1 && b[0] == IDOK) return IDOK;
    return 0;
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    platform_ensure_application();
    controls_register();
    BoxData box;
    box.type = type;
    box.buttons = msgbox_buttons(type);
    std::string body = text ? text : "";
    // Layout in pixels with the dialog font, then in dialog units.
    const char* face = "MS Sans Serif";
    HFONT font = CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, face);
    SIZE base = ctl::base_units_of(font);
    QFontMetrics fm(font ? gdi_qfont(font) : QFont());
    if (font) DeleteObject(font);
    int screen_w = 1024;
    if (QScreen* s = QGuiApplication::primaryScreen()) screen_w = s->availableGeometry().width();
    // Long texts wrap at about sixty average characters (a readable line),
    // narrower on a small screen, so that the whole box (the text, the icon
    // and the margins) stays within two thirds of the screen's width.
    int frame_px = (2 * 7 + 27 + 2) * static_cast<int>(base.cx) / 4 + 16;
    int max_w =
        std::max(200, std::min(screen_w * 2 / 3 - frame_px, 60 * static_cast<int>(base.cx)));
    QString shown = wrap_long_words(ctl::qs(body), fm, max_w);
    QRect tr =
        fm.boundingRect(QRect(0, 0, max_w, 100000), Qt::TextWordWrap | Qt::TextExpandTabs, shown);
    std::string shown_text = shown.toStdString();
    auto du_x = [&](int px) { return static_cast<short>((px * 4 + base.cx - 1) / base.cx); };
    auto du_y = [&](int px) { return static_cast<short>((px * 8 + base.cy - 1) / base.cy); };
    bool icon = (type & MB_ICONMASK) != 0;
    short margin = 7, icon_w = icon ? 27 : 0;
    short text_w = std::max<short>(du_x(tr.width()) + 2, 30);
    short text_h = std::max<short>(du_y(tr.height()), 10);
    short bw = 50, bh = 14, gap = 6;
    auto nb = static_cast<short>(box.buttons.size());
    short buttons_w = static_cast<short>(nb * bw + (nb - 1) * gap);
    short body_h = std::max<short>(text_h, icon ? 20 : 0);
    short cx = std::max<short>(static_cast<short>(margin + icon_w + text_w + margin),
                               static_cast<short>(buttons_w + 2 * margin));
    short cy = static_cast<short>(margin + body_h + margin + bh + margin);

    DialogTemplate t;
    t.caption = caption ? caption : "Error";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    t.font_face = face;
    t.font_points = 8;
    t.cx = cx;
    t.cy = cy;
    constexpr DWORD vis = WS_CHILD | WS_VISIBLE;
    if (icon) {
        int idi = IDI_ASTERISK_ID;
        switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            idi = IDI_HAND_ID;
            break;
        case MB_ICONQUESTION:
            idi = IDI_QUESTION_ID;
            break;
        case MB_ICONEXCLAMATION:
            idi = IDI_EXCLAMATION_ID;
            break;
        default:
            break;
        }
        t.items.push_back(
            {WC_STATIC, 20, MAKEINTRESOURCE(idi), vis | SS_ICON, margin, margin, 21, 20});
    }
    t.items.push_back({WC_STATIC, 0xFFFF, shown_text.c_str(), vis | SS_LEFT | SS_NOPREFIX,
                       static_cast<short>(margin + icon_w), margin, text_w, text_h});
    short x = static_cast<short>((cx - buttons_w) / 2);
    short y = static_cast<short>(margin + body_h + margin);
    for (int i = 0; i < nb; ++i) {
        int id = box.buttons[static_cast<std::size_t>(i)];
        DWORD st = vis | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | BS_PUSHBUTTON;
        t.items.push_back({WC_BUTTON, id, button_text(id), st, x, y, bw, bh});
        x = static_cast<short>(x + bw + gap);
    }
    ModalInfo info;
    info.message_box = true;
    info.text = body;
    info.mb_type = type;
    INT_PTR r = dlg::run_modal(nullptr, &t, owner, box_proc, reinterpret_cast<LPARAM>(&box), &info);
    return r < 0 ? 0 : static_cast<int>(r);
}
