// Edit fields: single-line (a QLineEdit) and multi-line (a QPlainTextEdit),
// read-only, password, number-only, upper/lower case, text limits, the
// selection and the EM_* messages the program uses. The program sees the text
// of a multi-line field with CR LF line ends and counts positions in that
// form; the widget holds plain line feeds.
//
// EN_CHANGE follows every change of the text, by the user or by WM_SETTEXT /
// EM_REPLACESEL (as on the platform); EN_SETFOCUS and EN_KILLFOCUS follow the
// focus; EN_MAXTEXT tells that typing hit the limit.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace ctl {

namespace {

// UTF-8 bytes of the character starting at unit i, and its UTF-16 units.
int char_bytes(const QString& t, qsizetype i, int newline_bytes, int& units) {
    char16_t c = t[i].unicode();
    units = 1;
    if (c == u'\n') return newline_bytes;
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
        units = 2;
        return 4;
    }
    return 3;
}

} // namespace

int byte_position(const QString& text, int qt_pos, int newline_bytes) {
    int bytes = 0;
    for (qsizetype i = 0; i < text.size() && i < qt_pos;) {
        int units;
        bytes += char_bytes(text, i, newline_bytes, units);
        i += units;
    }
    return bytes;
}

int qt_position(const QString& text, int byte_pos, int newline_bytes) {
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        int units;
        int n = char_bytes(text, i, newline_bytes, units);
        if (bytes + n > byte_pos) break;
        bytes += n;
        i += units;
    }
    return static_cast<int>(i);
}

