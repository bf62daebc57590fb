// The file choice dialog as a user types into it and climbs folders: blanks
// around a typed name, hidden files and folders left out of the list, and
// the Up button going to the parent folder.
#include "shell_fixture.h"

#include "platform/controls.h"
#include "shell/filechoice.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FileChoiceTyping : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        dir_ = testing::TempDir() + "shell_typing_" + std::to_string(++counter_);
        fs::remove_all(dir_);
        fs::create_directories(dir_ + "/sub dir/deeper");
        fs::create_directories(dir_ + "/.hidden dir");
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ShellDialogTest::TearDown();
    }
    void touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << "x"; }
    static std::vector<std::string> listed(HWND d) {
        return test_driver::list_texts(GetDlgItem(d, fdc_list));
    }
    static void press_up(HWND d) {
        SendMessage(d, WM_COMMAND, MAKEWPARAM(fdc_up, BN_CLICKED),
                    reinterpret_cast<LPARAM>(GetDlgItem(d, fdc_up)));
    }
    std::string dir_;
    static int counter_;
};
int FileChoiceTyping::counter_ = 0;

TEST_F(FileChoiceTyping, BlanksAroundATypedNameAreLeftOut) {
    touch("pop.kmf");
    for (const char* typed : {"  pop.kmf", "pop.kmf  ", " \t pop.kmf \t"}) {
        answerer::dialog(dlg_file_choice).set_text(fdc_name, typed).press(IDOK);
        char* p = choose_model_file((dir_ + "/").c_str());
        ASSERT_NE(p, nullptr) << typed;
        EXPECT_EQ(std::string(p), dir_ + "/pop.kmf") << "[" << typed << "]";
    }
    // Blanks before a folder's name: the folder is entered.
    std::vector<std::string> inside;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            SetDlgItemText(d, fdc_name, "   sub dir");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            inside = listed(d);
        })
        .press(IDCANCEL);
    EXPECT_EQ(choose_model_file((dir_ + "/").c_str()), nullptr);
    EXPECT_EQ(inside, std::vector<std::string>{"[deeper]"});
}

TEST_F(FileChoiceTyping, HiddenFilesAndFoldersAreNotListed) {
    touch("b.kmf");
    touch(".a.kmf");
    touch(".hidden dir/in.kmf");
    std::vector<std::string> shown;
    answerer::dialog(dlg_file_choice).call([&](HWND d) { shown = listed(d); }).press(IDCANCEL);
    EXPECT_EQ(choose_model_file((dir_ + "/").c_str()), nullptr);
    EXPECT_EQ(shown, (std::vector<std::string>{"[sub dir]", "b.kmf"}));
}

TEST_F(FileChoiceTyping, UpGoesToTheParentFolderEachTime) {
    touch("top.kmf");
    touch("sub dir/deeper/low.kmf");
    // The folder text may be shortened to fit its box: what each folder holds
    // and the file finally chosen say where the dialog is.
    std::vector<std::vector<std::string>> lists;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            lists.push_back(listed(d));
            press_up(d);
            lists.push_back(listed(d));
            press_up(d);
            lists.push_back(listed(d));
        })
        .set_text(fdc_name, "top.kmf")
        .press(IDOK);
    char* p = choose_model_file((dir_ + "/sub dir/deeper/").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/top.kmf");
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0], std::vector<std::string>{"low.kmf"});
    EXPECT_EQ(lists[1], std::vector<std::string>{"[deeper]"});
    EXPECT_EQ(lists[2], (std::vector<std::string>{"[sub dir]", "top.kmf"}));
}

// In the list a click on a folder only selects it; a double click enters it.
// A double click on a file chooses it.
TEST_F(FileChoiceTyping, ADoubleClickedFolderIsEnteredAndADoubleClickedFileChosen) {
    touch("top.kmf");
    touch("sub dir/inner.kmf");
    std::vector<std::string> after_click, after_double;
    answerer::dialog(dlg_file_choice).call([&](HWND d) {
        HWND list = GetDlgItem(d, fdc_list);
        auto act = [&](int index, WORD code) {
            SendMessage(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(fdc_list, code), reinterpret_cast<LPARAM>(list));
        };
        ASSERT_EQ(listed(d), (std::vector<std::string>{"[sub dir]", "top.kmf"}));
        act(0, LBN_SELCHANGE);
        after_click = listed(d);
        act(0, LBN_DBLCLK);
        after_double = listed(d);
        act(1, LBN_DBLCLK); // inner.kmf
    });
    char* p = choose_model_file((dir_ + "/").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), dir_ + "/sub dir/inner.kmf");
    EXPECT_EQ(after_click, (std::vector<std::string>{"[sub dir]", "top.kmf"}));
    EXPECT_EQ(after_double, (std::vector<std::string>{"[deeper]", "inner.kmf"}));
}

} // namespace
