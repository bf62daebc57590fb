// Automation within one process: servers found by program id only after
// initialising, the active object, the running-object table, calls by name,
// and safe arrays bounded in every dimension.
#include "platform/automation.h"

#include <gtest/gtest.h>

#include <thread>

using namespace automation;

namespace {

// An object with one property "Level" (read and write) and a method "Twice".
class counter final : public dispatch {
public:
    int level = 0;
    hresult ids_of_names(const std::string& name, dispid* id) override {
        if (name == "Level" || name == "level")
            *id = 1;
        else if (name == "Twice")
            *id = 2;
        else
            return e_unknown_name;
        return s_ok;
    }
    hresult invoke(dispid id, int kind, const std::vector<variant>& args, variant* out) override {
        if (id == 1 && (kind & invoke_put)) {
            if (args.empty()) return e_bad_count;
            level = static_cast<int>(args.back().integer);
            return s_ok;
        }
        if (id == 1) {
            *out = variant::of_int(level);
            return s_ok;
        }
        if (args.size() != 1 || args[0].type != vt::i4) return e_type;
        *out = variant::of_int(2 * static_cast<std::int32_t>(args[0].integer));
        return s_ok;
    }
};

class Automation : public testing::Test {
protected:
    void TearDown() override {
        reset_automation();
        while (initialised()) uninitialise();
    }
};

TEST_F(Automation, ServersAreFoundByProgramIdOnceInitialised) {
    int made = 0;
    register_server("Test.Counter", [&] {
        ++made;
        return std::make_shared<counter>();
    });
    class_id id = 0;
    EXPECT_EQ(class_from_program_id("Test.Counter", &id), e_not_initialised);
    ASSERT_EQ(initialise(), s_ok);
    ASSERT_EQ(class_from_program_id("test.counter", &id), s_ok); // any case
    EXPECT_EQ(class_from_program_id("Test.Other", &id), e_invalid_class);
    std::shared_ptr<dispatch> a, b;
    EXPECT_EQ(get_active_object(id, &a), e_unavailable);
    ASSERT_EQ(create_instance(id, &a), s_ok);
    ASSERT_EQ(create_instance(id, &b), s_ok);
    EXPECT_NE(a, b);
    EXPECT_EQ(made, 2);
    // Registered as active, the running instance is the one given.
    register_active_object(id, a);
    std::shared_ptr<dispatch> active;
    ASSERT_EQ(get_active_object(id, &active), s_ok);
    EXPECT_EQ(active, a);
    revoke_active_object(id);
    EXPECT_EQ(get_active_object(id, &active), e_unavailable);
    // Initialising counts per thread: another thread starts uninitialised.
    hresult other = s_ok;
    std::thread([&] { other = class_from_program_id("Test.Counter", &id); }).join();
    EXPECT_EQ(other, e_not_initialised);
    revoke_server("Test.Counter");
    EXPECT_EQ(class_from_program_id("Test.Counter", &id), e_invalid_class);
}

TEST_F(Automation, MembersAreCalledByName) {
    counter c;
    variant out;
    EXPECT_EQ(call(&c, "Level", invoke_put, {variant::of_int(4)}), s_ok);
    EXPECT_EQ(c.level, 4);
    ASSERT_EQ(call(&c, "Level", invoke_get, {}, &out), s_ok);
    EXPECT_EQ(out.integer, 4);
    ASSERT_EQ(call(&c, "Twice", invoke_method, {variant::of_int(21)}, &out), s_ok);
    EXPECT_EQ(out.integer, 42);
    EXPECT_EQ(call(&c, "Twice", invoke_method, {variant::of_text("21")}, &out), e_type);
    EXPECT_EQ(call(&c, "Thrice", invoke_method, {}, &out), e_unknown_name);
    EXPECT_EQ(call(nullptr, "Level", invoke_get), e_fail);
}

TEST_F(Automation, TheRunningTableNamesOpenDocuments) {
    auto doc = std::make_shared<counter>();
    const std::int32_t cookie = register_running("/data/prices.xlsx", doc);
    register_running("/data/other.xlsx", std::make_shared<counter>());
    EXPECT_EQ(running_names(), (std::vector<std::string>{"/data/prices.xlsx", "/data/other.xlsx"}));
    std::shared_ptr<dispatch> found;
    ASSERT_EQ(bind_running("/data/prices.xlsx", &found), s_ok);
    EXPECT_EQ(found, doc);
    revoke_running(cookie);
    EXPECT_EQ(bind_running("/data/prices.xlsx", &found), e_unavailable);
    EXPECT_EQ(running_names().size(), 1u);
}

TEST_F(Automation, SafeArraysAreBoundedInEveryDimension) {
    auto a = make_array({{1, 2}, {1, 3}});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->elements.size(), 6u);
    EXPECT_EQ(array_put(*a, {2, 3}, variant::of_double(9.5)), s_ok);
    EXPECT_EQ(a->elements[5].real, 9.5); // the last index runs fastest
    EXPECT_EQ(array_put(*a, {1, 1}, variant::of_text("x")), s_ok);
    variant v;
    ASSERT_EQ(array_get(*a, {1, 1}, &v), s_ok);
    EXPECT_EQ(v.text, "x");
    EXPECT_EQ(array_get(*a, {0, 1}, &v), e_bad_index);
    EXPECT_EQ(array_get(*a, {3, 1}, &v), e_bad_index);
    EXPECT_EQ(array_get(*a, {1, 4}, &v), e_bad_index);
    EXPECT_EQ(array_get(*a, {1}, &v), e_bad_index); // too few indices
    EXPECT_EQ(array_put(*a, {1, 1, 1}, v), e_bad_index);
    // Negative lower bounds and empty or huge shapes.
    auto b = make_array({{-2, 3}});
    ASSERT_TRUE(b);
    EXPECT_EQ(array_put(*b, {-2}, variant::of_int(1)), s_ok);
    EXPECT_EQ(array_get(*b, {1}, &v), e_bad_index);
    EXPECT_FALSE(make_array({}));
    EXPECT_FALSE(make_array({{1, 0}}));
    EXPECT_FALSE(make_array({{1, 100000}, {1, 100000}}));
}

} // namespace

namespace {

// A true boolean is all bits set, as automation clients read it; false is 0.
TEST_F(Automation, BooleansAreAllBitsForTrue) {
    const variant t = variant::of_bool(true), f = variant::of_bool(false);
    EXPECT_EQ(t.type, vt::boolean);
    EXPECT_EQ(t.integer, -1);
    EXPECT_EQ(f.integer, 0);
}

// A server taken off the table takes its running object with it: registered
// again, it has none until one is registered anew.
TEST_F(Automation, ARevokedServerForgetsItsRunningObject) {
    register_server("Test.Revoked", [] { return std::make_shared<counter>(); });
    ASSERT_EQ(initialise(), s_ok);
    class_id id = 0;
    ASSERT_EQ(class_from_program_id("Test.Revoked", &id), s_ok);
    std::shared_ptr<dispatch> made, active;
    ASSERT_EQ(create_instance(id, &made), s_ok);
    register_active_object(id, made);
    revoke_server("Test.Revoked");
    EXPECT_EQ(get_active_object(id, &active), e_unavailable);
    register_server("Test.Revoked", [] { return std::make_shared<counter>(); });
    class_id again = 0;
    ASSERT_EQ(class_from_program_id("Test.Revoked", &again), s_ok);
    EXPECT_EQ(again, id);
    EXPECT_EQ(get_active_object(again, &active), e_unavailable);
    EXPECT_EQ(active, nullptr);
}

} // namespace
