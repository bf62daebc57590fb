// The window layer's clock: the steady clock the program runs on and the
// switch that lets tests put a manual clock in its place.
#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {

std::int64_t steady_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

SteadyClock& steady_clock_instance() {
    static SteadyClock clock;
    return clock;
}

Clock* current_clock = nullptr;

} // namespace

SteadyClock::SteadyClock() : start_ns_(steady_ns()) {}

std::uint64_t SteadyClock::now_ms() const {
    // Starts at one second so that a time of 0 never means "now".
    return static_cast<std::uint64_t>((steady_ns() - start_ns_) / 1000000) + 1000;
}

void SteadyClock::sleep_ms(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& platform_clock() {
    return current_clock ? *current_clock : steady_clock_instance();
}

void set_platform_clock(Clock* clock) {
    current_clock = clock;
}
