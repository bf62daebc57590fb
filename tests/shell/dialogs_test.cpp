// Dialog utilities and message boxes: the reporter's display, questions, the
// counters around dialogs, the question dialogs, the show queue, the filters
// and the dialog fitter.
#include "shell_fixture.h"

#include "platform/controls.h"
#include "platform/msgbox.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace td = test_driver;

namespace {

class Dialogs : public ShellDialogTest {};

TEST_F(Dialogs, MessagesFromSixUpShowABoxCaptionedBySeverity) {
    const char* captions[] = {"Message from Kavrel", "Caution from Kavrel", "Stop from Kavrel",
                              "Fatal Error for Kavrel", "Kavrel Program Error"};
    for (const char* c : captions) answerer::box(c).press(IDOK);
    report(6, "note %d", 6);
    report(7, "caution");
    report(8, "Model has errors - cannot be simulated");
    EXPECT_THROW(report(9, "out of memory"), fatal_unwind);
    report(-3, "RT2314"); // a negative severity counts as 10
    ASSERT_EQ(answerer::seen().size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(answerer::seen()[i].caption, captions[i]);
    EXPECT_EQ(answerer::seen()[0].text, "note 6");
    EXPECT_EQ(answerer::seen()[2].text, "Model has errors - cannot be simulated");
}

TEST_F(Dialogs, OneBoxAtATimeAndTheCountersComeBackDown) {
    int inner_modal = -1;
    answerer::box("Fatal Error for Kavrel")
        .call([&](HWND) {
            inner_modal = modal_count;
            // A second message while the first box is up is logged, not shown.
            EXPECT_THROW(report(9, "second"), fatal_unwind);
            report(8, "third");
        })
        .press(IDOK);
    EXPECT_THROW(report(9, "first"), fatal_unwind);
    EXPECT_GE(inner_modal, 1);
    ASSERT_EQ(answerer::seen().size(), 1u);
    EXPECT_EQ(answerer::seen()[0].text, "first");
    // Once it is closed, the next one shows again.
    answerer::box("Stop from Kavrel").press(IDOK);
    report(8, "after");
    EXPECT_EQ(answerer::seen().size(), 2u);
}

TEST_F(Dialogs, LowSeveritiesGoToTheMessageListLineByLine) {
    report(5, "first line\nsecond line");
    report(3, "a warning");
    int n = 0;
    const char* const* lines = message_list_lines(&n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::string(lines[0]), std::string(severity_prefix(5)) + "first line");
    EXPECT_STREQ(lines[1], "second line");
    EXPECT_EQ(std::string(lines[2]), std::string(severity_prefix(3)) + "a warning");
    EXPECT_TRUE(answerer::seen().empty());

    static std::vector<std::string> taken;
    taken.clear();
    set_low_message_sink([](int sev, const char*, const char* text) {
        taken.push_back(std::to_string(sev) + ":" + text);
        return true;
    });
    report(5, "to the error window");
    set_low_message_sink(nullptr);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0], "5:to the error window");
    message_list_lines(&n);
    EXPECT_EQ(n, 3);
}

TEST_F(Dialogs, PlacingOutputInASketchShowsOnlyProgramErrors) {
    placing_output_in_sketch = true;
    report(8, "hidden");
    answerer::box("Kavrel Program Error").press(IDOK);
    report(10, "SPL1144");
    placing_output_in_sketch = false;
    ASSERT_EQ(answerer::seen().size(), 1u);
    EXPECT_EQ(answerer::seen()[0].text, "SPL1144");
}

TEST_F(Dialogs, QuestionsAnswerWithTheButtonPressed) {
    answerer::box("Question from Kavrel").text("leave").press(IDYES);
    answerer::box("Question from Kavrel").press(IDNO);
    answerer::box("Question from Kavrel").press(IDYES);
    answerer::box("Question from Kavrel").press(IDNO);
    answerer::box("Question from Kavrel").press(IDCANCEL);
    EXPECT_EQ(ask_yes_no("Do you want to %s Livesweep mode?", "leave"), 1);
    EXPECT_EQ(ask_yes_no("again?"), 0);
    EXPECT_EQ(ask_yes_no_cancel("save?"), 1);
    EXPECT_EQ(ask_yes_no_cancel("save?"), 0);
    EXPECT_EQ(ask_yes_no_cancel("save?"), -1);
    EXPECT_EQ(answerer::seen()[0].text, "Do you want to leave Livesweep mode?");
    // The engine's questions come through the reporter's hook.
    answerer::box("Question from Kavrel").text("results so far").press(IDNO);
    EXPECT_EQ(ask_question(question_yes_no_cancel,
                           "Do you want to save the results so far (cancel to continue simulation)",
                           IDYES),
              IDNO);
}

