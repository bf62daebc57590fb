// The Datasets page of the Control Panel over run files beside the
// population sample: what the two lists show, loading and unloading, the
// active runs, Delete's questions, the Info texts, Load From and the dataset
// field's file chooser.
#include "shell_fixture.h"
#include "shot.h"

#include "foundation/files.h"
#include "foundation/package_write.h"
#include "foundation/paths.h"
#include "model/context.h"
#include "platform/controls.h"
#include "resources/datasets.h"
#include "resources/dialogs.h"
#include "resources/panel.h"
#include "runs/runfile.h"
#include "runs/runinfo.h"
#include "runs/select.h"
#include "shell/controlpanel.h"
#include "shell/datasets.h"
#include "shell/wiring.h"
#include "tests/support/run_builder.h"

#include <QImage>

#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

int open_descriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

class DatasetsPage : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1000, 800, TRUE);
        layout_frame(main_wnd);
        const std::string model = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
        control_tab = 0;
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
    }
    void TearDown() override {
        close_model(0, 0);
        unload_runs(1);
        ShellWorkbenchTest::TearDown();
    }
    // A run of the open model in the model's folder (or another folder).
    std::string write_run(const std::string& name, const std::string& folder = "",
                          const std::string& comment = "", float payoff = 0) {
        run_builder rb(cur_model_symbols);
        rb.times({0, 1, 2});
        rb.origin("population run");
        rb.info("sim  " + name, comment);
        if (payoff != 0) rb.type('P').payoff(payoff);
        const std::string path = (folder.empty() ? dir : folder) + "/" + name + ".kdf";
        EXPECT_EQ(rb.write(path), 1) << rb.error();
        return path;
    }
    HWND open_page() {
        control_panel(1, -1, -1, -1, -1);
        td::run_until_idle();
        if (!control_wnd) return nullptr;
        select_tab(control_wnd, tab_datasets, true);
        td::run_until_idle();
        return datasets_page();
    }
    static std::vector<std::string> items(HWND page, int id,
                                          std::vector<bool>* selected = nullptr) {
        HWND list = GetDlgItem(page, id);
        std::vector<std::string> out;
        if (selected) selected->clear();
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            out.push_back(test_driver::list_text(list, i));
            if (selected) selected->push_back(SendMessage(list, LB_GETSEL, i, 0) > 0);
        }
        return out;
    }
    static void highlight(HWND page, int id, const std::vector<std::string>& names) {
        HWND list = GetDlgItem(page, id);
        SendMessage(list, LB_SETSEL, FALSE, -1);
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char buf[512] = {};
            SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            for (const std::string& s : names)
                if (s == buf) {
                    SendMessage(list, LB_SETSEL, TRUE, i);
                    SendMessage(list, LB_SETCARETINDEX, static_cast<WPARAM>(i), 0);
                }
        }
    }
    static void press(HWND page, int id) {
        SendMessage(GetDlgItem(page, id), BM_CLICK, 0, 0);
        td::run_until_idle();
    }
    static std::vector<std::string> selected_runs() {
        std::vector<std::string> out;
        const int n = loaded_run_names(1);
        for (int i = 0; i < n; ++i) out.emplace_back(selected_run_names[i]);
        return out;
    }
    void load(const char* name) { ASSERT_EQ(load_runs(model_rec, -1, name, 1, 0), 1) << name; }
};

