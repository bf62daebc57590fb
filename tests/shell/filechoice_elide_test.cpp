// Shortening a long folder for the file dialog: the end (the folder itself)
// matters most, so it keeps two thirds of what fits and the start one third.
#include "shell/filechoice.h"

#include "shell_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FolderEliding : public ShellDialogTest {};

TEST_F(FolderEliding, TheEndKeepsTwoThirdsOfWhatFits) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    auto width = [&](const std::string& t) {
        SIZE s{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &s);
        return static_cast<int>(s.cx);
    };
    const std::string path = "/srv/shared/teams/planning/simulation-models/2026/archive/final/";
    for (int w : {90, 150, 240}) {
        const std::string e = elide_middle(dc, path, w);
        const std::size_t dots = e.find("...");
        ASSERT_NE(dots, std::string::npos) << e;
        const std::size_t head = dots, tail = e.size() - dots - 3;
        EXPECT_EQ(path.compare(0, head, e, 0, head), 0) << e;
        EXPECT_EQ(path.compare(path.size() - tail, tail, e, dots + 3, tail), 0) << e;
        // One third (rounded down) from the start, the rest from the end.
        EXPECT_EQ(head, (head + tail) / 3) << e;
        EXPECT_GE(tail, 2 * head) << e;
        EXPECT_LE(width(e), w) << e;
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

} // namespace
