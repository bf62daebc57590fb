// Choosing the workbench variable: the variable dialog driven as a user
// drives it (typing, the lists, the Type and Subscripts boxes, OK, Exact and
// Cancel), the Control Panel's Variable page, spans of text, and a picture
// of the dialog over a sample model.
#include "shell_fixture.h"

#include "model/varnames.h"
#include "platform/controls.h"
#include "resources/panel.h"
#include "resources/varselect.h"
#include "shell/controlpanel.h"
#include "shell/controls/longlist.h"
#include "shell/pump.h"
#include "shell/settings_rows.h"
#include "shell/varselect.h"
#include "tests/support/model_builder.h"

#include <QImage>
#include <QWidget>

#include <set>

namespace td = test_driver;

namespace {

std::vector<std::string> history;
void keep_history(const char* line) {
    history.emplace_back(line);
}

std::vector<std::string> list_items(HWND window) {
    HWND list = GetDlgItem(window, idv_list);
    std::vector<std::string> out;
    auto n = static_cast<int>(SendMessage(list, ll_count, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buf[256] = {};
        longlist_item_text(list, i, buf, sizeof buf);
        out.emplace_back(buf);
    }
    return out;
}

int combo_index(HWND window, int id) {
    return static_cast<int>(SendDlgItemMessage(window, id, CB_GETCURSEL, 0, 0));
}

std::vector<std::string> combo_items(HWND window, int id) {
    std::vector<std::string> out;
    auto n = static_cast<int>(SendDlgItemMessage(window, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buf[256] = {};
        SendDlgItemMessage(window, id, CB_GETLBTEXT, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(buf));
        out.emplace_back(buf);
    }
    return out;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class VarSelect : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        reset_varselect_state();
        history.clear();
        opts.var_dim[0] = opts.var_dim[1] = opts.var_dim[2] = opts.var_dim[3] = 0;
        make_workbench();
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
        workbench_var = {};
        reset_varselect_state();
    }

    // Groups (one empty), three ranges (one used by nothing), a 2-D level,
    // hidden variables, and one view holding two variables.
    void open_shop() {
        model_builder b("shop");
        b.range("region", {"north", "south"});
        b.range("product", {"food", "tools"});
        b.range("unused", {"u1", "u2"});
        symbol_id stock =
            b.level("Stock[region, product]", "supply[region, product]", "10", "units");
        b.aux("supply[region, product]", "1", "units/month");
        b.aux("regional total[region]", "SUM(Stock[region, product!])", "units");
        b.constant("birth rate", 0.04f, "1/year");
        b.constant("birth delay", 3, "year");
        symbol_id births = b.aux("births", "birth rate * 100", "people/year");
        b.flags(b.constant("secret", 1), sf_hidden);
        b.flags(b.constant("quiet", 2), sf_hidden_1);
        b.lookup("effect", {{0, 0}, {1, 1}});
        symbol_id g = b.group("Sector");
        b.in_group(stock, g).in_group(births, g);
        b.group("Empty");
        int view = b.add_view("main");
        for (symbol_id s : {stock, births}) {
            std::vector<std::uint8_t> rec(24, 0);
            rec[0] = 24;
            rec[2] = 10; // a variable
            std::memcpy(rec.data() + 4, &s, 4);
            b.add_element(view, rec);
        }
        ASSERT_TRUE(b.finish());
        std::string path = dir + "/shop.kmf";
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
        ASSERT_TRUE(model_is_open());
    }
    void open_sample(const char* name) { ASSERT_EQ(open_model(1, -1, sample(name).c_str(), 0), 1); }

    // Opens the Control Panel on its Variable page.
    HWND open_page() {
        control_panel(1, -1, -1, -1, -1);
        if (!control_wnd) return nullptr;
        select_tab(control_wnd, tab_variable, true);
        td::run_until_idle();
        return control_page;
    }
    // Types into the page's name box and presses a button of the page.
    void page_choose(HWND page, const std::string& text, int button = idv_select) {
        SetDlgItemText(page, idv_name, text.c_str());
        SendMessage(GetDlgItem(page, button), BM_CLICK, 0, 0);
        td::run_until_idle();
    }
};

// ------------------------------------------------------------------ dialog ---

TEST_F(VarSelect, TypedPrefixesCompleteFromTheListAndExactTakesTheTextAsItStands) {
    open_shop();
    std::vector<std::string> shown;
    std::string note;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            shown = list_items(d);
            td::type_text("birth r");
            td::run_until_idle();
            note = test_driver::item_text(d, idv_note);
        })
        .press(IDOK);
    const char* r = choose_variable("Pick one", nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "birth rate");
    EXPECT_EQ(note, "Units: 1/year  Base model value: 0.04");
    // Every listed kind, in name order; ranges, groups and hidden ones are
    // not among them.
    EXPECT_TRUE(contains(shown, "Stock") && contains(shown, "effect") &&
                contains(shown, "FINAL TIME") && contains(shown, "quiet"));
    EXPECT_FALSE(contains(shown, "region") || contains(shown, ".Sector") ||
                 contains(shown, "secret"));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
        return name_cmp(a.c_str(), b.c_str()) < 0;
    }));

    // Exact: the typed prefix as it stands; a known name is never completed.
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "birth").press(idv_exact);
    r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "birth");
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "births").press(IDOK);
    EXPECT_STREQ(choose_variable(nullptr, nullptr, -1, 1, 0, nullptr), "births");
    // A prefix the selected entry does not begin with is returned normalised.
    answerer::dialog(dlg_variable_dialog)
        .call([](HWND d) {
            SetDlgItemText(d, idv_name, "birth");
            SetDlgItemText(d, idv_name, "zz_top");
        })
        .press(IDOK);
    EXPECT_STREQ(choose_variable(nullptr, nullptr, -1, 1, 0, nullptr), "zz top");
    // Cancel: null, and the title given was used.
    std::string caption;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            char t[64] = {};
            GetWindowText(d, t, sizeof t);
            caption = t;
        })
        .press(IDCANCEL);
    EXPECT_EQ(choose_variable("Graph of", nullptr, -1, 1, 0, nullptr), nullptr);
    EXPECT_EQ(caption, "Graph of");
    EXPECT_EQ(workbench_var.var, 0u) << "the dialog only returns a name";
}

