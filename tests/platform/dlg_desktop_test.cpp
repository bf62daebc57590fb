// What a person sees of dialogs, message boxes and their controls on a
// desktop: boxes belong to their owner at the window-system level, keep their
// size, wrap long texts; drop-down boxes stay one line high and give Escape
// to their open list; list boxes scroll from their first fill; texts beyond
// ASCII survive the way to Qt and back.
#include "dlg_fixture.h"

#include "platform/msgbox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace dlgtest;
namespace td = test_driver;

namespace {

const char* const population = "Bev\xc3\xb6lkerung"; // UTF-8

class Desktop : public DlgTest {
protected:
    // Runs a modal dialog of `items`; `inside` is called once it is up.
    INT_PTR run(std::vector<DialogItem> items, std::function<void(HWND)> inside,
                DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                HWND owner = nullptr) {
        DialogTemplate t;
        t.caption = "Desktop";
        t.style = style;
        t.cx = 200;
        t.cy = 120;
        t.items = std::move(items);
        td::on_idle([inside] {
            std::vector<HWND> stack = dlg_modal_stack();
            ASSERT_FALSE(stack.empty());
            inside(stack.back());
        });
        return DialogBoxIndirectParam(nullptr, &t, owner, CALLBACK_proc, 0);
    }
    static void end(HWND dlg) { EndDialog(dlg, IDOK); }
};

TEST_F(Desktop, BoxesAndDialogsAreTransientForTheirOwnerAndGiveTheActivationBack) {
    HWND owner = make_owner();
    td::run_until_idle();
    QWidget* ow = win_widget(owner);
    ASSERT_NE(ow, nullptr);
    bool seen = false;
    td::on_idle([&] {
        HWND box = dlg_modal_stack().back();
        QWidget* bw = win_widget(box);
        ASSERT_NE(bw, nullptr);
        // A dialog to the window manager, kept above its owner's window.
        EXPECT_EQ(bw->windowType(), Qt::Dialog);
        EXPECT_EQ(bw->parentWidget(), ow);
        ASSERT_NE(bw->windowHandle(), nullptr);
        EXPECT_EQ(bw->windowHandle()->transientParent(), ow->windowHandle());
        EXPECT_EQ(GetActiveWindow(), box);
        EXPECT_FALSE(IsWindowEnabled(owner));
        seen = true;
        td::press_key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(owner, "Saved.", "Kavrel", MB_OK), IDOK);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);

    // A dialog from a template, and a box over it: each belongs to the one
    // below it.
    seen = false;
    run(
        {{WC_BUTTON, IDOK, "OK", vis | BS_DEFPUSHBUTTON, 10, 10, 50, 14}},
        [&](HWND dlg) {
            QWidget* dw = win_widget(dlg);
            EXPECT_EQ(dw->windowType(), Qt::Dialog);
            EXPECT_EQ(dw->parentWidget(), ow);
            td::on_idle([&, dw] {
                QWidget* bw = win_widget(dlg_modal_stack().back());
                EXPECT_EQ(bw->parentWidget(), dw);
                seen = true;
                td::press_key(VK_RETURN);
            });
            MessageBox(dlg, "Over the dialog", "Kavrel", MB_OK);
            EXPECT_EQ(GetActiveWindow(), dlg);
            end(dlg);
        },
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, owner);
    EXPECT_TRUE(seen);
}

TEST_F(Desktop, DialogsKeepTheirSizeUnlessTheyHaveASizingFrame) {
    auto fixed = [](QWidget* w) { return w->minimumSize() == w->maximumSize(); };
    run({}, [&](HWND dlg) {
        QWidget* w = win_widget(dlg);
        EXPECT_TRUE(fixed(w));
        RECT r;
        GetWindowRect(dlg, &r);
        EXPECT_EQ(w->maximumSize(), QSize(r.right - r.left, r.bottom - r.top));
        // The program may still size it.
        MoveWindow(dlg, r.left, r.top, 300, 220, TRUE);
        EXPECT_EQ(w->size(), QSize(300, 220));
        EXPECT_TRUE(fixed(w));
        end(dlg);
    });
    run(
        {},
        [&](HWND dlg) {
            EXPECT_FALSE(fixed(win_widget(dlg)));
            end(dlg);
        },
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME);
}

TEST_F(Desktop, LongMessagesWrapAtAReadableWidth) {
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "The model could not be opened because a file is missing. ";
    int lines = 0;
    td::on_idle([&] {
        HWND box = dlg_modal_stack().back();
        RECT r;
        GetWindowRect(box, &r);
        // Sixty average characters of the dialog font, plus margins and icon.
        EXPECT_LT(r.right - r.left, 520);
        EXPECT_GT(r.right - r.left, 250);
        HWND label = GetDlgItem(box, 0xFFFF);
        ASSERT_NE(label, nullptr);
        RECT lr;
        GetClientRect(label, &lr);
        lines = lr.bottom / QFontMetrics(win_widget(label)->font()).height();
        td::press_key(VK_RETURN);
    });
    MessageBox(nullptr, text.c_str(), "Kavrel", MB_OK | MB_ICONEXCLAMATION);
    EXPECT_GE(lines, 8);
}

TEST_F(Desktop, ADropDownBoxIsOneLineHighWhateverHeightItIsGiven) {
    run({{WC_COMBOBOX, 20, nullptr, vis | CBS_DROPDOWNLIST | WS_VSCROLL, 10, 10, 120, 90},
         {WC_LISTBOX, 21, nullptr, vis | WS_BORDER, 10, 30, 120, 60}},
        [&](HWND dlg) {
            HWND c = GetDlgItem(dlg, 20);
            RECT rc, dropped;
            GetWindowRect(c, &rc);
            int line = rc.bottom - rc.top;
            EXPECT_LT(line, 40);
            // A layout moving it with the list's extent, as a panel does.
            MoveWindow(c, 10, 10, 200, 180, TRUE);
            GetWindowRect(c, &rc);
            EXPECT_EQ(rc.bottom - rc.top, line);
            EXPECT_EQ(rc.right - rc.left, 200);
            SendMessage(c, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            EXPECT_EQ(dropped.bottom - dropped.top, 180);
            EXPECT_EQ(win_widget(c)->height(), line);
            // A new font gives a new line height, not a new list extent.
            SendMessage(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FONT)), TRUE);
            SendMessage(c, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            EXPECT_EQ(dropped.bottom - dropped.top, 180);
            end(dlg);
        });
}

TEST_F(Desktop, EscapeOnAnOpenListClosesTheListOnly) {
    bool still_open = false;
    INT_PTR r = run({{WC_COMBOBOX, 20, nullptr, vis | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL,
                      10, 10, 120, 90},
                     {WC_BUTTON, IDCANCEL, "Cancel", vis | WS_TABSTOP, 10, 40, 50, 14}},
                    [&](HWND dlg) {
                        HWND c = GetDlgItem(dlg, 20);
                        for (const char* t : {"Models", "Datasets"})
                            SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
                        SetFocus(c);
                        SendMessage(c, CB_SHOWDROPDOWN, TRUE, 0);
                        ASSERT_TRUE(SendMessage(c, CB_GETDROPPEDSTATE, 0, 0));
                        // The window system asks the open list first whether Escape is a
                        // shortcut; the answer must leave the key to the queue.
                        auto* combo = qobject_cast<QComboBox*>(win_widget(c));
                        ASSERT_NE(combo, nullptr);
                        QKeyEvent ask(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
                        QApplication::sendEvent(combo->view(), &ask);
                        EXPECT_TRUE(ask.isAccepted());
                        td::press_key(VK_ESCAPE);
                        td::on_idle([dlg, c, &still_open] {
                            still_open = IsWindow(dlg) && !SendMessage(c, CB_GETDROPPEDSTATE, 0, 0);
                            td::press_key(VK_ESCAPE); // now the dialog's Cancel
                        });
                    });
    EXPECT_TRUE(still_open);
    EXPECT_EQ(r, IDCANCEL);
}

TEST_F(Desktop, AListBoxScrollsFromItsFirstFill) {
    // Room for about sixteen and a half rows, filled before it is shown.
    DWORD list = vis | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT;
    run({{WC_LISTBOX, 30, nullptr, list, 5, 5, 150, 0},
         {WC_LISTBOX, 31, nullptr, list, 160, 5, 30, 40},
         {WC_LISTBOX, 32, nullptr, list | LBS_DISABLENOSCROLL, 160, 50, 30, 40},
         {WC_EDIT, 33, nullptr, vis | WS_BORDER | WS_TABSTOP, 5, 100, 60, 12}},
        [&](HWND dlg) {
            HWND l = GetDlgItem(dlg, 30);
            QWidget* w = win_widget(l);
            int row = static_cast<int>(SendMessage(l, LB_GETITEMHEIGHT, 0, 0));
            ASSERT_GT(row, 0);
            MoveWindow(l, 5, 5, 200, row * 33 / 2 + 2, TRUE);
            for (int i = 1; i <= 17; ++i) {
                std::string t = "model" + std::to_string(i) + ".kmf";
                SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
            }
            auto* bar = w->findChild<QScrollBar*>();
            ASSERT_NE(bar, nullptr);
            ASSERT_EQ(bar->orientation(), Qt::Vertical);
            EXPECT_TRUE(bar->isVisible());
            EXPECT_TRUE(bar->isEnabled());
            EXPECT_EQ(bar->maximum(), 1); // the half-shown 17th needs one step
            EXPECT_EQ(bar->value(), 0);
            EXPECT_EQ(bar->pageStep(), 16);
            // Never past the last entry.
            SendMessage(l, LB_SETTOPINDEX, 16, 0);
            EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), 1);
            EXPECT_EQ(bar->value(), 1);
            SendMessage(l, LB_SETTOPINDEX, 0, 0);
            // The wheel over the list scrolls it while the keyboard is in the
            // edit field.
            SetFocus(GetDlgItem(dlg, 33));
            td::wheel(l, 20, 20, -120);
            td::run_until_idle();
            EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), 1);
            EXPECT_EQ(bar->value(), 1);
            td::wheel(l, 20, 20, 120);
            td::run_until_idle();
            EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), 0);

            // A list that fits has no bar, unless it asks to keep a disabled one.
            for (int id : {31, 32})
                SendMessage(GetDlgItem(dlg, id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
            auto* fits = win_widget(GetDlgItem(dlg, 31))->findChild<QScrollBar*>();
            auto* kept = win_widget(GetDlgItem(dlg, 32))->findChild<QScrollBar*>();
            EXPECT_FALSE(fits->isVisible());
            EXPECT_TRUE(kept->isVisible());
            EXPECT_FALSE(kept->isEnabled());
            end(dlg);
        });
}

