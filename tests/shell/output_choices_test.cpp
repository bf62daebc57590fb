// Print Options as a user meets it: the stored choices shown when it opens
// and taken back on OK, what it offers for a diagram window (its view, its
// selection, every view, the offered title), and the printer chosen in its
// list.
#include "shell_fixture.h"

#include "platform/controls.h"
#include "platform/print.h"
#include "resources/options.h"
#include "shell/fonts.h"
#include "shell/options.h"
#include "shell/settings_rows.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"

#include <string>
#include <vector>

namespace {

class OutputChoices : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        opts = opt_block{};
        make_workbench();
        saved_hooks = sketch_hooks;
        saved_tool_hooks = tool_window_hooks;
    }
    void close_windows() override {
        sketch_hooks = saved_hooks;
        tool_window_hooks = saved_tool_hooks;
        ShellWorkbenchTest::close_windows();
        opts = opt_block{};
    }

    static std::string text_of(HWND d, int id) {
        char buf[256] = {};
        GetDlgItemText(d, id, buf, sizeof buf);
        return buf;
    }
    static bool is_checked(HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; }
    static bool is_enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; }

    sketch_window_hooks saved_hooks;
    tool_window_hooks_t saved_tool_hooks;
};

// The diagram the stand-in hook describes: set by each test.
diagram_print_choices shown_diagram;
bool diagram_choices(handle, diagram_print_choices* out) {
    *out = shown_diagram;
    return true;
}

TEST_F(OutputChoices, TheCornerAndOrientationShownAreTheStoredOnesAndOkKeepsThem) {
    struct seen {
        bool page, graph, graph_enabled, landscape, portrait, best;
    };
    for (int corner : {0, 1})
        for (int orientation : {0, 1, 2}) {
            opts.info_corner = static_cast<std::uint8_t>(corner);
            opts.orientation = static_cast<std::uint8_t>(orientation);
            seen s{};
            answerer::dialog(dlg_print_options)
                .call([&](HWND d) {
                    s = {is_checked(d, idp_page),     is_checked(d, idp_graph),
                         is_enabled(d, idp_graph),    is_checked(d, idp_landscape),
                         is_checked(d, idp_portrait), is_checked(d, idp_best)};
                })
                .press(IDOK);
            ASSERT_EQ(print_options_dialog(0), 1);
            SCOPED_TRACE("corner " + std::to_string(corner) + " orientation " +
                         std::to_string(orientation));
            // The information goes on the page's corner or under the graph;
            // the graph choice is never offered.
            EXPECT_EQ(s.page, corner == 1);
            EXPECT_EQ(s.graph, corner == 0);
            EXPECT_FALSE(s.graph_enabled);
            // 1 landscape, 2 portrait, 0 the best fit.
            EXPECT_EQ(s.landscape, orientation == 1);
            EXPECT_EQ(s.portrait, orientation == 2);
            EXPECT_EQ(s.best, orientation == 0);
            // Nothing changed in the dialog: nothing changes in the options.
            EXPECT_EQ(opts.info_corner, corner);
            EXPECT_EQ(opts.orientation, orientation);
        }
}

TEST_F(OutputChoices, ChangedCornerAndOrientationAreTaken) {
    opts.info_corner = 1;
    opts.orientation = 0;
    answerer::dialog(dlg_print_options)
        .call([](HWND d) {
            CheckDlgButton(d, idp_page, BST_UNCHECKED);
            CheckDlgButton(d, idp_graph, BST_CHECKED);
            CheckDlgButton(d, idp_best, BST_UNCHECKED);
            CheckDlgButton(d, idp_portrait, BST_CHECKED);
        })
        .press(IDOK);
    ASSERT_EQ(print_options_dialog(0), 1);
    EXPECT_EQ(opts.info_corner, 0);
    EXPECT_EQ(opts.orientation, 2);
}