TEST_F(VarSelect, PatternsListMatchesAndAHashIsNoPattern) {
    open_shop();
    std::vector<std::string> matched, after_none, with_ranges;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            SendDlgItemMessage(d, idv_type, CB_SETCURSEL, 3, 0);
            SetDlgItemText(d, idv_name, "birth_*");
            SendMessage(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
            matched = list_items(d);
            EXPECT_EQ(combo_index(d, idv_type), 0) << "a pattern resets the Type";
        })
        .set_text(idv_name, "*zzz*")
        .press(IDOK); // no match: a message, the list as it was
    answerer::box(severity_caption(8)).text("Sorry no matches for *zzz*").press(IDOK);
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) { after_none = list_items(d); })
        .set_text(idv_name, "#bir*")
        .press(IDOK);
    const char* r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    EXPECT_EQ(matched, (std::vector<std::string>{"birth delay", "birth rate"}));
    EXPECT_EQ(after_none, matched);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "#bir*") << "a text beginning with # is a name";

    // The dialog remembers a typed pattern for the next time; a pattern given
    // by the caller lasts for that dialog only; flag 2 lists ranges too.
    std::vector<std::string> remembered;
    std::string placeholder;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            remembered = list_items(d);
            placeholder = test_driver::item_text(d, idv_name);
        })
        .press(IDCANCEL);
    choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    EXPECT_EQ(remembered, (std::vector<std::string>{"birth delay", "birth rate"}));
    EXPECT_EQ(placeholder, "birth_*");
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) { with_ranges = list_items(d); })
        .press(IDCANCEL);
    choose_variable(nullptr, "*r*", -1, 1, cv_with_ranges, nullptr);
    EXPECT_TRUE(contains(with_ranges, "region") && contains(with_ranges, "product"));
    EXPECT_FALSE(contains(with_ranges, "effect"));
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) { placeholder = test_driver::item_text(d, idv_name); })
        .press(IDCANCEL);
    choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    EXPECT_EQ(placeholder, "birth_*");
}

