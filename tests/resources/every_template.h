// The dialog templates as the program registers them, for the tests that go
// through all of them: the dialog manager's list and the subscript panel's
// (its window registers that one on first use), with an item found by id.
#pragma once

#include "platform/dlg.h"
#include "resources/dialogs.h"
#include "resources/subpanel.h"
#include "tests/driver/driver.h"

#include <string>
#include <vector>

inline void register_every_template() {
    test_driver::start();
    register_dialog_templates();
    register_subpanel_template();
}

inline std::vector<const DialogTemplate*> every_template() {
    register_every_template();
    std::vector<const DialogTemplate*> out;
    for (int id = 1; id < 2000; ++id)
        if (const DialogTemplate* t = dlg_find_template(id)) out.push_back(t);
    return out;
}

inline const DialogItem* template_item(const DialogTemplate& t, int id) {
    for (const DialogItem& item : t.items)
        if (item.id == id) return &item;
    return nullptr;
}

// The program's own control classes are registered by the libraries above
// the resources; here each gets a plain window under its name, so the
// dialog manager can build the template around it.
inline void stand_in_for_program_classes(const DialogTemplate& t) {
    for (const DialogItem& item : t.items) {
        if (std::string(item.cls).rfind("Kavrel_", 0) != 0) continue;
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = item.cls;
        RegisterClass(&wc); // 0 when it is registered already
    }
}
