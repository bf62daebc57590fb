// Questions and checks the user answers before something goes: the replace
// dialog showing both texts it was given and giving back what was typed, the
// questions before a model is replaced (never the settings file's write),
// and start-up arguments naming models in capitals.
#include "shell_fixture.h"

#include "resources/dialogs.h"
#include "resources/modelpages.h"
#include "shell/controls/longlist.h"
#include "shell/reorder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

class ReplaceQuestion : public ShellDialogTest {};

// Both fields show the texts given; OK gives the two texts typed, the first
// ended by a zero byte; Cancel gives nothing.
TEST_F(ReplaceQuestion, BothTextsAreShownAndBothComeBack) {
    std::string shown_search, shown_replace;
    answerer::dialog(dlg_ask_replace_two)
        .call([&](HWND d) {
            char buf[128] = {};
            GetDlgItemText(d, idc_search, buf, sizeof buf);
            shown_search = buf;
            GetDlgItemText(d, idc_replace, buf, sizeof buf);
            shown_replace = buf;
        })
        .set_text(idc_replace, "growth")
        .press(IDOK);
    const char* out = ask_replace_text(nullptr, "Replace", "births", "inflow");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(shown_search, "births");
    EXPECT_EQ(shown_replace, "inflow");
    EXPECT_STREQ(out, "births");
    EXPECT_STREQ(out + std::strlen(out) + 1, "growth");

    answerer::dialog(dlg_ask_replace_two).press(IDCANCEL);
    EXPECT_EQ(ask_replace_text(nullptr, "Replace", "a", "b"), nullptr);
    // One text: the one-field dialog, its text back alone.
    answerer::dialog(dlg_ask_replace_one).set_text(idc_answer, "deaths").press(IDOK);
    const char* one = ask_replace_text(nullptr, "Find", "births", nullptr);
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one, "deaths");
}

// A list asked for without its items shows an empty list, whatever count
// came with it.
TEST_F(ReplaceQuestion, AListWithoutItemsIsEmpty) {
    int shown = -1;
    answerer::dialog(dlg_ask_list)
        .call([&](HWND d) {
            shown = static_cast<int>(SendDlgItemMessage(d, idc_answer, LB_GETCOUNT, 0, 0));
        })
        .press(IDCANCEL);
    EXPECT_EQ(ask_list("Choose", nullptr, 3, 0), -1);
    EXPECT_EQ(shown, 0);
}

std::vector<std::string>& asked() {
    static std::vector<std::string> a;
    return a;
}
int ask_settings() {
    asked().push_back("settings");
    return 1;
}
int ask_model() {
    asked().push_back("model");
    return 1;
}
int refuse_sketches() {
    asked().push_back("sketches");
    return 0;
}
int ask_graphs() {
    asked().push_back("graphs");
    return 1;
}

class ModelChange : public ShellWorkbenchTest {};

// Replacing the model asks every question but the settings file's (that is
// written at exit, not when a model goes), in order, and stops at the first
// refusal; the exit checks ask the settings too.
TEST_F(ModelChange, AsksEveryQuestionButTheSettingsWrite) {
    asked().clear();
    exit_steps() = {{"settings", ask_settings, nullptr},
                    {"model", ask_model, nullptr},
                    {"graph sets", ask_graphs, nullptr}};
    EXPECT_EQ(confirm_model_change(), 1);
    EXPECT_EQ(asked(), (std::vector<std::string>{"model", "graphs"}));
    asked().clear();
    exit_steps().insert(exit_steps().begin() + 2, exit_step{"sketches", refuse_sketches, nullptr});
    EXPECT_EQ(confirm_model_change(), 0);
    EXPECT_EQ(asked(), (std::vector<std::string>{"model", "sketches"}));
    asked().clear();
    EXPECT_EQ(run_exit_checks(), 0);
    EXPECT_EQ(asked(), (std::vector<std::string>{"settings", "model", "sketches"}));
    restore_exit_steps();
}

// One entry to put in order is still listed, and OK gives it back in its
// place.
TEST_F(ModelChange, ReorderingASingleEntryListsIt) {
    make_workbench();
    const char* texts[] = {"only"};
    std::int32_t order[1] = {-1};
    reorder_params p{"Reorder", order, texts, 1};
    LRESULT listed = -1;
    answerer::dialog(dlg_reorder)
        .call([&](HWND d) { listed = SendMessage(GetDlgItem(d, idr_list), ll_count, 0, 0); })
        .press(IDOK);
    EXPECT_EQ(reorder_list(p), 1);
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(order[0], 0);
}

// Model names in capitals are model names: two of them are two models, not
// one name with a blank in it.
TEST(StartArgumentsCase, ModelExtensionsInAnyCase) {
    for (const char* ext : {".KMF", ".Kmf", ".KPM", ".KDF"}) {
        const std::string a = std::string("/no/such/first") + ext;
        const std::string b = std::string("/no/such/second") + ext;
        const start_arguments args = parse_start_arguments({a, b});
        EXPECT_NE(args.error.find("more than one model named"), std::string::npos)
            << ext << ": " << args.error;
    }
    // A name of two words that is one model stays one name.
    const start_arguments one = parse_start_arguments({"/no/such/my", "model.KMF"});
    EXPECT_TRUE(one.error.empty()) << one.error;
    EXPECT_EQ(one.name, "/no/such/my model.KMF");
}

// A lone "-" is no switch: it is taken as a name like any other word; a
// dash with letters is a switch, unknown ones refused.
TEST(StartArgumentsCase, ALoneDashIsNoSwitch) {
    const start_arguments dash = parse_start_arguments({"-"});
    EXPECT_TRUE(dash.error.empty()) << dash.error;
    EXPECT_EQ(dash.name, "-");
    const start_arguments x = parse_start_arguments({"-x"});
    EXPECT_NE(x.error.find("unknown option -x"), std::string::npos) << x.error;
    const start_arguments path = parse_start_arguments({"-models/pop.kmf"});
    EXPECT_TRUE(path.error.empty()) << "a name with a folder is a name";
}

// The settings remember the open model by its whole path, however it was
// named when opened, so the next start finds it from any folder.
TEST_F(ModelChange, TheSettingsKeepTheModelsWholePath) {
    const std::string model = sample("population.kmf");
    std::filesystem::create_directory(dir + "/sub");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir + "/sub");
    make_workbench();
    const int opened = shell_open_model(1, 0, "../population.kmf", 0);
    std::filesystem::current_path(before);
    ASSERT_EQ(opened, 1);
    write_settings(1);
    EXPECT_EQ(ini_get_string("Model", ""),
              std::filesystem::path(model).lexically_normal().string());
}

} // namespace
