// Opening models the user named: every failure is shown with its reason, a
// protected model asks for its password, and the model open before stays
// open when the new one cannot be opened.
#include "shell_fixture.h"

#include "shell/password.h"
#include "tests/support/model_builder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

class OpenModel : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        set_password_hook(ask_model_password_dialog);
    }
    void TearDown() override {
        set_password_hook(nullptr);
        ShellWorkbenchTest::TearDown();
    }
    std::string write_file(const char* leaf, const std::string& bytes) {
        std::string path = dir + "/" + leaf;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string protected_model() {
        model_builder b("secret");
        b.constant("x", 2);
        b.password("open sesame");
        std::string path = dir + "/secret.kmf";
        EXPECT_EQ(b.write(path.c_str()), 1);
        return path;
    }
};

TEST_F(OpenModel, EveryFailureIsShownWithItsReason) {
    std::string good = sample("population.kmf");
    std::string bytes = read_file(good);
    std::filesystem::create_directory(dir + "/folder.kmf");
    struct row {
        std::string path;
        const char* what;
    };
    std::vector<row> rows = {
        {dir + "/missing.kmf", "a missing file"},
        {write_file("empty.kmf", ""), "an empty file"},
        {write_file("text.kmf", "x = 1\n~~|\n"), "a text file renamed"},
        {write_file("cut.kmf", bytes.substr(0, bytes.size() / 2)), "a truncated model"},
        {dir + "/folder.kmf", "a folder"},
    };
    if (geteuid() != 0) { // root reads whatever the permissions say
        std::string locked = sample("population.kmf", "locked.kmf");
        chmod(locked.c_str(), 0);
        rows.push_back({locked, "an unreadable file"});
    }
    for (const row& r : rows) {
        // With no model open and with one: the box names the file and a
        // reason besides the file's name; the model before stays.
        for (bool with_model : {false, true}) {
            if (with_model)
                ASSERT_EQ(shell_open_model(1, 0, good.c_str(), 0), 1);
            else
                shell_open_model(0, 1, "", 0);
            std::size_t seen_before = answerer::seen().size();
            answerer::box("Stop from Kavrel").text(r.path).press(IDOK);
            EXPECT_EQ(shell_open_model(1, 0, r.path.c_str(), 0), 0) << r.what;
            ASSERT_EQ(answerer::seen().size(), seen_before + 1) << r.what;
            std::string text = answerer::seen().back().text;
            std::string reason = text.substr(text.find("\n\n") + 2);
            EXPECT_FALSE(reason.empty()) << r.what << ": " << text;
            EXPECT_EQ(reason.find("The reason is in the error log"), std::string::npos)
                << r.what << ": " << text;
            if (with_model)
                EXPECT_NE(title().find("population.kmf"), std::string::npos) << r.what;
            else
                EXPECT_NE(title().find("No Model Open"), std::string::npos) << r.what << title();
        }
    }
}

TEST_F(OpenModel, APasswordIsAskedForWithTheModelsNameAndGetsThreeTries) {
    std::string good = sample("population.kmf");
    std::string secret = protected_model();
    std::vector<std::string> captions, notes;
    auto note_dialog = [&](HWND d) {
        char buf[200] = {};
        GetWindowText(d, buf, sizeof buf);
        captions.push_back(buf);
        GetDlgItemText(d, idc_password_note, buf, sizeof buf);
        notes.push_back(buf);
        EXPECT_EQ(GetWindowLongPtr(GetDlgItem(d, idc_password), GWL_STYLE) & ES_PASSWORD,
                  static_cast<LONG_PTR>(ES_PASSWORD));
    };

    // Three wrong passwords: one box at the end, the model before stays.
    ASSERT_EQ(shell_open_model(1, 0, good.c_str(), 0), 1);
    for (const char* wrong : {"a", "b", "c"})
        answerer::dialog(dlg_password).call(note_dialog).set_text(idc_password, wrong).press(IDOK);
    answerer::box("Stop from Kavrel").text("not correct").press(IDOK);
    EXPECT_EQ(shell_open_model(1, 0, secret.c_str(), 0), 0);
    ASSERT_EQ(captions.size(), 3u);
    EXPECT_EQ(captions[0], "Password for secret.kmf");
    EXPECT_EQ(notes[0], "");
    EXPECT_NE(notes[1].find("not correct"), std::string::npos) << notes[1];
    EXPECT_NE(notes[2].find("3 of 3"), std::string::npos) << notes[2];
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();

    // Cancel: no box, the model before stays.
    answerer::dialog(dlg_password).press(IDCANCEL);
    EXPECT_EQ(shell_open_model(1, 0, secret.c_str(), 0), 0);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();

    // A wrong one, then the right one: the model opens.
    answerer::dialog(dlg_password).set_text(idc_password, "open sesam").press(IDOK);
    answerer::dialog(dlg_password).set_text(idc_password, "open sesame").press(IDOK);
    EXPECT_EQ(shell_open_model(1, 0, secret.c_str(), 0), 1);
    EXPECT_NE(title().find("secret.kmf"), std::string::npos) << title();
}