TEST_F(VarSelect, TypesAndGroupsListAndAnEmptyGroupKeepsTheDialogOpen) {
    open_shop();
    std::vector<std::string> levels, groups, members, orphans;
    int level_entry = -1;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            levels = list_items(d);
            level_entry = combo_index(d, idv_type);
        })
        .select(idv_type, "Orphan")
        .call([&](HWND d) { orphans = list_items(d); })
        .select(idv_type, "Group")
        .call([&](HWND d) {
            groups = list_items(d);
            EXPECT_EQ(test_driver::item_text(d, idv_name), "") << "a new Type clears the name";
        })
        .set_text(idv_name, ".Empty")
        .press(IDOK);
    answerer::box(severity_caption(8)).text("Nothing in the group .Empty").press(IDOK);
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            EXPECT_TRUE(IsWindowVisible(d));
            SetDlgItemText(d, idv_name, ".Sector");
            SendMessage(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
            members = list_items(d);
            // A member then chosen is the answer.
            longlist_select(GetDlgItem(d, idv_list), 1, true);
            td::run_until_idle();
        })
        .press(IDOK);
    const char* r = choose_variable(nullptr, nullptr, st_level, 1, 0, nullptr);
    EXPECT_EQ(level_entry, type_entry_of(st_level));
    EXPECT_EQ(levels, (std::vector<std::string>{"Stock", "Time"}));
    EXPECT_EQ(groups, (std::vector<std::string>{".Control", ".Empty", ".Sector"}));
    EXPECT_EQ(members, (std::vector<std::string>{"births", "Stock"}));
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "Stock");
    // Only the two variables on the view are not orphans.
    EXPECT_FALSE(contains(orphans, "Stock") || contains(orphans, "births"));
    EXPECT_TRUE(contains(orphans, "supply") && contains(orphans, "birth rate"));

    // Group mode returns the text as typed, and lists the groups first.
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) { groups = list_items(d); })
        .set_text(idv_name, ".Empty")
        .press(IDOK);
    r = choose_variable(nullptr, nullptr, st_group, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, ".Empty");
    EXPECT_EQ(groups.size(), 3u);
}

TEST_F(VarSelect, HiddenVariablesFollowTheListModeAndTheAllVariablesArgument) {
    open_shop();
    auto listed = [](int all) {
        std::vector<std::string> items;
        answerer::dialog(dlg_variable_dialog)
            .call([&](HWND d) { items = list_items(d); })
            .press(IDCANCEL);
        choose_variable(nullptr, "*e*", -1, all, 0, nullptr);
        return items;
    };
    std::vector<std::string> v = listed(1);
    EXPECT_TRUE(contains(v, "quiet"));
    EXPECT_FALSE(contains(v, "secret"));
    v = listed(0);
    EXPECT_FALSE(contains(v, "quiet") || contains(v, "secret"));
    EXPECT_EQ(varsel_list_mode, lm_unhidden) << "the list mode comes back";
    varsel_list_mode = lm_all;
    v = listed(1);
    EXPECT_TRUE(contains(v, "quiet") && contains(v, "secret"));
}

