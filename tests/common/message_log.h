// A message hook for tests that keeps what it was shown and answers questions
// with a value the test sets.
#pragma once

#include <string>
#include <vector>

#include "foundation/report.h"

namespace message_log {

struct message {
    int kind;
    std::string text;
};
// What the hook was shown, and its answer to questions (IDNO by default).
inline std::vector<message> messages;
inline int next_answer = 7;

inline int test_hook(int kind, const char*, const char* text) {
    messages.push_back({kind, text});
    return kind >= question_yes_no ? next_answer : 1;
}

// Whether a message of that kind (any kind: -1) holding part was shown.
inline bool said(const std::string& part, int kind = -1) {
    for (const message& m : messages)
        if ((kind < 0 || m.kind == kind) && m.text.find(part) != std::string::npos) return true;
    return false;
}

} // namespace message_log
