// The file choice dialog: the filter tables, extensions, the start directory,
// overwrite and existence checks, answered through the dialog's controls.
#include "shell_fixture.h"

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/package.h"
#include "foundation/package_write.h"
#include "model/context.h"
#include "platform/controls.h"
#include "shell/filechoice.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class FileChoice : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        dir_ = testing::TempDir() + "shell_files_" + std::to_string(++counter_);
        fs::remove_all(dir_);
        fs::create_directories(dir_ + "/sub dir");
        cwd_ = fs::current_path();
    }
    void TearDown() override {
        // The process's current directory is never changed by a file choice.
        EXPECT_EQ(fs::current_path(), cwd_);
        if (ctx_) {
            set_model_rec(0);
            free_model_context(ctx_);
        }
        fs::remove_all(dir_);
        ShellDialogTest::TearDown();
    }
    void touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << "x"; }
    // The directory the dialog shows.
    static std::string shown_dir(HWND d) {
        char buf[4096] = {};
        GetDlgItemText(d, fdc_dir, buf, sizeof buf);
        return buf;
    }
    static std::vector<std::string> listed(HWND d) {
        return test_driver::list_texts(GetDlgItem(d, fdc_list));
    }
    std::string dir_;
    fs::path cwd_;
    handle ctx_ = 0;
    static int counter_;
};
int FileChoice::counter_ = 0;

TEST_F(FileChoice, FiltersFollowTheMasksInTableOrder) {
    filter_list one = build_filters(1, 0, 1, 0, nullptr);
    ASSERT_EQ(one.rows.size(), 1u);
    EXPECT_EQ(one.rows[0].first, "Kavrel Models");
    EXPECT_EQ(one.rows[0].second, "*.kmf;*.kpm;*.kpa");
    EXPECT_EQ(one.text, std::string("Kavrel Models\0*.kmf;*.kpm;*.kpa\0\0", 33));
    EXPECT_EQ(one.preselected, 1);

    // Excel (bit 11) is the first shown of bits 11 and 13.
    filter_list two = build_filters(0x2800, 0, 0x800, 0, nullptr);
    ASSERT_EQ(two.rows.size(), 2u);
    EXPECT_EQ(two.rows[0].first, "Microsoft Excel Format");
    EXPECT_EQ(two.preselected, 1);
    EXPECT_EQ(build_filters(0x2800, 0, 0x2000, 0, nullptr).preselected, 2);
    // A default that is not shown preselects the first row.
    EXPECT_EQ(build_filters(0x2800, 0, 0x4, 0, nullptr).preselected, 1);

    // The Open Model rows, the second table after the first.
    filter_list models =
        build_filters(ft_models | ft_binary_models | ft_runs | ft_app_defs | ft_command_scripts,
                      ft2_packaged_models, ft_models, 0, nullptr);
    ASSERT_EQ(models.rows.size(), 6u);
    EXPECT_EQ(models.rows[3].first, "Kavrel Application Definitions");
    EXPECT_EQ(models.rows[5].first, "Kavrel Packaged Models");

    filter_list custom = build_filters(ft_text, 0, ft_text, 0, "*.abc");
    ASSERT_EQ(custom.rows.size(), 2u);
    EXPECT_EQ(custom.rows[1].first, "Special (*.abc)");
    EXPECT_EQ(custom.preselected, 2);
}

TEST_F(FileChoice, FilterPairsCopyWithBothZeros) {
    const char pair[] = "Text File\0*.txt";
    EXPECT_EQ(filter_pair_length(pair), sizeof pair);
    char out[64];
    char* end = copy_filter_pair(out, pair);
    EXPECT_EQ(end - out, static_cast<std::ptrdiff_t>(sizeof pair));
    EXPECT_STREQ(out + 10, "*.txt");
}

TEST_F(FileChoice, ExtensionsAreLookedForAfterTheLastSeparator) {
    EXPECT_TRUE(name_has_extension("file.xlsx"));
    EXPECT_TRUE(name_has_extension("/home/a/file.kmf"));
    EXPECT_TRUE(name_has_extension("report."));
    EXPECT_FALSE(name_has_extension("/home/a.b/file"));
    EXPECT_FALSE(name_has_extension("C:\\x.y\\file"));
    EXPECT_FALSE(name_has_extension("/home/a/.hidden"));
    EXPECT_EQ(row_extension("*.kmf;*.kpm"), ".kmf");
    EXPECT_EQ(row_extension("*.wk1;*.wk?"), ".wk1");
    EXPECT_EQ(row_extension("*.*"), "");
    EXPECT_TRUE(matches_patterns("DATA.XLS", "*.dat;*.xls"));
    EXPECT_TRUE(matches_patterns("sheet.wk3", "*.wk1;*.wk?"));
    EXPECT_FALSE(matches_patterns("sheet.wk33", "*.wk?"));
    EXPECT_TRUE(matches_patterns("noext", "*.*"));
}