TEST_F(VarSelect, TheSubscriptsBoxWritesRangesThenElementsIntoTheName) {
    open_shop();
    std::vector<std::string> ranges, elements;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            HWND subs = GetDlgItem(d, idv_subscripts);
            EXPECT_TRUE(GetWindowLong(subs, GWL_STYLE) & WS_VISIBLE);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(idv_subscripts, CBN_DROPDOWN),
                        reinterpret_cast<LPARAM>(subs));
            ranges = combo_items(d, idv_subscripts);
        })
        .select(idv_subscripts, "product")
        .call([&](HWND d) {
            EXPECT_EQ(test_driver::item_text(d, idv_name), "Stock[region,product]");
            HWND subs = GetDlgItem(d, idv_subscripts);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(idv_subscripts, CBN_DROPDOWN),
                        reinterpret_cast<LPARAM>(subs));
            elements = combo_items(d, idv_subscripts);
        })
        .select(idv_subscripts, "south")
        .press(IDOK);
    const char* r = choose_variable(nullptr, nullptr, -1, 1, cv_subscripts, "Stock");
    EXPECT_EQ(ranges, (std::vector<std::string>{"Subscripts", "region", "product"}));
    EXPECT_EQ(elements, (std::vector<std::string>{"Subscripts", "north", "south"}));
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "Stock[south,product]");
    // Without flag 1 and an initial name the box is hidden.
    bool shown = true;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            shown = GetWindowLong(GetDlgItem(d, idv_subscripts), GWL_STYLE) & WS_VISIBLE;
        })
        .press(IDCANCEL);
    choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    EXPECT_FALSE(shown);
}

TEST_F(VarSelect, ASavedPlacementIsUsedOnlyWhenItLiesOnTheScreen) {
    open_shop();
    auto placed = [] {
        RECT r{};
        answerer::dialog(dlg_variable_dialog)
            .call([&](HWND d) { GetWindowRect(d, &r); })
            .press(IDCANCEL);
        choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
        return r;
    };
    RECT first = placed();
    // Cancel remembered where the dialog was.
    EXPECT_EQ(opts.var_dim[0], first.left);
    EXPECT_EQ(opts.var_dim[2], first.right - first.left);
    const int w = first.right - first.left, h = first.bottom - first.top;

    opts.var_dim[0] = 40;
    opts.var_dim[1] = 30;
    opts.var_dim[2] = w + 100;
    opts.var_dim[3] = h + 50;
    RECT r = placed();
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, w + 100);
    // Off the screen (or within 10 pixels of its far edges): ignored, the
    // dialog keeps its own size.
    for (int x : {screen_right - 5, -200}) {
        opts.var_dim[0] = x;
        opts.var_dim[1] = 30;
        opts.var_dim[2] = w + 100;
        opts.var_dim[3] = h + 50;
        r = placed();
        EXPECT_NE(r.left, x);
        EXPECT_EQ(r.right - r.left, w);
    }
    // A saved size below the template's is not taken.
    opts.var_dim[0] = 40;
    opts.var_dim[1] = 30;
    opts.var_dim[2] = 5;
    opts.var_dim[3] = 5;
    r = placed();
    EXPECT_EQ(r.right - r.left, w);
    EXPECT_EQ(r.bottom - r.top, h);
}

TEST_F(VarSelect, WithNoModelTheDialogIsRefused) {
    answerer::box(severity_caption(8)).text("Open or start a new model first.").press(IDOK);
    EXPECT_EQ(choose_variable(nullptr, nullptr, -1, 1, 0, nullptr), nullptr);
}

// --------------------------------------------------------------- the page ---

