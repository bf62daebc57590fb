// What the templates promise about what is typed and listed: every box a
// password is typed into hides it, whichever dialog it is in, and the font
// faces are listed in alphabetical order whatever order they are added in.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win.h"
#include "resources/modelpages.h"
#include "resources/options.h"
#include "resources/panel.h"
#include "resources/varselect.h"
#include "tests/driver/driver.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

bool is(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}

INT_PTR quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// An edit box labelled "Password" or "Verify" (the label is the static text
// just before it) is a password box.
TEST(TypedAndListed, EveryPasswordBoxHidesWhatIsTyped) {
    int boxes = 0;
    for (const DialogTemplate* t : every_template()) {
        const auto& items = t->items;
        for (std::size_t k = 1; k < items.size(); ++k) {
            const DialogItem& label = items[k - 1];
            if (!is(items[k], WC_EDIT) || !is(label, WC_STATIC) || !label.text) continue;
            if (!std::strstr(label.text, "Password") && !std::strstr(label.text, "Verify"))
                continue;
            ++boxes;
            EXPECT_TRUE(items[k].style & ES_PASSWORD)
                << "template " << t->id << " box " << items[k].id << " (" << label.text << ")";
        }
    }
    // The password dialog's box and the model's password and its check.
    EXPECT_GE(boxes, 2);
    const DialogTemplate* notes = dlg_find_template(dlg_model_notes);
    ASSERT_NE(notes, nullptr);
    for (int id : {idm_password, idm_verify}) {
        const DialogItem* box = template_item(*notes, id);
        ASSERT_NE(box, nullptr) << id;
        EXPECT_TRUE(box->style & ES_PASSWORD) << id;
    }
}

TEST(TypedAndListed, FontFacesAreListedAlphabetically) {
    test_driver::start();
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_font_select);
    ASSERT_NE(t, nullptr);
    stand_in_for_program_classes(*t);
    HWND dialog = CreateDialogIndirectParam(nullptr, t, nullptr, quiet, 0);
    ASSERT_NE(dialog, nullptr);
    HWND faces = GetDlgItem(dialog, idf_faces);
    ASSERT_NE(faces, nullptr);
    for (const char* face : {"Times", "Arial", "Courier", "Helvetica"})
        SendMessage(faces, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(face));
    std::vector<std::string> listed;
    const int n = static_cast<int>(SendMessage(faces, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[64] = {};
        SendMessage(faces, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        listed.emplace_back(text);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"Arial", "Courier", "Helvetica", "Times"}));
    DestroyWindow(dialog);
    test_driver::reset();
}

// The Control Panel floats in the workbench and is sized by dragging its
// frame, as the variable selection dialog is.
TEST(TypedAndListed, TheFloatingPanelAndTheVariableDialogCanBeResized) {
    every_template();
    for (int id : {static_cast<int>(dlg_control_panel), static_cast<int>(dlg_variable_dialog)}) {
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr) << id;
        EXPECT_TRUE(t->style & WS_THICKFRAME) << id;
    }
}

// On the Variable page and in the variable dialog Alt with a label's letter
// goes to the control the label names: N the name box, T the Type list.
TEST(TypedAndListed, TheVariableLabelsTakeTheKeyboardToTheirControls) {
    test_driver::start();
    register_every_template();
    for (int id : {static_cast<int>(dlg_page_variable), static_cast<int>(dlg_variable_dialog)}) {
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr) << id;
        stand_in_for_program_classes(*t);
        DialogTemplate shown = *t;
        shown.style = (shown.style & ~static_cast<DWORD>(WS_CHILD)) | WS_POPUP | WS_VISIBLE;
        HWND dialog = CreateDialogIndirectParam(nullptr, &shown, nullptr, quiet, 0);
        ASSERT_NE(dialog, nullptr) << id;
        HWND start = GetDlgItem(dialog, idv_name);
        ASSERT_NE(start, nullptr);
        const std::pair<WPARAM, int> keys[] = {{'T', idv_type}, {'N', idv_name}};
        for (const auto& [key, to] : keys) {
            SetFocus(start);
            MSG alt{start, WM_SYSKEYDOWN, key, 0, 0, {}, 0};
            IsDialogMessage(dialog, &alt);
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, to))
                << "template " << id << ": Alt+" << static_cast<char>(key) << " went to "
                << GetDlgCtrlID(GetFocus());
        }
        DestroyWindow(dialog);
    }
    test_driver::reset();
}

} // namespace
