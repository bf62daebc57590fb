// The code generator is a module loaded on the first compile: a process that
// never compiles does not map it, a missing module leaves the passes to the
// loop with its reason, and a process may end while its worker compiles.
// Each case runs in a fresh process (the module loads once per process).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"

namespace {

// Whether a library whose file name starts with name is mapped.
bool mapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.rfind('/');
        if (slash != std::string::npos && line.compare(slash + 1, name.size(), name) == 0)
            return true;
    }
    return false;
}

void ring(model_builder& b, int count) {
    b.control(0, 20, 0.25f, 1);
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i), next = std::to_string((i + 1) % count);
        b.aux(("a" + n).c_str(), ("L" + n + " * 0.02 + L" + next + " * 0.001").c_str());
        b.level(("L" + n).c_str(), ("a" + n + " - L" + n + " * 0.03").c_str(), "10");
    }
}

// The values of a run on the road mode picks (native_mode's values).
sim_output run_on(model_builder& b, int mode, std::string* messages = nullptr) {
    set_flat_passes(true);
    set_native_mode(mode);
    message_capture capture;
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    native_wait_idle();
    if (messages) *messages = capture.joined();
    return out;
}

bool native_built() {
    // Off when the build has no code generator, or when the environment
    // turns the tier off (KAVREL_NATIVE=0): nothing to load then.
    return native_mode() != nm_off;
}

TEST(NativeModule, OnlyTheFirstCompileLoadsTheCodeGenerator) {
    if (!native_built()) GTEST_SKIP() << "no native code generator in this process";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            model_builder b("ring");
            ring(b, 30);
            if (!b.finish()) std::_Exit(2);
            // Opened and run on the loop: nothing of the generator is mapped
            // (the sanitizer build maps libLLVM from the start, see
            // cmake/native.cmake).
            run_on(b, nm_off);
            if (mapped("libkavrel_native") || (!sanitized && mapped("libLLVM"))) std::_Exit(3);
            run_on(b, nm_tier0);
            if (native_live_passes() == 0) std::_Exit(4);
            if (!mapped("libkavrel_native") || !mapped("libLLVM")) std::_Exit(5);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// What a diagram's read-only slider shows before any run: a run of the
// initial values made while compiles are held, which starts none in the
// background; the next run does.
TEST(NativeModule, ARunToShowValuesLoadsNoCodeGenerator) {
    if (!native_built()) GTEST_SKIP() << "no native code generator in this process";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            model_builder b("ring");
            ring(b, 30);
            if (!b.finish()) std::_Exit(2);
            set_flat_passes(true);
            set_native_mode(nm_auto);
            sim_options initial;
            initial.initial_only = true;
            sim_output out;
            {
                native_auto_held no_compile(true);
                if (simulate_model(b.symbols(), initial, &out) != sim_done) std::_Exit(3);
            }
            native_wait_idle();
            if (out.initial.empty() || mapped("libkavrel_native")) std::_Exit(4);
            run_on(b, nm_auto);
            if (!mapped("libkavrel_native")) std::_Exit(5);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// The resident KB of the executable mappings of the library whose file name
// starts with name.
long resident_code_kb(const std::string& name) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool in = false;
    long kb = 0;
    while (std::getline(smaps, line)) {
        if (line.find('-') < line.find(' ') && line.find(' ') != std::string::npos &&
            line.find(':') > line.find(' ')) {
            const std::size_t slash = line.rfind('/');
            in = line.find(" r-xp ") != std::string::npos && slash != std::string::npos &&
                 line.compare(slash + 1, name.size(), name) == 0;
        } else if (in && line.rfind("Rss:", 0) == 0) {
            kb += std::atol(line.c_str() + 4);
        }
    }
    return kb;
}

// LLVM's load and start-up, and every compile, read tens of MB of its code
// and tables: what they mapped is handed back as each ends, and the code
// read again by later compiles (and the tables the loader relocated, which
// stay) still work, with the loop's values.
TEST(NativeModule, CompilesLeaveLittleOfTheGeneratorsCodeResident) {
    if (!native_built()) GTEST_SKIP() << "no native code generator in this process";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            model_builder b("ring");
            ring(b, 300);
            if (!b.finish()) std::_Exit(2);
            const sim_output loop = run_on(b, nm_off);
            for (int tier : {nm_tier1, nm_tier0, nm_auto}) {
                forget_kept_passes();
                const sim_output native = run_on(b, tier);
                if (!output_difference(native, loop).empty()) std::_Exit(3);
                if (native_live_passes() == 0) std::_Exit(4);
                if (resident_code_kb("libLLVM") > 2048) std::_Exit(5);
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

// In a fresh process whose generator is looked for only at module: the
// passes run on the loop with the loop's values, nothing is compiled, and the
// log line (on stderr, matched against reason) says why.
void expect_refused(const char* module, int tier, const char* reason) {
    EXPECT_EXIT(
        {
            setenv("KAVREL_NATIVE_MODULE", module, 1);
            model_builder b("ring");
            ring(b, 30);
            if (!b.finish()) std::_Exit(2);
            const sim_output loop = run_on(b, nm_off);
            std::string messages;
            const sim_output native = run_on(b, tier, &messages);
            if (native.rows != loop.rows) std::_Exit(3);
            if (native_live_passes() != 0) std::_Exit(4);
            if (native_available()) std::_Exit(5);
            std::fputs(messages.c_str(), stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(0), reason);
}

TEST(NativeModule, AMissingOrForeignGeneratorLeavesTheRunToTheLoopWithItsReason) {
    if (!native_built()) GTEST_SKIP() << "no native code generator in this process";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    expect_refused("/nonexistent/libkavrel_native.so", nm_tier0,
                   "run on the interpreter: no native code generator "
                   "\\(/nonexistent/libkavrel_native.so not found\\)");
    // A library that is not the code generator (no entry point).
    expect_refused("/lib/x86_64-linux-gnu/libm.so.6", nm_tier1,
                   "no native code generator \\(/lib/x86_64-linux-gnu/libm.so.6 is not this "
                   "program's code generator\\)");
}

// The program ends while the worker compiles: the worker finishes and stops
// before the generator's own statics go (it ended in "pure virtual method
// called" when they went first).
TEST(NativeModule, TheProcessEndsCleanlyWhileTheWorkerCompiles) {
    if (!native_built()) GTEST_SKIP() << "no native code generator in this process";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int delay_us : {0, 1000, 3000, 6000, 10000, 15000, 20000, 30000, 45000})
        EXPECT_EXIT(
            {
                model_builder b("ring");
                ring(b, 200);
                if (!b.finish()) std::_Exit(2);
                set_flat_passes(true);
                set_native_mode(nm_auto);
                sim_output out;
                simulate_model(b.symbols(), sim_options{}, &out);
                usleep(static_cast<useconds_t>(delay_us));
                std::exit(0);
            },
            testing::ExitedWithCode(0), "")
            << "exit " << delay_us << " us after the run";
}

} // namespace