TEST_F(OpenModel, BoxesOfAModelThatOpensAreStillShown) {
    // A message that is not a failure reaches the screen as before.
    std::string good = sample("population.kmf");
    message_hold outer;
    EXPECT_EQ(shell_open_model(1, 0, good.c_str(), 0), 1);
    report(7, "after the open");
    EXPECT_FALSE(outer.empty());
    answerer::box("Caution from Kavrel").text("after the open").press(IDOK);
    outer.release();
    EXPECT_TRUE(outer.empty());
}

TEST_F(OpenModel, TheTitleShowsTheAbsolutePathOfARelativeName) {
    sample("population.kmf");
    std::filesystem::create_directory(dir + "/sub");
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir + "/sub");
    EXPECT_EQ(shell_open_model(1, 0, "../population.kmf", 0), 1);
    std::filesystem::current_path(before);
    EXPECT_NE(title().find(dir + "/population.kmf"), std::string::npos) << title();
    EXPECT_EQ(title().find(".."), std::string::npos) << title();
    ASSERT_FALSE(recent_model_paths().empty());
    EXPECT_EQ(recent_model_paths()[0], dir + "/population.kmf");
}

// The password box names the model by its file name alone, whichever
// separator its path uses; a first try (or a try number below one) shows no
// note, a later one says which try it is.
TEST_F(OpenModel, ThePasswordBoxNamesTheFileAndCountsTheTries) {
    std::vector<std::string> captions, notes;
    auto note_dialog = [&](HWND d) {
        char buf[200] = {};
        GetWindowText(d, buf, sizeof buf);
        captions.push_back(buf);
        GetDlgItemText(d, idc_password_note, buf, sizeof buf);
        notes.push_back(buf);
    };
    char typed[64] = {};
    begin_password_try(0);
    answerer::dialog(dlg_password).call(note_dialog).set_text(idc_password, "pw").press(IDOK);
    EXPECT_EQ(ask_model_password_dialog("C:\\models\\secret.kmf", typed, sizeof typed), 1);
    EXPECT_STREQ(typed, "pw");
    begin_password_try(2);
    answerer::dialog(dlg_password).call(note_dialog).press(IDCANCEL);
    EXPECT_EQ(ask_model_password_dialog("/home/me/models/secret.kmf", typed, sizeof typed), 0);
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0], "Password for secret.kmf");
    EXPECT_EQ(captions[1], "Password for secret.kmf");
    EXPECT_EQ(notes[0], "");
    EXPECT_NE(notes[1].find("try 2 of"), std::string::npos) << notes[1];
    // A password that fills the caller's buffer arrives whole; a longer one
    // is cut to it and still ended.
    char four[5] = {};
    begin_password_try(1);
    answerer::dialog(dlg_password).set_text(idc_password, "abcd").press(IDOK);
    EXPECT_EQ(ask_model_password_dialog("secret.kmf", four, sizeof four), 1);
    EXPECT_STREQ(four, "abcd");
    answerer::dialog(dlg_password).set_text(idc_password, "abcdefg").press(IDOK);
    EXPECT_EQ(ask_model_password_dialog("secret.kmf", four, sizeof four), 1);
    EXPECT_STREQ(four, "abcd");
    begin_password_try(1);
}

} // namespace
