// The recent models list names each model file once, however its path was
// written when it was opened.
#include "shell_fixture.h"

#include "shell/winlist.h"

#include <string>
#include <vector>

namespace {

class RecentPaths : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        clear_recent_models();
    }
    void TearDown() override {
        clear_recent_models();
        ShellWorkbenchTest::TearDown();
    }
};

TEST_F(RecentPaths, DotsAndDoubledSeparatorsNameTheSameModel) {
    recent_models(1, 0, "/m/models/b.kmf");
    recent_models(1, 0, "/m/models/../models/./a.kmf");
    recent_models(1, 0, "/m//models/b.kmf");
    recent_models(1, 0, "/m/other/../models/a.kmf");
    EXPECT_EQ(recent_model_paths(),
              (std::vector<std::string>{"/m/models/a.kmf", "/m/models/b.kmf"}));
}

} // namespace
