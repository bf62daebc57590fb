// A model file whose symbols point where they must not is refused with the
// reason, never read: a range listing something that is no element of it,
// and an array whose values run past the value slots the file holds.
#include <gtest/gtest.h>

#include <string>

#include "model/model.h"
#include "model/modelfile.h"
#include "model/varnames.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;

class ModelRefusals : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    // Writes the built model after `damage` and reads it back; the reports.
    template <class Damage>
    std::string read_damaged(model_builder& b, const char* name, Damage damage) {
        {
            model_lock_guard g(b.symbols(), 0);
            damage();
        }
        const std::string path = fresh_dir(name) + "/" + name + ".kmf";
        EXPECT_EQ(write_model_file(path.c_str(), b.symbols()), 1);
        captured_reports r;
        model_pair m = read_model_file(path.c_str());
        EXPECT_EQ(m.symbols, 0u) << name;
        return r.text();
    }
};

TEST_F(ModelRefusals, ARangeListingAVariableIsRefused) {
    model_builder b("ranges");
    symbol_id region = b.range("region", {"north", "south"});
    symbol_id k = b.constant("k", 1);
    ASSERT_TRUE(b.finish());
    const std::string text = read_damaged(b, "ranges", [&] {
        auto* l = const_cast<element_list*>(range_elements(region));
        ASSERT_NE(l, nullptr);
        ASSERT_EQ(l->count, 2u);
        l->ids[1] = k; // a constant where the second element stood
    });
    EXPECT_NE(text.find("range element"), std::string::npos) << text;
}

TEST_F(ModelRefusals, AnArrayPastTheLastValueSlotIsRefused) {
    model_builder b("slots");
    b.range("region", {"north", "south", "east"});
    symbol_id x = b.constant("x[region]", 1);
    ASSERT_TRUE(b.finish());
    const std::string text = read_damaged(b, "slots", [&] {
        // Its first value in the last slot: the other two lie beyond.
        sym(x)->slot = static_cast<std::int32_t>(model_value_slots()) - 1;
    });
    EXPECT_NE(text.find("value slot"), std::string::npos) << text;
}

} // namespace
