// The retained static diagram of a sketch window: what the window shows is
// pixel for pixel what painting the view afresh gives, and the diagram is
// drawn again exactly when something it shows changed.
#include "sketch/livepaint.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "platform/gdi_internal.h"
#include "sketch/behave.h"
#include "sketch/drawsketch.h"
#include "tests/sketch/live_fixture.h"

namespace td = test_driver;

namespace {

// The painter's tint of a box gives the pixels of the raster operation, on
// any background, under a clip, and for a box partly off the image.
TEST(BehaviorTint, ThePainterTintMatchesTheRasterOperation) {
    QImage base(120, 90, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y)
        for (int x = 0; x < base.width(); ++x)
            base.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 13) & 255, (x * y) & 255));
    const QRegion clip = QRegion(0, 0, 70, 50) + QRegion(80, 60, 30, 20);
    for (COLORREF colour : {RGB(0, 64, 64), RGB(64, 64, 0)})
        for (const RECT& box : {RECT{10, 12, 60, 40}, RECT{50, 30, 130, 100}, RECT{-5, -5, 3, 3}}) {
            QImage painted = base.copy(), raster = base.copy();
            HDC a = gdi_create_image_dc(&painted, nullptr, clip);
            HDC b = gdi_create_image_dc(&raster, nullptr, clip);
            tint_behavior_box(a, colour, box.left, box.top, box.right, box.bottom, true);
            tint_behavior_box(b, colour, box.left, box.top, box.right, box.bottom, false);
            gdi_delete_image_dc(a);
            gdi_delete_image_dc(b);
            EXPECT_NE(painted, base);
            EXPECT_EQ(painted, raster) << box.left << "," << box.top;
        }
}

// A behaviour graph draws its two axes as one polyline: the same pixels as
// the two lines drawn one after the other, for boxes of any shape and place.
TEST(BehaviorAxes, OnePolylineDrawsWhatTwoLinesDraw) {
    for (const RECT& box : {RECT{5, 6, 60, 40}, RECT{-10, 20, 30, 85}, RECT{40, 40, 41, 42}}) {
        QImage lines(100, 90, QImage::Format_RGB32), poly(100, 90, QImage::Format_RGB32);
        lines.fill(Qt::white);
        poly.fill(Qt::white);
        HDC a = gdi_create_image_dc(&lines, nullptr, QRegion());
        HDC b = gdi_create_image_dc(&poly, nullptr, QRegion());
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 30, 30));
        HGDIOBJ old_a = SelectObject(a, pen), old_b = SelectObject(b, pen);
        MoveToEx(a, box.left, box.top, nullptr);
        LineTo(a, box.left, box.bottom);
        LineTo(a, box.right, box.bottom);
        const POINT axes[3] = {
            {box.left, box.top}, {box.left, box.bottom}, {box.right, box.bottom}};
        Polyline(b, axes, 3);
        SelectObject(a, old_a);
        SelectObject(b, old_b);
        DeleteObject(pen);
        gdi_delete_image_dc(a);
        gdi_delete_image_dc(b);
        QImage blank(100, 90, QImage::Format_RGB32);
        blank.fill(Qt::white);
        EXPECT_NE(poly, blank) << "nothing drawn";
        EXPECT_EQ(poly, lines) << box.left << "," << box.top;
    }
}

// The curves' rounding agrees with the library's everywhere, halves and the
// numbers either side of them included.
TEST(BehaviorRound, AgreesWithTheLibraryAtHalvesAndBetween) {
    for (double base = -3000.0; base <= 3000.0; base += 0.25)
        for (double x : {base, std::nextafter(base, -1e9), std::nextafter(base, 1e9)})
            ASSERT_EQ(behavior_round(x), std::lround(x)) << x;
    for (double x : {0.49999999999999994, -0.49999999999999994, 1e6 + 0.5, -1e6 - 0.5,
                     4503599627370495.5, -4503599627370495.5, 1e15 + 0.5})
        EXPECT_EQ(behavior_round(x), std::lround(x)) << x;
}

class RetainedSketch : public LiveSketch {
protected:
    // The view painted afresh into an image of the window's client size.
    QImage fresh(bool with_graphs) {
        RECT rc;
        GetClientRect(view_, &rc);
        QImage img(rc.right, rc.bottom, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
        paint_sketch(dc, *s_, rc);
        if (with_graphs) paint_behavior_graphs(dc, *s_);
        gdi_delete_image_dc(dc);
        return img;
    }
    QImage repaint() {
        InvalidateRect(view_, nullptr, FALSE);
        td::run_until_idle();
        return td::image(view_);
    }
};

TEST_F(RetainedSketch, TheWindowShowsWhatAFreshPaintGivesAsTheViewChanges) {
    QImage shown = repaint();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown, fresh(false));
    // Nothing changed: the diagram is copied, not drawn again.
    const long drawn = retained_sketch_redraws();
    EXPECT_EQ(repaint(), shown);
    EXPECT_EQ(retained_sketch_redraws(), drawn);

