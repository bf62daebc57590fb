// The main window's place: saved by the exit checks, given back at the next
// start, brought onto the screen when it lies off it.
#include "shell_fixture.h"

#include "shell/mainplace.h"

namespace td = test_driver;

namespace {

class MainPlace : public ShellWorkbenchTest {
protected:
    // Runs the program with no model; `while_running` is called once the
    // main loop waits for input, then Exit is chosen.
    int run_program(std::function<void()> while_running = nullptr) {
        td::on_idle([while_running] {
            if (while_running) while_running();
            PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0);
        });
        int r = init_and_run(nullptr, {"-N"});
        win_clear_idle_actions();
        if (main_wnd) shutdown_ui();
        UnregisterClass("Kavrel_guage", hinst);
        return r;
    }
    void write_setting(const std::string& value) {
        std::ofstream ini(dir + "/kavread.ini");
        ini << "[kavrel]\nMainWindow=" << value << "\n";
    }
    std::string saved_setting() {
        std::string ini = read_file(dir + "/kavread.ini");
        std::size_t at = ini.find("MainWindow=");
        if (at == std::string::npos) return "";
        at += 11;
        return ini.substr(at, ini.find('\n', at) - at);
    }
    static RECT screen() {
        return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }
};

TEST_F(MainPlace, AMovedWindowComesBackWhereItWas) {
    // No setting: maximised, with a normal place on the screen to restore to.
    bool zoomed = false;
    RECT normal{};
    ASSERT_EQ(run_program([&] {
                  zoomed = IsZoomed(main_wnd) != 0;
                  ShowWindow(main_wnd, SW_RESTORE);
                  GetWindowRect(main_wnd, &normal);
                  MoveWindow(main_wnd, 60, 40, 520, 380, TRUE);
              }),
              1);
    EXPECT_TRUE(zoomed);
    RECT s = screen();
    EXPECT_GE(normal.left, s.left);
    EXPECT_GE(normal.top, s.top);
    EXPECT_LE(normal.right, s.right);
    EXPECT_LE(normal.bottom, s.bottom);
    EXPECT_LT(normal.right - normal.left, s.right - s.left);
    EXPECT_EQ(saved_setting(), "60,40,520,380,0");

    // The next start opens there; maximised at the exit, it comes back
    // maximised over the same normal place.
    RECT again{};
    ASSERT_EQ(run_program([&] {
                  zoomed = IsZoomed(main_wnd) != 0;
                  GetWindowRect(main_wnd, &again);
                  ShowWindow(main_wnd, SW_SHOWMAXIMIZED);
              }),
              1);
    EXPECT_FALSE(zoomed);
    EXPECT_EQ(again.left, 60);
    EXPECT_EQ(again.top, 40);
    EXPECT_EQ(again.right - again.left, 520);
    EXPECT_EQ(again.bottom - again.top, 380);
    EXPECT_EQ(saved_setting(), "60,40,520,380,1");
    ASSERT_EQ(run_program([&] {
                  zoomed = IsZoomed(main_wnd) != 0;
                  ShowWindow(main_wnd, SW_RESTORE);
                  GetWindowRect(main_wnd, &again);
              }),
              1);
    EXPECT_TRUE(zoomed);
    EXPECT_EQ(again.left, 60);
    EXPECT_EQ(again.right - again.left, 520);
}

// A window made larger where it stands, then maximised: the size the user
// gave it is the one kept to restore to.
TEST_F(MainPlace, AResizedWindowMaximisedKeepsItsNewSize) {
    write_setting("60,40,520,380,0");
    ASSERT_EQ(run_program([&] {
                  SetWindowPos(main_wnd, nullptr, 0, 0, 640, 450,
                               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                  ShowWindow(main_wnd, SW_SHOWMAXIMIZED);
              }),
              1);
    EXPECT_EQ(saved_setting(), "60,40,640,450,1");
}

TEST_F(MainPlace, APlaceOffTheScreenIsBroughtOntoIt) {
    RECT s = screen();
    write_setting(std::to_string(s.right + 500) + "," + std::to_string(s.bottom + 300) +
                  ",400,300,0");
    RECT r{};
    ASSERT_EQ(run_program([&] { GetWindowRect(main_wnd, &r); }), 1);
    EXPECT_GE(r.left, s.left);
    EXPECT_GE(r.top, s.top);
    EXPECT_LE(r.right, s.right);
    EXPECT_LE(r.bottom, s.bottom);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);

    // Larger than the screen: shrunk to it.
    write_setting("-5000,-5000,99999,99999,0");
    ASSERT_EQ(run_program([&] { GetWindowRect(main_wnd, &r); }), 1);
    // (A window as large as the screen may sit a frame's width off its corner.)
    EXPECT_GE(r.left, s.left);
    EXPECT_GE(r.top, s.top);
    EXPECT_LE(r.left, s.left + 8);
    EXPECT_LE(r.top, s.top + 8);
    EXPECT_LE(r.right - r.left, s.right - s.left);
    EXPECT_LE(r.bottom - r.top, s.bottom - s.top);
}

TEST(MainPlaceText, ReadsWhatItWritesAndRefusesTheRest) {
    main_place p{{-10, 20, 790, 620}, true};
    auto back = parse_main_place(format_main_place(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rect.left, -10);
    EXPECT_EQ(back->rect.bottom, 620);
    EXPECT_TRUE(back->maximised);
    auto four = parse_main_place(" 5, 6, 300, 200");
    ASSERT_TRUE(four);
    EXPECT_FALSE(four->maximised);
    for (const char* bad : {"", "1,2,3", "a,b,c,d,0", "1,2,300,200,0,9", "1,2,10,10,0",
                            "1,2,300,-200,0", "1,2,300,200,0x"})
        EXPECT_FALSE(parse_main_place(bad)) << bad;
    RECT on = bring_onto({900, -50, 1300, 250}, {0, 0, 1024, 768});
    EXPECT_EQ(on.left, 624);
    EXPECT_EQ(on.top, 0);
    EXPECT_EQ(on.right, 1024);
    EXPECT_EQ(on.bottom, 300);
}

} // namespace
