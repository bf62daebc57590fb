// Units as text and the units check of single equations.
#include <gtest/gtest.h>

#include <string>

#include "model/units.h"
#include "tests/model/text_fixture.h"

namespace {

class Units : public TextTest {
protected:
    void build() {
        model_builder b("units");
        b.constant("birth rate", 0.1f, "1/Year");
        b.level("Population", "births", "1000", "people");
        b.aux("births", "Population * birth rate", "people/Year");
        b.aux("wrong", "Population * birth rate", "people");
        b.aux("mixed", "Population + birth rate", "people");
        b.aux("half", "Population * 0.5 + 1", "people");
        b.level("Pop2", "Population", "10", "people");
        b.level("Pop3", "births", "birth rate", "people");
        b.aux("per area", "births / Population", "1/Year");
        b.constant("side", 2, "m");
        b.aux("area", "side * side", "m*m");
        b.aux("root", "SQRT(area) + side", "m");
        b.aux("cond", "IF THEN ELSE(Population > 10, births, 0)", "people/Year");
        b.aux("smoothed", "SMOOTH(births, 3)", "people/Year");
        b.aux("nounits", "Population * 2");
        b.constant("rate3", 1, "people/Year/Month");
        b.aux("hyperbolic", "Population * (TANH(birth rate) + SINH(1) - COSH(0))", "people");
        b.aux("inverse", "Population * (ARCSIN(0.5) + ARCCOS(0.5))", "people");
        b.aux("not a ratio", "ARCSIN(births)", "people/Year");
        b.aux("cancelled", "Population * 1", "people*Year/Year");
        b.aux("doubled wrong", "Population * 2", "people/Year");
        b.aux("doubled", "2 * births", "people/Year");
        b.aux("cube", "side ^ 3", "m*m*m");
        b.aux("half power", "area ^ 0.5", "m");
        b.aux("varying power", "side ^ birth rate", "m");
        b.aux("ramped", "RAMP(births, 0, 5)", "people");
        b.aux("ramp per year", "RAMP(births, 0, 5)", "people/Year");
        b.aux("stepped", "STEP(births, 2)", "people/Year");
        ASSERT_TRUE(b.finish());
        // TIME STEP in years, so a level's rate is checked.
        handle s = b.symbols();
        symbol_id year = find_symbol_in(s, "Year");
        std::uint32_t cell = add_units(s, 0, &year, 1, nullptr, 0);
        symbol_id ts = find_symbol_in(s, "TIME STEP");
        symbol_record r = get_symbol(s, ts);
        r.units = cell;
        put_symbol(s, ts, r);
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }

    int check(const char* name) { return check_eq_units(first_equation(find_symbol(name)), 0); }
};

TEST_F(Units, ChecksAgreeingAndDisagreeingEquations) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    EXPECT_EQ(check("births"), 1);
    EXPECT_EQ(check("Population"), 1);
    EXPECT_EQ(check("half"), 1);
    EXPECT_EQ(check("per area"), 1);
    EXPECT_EQ(check("area"), 1);
    EXPECT_EQ(check("root"), 1);
    EXPECT_EQ(check("cond"), 1);
    EXPECT_EQ(check("smoothed"), 1);
    EXPECT_EQ(check("birth rate"), 1); // a number takes any units
    EXPECT_EQ(report_counts[5], 0);

    EXPECT_EQ(check("mixed"), -1);   // the sum itself has no units
    EXPECT_EQ(check("nounits"), -1); // no units declared
    EXPECT_EQ(report_counts[5], 0);

    EXPECT_EQ(check("wrong"), 0);
    EXPECT_EQ(report_counts[5], 1);
    std::string m = messages();
    EXPECT_NE(m.find("Right hand and left hand units do not match"), std::string::npos);
    EXPECT_NE(m.find("wrong: people/Year against people"), std::string::npos);

    EXPECT_EQ(check("Pop2"), 0); // rate in people, not people/Year
    EXPECT_EQ(check("Pop3"), 0); // initial value in 1/Year
    EXPECT_EQ(report_counts[5], 3);
    m = messages();
    EXPECT_NE(m.find("Units missmatch in INTEG"), std::string::npos);
    EXPECT_NE(m.find("Pop3: 1/Year against people"), std::string::npos);
    EXPECT_EQ(check_eq_units(nullptr, 0), -1);
    EXPECT_EQ(unlock_model(1), 1);
}

