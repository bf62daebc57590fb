// Fuzz target of the spreadsheet service's readers: the input's first line is
// an item (of the Excel service, then of the 1-2-3 one), the rest is poked
// into it; whatever area an item names, the answers written for it must read
// back as a table of exactly its rows and columns holding its numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datalinks/service_items.h"
#include "datalinks/tables.h"

namespace {

sheets::workbook starting_book() {
    sheets::workbook wb;
    wb.sheets.resize(2);
    wb.sheets[0].name = "S";
    wb.sheets[1].name = "Other";
    std::string why;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c) {
            sheets::cell k;
            if ((r + c) % 5 == 4) {
                k.kind = sheets::cell_kind::text;
                k.text = wb.add_text("t" + std::to_string(r));
            } else {
                k.kind = sheets::cell_kind::number;
                k.number = r * 10 + c + 0.5;
            }
            wb.put(0, r, c, k, &why);
        }
    sheets::named_range n;
    n.sheet = 0;
    n.row0 = 1;
    n.col0 = 1;
    n.row1 = 3;
    n.col1 = 2;
    wb.add_name("N", n);
    return wb;
}

void check_answers(const sheets::workbook& wb, const sheet_service::area& a) {
    if (a.sheet < 0 || static_cast<std::size_t>(a.sheet) >= wb.sheets.size() || a.rows < 1 ||
        a.cols < 1)
        __builtin_trap();
    if (a.rows * a.cols > 4096) return; // the service answers larger ones too; kept quick here
    const sheets::sheet& s = wb.sheets[static_cast<std::size_t>(a.sheet)];
    auto xl = sheets::parse_xltable(
        sheet_service::xltable_block(s, wb, a.row0, a.col0, a.rows, a.cols), false);
    auto wk = sheets::parse_wk1_table(
        sheet_service::wk1_block(s, wb, a.row0, a.col0, a.rows, a.cols), false);
    if (!xl || !wk || xl->outer != a.rows || xl->inner != a.cols || wk->outer != a.rows ||
        wk->inner != a.cols)
        __builtin_trap();
    for (std::int64_t r = 0; r < a.rows; ++r)
        for (std::int64_t c = 0; c < a.cols; ++c) {
            const sheets::cell* k = s.at(a.row0 + r, a.col0 + c);
            if (!k || k->kind != sheets::cell_kind::number) continue;
            const auto at = static_cast<std::size_t>(r * a.cols + c);
            const float want = static_cast<float>(k->number);
            // A number beyond the engine's float range is read as missing
            // (and named in a warning), not as an infinity.
            if (!std::isfinite(want)) continue;
            if (xl->values[at] != want || wk->values[at] != want) __builtin_trap();
        }
    const std::string text = sheet_service::text_block(s, wb, a);
    auto t = sheets::parse_text_table(std::string_view(text.data(), text.size() - 1), false);
    if (!t || t->outer != a.rows) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t line = bytes.find('\n');
    const std::string item(bytes.substr(0, line));
    const std::string_view poked = line == std::string_view::npos ? "" : bytes.substr(line + 1);
    for (bool lotus : {false, true}) {
        sheets::workbook wb = starting_book();
        sheet_service::area a;
        if (!sheet_service::item_area(wb, 0, lotus, item, 'Z', 'S', &a)) continue;
        check_answers(wb, a);
        std::string why;
        if (sheet_service::poke_text(wb, a, poked, &why)) check_answers(wb, a);
    }
    return 0;
}
