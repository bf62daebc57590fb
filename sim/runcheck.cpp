// The engine's checking mode for tests (see sim/run.h).
#include "sim/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/report.h"
#include "model/model.h"
#include "model/varnames.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/simdata.h"

namespace {

int check_setting = -1;
// A checked run is going on: its own two runs are plain ones.
bool checking = false;
long fault_index = -1;

// A Livesweep re-run keeps no rows (the value cache's save hook takes the
// values at each save): the check takes a copy there, then calls the hook.
std::vector<float>* captured = nullptr;
livesweep_save_fn passed_on = nullptr;
void capture_save(const float* values, std::uint32_t slots, int remaining_saves) {
    if (captured) captured->insert(captured->end(), values, values + slots);
    if (passed_on) passed_on(values, slots, remaining_saves);
}
struct capture_guard {
    livesweep_save_fn old = livesweep_save_hook();
    capture_guard(std::vector<float>& rows, livesweep_save_fn next) {
        captured = &rows;
        passed_on = next;
        set_livesweep_save_hook(&capture_save);
    }
    ~capture_guard() {
        set_livesweep_save_hook(old);
        captured = nullptr;
        passed_on = nullptr;
    }
    capture_guard(const capture_guard&) = delete;
    capture_guard& operator=(const capture_guard&) = delete;
};

// Puts back what the reference run changes for itself, however it ends.
struct reference_road {
    int mode = native_mode();
    std::shared_ptr<void> kept = take_kept_passes();
    livesweep_save_fn livesweep = livesweep_save_hook();
    plausitest_fn plausitest = plausitest_hook();
    int level = report_message_level;
    std::int32_t counts[11];
    reference_road() {
        std::memcpy(counts, report_counts, sizeof counts);
        set_native_mode(nm_off);
        // The run is seen once: its messages and its observers' calls are
        // the checked run's.
        set_livesweep_save_hook(nullptr);
        set_plausitest_hook(nullptr);
        report_message_level = 11;
    }
    ~reference_road() {
        report_message_level = level;
        std::memcpy(report_counts, counts, sizeof counts);
        set_plausitest_hook(plausitest);
        set_livesweep_save_hook(livesweep);
        set_native_mode(mode);
        put_back_kept_passes(std::move(kept));
    }
    reference_road(const reference_road&) = delete;
    reference_road& operator=(const reference_road&) = delete;
};

struct flag_guard {
    bool& flag;
    explicit flag_guard(bool& f) : flag(f) { flag = true; }
    ~flag_guard() { flag = false; }
    flag_guard(const flag_guard&) = delete;
    flag_guard& operator=(const flag_guard&) = delete;
};

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::string slot_text(handle symbols, std::uint32_t slot) {
    model_lock_guard g(symbols, 0);
    std::uint32_t element = 0;
    symbol_id s = g.ok() ? slot_symbol(static_cast<std::int32_t>(slot), &element) : 0;
    return s ? element_name(s, element) : "slot " + std::to_string(slot);
}

[[noreturn]] void differs(const std::string& what) {
    std::fprintf(stderr, "Native check: the run on native code differs from the flat loop: %s\n",
                 what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string two(float loop, float native) {
    char text[128];
    std::snprintf(text, sizeof text, "loop %.9g (0x%08x), native %.9g (0x%08x)",
                  static_cast<double>(loop), bits(loop), static_cast<double>(native), bits(native));
    return text;
}

// The first place where two float arrays differ in any bit; n when none
// (the arrays of empty vectors may be null).
std::size_t first_difference(const float* a, const float* b, std::size_t n) {
    if (n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0) return n;
    std::size_t i = 0;
    while (bits(a[i]) == bits(b[i])) ++i;
    return i;
}

// Rows of slots values each, the first of which is the time.
void compare_rows(handle symbols, const std::vector<float>& ref, const std::vector<float>& got,
                  std::uint32_t slots, std::uint32_t got_slots) {
    if (ref.size() != got.size() || slots != got_slots) differs("the saved rows' size");
    std::size_t n = ref.size();
    if (std::size_t i = first_difference(ref.data(), got.data(), n); i < n && slots) {
        std::size_t row = i - i % slots;
        differs(slot_text(symbols, static_cast<std::uint32_t>(i % slots)) + " at time " +
                std::to_string(ref[row]) + ", " + two(ref[i], got[i]));
    }
}

void compare(handle symbols, int ref_result, const sim_output& ref, int result,
             const sim_output& got, bool rows) {
    // The reference writes no file: a failed write is the run's own, after
    // whichever outcome it would have written (the end, a stop, an error).
    if (result == sim_write_failed && sim_result_written(ref_result)) result = ref_result;
    if (ref_result != result)
        differs("result " + std::to_string(ref_result) + " on the loop, " + std::to_string(result) +
                " native");
    if (ref.error != got.error)
        differs("message \"" + ref.error + "\" on the loop, \"" + got.error + "\" native");
    if (ref.times.size() != got.times.size())
        differs(std::to_string(ref.times.size()) + " saves on the loop, " +
                std::to_string(got.times.size()) + " native");
    std::size_t n = ref.times.size();
    if (std::size_t i = first_difference(ref.times.data(), got.times.data(), n); i < n)
        differs("save " + std::to_string(i) + "'s time, " + two(ref.times[i], got.times[i]));
    if (ref.initial.size() != got.initial.size()) differs("the initial values' count");
    n = ref.initial.size();
    if (std::size_t i = first_difference(ref.initial.data(), got.initial.data(), n); i < n)
        differs("initial " + slot_text(symbols, static_cast<std::uint32_t>(i)) + ", " +
                two(ref.initial[i], got.initial[i]));
    if (rows) compare_rows(symbols, ref.rows, got.rows, ref.value_slots, got.value_slots);
    if (std::memcmp(&ref.rk_steps, &got.rk_steps, sizeof ref.rk_steps) != 0)
        differs("the steps taken");
    if (ref.constraint_checks != got.constraint_checks ||
        ref.violations.size() != got.violations.size())
        differs("the constraint checks");
    for (std::size_t i = 0; i < ref.violations.size(); ++i) {
        const constraint_violation &a = ref.violations[i], &b = got.violations[i];
        if (a.element != b.element || a.count != b.count ||
            std::memcmp(&a.first_time, &b.first_time, sizeof a.first_time) != 0)
            differs("the constraint " + a.element);
    }
}

} // namespace

bool native_check() {
    if (check_setting < 0) {
        const char* e = std::getenv("KAVREL_NATIVE_VERIFY");
        check_setting = e && *e && *e != '0' ? 1 : 0;
    }
    return check_setting == 1 && !checking;
}

void set_native_check(bool on) {
    check_setting = on ? 1 : 0;
}

void set_native_check_fault(long index) {
    fault_index = index;
}

int run_checked(handle symbols, const sim_program& p, const sim_options& o, sim_output& out) {
    flag_guard inside(checking);
    // Runs that cannot be repeated alike (the user's pauses and overrides,
    // the shell's event pump) and runs with no native code are run once.
    if (native_mode() == nm_off || !flat_passes() || sim_pump_hook() || sim_pause_hook() ||
        override_hook())
        return run_program(symbols, p, o, &out);
    sim_output ref;
    int ref_result;
    std::vector<float> ref_saves, saves;
    bool livesweep = run_kind == rk_livesweep;
    {
        reference_road road;
        std::unique_ptr<capture_guard> capture;
        if (livesweep) capture = std::make_unique<capture_guard>(ref_saves, nullptr);
        sim_options ro = o;
        ro.run_file = nullptr;
        ref_result = run_program(symbols, p, ro, &ref);
    }
    int result;
    {
        std::unique_ptr<capture_guard> capture;
        if (livesweep) capture = std::make_unique<capture_guard>(saves, livesweep_save_hook());
        result = run_program(symbols, p, o, &out);
    }
    std::vector<float>& rows = livesweep ? saves : out.rows;
    if (fault_index >= 0) {
        auto at = static_cast<std::size_t>(fault_index);
        float* f = at < out.times.size()                 ? &out.times[at]
                   : at - out.times.size() < rows.size() ? &rows[at - out.times.size()]
                                                         : nullptr;
        if (f) {
            std::uint32_t b = bits(*f) ^ 1U;
            std::memcpy(f, &b, sizeof b);
        }
    }
    // A Livesweep re-run keeps its rows only for a run file, which the
    // reference does not write: the values its save hook saw are compared.
    compare(symbols, ref_result, ref, result, out, !livesweep);
    if (livesweep) compare_rows(symbols, ref_saves, saves, ref.value_slots, out.value_slots);
    return result;
}