TEST_F(Desktop, TextsBeyondAsciiAreUtf8BothWays) {
    QString want = QString::fromUtf8(population);
    HWND owner = make_owner();
    SetWindowText(owner, population);
    EXPECT_EQ(win_widget(owner)->windowTitle(), want);
    run({{WC_STATIC, 40, population, vis | SS_LEFT, 5, 5, 100, 10},
         {WC_EDIT, 41, nullptr, vis | WS_BORDER, 5, 20, 100, 12},
         {WC_LISTBOX, 42, nullptr, vis | WS_BORDER | LBS_SORT, 5, 35, 100, 40},
         {WC_COMBOBOX, 43, nullptr, vis | CBS_DROPDOWNLIST, 5, 80, 100, 60}},
        [&](HWND dlg) {
            char buf[64];
            GetWindowText(GetDlgItem(dlg, 40), buf, sizeof buf);
            EXPECT_STREQ(buf, population);

            HWND e = GetDlgItem(dlg, 41);
            SetWindowText(e, population);
            auto* edit = win_widget(e)->findChild<QLineEdit*>();
            if (!edit) edit = qobject_cast<QLineEdit*>(win_widget(e));
            if (edit) {
                EXPECT_EQ(edit->text(), want);
                edit->setText(QString::fromUtf8("M\xc3\xbc"
                                                "ller"));
            }
            GetWindowText(e, buf, sizeof buf);
            EXPECT_STREQ(buf, edit ? "M\xc3\xbcller" : population);

            HWND l = GetDlgItem(dlg, 42);
            SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(population));
            SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Arbeit"));
            SendMessage(l, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf));
            EXPECT_STREQ(buf, population);
            EXPECT_EQ(SendMessage(l, LB_FINDSTRING, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>("bev\xc3\xb6")),
                      1);

            HWND c = GetDlgItem(dlg, 43);
            SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(population));
            EXPECT_EQ(qobject_cast<QComboBox*>(win_widget(c))->itemText(0), want);
            SendMessage(c, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf));
            EXPECT_STREQ(buf, population);
            EXPECT_EQ(SendMessage(c, CB_GETLBTEXTLEN, 0, 0),
                      static_cast<LRESULT>(std::strlen(population)));
            end(dlg);
        });
}