namespace {

constexpr int default_limit = 30000;

class EditWidget final : public QWidget {
public:
    EditWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
        DWORD st = style_of(hwnd);
        multi = (st & ES_MULTILINE) != 0;
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        if (multi) {
            text_ = new QPlainTextEdit(this);
            text_->setLineWrapMode((st & WS_HSCROLL) || (st & ES_AUTOHSCROLL)
                                       ? QPlainTextEdit::NoWrap
                                       : QPlainTextEdit::WidgetWidth);
            text_->setVerticalScrollBarPolicy((st & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                : Qt::ScrollBarAlwaysOff);
            text_->setHorizontalScrollBarPolicy((st & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
            text_->setFrameShape((st & WS_BORDER) ||
                                         (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)
                                     ? QFrame::StyledPanel
                                     : QFrame::NoFrame);
            layout->addWidget(text_);
            follow_colours(text_->viewport(), hwnd, WM_CTLCOLOREDIT);
            setFocusProxy(text_);
            QObject::connect(text_, &QPlainTextEdit::textChanged, this, [this] { changed(); });
        } else {
            line_ = new QLineEdit(this);
            line_->setFrame((st & WS_BORDER) ||
                            (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
            line_->setMaxLength(default_limit);
            if (st & ES_PASSWORD) line_->setEchoMode(QLineEdit::Password);
            if (st & ES_NUMBER)
                line_->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), line_));
            line_->setAlignment((st & ES_CENTER)  ? Qt::AlignHCenter
                                : (st & ES_RIGHT) ? Qt::AlignRight
                                                  : Qt::AlignLeft);
            layout->addWidget(line_);
            setFocusProxy(line_);
            QObject::connect(line_, &QLineEdit::textChanged, this, [this] { changed(); });
            line_->installEventFilter(this);
            follow_colours(line_, hwnd, WM_CTLCOLOREDIT);
        }
        set_read_only((st & ES_READONLY) != 0);
    }

    HWND hwnd_;
    bool multi = false;
    bool modified = false;
    int limit = default_limit;
    int quiet = 0; // changes made here without EN_CHANGE

    void set_read_only(bool ro) {
        if (line_) line_->setReadOnly(ro);
        if (text_) text_->setReadOnly(ro);
    }
    bool read_only() const { return line_ ? line_->isReadOnly() : text_->isReadOnly(); }

    // The text in the program's form (CR LF line ends).
    std::string program_text() const {
        if (line_) return bytes(line_->text());
        std::string s = bytes(text_->toPlainText()), out;
        out.reserve(s.size() + s.size() / 16);
        for (char ch : s) {
            if (ch == '\n') out.push_back('\r');
            out.push_back(ch);
        }
        return out;
    }
    static QString to_widget(const char* text) {
        QString q = qs(text ? text : "");
        q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return q;
    }
    // Program position (UTF-8 bytes, CR LF counted as two) <-> widget
    // position.
    QString widget_text() const { return line_ ? line_->text() : text_->toPlainText(); }
    int newline_bytes() const { return line_ ? 1 : 2; }
    int to_qt(int pos) const { return qt_position(widget_text(), pos, newline_bytes()); }
    int to_program(int qpos) const { return byte_position(widget_text(), qpos, newline_bytes()); }

    void set_text(const char* text) {
        QString q = to_widget(text);
        if (line_) {
            if (q.size() > line_->maxLength()) line_->setMaxLength(static_cast<int>(q.size()));
            line_->setText(q);
        } else {
            text_->setPlainText(q);
        }
        modified = false;
    }
    void get_sel(int& start, int& end) const {
        if (line_) {
            int s = static_cast<int>(line_->hasSelectedText() ? line_->selectionStart()
                                                              : line_->cursorPosition());
            int e = s + static_cast<int>(line_->selectedText().size());
            start = to_program(s);
            end = to_program(e);
            return;
        }
        QTextCursor c = text_->textCursor();
        start = to_program(c.selectionStart());
        end = to_program(c.selectionEnd());
    }
    void set_sel(int start, int end) {
        int len = static_cast<int>(program_text().size());
        if (start == -1) { // remove the selection, keep the caret
            int s, e;
            get_sel(s, e);
            start = end = s;
        }
        if (end < 0 || end > len) end = len;
        if (start < 0 || start > len) start = len;
        int qs_ = to_qt(start), qe = to_qt(end);
        if (line_) {
            line_->setSelection(qs_, qe - qs_);
        } else {
            QTextCursor c = text_->textCursor();
            c.setPosition(qs_);
            c.setPosition(qe, QTextCursor::KeepAnchor);
            text_->setTextCursor(c);
        }
    }
    void replace_sel(const char* text) {
        QString q = to_widget(text);
        if (line_)
            line_->insert(q);
        else
            text_->textCursor().insertText(q);
    }
    QStringList lines() const {
        if (line_) return {line_->text()};
        return text_->toPlainText().split(QLatin1Char('\n'));
    }
    int line_from_char(int pos) const { // program position
        if (line_) return 0;
        if (pos < 0) {
            int s, e;
            get_sel(s, e);
            pos = s;
        }
        return text_->document()->findBlock(to_qt(pos)).blockNumber();
    }
    int line_index(int line) const { // program position of a line's start
        if (line_) return line <= 0 ? 0 : -1;
        if (line < 0) line = text_->textCursor().blockNumber();
        QTextBlock b = text_->document()->findBlockByNumber(line);
        if (!b.isValid()) return -1;
        return to_program(b.position());
    }
    void scroll_caret() {
        if (text_) text_->ensureCursorVisible();
    }
    int first_visible_line() const {
        if (line_) return 0;
        return text_->verticalScrollBar() ? text_->verticalScrollBar()->value() : 0;
    }
    void line_scroll(int lines) {
        if (text_ && text_->verticalScrollBar())
            text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->value() + lines);
    }
    void set_limit(int n) {
        limit = n <= 0 ? 0x7FFFFFFE : n;
        if (line_) line_->setMaxLength(std::min(limit, 0x7FFFFFFE));
    }
    bool can_undo() const {
        return line_ ? line_->isUndoAvailable() : text_->document()->isUndoAvailable();
    }
    void undo() {
        if (line_)
            line_->undo();
        else
            text_->undo();
    }
    void clear_undo() {
        if (text_) text_->document()->clearUndoRedoStacks();
        if (line_) {
            int s, e;
            get_sel(s, e);
            QString t = line_->text();
            ++quiet;
            line_->setText(t); // setText clears the undo history
            --quiet;
            set_sel(s, e);
        }
    }
    void set_password_char(int ch) {
        if (line_) line_->setEchoMode(ch ? QLineEdit::Password : QLineEdit::Normal);
    }

protected:
    // A character refused because the field is full: EN_MAXTEXT.
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == line_ && e->type() == QEvent::KeyPress && !line_->isReadOnly()) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (!k->text().isEmpty() && k->text()[0].isPrint() && !line_->hasSelectedText() &&
                line_->text().size() >= line_->maxLength())
                guarded([&] { notify(hwnd_, EN_MAXTEXT); });
        }
        return false;
    }

