// The mouse on the population sample's diagram, driven through the test
// driver: clicks, Shift-clicks and rubber bands select, right and Shift drags
// pan and zoom, a double click makes the workbench variable, view links and
// Page Down change the view, the hover tip tells the units and comment, and
// in set-up a constant takes a typed value.
#include <QImage>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "foundation/package_write.h"
#include "foundation/report.h"
#include "graphs/graphtool.h"
#include "platform/menu.h"
#include "resources/menus.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "shell/controls/tooltip.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "shell/wiring.h"
#include "sim/changes.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/geometry.h"
#include "sketch/inplace.h"
#include "sketch/keys.h"
#include "sketch/mouse.h"
#include "tests/sketch/window_fixture.h"

namespace td = test_driver;

namespace {

class SketchMouse : public SketchWindow {
protected:
    // Room for the whole diagram.
    void SetUp() override {
        SketchWindow::SetUp();
        MoveWindow(main_wnd, 0, 0, 800, 620, TRUE);
        layout_frame(main_wnd);
        RECT c;
        GetClientRect(container_wnd, &c);
        MoveWindow(GetParent(view_), 0, 0, c.right, c.bottom, TRUE);
        td::run_until_idle();
        RECT rc;
        GetClientRect(view_, &rc);
        ASSERT_GT(rc.bottom, 440);
    }
    int number(const char* name) {
        const sketch_elem* e = variable(name);
        return e ? static_cast<int>(e - s_->view.elems.data()) : 0;
    }
    POINT at(const sketch_elem& e) {
        return POINT{unit_to_pixel(e.x, s_->zoom, s_->scroll_x),
                     unit_to_pixel(e.y, s_->zoom, s_->scroll_y)};
    }
    std::vector<int> selected() {
        std::vector<int> out;
        for (int i = 1; i < s_->view.count(); ++i)
            if (s_->view.elems[static_cast<std::size_t>(i)].runtime & ef_selected) out.push_back(i);
        return out;
    }
};

TEST_F(SketchMouse, RubberBandSelectsExactlyTheOverlappingBoxes) {
    // From empty space above the stock's row down past the flows' names.
    const int x0 = 150, y0 = 130, x1 = 330, y1 = 230;
    td::drag(view_, {x0, y0}, {x1, y1}, 6);
    td::run_until_idle();
    std::vector<int> want;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.hidden() || e.level_value() > s_->shown_level) continue;
        bool in = false;
        if (e.kind >= ek_variable)
            in = e.x + e.w >= x0 && e.x - e.w <= x1 && e.y + e.h >= y0 && e.y - e.h <= y1;
        else if (e.kind == ek_connector)
            in = e.arrow_x >= x0 && e.arrow_x <= x1 && e.arrow_y >= y0 && e.arrow_y <= y1;
        if (in) want.push_back(i);
    }
    ASSERT_GE(want.size(), 3u);
    EXPECT_EQ(selected(), want);
    EXPECT_EQ(s_->selection, 1);
    EXPECT_FALSE(s_->band_shown);
    // The selected stock is drawn inverted: its inside is dark now.
    const sketch_elem* stock = variable("Population");
    QImage img = shot("sketch_selected.png");
    QRgb inside = img.pixel(stock->x - stock->w + 3, stock->y - stock->h + 3);
    EXPECT_LT(qRed(inside) + qGreen(inside) + qBlue(inside), 200);
    // Escape clears it.
    SetFocus(view_);
    td::press_key(VK_ESCAPE);
    td::run_until_idle();
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(s_->selection, 0);
}