TEST_F(Desktop, FramedTopLevelWindowsStayOnTheWorkArea) {
    QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    HWND big =
        CreateWindowEx(0, "DlgTestOwner", "big", WS_OVERLAPPEDWINDOW, -300, -200,
                       work.width() + 600, work.height() + 400, nullptr, nullptr, nullptr, nullptr);
    if (!big) { // the class comes with make_owner
        DestroyWindow(make_owner());
        big = CreateWindowEx(0, "DlgTestOwner", "big", WS_OVERLAPPEDWINDOW, -300, -200,
                             work.width() + 600, work.height() + 400, nullptr, nullptr, nullptr,
                             nullptr);
    }
    ASSERT_NE(big, nullptr);
    RECT r;
    GetWindowRect(big, &r);
    EXPECT_TRUE(work.contains(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top)));
    // A window the program places half off the screen is brought on it when
    // made; a frameless pop-up goes where it is put.
    HWND off = CreateWindowEx(0, "DlgTestOwner", "off", WS_OVERLAPPEDWINDOW, work.right() - 100,
                              work.bottom() - 50, 300, 200, nullptr, nullptr, nullptr, nullptr);
    GetWindowRect(off, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_LE(r.right, work.left() + work.width());
    EXPECT_LE(r.bottom, work.top() + work.height());
    HWND popup = CreateWindowEx(0, "DlgTestOwner", "tip", WS_POPUP, -20, -20, 30, 30, nullptr,
                                nullptr, nullptr, nullptr);
    GetWindowRect(popup, &r);
    EXPECT_EQ(r.left, -20);
    // Restoring from maximised gives the place it had, on the screen.
    ShowWindow(off, SW_SHOWMAXIMIZED);
    ShowWindow(off, SW_RESTORE);
    GetWindowRect(off, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_TRUE(work.contains(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top)));
    // Too tall only: its height is cut to the work area's height, its width
    // kept; too wide only: the other way round.
    const int huge = work.width() + work.height();
    HWND tall = CreateWindowEx(0, "DlgTestOwner", "tall", WS_OVERLAPPEDWINDOW, 10, 10, 100, huge,
                               nullptr, nullptr, nullptr, nullptr);
    GetWindowRect(tall, &r);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, work.height());
    HWND wide = CreateWindowEx(0, "DlgTestOwner", "wide", WS_OVERLAPPEDWINDOW, 10, 10, huge, 100,
                               nullptr, nullptr, nullptr, nullptr);
    GetWindowRect(wide, &r);
    EXPECT_EQ(r.right - r.left, work.width());
    EXPECT_EQ(r.bottom - r.top, 100);
}

