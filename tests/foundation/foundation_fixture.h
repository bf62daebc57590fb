// What the foundation tests share: the message log of tests/common (a hook
// that keeps what it was shown and answers questions), a fresh folder, and
// whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/report.h"
#include "tests/common/message_log.h"

namespace foundation_fixture {

using message_log::message;
using message_log::messages;
using message_log::next_answer;
using message_log::said;
using message_log::test_hook;

// A new empty folder under the tests' temporary folder, its name starting
// with prefix ("" when it could not be made).
inline std::string fresh_folder(const std::string& prefix) {
    std::string tmpl = testing::TempDir() + prefix + "XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

} // namespace foundation_fixture
