// Static controls as a user sees them: texts on the left, centred or on the
// right as their style says, grey and black rectangles in their colours, a
// picture replaced by another hands the old one back, and only a static
// that asks to be told reports clicks and double clicks.
#include "dlg_fixture.h"

#include "platform/gdi.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <algorithm>

using namespace dlgtest;
namespace td = test_driver;

namespace {

class Statics : public ItemDialogTest {
protected:
    Statics() : ItemDialogTest("Statics") {}
    QImage shot(int id) {
        QWidget* w = win_widget(item(id));
        return w ? w->grab().toImage() : QImage();
    }
    // The first and last columns holding dark pixels.
    std::pair<int, int> ink_columns(const QImage& img) {
        int first = img.width(), last = -1;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (qGray(img.pixel(x, y)) < 100) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return {first, last};
    }
};

TEST_F(Statics, TextsStandWhereTheirStyleSays) {
    open({{WC_STATIC, 71, "Left", vis | SS_LEFT, 5, 5, 150, 10},
          {WC_STATIC, 72, "Centre", vis | SS_CENTER, 5, 20, 150, 10},
          {WC_STATIC, 73, "Right", vis | SS_RIGHT, 5, 35, 150, 10}});
    pump();
    const QImage left = shot(71), centre = shot(72), right = shot(73);
    ASSERT_FALSE(left.isNull());
    const int w = left.width();
    const auto [l0, l1] = ink_columns(left);
    const auto [c0, c1] = ink_columns(centre);
    const auto [r0, r1] = ink_columns(right);
    ASSERT_LE(l0, l1);
    ASSERT_LE(c0, c1);
    ASSERT_LE(r0, r1);
    EXPECT_LT(l0, 4);                         // at the left edge
    EXPECT_GT(r1, w - 5);                     // at the right edge
    EXPECT_NEAR((c0 + c1) / 2.0, w / 2.0, 4); // about the middle
    EXPECT_GT(r0, w / 2);
    EXPECT_LT(l1, w / 2);
}

TEST_F(Statics, RectanglesInTheirColours) {
    open({{WC_STATIC, 74, nullptr, vis | SS_BLACKRECT, 5, 5, 20, 10},
          {WC_STATIC, 75, nullptr, vis | SS_GRAYRECT, 30, 5, 20, 10},
          {WC_STATIC, 76, nullptr, vis | SS_WHITERECT, 55, 5, 20, 10}});
    pump();
    auto middle = [&](int id) {
        const QImage img = shot(id);
        return QColor(img.pixel(img.width() / 2, img.height() / 2));
    };
    EXPECT_EQ(middle(74), QColor(0, 0, 0));
    EXPECT_EQ(middle(75), QColor(128, 128, 128)); // the system's grey
    EXPECT_EQ(middle(76), QColor(255, 255, 255));
}

TEST_F(Statics, ANewPictureHandsTheOldOneBack) {
    open({{WC_STATIC, 77, nullptr, vis | SS_BITMAP, 5, 5, 40, 40}});
    HDC screen = GetDC(nullptr);
    HBITMAP one = CreateCompatibleBitmap(screen, 8, 8), two = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(
        SendDlgItemMessage(dialog, 77, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(one)),
        0);
    EXPECT_EQ(
        SendDlgItemMessage(dialog, 77, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(two)),
        reinterpret_cast<LRESULT>(one));
    EXPECT_EQ(SendDlgItemMessage(dialog, 77, STM_GETIMAGE, IMAGE_BITMAP, 0),
              reinterpret_cast<LRESULT>(two));
    DestroyWindow(dialog);
    dialog = nullptr;
    DeleteObject(one);
    DeleteObject(two);
}

TEST_F(Statics, OnlyAStaticThatAsksReportsClicks) {
    open({{WC_STATIC, 78, "Told", vis | SS_LEFT | SS_NOTIFY, 5, 5, 60, 12},
          {WC_STATIC, 79, "Quiet", vis | SS_LEFT, 5, 25, 60, 12}});
    td::click(item(78), 5, 5);
    pump();
    td::double_click(item(78), 5, 5);
    pump();
    const std::vector<int> told = codes_of(78);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), STN_CLICKED);
    EXPECT_EQ(told.back(), STN_DBLCLK);
    EXPECT_EQ(std::count(told.begin(), told.end(), STN_DBLCLK), 1);
    td::click(item(79), 5, 5);
    pump();
    EXPECT_TRUE(codes_of(79).empty());
}

} // namespace