TEST_F(DatasetsPage, ListsTheModelsFolderAndTheLoadedRunsWithTheActiveOne) {
    for (const char* n : {"alpha", "Beta", "gamma", "delta", "epsilon"}) write_run(n);
    write_run("blank & 'quoted' \xE9t\xE9");
    // Upper-case extensions count too.
    std::filesystem::rename(write_run("Loud"), dir + "/Loud.KDF");
    // A run file in the current directory but not the model's is not listed.
    const std::string elsewhere = dir + "/elsewhere";
    std::filesystem::create_directory(elsewhere);
    write_run("stray", elsewhere);
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(elsewhere.c_str()), 0);
    load("delta");
    load("epsilon");
    const char* active[] = {"delta"};
    ASSERT_EQ(set_runs1(1, active, 1), 1);
    model_rec->active_count = 1;
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    std::vector<bool> sel;
    EXPECT_EQ(
        items(page, idd_available),
        (std::vector<std::string>{"alpha", "Beta", "blank & 'quoted' \xE9t\xE9", "gamma", "Loud"}));
    EXPECT_EQ(items(page, idd_loaded, &sel), (std::vector<std::string>{"delta", "epsilon"}));
    EXPECT_EQ(sel, (std::vector<bool>{true, false}));
    // Side by side, tidy: the lists share the height between the buttons.
    RECT a{}, l{}, p{};
    GetWindowRect(GetDlgItem(page, idd_available), &a);
    GetWindowRect(GetDlgItem(page, idd_loaded), &l);
    GetClientRect(page, &p);
    EXPECT_EQ(a.top, l.top);
    EXPECT_EQ(a.bottom, l.bottom);
    EXPECT_LT(a.right, l.left);
    EXPECT_GT(a.bottom - a.top, 40);
    const QImage shot = save_shot(control_wnd, "datasets_page.png");
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(distinct_colours(shot), 2);

    // A name with blanks, quotes, "&" and other bytes loads as it is.
    highlight(page, idd_available, {"blank & 'quoted' \xE9t\xE9"});
    press(page, idd_load);
    EXPECT_EQ(selected_runs().size(), 3u);
    EXPECT_EQ(items(page, idd_available).size(), 4u);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST_F(DatasetsPage, LoadUnloadAndTheActiveRuns) {
    for (const char* n : {"one", "two", "three"}) write_run(n);
    // A run file cut short.
    std::filesystem::resize_file(write_run("broken"), 400);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(items(page, idd_available),
              (std::vector<std::string>{"broken", "one", "three", "two"}));
    // ">>" loads from the last highlighted to the first; the damaged file says
    // why (the reader's line in the message list) and stays available.
    highlight(page, idd_available, {"broken", "one", "two"});
    answerer::box(severity_caption(8)).text("Unable to load\nRun: broken").press(IDOK);
    press(page, idd_load);
    EXPECT_EQ(answerer::pending(), 0u);
    // The box itself says why, not only the error log.
    bool box_says_why = false;
    for (const answerer::Seen& s : answerer::seen())
        if (s.message_box && s.text.find("Run: broken") != std::string::npos)
            box_says_why = s.text.find("\n\nCorrupted kdf file") != std::string::npos;
    EXPECT_TRUE(box_says_why);
    int lines = 0;
    const char* const* said = message_list_lines(&lines);
    bool corrupted = false;
    for (int i = 0; i < lines; ++i)
        corrupted |= std::string(said[i]).find("Corrupted kdf file") != std::string::npos;
    EXPECT_TRUE(corrupted);
    const std::vector<std::string> loaded = selected_runs();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"broken", "three"}));
    EXPECT_EQ(items(page, idd_loaded), loaded);
    // Loaded from the last to the first, each new run going in front: the
    // loaded runs keep the available list's order.
    std::vector<std::string> order;
    for (int k = 0; k < model_rec->run_count; ++k)
        order.emplace_back(ctx_text(model_rec, model_rec->runs[k].name));
    EXPECT_EQ(order, (std::vector<std::string>{"one", "two"}));

    // Highlighting one loaded run makes it the active one, in front.
    highlight(page, idd_loaded, {"two"});
    SendMessage(page, WM_COMMAND, MAKEWPARAM(idd_loaded, LBN_SELCHANGE),
                reinterpret_cast<LPARAM>(GetDlgItem(page, idd_loaded)));
    td::run_until_idle();
    EXPECT_EQ(selected_runs().front(), "two");
    EXPECT_EQ(model_rec->active_count, 1);
    std::vector<bool> sel;
    items(page, idd_loaded, &sel);
    EXPECT_EQ(sel, (std::vector<bool>{true, false}));

    // A double click on the available list loads as ">>" does; on the loaded
    // list, with only the first run highlighted, it unloads as "<<" does.
    highlight(page, idd_available, {"three"});
    SendMessage(page, WM_COMMAND, MAKEWPARAM(idd_available, LBN_DBLCLK),
                reinterpret_cast<LPARAM>(GetDlgItem(page, idd_available)));
    td::run_until_idle();
    ASSERT_EQ(selected_runs().size(), 3u);
    highlight(page, idd_loaded, {selected_runs().front()});
    const std::string first = selected_runs().front();
    SendMessage(page, WM_COMMAND, MAKEWPARAM(idd_loaded, LBN_DBLCLK),
                reinterpret_cast<LPARAM>(GetDlgItem(page, idd_loaded)));
    td::run_until_idle();
    EXPECT_EQ(selected_runs().size(), 2u);
    for (const std::string& n : selected_runs()) EXPECT_NE(n, first);
    highlight(page, idd_available, {first});
    press(page, idd_load);
    ASSERT_EQ(selected_runs().size(), 3u);
    highlight(page, idd_loaded, {"one", "two", "three"});
    press(page, idd_unload);
    ASSERT_EQ(selected_runs().size(), 0u);
    highlight(page, idd_available, {"one", "two"});
    press(page, idd_load);

    // "<<" unloads the highlighted runs; they are available again.
    highlight(page, idd_loaded, {"two"});
    press(page, idd_unload);
    EXPECT_EQ(selected_runs(), (std::vector<std::string>{"one"}));
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"broken", "three", "two"}));
}

