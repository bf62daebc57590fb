// Small random models (tests/support/random_model.h) through every road of
// the engine: the flat passes (with and without the wider vector loops)
// against the interpreter alone, with every integration method, to the bit;
// and in each model, state functions written as a level's whole rate against
// the same calls through an auxiliary. The seeds are fixed, so a failure
// names a model that fails again.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/random_model.h"

namespace {

struct outcome {
    int result = 0;
    sim_output out;
};

outcome run(model_builder& b, const sim_program& p, int method) {
    outcome o;
    sim_options opt;
    opt.method = method;
    // A loose tolerance: discontinuous rates would otherwise halve the
    // automatic steps to the smallest, which only makes the test slow.
    opt.rk_tolerance = 0.05;
    o.result = run_program(b.symbols(), p, opt, &o.out);
    return o;
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), 4 * a.size()) == 0);
}

// The first value where two runs differ, as text ("" when none).
std::string first_difference(const outcome& x, const outcome& y) {
    if (x.result != y.result)
        return "results " + std::to_string(x.result) + " and " + std::to_string(y.result);
    if (x.out.error != y.out.error) return "errors '" + x.out.error + "' and '" + y.out.error + "'";
    if (!same_bits(x.out.times, y.out.times)) return "saved times";
    if (x.out.rows.size() != y.out.rows.size()) return "row counts";
    for (std::size_t i = 0; i < x.out.rows.size(); ++i)
        if (std::memcmp(&x.out.rows[i], &y.out.rows[i], 4) != 0)
            return "slot " + std::to_string(i % x.out.value_slots) + " at save " +
                   std::to_string(i / x.out.value_slots) + ": " + std::to_string(x.out.rows[i]) +
                   " and " + std::to_string(y.out.rows[i]);
    return "";
}

class Generated : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override {
        set_flat_passes(true);
        set_wider_vectors(true);
    }
    message_capture messages;
};

TEST_F(Generated, RandomModelsGiveTheInterpretersValuesOnEveryRoadWithEveryMethod) {
    // The test chooses the roads itself: the rerun of the suite with the
    // interpreter alone would only repeat it.
    const char* reference_only = std::getenv("KAVREL_REFERENCE_ENGINE");
    if (reference_only && *reference_only && *reference_only != '0')
        GTEST_SKIP() << "runs both roads itself";
    // KAVREL_GENERATED_MODELS raises the count for a longer search, and
    // KAVREL_GENERATED_FIRST starts from another seed.
    const char* count_text = std::getenv("KAVREL_GENERATED_MODELS");
    const char* first_text = std::getenv("KAVREL_GENERATED_FIRST");
    // (The sanitizer build runs fewer: they check the same code's memory.)
    const std::uint64_t count = count_text  ? std::strtoull(count_text, nullptr, 10)
                                : sanitized ? 60
                                            : 200;
    const std::uint64_t first = first_text ? std::strtoull(first_text, nullptr, 10) : 1;
    int errors = 0, twins = 0;
    for (std::uint64_t seed = first; seed < first + count; ++seed) {
        model_builder b("generated");
        seeded_source src(seed);
        random_model m = build_random_model(b, src);
        ASSERT_TRUE(b.finish()) << "seed " << seed << ": " << b.errors()[0] << "\n" << m.text;
        ASSERT_EQ(check_model(b.symbols()), 0) << "seed " << seed << "\n"
                                               << m.text << messages.joined();
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1) << "seed " << seed << "\n" << messages.joined();
        ASSERT_EQ(order_program(b.symbols(), p), 1) << "seed " << seed << "\n" << messages.joined();
        for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
            set_flat_passes(false);
            outcome reference = run(b, p, method);
            set_flat_passes(true);
            outcome flat = run(b, p, method);
            std::string d = first_difference(flat, reference);
            ASSERT_EQ(d, "") << "seed " << seed << " method " << method << "\n" << m.text;
            if (method == m.method) {
                set_wider_vectors(false);
                outcome narrow = run(b, p, method);
                set_wider_vectors(true);
                d = first_difference(narrow, reference);
                ASSERT_EQ(d, "") << "seed " << seed << " method " << method << " (narrow)\n"
                                 << m.text;
            }
            errors += !reference.out.error.empty();
            for (const auto& [a, n] : m.twins) {
                std::string bname = a;
                bname[5] = 'B';
                std::int32_t sa = slot_of(b, a.c_str()), sb = slot_of(b, bname.c_str());
                for (std::size_t k = 0; k < reference.out.times.size(); ++k)
                    for (int e = 0; e < n; ++e)
                        ASSERT_EQ(saved_value(reference.out, k, sa + e),
                                  saved_value(reference.out, k, sb + e))
                            << a << " element " << e << " save " << k << " seed " << seed
                            << " method " << method << "\n"
                            << m.text;
                ++twins;
            }
        }
    }
    // Most runs go the whole way (an error ends a run alike on every road).
    EXPECT_LT(errors, static_cast<int>(count)) << messages.joined();
    EXPECT_GT(twins, static_cast<int>(count) * 4);
}

} // namespace