TEST_F(FileChoice, EveryKindOfTheSecondTableCanBeOfferedAndPatternsMayHaveBlanks) {
    // The five kinds of the second mask, each offered and the last chosen.
    filter_list all = build_filters(0, 0x1F, 0, 0x10, nullptr);
    ASSERT_EQ(all.rows.size(), 5u);
    EXPECT_EQ(all.rows[0].second, "*.kdo");
    EXPECT_EQ(all.rows[4].first, "Kavrel Packaged Applications");
    EXPECT_EQ(all.rows[4].second, "*.kpa");
    EXPECT_EQ(all.preselected, 5);
    // A list of patterns typed with a blank after each semicolon.
    EXPECT_TRUE(matches_patterns("model.kpm", "*.kmf; *.kpm"));
    EXPECT_TRUE(matches_patterns("model.kpa", "*.kmf;  *.kpm;  *.kpa"));
    EXPECT_FALSE(matches_patterns("model.kdf", "*.kmf; *.kpm"));
}

TEST_F(FileChoice, SavingAddsTheRowsExtensionAndAsksBeforeOverwriting) {
    std::string initial = dir_ + "/start";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "report").press(IDOK);
    char* p = file_dialog("Save report", initial.c_str(), fd_save, ft_text, 0, ft_text, 0, nullptr,
                          nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/report.txt");

    touch("report.txt");
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "report").press(IDOK);
    answerer::box("Question from Kavrel").text("exists").press(IDNO);
    // Refused: the dialog comes back.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    EXPECT_EQ(file_dialog("Save report", initial.c_str(), fd_save, ft_text, 0, ft_text, 0, nullptr,
                          nullptr),
              nullptr);

    answerer::dialog(dlg_file_choice).set_text(fdc_name, "report").press(IDOK);
    answerer::box("Question from Kavrel").text("exists").press(IDYES);
    p = file_dialog("Save report", initial.c_str(), fd_save, ft_text, 0, ft_text, 0, nullptr,
                    nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/report.txt");
}

TEST_F(FileChoice, ANameWithItsOwnExtensionKeepsIt) {
    std::string initial = dir_ + "/x";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "file.xlsx").press(IDOK);
    char* p =
        file_dialog("Save", initial.c_str(), fd_save, ft_models, 0, ft_models, 0, nullptr, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/file.xlsx");
    // A directory with a dot does not count as an extension.
    fs::create_directories(dir_ + "/v1.2");
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "v1.2/model").press(IDOK);
    p = file_dialog("Save", initial.c_str(), fd_save, ft_models, 0, ft_models, 0, nullptr, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/v1.2/model.kmf");
    // A final dot asks for no extension.
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "plain.").press(IDOK);
    p = file_dialog("Save", initial.c_str(), fd_save, ft_models, 0, ft_models, 0, nullptr, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/plain");
    // The custom filter's default extension.
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "odd").press(IDOK);
    p = file_dialog("Save", initial.c_str(), fd_save, ft_text, 0, ft_text, 0, "*.abc", "abc");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/odd.abc");
}

TEST_F(FileChoice, OpenChecksThatTheFileExists) {
    touch("model.kmf");
    std::string initial = dir_ + "/";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "missing").press(IDOK);
    answerer::box("Caution from Kavrel").text("does not exist").press(IDOK);
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "model").press(IDOK);
    char* p = choose_model_file(initial.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/model.kmf");
    EXPECT_EQ(answerer::seen().back().caption, "Name of model to open");
}

