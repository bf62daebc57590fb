// Whether a display can be reached: decided from the environment before Qt starts.
#include "platform/display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Sets or clears environment variables, restoring them when it goes away.
class EnvGuard {
public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

const char* const display_vars[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};

TEST(Display, WithNothingSetThereIsNoneAndTheReasonSaysWhatToSet) {
    EnvGuard env;
    for (const char* v : display_vars) env.set(v, nullptr);
    std::string why;
    EXPECT_FALSE(display_available(&why));
    EXPECT_NE(why.find("DISPLAY"), std::string::npos);
    EXPECT_NE(why.find("QT_QPA_PLATFORM=offscreen"), std::string::npos);
    EXPECT_FALSE(display_available(nullptr)); // the reason is optional
}

TEST(Display, EmptyValuesCountAsUnset) {
    EnvGuard env;
    for (const char* v : display_vars) env.set(v, "");
    EXPECT_FALSE(display_available(nullptr));
}

TEST(Display, APlatformOfItsOwnIsEnough) {
    for (const char* platform : {"offscreen", "minimal"}) {
        EnvGuard env;
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
        EnvGuard env;
        for (const char* v : display_vars) env.set(v, nullptr);
        env.set(name, value);
        std::string why;
        EXPECT_FALSE(display_available(&why)) << name << "=" << value;
        EXPECT_NE(why.find(std::string("\"") + value + "\""), std::string::npos) << why;
    }
}

} // namespace