TEST_F(DatasetsPage, DeleteAsksAndNeverTakesARunInUse) {
    for (const char* n : {"keep", "old1", "old2", "stale", "used"}) write_run(n);
    // "used" is loaded and another model context refers to it; "stale" is
    // loaded and nothing refers to it (a closed model's run).
    static int used_run = -1;
    used_run = kdf_open((dir + "/used.kdf").c_str());
    ASSERT_GE(used_run, 0);
    set_run_reference_hook([](int run, std::uint16_t) { return run == used_run; });
    struct restore_hook {
        ~restore_hook() { register_run_context(nullptr); }
    } restore;
    ASSERT_GE(kdf_open((dir + "/stale.kdf").c_str()), 0);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(items(page, idd_available),
              (std::vector<std::string>{"keep", "old1", "old2", "stale", "used"}));

    // The stale run is no longer in use: it is unloaded and deleted.
    highlight(page, idd_available, {"stale"});
    answerer::box(question_caption)
        .text("This will delete stale and 0 others permanently.  Continue?")
        .press(IDYES);
    press(page, idd_delete);
    EXPECT_FALSE(std::filesystem::exists(dir + "/stale.kdf"));
    EXPECT_LT(find_run((dir + "/stale.kdf").c_str()), 0);

    highlight(page, idd_available, {"used"});
    answerer::box(severity_caption(8))
        .text("Highlighted run(s) in use with another model, can't delete")
        .press(IDOK);
    press(page, idd_delete);
    EXPECT_TRUE(std::filesystem::exists(dir + "/used.kdf"));

    highlight(page, idd_available, {"old1", "used"});
    answerer::box(question_caption)
        .text("1 of 2 runs are in use with another model and can't be deleted.  Continue with 1 "
              "others?")
        .press(IDNO);
    press(page, idd_delete);
    EXPECT_TRUE(std::filesystem::exists(dir + "/old1.kdf"));
    answerer::box(question_caption).text("Continue with 1 others?").press(IDYES);
    press(page, idd_delete);
    EXPECT_FALSE(std::filesystem::exists(dir + "/old1.kdf"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/used.kdf"));

    highlight(page, idd_available, {"old2"});
    answerer::box(question_caption)
        .text("This will delete old2 and 0 others permanently.  Continue?")
        .press(IDYES);
    press(page, idd_delete);
    EXPECT_FALSE(std::filesystem::exists(dir + "/old2.kdf"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/keep.kdf"));
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"keep", "used"}));
    EXPECT_EQ(answerer::pending(), 0u);
}

TEST_F(DatasetsPage, AClickSelectsOneRunAndCtrlClickAddsOne) {
    for (const char* n : {"a", "b", "c"}) write_run(n);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    HWND list = GetDlgItem(page, idd_available);
    auto click_item = [&](int i, unsigned mods) {
        RECT r{};
        SendMessage(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        td::click(list, (r.left + r.right) / 2, (r.top + r.bottom) / 2, td::Button::left, mods);
        td::run_until_idle();
    };
    auto selected = [&] {
        std::vector<int> out;
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i)
            if (SendMessage(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) out.push_back(i);
        return out;
    };
    click_item(0, 0);
    click_item(2, 0);
    EXPECT_EQ(selected(), std::vector<int>{2}); // the first click's run is not kept
    click_item(0, td::ctrl);
    EXPECT_EQ(selected(), (std::vector<int>{0, 2}));
}

TEST_F(DatasetsPage, InfoOfLoadedUnloadedAndDamagedRuns) {
    write_run("plain");
    write_run("noted", "", "a comment", 2.5f);
    std::ofstream(dir + "/junk.kdf") << std::string(400, 'x');
    load("plain");
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    SendMessage(GetDlgItem(page, idd_available), LB_SETCARETINDEX, static_cast<WPARAM>(-1), 0);

    highlight(page, idd_loaded, {"plain"});
    answerer::box(severity_caption(6))
        .text("Information about run plain\nOrigin: population run\nCommand line: sim  plain")
        .press(IDOK);
    press(page, idd_loaded_info);

    const int before = open_descriptors();
    highlight(page, idd_available, {"noted"});
    answerer::box(severity_caption(6))
        .text("Information about run noted\nOrigin: population run\nCommand line: sim  "
              "noted\nComment: a comment\nPayoff = 2.5")
        .press(IDOK);
    press(page, idd_available_info);
    highlight(page, idd_available, {"junk"});
    answerer::box(severity_caption(8)).text("Unable to get info").press(IDOK);
    press(page, idd_available_info);
    // Neither read left its file open.
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(answerer::pending(), 0u);
    for (const answerer::Seen& s : answerer::seen())
        if (s.message_box && s.text.find("Information") == 0) {
            EXPECT_NE(s.text.back(), '\n') << s.text;
        }
}

TEST_F(DatasetsPage, LoadFromIsRememberedAndListsFollowTheRunsChangedHook) {
    const std::string elsewhere = dir + "/other";
    std::filesystem::create_directory(elsewhere);
    const std::string path = write_run("far", elsewhere);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    answerer::dialog(dlg_file_choice).set_text(fdc_name, path).press(IDOK);
    press(page, idd_load_from);
    EXPECT_EQ(selected_runs().size(), 1u);
    EXPECT_EQ(items(page, idd_loaded).size(), 1u);
    // The next choice starts from the name chosen before.
    std::string shown;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            char buf[1024] = {};
            GetDlgItemText(d, fdc_name, buf, sizeof buf);
            shown = buf;
        })
        .press(IDCANCEL);
    press(page, idd_load_from);
    EXPECT_NE(shown.find("far"), std::string::npos) << shown;

    // Filling the loaded list selects without notifying: the active runs are
    // not set again (which would call the runs-changed hook).
    static int changes = 0;
    changes = 0;
    set_runs_changed_hook([] { ++changes; });
    const char* names[] = {"far", "other"};
    fill_loaded_runs_list(names, 2, 2);
    td::run_until_idle();
    set_runs_changed_hook(nullptr);
    EXPECT_EQ(changes, 0);
    std::vector<bool> sel;
    items(page, idd_loaded, &sel);
    EXPECT_EQ(sel, (std::vector<bool>{true, true}));

    // With n = -1 both lists go grey until the page is shown again.
    fill_loaded_runs_list(nullptr, -1, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, idd_loaded)));
    ShowWindow(page, SW_HIDE);
    ShowWindow(page, SW_SHOW);
    td::run_until_idle();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, idd_loaded)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, idd_available)));
}

