// The workbench as a user first sees it: the program started on a sample
// model, its window saved as PNG (the test driver's image of the client area
// and a grab of the whole frame with its menu bar), and checked for the menu
// bar, the title and the bottom bar.
#include "shell_fixture.h"

#include "shell/menubar.h"

#include <algorithm>

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace td = test_driver;

namespace {

class Screenshot : public ShellWorkbenchTest {};

QRgb rgb_of(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

TEST_F(Screenshot, MainWindowAfterOpeningASampleModel) {
    std::string model = sample("population.kmf");
    std::string out_dir = testing::TempDir();
    std::string client_png = out_dir + "/kavrel_workbench_client.png";
    std::string bottom_png = out_dir + "/kavrel_workbench_bottom.png";
    std::string frame_png = out_dir + "/kavrel_workbench.png";

    std::string seen_title;
    std::vector<std::string> bar;
    bool client_saved = false, bottom_saved = false, frame_saved = false;
    RECT client{}, bottom{};
    bool bottom_visible = false;
    QImage bottom_image, frame_image;
    td::on_idle([&] {
        td::run_until_idle();
        seen_title = title();
        bar = menu_texts(GetMenu(main_wnd));
        GetClientRect(main_wnd, &client);
        GetWindowRect(bottom_wnd, &bottom);
        POINT tl{bottom.left, bottom.top};
        ScreenToClient(main_wnd, &tl);
        bottom = RECT{tl.x, tl.y, tl.x + (bottom.right - bottom.left),
                      tl.y + (bottom.bottom - bottom.top)};
        bottom_visible = IsWindowVisible(bottom_wnd);
        client_saved = td::save_png(main_wnd, client_png);
        bottom_saved = td::save_png(bottom_wnd, bottom_png);
        bottom_image = td::image(bottom_wnd);
        if (QWidget* frame = win_widget(main_wnd)) {
            frame_image = frame->grab().toImage();
            frame_saved = frame_image.save(QString::fromStdString(frame_png));
        }
        PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0);
    });
    ASSERT_EQ(init_and_run(nullptr, {model}), 1);
    shutdown_ui();
    UnregisterClass("Kavrel_guage", hinst);

    // The title names the program and the model.
    EXPECT_NE(seen_title.find("Kavrel"), std::string::npos) << seen_title;
    EXPECT_NE(seen_title.find("population.kmf"), std::string::npos) << seen_title;
    // The menu bar with its nine pop-ups.
    EXPECT_EQ(bar, (std::vector<std::string>{"&File", "&View", "&Edit", "&Insert", "&Model",
                                             "&Options", "&Windows", "&Tools", "&Help"}));
    // The bottom bar: shown, 16 pixels high, across the foot of the window.
    EXPECT_TRUE(bottom_visible);
    EXPECT_EQ(bottom.bottom, client.bottom);
    EXPECT_EQ(bottom.bottom - bottom.top, bottom_height);
    EXPECT_EQ(bottom.right, client.right);
    ASSERT_FALSE(bottom_image.isNull());
    EXPECT_EQ(bottom_image.height(), bottom_height);
    // Its face colour, below the two lines at its top edge.
    EXPECT_EQ(bottom_image.pixel(bottom_image.width() - 3, bottom_height - 2) & 0xFFFFFF,
              rgb_of(GetSysColor(COLOR_BTNFACE)) & 0xFFFFFF);
    // The model's name is written in it.
    bool has_text = false;
    for (int x = 2; x < std::min(bottom_image.width(), 300) && !has_text; ++x)
        for (int y = 3; y < bottom_height - 1; ++y)
            if ((bottom_image.pixel(x, y) & 0xFFFFFF) ==
                (rgb_of(GetSysColor(COLOR_BTNTEXT)) & 0xFFFFFF))
                has_text = true;
    EXPECT_TRUE(has_text);

    EXPECT_TRUE(client_saved);
    EXPECT_TRUE(bottom_saved);
    ASSERT_TRUE(frame_saved) << frame_png;
    QImage reread(QString::fromStdString(frame_png));
    ASSERT_FALSE(reread.isNull());
    // The frame is taller than the client area by the menu bar, which is drawn.
    EXPECT_GT(reread.height(), client.bottom);
    std::vector<QRgb> top_row_colours;
    for (int x = 0; x < reread.width(); x += 4) top_row_colours.push_back(reread.pixel(x, 8));
    std::sort(top_row_colours.begin(), top_row_colours.end());
    top_row_colours.erase(std::unique(top_row_colours.begin(), top_row_colours.end()),
                          top_row_colours.end());
    EXPECT_GT(top_row_colours.size(), 1u) << "the menu bar's texts";
    std::printf("screenshot: %s\n", frame_png.c_str());
}

} // namespace