TEST_F(Desktop, ScreenshotOfAMessageBoxOverItsOwner) {
    HWND owner = make_owner();
    td::run_until_idle();
    QImage shot;
    td::on_idle([&] {
        td::run_until_idle();
        QApplication::processEvents();
        shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        td::press_key(VK_RETURN);
    });
    MessageBox(owner, "The run finished.", "Kavrel", MB_OK | MB_ICONASTERISK);
    ASSERT_FALSE(shot.isNull());
    QString path = QDir(QString::fromStdString(::testing::TempDir())).filePath("msgbox.png");
    EXPECT_TRUE(shot.save(path, "PNG"));
    // The box is centred over its owner and drawn on top of it: its face
    // colour at the centre of the owner, whose client area is white.
    RECT o;
    GetWindowRect(owner, &o);
    QPoint centre((o.left + o.right) / 2, (o.top + o.bottom) / 2);
    ASSERT_TRUE(shot.rect().contains(centre));
    QColor face(GetRValue(GetSysColor(COLOR_BTNFACE)), GetGValue(GetSysColor(COLOR_BTNFACE)),
                GetBValue(GetSysColor(COLOR_BTNFACE)));
    int face_pixels = 0;
    for (int dx = -40; dx <= 40; ++dx)
        if (shot.pixelColor(centre.x() + dx, o.top + 20) == Qt::white ||
            shot.pixelColor(centre + QPoint(dx, 0)) == face)
            ++face_pixels;
    EXPECT_GT(face_pixels, 40);
}

} // namespace