TEST_F(DatasetsPage, TheDatasetFieldsChooserInsertsAtTheCaret) {
    const std::string path = write_run("chosen");
    HWND edit = CreateWindow(WC_EDIT, "a,,b", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, main_wnd,
                             nullptr, hinst, nullptr);
    ASSERT_NE(edit, nullptr);
    SendMessage(edit, EM_SETSEL, 1, 1); // after "a"
    answerer::dialog(dlg_file_choice).set_text(fdc_name, path).press(IDOK);
    sim_command_file(edit, 0);
    char buf[256] = {};
    GetWindowText(edit, buf, sizeof buf);
    // ",chosen," went in after "a"; the commas were tidied.
    EXPECT_STREQ(buf, "a,chosen,b");
    // Cancel changes nothing.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    sim_command_file(edit, 2);
    GetWindowText(edit, buf, sizeof buf);
    EXPECT_STREQ(buf, "a,chosen,b");
    DestroyWindow(edit);
    EXPECT_EQ(answerer::pending(), 0u);
}

TEST_F(DatasetsPage, RunMembersOfTheOpenPackageAreAvailable) {
    // A package of the sample with a run member, beside a disk run file.
    const std::string run = read_file(write_run("packed"));
    std::filesystem::remove(dir + "/packed.kdf");
    write_run("loose");
    const std::string model = read_file(dir + "/population.kmf");
    package_member ms[] = {{"population.kmf", model.data(), model.size(), member_flag_main},
                           {"packed.kdf", run.data(), run.size(), 0}};
    const std::string kpm = dir + "/bundle.kpm";
    ASSERT_EQ(package_write(kpm.c_str(), ms, 2, nullptr, 0), 1);
    ASSERT_EQ(open_model(1, 0, kpm.c_str(), 0), 1);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"loose", "packed"}));
    highlight(page, idd_available, {"packed"});
    press(page, idd_load);
    EXPECT_EQ(selected_runs(), (std::vector<std::string>{"packed"}));
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"loose"}));
}