namespace {

class Workbench : public ShellWorkbenchTest {
protected:
    RECT child_rect(HWND w) {
        RECT r{};
        GetWindowRect(w, &r);
        POINT tl{r.left, r.top};
        ScreenToClient(main_wnd, &tl);
        return RECT{tl.x, tl.y, tl.x + (r.right - r.left), tl.y + (r.bottom - r.top)};
    }
};

TEST_F(Workbench, LayoutFollowsThePaletteToolbarAndBottomBar) {
    make_workbench();
    RECT client{};
    GetClientRect(main_wnd, &client);
    // Palette on the left: the container and the bottom bar stand right of it.
    RECT pal = child_rect(tools_wnd), cont = child_rect(container_wnd);
    RECT bot = child_rect(bottom_wnd), tb = child_rect(toolbar_wnd);
    EXPECT_EQ(tb.top, 2);
    EXPECT_EQ(tb.bottom, 2 + toolbar_height);
    EXPECT_EQ(pal.top, 2 + toolbar_height);
    EXPECT_EQ(cont.left, pal.right);
    EXPECT_EQ(cont.top, 2 + toolbar_height);
    EXPECT_EQ(cont.bottom, client.bottom - bottom_height);
    EXPECT_EQ(bot.left, pal.right);

    // Palette hidden: the container starts at the toolbar's foot, full width.
    shell_opts.palette = 2;
    ShowWindow(tools_wnd, SW_HIDE);
    layout_frame(main_wnd);
    cont = child_rect(container_wnd);
    bot = child_rect(bottom_wnd);
    EXPECT_EQ(cont.left, 0);
    EXPECT_EQ(cont.right, client.right);
    EXPECT_EQ(cont.top, 2 + toolbar_height);
    EXPECT_EQ(bot.left, 0);
    EXPECT_EQ(bot.right, client.right);

    // Toolbar and bottom bar hidden: from y 2 to the bottom.
    ShowWindow(toolbar_wnd, SW_HIDE);
    ShowWindow(bottom_wnd, SW_HIDE);
    layout_frame(main_wnd);
    cont = child_rect(container_wnd);
    EXPECT_EQ(cont.top, 2);
    EXPECT_EQ(cont.bottom, client.bottom);

    // Palette on top: a row across the width above the container.
    shell_opts.palette = 1;
    ShowWindow(tools_wnd, SW_SHOW);
    layout_frame(main_wnd);
    pal = child_rect(tools_wnd);
    cont = child_rect(container_wnd);
    EXPECT_EQ(pal.right - pal.left, client.right);
    EXPECT_EQ(cont.top, pal.bottom);
}

TEST_F(Workbench, TitleNamesTheModelOrItsAbsence) {
    make_workbench();
    EXPECT_EQ(title(), "Kavrel:No Model Open Var:");
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    EXPECT_EQ(title(), "Kavrel:" + model + " Var:");
    set_main_title("Population");
    EXPECT_EQ(title(), "Kavrel:" + model + " Var:Population");
    set_main_title(nullptr); // the stored text stays
    EXPECT_EQ(title(), "Kavrel:" + model + " Var:Population");
    shell_opts.short_names = 1;
    set_main_title(nullptr);
    EXPECT_EQ(title(), "Kavrel:" + model.substr(model.size() - 25) + " Var:Population");
}

TEST_F(Workbench, TitleNamesTheFileBeingEditedUntilTheMenuBarChanges) {
    make_workbench();
    set_edited_file("notes.txt");
    EXPECT_EQ(title(), "Kavrel:No Model Open Edit:notes.txt Var:");
    set_main_title("Births");
    EXPECT_EQ(title(), "Kavrel:No Model Open Edit:notes.txt Var:Births");
    output_menu_bar(); // another kind of window: no file is edited
    EXPECT_EQ(edited_file(), "");
    set_main_title(nullptr);
    EXPECT_EQ(title(), "Kavrel:No Model Open Var:Births");
    set_edited_file("other.txt");
    rebuild_menu_bar();
    EXPECT_EQ(title(), "Kavrel:No Model Open Var:Births");
}

TEST_F(Workbench, SessionEndIsRefusedWhileAModalInteractionRuns) {
    make_workbench();
    {
        modal_guard modal;
        EXPECT_EQ(SendMessage(main_wnd, WM_QUERYENDSESSION, 0, 0), 0);
    }
    EXPECT_EQ(SendMessage(main_wnd, WM_QUERYENDSESSION, 0, 0), 1);
}

TEST_F(Workbench, EveryClassIsRegisteredAndAFailureGivesItsCode) {
    int n = 0;
    const class_entry* table = window_class_table(&n);
    EXPECT_EQ(register_classes(hinst), 1);
    for (int i = 0; i < n; ++i) {
        WNDCLASS wc{};
        EXPECT_TRUE(GetClassInfo(hinst, table[i].name, &wc)) << table[i].name;
    }
    unregister_classes();
    WNDCLASS wc{};
    EXPECT_FALSE(GetClassInfo(hinst, "Kavrel_workbench", &wc));
    EXPECT_TRUE(GetClassInfo(hinst, "Kavrel_guage", &wc)); // kept, as the program does
    UnregisterClass("Kavrel_guage", hinst);
    fail_class_registration(-235);
    EXPECT_EQ(register_classes(hinst), -235);
}

} // namespace
