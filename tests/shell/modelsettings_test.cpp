// The model settings pages and the reorder dialog, driven through the
// answerer on a copy of a sample model.
#include "shell/modelsettings.h"

#include "foundation/paths.h"
#include "model_copy_fixture.h"
#include "resources/modelpages.h"
#include "shell/reorder.h"

#include <fstream>
#include <string>

namespace {

class ModelPages : public ModelCopyTest {
protected:
    static model_settings settings() {
        model_settings ms = *lock_model_settings(cur_model_symbols);
        unlock_model_settings(cur_model_symbols);
        return ms;
    }
    static std::string text_of(handle h) {
        if (!h) return {};
        handle_lock<char> b(h);
        return std::string(b.get());
    }
    static void give_password(const char* text) {
        set_model_password(cur_model_symbols, text);
        model_settings* ms = lock_model_settings(cur_model_symbols);
        ms->has_password = 1;
        ms->password_edit = 1;
        unlock_model_settings(cur_model_symbols);
    }
    static bool enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != 0; }
    static bool checked(HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; }
    static void press(HWND d, int id) { SendMessage(d, WM_COMMAND, static_cast<WPARAM>(id), 0); }
};

TEST_F(ModelPages, UntouchedPasswordBoxesKeepThePasswordWhileNotesAreTaken) {
    give_password("secret");
    std::string shown;
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            char buf[32] = {};
            GetDlgItemText(d, idm_password, buf, sizeof buf);
            shown = buf;
            EXPECT_TRUE(enabled(d, idm_verify));
            SetDlgItemText(d, idm_notes, "first line\r\nsecond line");
            CheckDlgButton(d, idm_show_notes, BST_CHECKED);
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_EQ(shown, "****");
    EXPECT_TRUE(check_model_password(cur_model_symbols, "secret"));
    EXPECT_FALSE(check_model_password(cur_model_symbols, "****"));
    model_settings ms = settings();
    EXPECT_EQ(text_of(ms.notes), "first line\nsecond line");
    EXPECT_TRUE(ms.flags & msf_show_notes);
    EXPECT_EQ(ms.changed, 1);
}

TEST_F(ModelPages, MismatchedPasswordsKeepTheOldOneAndThePageOpen) {
    give_password("secret");
    bool open_after = false;
    answerer::box(severity_caption(8)).text("do not match").press(IDOK);
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            SetDlgItemText(d, idm_password, "newpass1");
            SetDlgItemText(d, idm_verify, "newpass2");
            press(d, IDOK);
            open_after = IsWindow(d) != 0;
        })
        .press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDCANCEL);
    EXPECT_TRUE(open_after);
    EXPECT_TRUE(check_model_password(cur_model_symbols, "secret"));
    EXPECT_EQ(settings().mismatch, 1);

    // Equal texts become the password; two emptied boxes remove it.
    answerer::dialog(dlg_model_notes)
        .set_text(idm_password, "newpass")
        .set_text(idm_verify, "newpass")
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_TRUE(check_model_password(cur_model_symbols, "newpass"));
    EXPECT_EQ(settings().mismatch, 0);
    answerer::dialog(dlg_model_notes)
        .set_text(idm_password, "")
        .set_text(idm_verify, "")
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_FALSE(model_has_password(cur_model_symbols));
}

TEST_F(ModelPages, APasswordNotYetEnteredCannotBeEdited) {
    set_model_password(cur_model_symbols, "locked");
    model_settings* ms = lock_model_settings(cur_model_symbols);
    ms->has_password = 1;
    ms->password_edit = 0;
    unlock_model_settings(cur_model_symbols);
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            EXPECT_FALSE(enabled(d, idm_password));
            EXPECT_FALSE(enabled(d, idm_verify));
            char info[512] = {};
            GetDlgItemText(d, idm_info, info, sizeof info);
            EXPECT_EQ(std::string(info).rfind("Model has ", 0), 0u) << info;
            EXPECT_NE(std::string(info).find("-- Sizes: Symbols "), std::string::npos) << info;
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_TRUE(check_model_password(cur_model_symbols, "locked"));
}

TEST_F(ModelPages, ModelInformationCountsTheVariablesOrSaysTheModelCannotRun) {
    std::string info = model_info_text();
    EXPECT_NE(info.find("Time + "), std::string::npos) << info;
    EXPECT_NE(info.find("(Total "), std::string::npos) << info;
    set_header_word(cur_model_symbols, mh_flags,
                    get_header_word(cur_model_symbols, mh_flags) | mfl_has_errors);
    info = model_info_text();
    EXPECT_NE(info.find("symbols and cannot be simulated -- Sizes"), std::string::npos) << info;
}

