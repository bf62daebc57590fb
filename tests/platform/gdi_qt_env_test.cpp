// The Qt application the drawing tests need for fonts (offscreen platform).
// Made only when no other suite of this executable has made one.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "tests_platform";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }

private:
    QApplication* app_ = nullptr; // lives until the process ends
};

[[maybe_unused]] const auto* const environment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

// The system's font configuration library keeps its caches until exit; they
// are not leaks of ours (read by the leak checker of sanitizer builds).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