TEST_F(SketchMouse, AWiggleIsAClickAndShiftClickTogglesWithTheValvePartner) {
    const int births = number("births");
    ASSERT_GT(births, 1);
    const sketch_elem& flow = s_->view.elems[static_cast<std::size_t>(births)];
    ASSERT_TRUE(s_->view.elems[static_cast<std::size_t>(births - 1)].is_valve_pair());
    // Press, 4 units of wiggle, release: a click selecting the flow, its
    // valve, and making it the workbench variable.
    const POINT p = at(flow);
    td::drag(view_, p, {p.x + 4, p.y - 4}, 3);
    td::run_until_idle();
    EXPECT_EQ(selected(), (std::vector<int>{births - 1, births}));
    EXPECT_EQ(workbench_var_text(), "births");
    // Shift-click another variable adds it; Shift-click the valve drops both.
    const int rate = number("birth rate");
    td::click(view_, at(*variable("birth rate")).x, at(*variable("birth rate")).y, td::Button::left,
              td::shift);
    td::run_until_idle();
    EXPECT_EQ(selected(), (std::vector<int>{births - 1, births, rate}));
    EXPECT_EQ(s_->last_selected, rate);
    const sketch_elem& valve = s_->view.elems[static_cast<std::size_t>(births - 1)];
    td::click(view_, at(valve).x, at(valve).y, td::Button::left, td::shift);
    td::run_until_idle();
    EXPECT_EQ(selected(), (std::vector<int>{rate}));
    // What was just dropped is no longer the element last chosen.
    EXPECT_EQ(s_->last_selected, 0);
    td::click(view_, at(*variable("birth rate")).x, at(*variable("birth rate")).y, td::Button::left,
              td::shift);
    td::run_until_idle();
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(s_->selection, 0);
    // A plain click on empty space selects nothing.
    td::click(view_, 300, 20);
    td::run_until_idle();
    EXPECT_TRUE(selected().empty());
    // A right click there offers the view's actions; dismissed, nothing
    // is said about it and nothing is selected.
    int offered = 0;
    menu_set_popup_chooser([&](HMENU, HWND) {
        ++offered;
        return 0u;
    });
    td::click(view_, 300, 20, td::Button::right);
    td::run_until_idle();
    menu_set_popup_chooser(nullptr);
    EXPECT_EQ(offered, 1);
    EXPECT_TRUE(answerer::seen().empty());
    EXPECT_TRUE(selected().empty());
}

TEST_F(SketchMouse, BandAutoscrollsOnTheClockWhileOutside) {
    set_sketch_zoom(view_, 200); // more diagram than window
    RECT rc;
    GetClientRect(view_, &rc);
    td::mouse_down(view_, 20, 20);
    td::mouse_move(view_, 40, 40);
    td::run_until_idle();
    td::mouse_move(view_, 60, rc.bottom + 30);
    td::run_until_idle();
    ASSERT_TRUE(s_->band_shown);
    const int before = s_->scroll_y;
    td::advance(autoscroll_ms * 3);
    const int after = s_->scroll_y;
    EXPECT_GT(after, before) << "scrolled down while the pointer is below";
    // Back inside: it stops.
    td::mouse_move(view_, 60, rc.bottom - 10);
    td::run_until_idle();
    td::advance(autoscroll_ms * 3);
    EXPECT_EQ(s_->scroll_y, after);
    td::mouse_up(view_, 60, rc.bottom - 10);
    td::run_until_idle();
    EXPECT_FALSE(s_->band_shown);
    EXPECT_EQ(GetCapture(), nullptr);
}

// The first pixel past the right or bottom edge is outside: the band
// scrolls that way; the last pixel inside does not scroll.
TEST_F(SketchMouse, TheBandScrollsFromTheFirstPixelPastTheEdge) {
    set_sketch_zoom(view_, 300); // more diagram than window
    scroll_sketch_to(view_, 0, 0);
    RECT rc;
    GetClientRect(view_, &rc);
    auto scrolled = [&](int x, int y) {
        scroll_sketch_to(view_, 0, 0);
        td::mouse_down(view_, 40, 40);
        td::mouse_move(view_, 60, 60);
        td::run_until_idle();
        td::mouse_move(view_, x, y);
        td::run_until_idle();
        td::advance(autoscroll_ms * 3);
        const POINT moved{s_->scroll_x, s_->scroll_y};
        td::mouse_up(view_, 60, 60);
        td::run_until_idle();
        return moved;
    };
    EXPECT_EQ(scrolled(rc.right - 1, 100).x, 0);
    EXPECT_GT(scrolled(rc.right, 100).x, 0);
    EXPECT_EQ(scrolled(100, rc.bottom - 1).y, 0);
    EXPECT_GT(scrolled(100, rc.bottom).y, 0);
}

