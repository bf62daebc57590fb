// Livesweep on the diagram, element by element: the quick slider of a
// subscripted constant drives the element the subscript selection picks, its
// options list the elements and let another be chosen, and the tip tells
// which element and its value; a variable with a series shows its behaviour
// in a tip that draws a graph.
#include <gtest/gtest.h>

#include <QImage>
#include <set>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "model/varnames.h"
#include "resources/sketchdlg.h"
#include "shell/controls/tooltip.h"
#include "sketch/geometry.h"
#include "sketch/mouse.h"
#include "sketch/sliders.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

namespace td = test_driver;

namespace {

float working(std::int32_t slot) {
    handle_lock<float> v(setup_copy);
    return v ? v.get()[slot] : -1;
}

// The subscripted sample (demand[region, product], 4 by 3) in Livesweep.
class SubscriptedLive : public LiveSketch {
protected:
    const char* sample_name() const override { return "subscripted.kmf"; }
    void SetUp() override {
        LiveSketch::SetUp();
        menu_command(cmd_livesweep);
        td::run_until_idle();
        ASSERT_EQ(livesweep_state, ls_on);
        const sketch_elem* d = variable("demand");
        ASSERT_NE(d, nullptr);
        n_ = static_cast<int>(d - &s_->view.elems[0]);
        first_ = slot_of("demand");
    }
    int n_ = 0;
    std::int32_t first_ = -1;
};

TEST_F(SubscriptedLive, TheOptionsChooseTheElementTheSliderDrivesAndTheTipTellsIt) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    qslider_rec* r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->slot, first_); // the selection picks north and food
    std::vector<std::string> lines;
    std::string title, value;
    bool list_shown = false, changes_shown = false;
    int first_selected = -2;
    answerer::dialog(dlg_slider_options)
        .call([&](HWND d) {
            HWND list = GetDlgItem(d, idq_subscripts);
            list_shown = IsWindowVisible(list);
            first_selected = static_cast<int>(SendMessage(list, LB_GETCURSEL, 0, 0));
            changes_shown = IsWindowVisible(GetDlgItem(d, idq_changes));
            const int count = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                char line[64] = {};
                SendMessage(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
                lines.push_back(line);
            }
            // South and tools: the fifth line.
            SendMessage(list, LB_SETCURSEL, 4, 0);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(idq_subscripts, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list));
            char text[200] = {};
            GetDlgItemText(d, idq_title, text, sizeof text);
            title = text;
            GetDlgItemText(d, idq_value, text, sizeof text);
            value = text;
        })
        .set_text(idq_value, "7")
        .press(IDOK);
    td::click(w, qslider_width - 2, 6);
    td::run_until_idle();
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(list_shown);
    EXPECT_TRUE(changes_shown);
    EXPECT_EQ(first_selected, 0); // the slider's own element, north and food

    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "[north,food]");
    EXPECT_EQ(lines[4], "[south,tools]");
    EXPECT_EQ(title, "Slider control options for: demand[south,tools]");
    EXPECT_EQ(value, "4"); // the element's own value
    r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->slot, first_ + 4);
    EXPECT_FLOAT_EQ(working(first_ + 4), 7);
    EXPECT_FLOAT_EQ(working(first_), 10); // the first element is left as it was
    // The tip names the element and its value.
    const std::string tip = hover_text(*s_, n_);
    EXPECT_EQ(tip.rfind("[south,tools] = 7 ", 0), 0u) << tip;
    // Opened again, the options show the element the slider now drives.
    int reopened = -2;
    answerer::dialog(dlg_slider_options)
        .call([&](HWND d) {
            reopened = static_cast<int>(SendDlgItemMessage(d, idq_subscripts, LB_GETCURSEL, 0, 0));
        })
        .press(IDCANCEL);
    td::click(w, qslider_width - 2, 6);
    td::run_until_idle();
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(reopened, 4);
}

TEST_F(SubscriptedLive, AVariableWithASeriesShowsItsBehaviourInTheTip) {
    const sketch_elem* stock = variable("largest stock");
    ASSERT_NE(stock, nullptr);
    const int n = static_cast<int>(stock - &s_->view.elems[0]);
    std::int32_t graph = -1;
    hover_text(*s_, n, &graph);
    EXPECT_EQ(graph, slot_of("largest stock"));
    // Hovered: the tip is a graph, 2.5 by 1.5 inches, with its curve drawn.
    const POINT p{unit_to_pixel(stock->x, s_->zoom, s_->scroll_x),
                  unit_to_pixel(stock->y, s_->zoom, s_->scroll_y)};
    td::mouse_move(view_, p.x, p.y);
    td::mouse_move(view_, p.x + 1, p.y);
    td::run_until_idle();
    td::advance(tip_wait_ms + 10);
    td::run_until_idle();
    ASSERT_GE(tooltip_state(), 3);
    EXPECT_EQ(tooltip_graph_item(), graph);
    HWND tip = td::find_window("Kavrel_tooltip");
    ASSERT_NE(tip, nullptr);
    RECT rc{};
    GetWindowRect(tip, &rc);
    HDC screen = GetDC(nullptr);
    const int dpi_x = GetDeviceCaps(screen, LOGPIXELSX), dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(rc.right - rc.left, dpi_x * 250 / 100);
    EXPECT_EQ(rc.bottom - rc.top, dpi_y * 150 / 100);
    QImage img = td::image(tip);
    ASSERT_FALSE(img.isNull());
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
    EXPECT_GT(colours.size(), 3u) << "more than the tip's background and text";
    td::mouse_move(view_, 5, 5);
    td::run_until_idle();
    // Outside Livesweep the same variable's tip is text.
    menu_command(cmd_livesweep);
    td::run_until_idle();
    hover_text(*s_, n, &graph);
    EXPECT_EQ(graph, -1);
}

} // namespace
