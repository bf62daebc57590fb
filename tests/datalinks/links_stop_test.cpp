// The engine's stop request around an opening of a workbook in the
// spreadsheet program: the Stop that only gave the opening up is cleared
// again (the run goes on instead of stopping to ask about its results), and
// a Stop Simulation the user gave before the opening still stands after it.
#include "tests/datalinks/links_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace td = test_driver;

namespace {

std::atomic<bool> release{false};
// Held until the test lets it go, or a minute at most: a test whose Stop
// never reached the panel then fails instead of hanging.
void held_open(const std::string&) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!release && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

class LinksStop : public LinksTest {
protected:
    void close_windows() override {
        release = true;
        for (int k = 0; k < 2000 && links::excel_open_state().load() != 0; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        LinksTest::close_windows();
    }
};

TEST_F(LinksStop, StopThatGaveTheOpeningUpIsClearedAfterIt) {
    release = false;
    standin::set_open_hook(held_open);
    stop_request = 0;
    static bool pressed = false;
    pressed = false;
    // The user presses the panel's Stop while "Opening %s" shows (on a
    // loaded machine the panel may come later than the first tick).
    const UINT_PTR timer = SetTimer(nullptr, 0, 1000, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (!wip_wnd || !IsWindowVisible(wip_wnd)) return;
        KillTimer(nullptr, id);
        HWND stop = GetDlgItem(wip_wnd, 2);
        RECT r{};
        GetClientRect(stop, &r);
        td::click(stop, r.right / 2, r.bottom / 2);
        pressed = true;
    });
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(links::automation_connect(xlsx_, "prices"), -2) << "not taken as given up";
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(links::last_open_given_up());
    EXPECT_EQ(stop_request, 0) << "the opening's Stop would stop the run";
    EXPECT_EQ(links::excel_open_state().load(), 2);
    // The connection gives up without trying DDE.
    release = true;
    for (int k = 0; k < 2000 && links::excel_open_state().load() != 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    standin::set_open_hook(nullptr);
}

TEST_F(LinksStop, TheUsersOwnStopStandsAcrossAnOpening) {
    // A Stop Simulation given before the workbook had to be opened.
    stop_request = 1;
    const int ch = links::automation_connect(xlsx_, "prices");
    EXPECT_GE(ch, 0) << "the opening itself was not stopped";
    EXPECT_FALSE(links::last_open_given_up());
    EXPECT_EQ(stop_request, 1) << "the user's Stop Simulation was lost";
    // And when no worker can start, the same.
    dde_close_all();
    standin::reset();
    links::set_worker_starter([](const std::string&) { return false; });
    EXPECT_EQ(links::automation_connect(xlsx_, "prices"), -1);
    EXPECT_EQ(stop_request, 1);
    stop_request = 0;
}

} // namespace
