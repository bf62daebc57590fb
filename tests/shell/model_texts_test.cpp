// The model's notes and references as their pages show them: the notes box
// breaks lines as an edit box does, the references list holds one row a line.
#include "shell/modelsettings.h"

#include "foundation/paths.h"
#include "model_copy_fixture.h"
#include "resources/modelpages.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class ModelTexts : public ModelCopyTest {
protected:
    static handle text_handle_of(const std::string& t) {
        handle h = new_handle(static_cast<std::uint32_t>(t.size() + 1));
        handle_lock<char> b(h);
        std::memcpy(b.get(), t.c_str(), t.size() + 1);
        return h;
    }
    static std::string text_of(handle h) {
        if (!h) return {};
        handle_lock<char> b(h);
        return std::string(b.get());
    }
    static std::string box_text(HWND d, int id) {
        char buf[256] = {};
        GetDlgItemText(d, id, buf, sizeof buf);
        return buf;
    }
};

// Stored notes break lines with LF; the notes box shows CR LF, and what the
// box gives back is stored with LF again, never a CR left in it.
TEST_F(ModelTexts, NotesShowWithCrLfAndComeBackWithLf) {
    {
        model_settings* ms = lock_model_settings(cur_model_symbols);
        free_handle(ms->notes);
        ms->notes = text_handle_of("births\nand deaths\n\nend");
        unlock_model_settings(cur_model_symbols);
    }
    std::string shown;
    answerer::dialog(dlg_model_notes)
        .call([&](HWND d) {
            shown = box_text(d, idm_notes);
            SetDlgItemText(d, idm_notes, "one\r\ntwo\r\n\r\nthree");
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_notes), IDOK);
    EXPECT_EQ(shown, "births\r\nand deaths\r\n\r\nend");
    model_settings ms = *lock_model_settings(cur_model_symbols);
    unlock_model_settings(cur_model_symbols);
    EXPECT_EQ(text_of(ms.notes), "one\ntwo\n\nthree");
}

// A references text edited by hand (CR LF, blank lines) lists only its
// references, each without its CR.
TEST_F(ModelTexts, ReferencesListOneRowAReferenceWithoutBlankLines) {
    const std::string refs = "base=base.xls\r\n\r\nhigh=high.xls\n\nlow=low.xls";
    {
        model_settings* ms = lock_model_settings(cur_model_symbols);
        free_handle(ms->refs);
        ms->refs = text_handle_of(refs);
        ms->refs_length = static_cast<std::uint32_t>(refs.size());
        unlock_model_settings(cur_model_symbols);
    }
    std::vector<std::string> rows;
    answerer::dialog(dlg_model_refs)
        .call([&](HWND d) {
            int n = static_cast<int>(SendDlgItemMessage(d, idm_ref_list, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char buf[64] = {};
                SendDlgItemMessage(d, idm_ref_list, LB_GETTEXT, static_cast<WPARAM>(i),
                                   reinterpret_cast<LPARAM>(buf));
                rows.push_back(buf);
            }
        })
        .press(IDOK);
    EXPECT_EQ(model_settings_page(dlg_model_refs), IDOK);
    EXPECT_EQ(rows, (std::vector<std::string>{"base=base.xls", "high=high.xls", "low=low.xls"}));
    model_settings ms = *lock_model_settings(cur_model_symbols);
    unlock_model_settings(cur_model_symbols);
    EXPECT_EQ(text_of(ms.refs), "base=base.xls\nhigh=high.xls\nlow=low.xls\n");
}

} // namespace
