// The exit checks (see exitcheck.h).
#include "shell/exitcheck.h"

#include "foundation/ini.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/subpanel.h"
#include "shell/filechoice.h"
#include "shell/mainplace.h"
#include "shell/settings_io.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"

#include <filesystem>
#include <string>

namespace {

int ask_write_settings() {
    write_settings(0); // a failed write is reported and does not hold the exit up
    return 1;
}
int ask_model() {
    return confirm_close_model(1);
}
int ask_sketches() {
    return query_close_sketch_windows(0);
}
void close_sketches() {
    close_sketch_windows(0);
}
int ask_graph_sets() {
    return ask_save_graph_sets(1);
}
int ask_subscripts() {
    return subscript_panel_exit_check();
}

std::vector<exit_step> default_exit_steps() {
    return {
        {"settings", ask_write_settings, nullptr},  {"model", ask_model, nullptr},
        {"sketches", ask_sketches, close_sketches}, {"graph sets", ask_graph_sets, nullptr},
        {"subscripts", ask_subscripts, nullptr},
    };
}

} // namespace

std::vector<exit_step>& exit_steps() {
    static std::vector<exit_step> steps = default_exit_steps();
    return steps;
}

void restore_exit_steps() {
    exit_steps() = default_exit_steps();
}

int write_settings(int mode) {
    if (mode == 0) {
        const int read = read_ini_file(nullptr, nullptr, 1);
        // A file that could not be made is said once (start-up's write has
        // said it already, as a rule), not again at every exit.
        if (read == -2) {
            report_ini_make_failure();
            return -1;
        }
        if (read < 0) {
            report(5, "Unable to read the settings file %s - the settings were not saved",
                   ini_file_path());
            return -1;
        }
    }
    std::string path;
    if (model_rec && model_rec->state != 2 && *current_model_name()) {
        std::error_code ec;
        auto abs = std::filesystem::absolute(current_model_name(), ec);
        path = ec ? current_model_name() : abs.lexically_normal().string();
    }
    ini_set("Model", path.c_str());
    if (!last_file_folder().empty()) ini_set(last_folder_key, last_file_folder().c_str());
    save_main_place(main_wnd);
    recent_models(-2, 0, nullptr);
    store_settings();
    return write_ini_file(2) > 0 ? 1 : 0;
}

int confirm_close_model(int) {
    if (!model_rec || model_rec->state == 2) return 1;
    if (model_rec->sketch) return close_sketch_windows(model_rec->sketch);
    return ask_save_graph_sets(0);
}

int confirm_model_change() {
    for (const exit_step& s : exit_steps())
        if (s.ask && std::string(s.name) != "settings" && !s.ask()) return 0;
    return 1;
}

int run_exit_checks() {
    std::vector<exit_step> steps = exit_steps();
    for (const exit_step& s : steps)
        if (s.ask && !s.ask()) return 0;
    for (const exit_step& s : steps)
        if (s.close) s.close();
    return 1;
}
