// Static controls: text (left, centred, right, with or without word wrap,
// '&' mnemonics unless SS_NOPREFIX), icons, bitmaps, rectangles and frames,
// etched lines, and owner-drawn statics. Text takes its colours from the
// parent's WM_CTLCOLORSTATIC answer.
#include "platform/ctl_internal.h"
#include "platform/dlg.h"
#include "platform/gdi_internal.h"

#include <QApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace ctl {
namespace {

class StaticWidget final : public QWidget {
public:
    StaticWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
        setFocusPolicy(Qt::NoFocus);
    }
    HWND hwnd_;
    QString text;
    QPixmap picture;
    HANDLE image = nullptr; // the handle given by STM_SETIMAGE / STM_SETICON
    int standard_icon = 0;  // IDI_* of a standard icon

protected:
    void paintEvent(QPaintEvent*) override {
        DWORD st = style_of(hwnd_);
        DWORD type = st & SS_TYPEMASK;
        QPainter p(this);
        QRect r = rect();
        switch (type) {
        case SS_BLACKRECT:
            p.fillRect(r, Qt::black);
            return;
        case SS_GRAYRECT:
            p.fillRect(r, QColor(128, 128, 128));
            return;
        case SS_WHITERECT:
            p.fillRect(r, Qt::white);
            return;
        case SS_BLACKFRAME:
        case SS_GRAYFRAME:
        case SS_WHITEFRAME:
            p.setPen(type == SS_BLACKFRAME  ? QColor(Qt::black)
                     : type == SS_GRAYFRAME ? QColor(128, 128, 128)
                                            : QColor(Qt::white));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            return;
        case SS_ETCHEDHORZ:
            p.setPen(QColor(128, 128, 128));
            p.drawLine(0, 0, width() - 1, 0);
            p.setPen(Qt::white);
            p.drawLine(0, 1, width() - 1, 1);
            return;
        case SS_ETCHEDVERT:
            p.setPen(QColor(128, 128, 128));
            p.drawLine(0, 0, 0, height() - 1);
            p.setPen(Qt::white);
            p.drawLine(1, 0, 1, height() - 1);
            return;
        case SS_ETCHEDFRAME:
            p.setPen(QColor(128, 128, 128));
            p.drawRect(r.adjusted(0, 0, -2, -2));
            p.setPen(Qt::white);
            p.drawRect(r.adjusted(1, 1, -1, -1));
            return;
        case SS_OWNERDRAW: {
            QImage image(size(), QImage::Format_RGB32);
            image.fill(palette().window().color());
            DRAWITEMSTRUCT di{};
            di.CtlType = ODT_STATIC;
            di.itemAction = ODA_DRAWENTIRE;
            di.itemState = isEnabled() ? 0 : ODS_DISABLED;
            di.rcItem = {0, 0, width(), height()};
            guarded([&] { owner_draw(hwnd_, image, di); });
            p.drawImage(0, 0, image);
            return;
        }
        case SS_ICON:
        case SS_BITMAP: {
            QPixmap pm = picture;
            if (pm.isNull() && standard_icon) {
                QStyle::StandardPixmap sp = QStyle::SP_MessageBoxInformation;
                switch (standard_icon) {
                case IDI_HAND_ID:
                    sp = QStyle::SP_MessageBoxCritical;
                    break;
                case IDI_QUESTION_ID:
                    sp = QStyle::SP_MessageBoxQuestion;
                    break;
                case IDI_EXCLAMATION_ID:
                    sp = QStyle::SP_MessageBoxWarning;
                    break;
                default:
                    break;
                }
                pm = QApplication::style()->standardIcon(sp).pixmap(32, 32);
            }
            if (pm.isNull()) return;
            if (st & SS_CENTERIMAGE)
                p.drawPixmap((width() - pm.width()) / 2, (height() - pm.height()) / 2, pm);
            else
                p.drawPixmap(0, 0, pm);
            return;
        }
        default:
            break;
        }
        Colours c;
        guarded([&] { c = ask_colours(hwnd_, WM_CTLCOLORSTATIC); });
        if (c.valid && !c.transparent) p.fillRect(r, c.background);
        p.setPen(c.valid ? c.text
                         : palette().color(isEnabled() ? QPalette::WindowText : QPalette::Mid));
        p.setFont(font());
        int flags = (st & SS_NOPREFIX) ? 0 : Qt::TextShowMnemonic;
        switch (type) {
        case SS_CENTER:
            flags |= Qt::AlignHCenter | Qt::TextWordWrap;
            break;
        case SS_RIGHT:
            flags |= Qt::AlignRight | Qt::TextWordWrap;
            break;
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            flags |= Qt::AlignLeft;
            break;
        default:
            flags |= Qt::AlignLeft | Qt::TextWordWrap;
            break;
        }
        if (st & SS_CENTERIMAGE)
            flags |= Qt::AlignVCenter;
        else
            flags |= Qt::AlignTop;
        p.drawText(r, flags | Qt::TextExpandTabs, text);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (style_of(hwnd_) & SS_NOTIFY) guarded([&] { notify(hwnd_, STN_CLICKED); });
        e->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (style_of(hwnd_) & SS_NOTIFY) guarded([&] { notify(hwnd_, STN_DBLCLK); });
        e->accept();
    }
};

LRESULT static_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT r = 0;
    if (common_message(hwnd, message, wparam, lparam, r)) return r;
    auto* w = widget_as<StaticWidget>(hwnd);
    switch (message) {
    case WM_NCCREATE: {
        LRESULT ok = DefWindowProc(hwnd, message, wparam, lparam);
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lparam);
        if (w && cs && cs->lpszName) {
            if (IS_INTRESOURCE(cs->lpszName)) {
                auto id = static_cast<int>(reinterpret_cast<std::uintptr_t>(cs->lpszName));
                if (id >= IDI_APPLICATION_ID && id <= IDI_ASTERISK_ID) w->standard_icon = id;
            } else {
                w->text = qs(cs->lpszName);
            }
        }
        return ok;
    }
    case WM_SETTEXT: {
        DefWindowProc(hwnd, message, wparam, lparam);
        auto* text = reinterpret_cast<const char*>(lparam);
        if (w) {
            w->text = qs(text ? text : "");
            w->update();
        }
        return TRUE;
    }
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_NCHITTEST:
        if (!(style_of(hwnd) & SS_NOTIFY)) return HTTRANSPARENT;
        break;
    case STM_SETIMAGE:
    case STM_SETICON: {
        if (!w) return 0;
        HANDLE old = w->image;
        HANDLE h = message == STM_SETICON ? reinterpret_cast<HANDLE>(wparam)
                                          : reinterpret_cast<HANDLE>(lparam);
        w->image = h;
        w->picture = QPixmap();
        if (message == STM_SETIMAGE && wparam == IMAGE_BITMAP && h) {
            QImage img = gdi_bitmap_image(static_cast<HBITMAP>(h));
            if (img.isNull())
                ui_fail("STM_SETIMAGE: the bitmap handle is not valid");
            else
                w->picture = QPixmap::fromImage(img);
        }
        w->update();
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
    case STM_GETICON:
        return w ? reinterpret_cast<LRESULT>(w->image) : 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wparam, lparam);
}

} // namespace

void register_static() {
    register_class(WC_STATIC, static_proc, [](HWND hwnd, QWidget* parent) {
        auto* w = new StaticWidget(hwnd, parent);
        // Without SS_NOTIFY a static is transparent to the mouse.
        if (!(style_of(hwnd) & SS_NOTIFY)) w->setAttribute(Qt::WA_TransparentForMouseEvents);
        return w;
    });
}

} // namespace ctl