private:
    void changed() {
        if (quiet) {
            if (line_) accepted_ = {line_->text(), static_cast<int>(line_->cursorPosition())};
            return;
        }
        // The limit counts the program's bytes; Qt's own limit counts
        // characters and so lets a change with wider characters through.
        if (line_ && static_cast<int>(bytes(line_->text()).size()) > limit &&
            bytes(line_->text()).size() > bytes(accepted_.text).size()) {
            auto back = accepted_;
            ++quiet;
            line_->setText(back.text);
            line_->setCursorPosition(back.cursor);
            --quiet;
            accepted_ = back;
            guarded([&] { notify(hwnd_, EN_MAXTEXT); });
            return;
        }
        DWORD st = style_of(hwnd_);
        if (line_ && (st & (ES_UPPERCASE | ES_LOWERCASE))) {
            QString t = line_->text();
            QString c = (st & ES_UPPERCASE) ? t.toUpper() : t.toLower();
            if (c != t) {
                int pos = static_cast<int>(line_->cursorPosition());
                ++quiet;
                line_->setText(c);
                line_->setCursorPosition(pos);
                --quiet;
            }
        }
        if (text_ && limit > 0 && text_->toPlainText().size() > limit) {
            ++quiet;
            text_->undo();
            --quiet;
            guarded([&] { notify(hwnd_, EN_MAXTEXT); });
            return;
        }
        modified = true;
        if (line_) accepted_ = {line_->text(), static_cast<int>(line_->cursorPosition())};
        std::string t = program_text();
        guarded([&] {
            DefWindowProc(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
            notify(hwnd_, EN_UPDATE);
            notify(hwnd_, EN_CHANGE);
        });
    }
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    // The single-line text as last accepted, to go back to when a change
    // passes the limit.
    struct {
        QString text;
        int cursor = 0;
    } accepted_;
};