TEST_F(FileChoice, TheListShowsDirectoriesAndMatchingFilesAndNavigates) {
    touch("b.kmf");
    touch("a.kdf");
    touch("notes.txt");
    touch("sub dir/inner.kmf");
    std::vector<std::string> first, inside;
    std::string inside_dir;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            first = listed(d);
            // Entering a directory by its name keeps the dialog up.
            SetDlgItemText(d, fdc_name, "sub dir");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            inside = listed(d);
            inside_dir = shown_dir(d);
        })
        .set_text(fdc_name, "inner")
        .press(IDOK);
    char* p = choose_model_file((dir_ + "/").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/sub dir/inner.kmf");
    ASSERT_EQ(first.size(), 2u); // "Kavrel Models": *.kmf;*.kpm;*.kpa
    EXPECT_EQ(first[0], "[sub dir]");
    EXPECT_EQ(first[1], "b.kmf");
    EXPECT_EQ(inside, std::vector<std::string>{"inner.kmf"});
    EXPECT_EQ(inside_dir, dir_ + "/sub dir/");
}

TEST_F(FileChoice, StartsInTheModelsLastUsedDirectoryWhenTheInitialOneIsGone) {
    ctx_ = new_model_context();
    set_model_rec(ctx_);
    std::string last = dir_ + "/sub dir";
    model_rec->directory = ctx_set_text(model_rec, model_rec->directory, last.c_str());
    EXPECT_EQ(start_directory((dir_ + "/no such dir/x.kmf").c_str()), last + "/");
    EXPECT_EQ(start_directory((dir_ + "/x.kmf").c_str()), dir_ + "/");
    std::string shown;
    answerer::dialog(dlg_file_choice).call([&](HWND d) { shown = shown_dir(d); }).press(IDCANCEL);
    EXPECT_EQ(choose_model_file((dir_ + "/no such dir/x.kmf").c_str()), nullptr);
    EXPECT_EQ(shown, last + "/");
}

TEST_F(FileChoice, AnOverlongNameIsRefusedAndTheDialogStays) {
    std::string huge(file_name_max + 10, 'a');
    answerer::dialog(dlg_file_choice)
        .set_text(fdc_name, huge)
        .call([](HWND d) { SendMessage(d, WM_COMMAND, IDOK, 0); })
        .press(IDCANCEL);
    answerer::box("Caution from Kavrel").text("too long").press(IDOK);
    EXPECT_EQ(file_dialog("Save", (dir_ + "/").c_str(), fd_save, ft_text, 0, ft_text, 0, nullptr,
                          nullptr),
              nullptr);
}

TEST_F(FileChoice, APackageMemberIsKeptOnOpenAndDroppedOnlyWhenSavingOverIt) {
    const char bytes[] = "member";
    package_member members[] = {{"inside.kmf", bytes, sizeof bytes, 0},
                                {"both.txt", bytes, sizeof bytes, 0}};
    std::string pkg = dir_ + "/p.kpm";
    ASSERT_EQ(package_write(pkg.c_str(), members, 2, nullptr, 0), 1);
    ASSERT_EQ(open_package(pkg.c_str(), nullptr), 1);
    touch("both.txt");
    std::string both = dir_ + "/both.txt";
    ASSERT_EQ(file_status(both.c_str(), 0), 3);
    // Open: a member only in the package exists; a name in both keeps its member.
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "inside.kmf").press(IDOK);
    char* p = choose_model_file((dir_ + "/").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/inside.kmf");
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "both.txt").press(IDOK);
    p = file_dialog("Open", (dir_ + "/").c_str(), fd_open, ft_text, 0, ft_text, 0, nullptr,
                    nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(file_status(both.c_str(), 0), 3);
    // Save over it: the member goes so that the disk file is what is used.
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "both.txt").press(IDOK);
    answerer::box("Question from Kavrel").text("exists").press(IDYES);
    p = file_dialog("Save", (dir_ + "/").c_str(), fd_save, ft_text, 0, ft_text, 0, nullptr,
                    nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(file_status(both.c_str(), 0), 1);
    close_package();
}

TEST_F(FileChoice, ChangingTheTypeRefillsTheList) {
    touch("x.kmf");
    touch("y.kdf");
    std::vector<std::string> after;
    answerer::dialog(dlg_file_choice)
        .select(fdc_types, 2) // "Datasets (Runs)"
        .call([&](HWND d) { after = listed(d); })
        .press(IDCANCEL);
    EXPECT_EQ(choose_model_file((dir_ + "/").c_str()), nullptr);
    EXPECT_EQ(after, (std::vector<std::string>{"[sub dir]", "y.kdf"}));
}

