// Shared fixture of the run-reader tests: a small model, a temporary folder,
// captured messages, and a clean table of loaded runs around every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

struct captured_message {
    int severity;
    std::string text;
};
inline std::vector<captured_message>& captured() {
    static std::vector<captured_message> m;
    return m;
}
inline int capture_hook(int kind, const char*, const char* text) {
    captured().push_back({kind, text ? text : ""});
    return 0;
}
inline bool any_message_contains(const std::string& part) {
    for (auto& m : captured())
        if (m.text.find(part) != std::string::npos) return true;
    return false;
}

// The test model: Time, levels (one subscripted), auxiliaries, constants, a
// data variable, a lookup, a string, a time base.
inline void build_test_model(model_builder& b, bool renamed = false) {
    b.control(0, 10, 1, 1);
    b.range("region", {"north", "south"});
    if (renamed) {
        // Another version: a new variable first moves every slot.
        b.level("extra", "rate", "1");
    }
    b.level("Stock", "inflow", "10");
    b.level("Pop[region]", "inflow", "5");
    b.aux("inflow", "rate * Stock");
    b.constant("rate", 0.1f);
    b.constant("size", 7);
    b.data("Obs");
    b.lookup("Effect", {{0, 0}, {1, 2}, {2, 3}});
    b.string_var("Label", "hello");
    b.time_base("Months", "Time * 12", 12, 0);
    b.time_base("Year", "Time + 2000", 1, 2000);
    EXPECT_TRUE(b.finish());
}

class runs_test : public testing::Test {
protected:
    void SetUp() override {
        captured().clear();
        set_message_hook(capture_hook);
        char tmpl[] = "/tmp/runs_testXXXXXX";
        dir_ = mkdtemp(tmpl);
        install_run_delete_hook();
    }
    void TearDown() override {
        free_loaded_runs();
        set_message_hook(nullptr);
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)std::system(cmd.c_str());
        free_scratch();
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Writes a run of the test model; values by element name over 11 saved
    // times 0..10.
    std::string write_run(const std::string& name, run_builder& rb) {
        std::string p = path(name);
        EXPECT_EQ(rb.write(p), 1) << rb.error();
        return p;
    }
    // Writes raw bytes (a run file made up or damaged by the test) to a file of
    // the folder and returns its path.
    std::string write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string p = path(name);
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr) << p;
        if (!f) return p;
        if (!bytes.empty()) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size()) << p;
        }
        std::fclose(f);
        return p;
    }
    static std::vector<float> ramp(int n, float from, float step) {
        std::vector<float> v;
        for (int k = 0; k < n; ++k) v.push_back(from + step * static_cast<float>(k));
        return v;
    }

    std::string dir_;
};
