// The clock of the window layer: timers, message times, GetTickCount and Sleep
// all read it. The program runs on the steady clock; tests install a manual
// clock that only moves when the test (or the test driver) advances it, so
// timer-driven behaviour is tested without sleeping.
#pragma once

#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, never going back.
    virtual std::uint64_t now_ms() const = 0;
    // Waits `ms` milliseconds: the steady clock sleeps, the manual clock moves
    // its time on at once.
    virtual void sleep_ms(std::uint32_t ms) = 0;
    // True for a clock that only moves when told; blocking waits of the
    // message loop then advance it instead of waiting (see win.h, GetMessage).
    virtual bool is_manual() const = 0;
};

// The steady clock of the running program.
class SteadyClock final : public Clock {
public:
    SteadyClock();
    std::uint64_t now_ms() const override;
    void sleep_ms(std::uint32_t ms) override;
    bool is_manual() const override { return false; }

private:
    std::int64_t start_ns_;
};

// A clock for tests: starts at `start_ms` and moves only by advance / set.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint64_t start_ms = 1000) : now_(start_ms) {}
    std::uint64_t now_ms() const override { return now_; }
    void sleep_ms(std::uint32_t ms) override { now_ += ms; }
    bool is_manual() const override { return true; }
    void advance(std::uint64_t ms) { now_ += ms; }
    // Moves the time to `ms`; a time in the past is ignored (the clock never
    // goes back).
    void set(std::uint64_t ms) {
        if (ms > now_) now_ = ms;
    }

private:
    std::uint64_t now_;
};

// The layer's clock (the steady clock until another one is installed).
Clock& platform_clock();
// Installs `clock` (not owned; it must outlive its use) or, with null, the
// steady clock again.
void set_platform_clock(Clock* clock);