TEST_F(SketchMouse, RightDragPansAndShiftDragZoomsInTensOfPercent) {
    set_sketch_zoom(view_, 200); // more diagram than window
    scroll_sketch_to(view_, 0, 0);
    const int x0 = s_->scroll_x, y0 = s_->scroll_y;
    // Dragging the diagram up and left moves the view down and right.
    td::drag(view_, {300, 300}, {280, 270}, 4, td::Button::right);
    td::run_until_idle();
    EXPECT_EQ(s_->scroll_x, x0 + 20);
    EXPECT_EQ(s_->scroll_y, y0 + 30);
    EXPECT_TRUE(selected().empty());
    // Shift with the right button: up by 9 pixels past the threshold keeps
    // the zoom, 10 more raise it by 10.
    const int ux = pixel_to_unit(200, s_->zoom, s_->scroll_x);
    const int uy = pixel_to_unit(200, s_->zoom, s_->scroll_y);
    td::mouse_down(view_, 200, 200, td::Button::right, td::shift);
    td::mouse_move(view_, 200, 194, td::shift);
    td::mouse_move(view_, 200, 191, td::shift);
    td::run_until_idle();
    EXPECT_EQ(s_->zoom, 200);
    td::mouse_move(view_, 200, 190, td::shift);
    td::run_until_idle();
    EXPECT_EQ(s_->zoom, 210);
    td::mouse_move(view_, 200, 170, td::shift);
    td::run_until_idle();
    EXPECT_EQ(s_->zoom, 230);
    td::mouse_up(view_, 200, 170, td::Button::right, td::shift);
    td::run_until_idle();
    EXPECT_EQ(s_->zoom, 230);
    // The point pressed stays under the press.
    EXPECT_NEAR(pixel_to_unit(200, s_->zoom, s_->scroll_x), ux, 1);
    EXPECT_NEAR(pixel_to_unit(200, s_->zoom, s_->scroll_y), uy, 1);
    EXPECT_EQ(GetCapture(), nullptr);
    // Far up: it stops at 500 %, as the menu's zoom does.
    td::mouse_down(view_, 200, 430, td::Button::right, td::shift);
    td::mouse_move(view_, 200, 420, td::shift);
    td::mouse_move(view_, 200, 20, td::shift);
    td::run_until_idle();
    EXPECT_EQ(s_->zoom, 500);
    td::mouse_up(view_, 200, 20, td::Button::right, td::shift);
    td::run_until_idle();
}

TEST_F(SketchMouse, DoubleClickMakesTheWorkbenchVariableAndGraphsIt) {
    const sketch_elem* lifetime = variable("average lifetime");
    ASSERT_NE(lifetime, nullptr);
    // Without a palette there is no Graph tool to run: only the variable.
    td::double_click(view_, at(*lifetime).x, at(*lifetime).y);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "average lifetime");
    // With the built-in tools, the Graph tool runs on it (with no run loaded
    // it says so).
    install_graph_hooks();
    ASSERT_GT(read_toolset(nullptr, 0), 0);
    answerer::box(severity_caption(7)).text("No runs are loaded").press(IDOK);
    const sketch_elem* births = variable("births");
    td::double_click(view_, at(*births).x, at(*births).y);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "births");
    EXPECT_EQ(answerer::pending(), 0u) << "the Graph tool ran";
    free_toolset(0);
    set_tool_setup(find_tool_row("Graph"), nullptr);
}

// A flow's valve chooses the flow as its name does: a click chooses it, a
// click on it while selected chooses it again after another variable was
// chosen elsewhere, and a double click graphs it.
TEST_F(SketchMouse, AValveChoosesItsFlowAndASelectedElementIsChosenAgain) {
    const int deaths = number("deaths");
    ASSERT_GT(deaths, 1);
    const sketch_elem& valve = s_->view.elems[static_cast<std::size_t>(deaths - 1)];
    ASSERT_TRUE(valve.is_valve_pair());
    td::click(view_, at(valve).x, at(valve).y);
    td::run_until_idle();
    EXPECT_EQ(selected(), (std::vector<int>{deaths - 1, deaths}));
    EXPECT_EQ(workbench_var_text(), "deaths");
    // Chosen elsewhere (a tree, a list), then the selected valve again.
    ASSERT_EQ(select_var_text("birth rate", 0, 10), 1);
    td::click(view_, at(valve).x, at(valve).y);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "deaths");
    EXPECT_EQ(selected(), (std::vector<int>{deaths - 1, deaths}));
    // So is a selected variable's name.
    ASSERT_EQ(select_var_text("birth rate", 0, 10), 1);
    const sketch_elem& name = s_->view.elems[static_cast<std::size_t>(deaths)];
    td::click(view_, at(name).x, at(name).y);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "deaths");

    // A double click on the births valve graphs births.
    install_graph_hooks();
    ASSERT_GT(read_toolset(nullptr, 0), 0);
    answerer::box(severity_caption(7)).text("No runs are loaded").press(IDOK);
    const int births = number("births");
    const sketch_elem& births_valve = s_->view.elems[static_cast<std::size_t>(births - 1)];
    ASSERT_TRUE(births_valve.is_valve_pair());
    td::double_click(view_, at(births_valve).x, at(births_valve).y);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "births");
    EXPECT_EQ(answerer::pending(), 0u) << "the Graph tool ran";
    free_toolset(0);
    set_tool_setup(find_tool_row("Graph"), nullptr);
}