TEST_F(FileChoice, TheNameHasTheKeyboardFoldersAreFoldersAndEveryKindIsOffered) {
    touch("app.kpa");
    touch("model.kmf");
    bool focused = false;
    DWORD selection = 0;
    std::vector<std::string> types;
    std::string after_missing, after_existing;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            HWND name = GetDlgItem(d, fdc_name);
            focused = GetFocus() == name;
            selection = static_cast<DWORD>(SendMessage(name, EM_GETSEL, 0, 0));
            HWND combo = GetDlgItem(d, fdc_types);
            int n = static_cast<int>(SendMessage(combo, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char buf[256] = {};
                SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(buf));
                types.push_back(buf);
            }
            // A missing folder is said to be one, and the dialog stays.
            SetDlgItemText(d, fdc_name, "no such folder/");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            after_missing = shown_dir(d);
            SetDlgItemText(d, fdc_name, "sub dir/");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            after_existing = shown_dir(d);
            SetDlgItemText(d, fdc_name, "..");
            SendMessage(d, WM_COMMAND, IDOK, 0);
        })
        .set_text(fdc_name, "app.kpa")
        .press(IDOK);
    answerer::box("Caution from Kavrel").text("no such folder/ does not exist").press(IDOK);
    char* p = choose_model_file((dir_ + "/model.kmf").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/app.kpa");
    EXPECT_TRUE(focused);
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), std::string("model.kmf").size()); // typing replaces it
    EXPECT_EQ(after_missing, dir_ + "/");
    EXPECT_EQ(after_existing, dir_ + "/sub dir/");
    std::string all;
    for (const std::string& t : types) all += t + "|";
    EXPECT_NE(all.find("*.kpa"), std::string::npos) << all;
    EXPECT_NE(all.find("All Files"), std::string::npos) << all;

    // With no model and no name, the next choice starts in the folder used.
    std::string shown;
    answerer::dialog(dlg_file_choice).call([&](HWND d) { shown = shown_dir(d); }).press(IDCANCEL);
    EXPECT_EQ(choose_model_file(""), nullptr);
    EXPECT_EQ(shown, dir_ + "/");
}

TEST_F(FileChoice, ALongFolderIsShortenedInTheMiddleAndKeptForTheNextRun) {
    std::string deep = dir_ + "/a-rather-long-folder-name/another-long-folder-name/"
                              "yet-another-long-folder-name/models-for-the-viewer/final-folder";
    fs::create_directories(deep);
    std::ofstream(deep + "/m.kmf") << "x";
    std::string shown;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) { shown = shown_dir(d); })
        .set_text(fdc_name, "m.kmf")
        .press(IDOK);
    char* p = choose_model_file((deep + "/").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), deep + "/m.kmf");
    // The beginning and the folder shown stay; the middle gives way.
    EXPECT_LT(shown.size(), deep.size());
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind(dir_.substr(0, 4), 0), 0u) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 7), "folder/") << shown;
    // The folder is in the settings; after a restart the dialog starts there.
    ASSERT_NE(ini_value(last_folder_key), nullptr);
    EXPECT_EQ(std::string(ini_value(last_folder_key)), deep + "/");
    forget_file_folder();
    EXPECT_EQ(start_directory(nullptr), deep + "/");
    // A folder that is gone is passed over.
    fs::remove_all(dir_ + "/a-rather-long-folder-name");
    forget_file_folder();
    EXPECT_NE(start_directory(nullptr), deep + "/");
    ini_set(last_folder_key, nullptr);
    forget_file_folder();
}

TEST_F(FileChoice, ElidingKeepsWhatFitsAndLeavesShortTextsAlone) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    auto width = [&](const std::string& t) {
        SIZE s{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &s);
        return static_cast<int>(s.cx);
    };
    EXPECT_EQ(elide_middle(dc, "/tmp/short/", 400), "/tmp/short/");
    std::string path = "/home/someone/projects/simulation-models/2026/archive/final/";
    for (int w : {60, 120, 200, width(path) - 1}) {
        std::string e = elide_middle(dc, path, w);
        EXPECT_LE(width(e), w) << e;
        EXPECT_NE(e.find("..."), std::string::npos) << e;
        std::size_t dots = e.find("...");
        EXPECT_EQ(path.rfind(e.substr(0, dots), 0), 0u) << e;
        std::string tail = e.substr(dots + 3);
        EXPECT_EQ(path.substr(path.size() - tail.size()), tail) << e;
    }
    EXPECT_EQ(elide_middle(dc, path, width(path)), path);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

} // namespace