// A unit above and below the line cancels out; a number multiplying a
// quantity keeps the quantity's units (it does not make them any units).
TEST_F(Units, CancelledUnitsAndNumbersInProducts) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    EXPECT_EQ(check("cancelled"), 1);
    EXPECT_EQ(check("doubled"), 1);
    EXPECT_EQ(report_counts[5], 0) << messages();
    EXPECT_EQ(check("doubled wrong"), 0);
    EXPECT_NE(messages().find("doubled wrong: people against people/Year"), std::string::npos)
        << messages();
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Units, InverseAndHyperbolicFunctionsGiveNoUnits) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    EXPECT_EQ(check("hyperbolic"), 1);
    EXPECT_EQ(check("inverse"), 1);
    EXPECT_EQ(report_counts[5], 0);
    EXPECT_EQ(check("not a ratio"), 0);
    EXPECT_NE(messages().find("not a ratio: 1 against people/Year"), std::string::npos)
        << messages();
    EXPECT_EQ(unlock_model(1), 1);
}

// A ramp climbs by its slope every unit of time: its units are the slope's
// times time; a step's are its height's.
TEST_F(Units, ARampIsItsSlopeTimesTimeAndAStepItsHeight) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    EXPECT_EQ(check("ramped"), 1) << messages();
    EXPECT_EQ(check("stepped"), 1) << messages();
    EXPECT_EQ(report_counts[5], 0) << messages();
    EXPECT_EQ(check("ramp per year"), 0);
    EXPECT_NE(messages().find("ramp per year: people against people/Year"), std::string::npos)
        << messages();
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Units, TextsOfUnits) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    auto units_of = [](const char* name) { return sym(find_symbol(name))->units; };
    EXPECT_STREQ(units_text(units_of("births")), "people/Year");
    EXPECT_STREQ(units_text(units_of("rate3")), "people/Year/Month");
    EXPECT_EQ(units_entry_text(units_of("rate3")), "people/(Year*Month)");
    EXPECT_EQ(units_entry_text(units_of("birth rate")), "1/Year");
    EXPECT_EQ(units_entry_text(units_of("area")), "m*m");
    EXPECT_STREQ(units_text(0), "");
    EXPECT_STREQ(units_text(0x7FFFFFF0u), "");
    // Two results in one call stay apart.
    const char* a = units_text(units_of("births"));
    const char* b = units_text(units_of("area"));
    EXPECT_STRNE(a, b);

    begin_report();
    write_units(units_of("rate3"));
    EXPECT_EQ(report_text(), "people/(Year*Month)");

    symbol_id pop = find_symbol("Population");
    EXPECT_STREQ(name_units_label("y: ", pop, 0), "y: Population (people)");
    EXPECT_STREQ(name_units_label(nullptr, pop, 1), "Population");
    EXPECT_STREQ(name_units_label(nullptr, pop, 2), "people");
    EXPECT_STREQ(name_units_label(nullptr, find_symbol("nounits"), 0), "nounits");

    EXPECT_STREQ(units_product_text(pop, find_symbol("birth rate")), "people/Year");
    EXPECT_STREQ(units_product_text(find_symbol("side"), find_symbol("area")), "m*m*m");
    EXPECT_STREQ(units_product_text(pop, find_symbol("nounits")), "--** Bad Units **--");
    EXPECT_EQ(unlock_model(1), 1);
    // Without the caller's lock the texts lock for themselves.
    EXPECT_STREQ(units_product_text(pop, find_symbol("per area")), "people/Year");
    EXPECT_EQ(init_units_check(0), 1);
}

// A whole power multiplies the units; a fractional power, or a power that is
// a variable, leaves units that cannot be told (no match is claimed).
TEST_F(Units, PowersOfUnitsAreWholeAndGiven) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    EXPECT_EQ(check("cube"), 1);
    EXPECT_EQ(check("half power"), -1);
    EXPECT_EQ(check("varying power"), -1);
    EXPECT_EQ(report_counts[5], 0) << messages();
    EXPECT_EQ(unlock_model(1), 1);
}

} // namespace

namespace {

// With explanations asked for, a sum whose terms disagree names only the
// terms whose units differ from the declared ones, and a part whose units
// cannot be told lists every variable with units inside it.
TEST_F(Units, ExplanationsNameOnlyTheTermsThatDisagree) {
    build();
    ASSERT_EQ(lock_model(1), 1);
    ASSERT_EQ(init_units_check(1), 1);
    auto explain = [](const char* name) {
        return check_eq_units(first_equation(find_symbol(name)), 1);
    };
    EXPECT_EQ(explain("mixed"), -1);
    std::string m = messages();
    EXPECT_NE(m.find("mixed: the terms of its sum have different units"), std::string::npos) << m;
    EXPECT_NE(m.find("Term birth rate has units 1/Year"), std::string::npos) << m;
    // Population is in people, as "mixed" is declared: it is not named.
    EXPECT_EQ(m.find("Term Population"), std::string::npos) << m;

    EXPECT_EQ(explain("varying power"), -1);
    m = messages();
    EXPECT_NE(m.find("cannot be told from those of side (m), birth rate (1/Year)"),
              std::string::npos)
        << m;
    EXPECT_EQ(unlock_model(1), 1);
}

} // namespace
