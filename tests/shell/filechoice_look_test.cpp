// The file choice dialog as a user sees it: saved as PNG over a folder with
// more entries than the list shows, its controls lined up, the list scrolling
// to its last entry.
#include "shell_fixture.h"

#include "platform/controls.h"
#include "shell/filechoice.h"

#include <QImage>
#include <QScrollBar>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
namespace td = test_driver;

namespace {

class FileChoiceLook : public ShellDialogTest {};

// A control's rectangle in its dialog's client coordinates.
RECT in_dialog(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The first and last rows holding dark (text) pixels inside `r`.
std::pair<int, int> ink_rows(const QImage& img, const RECT& r) {
    int first = -1, last = -1;
    for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, img.height()); ++y)
        for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, img.width()); ++x)
            if (qGray(img.pixel(x, y)) < 100) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    return {first, last};
}

HWND look_in_label(HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char buf[32] = {};
        GetWindowText(c, buf, sizeof buf);
        if (std::string(buf) == "Look &in:") return c;
    }
    return nullptr;
}

TEST_F(FileChoiceLook, AFullFolderScrollsToItsLastEntryAndTheControlsLineUp) {
    std::string dir = testing::TempDir() + "kavrel_full_folder";
    fs::remove_all(dir);
    fs::create_directories(dir + "/Unterordner");
    const int files = 40;
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/Bev\xc3\xb6lkerung %02d.kmf", i);
        std::ofstream(dir + name) << "x";
    }
    std::string png = testing::TempDir() + "kavrel_file_dialog.png";
    bool saved = false;
    QImage shot;
    int count = 0, top_after = -1, visible_rows = 0;
    RECT label{}, folder{}, up{}, list{}, last_item{}, list_client{}, client{};
    int lowest = 0;
    bool bar_shown = false;
    int bar_max = 0;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            td::run_until_idle();
            if (QWidget* w = win_widget(d)) {
                shot = w->grab().toImage();
                saved = shot.save(png.c_str());
                if (const char* keep = std::getenv("KAVREL_SCREENSHOTS"))
                    shot.save((std::string(keep) + "/file_dialog.png").c_str());
            }
            HWND lb = GetDlgItem(d, fdc_list);
            count = static_cast<int>(SendMessage(lb, LB_GETCOUNT, 0, 0));
            // The user drags the scroll bar to its end.
            for (QScrollBar* bar : win_widget(lb)->findChildren<QScrollBar*>()) {
                if (bar->orientation() != Qt::Vertical) continue;
                bar_shown = bar->isVisible() && bar->isEnabled();
                bar_max = bar->maximum();
                bar->setValue(bar->maximum());
            }
            top_after = static_cast<int>(SendMessage(lb, LB_GETTOPINDEX, 0, 0));
            GetClientRect(lb, &list_client);
            int row = static_cast<int>(SendMessage(lb, LB_GETITEMHEIGHT, 0, 0));
            visible_rows = row > 0 ? list_client.bottom / row : 0;
            SendMessage(lb, LB_GETITEMRECT, static_cast<WPARAM>(count - 1),
                        reinterpret_cast<LPARAM>(&last_item));
            if (HWND l = look_in_label(d)) {
                GetWindowRect(l, &label);
                MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&label), 2);
            }
            folder = in_dialog(d, fdc_dir);
            up = in_dialog(d, fdc_up);
            list = in_dialog(d, fdc_list);
            GetClientRect(d, &client);
            for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                RECT r{};
                GetWindowRect(c, &r);
                MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
                // A closed drop-down list counts at its edit height.
                lowest = std::max<int>(lowest, r.bottom);
            }
        })
        .press(IDCANCEL);
    EXPECT_EQ(choose_model_file((dir + "/").c_str()), nullptr);
    fs::remove_all(dir);

    ASSERT_TRUE(saved) << png;
    std::printf("screenshot: %s\n", png.c_str());
    ASSERT_EQ(count, files + 1);
    // More entries than rows: a working scroll bar.
    EXPECT_GT(count, visible_rows);
    EXPECT_TRUE(bar_shown);
    EXPECT_GT(bar_max, 0);
    // At the end of the bar the last entry is shown whole.
    EXPECT_EQ(top_after, count - visible_rows);
    EXPECT_GE(last_item.top, 0);
    EXPECT_LE(last_item.bottom, list_client.bottom);

    // "Look in" stands left of the folder field, centred on it, and the
    // field ends before the Up button.
    ASSERT_LT(label.left, label.right);
    EXPECT_LE(label.right, folder.left);
    EXPECT_NEAR((label.top + label.bottom) / 2.0, (folder.top + folder.bottom) / 2.0, 1.0);
    EXPECT_LT(folder.right, up.left);
    EXPECT_NEAR((up.top + up.bottom) / 2.0, (folder.top + folder.bottom) / 2.0, 1.0);
    EXPECT_LT(folder.bottom, list.top);
    // Their texts stand on one line (the tops of "L" and "/" agree).
    auto label_ink = ink_rows(shot, label), folder_ink = ink_rows(shot, folder);
    ASSERT_GE(label_ink.first, 0);
    ASSERT_GE(folder_ink.first, 0);
    EXPECT_NEAR(label_ink.first, folder_ink.first, 1);
    // No unused band at the foot: the margin below the lowest control is
    // the margin left of the list.
    EXPECT_GE(client.bottom - lowest, list.left - 2);
    EXPECT_LE(client.bottom - lowest, list.left + 4);
}

} // namespace
