// Message boxes and yes/no questions: the display of every reported message
// (show_message, the reporter's message hook) and the questions of the
// program's own code go through one place. Every box pumps messages before
// and after and raises the modal counter while it is up.
#pragma once

#include <string>
#include <vector>

// The questions of the program's own code (the reporter's question kinds
// are question_yes_no, ... in foundation/report.h).
// 1 for Yes, else 0. The question is formatted into a buffer sized from its
// arguments and shown captioned "Question from Kavrel".
int ask_yes_no(const char* format, ...) __attribute__((format(printf, 1, 2)));
// 1 Yes, 0 No, -1 Cancel (Escape answers Cancel).
int ask_yes_no_cancel(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The reporter's message hook (set_message_hook(show_message)). kind is the
// severity 0..10 or a question kind of foundation/report.h; caption as the
// reporter gives it. Severities below 6 go to the error window while it
// collects messages, else to the message list (below); 6 and
// above are shown in a box captioned by severity (one box at a time: while
// one is up, further ones are only logged). Questions return IDYES, IDNO,
// IDCANCEL or IDOK; messages return 0.
int show_message(int kind, const char* caption, const char* text);

// Where messages below severity 6 go when the error window does not take
// them (it is not collecting, or the text tools are not installed): the lines
// are kept here (at most the last 1000), each as the severity's prefix and
// the text.
const char* const* message_list_lines(int* count);
void clear_message_list();
// The text tools install this to take messages below severity 6 themselves
// (true: taken).
using low_message_fn = bool (*)(int severity, const char* prefix, const char* text);
void set_low_message_sink(low_message_fn fn);

// While set (an output window is being placed inside a sketch), only severity
// 10 is shown in a box.
extern bool placing_output_in_sketch;

// Holds the messages reported while it lives instead of showing their boxes:
// severities 6 to 9 are kept (and logged by the reporter as usual); lower ones
// go on to their usual place and are kept too. Questions and internal errors
// (severity 10) are shown as always. The innermost hold takes the messages.
// Whoever made it then decides: release() shows the kept boxes as they would
// have been shown, or reasons() gives every kept text for a box of its own.
// A hold that goes away without either drops the kept boxes.
class message_hold {
public:
    message_hold();
    ~message_hold();
    message_hold(const message_hold&) = delete;
    message_hold& operator=(const message_hold&) = delete;
    // The kept texts, one per line, most severe first.
    std::string reasons() const;
    bool empty() const { return kept_.empty(); }
    // Shows the kept messages of severity 6 and above, in order.
    void release();
    // The same, but each box also gives, after a blank line, the errors and
    // warnings (severities 1 to 5) kept with it: the reasons a failure left
    // only in the error log ("Unable to load" then why the file was refused).
    void release_with_reasons();
    // Takes a message; true when it was kept in place of a box.
    bool take(int severity, const char* text);

private:
    struct kept {
        int severity;
        std::string text;
    };
    std::vector<kept> kept_;
    message_hold* outer_ = nullptr;
};

// Forgets the box-up flag and the sketch-placing flag (the program-level
// recovery).
void reset_message_box_state();
