// Elements and their equations as a user names them: an equation over a
// sub-range defines those elements (the check accepts it, the element's
// equation is found), and each string slot names its own variable.
#include <gtest/gtest.h>

#include <string>

#include "model/check.h"
#include "tests/model/text_fixture.h"

namespace {

class ElementEquations : public TextTest {};

TEST_F(ElementEquations, AnEquationOverASubRangeDefinesItsElements) {
    model_builder b("coast");
    b.range("region", {"north", "south", "east"});
    b.range("coast", {"north", "south"});
    b.aux("x[east]", "2");
    b.aux("x[coast]", "1");
    b.aux("y[region]", "x[region] * 2");
    ASSERT_TRUE(b.finish());
    // The sub-range holds the first element of the range and the second.
    EXPECT_EQ(check_model(b.symbols()), 0) << messages();
    make_current(b);
    begin_report();
    EXPECT_EQ(print_var_equation("x[north]", 1, 1), 1);
    EXPECT_EQ(report_text(), "1");
    begin_report();
    EXPECT_EQ(print_var_equation("x[south]", 1, 1), 1);
    EXPECT_EQ(report_text(), "1");
    begin_report();
    EXPECT_EQ(print_var_equation("x[east]", 1, 1), 1);
    EXPECT_EQ(report_text(), "2");
}

TEST_F(ElementEquations, EachStringSlotNamesItsOwnVariable) {
    model_builder b("strings");
    symbol_id first = b.string_var("first", "one");
    symbol_id second = b.string_var("second", "two");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    const std::int32_t a = sym(first)->slot, c = sym(second)->slot;
    ASSERT_GE(a, 0);
    ASSERT_GE(c, 0);
    EXPECT_STREQ(string_offset_name(a), "first");
    EXPECT_STREQ(string_offset_name(c), "second");
    EXPECT_STREQ(string_offset_name(std::max(a, c) + 1), "Unknown Symbol");
    EXPECT_EQ(unlock_model(1), 1);
}

} // namespace