TEST_F(Dialogs, EscapeOnAYesNoCancelQuestionIsCancel) {
    answerer::uninstall();
    td::on_idle([] { td::press_key(VK_ESCAPE); });
    EXPECT_EQ(ask_yes_no_cancel("Do you want to save changes to %s?", "model.kmf"), -1);
}

TEST_F(Dialogs, QuestionTextsAreSizedFromTheirArguments) {
    std::string long_name(5000, 'x');
    long_name += "END";
    answerer::box("Question from Kavrel").press(IDYES);
    answerer::box("Question from Kavrel").press(IDNO);
    EXPECT_EQ(ask_yes_no("The file %s exists\nDo you want to overwrite it", long_name.c_str()), 1);
    EXPECT_EQ(ask_yes_no_cancel("%s and %s, %d times", long_name.c_str(), long_name.c_str(), 12345),
              0);
    ASSERT_EQ(answerer::seen().size(), 2u);
    // Nothing is lost to a fixed buffer, but the box shows an overlong line
    // by its two ends, so that it fits the screen.
    const std::string& first = answerer::seen()[0].text;
    EXPECT_EQ(first.rfind("The file xxx", 0), 0u) << first.substr(0, 40);
    EXPECT_NE(first.find("xxx ... xxx"), std::string::npos);
    EXPECT_NE(first.find("xxxEND exists\nDo you want to overwrite it"), std::string::npos);
    EXPECT_LT(first.size(), 300u);
    const std::string& second = answerer::seen()[1].text;
    EXPECT_NE(second.find("END, 12345 times"), std::string::npos);
    EXPECT_LT(second.size(), 300u);
    // Many lines: at most 40 of them are shown, the cut marked.
    std::string many;
    for (int i = 0; i < 100; ++i) many += "line " + std::to_string(i) + "\n";
    answerer::box(severity_caption(6)).press(IDOK);
    report(6, "%s", many.c_str());
    ASSERT_EQ(answerer::seen().size(), 3u);
    const std::string& third = answerer::seen()[2].text;
    EXPECT_NE(third.find("line 39\n..."), std::string::npos);
    EXPECT_EQ(third.find("line 40"), std::string::npos);
}

TEST_F(Dialogs, RunDialogRaisesTheCountersForItsLifeOnly) {
    int depth = -1, modal = -1, busy = -1;
    answerer::dialog(354)
        .call([&](HWND) {
            depth = dialog_depth;
            modal = modal_count;
            busy = busy_depth;
        })
        .press(IDCANCEL);
    EXPECT_EQ(ask_text("Name?", "x"), nullptr);
    EXPECT_EQ(depth, 1);
    EXPECT_GE(modal, 1);
    EXPECT_GE(busy, 1);
}

INT_PTR throwing_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        fit_dialog(dialog, 0);
        throw fatal_unwind("gone");
    }
    return FALSE;
}

TEST_F(Dialogs, AnUnwindOutOfADialogLowersTheCounters) {
    EXPECT_THROW(run_dialog(354, nullptr, throwing_proc, 0), fatal_unwind);
    EXPECT_EQ(dialog_depth, 0);
    EXPECT_EQ(modal_count, 0);
    EXPECT_EQ(busy_depth, 0);
    EXPECT_TRUE(dlg_modal_stack().empty());
}

INT_PTR plain_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

TEST_F(Dialogs, RunDialogMakesAParameterListOnRequest) {
    int count = -1;
    bool had_list = false;
    answerer::dialog(354)
        .call([&](HWND) {
            count = dialog_param_count;
            had_list = dialog_params != nullptr;
        })
        .press(IDCANCEL);
    dialog_param_request = true;
    run_dialog(354, nullptr, plain_proc, -6);
    dialog_param_request = false;
    EXPECT_EQ(count, 6);
    EXPECT_TRUE(had_list);
    EXPECT_EQ(dialog_params, nullptr); // the previous list (none) is back
}