TEST_F(OutputChoices, ADiagramOffersItsViewItsSelectionAndEveryView) {
    sketch_hooks.print_choices = diagram_choices;
    shown_diagram = {};
    shown_diagram.view_w = 8;
    shown_diagram.view_h = 6;
    shown_diagram.views = 3;
    shown_diagram.model = "pop.kmf";
    shown_diagram.view = "Growth";
    opts.metric = 0;
    struct seen {
        std::string all, multiple, selection, title;
        bool selection_enabled = false, multiple_enabled = false, all_checked = false,
             selection_checked = false;
    } s;
    auto look = [&](HWND d) {
        s = {text_of(d, idp_all),    text_of(d, idp_multiple),     text_of(d, idp_selection),
             text_of(d, idp_title),  is_enabled(d, idp_selection), is_enabled(d, idp_multiple),
             is_checked(d, idp_all), is_checked(d, idp_selection)};
    };
    answerer::dialog(dlg_print_options).call(look).press(IDOK);
    ASSERT_EQ(print_options_dialog(7), 1);
    EXPECT_EQ(s.all, "Whole View (8x6 in)");
    EXPECT_EQ(s.multiple, "All Views (1-3)");
    EXPECT_TRUE(s.multiple_enabled);
    // No selection: it cannot be chosen, the whole view is.
    EXPECT_FALSE(s.selection_enabled);
    EXPECT_TRUE(s.all_checked);
    EXPECT_EQ(s.title, "Model: pop.kmf View: Growth");
    EXPECT_EQ(opts.print_selection, 0);

    // With a selection of 2 by 1 inches, in centimetres: it is what prints.
    shown_diagram.sel_w = 2;
    shown_diagram.sel_h = 1;
    shown_diagram.views = 1;
    opts.metric = 1;
    answerer::dialog(dlg_print_options).call(look).press(IDOK);
    ASSERT_EQ(print_options_dialog(7), 1);
    EXPECT_EQ(s.all, "Whole View (20.3x15.2 cm)");
    EXPECT_EQ(s.selection, "Selected (5.08x2.54 cm)");
    EXPECT_EQ(s.multiple, "All Views (1-1)");
    EXPECT_TRUE(s.selection_enabled);
    EXPECT_TRUE(s.selection_checked);
    EXPECT_FALSE(s.all_checked);
    EXPECT_EQ(opts.print_selection, 1);
}

TEST_F(OutputChoices, AllViewsChosenStaysChosenAndTheOfferedTitleFollowsTheDiagram) {
    sketch_hooks.print_choices = diagram_choices;
    shown_diagram = {};
    shown_diagram.view_w = 4;
    shown_diagram.view_h = 4;
    shown_diagram.views = 5;
    shown_diagram.model = "a.kmf";
    shown_diagram.view = "One";
    answerer::dialog(dlg_print_options)
        .call([](HWND d) {
            CheckDlgButton(d, idp_all, BST_UNCHECKED);
            CheckDlgButton(d, idp_multiple, BST_CHECKED);
        })
        .press(IDOK);
    ASSERT_EQ(print_options_dialog(3), 1);
    EXPECT_EQ(opts.print_selection, 2);

    // Another diagram: all views are still chosen, and the title left as it
    // was offered gives way to this diagram's.
    shown_diagram.model = "b.kmf";
    shown_diagram.view = "Two";
    bool multiple = false;
    std::string title;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            multiple = is_checked(d, idp_multiple);
            title = text_of(d, idp_title);
        })
        .press(IDCANCEL);
    EXPECT_EQ(print_options_dialog(3), 0);
    EXPECT_TRUE(multiple);
    EXPECT_EQ(title, "Model: b.kmf View: Two");

    // A title the user typed stays.
    answerer::dialog(dlg_print_options)
        .call([](HWND d) { SetDlgItemText(d, idp_title, "Quarterly"); })
        .press(IDOK);
    ASSERT_EQ(print_options_dialog(3), 1);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) { title = text_of(d, idp_title); })
        .press(IDCANCEL);
    print_options_dialog(3);
    EXPECT_EQ(title, "Quarterly");
}

int open_graphs = 0;
bool grid_selected = false;

