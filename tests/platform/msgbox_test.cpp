// Message boxes and the test answerer.
#include "dlg_fixture.h"

#include "platform/msgbox.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <string>
#include <vector>

using namespace dlgtest;
namespace td = test_driver;

namespace {

class MsgBoxTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        answerer::install([this](const std::string& m) { failures.push_back(m); });
    }
    void TearDown() override {
        answerer::uninstall();
        DlgTest::TearDown();
    }
    std::vector<std::string> failures;
};

TEST_F(MsgBoxTest, AnswerIsTakenFromTheQueueByCaptionAndText) {
    answerer::box("Question from Kavrel").text("leave").press(IDNO);
    answerer::box("Question from Kavrel").press(IDYES);
    EXPECT_EQ(MessageBox(nullptr, "Do you want to leave Livesweep mode?", "Question from Kavrel",
                         MB_YESNO | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(MessageBox(nullptr, "Another?", "Question from Kavrel", MB_YESNO), IDYES);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_EQ(answerer::seen().size(), 2u);
    EXPECT_EQ(answerer::seen()[0].text, "Do you want to leave Livesweep mode?");
    EXPECT_TRUE(answerer::seen()[0].answered);
}

TEST_F(MsgBoxTest, UnexpectedBoxFailsWithItsTextAndDoesNotHang) {
    int r = MessageBox(nullptr, "Model has errors - cannot be simulated", "Stop from Kavrel",
                       MB_OK | MB_ICONSTOP);
    EXPECT_EQ(r, IDOK); // closed as Escape would
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("Model has errors - cannot be simulated"), std::string::npos);
    EXPECT_NE(failures[0].find("Stop from Kavrel"), std::string::npos);
}

TEST_F(MsgBoxTest, EscapeFollowsTheButtonSet) {
    auto esc = [](UINT type) {
        td::on_idle([] { td::press_key(VK_ESCAPE); });
        return MessageBox(nullptr, "x", "Esc", type);
    };
    answerer::uninstall(); // keys by hand here
    EXPECT_EQ(esc(MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(esc(MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(esc(MB_OK), IDOK);
    // Yes/No has no Escape answer: the box stays until a button is chosen.
    td::on_idle([] { td::press_key(VK_ESCAPE); });
    td::on_idle([] {
        EXPECT_EQ(dlg_modal_stack().size(), 1u);
        td::press_key('N', td::alt);
    });
    EXPECT_EQ(MessageBox(nullptr, "x", "Esc", MB_YESNO), IDNO);
}

TEST_F(MsgBoxTest, EnterGivesTheDefaultButton) {
    answerer::uninstall();
    td::on_idle([] { td::press_key(VK_RETURN); });
    EXPECT_EQ(MessageBox(nullptr, "x", "c", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
    td::on_idle([] { td::press_key(VK_RETURN); });
    EXPECT_EQ(MessageBox(nullptr, "x", "c", MB_YESNOCANCEL), IDYES);
}

TEST_F(MsgBoxTest, CaptionDefaultsAndOwnerIsDisabledMeanwhile) {
    HWND owner = make_owner();
    bool enabled_inside = true;
    answerer::box("Error")
        .call([&](HWND) { enabled_inside = IsWindowEnabled(owner) != 0; })
        .press(IDOK);
    EXPECT_EQ(MessageBox(owner, "text", nullptr, MB_OK), IDOK);
    EXPECT_FALSE(enabled_inside);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(failures.empty());
}

// Each button set shows its buttons' own texts, with their mnemonics.
TEST_F(MsgBoxTest, ButtonsCarryTheirOwnTexts) {
    const struct {
        UINT type;
        std::vector<std::pair<int, std::string>> buttons;
    } sets[] = {
        {MB_OK, {{IDOK, "OK"}}},
        {MB_OKCANCEL, {{IDOK, "OK"}, {IDCANCEL, "Cancel"}}},
        {MB_ABORTRETRYIGNORE, {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}}},
        {MB_YESNOCANCEL, {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}}},
        {MB_YESNO, {{IDYES, "&Yes"}, {IDNO, "&No"}}},
        {MB_RETRYCANCEL, {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}}}};
    for (const auto& set : sets) {
        std::vector<std::string> texts;
        answerer::box("Buttons")
            .call([&](HWND box) {
                for (const auto& b : set.buttons) {
                    char buf[32] = {};
                    GetDlgItemText(box, b.first, buf, sizeof buf);
                    texts.push_back(buf);
                }
            })
            .press(set.buttons.front().first);
        EXPECT_EQ(MessageBox(nullptr, "x", "Buttons", set.type), set.buttons.front().first);
        ASSERT_EQ(texts.size(), set.buttons.size());
        for (std::size_t k = 0; k < texts.size(); ++k)
            EXPECT_EQ(texts[k], set.buttons[k].second) << set.type;
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(MsgBoxTest, PressingAButtonTheBoxLacksIsReported) {
    answerer::box("c").press(IDCANCEL);
    // Yes/No has no Cancel: the answer fails and the box is closed anyway.
    int r = MessageBox(nullptr, "x", "c", MB_YESNO);
    EXPECT_EQ(r, IDNO);
    ASSERT_FALSE(failures.empty());
    EXPECT_NE(failures[0].find("no control 2"), std::string::npos);
}

TEST_F(MsgBoxTest, TwoBoxesInARowAreAnsweredInOrderFromInsideADialog) {
    DialogTemplate t;
    t.id = 600;
    t.caption = "Outer";
    t.style = WS_POPUP | WS_CAPTION;
    t.cx = 100;
    t.cy = 60;
    t.items = {{WC_EDIT, 10, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER, 5, 5, 80, 12},
               {WC_BUTTON, IDOK, "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 5, 30, 40, 14}};
    dlg_register_template(t);
    std::vector<int> answers;
    hook() = [&](HWND dlg, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
            char text[32];
            GetDlgItemText(dlg, 10, text, sizeof text);
            if (std::string(text) != "good") {
                answers.push_back(MessageBox(dlg, "Enter good", "Check", MB_OK));
                return TRUE; // stays open
            }
            EndDialog(dlg, 77);
            return TRUE;
        }
        return 0;
    };
    answerer::dialog(600).set_text(10, "bad").press(IDOK);
    answerer::box("Check").press(IDOK);
    answerer::dialog(600).set_text(10, "good").press(IDOK);
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(600), nullptr, CALLBACK_proc, 0), 77);
    EXPECT_EQ(answers, std::vector<int>{IDOK});
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(answerer::pending(), 0u);
}

TEST_F(MsgBoxTest, DialogLeftOpenAfterItsAnswerIsAFailureNotAHang) {
    DialogTemplate t;
    t.id = 601;
    t.caption = "Sticky";
    t.style = WS_POPUP | WS_CAPTION;
    t.cx = 100;
    t.cy = 60;
    t.items = {{WC_BUTTON, IDOK, "OK", WS_CHILD | WS_VISIBLE, 5, 30, 40, 14}};
    dlg_register_template(t);
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        return msg == WM_COMMAND && LOWORD(wp) == IDOK; // never ends
    };
    answerer::dialog(601).press(IDOK);
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(601), nullptr, CALLBACK_proc, 0), IDCANCEL);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("stayed open"), std::string::npos);
}

TEST_F(MsgBoxTest, ALongPathWrapsAtItsSeparatorsAndTheBoxStaysWithinTwoThirdsOfTheScreen) {
    std::string path = "/home/someone";
    for (int i = 0; path.size() < 400; ++i) path += "/folder_number_" + std::to_string(i);
    path += "/Current.kdf";
    std::string text = "Unable to write the run file " + path + "; the old file is kept.";
    RECT box{};
    std::string shown;
    answerer::box("Error")
        .text(path) // the answerer sees the text as given
        .call([&](HWND dlg) {
            GetWindowRect(dlg, &box);
            char buf[2048] = {};
            GetDlgItemText(dlg, 0xFFFF, buf, sizeof buf);
            shown = buf;
        })
        .press(IDOK);
    EXPECT_EQ(MessageBox(nullptr, text.c_str(), nullptr, MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_TRUE(failures.empty());
    int screen_w = QGuiApplication::primaryScreen()->availableGeometry().width();
    EXPECT_LE(box.right - box.left, screen_w * 2 / 3);
    // Every character is shown, in lines that end at a separator or a blank.
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        std::size_t nl = shown.find('\n', start);
        lines.push_back(shown.substr(start, nl == std::string::npos ? nl : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    EXPECT_GT(lines.size(), 2u);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(lines[i].back() == '/' || text.find(lines[i] + " ") != std::string::npos)
            << lines[i];
    auto strip = [](std::string t) {
        t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return c == ' ' || c == '\n'; }),
                t.end());
        return t;
    };
    EXPECT_EQ(strip(shown), strip(text));
    // Short texts are left to the usual wrapping at blanks.
    answerer::box("Error")
        .call([&](HWND dlg) {
            char buf[256] = {};
            GetDlgItemText(dlg, 0xFFFF, buf, sizeof buf);
            shown = buf;
        })
        .press(IDOK);
    MessageBox(nullptr, "A short text", nullptr, MB_OK);
    EXPECT_EQ(shown, "A short text");
}

} // namespace