TEST_F(SketchMouse, PageKeysAndViewLinksChangeTheView) {
    ASSERT_STREQ(s_->view.rec.name, "Population");
    // The opened diagram has the keys at once.
    EXPECT_EQ(GetFocus(), view_);
    td::press_key(VK_NEXT);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Crowding");
    // The last view stays on Page Down; Page Up skips the shared view.
    td::press_key(VK_NEXT);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Crowding");
    td::press_key(VK_PRIOR);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Population");
    td::press_key(VK_PRIOR);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Population");
    // The shared view's text box leads to the Crowding view.
    int link = 0;
    for (int i = 1; i < s_->view.count(); ++i)
        if (s_->view.elems[static_cast<std::size_t>(i)].text == "See the crowding effects")
            link = i;
    ASSERT_GT(link, 0);
    const sketch_elem box = s_->view.elems[static_cast<std::size_t>(link)];
    scroll_sketch_to(view_, unit_to_pixel(box.x, s_->zoom, 0) - 100, 0);
    td::run_until_idle();
    // The pointer tells that a click goes somewhere.
    td::mouse_move(view_, at(box).x, at(box).y);
    td::run_until_idle();
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
    td::mouse_move(view_, 5, 5);
    td::run_until_idle();
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_ARROW));
    td::click(view_, at(box).x, at(box).y);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Crowding");
    EXPECT_EQ(model_rec->sketch_view, s_->current_view);
}

TEST_F(SketchMouse, HoverTipShowsCommentAndUnitsAfterTheDelay) {
    const int stock = number("Population");
    EXPECT_EQ(hover_text(*s_, stock), "The people living in the region. (people)");
    EXPECT_EQ(hover_text(*s_, number("birth rate")), "1/year");
    // A flow's valve tells about the flow; other elements say nothing.
    const int births = number("births");
    EXPECT_EQ(hover_text(*s_, births - 1), hover_text(*s_, births));
    EXPECT_NE(hover_text(*s_, births), "");
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text || e.kind == ek_connector) {
            EXPECT_EQ(hover_text(*s_, i), "") << i;
        }
    }
    const POINT p = at(s_->view.elems[static_cast<std::size_t>(stock)]);
    td::mouse_move(view_, p.x, p.y);
    td::mouse_move(view_, p.x + 1, p.y);
    td::run_until_idle();
    EXPECT_EQ(tooltip_state(), 1);
    td::advance(tip_wait_ms + 10);
    ASSERT_GE(tooltip_state(), 3);
    HWND tip = td::find_window("Kavrel_tooltip");
    ASSERT_NE(tip, nullptr);
    char text[200] = {};
    GetWindowText(tip, text, sizeof text);
    EXPECT_STREQ(text, "The people living in the region. (people)");
    QImage img = td::image(tip);
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 30) << "the tip's text is drawn";
    // Moving off every element takes it away.
    td::mouse_move(view_, 5, 5);
    td::run_until_idle();
    EXPECT_LT(tooltip_state(), 3);
}

// The diagram's tip is placed at the element's lower left corner, at any
// scroll, so it opens just below the name.
TEST_F(SketchMouse, TheTipIsPlacedBelowItsElement) {
    const int n = number("birth rate");
    ASSERT_GT(n, 0);
    const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    ASSERT_EQ(s_->zoom, 100);
    for (int scroll : {0, 30}) {
        s_->scroll_x = scroll;
        s_->scroll_y = scroll / 2;
        tip_request req;
        ASSERT_EQ(SendMessage(view_, wm_tip_request, static_cast<WPARAM>(n),
                              reinterpret_cast<LPARAM>(&req)),
                  1);
        EXPECT_TRUE(req.text_ready);
        EXPECT_EQ(req.hit, n);
        EXPECT_EQ(req.x, e.x - e.w - scroll);
        EXPECT_EQ(req.y, e.y + e.h - scroll / 2);
    }
}

