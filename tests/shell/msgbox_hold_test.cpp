// Message boxes as the user meets them: each severity's own picture, and
// the hold that keeps boxes back until its owner decides.
#include "platform/msgbox.h"
#include "tests/shell/shell_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class MessageBoxes : public ShellDialogTest {};

// A note (6), a caution (7) and a stop (8) each show a picture of their
// own, and one OK button.
TEST_F(MessageBoxes, EachSeverityHasItsOwnPicture) {
    const UINT want[3] = {MB_ICONINFORMATION, MB_ICONEXCLAMATION, MB_ICONSTOP};
    for (int k = 0; k < 3; ++k) {
        const int severity = 6 + k;
        answerer::box(severity_caption(severity)).press(IDOK);
        show_message(severity, "", "the message");
        EXPECT_EQ(answerer::pending(), 0u) << "severity " << severity;
        ASSERT_EQ(answerer::seen().size(), static_cast<std::size_t>(k + 1));
        const UINT type = answerer::seen().back().type;
        EXPECT_EQ(type & MB_ICONMASK, want[k]) << "severity " << severity;
        EXPECT_EQ(type & MB_TYPEMASK, static_cast<UINT>(MB_OK)) << "one button, OK";
    }
    // Questions ask with the question mark.
    answerer::box(question_caption).press(IDNO);
    EXPECT_EQ(ask_yes_no_cancel("Save the changes?"), 0);
    EXPECT_EQ(answerer::seen().back().type & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(answerer::seen().back().type & MB_TYPEMASK, static_cast<UINT>(MB_YESNOCANCEL));
}

// Boxes from a note up are kept while a hold is made, shown when it is
// released, in the order they came; lower messages go on to the message
// list at once, and an internal error is shown at once.
TEST_F(MessageBoxes, AHoldKeepsEveryBoxFromANoteUpUntilReleased) {
    {
        message_hold hold;
        report(6, "a note");
        report(7, "a caution");
        report(3, "a warning");
        EXPECT_TRUE(answerer::seen().empty()) << "no box while held";
        int n = 0;
        const char* const* lines = message_list_lines(&n);
        ASSERT_GE(n, 1);
        EXPECT_NE(std::string(lines[n - 1]).find("a warning"), std::string::npos);
        EXPECT_EQ(hold.reasons(), "a caution\na note\na warning") << "most severe first";

        answerer::box(severity_caption(10)).text("broken").press(IDOK);
        report(10, "broken");
        EXPECT_EQ(answerer::pending(), 0u) << "an internal error is never held";

        answerer::box(severity_caption(6)).text("a note").press(IDOK);
        answerer::box(severity_caption(7)).text("a caution").press(IDOK);
        hold.release();
        EXPECT_EQ(answerer::pending(), 0u);
        EXPECT_TRUE(hold.empty());
    }
    // A hold dropped without a decision shows nothing.
    {
        message_hold hold;
        report(6, "forgotten");
    }
    EXPECT_EQ(answerer::seen().size(), 3u);
}

// Released with reasons, each box gives the warnings kept with it after a
// blank line.
TEST_F(MessageBoxes, ReleasedWithReasonsABoxCarriesTheWarnings) {
    message_hold hold;
    report(6, "Unable to load");
    report(4, "the file ends early");
    answerer::box(severity_caption(6)).text("Unable to load\n\n").press(IDOK);
    hold.release_with_reasons();
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_FALSE(seen_texts().empty());
    EXPECT_EQ(seen_texts().back(), "Unable to load\n\nthe file ends early");
}

// The message list keeps the last thousand lines: the oldest go first.
TEST_F(MessageBoxes, TheMessageListKeepsTheLastThousandLines) {
    for (int i = 1; i <= 1005; ++i) report(3, "warning %d", i);
    int n = 0;
    const char* const* lines = message_list_lines(&n);
    ASSERT_EQ(n, 1000);
    EXPECT_NE(std::string(lines[0]).find("warning 6"), std::string::npos) << lines[0];
    EXPECT_NE(std::string(lines[999]).find("warning 1005"), std::string::npos) << lines[999];
    clear_message_list();
    message_list_lines(&n);
    EXPECT_EQ(n, 0);
}

} // namespace
