// Time bases: labels of model times and their inverse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/timebase.h"
#include "tests/model/text_fixture.h"

namespace {

class TimeBase : public TextTest {
protected:
    symbol_id years = 0;
    void build(bool context) {
        model_builder b("tb");
        b.constant("k", 1);
        years = b.time_base("Years", "Time", 0.5f, 2000);
        make_current(b, context);
    }
};

TEST_F(TimeBase, WithoutATimeBasisItIsAnInternalError) {
    build(false);
    ASSERT_EQ(model_rec, nullptr);
    double v = -1;
    char text[32] = "x";
    EXPECT_EQ(time_basis_label(12, &v, 0, text, sizeof text), 0);
    EXPECT_EQ(v, 12);
    EXPECT_STREQ(text, "12");
    EXPECT_EQ(report_counts[10], 1);
    EXPECT_NE(messages().find("In time_basis_label with no time basis"), std::string::npos);
    EXPECT_TRUE(is_na(decode_string("12")));
}

TEST_F(TimeBase, LabelsFollowTheTimeBasisInUse) {
    build(true);
    ASSERT_NE(model_rec, nullptr);
    double v = 0;
    char text[32];
    // Time itself.
    EXPECT_EQ(time_basis_label(7.5, &v, 0, text, sizeof text), 1);
    EXPECT_EQ(v, 7.5);
    EXPECT_STREQ(text, "7.5");
    EXPECT_EQ(decode_string("7.5"), 7.5);

    EXPECT_EQ(time_basis_symbol(), find_symbol("Time"));
    model_rec->time_base = years;
    EXPECT_EQ(time_basis_symbol(), years);
    EXPECT_STREQ(varformat(time_basis_symbol(), 0), "Years");
    EXPECT_EQ(time_basis_label(24, &v, 0, text, sizeof text), 1);
    EXPECT_EQ(v, 2012);
    EXPECT_STREQ(text, "2012");
    EXPECT_EQ(time_basis_label(24, &v, 1, nullptr, 0), 1);
    EXPECT_EQ(v, 24);
    EXPECT_EQ(decode_string("2012"), 24);
    EXPECT_EQ(decode_string(" 2001 "), 2);
    EXPECT_TRUE(is_na(decode_string("soon")));
    EXPECT_TRUE(is_na(decode_string(nullptr)));
    // A missing time stays missing; a short buffer is cut, not overrun.
    EXPECT_EQ(time_basis_label(NA, &v, 0, text, sizeof text), 1);
    EXPECT_TRUE(is_na(v));
    EXPECT_STREQ(text, "--");
    char small[3];
    std::memset(small, 'z', sizeof small);
    time_basis_label(24, nullptr, 0, small, sizeof small);
    EXPECT_STREQ(small, "20");
    EXPECT_EQ(report_counts[10], 0);

    // A time-axis variable that is no time base.
    model_rec->time_base = find_symbol("k");
    EXPECT_EQ(time_basis_label(3, &v, 0, nullptr, 0), 0);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(report_counts[10], 1);
    model_rec->time_base = 0x7FFFFFF0u;
    EXPECT_EQ(time_basis_label(3, &v, 0, nullptr, 0), 0);
    EXPECT_EQ(report_counts[10], 2);
    model_rec->time_base = 0;

    double scale = 0, offset = 0;
    EXPECT_EQ(time_base_scale(years, &scale, &offset), 1);
    EXPECT_EQ(scale, 0.5);
    EXPECT_EQ(offset, 2000);
    EXPECT_EQ(time_base_scale(find_symbol("Time"), &scale, &offset), 1);
    EXPECT_EQ(scale, 1);
}

// A time base without a usable scale counts model time as it is, and one
// without a usable offset adds nothing: labels and their inverse stay finite.
TEST_F(TimeBase, AScaleOfZeroOrAMissingOffsetLeavesModelTime) {
    model_builder b("tb0");
    b.constant("k", 1);
    const symbol_id flat = b.time_base("Flat", "Time", 0, 100);
    const symbol_id unset = b.time_base("Unset", "Time", 2, NA);
    make_current(b, true);
    ASSERT_NE(model_rec, nullptr);
    double scale = -1, offset = -1;
    EXPECT_EQ(time_base_scale(flat, &scale, &offset), 1);
    EXPECT_EQ(scale, 1);
    EXPECT_EQ(offset, 100);
    EXPECT_EQ(time_base_scale(unset, &scale, &offset), 1);
    EXPECT_EQ(scale, 2);
    EXPECT_EQ(offset, 0);
    model_rec->time_base = flat;
    double v = 0;
    EXPECT_EQ(time_basis_label(5, &v, 0, nullptr, 0), 1);
    EXPECT_EQ(v, 105);
    EXPECT_EQ(decode_string("105"), 5);
    model_rec->time_base = unset;
    EXPECT_EQ(time_basis_label(5, &v, 0, nullptr, 0), 1);
    EXPECT_EQ(v, 10);
    EXPECT_EQ(decode_string("10"), 5);
    model_rec->time_base = 0;
}

} // namespace