TEST_F(SketchMouse, AfterARunTheTipLeadsWithTheValue) {
    EXPECT_EQ(hover_text(*s_, number("birth rate")), "1/year");
    install_program_hooks();
    model_opened();
    ask_dataset_overwrite = false;
    menu_command(cmd_simulate);
    td::run_until_idle();
    ASSERT_EQ(model_rec->run_count, 1);
    EXPECT_EQ(hover_text(*s_, number("birth rate")), "= 0.04 1/year");
    const std::string stock = hover_text(*s_, number("Population"));
    EXPECT_EQ(stock.rfind("= ", 0), 0u) << stock;
    EXPECT_NE(stock.find(" The people living in the region. (people)"), std::string::npos);
    // The value is the run's last one, not its first.
    std::vector<float> values, times;
    ASSERT_GT(read_run_values("Population", nullptr, model_rec->runs[0].run, values, times, nullptr,
                              nullptr),
              1);
    ASSERT_NE(values.front(), values.back());
    char last[40];
    std::snprintf(last, sizeof last, "= %g ", static_cast<double>(values.back()));
    EXPECT_EQ(stock.rfind(last, 0), 0u) << stock << " / " << last;
    clear_setup();
    unload_runs(1);
    ask_dataset_overwrite = true;
    set_sim_pump_hook(nullptr);
}