TEST_F(VarSelect, ThePageChoosesTheWorkbenchVariableAtOnce) {
    open_shop();
    set_selection_history_sink(keep_history);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(GetDlgItem(page, IDOK), nullptr);
    EXPECT_FALSE(GetWindowLong(GetDlgItem(page, idv_subscripts), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(test_driver::item_text(page, idv_name), "*");
    std::vector<std::string> items = list_items(page);
    ASSERT_TRUE(contains(items, "births"));

    // A click in the list chooses.
    HWND list = GetDlgItem(page, idv_list);
    auto births = static_cast<int>(std::find(items.begin(), items.end(), "births") - items.begin());
    td::click(list, 20, static_cast<int>(SendMessage(list, ll_item_offset, births, 0)) + 3);
    td::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "births");
    EXPECT_EQ(test_driver::item_text(page, idv_name), "births");
    EXPECT_NE(title().find("Var:births"), std::string::npos) << title();

    // Typed: a prefix completes from the entry typing selected; subscripts
    // are kept; each choice is a history line.
    page_choose(page, "regional");
    EXPECT_EQ(workbench_var_text(), "regional total");
    page_choose(page, "Stock[ north , food ]");
    EXPECT_EQ(workbench_var_text(), "Stock[north,food]");
    page_choose(page, "(stock[region,tools])");
    EXPECT_EQ(workbench_var_text(), "Stock[region,tools]");
    EXPECT_EQ(history, (std::vector<std::string>{"births", "regional total", "Stock[north,food]",
                                                 "Stock[region,tools]"}));
    // A pattern lists and chooses nothing.
    page_choose(page, "*to*");
    EXPECT_EQ(list_items(page), (std::vector<std::string>{"regional total", "Stock"}));
    EXPECT_EQ(history.size(), 4u);
}

// The panel's loop filter sees Enter first (the page is a control of the
// panel): in the name box it is Select, on a focused button that button.
TEST_F(VarSelect, EnterInThePageSelects) {
    open_shop();
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    auto enter_on = [](HWND w) {
        SetFocus(w);
        MSG msg{};
        msg.hwnd = w;
        msg.message = WM_KEYDOWN;
        msg.wParam = VK_RETURN;
        EXPECT_TRUE(run_loop_filters(&msg));
        td::run_until_idle();
    };
    SetDlgItemText(page, idv_name, "birth r");
    enter_on(GetDlgItem(page, idv_name));
    EXPECT_EQ(workbench_var_text(), "birth rate");
    SetDlgItemText(page, idv_name, "birth");
    enter_on(GetDlgItem(page, idv_exact));
    EXPECT_EQ(workbench_var_text(), "birth rate") << "Exact: no variable is named \"birth\"";
    SetDlgItemText(page, idv_name, "births");
    enter_on(GetDlgItem(page, idv_exact));
    EXPECT_EQ(workbench_var_text(), "births");
}

TEST_F(VarSelect, BadTypedNamesLeaveTheWorkbenchVariableAlone) {
    open_shop();
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    page_choose(page, "births");
    ASSERT_EQ(workbench_var_text(), "births");
    set_selection_history_sink(keep_history);
    const std::string long_name(10000, 'x');
    for (const std::string& bad :
         {std::string("Stock[north"), std::string("Stock[north,food"), std::string("Stock]"),
          std::string("\"Stock"), std::string("Stock[north]"), std::string("Stock[north,food,x]"),
          std::string("Stock[food,north]"), std::string("Stock[,food]"),
          std::string("births[north]"), std::string("nothing"), std::string("north"),
          std::string("Stock[north,food] tail"), long_name, long_name + "[a]", std::string("")}) {
        page_choose(page, bad, idv_exact);
        EXPECT_EQ(workbench_var_text(), "births") << bad.substr(0, 40);
    }
    EXPECT_TRUE(history.empty());
    // The same through a span of text, with bad spans.
    const char* text = "see <Stock[south,tools]> and (births)";
    EXPECT_EQ(select_var_text(text, 4, 24), 1);
    EXPECT_EQ(workbench_var_text(), "Stock[south,tools]");
    EXPECT_EQ(select_var_text(text, 29, 37), 1);
    EXPECT_EQ(workbench_var_text(), "births");
    EXPECT_EQ(select_var_text(text, 30, 500), 0) << "a span past the end of the text";
    EXPECT_EQ(select_var_text(text, 20, 10), 0);
    EXPECT_EQ(select_var_text(text, 200, 300), 0);
    EXPECT_EQ(select_var_text(nullptr, 0, 3), 0);
}

TEST_F(VarSelect, ARangeListsItsUsersAndAGroupItsMembers) {
    open_shop();
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    page_choose(page, "product");
    EXPECT_EQ(list_items(page), (std::vector<std::string>{"Stock", "supply"}));
    page_choose(page, "region");
    EXPECT_EQ(list_items(page), (std::vector<std::string>{"regional total", "Stock", "supply"}));
    page_choose(page, ".Sector");
    EXPECT_EQ(list_items(page), (std::vector<std::string>{"births", "Stock"}));
    EXPECT_EQ(workbench_var.var, 0u);
    answerer::box(severity_caption(8)).text("The subscript unused is not used").press(IDOK);
    page_choose(page, "unused");
    answerer::box(severity_caption(8)).text("The group .Empty has no members").press(IDOK);
    page_choose(page, ".Empty");
    EXPECT_EQ(list_items(page), (std::vector<std::string>{"births", "Stock"})) << "kept";
    // Without an open list a range or group chooses nothing and says nothing.
    control_panel(-1, -1, -1, -1, -1);
    EXPECT_EQ(select_var_text("unused", 0, 6), 0);
}

TEST_F(VarSelect, AnotherModelClearsTheWorkbenchVariableAndRelistsThePage) {
    open_shop();
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    page_choose(page, "Stock[north,food]");
    ASSERT_EQ(workbench_var_text(), "Stock[north,food]");
    open_sample("population.kmf");
    EXPECT_EQ(workbench_var.var, 0u);
    EXPECT_EQ(workbench_var_text(), "");
    EXPECT_TRUE(contains(list_items(page), "Population"));
    EXPECT_FALSE(contains(list_items(page), "Stock"));
    // With no model the page lists nothing and refuses a choice.
    close_model(0, 0);
    EXPECT_TRUE(list_items(page).empty());
    answerer::box(severity_caption(8)).text("Open or start a new model first.").press(IDOK);
    page_choose(page, "Population");
}

// -------------------------------------------------------------- pictures ---

// Dark pixels (text) in a row band of an image.
int dark_pixels(const QImage& img, int top, int bottom, int left, int right) {
    int n = 0;
    for (int y = std::max(0, top); y < std::min(img.height(), bottom); ++y)
        for (int x = std::max(0, left); x < std::min(img.width(), right); ++x)
            if (qGray(img.pixel(x, y)) < 96) ++n;
    return n;
}

TEST_F(VarSelect, PictureOfTheDialogListingThePopulationSample) {
    open_sample("population.kmf");
    std::string png = testing::TempDir() + "/kavrel_variable_dialog.png";
    QImage img, list_img, ok_img;
    int line_h = 0, count = 0;
    RECT list_rect{}, ok_rect{};
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) {
            SetDlgItemText(d, idv_name, "birth");
            td::run_until_idle();
            HWND list = GetDlgItem(d, idv_list);
            count = static_cast<int>(SendMessage(list, ll_count, 0, 0));
            line_h = static_cast<int>(SendMessage(list, ll_item_offset, 1, 0));
            GetWindowRect(list, &list_rect);
            GetWindowRect(GetDlgItem(d, IDOK), &ok_rect);
            if (QWidget* w = win_widget(d)) img = w->grab().toImage();
            list_img = td::image(list);
            if (QWidget* w = win_widget(GetDlgItem(d, IDOK))) ok_img = w->grab().toImage();
        })
        .press(IDCANCEL);
    choose_variable("Variable", nullptr, -1, 1, 0, nullptr);
    ASSERT_FALSE(img.isNull());
    ASSERT_TRUE(img.save(QString::fromStdString(png), "PNG")) << png;
    std::printf("screenshot: %s\n", png.c_str());
    // The population sample's 14 variables (the control ones included).
    EXPECT_EQ(count, 14);
    ASSERT_GT(line_h, 8);
    ASSERT_FALSE(list_img.isNull());
    // Each of the first lines but the selected one holds a name in dark text.
    int text_rows = 0;
    for (int i = 0; i < 7; ++i)
        if (dark_pixels(list_img, i * line_h, (i + 1) * line_h, 2, list_img.width() - 20) > 4)
            ++text_rows;
    EXPECT_EQ(text_rows, 6);
    // The typed prefix selected "birth rate" (the second line): one row of
    // lines in the highlight colour, and it is that line.
    COLORREF hl = GetSysColor(COLOR_HIGHLIGHT);
    const QRgb want = qRgb(GetRValue(hl), GetGValue(hl), GetBValue(hl)) & 0xFFFFFF;
    int first = -1, highlighted = 0;
    for (int y = 0; y < list_img.height(); ++y)
        if ((list_img.pixel(list_img.width() - 12, y) & 0xFFFFFF) == want) {
            if (first < 0) first = y;
            ++highlighted;
        }
    EXPECT_GE(highlighted, line_h - 2);
    EXPECT_LE(highlighted, line_h + 2);
    EXPECT_NEAR(first, line_h, 2);
    // The buttons lie below the list; OK carries its text; the picture has
    // more than a blank face.
    EXPECT_GT(ok_rect.top, list_rect.bottom);
    ASSERT_FALSE(ok_img.isNull());
    EXPECT_GT(dark_pixels(ok_img, 2, ok_img.height() - 2, 2, ok_img.width() - 2), 4);
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y) & 0xFFFFFF);
    EXPECT_GT(colours.size(), 3u);
}