TEST(DatasetsFileList, CommasAreTidied) {
    EXPECT_EQ(tidy_file_list(" ,,a,,,b,"), "a,b");
    EXPECT_EQ(tidy_file_list(",run1,"), "run1");
    EXPECT_EQ(tidy_file_list("a b,c"), "a b,c");
    EXPECT_EQ(tidy_file_list(" , ,"), "");
    EXPECT_EQ(tidy_file_list(""), "");
}

TEST(RunFileInfo, DamagedAndForeignBlocksAreCutOrRefused) {
    // A header with no run letter, a wrong guard: refused without a message.
    std::vector<std::uint8_t> bytes(164 + 40, 0);
    bytes[0] = 0x7F;
    bytes[1] = 0xF7;
    bytes[2] = 0x17;
    bytes[3] = 'M';
    bytes[80] = 101;
    run_file_info info;
    EXPECT_FALSE(parse_run_file_info(bytes.data(), bytes.size(), info));
    bytes[3] = 'R';
    std::memcpy(&bytes[4], "origin", 6);
    EXPECT_TRUE(parse_run_file_info(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.origin, "origin");
    EXPECT_FALSE(info.has_info);
    // Word 38 set: an information block follows; with a bad guard it is refused.
    const std::uint32_t one = 1;
    std::memcpy(&bytes[38 * 4], &one, 4);
    EXPECT_FALSE(parse_run_file_info(bytes.data(), bytes.size(), info));
    // A sound head whose text runs past the file's end is cut there.
    const std::uint32_t head[5] = {'H', block_guard, 1000, 1000, 0};
    std::memcpy(&bytes[164], head, sizeof head);
    const std::uint32_t len = 999;
    std::memcpy(&bytes[164 + 20], &len, 4);
    std::memset(&bytes[164 + 24], 'z', bytes.size() - 164 - 24);
    ASSERT_TRUE(parse_run_file_info(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.command_line, std::string(bytes.size() - 164 - 24, 'z'));
    EXPECT_EQ(run_info_message("r", info).find("Command line: zz"), 39u);
}

} // namespace

// The page hidden with the panel while another model opens shows that
// model's runs when the panel comes back: highlighting and "<<" then act on
// runs that are loaded, never on the closed model's.
TEST_F(DatasetsPage, ThePanelReopenedAfterAnotherModelShowsThatModelsRuns) {
    write_run("e1");
    load("e1");
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(items(page, idd_loaded), (std::vector<std::string>{"e1"}));
    SendMessage(control_wnd, WM_COMMAND, idc_close, 0);
    td::run_until_idle();
    ASSERT_FALSE(IsWindowVisible(control_wnd));

    // Another model in a folder of its own, with a run written there.
    const std::string other = dir + "/second";
    std::filesystem::create_directory(other);
    const std::string model = other + "/inventory.kmf";
    std::filesystem::copy_file(sample("inventory.kmf"), model);
    ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
    run_builder rb(cur_model_symbols);
    rb.times({0, 1, 2});
    ASSERT_EQ(rb.write(other + "/i1.kdf"), 1) << rb.error();
    ASSERT_EQ(rb.write(other + "/i2.kdf"), 1) << rb.error();
    load("i1");

    control_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    page = datasets_page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(items(page, idd_loaded), (std::vector<std::string>{"i1"}));
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"i2"}));
    // Highlighting the shown run and "<<" work on the open model's run.
    highlight(page, idd_loaded, {"i1"});
    SendMessage(page, WM_COMMAND, MAKEWPARAM(idd_loaded, LBN_SELCHANGE),
                reinterpret_cast<LPARAM>(GetDlgItem(page, idd_loaded)));
    td::run_until_idle();
    EXPECT_EQ(model_rec->active_count, 1);
    press(page, idd_unload);
    EXPECT_TRUE(selected_runs().empty());
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"i1", "i2"}));
    // No program error reached the log (a box would also fail the test).
    EXPECT_EQ(log_text().find("PROGRAM ERROR"), std::string::npos) << log_text();
}

TEST_F(DatasetsPage, DeletingSeveralNamesTheLastHighlightedAndNoKeepsThemAll) {
    for (const char* n : {"alpha", "beta", "gamma", "delta"}) write_run(n);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    highlight(page, idd_available, {"alpha", "beta", "gamma"});
    answerer::box(question_caption)
        .text("This will delete gamma and 2 others permanently.  Continue?")
        .press(IDNO);
    press(page, idd_delete);
    for (const char* n : {"alpha", "beta", "gamma", "delta"})
        EXPECT_TRUE(std::filesystem::exists(dir + "/" + n + ".kdf")) << n;

    answerer::box(question_caption)
        .text("This will delete gamma and 2 others permanently.  Continue?")
        .press(IDYES);
    press(page, idd_delete);
    for (const char* n : {"alpha", "beta", "gamma"})
        EXPECT_FALSE(std::filesystem::exists(dir + "/" + n + ".kdf")) << n;
    EXPECT_EQ(items(page, idd_available), (std::vector<std::string>{"delta"}));
}
