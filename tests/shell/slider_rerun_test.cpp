// The input slider in Livesweep: every value it takes that the shown run was
// not made with asks for a re-run, also 0 as the first value, and a value
// this slider re-ran with before but another control has changed since.
#include "tests/shell/run_state.h"

#include "shell_fixture.h"

#include "shell/controls/slider.h"
#include "shell/rundrv.h"
#include "shell/wiring.h"
#include "sim/runtypes.h"

namespace td = test_driver;

namespace {

// Counts the save points of every run (a re-run makes many).
sim_pump_fn installed_pump = nullptr;
int pumps = 0;
void counting_pump() {
    ++pumps;
    if (installed_pump) installed_pump();
}

class SliderRerun : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        install_program_hooks();
        const std::string model = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
        ask_dataset_overwrite = false;
        installed_pump = sim_pump_hook();
        ASSERT_NE(installed_pump, nullptr);
        set_sim_pump_hook(counting_pump);
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "base");
        menu_command(cmd_simulate);
        ASSERT_EQ(last_run_result, sim_done);
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "sweep");
        menu_command(cmd_livesweep);
        ASSERT_EQ(livesweep_state, ls_on);
        lock_model(0);
        slot_ = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        host_ = make_test_window("SliderRerunHost", DefWindowProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 400, 300);
        ASSERT_NE(host_, nullptr);
    }
    void TearDown() override {
        set_sim_pump_hook(installed_pump);
        installed_pump = nullptr;
        reset_run_state();
        ShellWorkbenchTest::TearDown();
    }
    // A 0 .. 0.1 slider on the birth rate.
    HWND slider() {
        HWND s =
            CreateWindow("Kavrel_vslider", "", WS_CHILD | WS_VISIBLE, 10, 10 + 70 * made_++, 240,
                         60, host_, reinterpret_cast<HMENU>(std::uintptr_t{77}), hinst, nullptr);
        float lo = 0, hi = 0.1f;
        SendMessage(s, vs_set_minimum, 0, reinterpret_cast<LPARAM>(&lo));
        SendMessage(s, vs_set_maximum, 0, reinterpret_cast<LPARAM>(&hi));
        SendMessage(s, vs_bind_slot, static_cast<WPARAM>(slot_), 0);
        return s;
    }
    // The value typed into the slider's box, taken as the box loses the
    // keyboard; whether a re-run came of it.
    bool type(HWND s, const char* text) {
        const int before = pumps;
        HWND edit = GetDlgItem(s, slider_edit_id);
        SetFocus(edit);
        SetWindowText(edit, text);
        SetFocus(main_wnd);
        td::run_until_idle();
        return pumps > before;
    }
    float setup_value() const {
        handle_lock<float> v(setup_copy);
        return v.get()[slot_];
    }

    std::int32_t slot_ = 0;
    HWND host_ = nullptr;
    int made_ = 0;
};

TEST_F(SliderRerun, ZeroAsTheFirstValueReRuns) {
    HWND s = slider();
    ASSERT_GT(setup_value(), 0.0f);
    EXPECT_TRUE(type(s, "0")) << "the run shown is still the old birth rate's";
    EXPECT_EQ(setup_value(), 0.0f);
    // The same value again: nothing new to show.
    EXPECT_FALSE(type(s, "0"));
}

TEST_F(SliderRerun, AValueOfAnEarlierReRunChangedSinceByAnotherControlReRuns) {
    HWND a = slider(), b = slider();
    EXPECT_TRUE(type(a, "0.05"));
    // The other slider on the same constant moves it on; the program's
    // refresh shows the new value on the first.
    EXPECT_TRUE(type(b, "0.02"));
    SendMessage(a, vs_set_value, 0, 0);
    // Back to 0.05 on the first: the shown run is 0.02's, so it re-runs.
    EXPECT_TRUE(type(a, "0.05")) << "the shown run would stay at 0.02 while the slider says 0.05";
    EXPECT_EQ(setup_value(), 0.05f);
}

} // namespace
