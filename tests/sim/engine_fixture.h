// Shared by the engine's tests: captures messages and runs built models.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/report.h"
#include "model/model.h"
#include "sim/run.h"
#include "tests/common/report_log.h"
#include "tests/support/model_builder.h"

// Collects every message shown while it lives.
class message_capture {
public:
    message_capture() {
        texts().clear();
        old_ = current_message_hook();
        set_message_hook(&hook);
    }
    ~message_capture() { set_message_hook(old_); }
    message_capture(const message_capture&) = delete;
    message_capture& operator=(const message_capture&) = delete;
    const std::vector<std::string>& all() const { return texts(); }
    bool contains(const std::string& part) const {
        for (const auto& t : texts())
            if (t.find(part) != std::string::npos) return true;
        return false;
    }
    std::string joined() const {
        std::string s;
        for (const auto& t : texts()) s += t + "\n";
        return s;
    }
    // The answer given to questions (IDYES 6, IDNO 7, IDCANCEL 2).
    static int& answer() {
        static int a = 6;
        return a;
    }

private:
    static std::vector<std::string>& texts() {
        static std::vector<std::string> t;
        return t;
    }
    static int hook(int kind, const char*, const char* text) {
        texts().push_back(text ? text : "");
        return kind >= question_yes_no ? answer() : 0;
    }
    message_hook old_ = nullptr;
    report_log log_; // the log kept off the console
};

// The value of a slot at saved time k of a run's output.
inline float saved_value(const sim_output& out, std::size_t k, std::int32_t slot) {
    return out.rows[k * out.value_slots + static_cast<std::size_t>(slot)];
}

// The first value slot of a variable of a built model.
inline std::int32_t slot_of(model_builder& b, const char* name) {
    return get_symbol(b.symbols(), b.id(name)).slot;
}

// Turns an auxiliary of a built model into a test input or a constraint.
inline void retype(model_builder& b, symbol_id s, int type) {
    {
        model_lock_guard g(b.symbols(), 1);
        ASSERT_TRUE(g.ok());
        eq_nodes(eq_at(sym(s)->eqn))[0].code =
            static_cast<std::uint16_t>(type == st_test_input ? nc_test_input_eq : nc_constraint_eq);
    }
    symbol_record r = get_symbol(b.symbols(), s);
    r.type = static_cast<std::uint8_t>(type);
    put_symbol(b.symbols(), s, r);
    assign_value_slots(b.symbols());
}

// The first difference between two runs' outputs, bit for bit ("" when
// none): the error, the values after the initial pass, the saved times and
// every saved value.
inline std::string output_difference(const sim_output& x, const sim_output& y) {
    if (x.error != y.error) return "errors '" + x.error + "' and '" + y.error + "'";
    if (x.initial.size() != y.initial.size()) return "initial counts";
    for (std::size_t i = 0; i < x.initial.size(); ++i)
        if (std::memcmp(&x.initial[i], &y.initial[i], 4) != 0)
            return "initial slot " + std::to_string(i) + ": " + std::to_string(x.initial[i]) +
                   " and " + std::to_string(y.initial[i]);
    if (x.times.size() != y.times.size() || x.rows.size() != y.rows.size()) return "saved counts";
    if (!x.times.empty() && std::memcmp(x.times.data(), y.times.data(), 4 * x.times.size()) != 0)
        return "saved times";
    for (std::size_t i = 0; i < x.rows.size(); ++i)
        if (std::memcmp(&x.rows[i], &y.rows[i], 4) != 0)
            return "slot " + std::to_string(i % x.value_slots) + " at save " +
                   std::to_string(i / x.value_slots);
    return "";
}

// The first difference between two runs with their results and messages
// (any type with result, messages and out), then as output_difference.
template <typename Outcome> std::string run_difference(const Outcome& x, const Outcome& y) {
    if (x.result != y.result)
        return "results " + std::to_string(x.result) + " and " + std::to_string(y.result);
    if (x.messages != y.messages) return "messages '" + x.messages + "' and '" + y.messages + "'";
    return output_difference(x.out, y.out);
}
