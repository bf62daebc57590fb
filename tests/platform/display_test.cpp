// Whether a display can be reached: decided from the environment before Qt starts.
#include "platform/display.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/common/env_override.h"

namespace {

const char* const display_vars[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};

TEST(Display, WithNothingSetThereIsNoneAndTheReasonSaysWhatToSet) {
    env_override env;
    for (const char* v : display_vars) env.set(v, nullptr);
    std::string why;
    EXPECT_FALSE(display_available(&why));
    EXPECT_NE(why.find("DISPLAY"), std::string::npos);
    EXPECT_NE(why.find("QT_QPA_PLATFORM=offscreen"), std::string::npos);
    EXPECT_FALSE(display_available(nullptr)); // the reason is optional
}

TEST(Display, EmptyValuesCountAsUnset) {
    env_override env;
    for (const char* v : display_vars) env.set(v, "");
    EXPECT_FALSE(display_available(nullptr));
}

TEST(Display, APlatformOfItsOwnIsEnough) {
    for (const char* platform : {"offscreen", "minimal"}) {
        env_override env;
        for (const char* v : display_vars) env.set(v, nullptr);
        env.set("QT_QPA_PLATFORM", platform);
        std::string why = "untouched";
        EXPECT_TRUE(display_available(&why)) << platform;
        EXPECT_EQ(why, "untouched") << platform;
    }
}

TEST(Display, ANamedDisplayCountsOnlyWhenItCanBeOpened) {
    // Names with nothing behind them: Qt would abort on each of them.
    const std::pair<const char*, const char*> cases[] = {
        {"DISPLAY", ":4711"},
        {"DISPLAY", "no-such-host.invalid:0"},
        {"WAYLAND_DISPLAY", "no-such-wayland-4711"}};
    for (const auto& [name, value] : cases) {
        env_override env;
        for (const char* v : display_vars) env.set(v, nullptr);
        env.set(name, value);
        std::string why;
        EXPECT_FALSE(display_available(&why)) << name << "=" << value;
        EXPECT_NE(why.find(std::string("\"") + value + "\""), std::string::npos) << why;
    }
}

} // namespace