TEST_F(VarSelect, PictureOfTheVariablePage) {
    open_sample("population.kmf");
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    SetWindowPos(control_wnd, nullptr, 0, 0, 360, 320, SWP_NOMOVE | SWP_NOZORDER);
    td::run_until_idle();
    QWidget* w = win_widget(control_wnd);
    ASSERT_NE(w, nullptr);
    QImage img = w->grab().toImage();
    std::string png = testing::TempDir() + "/kavrel_control_panel_variable.png";
    ASSERT_TRUE(img.save(QString::fromStdString(png), "PNG")) << png;
    std::printf("screenshot: %s\n", png.c_str());
    // The page fills the tab's area: its list reaches across it, and the
    // buttons sit below the boxes inside the page.
    RECT pr{}, lr{}, nr{}, sr{};
    GetClientRect(page, &pr);
    auto in_page = [page](int id, RECT& r) {
        GetWindowRect(GetDlgItem(page, id), &r);
        POINT tl{r.left, r.top}, br{r.right, r.bottom};
        ScreenToClient(page, &tl);
        ScreenToClient(page, &br);
        r = RECT{tl.x, tl.y, br.x, br.y};
    };
    in_page(idv_list, lr);
    in_page(idv_name, nr);
    in_page(idv_select, sr);
    EXPECT_GT(lr.right - lr.left, pr.right * 9 / 10);
    EXPECT_GT(lr.bottom - lr.top, pr.bottom / 3);
    EXPECT_LT(lr.bottom, nr.top);
    EXPECT_LT(nr.bottom, sr.top);
    EXPECT_LE(sr.bottom, pr.bottom);
    // Its list shows names: dark pixels in the list's first rows.
    QImage list = td::image(GetDlgItem(page, idv_list));
    EXPECT_GT(dark_pixels(list, 0, 40, 0, list.width()), 20);
}

