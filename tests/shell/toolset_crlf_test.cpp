// A tool set file written on another system, its lines ended by CR LF, reads
// as the same set: the tools' kept text lines carry no carriage return, and
// the set written back is the one first written.
#include "foundation/report.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

TEST(ToolsetLineEnds, ACrLfFileReadsAsTheSameSet) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    std::FILE* log = std::tmpfile();
    set_report_stream(log);
    free_toolset(0);
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    const std::string first = write_toolset_text(0);
    free_toolset(0);
    std::string crlf;
    for (char c : first) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string path = ::testing::TempDir() + "/crlf.kts";
    std::ofstream(path, std::ios::binary) << crlf;
    EXPECT_EQ(read_toolset(path.c_str(), 0), 9);
    EXPECT_TRUE(message_log::messages.empty());
    const std::string again = write_toolset_text(0);
    EXPECT_EQ(again.find('\r'), std::string::npos) << "a carriage return kept in a tool's text";
    EXPECT_EQ(again, first);
    free_toolset(0);
    std::remove(path.c_str());
    set_report_stream(nullptr);
    set_message_hook(nullptr);
    if (log) std::fclose(log);
}

} // namespace