    // Each change of what the diagram shows draws it again.
    const sketch_elem* pop = variable("Population");
    ASSERT_NE(pop, nullptr);
    sketch_elem& moved = s_->view.elems[static_cast<std::size_t>(pop - &s_->view.elems[0])];
    moved.x += 17;
    EXPECT_EQ(repaint(), fresh(false)) << "an element moved";
    EXPECT_NE(repaint(), shown);
    moved.x -= 17;
    EXPECT_EQ(repaint(), shown) << "moved back";
    s_->zoom = 150;
    EXPECT_EQ(repaint(), fresh(false)) << "zoomed";
    s_->scroll_x += 23;
    s_->scroll_y += 11;
    EXPECT_EQ(repaint(), fresh(false)) << "scrolled";
    s_->view.rec.background = RGB(250, 240, 200);
    EXPECT_EQ(repaint(), fresh(false)) << "another background";
    // An element deeper than the depth shown goes and comes back with it.
    moved.level = static_cast<std::uint8_t>(5);
    s_->shown_level = max_level;
    const QImage deep = repaint();
    EXPECT_EQ(deep, fresh(false)) << "shown at every depth";
    s_->shown_level = 3;
    EXPECT_EQ(repaint(), fresh(false)) << "hidden at depth 3";
    EXPECT_NE(repaint(), deep);
    s_->shown_level = max_level;
    EXPECT_EQ(repaint(), deep) << "shown again";
    moved.level = 0;
    EXPECT_EQ(retained_sketch_redraws(), drawn + 8);

    // A window of another size gets a diagram of its size.
    MoveWindow(main_wnd, 0, 0, 900, 600, TRUE);
    layout_frame(main_wnd);
    td::run_until_idle();
    EXPECT_EQ(repaint(), fresh(false)) << "resized";
}

// A client that starts away from the window's corner (as a printed or
// copied part does) shows the diagram at the same place as painting afresh.
TEST_F(RetainedSketch, AClientAwayFromTheCornerShowsTheSamePixels) {
    RECT rc;
    GetClientRect(view_, &rc);
    for (const RECT& part : {RECT{40, 25, rc.right, rc.bottom}, RECT{0, 60, rc.right - 30, 300}}) {
        QImage kept(rc.right, rc.bottom, QImage::Format_RGB32),
            afresh(rc.right, rc.bottom, QImage::Format_RGB32);
        kept.fill(Qt::magenta);
        afresh.fill(Qt::magenta);
        HDC a = gdi_create_image_dc(&kept, nullptr, QRegion());
        paint_sketch_retained(a, view_, *s_, part);
        gdi_delete_image_dc(a);
        HDC b = gdi_create_image_dc(&afresh, nullptr, QRegion());
        paint_sketch(b, *s_, part);
        gdi_delete_image_dc(b);
        const QRect inside(part.left, part.top, part.right - part.left, part.bottom - part.top);
        EXPECT_EQ(kept.copy(inside), afresh.copy(inside)) << part.left << "," << part.top;
        QImage untouched(inside.size(), QImage::Format_RGB32);
        untouched.fill(Qt::magenta);
        EXPECT_NE(kept.copy(inside), untouched) << "the part was painted";
    }
}

// A Livesweep re-run repaints the behaviour graphs over the retained diagram:
// the window shows the same pixels as the diagram and the graphs painted
// afresh, and the diagram is not drawn again for it.
TEST_F(RetainedSketch, AReRunRepaintsTheGraphsOverTheKeptDiagram) {
    // A rescaled graph tints its box once; the fresh paint below would not.
    behavior_opts.flash = false;
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    td::run_until_idle();
    const QImage first = repaint();
    EXPECT_EQ(first, fresh(true));
    const long drawn = retained_sketch_redraws();
    ASSERT_EQ(set_setup_value(slot_of("birth rate"), 0.08f), 1);
    ASSERT_EQ(livesweep_rerun(token_of(view_), 2, 0), 1);
    td::run_until_idle();
    const QImage after = td::image(view_);
    EXPECT_NE(after, first);
    EXPECT_EQ(after, fresh(true));
    EXPECT_EQ(retained_sketch_redraws(), drawn);
    behavior_opts = behavior_options{};
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_off);
}

// The refresh after a re-run invalidates only the boxes whose graph would
// be drawn differently: none when nothing changed, one box when only its
// graph's remembered range went.
TEST_F(RetainedSketch, TheRefreshInvalidatesOnlyTheBoxesThatChanged) {
    behavior_opts.flash = false;
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    const QImage shown = repaint();
    RECT update{};
    EXPECT_FALSE(invalidate_live_changes(view_, *s_)) << "no re-run under way";
    set_live_refresh(true);
    ASSERT_TRUE(invalidate_live_changes(view_, *s_));
    EXPECT_FALSE(GetUpdateRect(view_, &update, FALSE));

    const std::vector<behavior_box> boxes = behavior_boxes(*s_);
    ASSERT_GE(boxes.size(), 2u);
    remembered_behavior_range(boxes[1].slot) = behavior_range{};
    ASSERT_TRUE(invalidate_live_changes(view_, *s_));
    ASSERT_TRUE(GetUpdateRect(view_, &update, FALSE));
    EXPECT_EQ(update.left, boxes[1].extent.left);
    EXPECT_EQ(update.top, boxes[1].extent.top);
    EXPECT_EQ(update.right, boxes[1].extent.right);
    EXPECT_EQ(update.bottom, boxes[1].extent.bottom);
    td::run_until_idle();
    EXPECT_EQ(td::image(view_), shown);

    // A changed diagram needs the whole window.
    s_->zoom += 10;
    EXPECT_FALSE(invalidate_live_changes(view_, *s_));
    // A part painted while the diagram changed brings the rest along.
    RECT part = boxes[0].extent;
    InvalidateRect(view_, &part, FALSE);
    td::run_until_idle();
    EXPECT_EQ(td::image(view_), fresh(true));
    s_->zoom -= 10;
    set_live_refresh(false);
    behavior_opts = behavior_options{};
}

} // namespace