TEST_F(Dialogs, TextQuestionsGiveTheTextsOrNull) {
    answerer::dialog(354).set_text(1660, "run2").press(IDOK);
    char* t = ask_text("Run name?", "run1");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "run2");

    std::string prompt_seen;
    answerer::dialog(382)
        .call([&](HWND d) {
            char buf[64] = {};
            GetDlgItemText(d, 1658, buf, sizeof buf);
            prompt_seen = buf;
            GetDlgItemText(d, 1661, buf, sizeof buf);
            EXPECT_STREQ(buf, "old");
        })
        .set_text(1659, "new")
        .press(IDOK);
    char* two = ask_replace_text(nullptr, "Replace", "old", "");
    ASSERT_NE(two, nullptr);
    EXPECT_STREQ(two, "old");
    EXPECT_STREQ(two + 4, "new");
    EXPECT_EQ(prompt_seen, "Replace");

    answerer::dialog(355).set_text(1660, "only").press(IDOK);
    char* one = ask_replace_text(nullptr, "Find", "x", nullptr);
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one, "only");

    answerer::dialog(354).press(IDCANCEL);
    EXPECT_EQ(ask_text("Run name?", "run1"), nullptr);
}

TEST_F(Dialogs, ListQuestionTakesTheSelectionAndStaysWithoutOne) {
    const char* items[] = {"alpha", "beta", "gamma"};
    answerer::dialog(353).select(1660, 2).press(IDOK);
    EXPECT_EQ(ask_list("Choose", items, 3, 0), 2);

    bool stayed = false;
    answerer::dialog(353)
        .call([&](HWND d) {
            SendDlgItemMessage(d, 1660, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            SendMessage(d, WM_COMMAND, IDOK, 0);
            // Still shown and still the dialog in front (an ended one hides).
            stayed =
                IsWindowVisible(d) && !dlg_modal_stack().empty() && dlg_modal_stack().back() == d;
        })
        .press(IDCANCEL);
    EXPECT_EQ(ask_list("Choose", items, 3, -1), -1);
    EXPECT_TRUE(stayed);

    // The list lays itself out: OK at a quarter, Cancel at three quarters.
    answerer::dialog(353)
        .call([&](HWND d) {
            RECT cr{}, ok{}, cancel{};
            GetClientRect(d, &cr);
            GetWindowRect(GetDlgItem(d, IDOK), &ok);
            GetWindowRect(GetDlgItem(d, IDCANCEL), &cancel);
            POINT a{(ok.left + ok.right) / 2, 0}, b{(cancel.left + cancel.right) / 2, 0};
            ScreenToClient(d, &a);
            ScreenToClient(d, &b);
            EXPECT_NEAR(a.x, cr.right / 4, 2);
            EXPECT_NEAR(b.x, 3 * cr.right / 4, 2);
        })
        .press(IDCANCEL);
    EXPECT_EQ(ask_list("Choose", items, 3, 1), -1);
}

// Logs the order in which windows are shown.
std::vector<HWND>& shown() {
    static std::vector<HWND> s;
    return s;
}
LRESULT log_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SHOWWINDOW && wp) shown().push_back(w);
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(Dialogs, ShowQueueDefersUntilPlayedInOrderButTheProgressWindowShowsAtOnce) {
    HWND a = make_test_window("QueueTest", log_proc, WS_OVERLAPPEDWINDOW, 100, 100, nullptr, "a");
    HWND b = make_test_window("QueueTest", log_proc, WS_OVERLAPPEDWINDOW, 100, 100, nullptr, "b");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    shown().clear();
    open_show_queue();
    EXPECT_EQ(show_window(b, SW_SHOW), 88);
    EXPECT_EQ(show_window(a, SW_SHOW), 88);
    EXPECT_FALSE(IsWindowVisible(a));
    EXPECT_FALSE(IsWindowVisible(b));
    wip_message(10, nullptr); // the splash is shown at once
    EXPECT_TRUE(IsWindowVisible(wip_wnd));
    show_window(0, -1);
    EXPECT_FALSE(show_queue_open());
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[0], b);
    EXPECT_EQ(shown()[1], a);
    // Closed: at once.
    EXPECT_NE(show_window(a, SW_HIDE), 88);
    EXPECT_FALSE(IsWindowVisible(a));
    wip_message(-10, nullptr);
}

TEST_F(Dialogs, ModelessDialogsAreFilteredUntilDestroyed) {
    HWND slot = nullptr;
    HWND d = create_modeless(354, user_text_proc, nullptr, &slot, 1);
    // Made without question data: the procedure copes; the dialog is registered.
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(slot, d);
    MSG msg{};
    msg.hwnd = GetDlgItem(d, 1660);
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    EXPECT_TRUE(run_loop_filters(&msg));
    // Making it again replaces the old one.
    HWND d2 = create_modeless(354, user_text_proc, nullptr, &slot, 1);
    EXPECT_FALSE(IsWindow(d));
    EXPECT_EQ(slot, d2);
    destroy_modeless(&slot);
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(IsWindow(d2));
    EXPECT_FALSE(run_loop_filters(&msg));
}

