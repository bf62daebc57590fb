// The model settings pages once more: the Livesweep-on-disk box reads its own
// flag byte, and a removed password leaves the page with empty boxes.
#include "shell/modelsettings.h"

#include "foundation/paths.h"
#include "resources/modelpages.h"
#include "shell_fixture.h"

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class ModelPagesMore : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        dir_ = testing::TempDir() + "shd_pages_more_" + std::to_string(++counter_);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        model_ = dir_ + "/population.kmf";
        fs::copy_file(std::string(KAVREL_BINARY_DIR) + "/samples/population.kmf", model_);
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        model_dir = dir_;
    }
    void TearDown() override {
        close_model(0, 0);
        model_dir.clear();
        fs::remove_all(dir_);
        ShellDialogTest::TearDown();
    }
    static void set_flags(std::uint8_t flags, std::uint8_t flags2) {
        model_settings* ms = lock_model_settings(cur_model_symbols);
        ms->flags = flags;
        ms->flags2 = flags2;
        unlock_model_settings(cur_model_symbols);
    }
    static std::string password_box_text(HWND d, int id) {
        char buf[32] = {};
        GetDlgItemText(d, id, buf, sizeof buf);
        return buf;
    }
    std::string dir_, model_;
    static inline int counter_ = 0;
};

// The box is checked by the second flag byte alone, whatever the first holds.
TEST_F(ModelPagesMore, LivesweepOnDiskFollowsTheSecondFlagByte) {
    struct {
        std::uint8_t flags, flags2;
        bool on;
    } cases[] = {
        {0, msf2_disk_livesweep, true}, {0xFF, 0, false}, {0xFF, 0xFF, true}, {0, 0, false}};
    for (const auto& c : cases) {
        set_flags(c.flags, c.flags2);
        bool shown = !c.on;
        answerer::dialog(dlg_model_flags)
            .call([&](HWND d) { shown = IsDlgButtonChecked(d, idm_disk_livesweep) == BST_CHECKED; })
            .press(IDCANCEL);
        EXPECT_EQ(model_settings_page(dlg_model_flags), IDCANCEL);
        EXPECT_EQ(shown, c.on) << int{c.flags} << " " << int{c.flags2};
    }
}

TEST_F(ModelPagesMore, ARemovedPasswordLeavesEmptyBoxes) {
    answerer::dialog(dlg_model_notes)
        .set_text(idm_password, "opensesame")
        .set_text(idm_verify, "opensesame")
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    std::string with;
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) { with = password_box_text(d, idm_password); })
        .set_text(idm_password, "")
        .set_text(idm_verify, "")
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_EQ(with, "****");
    EXPECT_FALSE(model_has_password(cur_model_symbols));
    std::string after = "?", verify_after = "?";
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            after = password_box_text(d, idm_password);
            verify_after = password_box_text(d, idm_verify);
        })
        .press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDCANCEL);
    EXPECT_EQ(after, "");
    EXPECT_EQ(verify_after, "");
}

} // namespace
