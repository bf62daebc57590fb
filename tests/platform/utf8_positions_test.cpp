// The program's text is UTF-8: the drawing calls decode it and count its
// bytes where they count characters, and edit fields and combo boxes give and
// take positions in its bytes.
#include "dlg_fixture.h"

#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>

#include <cstring>
#include <string>
#include <vector>

using namespace dlgtest;

namespace {

// "Bevölkerung" with a two-byte, then a three-byte (euro sign) and a
// four-byte character (a musical G clef).
const std::string word = "Bev\xc3\xb6lkerung";
const std::string mixed = "Bev\xc3\xb6lkerung \xe2\x82\xac \xf0\x9d\x84\x9e!";

// With an 18-pixel DejaVu Sans selected.
struct Canvas : ImageCanvas {
    HFONT font = CreateFont(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                            VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
    Canvas() : ImageCanvas(320, 60, true) { SelectObject(dc, font); }
    ~Canvas() {
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
};

int len(const std::string& s) {
    return static_cast<int>(s.size());
}

TEST(Utf8Text, DrawnAndMeasuredAsCharactersNotAsCodePageBytes) {
    // The same words in UTF-8 and in the old single-byte code page (still
    // read so: bytes that start no UTF-8 character) draw alike.
    const std::string code_page = "Bev\xf6lkerung \x80";
    const std::string utf8 = word + " \xe2\x82\xac";
    Canvas a, b;
    ASSERT_TRUE(TextOut(a.dc, 4, 4, utf8.data(), len(utf8)));
    ASSERT_TRUE(TextOut(b.dc, 4, 4, code_page.data(), len(code_page)));
    EXPECT_TRUE(a.inked());
    EXPECT_EQ(a.img, b.img);
    SIZE su{}, sc{};
    GetTextExtentPoint32(a.dc, utf8.data(), len(utf8), &su);
    GetTextExtentPoint32(a.dc, code_page.data(), len(code_page), &sc);
    EXPECT_EQ(su.cx, sc.cx);
    // The widths of the characters by code point add up to the extent.
    int widths[3] = {};
    ASSERT_TRUE(GetCharWidth32(a.dc, 0xF6, 0xF6, widths));
    ASSERT_TRUE(GetCharWidth32(a.dc, 0x20AC, 0x20AC, widths + 1));
    int sum = widths[0] + widths[1];
    for (char c : std::string("Bevlkerung ")) {
        int w = 0;
        GetCharWidth32(a.dc, static_cast<unsigned char>(c), static_cast<unsigned char>(c), &w);
        sum += w;
    }
    EXPECT_NEAR(sum, su.cx, 2);
}

TEST(Utf8Text, ExtentsAndFitCountTheProgramsBytes) {
    Canvas c;
    std::vector<int> dx(mixed.size(), -1);
    int fit = -1;
    SIZE whole{};
    ASSERT_TRUE(
        GetTextExtentExPoint(c.dc, mixed.data(), len(mixed), 100000, &fit, dx.data(), &whole));
    EXPECT_EQ(fit, len(mixed));
    EXPECT_EQ(dx.back(), whole.cx);
    // Every byte of a character has the extent to the character's end.
    EXPECT_EQ(dx[3], dx[4]);   // the ö
    EXPECT_EQ(dx[13], dx[15]); // the euro sign
    std::size_t clef = mixed.find("\xf0");
    EXPECT_EQ(dx[clef], dx[clef + 3]);
    EXPECT_GT(dx[clef], dx[clef - 1]);
    for (std::size_t i = 1; i < dx.size(); ++i) EXPECT_GE(dx[i], dx[i - 1]) << i;
    // Only whole characters fit: between the start and the end of the clef,
    // the text up to the blank before it fits.
    ASSERT_TRUE(
        GetTextExtentExPoint(c.dc, mixed.data(), len(mixed), dx[clef] - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, static_cast<int>(clef));
    ASSERT_TRUE(
        GetTextExtentExPoint(c.dc, mixed.data(), len(mixed), dx[3] - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 3);

    // Spacings per byte, from those extents, draw the text as TextOut does.
    std::vector<int> spacing(dx.size());
    for (std::size_t i = 0; i < dx.size(); ++i) spacing[i] = dx[i] - (i ? dx[i - 1] : 0);
    Canvas plain, spaced;
    TextOut(plain.dc, 4, 4, mixed.data(), len(mixed));
    ExtTextOut(spaced.dc, 4, 4, 0, nullptr, mixed.data(), static_cast<UINT>(mixed.size()),
               spacing.data());
    EXPECT_TRUE(plain.inked());
    // Rounded logical spacings may move a glyph by a pixel; the ink agrees
    // nearly everywhere.
    int differ = 0;
    for (int y = 0; y < plain.img.height(); ++y)
        for (int x = 0; x < plain.img.width(); ++x)
            if (plain.img.pixel(x, y) != spaced.img.pixel(x, y)) ++differ;
    EXPECT_LT(differ, 120);
}

TEST(Utf8Text, DrawTextDrawsWhatTextOutDraws) {
    Canvas a, b;
    RECT r{4, 4, 316, 56};
    RECT calc = r;
    DrawText(a.dc, mixed.data(), len(mixed), &calc, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    SIZE sz{};
    GetTextExtentPoint32(a.dc, mixed.data(), len(mixed), &sz);
    EXPECT_NEAR(calc.right - calc.left, sz.cx, 1);
    DrawText(a.dc, mixed.data(), len(mixed), &r, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    TextOut(b.dc, 4, 4, mixed.data(), len(mixed));
    EXPECT_TRUE(a.inked());
    EXPECT_EQ(a.img, b.img);
}

class Utf8Controls : public DlgTest {
protected:
    HWND open(std::vector<DialogItem> items) {
        DialogTemplate t;
        t.caption = "Text";
        t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
        t.cx = 220;
        t.cy = 120;
        t.items = std::move(items);
        dialog = CreateDialogIndirectParam(nullptr, &t, nullptr, CALLBACK_proc, 0);
        EXPECT_NE(dialog, nullptr);
        notes().clear();
        return dialog;
    }
    std::pair<DWORD, DWORD> sel(int id, UINT msg = EM_GETSEL) {
        DWORD s = 0, e = 0;
        SendDlgItemMessage(dialog, id, msg, reinterpret_cast<WPARAM>(&s),
                           reinterpret_cast<LPARAM>(&e));
        return {s, e};
    }
    std::string text(int id) {
        char buf[256];
        GetDlgItemText(dialog, id, buf, sizeof buf);
        return buf;
    }
    HWND dialog = nullptr;
};

using Sel = std::pair<DWORD, DWORD>;

TEST_F(Utf8Controls, EditPositionsCountBytes) {
    constexpr DWORD vis = WS_CHILD | WS_VISIBLE | WS_BORDER;
    open({{WC_EDIT, 30, mixed.c_str(), vis | ES_AUTOHSCROLL, 5, 5, 200, 12},
          {WC_EDIT, 31, nullptr, vis | ES_MULTILINE | WS_VSCROLL, 5, 25, 200, 60}});
    // The ö is bytes 3-4; after it the positions run one ahead of the
    // characters, after the euro sign three, after the clef six.
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 3, 5);
    EXPECT_EQ(sel(30), Sel(3, 5));
    SendDlgItemMessage(dialog, 30, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\xc3\xa4"));
    EXPECT_EQ(text(30).substr(0, 6), "Bev\xc3\xa4l");
    EXPECT_EQ(sel(30), Sel(5, 5));
    std::size_t clef = mixed.find("\xf0");
    SendDlgItemMessage(dialog, 30, EM_SETSEL, clef, clef + 4);
    SendDlgItemMessage(dialog, 30, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("G"));
    EXPECT_EQ(text(30), "Bev\xc3\xa4lkerung \xe2\x82\xac G!");
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 0, -1);
    EXPECT_EQ(sel(30), Sel(0, static_cast<DWORD>(text(30).size())));
    // A position inside a character means its start.
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 14, 14);
    EXPECT_EQ(sel(30), Sel(13, 13));

    // Multi-line: CR LF is two, the characters their bytes.
    SetDlgItemText(dialog, 31,
                   "\xc3\xb6\r\n\xe2\x82\xac"
                   "ab\r\n\xf0\x9d\x84\x9e");
    EXPECT_EQ(SendDlgItemMessage(dialog, 31, EM_LINEINDEX, 1, 0), 4);
    EXPECT_EQ(SendDlgItemMessage(dialog, 31, EM_LINEINDEX, 2, 0), 11);
    EXPECT_EQ(SendDlgItemMessage(dialog, 31, EM_LINELENGTH, 4, 0), 5);
    EXPECT_EQ(SendDlgItemMessage(dialog, 31, EM_LINELENGTH, 11, 0), 4);
    EXPECT_EQ(SendDlgItemMessage(dialog, 31, EM_LINEFROMCHAR, 12, 0), 2);
    SendDlgItemMessage(dialog, 31, EM_SETSEL, 7, 9);
    EXPECT_EQ(sel(31), Sel(7, 9));
    SendDlgItemMessage(dialog, 31, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\xc3\x9f"));
    EXPECT_EQ(text(31), "\xc3\xb6\r\n\xe2\x82\xac\xc3\x9f\r\n\xf0\x9d\x84\x9e");
    EXPECT_EQ(sel(31), Sel(9, 9));
}

TEST_F(Utf8Controls, EditLimitCountsBytes) {
    open({{WC_EDIT, 30, "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 200, 12}});
    SendDlgItemMessage(dialog, 30, EM_LIMITTEXT, 5, 0);
    auto* edit = win_widget(GetDlgItem(dialog, 30))->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    // Typed (inserted by the widget, as a key or a paste would): two ö fit
    // in five bytes, a third does not, an ASCII letter does.
    edit->insert(QString::fromUtf8("\xc3\xb6\xc3\xb6"));
    EXPECT_EQ(text(30), "\xc3\xb6\xc3\xb6");
    notes().clear();
    edit->insert(QString::fromUtf8("\xc3\xb6"));
    EXPECT_EQ(text(30), "\xc3\xb6\xc3\xb6");
    ASSERT_FALSE(codes_of(30).empty());
    EXPECT_EQ(codes_of(30).back(), EN_MAXTEXT);
    EXPECT_EQ(sel(30), Sel(4, 4));
    edit->insert("x");
    EXPECT_EQ(text(30), "\xc3\xb6\xc3\xb6x");
    // The program's own text is not cut.
    SetDlgItemText(dialog, 30, mixed.c_str());
    EXPECT_EQ(text(30), mixed);
}

TEST_F(Utf8Controls, ComboEditSelectionCountsBytes) {
    open({{WC_COMBOBOX, 40, nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 5, 5, 150, 60}});
    HWND combo = GetDlgItem(dialog, 40);
    SetWindowText(combo, word.c_str());
    SendMessage(combo, CB_SETEDITSEL, 0, MAKELPARAM(3, 5));
    EXPECT_EQ(sel(40, CB_GETEDITSEL), Sel(3, 5));
    auto* edit = win_widget(combo)->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->selectedText(), QString::fromUtf8("\xc3\xb6"));
    SendMessage(combo, CB_SETEDITSEL, 0, MAKELPARAM(5, -1));
    EXPECT_EQ(sel(40, CB_GETEDITSEL), Sel(5, static_cast<DWORD>(word.size())));
}

} // namespace
