// The changes-file commands of the Changes menu (see changescmd.h).
#include "shell/changescmd.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "model/model.h"
#include "shell/dialogs.h"
#include "shell/filechoice.h"
#include "shell/msgbox.h"
#include "shell/rundrv.h"
#include "sim/changes.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace {

// The setup copies as they are now, to put back after a trial read.
struct setup_snapshot {
    bool had = false;
    setup_state state;
    std::vector<float> values;

    void take() {
        setup_state* st = setup_copies();
        had = st != nullptr && setup_copy != 0;
        if (!had) return;
        state = *st;
        handle_lock<float> v(setup_copy);
        if (v) values.assign(v.get(), v.get() + st->model_values.size());
    }
    void restore() {
        if (!had) {
            clear_setup();
            return;
        }
        setup_state* st = setup_copies();
        if (!st) return;
        *st = state;
        handle_lock<float> v(setup_copy);
        if (v && !values.empty())
            std::memcpy(v.get(), values.data(), values.size() * sizeof(float));
    }
};

std::string quoted(const char* path) {
    return std::string("\"") + path + "\"";
}

} // namespace

int read_additional_changes_from(const char* name) {
    if (!name || !*name || !model_is_open()) return 0;
    std::string list = quoted(name);
    // The file is read first, on the copies as they are; only a clean read
    // goes on to the question, so a bad or missing file never costs the
    // on-screen changes.
    setup_snapshot before;
    before.take();
    int ok = read_change_files(list.c_str());
    before.restore();
    if (!ok) return 0;
    int answer = ask_yes_no_cancel("Do you want to reset onscreen changes that have been made?");
    if (answer < 0) return 0;
    if (answer == 1) clear_setup();
    if (!read_change_files(list.c_str())) return 0;
    // While Livesweep is on the model is re-simulated with the new values.
    if (livesweep_state == ls_on) {
        int r = 0;
        run_command(rc_livesweep, 0, 1, &r);
    }
    return 1;
}

int read_additional_changes() {
    char* name = file_dialog("Load Constant/Lookup changes from", nullptr, fd_open, ft_changes, 0,
                             ft_changes, 0, nullptr, nullptr);
    if (!name || !*name) return 0;
    return read_additional_changes_from(name);
}

int write_changes_command() {
    char* name = file_dialog("Save Constant/Lookup changes to", nullptr, fd_save, ft_changes, 0,
                             ft_changes, 0, nullptr, nullptr);
    if (!name || !*name) return 0;
    return write_changes_file(name, 0);
}
