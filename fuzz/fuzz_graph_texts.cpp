// Reads arbitrary bytes as the texts of a graph definition: an axis label
// list for each axis, a band spec and a colour. Whatever is kept must be
// placeable: positions within the square, bands within 0..1000, counts bounded.
// The same bytes, split into lines, are read as the Graph tool's option line
// and its title, footer and annotation lines: every font must come out safe
// and the lines must write back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "draw/graphtexts.h"
#include "foundation/textsrc.h"
#include "graphs/graphtool.h"
#include "shell/toolset.h"

#include <cstring>
#include <vector>

namespace {

void tool_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text.size() && lines.size() < 6) {
        std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    std::vector<const char*> ptrs;
    for (const std::string& l : lines) ptrs.push_back(l.c_str());
    const int row = find_tool_row("Graph");
    handle tool = new_tool(row, "Graph", graph_tool_setup(0, 0, nullptr, nullptr));
    if (!tool) return;
    if (push_text_source(ptrs.data(), static_cast<int>(ptrs.size()), 1) == 1) {
        graph_tool_setup(0, tool, nullptr, "x");
        close_text_source();
    }
    tool_record* r = lock_tool(tool);
    const auto* o = static_cast<const graph_options*>(tool_options(r));
    for (const font_spec& f : o->fonts) {
        if (!std::memchr(f.face, 0, sizeof f.face)) std::abort();
        if (static_cast<std::int8_t>(f.size) <= 0) std::abort();
    }
    unlock_tool(tool);
    std::string out;
    graph_tool_setup(1, tool, &out, nullptr);
    if (std::count(out.begin(), out.end(), '\n') != 4) std::abort();
    free_tool(tool);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    for (bool x : {true, false}) {
        axis_labels l = parse_axis_labels(text.c_str(), x);
        if (l.ok) {
            if (l.labels.size() < 2 || l.labels.size() > graph_text_max_labels) std::abort();
            if (!(l.max > l.min)) std::abort();
            for (const axis_label& a : l.labels)
                if (a.pos < 0 || a.pos > 10000) std::abort();
        } else if (!l.labels.empty()) {
            std::abort();
        }
    }
    auto bands = parse_band_spec(text.c_str());
    if (bands.size() > graph_text_max_bands) std::abort();
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (bands[i].per_mille < 0 || bands[i].per_mille > 1000) std::abort();
        if (i && bands[i].per_mille > bands[i - 1].per_mille) std::abort();
        if (bands[i].colour > 0xFFFFFF) std::abort();
    }
    if (parse_rgb_bars(text.c_str(), 0x01000000) > 0x01000000) std::abort();
    tool_lines(text);
    return 0;
}