LRESULT copy_out(const std::string& text, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return 0;
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

LRESULT edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    take_focus_on_click(hwnd, message);
    if (common_message(hwnd, message, wparam, lparam, r)) return r;
    auto* w = widget_as<EditWidget>(hwnd);
    if (!w) return DefWindowProc(hwnd, message, wparam, lparam);
    switch (message) {
    case WM_NCCREATE: {
        LRESULT ok = DefWindowProc(hwnd, message, wparam, lparam);
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lparam);
        ++w->quiet;
        w->set_text(cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName) ? cs->lpszName : "");
        --w->quiet;
        std::string t = w->program_text();
        DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
        return ok;
    }
    case WM_SETTEXT: {
        auto* text = reinterpret_cast<const char*>(lparam);
        ++w->quiet;
        w->set_text(text);
        --w->quiet;
        std::string t = w->program_text();
        DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
        notify(hwnd, EN_UPDATE);
        notify(hwnd, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXT:
        return copy_out(w->program_text(), reinterpret_cast<char*>(lparam), wparam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->program_text().size());
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        // A multi-line field with ES_WANTRETURN keeps Enter for itself.
        auto* msg = reinterpret_cast<const MSG*>(lparam);
        if (w->multi && (style_of(hwnd) & ES_WANTRETURN) && msg && msg->message == WM_KEYDOWN &&
            msg->wParam == static_cast<WPARAM>(VK_RETURN))
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_SETFOCUS:
        notify(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        notify(hwnd, EN_KILLFOCUS);
        return 0;
    case EM_GETSEL: {
        int s, e;
        w->get_sel(s, e);
        if (wparam) *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(s);
        if (lparam) *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(e);
        return MAKELONG(static_cast<WORD>(std::min(s, 0xFFFF)),
                        static_cast<WORD>(std::min(e, 0xFFFF)));
    }
    case EM_SETSEL:
        w->set_sel(static_cast<int>(static_cast<LONG>(wparam)),
                   static_cast<int>(static_cast<LONG>(lparam)));
        return 0;
    case EM_REPLACESEL: {
        auto* text = reinterpret_cast<const char*>(lparam);
        w->replace_sel(text ? text : ""); // EN_CHANGE by the widget's signal
        return 0;
    }
    case EM_GETMODIFY:
        return w->modified ? TRUE : FALSE;
    case EM_SETMODIFY:
        w->modified = wparam != 0;
        return 0;
    case EM_GETLINECOUNT:
        return static_cast<LRESULT>(w->lines().size());
    case EM_LINEINDEX:
        return w->line_index(static_cast<int>(static_cast<LONG>(wparam)));
    case EM_LINEFROMCHAR:
        return w->line_from_char(static_cast<int>(static_cast<LONG>(wparam)));
    case EM_LINELENGTH: {
        int pos = static_cast<int>(static_cast<LONG>(wparam));
        int line = w->line_from_char(pos);
        QStringList l = w->lines();
        return line >= 0 && line < l.size() ? static_cast<LRESULT>(bytes(l[line]).size()) : 0;
    }
    case EM_GETLINE: {
        // The buffer's first word gives its size; the line is not terminated.
        auto* buffer = reinterpret_cast<char*>(lparam);
        QStringList l = w->lines();
        int line = static_cast<int>(wparam);
        if (!buffer || line < 0 || line >= l.size()) return 0;
        WORD size = 0;
        std::memcpy(&size, buffer, sizeof size);
        std::string t = bytes(l[line]);
        std::size_t n = std::min<std::size_t>(t.size(), size);
        std::memcpy(buffer, t.data(), n);
        return static_cast<LRESULT>(n);
    }
    case EM_LIMITTEXT:
        w->set_limit(static_cast<int>(wparam));
        return 0;
    case EM_GETLIMITTEXT:
        return w->limit;
    case EM_SETREADONLY:
        w->set_read_only(wparam != 0);
        SetWindowLong(hwnd, GWL_STYLE,
                      static_cast<LONG>(wparam ? (style_of(hwnd) | ES_READONLY)
                                               : (style_of(hwnd) & ~ES_READONLY)));
        return TRUE;
    case EM_SCROLLCARET:
        w->scroll_caret();
        return TRUE;
    case EM_GETFIRSTVISIBLELINE:
        return w->first_visible_line();
    case EM_LINESCROLL:
        w->line_scroll(static_cast<int>(static_cast<LONG>(lparam)));
        return TRUE;
    case EM_CANUNDO:
        return w->can_undo() ? TRUE : FALSE;
    case EM_UNDO:
    case WM_UNDO:
        w->undo();
        return TRUE;
    case EM_EMPTYUNDOBUFFER:
        w->clear_undo();
        return 0;
    case EM_SETPASSWORDCHAR:
        w->set_password_char(static_cast<int>(wparam));
        return 0;
    case EM_GETPASSWORDCHAR:
        return (style_of(hwnd) & ES_PASSWORD) ? '*' : 0;
    case EM_SETTABSTOPS:
        return TRUE;
    case EM_SETMARGINS:
        return 0;
    case WM_CLEAR:
        w->replace_sel("");
        return 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

} // namespace

void register_edit() {
    register_class(WC_EDIT, edit_proc,
                   [](HWND hwnd, QWidget* parent) { return new EditWidget(hwnd, parent); });
}

} // namespace ctl