// File links go through the shell's open (which asks before a program
// starts); a package's member is written to a private folder, never beside
// the package.
TEST_F(SketchMouse, FileLinksOpenThroughTheShellAndPackageMembersPrivately) {
    // Documents are recorded as file addresses.
    auto local = [](const std::string& url) {
        return url.rfind("file://", 0) == 0 ? url.substr(7) : url;
    };
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i)
        if (s_->view.elems[static_cast<std::size_t>(i)].kind == ek_text &&
            s_->view.elems[static_cast<std::size_t>(i)].text == "See the crowding effects")
            n = i;
    ASSERT_GT(n, 0);
    sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    e.link_lo = e.link_hi = 253;
    e.text = "no bar here";
    shell_clear_requests();
    EXPECT_EQ(follow_element_link(view_, *s_, n), 2);
    EXPECT_TRUE(shell_requests().empty());
    // A file that is not there: said so, by the name the link gives.
    e.text = "notes.txt|Read the notes";
    answerer::box(severity_caption(8)).text("Unable to open notes.txt").press(IDOK);
    EXPECT_EQ(follow_element_link(view_, *s_, n), 2);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(shell_requests().empty());
    // Beside the model, it opens.
    std::ofstream(std::string(current_model_dir()) + "/notes.txt") << "notes";
    EXPECT_EQ(follow_element_link(view_, *s_, n), 2);
    ASSERT_EQ(shell_requests().size(), 1u);
    EXPECT_EQ(shell_requests()[0].kind, "document");
    EXPECT_EQ(std::filesystem::path(local(shell_requests()[0].target)),
              std::filesystem::path(current_model_dir()) / "notes.txt");
    e.text = "https://example.org/crowding|On the web";
    EXPECT_EQ(follow_element_link(view_, *s_, n), 2);
    ASSERT_EQ(shell_requests().size(), 2u);
    EXPECT_EQ(shell_requests()[1].kind, "url");
    EXPECT_EQ(shell_requests()[1].target, "https://example.org/crowding");

    // The same view in a package that carries the notes.
    std::ifstream in(sample("population.kmf"), std::ios::binary);
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string notes = "Crowding notes.";
    package_member members[] = {{"population.kmf", model.data(), model.size(), 0},
                                {"notes.txt", notes.data(), notes.size(), 0}};
    const std::string pkg = dir + "/withnotes.kpm";
    ASSERT_EQ(package_write(pkg.c_str(), members, 2, nullptr, 0), 1);
    ASSERT_EQ(shell_open_model(1, 0, pkg.c_str(), 0), 1);
    td::run_until_idle();
    view_ = current_sketch_view();
    s_ = sketch_of(view_);
    ASSERT_NE(s_, nullptr);
    n = 0;
    for (int i = 1; i < s_->view.count(); ++i)
        if (s_->view.elems[static_cast<std::size_t>(i)].kind == ek_text &&
            s_->view.elems[static_cast<std::size_t>(i)].text == "See the crowding effects")
            n = i;
    ASSERT_GT(n, 0);
    sketch_elem& p = s_->view.elems[static_cast<std::size_t>(n)];
    p.link_lo = p.link_hi = 253;
    p.text = "notes.txt|Read the notes";
    shell_clear_requests();
    EXPECT_EQ(follow_element_link(view_, *s_, n), 2);
    ASSERT_EQ(shell_requests().size(), 1u);
    const std::string opened = local(shell_requests()[0].target);
    EXPECT_EQ(opened.rfind(dir, 0), std::string::npos) << "not beside the package: " << opened;
    EXPECT_NE(opened.find("kavrel-links-"), std::string::npos) << opened;
    std::ifstream written(opened, std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, notes);
    struct stat st {};
    ASSERT_EQ(stat(opened.substr(0, opened.find_last_of('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "only this user may read the folder";
    // Shutdown takes the folder away.
    free_sketch_bitmaps();
    EXPECT_FALSE(std::filesystem::exists(opened.substr(0, opened.find_last_of('/'))));
}

// A file link acts on the kind of its file: a run file names the next run
// and makes it, a changes file is read into set-up, a tool set fills the
// palette, a model is opened; graph-set, command and database-output
// definitions do nothing; only other files go to the desktop.
TEST_F(SketchMouse, FileLinksActOnTheKindOfTheirFile) {
    install_program_hooks();
    model_opened();
    ask_dataset_overwrite = false;
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i)
        if (s_->view.elems[static_cast<std::size_t>(i)].kind == ek_text &&
            s_->view.elems[static_cast<std::size_t>(i)].text == "See the crowding effects")
            n = i;
    ASSERT_GT(n, 0);
    auto follow = [&](const char* text) {
        sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
        e.link_lo = e.link_hi = 253;
        e.text = text;
        EXPECT_EQ(follow_element_link(view_, *s_, n), 2) << text;
        td::run_until_idle();
    };
    const std::string here = current_model_dir();
    shell_clear_requests();
    for (const char* f : {"sets.kgd", "sets.kgf", "go.cmd", "out.kdo"}) {
        std::ofstream(here + "/" + f) << "x";
        follow((std::string(f) + "|Not for this edition").c_str());
    }
    EXPECT_TRUE(shell_requests().empty());
    EXPECT_EQ(model_rec->run_count, 0);

    // A run file: the run is named after it and made.
    follow("linked.kdf|Make the run");
    ASSERT_EQ(model_rec->run_count, 1);
    EXPECT_TRUE(std::filesystem::exists(dataset_path("linked.kdf")));

    // A changes file: set-up is entered and takes its values.
    std::ofstream(here + "/fast.cin") << "birth rate = 0.08\n";
    follow("fast.cin|Fast growth");
    EXPECT_EQ(sim_phase, phase_setup);
    float rate = 0;
    for (const setup_item& it : setup_items(0))
        if (it.name == "birth rate") {
            handle_lock<float> v(setup_copy);
            rate = v.get()[it.slot];
        }
    EXPECT_FLOAT_EQ(rate, 0.08f);
    clear_setup();
    sim_phase = phase_idle;

    // A tool set replaces the palette's.
    free_toolset(0);
    read_toolset(nullptr, 0);
    const std::string tools = write_toolset_text(0);
    ASSERT_FALSE(tools.empty());
    std::ofstream(here + "/mine.kts") << tools;
    free_toolset(0);
    EXPECT_FALSE(toolset_loaded());
    follow("mine.kts|My tools");
    EXPECT_TRUE(toolset_loaded());
    EXPECT_EQ(write_toolset_text(0), tools);
    EXPECT_TRUE(shell_requests().empty());
    // A bad one leaves them as they were, and says why.
    std::ofstream(here + "/bad.kts") << "1.62\n=4,=x,=1,=1,=1,=1\n";
    answerer::box("Stop from Kavrel").text("Bad toolset format in").press(IDOK);
    follow("bad.kts|Broken tools");
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(write_toolset_text(0), tools);

    // A gaming input file gives its decisions only while a game waits for
    // its next move.
    std::ofstream(here + "/decide.gin") << "birth rate = 0.06\n";
    follow("decide.gin|Decide");
    EXPECT_EQ(setup_copy, 0u);
    menu_command(cmd_run_game);
    td::run_until_idle();
    ASSERT_EQ(game_state, 4);
    follow("decide.gin|Decide");
    rate = 0;
    for (const setup_item& it : setup_items(0))
        if (it.name == "birth rate") {
            handle_lock<float> v(setup_copy);
            rate = v.get()[it.slot];
        }
    EXPECT_FLOAT_EQ(rate, 0.06f);
    menu_command(sc_end_game);
    td::run_until_idle();
    clear_setup();
    sim_phase = phase_idle;
    EXPECT_TRUE(shell_requests().empty());

    // Anything else goes to the desktop.
    std::ofstream(here + "/notes.txt") << "notes";
    follow("notes.txt|Read the notes");
    EXPECT_EQ(shell_requests().size(), 1u);

    // A model is opened, once the press is over.
    std::filesystem::copy_file(sample("population.kmf"), here + "/other.kmf",
                               std::filesystem::copy_options::overwrite_existing);
    follow("other.kmf|Another model");
    EXPECT_EQ(std::filesystem::path(current_model_name()).filename(), "other.kmf");
    EXPECT_EQ(shell_requests().size(), 1u);
    unload_runs(1);
    ask_dataset_overwrite = true;
}

TEST_F(SketchMouse, TheSharedViewsElementsAreNotSelectedByAClick) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i)
        if (s_->view.elems[static_cast<std::size_t>(i)].shared()) n = i;
    ASSERT_GT(n, 0);
    sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    e.link_lo = e.link_hi = 0;
    td::click(view_, at(e).x, at(e).y);
    td::run_until_idle();
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(GetCapture(), nullptr);
    // A band over it does take it, with everything else it touches.
    td::drag(view_, {at(e).x - 60, at(e).y - 20}, {at(e).x + 60, at(e).y + 20}, 4);
    td::run_until_idle();
    EXPECT_EQ(selected(), std::vector<int>{n});
}

