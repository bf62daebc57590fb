// Selecting what is visible: exactly the elements whose boxes lie in the part
// of the diagram the window shows, at full size and zoomed out, for a window
// wider than it is high.
#include <gtest/gtest.h>

#include "sketch/commands.h"
#include "sketch/viewnav.h"
#include "tests/sketch/window_fixture.h"

namespace {

class SelectVisible : public SketchWindow {
protected:
    // Selects what is visible at the zoom and scroll, then checks every
    // element (not arrows or pipes) wholly inside the shown area is selected and every one
    // wholly outside is not; at least one inside (and one outside when
    // some_outside).
    void check(int zoom, int scroll_x, int scroll_y, bool some_outside) {
        SCOPED_TRACE(zoom);
        set_sketch_zoom(view_, zoom);
        scroll_sketch_to(view_, scroll_x, scroll_y);
        test_driver::run_until_idle();
        RECT client;
        GetClientRect(view_, &client);
        ASSERT_GT(client.right, client.bottom) << "a window wider than high";
        // The shown area in diagram units.
        const double left = s_->scroll_x * 100.0 / zoom, top = s_->scroll_y * 100.0 / zoom;
        const double right = (s_->scroll_x + client.right) * 100.0 / zoom;
        const double bottom = (s_->scroll_y + client.bottom) * 100.0 / zoom;
        SendMessage(GetParent(view_), WM_COMMAND, skc_select_visible, 0);
        test_driver::run_until_idle();
        int inside = 0, outside = 0;
        for (int n = 1; n < s_->view.count(); ++n) {
            const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
            if (e.kind < ek_variable || e.hidden()) continue;
            const bool selected = (e.runtime & ef_selected) != 0;
            if (e.x - e.w >= left && e.x + e.w <= right && e.y - e.h >= top &&
                e.y + e.h <= bottom) {
                ++inside;
                EXPECT_TRUE(selected) << "element " << n << " at " << e.x << "," << e.y;
            } else if (e.x - e.w > right || e.x + e.w < left || e.y - e.h > bottom ||
                       e.y + e.h < top) {
                ++outside;
                EXPECT_FALSE(selected) << "element " << n << " at " << e.x << "," << e.y;
            }
        }
        EXPECT_GT(inside, 0);
        if (some_outside) {
            EXPECT_GT(outside, 0);
        }
    }
};

TEST_F(SelectVisible, OnlyTheElementsInTheShownAreaAreSelected) {
    check(100, 0, 0, true);
    check(100, 40, 30, true);
    // Zoomed out to half the whole diagram is shown.
    check(50, 0, 0, false);
}

} // namespace
