// Livesweep: the model is re-simulated live while a slider on the sketch is
// dragged. Each re-run starts again from the initial state with the setup
// copies' values (the sliders write into setup_copy), hands every save step
// to the value cache's shown-run arrays (the Livesweep save hook), and
// leaves no run file unless the model asks for disk Livesweep. A request that
// comes while a re-run is busy stops that re-run and is repeated 100 ms later
// by a timer on the main window.
#pragma once

#include <cstdint>

// Sent to the requesting window when a re-run is done (WM_USER + 65).
inline constexpr int livesweep_done_message = 1089;
// The main window's timer of the deferred re-run, and its period.
inline constexpr int livesweep_timer_id = 2;
inline constexpr int livesweep_timer_ms = 100;
inline constexpr unsigned wm_timer_message = 0x0113;

// Arms (ms > 0) or kills (ms 0) the Livesweep timer on the main window.
using livesweep_timer_fn = void (*)(int timer_id, int ms);
void set_livesweep_timer_hook(livesweep_timer_fn hook);
// Sends a message to a window (the shell's SendMessage).
using window_message_fn = void (*)(std::uint32_t window, int message);
void set_window_message_hook(window_message_fn hook);
// Called before (0) and after (1) each re-run: the value cache prepares the
// shown-run arrays (reset mode 0) and the sketch redraws.
using livesweep_refresh_fn = void (*)(int phase);
void set_livesweep_refresh_hook(livesweep_refresh_fn hook);

// Enters Livesweep: the setup copies are made when missing and the model is
// compiled once for the re-runs. 0 on failure.
int enter_livesweep(int flag);
// Leaves Livesweep (the copies stay for the next set-up).
void leave_livesweep();
// Asks for a re-run after a change (mode 0 while dragging, 1 at the end of a
// drag, 2 after a dialog or key change). Non-zero when the request was
// accepted (run now, or deferred while a re-run is busy); 0 outside Livesweep.
int livesweep_rerun(std::uint32_t window, int mode, int flag);
// The re-run itself (the run driver calls it while Livesweep is on); its
// arguments are the run driver's. The result of the run (sim_result).
int livesweep_simulate(int id, int setup_argument, int keep_mode, int* result);
// Writes the run Livesweep shows now (the model with the setup copies'
// values) to a run file under a run name, as an ordinary run. The run's
// result; sim_refused outside Livesweep or while a re-run is busy.
int livesweep_write_run(const char* path, const char* run_name);
// The main window's handler of the Livesweep timer (WM_TIMER, id 2).
long inline_again_proc(std::uint32_t window, unsigned message, std::uintptr_t wparam,
                       std::intptr_t lparam);
// Whether a re-run is running now.
bool livesweep_busy();