TEST_F(Dialogs, FitDialogScalesToTheDialogFontAndCentresOnRequest) {
    SIZE plain{}, big{};
    RECT edit_plain{}, edit_big{};
    auto measure = [](SIZE& s, RECT& e) {
        return [&s, &e](HWND d) {
            RECT cr{};
            GetClientRect(d, &cr);
            s = SIZE{cr.right, cr.bottom};
            GetWindowRect(GetDlgItem(d, 1660), &e);
        };
    };
    answerer::dialog(354).call(measure(plain, edit_plain)).press(IDCANCEL);
    ask_text("p", "");
    set_dialog_font_specs("Sans Serif|14|", "", "");
    answerer::dialog(354).call(measure(big, edit_big)).press(IDCANCEL);
    ask_text("p", "");
    EXPECT_GT(big.cx, plain.cx);
    EXPECT_GT(big.cy, plain.cy);
    EXPECT_GT(edit_big.right - edit_big.left, edit_plain.right - edit_plain.left);

    // Centred with the plain font (the big one would not fit beside the
    // screen's left edge and is pushed right).
    set_dialog_font_specs("", "", "");
    RECT placed{};
    set_dialog_font_specs("", "", ""); // a dialog that fits around the point
    set_dialog_centre(300, 260);
    answerer::dialog(354).call([&](HWND d) { GetWindowRect(d, &placed); }).press(IDCANCEL);
    ask_text("p", "");
    EXPECT_NEAR((placed.left + placed.right) / 2, 299, 2);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, 259, 2);
}

TEST_F(Dialogs, ModalDepthAndScreenSizeAreThereForTheTools) {
    EXPECT_EQ(modal_depth(), 0);
    int inside = -1, nested = -1;
    answerer::dialog(354)
        .call([&](HWND) {
            inside = modal_depth();
            answerer::dialog(354).call([&](HWND) { nested = modal_depth(); }).press(IDCANCEL);
            ask_text("inner", "");
        })
        .press(IDCANCEL);
    ask_text("outer", "");
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(nested, 2);
    EXPECT_EQ(modal_depth(), 0);
    const int saved_w = screen_right, saved_h = screen_bottom;
    screen_right = 0;
    screen_bottom = 0;
    EXPECT_EQ(screen_w(), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(screen_h(), GetSystemMetrics(SM_CYSCREEN));
    screen_right = 1280;
    screen_bottom = 720;
    EXPECT_EQ(screen_w(), 1280);
    EXPECT_EQ(screen_h(), 720);
    screen_right = saved_w;
    screen_bottom = saved_h;
}

TEST_F(Dialogs, EveryShowingOfADialogHasTheSameSize) {
    // The dialog font is set on each dialog and must outlive it: the second
    // showing is as wide as the first.
    set_dialog_font_specs("Sans Serif|12|", "", "");
    std::vector<SIZE> sizes;
    for (int i = 0; i < 3; ++i) {
        answerer::dialog(354)
            .call([&](HWND d) {
                RECT wr{};
                GetWindowRect(d, &wr);
                sizes.push_back(SIZE{wr.right - wr.left, wr.bottom - wr.top});
            })
            .press(IDCANCEL);
        ask_text("p", "");
    }
    ASSERT_EQ(sizes.size(), 3u);
    for (const SIZE& s : sizes) {
        EXPECT_EQ(s.cx, sizes[0].cx);
        EXPECT_EQ(s.cy, sizes[0].cy);
    }
}

// The font dialog as the user answers it: the font it sets and its answer.
int chooser_calls = 0;
int chooser_answer = 0;
const char* chooser_font = "";
int fake_font_dialog(font_spec* font, int) {
    ++chooser_calls;
    if (chooser_answer) read_font_spec(font, chooser_font, nullptr);
    return chooser_answer;
}

TEST_F(Dialogs, ADialogTooLargeOffersTheFontDialogForASmallerFallback) {
    set_fallback_font_chooser(fake_font_dialog);
    struct unhook {
        ~unhook() { set_fallback_font_chooser(nullptr); }
    } unhook_chooser;
    const char* too_small = "Screen too small - try a smaller font on the next dialog";
    // Cancel in the font dialog ends the dialog.
    chooser_calls = 0;
    chooser_answer = 0;
    set_dialog_font_specs("Sans Serif|144|", "", "Sans Serif|144|");
    answerer::box("Stop from Kavrel").text(too_small).press(IDOK);
    EXPECT_EQ(ask_text("p", "x"), nullptr);
    EXPECT_EQ(chooser_calls, 1);
    // A smaller font chosen with no other dialog open: the dialog comes up
    // in it, and it stays the fallback.
    chooser_calls = 0;
    chooser_answer = 2;
    chooser_font = "Sans Serif|9|";
    answerer::box("Stop from Kavrel").text(too_small).press(IDOK);
    answerer::dialog(354).set_text(1660, "fits").press(IDOK);
    char* t = ask_text("p", "x");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "fits");
    EXPECT_EQ(chooser_calls, 1);
    EXPECT_EQ(dialog_font_spec(2).rfind("Sans Serif|9", 0), 0u) << dialog_font_spec(2);
    // With another dialog open, the old font cannot go: the user is told.
    set_dialog_font_specs("", "", "");
    char* inner = reinterpret_cast<char*>(1);
    answerer::dialog(354)
        .call([&](HWND) {
            set_dialog_font_specs("Sans Serif|144|", "", "Sans Serif|144|");
            answerer::box("Stop from Kavrel").text(too_small).press(IDOK);
            answerer::box("Stop from Kavrel")
                .text("You will need to cancel all open dialogs and try again")
                .press(IDOK);
            inner = ask_text("inner", "x");
        })
        .press(IDCANCEL);
    ask_text("outer", "");
    EXPECT_EQ(inner, nullptr);
    EXPECT_EQ(chooser_calls, 2);
    EXPECT_EQ(answerer::pending(), 0u);
}