TEST_F(OutputChoices, AnotherOutputOffersEveryGraphOnlyWhenThereAreSeveral) {
    tool_window_hooks.graph_window_count = [] { return open_graphs; };
    tool_window_hooks.grid_has_selection = [](handle) { return grid_selected; };
    opts.title = "";
    struct seen {
        std::string all, multiple;
        bool multiple_enabled = false, multiple_checked = false, selection_enabled = false,
             selection_checked = false, all_checked = false;
    } s;
    auto look = [&](HWND d) {
        s = {text_of(d, idp_all),          text_of(d, idp_multiple),
             is_enabled(d, idp_multiple),  is_checked(d, idp_multiple),
             is_enabled(d, idp_selection), is_checked(d, idp_selection),
             is_checked(d, idp_all)};
    };
    // Three graphs open, all of them chosen last time.
    open_graphs = 3;
    grid_selected = false;
    opts.print_selection = 2;
    answerer::dialog(dlg_print_options).call(look).press(IDCANCEL);
    print_options_dialog(9);
    EXPECT_EQ(s.all, "Current Graphic Output");
    EXPECT_EQ(s.multiple, "All Grapic Output (1-3)");
    EXPECT_TRUE(s.multiple_enabled);
    EXPECT_TRUE(s.multiple_checked);
    EXPECT_FALSE(s.selection_enabled);

    // One graph: there is nothing more to print than the current output.
    open_graphs = 1;
    answerer::dialog(dlg_print_options).call(look).press(IDOK);
    ASSERT_EQ(print_options_dialog(9), 1);
    EXPECT_FALSE(s.multiple_enabled);
    EXPECT_FALSE(s.multiple_checked);
    EXPECT_TRUE(s.all_checked);
    EXPECT_EQ(opts.print_selection, 0);

    // A spreadsheet-style window with a row selected prints the row.
    grid_selected = true;
    answerer::dialog(dlg_print_options).call(look).press(IDOK);
    ASSERT_EQ(print_options_dialog(9), 1);
    EXPECT_TRUE(s.selection_enabled);
    EXPECT_TRUE(s.selection_checked);
    EXPECT_FALSE(s.all_checked);
    EXPECT_EQ(opts.print_selection, 1);
}

TEST_F(OutputChoices, ThePrinterChosenByNameIsKeptAndTheDefaultEntryClearsIt) {
    const std::vector<std::string> printers = printer_names();
    ASSERT_FALSE(printers.empty());
    const std::string last = printers.back();
    std::vector<std::string> entries;
    LRESULT shown = -1;
    auto pick = [&](LRESULT index) {
        return [&, index](HWND d) {
            HWND combo = GetDlgItem(d, idp_printer);
            entries.clear();
            const LRESULT n = SendMessage(combo, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < n; ++i) {
                char text[256] = {};
                SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
                entries.emplace_back(text);
            }
            shown = SendMessage(combo, CB_GETCURSEL, 0, 0);
            SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index < 0 ? n - 1 : index), 0);
        };
    };
    // The list: the default device first, then every printer by name.
    answerer::dialog(dlg_print_options).call(pick(-1)).press(IDOK);
    ASSERT_EQ(print_options_dialog(0), 1);
    ASSERT_EQ(entries.size(), printers.size() + 1);
    EXPECT_EQ(entries[0], "Default-" + default_printer_name());
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(opts.printer_name, last);

    // Opened again the named printer is the one selected; the default entry
    // chosen then forgets it.
    answerer::dialog(dlg_print_options).call(pick(0)).press(IDOK);
    ASSERT_EQ(print_options_dialog(0), 1);
    EXPECT_EQ(shown, static_cast<LRESULT>(printers.size()));
    EXPECT_EQ(opts.printer_name, "");
}

// The faces offered are the printer's and the screen's together, each once
// and in order, so a face both know is not offered twice.
TEST_F(OutputChoices, TheFontListNamesEachFaceOnceWithThePrintersToo) {
    const std::vector<std::string> printers = printer_names();
    ASSERT_FALSE(printers.empty());
    opts.printer_name = printers.back();
    load_font_list();
    const std::vector<font_family>& faces = font_list();
    ASSERT_FALSE(faces.empty());
    for (std::size_t i = 1; i < faces.size(); ++i)
        EXPECT_LT(faces[i - 1].name, faces[i].name) << "in byte order, each once";
    opts.printer_name.clear();
    load_font_list();
}

} // namespace