TEST(SketchKeys, TheKeyTable) {
    EXPECT_EQ(sketch_key_command('Z', true, true, false), skc_redo);
    EXPECT_EQ(sketch_key_command('Y', true, false, false), skc_redo);
    EXPECT_EQ(sketch_key_command('Z', true, false, false), skc_undo);
    EXPECT_EQ(sketch_key_command('Z', false, false, false), 0);
    EXPECT_EQ(sketch_key_command('W', true, false, false), sketch_cmd_close);
    EXPECT_EQ(sketch_key_command(VK_F4, true, false, false), sketch_cmd_close);
    EXPECT_EQ(sketch_key_command(VK_F4, false, false, false), 0);
    EXPECT_EQ(sketch_key_command('H', false, false, true), skc_hide_level);
    EXPECT_EQ(sketch_key_command('H', false, false, false), skc_hide);
    EXPECT_EQ(sketch_key_command('R', true, false, false), skc_sim_base + 1);
    EXPECT_EQ(sketch_key_command(VK_F5, true, false, false), skc_find_workbench);
    EXPECT_EQ(sketch_key_command(VK_NEXT, false, false, false), sketch_cmd_next_view);
}

TEST_F(SketchMouse, CtrlASelectsAllAndAHeldKeyActsOnce) {
    SetFocus(view_);
    td::press_key('A', td::ctrl);
    td::run_until_idle();
    int shown = 0;
    for (const sketch_elem& e : s_->view.elems)
        if ((e.kind >= ek_variable || e.kind == ek_connector) && !e.hidden() &&
            e.level_value() <= s_->shown_level)
            ++shown;
    EXPECT_EQ(static_cast<int>(selected().size()), shown);
    EXPECT_EQ(s_->selection, 1);
    // An auto-repeated Page Down (the key already down) changes nothing.
    SendMessage(view_, WM_KEYDOWN, VK_NEXT, 1L << 30);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Population");
    SendMessage(view_, WM_KEYDOWN, VK_NEXT, 0);
    td::run_until_idle();
    EXPECT_STREQ(s_->view.rec.name, "Crowding");
    EXPECT_EQ(s_->selection, 0) << "the selection stays with the view it was made on";
    EXPECT_TRUE(selected().empty());
    // Ctrl+W closes the window.
    SetFocus(view_);
    td::press_key('W', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(current_sketch_view(), nullptr);
    // Pop Build Forward brings it back.
    SendMessage(main_wnd, WM_COMMAND, cmd_pop_build, 0);
    td::run_until_idle();
    EXPECT_NE(current_sketch_view(), nullptr);
}

TEST(SketchEntry, OnlyAWholeFiniteNumberIsTaken) {
    double v = 0;
    EXPECT_TRUE(parse_entry_number("12", &v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(parse_entry_number("  -1.5e3  ", &v));
    EXPECT_EQ(v, -1500);
    for (const char* bad : {"12abc", "1e999", "", "   ", "nan", "inf", "1e39", "1 2", "abc"})
        EXPECT_FALSE(parse_entry_number(bad, &v)) << bad;
}

// The entry's text is the diagram's size at its zoom: twice the zoom, a
// taller entry.
TEST_F(SketchMouse, TheEntryTextFollowsTheZoom) {
    ASSERT_EQ(enter_setup_mode(0), 1);
    td::run_until_idle();
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    auto entry_height = [&] {
        td::click(view_, at(*rate).x, at(*rate).y);
        td::run_until_idle();
        EXPECT_TRUE(inplace_edit_open(view_));
        RECT r{};
        GetWindowRect(inplace_edit_window(view_), &r);
        LOGFONT lf{};
        const auto font =
            reinterpret_cast<HFONT>(SendMessage(inplace_edit_window(view_), WM_GETFONT, 0, 0));
        EXPECT_NE(font, nullptr);
        if (font) GetObject(font, sizeof lf, &lf);
        end_inplace_edit(view_, 2);
        return std::pair{static_cast<int>(r.bottom - r.top), static_cast<int>(lf.lfHeight)};
    };
    const auto [height100, font100] = entry_height();
    set_sketch_zoom(view_, 200);
    scroll_sketch_to(view_, 2 * rate->x - 200, 2 * rate->y - 200);
    td::run_until_idle();
    const auto [height200, font200] = entry_height();
    // An 11-pixel text becomes a 22-pixel one.
    EXPECT_EQ(font100, -11);
    EXPECT_EQ(font200, -22);
    EXPECT_GE(height200 - height100, 9) << height100 << " " << height200;
    clear_setup();
    sim_phase = phase_idle;
}

TEST_F(SketchMouse, InSetUpAClickOnAConstantTypesItsValueInPlace) {
    ASSERT_EQ(enter_setup_mode(0), 1);
    td::run_until_idle();
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    lock_model(0);
    const std::int32_t slot = sym(rate->payload)->slot;
    unlock_model(0);
    ASSERT_GE(slot, 0);
    td::click(view_, at(*rate).x, at(*rate).y);
    td::run_until_idle();
    ASSERT_TRUE(inplace_edit_open(view_));
    HWND edit = inplace_edit_window(view_);
    ASSERT_TRUE(IsWindowVisible(edit));
    // Below the name, and it stays there when the diagram scrolls.
    auto edit_top = [&] {
        RECT r;
        GetWindowRect(edit, &r);
        POINT p{r.left, r.top};
        ScreenToClient(view_, &p);
        return p.y;
    };
    EXPECT_EQ(edit_top(), unit_to_pixel(rate->y + rate->h, s_->zoom, s_->scroll_y));
    set_sketch_zoom(view_, 200);
    scroll_sketch_to(view_, 0, 200);
    td::run_until_idle();
    ASSERT_EQ(s_->scroll_y, 200);
    EXPECT_EQ(edit_top(), unit_to_pixel(rate->y + rate->h, s_->zoom, s_->scroll_y));
    set_sketch_zoom(view_, 100);
    scroll_sketch_to(view_, 0, 0);
    // Not a number: refused with the message, the entry stays.
    answerer::box(severity_caption(8)).text("Bad number 12abc").press(IDOK);
    SetWindowText(edit, "12abc");
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_TRUE(inplace_edit_open(view_));
    EXPECT_EQ(answerer::pending(), 0u);
    // A number and Enter: the setup copy holds it at the slot.
    SetWindowText(edit, "0.025 ");
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_FALSE(inplace_edit_open(view_));
    {
        handle_lock<float> values(setup_copy);
        ASSERT_TRUE(values);
        EXPECT_FLOAT_EQ(values.get()[slot], 0.025f);
    }
    EXPECT_TRUE(setup_has_changes());
    // The copies dropped while the entry is open (as a game's end does): the
    // commit makes them again rather than writing into nothing.
    td::click(view_, at(*rate).x, at(*rate).y);
    td::run_until_idle();
    ASSERT_TRUE(inplace_edit_open(view_));
    clear_setup();
    ASSERT_EQ(setup_copy, 0u);
    SetWindowText(inplace_edit_window(view_), "0.03");
    SetFocus(inplace_edit_window(view_));
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_FALSE(inplace_edit_open(view_));
    {
        handle_lock<float> values(setup_copy);
        ASSERT_TRUE(values);
        EXPECT_FLOAT_EQ(values.get()[slot], 0.03f);
    }
    // Escape drops what was typed.
    td::click(view_, at(*rate).x, at(*rate).y);
    td::run_until_idle();
    ASSERT_TRUE(inplace_edit_open(view_));
    SetWindowText(inplace_edit_window(view_), "0.09");
    SetFocus(inplace_edit_window(view_));
    td::press_key(VK_ESCAPE);
    td::run_until_idle();
    EXPECT_FALSE(inplace_edit_open(view_));
    {
        handle_lock<float> values(setup_copy);
        ASSERT_TRUE(values);
        EXPECT_FLOAT_EQ(values.get()[slot], 0.03f);
    }
    // A flow is not a constant: no entry.
    const sketch_elem* births = variable("births");
    td::click(view_, at(*births).x, at(*births).y);
    td::run_until_idle();
    EXPECT_FALSE(inplace_edit_open(view_));
    clear_setup();
    sim_phase = phase_idle;
}

} // namespace