// A constant read from a data source is a constant to the user: the
// Constants type lists it with the others.
TEST_F(VarSelect, TheConstantsTypeListsDataConstantsToo) {
    model_builder b("sheet");
    b.control(0, 2, 1, 1);
    const symbol_id from_sheet = b.constant("from sheet", 3);
    const symbol_id typed = b.constant("typed in", 4);
    b.aux("twice", "from sheet * 2 + typed in");
    ASSERT_TRUE(b.finish());
    symbol_record r = get_symbol(b.symbols(), from_sheet);
    r.type = st_data_constant;
    put_symbol(b.symbols(), from_sheet, r);
    const std::string path = dir + "/sheet.kmf";
    ASSERT_EQ(b.write(path.c_str()), 1);
    ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    const symbol_id sheet_id = find_symbol("from sheet"), typed_id = find_symbol("typed in");
    ASSERT_NE(sheet_id, 0u);
    ASSERT_NE(typed_id, 0u);
    ASSERT_EQ(get_symbol(cur_model_symbols, sheet_id).type, st_data_constant);
    const std::vector<symbol_id> constants = symbols_of_type(st_constant);
    EXPECT_NE(std::find(constants.begin(), constants.end(), sheet_id), constants.end());
    EXPECT_NE(std::find(constants.begin(), constants.end(), typed_id), constants.end());
    (void)typed;
}

