// The report's log stream kept in a temporary file while the object lives,
// for tests that read back what was logged.
#pragma once

#include "foundation/report.h"

#include <cstdio>
#include <string>

class report_log {
public:
    report_log() : sink_(std::tmpfile()) { set_report_stream(sink_); }
    ~report_log() {
        set_report_stream(nullptr);
        if (sink_) std::fclose(sink_);
    }
    report_log(const report_log&) = delete;
    report_log& operator=(const report_log&) = delete;

    // What was logged so far.
    std::string text() {
        if (!sink_) return {};
        std::fflush(sink_);
        std::rewind(sink_);
        std::string out;
        char buf[512];
        while (std::fgets(buf, sizeof buf, sink_)) out += buf;
        std::fseek(sink_, 0, SEEK_END);
        return out;
    }

private:
    std::FILE* sink_ = nullptr;
};