TEST_F(Dialogs, DialogFiltersKeepTheirPlaceUnlessPutFirst) {
    HWND a = make_test_window("Kavrel_filter_test", DefWindowProc);
    HWND b = make_test_window("Kavrel_filter_test", DefWindowProc);
    HWND c = make_test_window("Kavrel_filter_test", DefWindowProc);
    static std::vector<char> order;
    auto fa = [](HWND, MSG*) {
        order.push_back('a');
        return false;
    };
    auto fb = [](HWND, MSG*) {
        order.push_back('b');
        return false;
    };
    auto fc = [](HWND, MSG*) {
        order.push_back('c');
        return false;
    };
    auto fb2 = [](HWND, MSG*) {
        order.push_back('B');
        return false;
    };
    MSG msg{};
    msg.message = WM_KEYDOWN;
    auto run = [&] {
        order.clear();
        run_loop_filters(&msg);
        return std::string(order.begin(), order.end());
    };
    add_dialog_filter(a, fa, 0);
    add_dialog_filter(b, fb, 0);
    add_dialog_filter(c, fc, 0);
    EXPECT_EQ(run(), "abc");
    add_dialog_filter(b, fb2, 0); // keeps its place with its new filter
    EXPECT_EQ(run(), "aBc");
    add_dialog_filter(c, fc, 1); // first: to the front
    EXPECT_EQ(run(), "caB");
    remove_dialog_filter(a);
    remove_dialog_filter(a); // an unknown window is ignored
    EXPECT_EQ(run(), "cB");
    remove_dialog_filter(b);
    remove_dialog_filter(c);
    EXPECT_EQ(run(), "");
    DestroyWindow(a);
    DestroyWindow(b);
    DestroyWindow(c);
}

TEST_F(Dialogs, ADialogTooLargeForTheScreenIsEndedWithAMessage) {
    set_dialog_font_specs("Sans Serif|144|", "", "Sans Serif|144|");
    answerer::box("Stop from Kavrel")
        .text("Screen too small - try a smaller font on the next dialog")
        .press(IDOK);
    EXPECT_EQ(ask_text("p", "x"), nullptr);
    // With a fallback that fits, the dialog comes up in it.
    set_dialog_font_specs("Sans Serif|144|", "", "Sans Serif|9|");
    answerer::dialog(354).set_text(1660, "ok").press(IDOK);
    char* t = ask_text("p", "x");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "ok");
}

TEST_F(Dialogs, OwnerIsTheGivenWindowElseTheActiveOne) {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "ShdOwner";
    ASSERT_TRUE(RegisterClass(&wc));
    HWND top = CreateWindow("ShdOwner", "x", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                            nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(top);
    EXPECT_EQ(owner_window(top), top);
    EXPECT_EQ(owner_window(nullptr), GetActiveWindow());
}

} // namespace