TEST_F(ModelPages, FlagsPageShowsClearBitsAsShownAndTheUnderbarFollowsFarEast) {
    model_settings* ms = lock_model_settings(cur_model_symbols);
    ms->flags = msf_hide_lookups | msf_show_notes;
    ms->flags2 = 0;
    unlock_model_settings(cur_model_symbols);
    answerer::dialog(dlg_model_flags)
        .call([&](HWND d) {
            EXPECT_TRUE(checked(d, idm_show_init_causes));
            EXPECT_FALSE(checked(d, idm_show_lookups));
            EXPECT_TRUE(checked(d, idm_show_shadows));
            EXPECT_TRUE(enabled(d, idm_hard_underbar));
            CheckDlgButton(d, idm_far_east, BST_CHECKED);
            press(d, idm_far_east);
            EXPECT_TRUE(checked(d, idm_hard_underbar));
            EXPECT_FALSE(enabled(d, idm_hard_underbar));
            CheckDlgButton(d, idm_far_east, BST_UNCHECKED);
            press(d, idm_far_east);
            EXPECT_TRUE(enabled(d, idm_hard_underbar));
            CheckDlgButton(d, idm_far_east, BST_CHECKED);
            press(d, idm_far_east);
            CheckDlgButton(d, idm_show_init_causes, BST_UNCHECKED);
            CheckDlgButton(d, idm_show_lookups, BST_CHECKED);
            CheckDlgButton(d, idm_disk_livesweep, BST_CHECKED);
            CheckDlgButton(d, idm_no_livesweep_drag, BST_CHECKED);
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_flags), IDOK);
    model_settings after = settings();
    EXPECT_EQ(after.flags, msf_show_notes | msf_hide_init_causes | msf_no_livesweep_drag |
                               msf_far_east | msf_hard_underbar);
    EXPECT_EQ(after.flags2, msf2_disk_livesweep);

    // Cancel takes nothing.
    answerer::dialog(dlg_model_flags).check(idm_show_shadows, false).press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_flags), IDCANCEL);
    EXPECT_EQ(settings().flags, after.flags);
}

TEST_F(ModelPages, ReferencesAreAddedModifiedDeletedAndBadLinesRefused) {
    answerer::box(severity_caption(8)).text("reference").press(IDOK);
    answerer::box(severity_caption(8)).text("reference").press(IDOK);
    answerer::box(severity_caption(8)).text("reference").press(IDOK);
    answerer::box("Question from Kavrel").text("abandon").press(IDNO);
    answerer::box("Question from Kavrel").text("abandon").press(IDYES);
    auto count = [](HWND d) {
        return static_cast<int>(SendDlgItemMessage(d, idm_ref_list, LB_GETCOUNT, 0, 0));
    };
    auto add = [&](HWND d, const char* name, const char* file) {
        SetDlgItemText(d, idm_ref_name, name);
        SetDlgItemText(d, idm_ref_file, file);
        press(d, idm_ref_add);
    };
    auto box_text = [](HWND d, int id) {
        char buf[128] = {};
        GetDlgItemText(d, id, buf, sizeof buf);
        return std::string(buf);
    };
    answerer::dialog(dlg_model_refs)
        .call([&](HWND d) {
            add(d, "", "base.xls");
            add(d, "base", "");
            add(d, "a=b", "base.xls");
            EXPECT_EQ(count(d), 0);
            add(d, "base", "base.xls");
            EXPECT_EQ(count(d), 1);
            EXPECT_EQ(box_text(d, idm_ref_name), "");
            add(d, "high", "high.xls");
            add(d, "low", "low.xls");
            ASSERT_EQ(count(d), 3);
            // Modify with text in the boxes asks first; No keeps everything.
            SendDlgItemMessage(d, idm_ref_list, LB_SETCURSEL, 1, 0);
            SetDlgItemText(d, idm_ref_name, "pending");
            press(d, idm_ref_modify);
            EXPECT_EQ(count(d), 3);
            EXPECT_EQ(box_text(d, idm_ref_name), "pending");
            press(d, idm_ref_modify);
            EXPECT_EQ(count(d), 2);
            EXPECT_EQ(box_text(d, idm_ref_name), "high");
            EXPECT_EQ(box_text(d, idm_ref_file), "high.xls");
            SendDlgItemMessage(d, idm_ref_list, LB_SETCURSEL, 0, 0);
            press(d, idm_ref_delete);
            EXPECT_EQ(count(d), 1);
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_refs), IDOK);
    model_settings ms = settings();
    EXPECT_EQ(text_of(ms.refs), "low=low.xls\n");
    EXPECT_EQ(ms.refs_length, 12u);
    EXPECT_GE(handle_size(ms.refs), 12u + 1 + 102);
    EXPECT_EQ(ms.refs_changed, 1);

    // The page shows the stored lines again.
    answerer::dialog(dlg_model_refs)
        .call([&](HWND d) {
            ASSERT_EQ(count(d), 1);
            char buf[64] = {};
            SendDlgItemMessage(d, idm_ref_list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(buf));
            EXPECT_STREQ(buf, "low=low.xls");
        })
        .press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_refs), IDCANCEL);
}

