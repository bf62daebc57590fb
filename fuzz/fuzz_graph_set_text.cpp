// Reads arbitrary bytes as a graph set in text form (the section of a model's
// settings text after the marker line, or a .kgd file's lines). Whatever is
// read must write back, and what is written must read back to the same text.
#include "foundation/report.h"
#include "graphs/sets/graphset.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool once = [] {
        set_report_stream(std::fopen("/dev/null", "w"));
        return true;
    }();
    (void)once;
    std::string text(reinterpret_cast<const char*>(data), size);
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    if (text.compare(0, 9, graph_set_marker_line) != 0)
        text = std::string(graph_set_marker_line) + "\n" + text;
    const int first = load_graph_set_text(text.c_str(), 1, 0, 0);
    if (first <= 0) std::abort();
    std::string error;
    const std::string written =
        graph_set_text(graph_sets()[static_cast<std::size_t>(first)], true, &error);
    if (error.empty()) {
        const int again = load_graph_set_text(written.c_str(), 1, 0, 0);
        const graph_set& s2 = graph_sets()[static_cast<std::size_t>(again)];
        if (s2.defs.size() != graph_sets()[static_cast<std::size_t>(first)].defs.size())
            std::abort();
        std::string error2;
        if (graph_set_text(s2, true, &error2) != written || !error2.empty()) std::abort();
        free_graph_set(again);
    }
    free_graph_set(first);
    return 0;
}
