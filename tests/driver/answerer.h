// The test answerer: tests queue answers for the message boxes and modal
// dialogs the code under test will show, and the answerer gives them as a
// person would, from inside the dialog's own modal loop (after the messages
// already waiting have been dispatched): set a control's text, choose a list
// or combo item, tick a box, then press a button.
//
// A box or dialog that no queued answer matches is a test failure: the
// failure handler is called with its caption and text, and the box is closed
// (Cancel, or the Escape answer of a message box) so the test goes on instead
// of hanging.
//
//     answerer::install([](const std::string& m) { ADD_FAILURE() << m; });
//     answerer::box("Question from Kavrel").press(IDYES);
//     answerer::dialog(354).set_text(1660, "run2").press(IDOK);
//     ... code that shows them ...
//     EXPECT_EQ(answerer::pending(), 0u);
//     answerer::uninstall();
#pragma once

#include "platform/dlg.h"

#include <functional>
#include <string>
#include <vector>

namespace answerer {

using FailureHandler = std::function<void(const std::string& message)>;

struct Step {
    enum class Kind { set_text, select_index, select_string, check, press, call };
    Kind kind = Kind::press;
    int id = 0;
    std::string text;
    int value = 0;
    std::function<void(HWND dialog)> fn;
};

class Answer {
public:
    // Matching: a message box (by caption, and by text when text_contains is
    // set) or a dialog (by template number, or caption for built templates).
    bool message_box = false;
    int template_id = 0;
    std::string caption;
    std::string text_contains;
    std::vector<Step> steps;

    Answer& text(const std::string& part) {
        text_contains = part;
        return *this;
    }
    Answer& set_text(int id, const std::string& value);
    Answer& select(int id, int index);                 // list box or combo box item
    Answer& select(int id, const std::string& item);   // by its text (prefix, as LB_FINDSTRING)
    Answer& check(int id, bool on = true);             // a check box or radio button
    Answer& call(std::function<void(HWND dialog)> fn); // anything else
    // The last step: presses the button (BM_CLICK, as a click does). A
    // missing or disabled button is a failure.
    Answer& press(int id);
};

// Installs the answerer (the modal hook of the dialog manager). Without a
// handler failures go to stderr.
void install(FailureHandler on_failure = nullptr);
void uninstall();

// Queues an answer (answers are taken in order; the first that matches a box
// is used). The returned reference stays valid until the answer is used.
Answer& box(const std::string& caption);
Answer& dialog(int template_id);
Answer& dialog(const std::string& caption);

// What was shown so far.
struct Seen {
    bool message_box = false;
    int template_id = 0;
    std::string caption;
    std::string text;
    bool answered = false;
    UINT type = 0; // a message box's MB_ flags: its buttons and its icon
};
const std::vector<Seen>& seen();
// Answers queued but not used yet.
std::size_t pending();
// Drops queued answers and the record of what was seen.
void clear();

// Runs the queue for a modeless dialog as its owner's loop would (every
// message offered to IsDialogMessage first) until nothing is left.
int run_modeless(HWND dialog, int limit = 100000);

} // namespace answerer