TEST_F(ModelPages, DataNamesNeedDataVariablesAndAModelWithoutErrors) {
    answerer::box(severity_caption(8)).text("no data variables").press(IDOK);
    EXPECT_EQ(save_data_names(), 0);

    add_symbol(cur_model_symbols, "sales data", st_data);
    add_symbol(cur_model_symbols, "prices", st_data);
    rebuild_indexes(cur_model_symbols);
    std::string out = dir_ + "/names.txt";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, out).press(IDOK);
    EXPECT_EQ(save_data_names(), 1);
    std::ifstream in(out);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "prices\nsales data\n");

    set_header_word(cur_model_symbols, mh_flags,
                    get_header_word(cur_model_symbols, mh_flags) | mfl_has_errors);
    answerer::box(severity_caption(8)).text("Model has errors").press(IDOK);
    answerer::box(severity_caption(8)).text("Model has errors").press(IDOK);
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            press(d, idm_to_data);
            press(d, idm_to_changes);
        })
        .press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDCANCEL);
}

TEST_F(ModelPages, ModelParamsAreWrittenAsAChangesFile) {
    std::string out = dir_ + "/params.cin";
    answerer::dialog(dlg_file_choice).set_text(fdc_name, out).press(IDOK);
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) { press(d, idm_to_changes); })
        .press(IDCANCEL);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDCANCEL);
    std::ifstream in(out);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("average lifetime"), std::string::npos) << all;
}

TEST_F(ModelPages, PagesNeedAModel) {
    EXPECT_EQ(model_settings_page(dlg_model_flags + 1), -1);
    close_model(0, 0);
    EXPECT_EQ(model_settings_page(dlg_model_flags), -1);
}

TEST_F(ModelPages, ReorderDialogGivesTheDraggedOrderOnOkOnly) {
    const char* texts[] = {"first", "second", "third"};
    std::int32_t order[3] = {-1, -1, -1};
    reorder_params p{"Reorder these", order, texts, 3};
    std::string title;
    answerer::dialog(dlg_reorder)
        .call([&](HWND d) {
            char buf[64] = {};
            GetDlgItemText(d, idr_title, buf, sizeof buf);
            title = buf;
            HWND l = GetDlgItem(d, idr_list);
            ASSERT_EQ(SendMessage(l, ll_count, 0, 0), 3);
            LRESULT h = SendMessage(l, ll_item_offset, 1, 0);
            int row = static_cast<int>(h) / 2;
            test_driver::mouse_down(l, 20, row);
            test_driver::run_until_idle();
            for (int i = 1; i <= 4; ++i) {
                test_driver::mouse_move(l, 20, row + static_cast<int>(h) * 2 * i / 4);
                test_driver::run_until_idle();
            }
            test_driver::mouse_up(l, 20, row + 2 * static_cast<int>(h));
            test_driver::run_until_idle();
        })
        .press(IDOK);
    EXPECT_EQ(reorder_list(p), 1);
    EXPECT_EQ(title, "Reorder these");
    EXPECT_EQ(order[0], 1);
    EXPECT_EQ(order[1], 2);
    EXPECT_EQ(order[2], 0);

    std::int32_t untouched[3] = {-1, -1, -1};
    reorder_params q{"Again", untouched, texts, 3};
    answerer::dialog(dlg_reorder).press(IDCANCEL);
    EXPECT_EQ(reorder_list(q), 0);
    EXPECT_EQ(untouched[0], -1);
}

} // namespace