// The variables that use a range: each once, however many of its
// dimensions use it, and those over a sub-range of it too.
TEST_F(VarSelect, ARangesUsersAreListedOnceWithThoseOfItsSubRanges) {
    model_builder b("flows");
    b.control(0, 2, 1, 1);
    b.range("region", {"north", "south", "east"});
    b.range("far", {"south", "east"});
    b.range("product", {"food", "tools"});
    b.aux("flow matrix[region, region]", "1");
    b.aux("remote[far]", "2");
    b.aux("stocked[product]", "3");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    const std::string path = dir + "/flows.kmf";
    ASSERT_EQ(b.write(path.c_str()), 1);
    ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    std::vector<std::string> names;
    const std::vector<symbol_id> users = range_users(find_symbol("region"));
    {
        model_lock_guard g(cur_model_symbols, 0);
        ASSERT_TRUE(g.ok());
        for (symbol_id id : users) names.push_back(sym_name(id));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"flow matrix", "remote"}));
}

} // namespace

// Blanks typed around a name (a tab, a space) are not part of it, at either
// end, whichever button takes it.
TEST_F(VarSelect, BlanksAroundATypedNameAreLeftOut) {
    open_shop();
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "  births \t ").press(idv_exact);
    const char* r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "births");
    answerer::dialog(dlg_variable_dialog).set_text(idv_name, "\tStock  ").press(IDOK);
    r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "Stock");
    // A prefix with a blank after it still completes to the listed name.
    answerer::dialog(dlg_variable_dialog)
        .call([](HWND) {
            td::type_text("birth r ");
            td::run_until_idle();
        })
        .press(IDOK);
    r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "birth rate");
}

namespace {

class VarSelectKinds : public VarSelect {
protected:
    void open_kinds() {
        model_builder b("kinds");
        b.constant("2nd stock", 2);
        b.time_base("months", "Time * 12", 12, 0);
        b.game_input("order rate", "5");
        b.constraint("stock positive", "1");
        b.data("sales");
        b.initial("start stock", "3");
        b.aux("plain", "2");
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        std::string path = dir + "/kinds.kmf";
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    }
};

// Time bases, game inputs, constraints, data and initial values are
// variables the user picks like any other; a name that needs quotes is
// listed quoted and completes whether the typed prefix has its quote or not.
TEST_F(VarSelectKinds, EveryKindIsListedAndQuotedNamesComplete) {
    ASSERT_NO_FATAL_FAILURE(open_kinds());
    std::vector<std::string> shown;
    answerer::dialog(dlg_variable_dialog)
        .call([&](HWND d) { shown = list_items(d); })
        .press(IDCANCEL);
    EXPECT_EQ(choose_variable(nullptr, nullptr, -1, 1, 0, nullptr), nullptr);
    for (const char* n : {"months", "order rate", "stock positive", "sales", "start stock", "plain",
                          "\"2nd stock\""})
        EXPECT_TRUE(contains(shown, n)) << n;

    std::string with_quote, without_quote;
    answerer::dialog(dlg_variable_dialog)
        .call([](HWND) {
            td::type_text("\"2nd");
            td::run_until_idle();
        })
        .press(IDOK);
    const char* r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    with_quote = r;
    answerer::dialog(dlg_variable_dialog)
        .call([](HWND) {
            td::type_text("2nd");
            td::run_until_idle();
        })
        .press(IDOK);
    r = choose_variable(nullptr, nullptr, -1, 1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    without_quote = r;
    EXPECT_NE(with_quote.find("2nd stock"), std::string::npos) << with_quote;
    EXPECT_EQ(with_quote, without_quote);
}

} // namespace
