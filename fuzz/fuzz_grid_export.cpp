// Builds grid rows from arbitrary bytes and exports them as text and as a
// BIFF2 worksheet: the worksheet must read back through the record checker,
// every cell it holds must be the field the grid shows at that place, and the
// text must have one line per line of the grid.
//
// Input: the first byte chooses the layout (bit 0: one row per column) and the
// decimal comma (bit 1); then rows separated by line feeds. A row is a label,
// optionally followed by 0x1F and its cells separated by 0x1E, optionally
// followed by 0x1D and a number format. Cells beginning with 't' make a row of
// text cells; otherwise the cells are numbers ("NA" for the missing value),
// and a cell "#n" gives an integer cell showing n.
#include "platform/gdi.h"
#include "tools/grid_core.h"

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/types.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int silent_hook(int, const char*, const char*) {
    return 0;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (true) {
        std::size_t p = s.find(sep, at);
        out.push_back(s.substr(at, p == std::string::npos ? std::string::npos : p - at));
        if (p == std::string::npos) return out;
        at = p + 1;
    }
}

void add_row(grid_rows& g, const std::string& line) {
    std::string format;
    std::string body = line;
    if (std::size_t f = body.find('\x1d'); f != std::string::npos) {
        format = body.substr(f + 1);
        body.resize(f);
    }
    std::size_t c = body.find('\x1f');
    std::string label = body.substr(0, c);
    if (c == std::string::npos) {
        grid_add_row(g, label.c_str(), nullptr, nullptr, nullptr, 0, false, format.c_str(), 0, 0);
        return;
    }
    std::vector<std::string> cells = split(body.substr(c + 1), '\x1e');
    const int n = static_cast<int>(cells.size());
    if (!cells.front().empty() && cells.front()[0] == 't') {
        std::vector<const char*> texts;
        for (auto& t : cells) texts.push_back(t.c_str());
        grid_add_row(g, label.c_str(), texts.data(), nullptr, nullptr, n, false, nullptr, 0, 1);
        return;
    }
    std::vector<float> values;
    std::vector<int> indices;
    bool any_index = false;
    for (auto& t : cells) {
        if (t == "NA") {
            values.push_back(NA);
            indices.push_back(-1);
        } else if (!t.empty() && t[0] == '#') {
            values.push_back(0);
            indices.push_back(std::atoi(t.c_str() + 1) & 0xFFFF);
            any_index = true;
        } else {
            values.push_back(std::strtof(t.c_str(), nullptr));
            indices.push_back(-1);
        }
    }
    grid_add_row(g, label.c_str(), nullptr, values.data(), any_index ? indices.data() : nullptr, n,
                 (n & 1) != 0, format.c_str(), 0, 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool once = [] {
        set_message_hook(silent_hook);
        return true;
    }();
    (void)once;
    if (size < 1) return 0;
    grid_rows g;
    g.columns_layout = (data[0] & 1) != 0;
    decimal_comma = (data[0] & 2) ? 1 : 0;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!text.empty())
        for (const std::string& line : split(text, '\n')) add_row(g, line);

    const std::string exported = grid_export_text(g, "\n");
    const std::vector<std::uint8_t> biff = grid_export_biff(g);
    if (g.rows.empty()) {
        if (!exported.empty() || !biff.empty()) std::abort();
        free_scratch();
        return 0;
    }
    const auto lines = grid_lines(g);
    std::size_t line_ends = 0;
    for (char ch : exported) line_ends += ch == '\n';
    std::size_t label_line_feeds = 0;
    for (const grid_row& r : g.rows)
        for (char ch : r.label) label_line_feeds += ch == '\n';
    if (line_ends != lines.size() + label_line_feeds) std::abort();

    int rows = 0, columns = 0;
    std::vector<biff_cell> cells;
    std::string why;
    int page = 0;
    if (!check_biff2(biff.data(), biff.size(), &rows, &columns, &cells, &why, &page)) std::abort();
    for (const biff_cell& c : cells) {
        const grid_field& f =
            lines.at(static_cast<std::size_t>(c.row)).at(static_cast<std::size_t>(c.column));
        if (c.number != f.number) std::abort();
        // A label reads back as its text in the worksheet's page, cut to 255 bytes there.
        std::string want;
        if (!c.number) {
            const std::string in_page =
                program_text_in_code_page(f.text.data(), static_cast<int>(f.text.size()), page,
                                          nullptr)
                    .substr(0, 255);
            want = code_page_text_utf8(in_page.data(), static_cast<int>(in_page.size()), page);
        }
        if (c.number ? std::memcmp(&c.value, &f.value, 8) != 0 : c.text != want) std::abort();
    }
    free_scratch();
    return 0;
}
