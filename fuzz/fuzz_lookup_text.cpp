// Reads arbitrary bytes as a lookup's text form and as pasted clipboard text
// (plain, or a spreadsheet's table):
// the points that come out are sorted, finite and paired, the range is not
// reversed, and the editing steps keep the table sorted.
#include "graphs/lookupedit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(const lookup_points& p) {
    if (p.x.size() != p.y.size() || p.ref_x.size() != p.ref_y.size()) std::abort();
    if (!std::is_sorted(p.x.begin(), p.x.end())) std::abort();
    for (std::size_t i = 0; i < p.x.size(); ++i)
        if (!std::isfinite(p.x[i]) || !std::isfinite(p.y[i])) std::abort();
    if (!(p.x_min <= p.x_max) || !(p.y_min <= p.y_max)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The text form, with and without a working record of its own points.
    lookup_points p = parse_lookup_text(text.c_str());
    check(p);
    const std::vector<float> rx = p.x, ry = p.y;
    lookup_points q = parse_lookup_text(text.c_str(), rx.data(), ry.data(), p.count());
    check(q);
    // Pasting: whatever it reads becomes sorted points.
    const lookup_paste paste = read_lookup_paste(text);
    if (paste.kind == lookup_paste::none && paste.message.empty()) std::abort();
    if (paste.kind == lookup_paste::rows && paste.x.size() != paste.y.size()) std::abort();
    if (apply_lookup_paste(q, paste, 0.5f, 2.0f)) check(q);
    // The same bytes as a spreadsheet's table on the clipboard.
    const lookup_paste table = read_lookup_paste(biff_paste_text(data, size));
    if (table.kind == lookup_paste::none && table.message.empty()) std::abort();
    // A few edits driven by the bytes.
    for (std::size_t i = 0; i + 2 < size && i < 64; i += 3) {
        const float v = static_cast<float>(static_cast<std::int8_t>(data[i + 1]));
        const int at = q.count() ? data[i + 2] % q.count() : 0;
        switch (data[i] % 4) {
        case 0:
            insert_lookup_point(q, v, v / 2);
            break;
        case 1:
            move_lookup_point(q, at, v, v);
            break;
        case 2:
            set_lookup_x(q, at, v);
            break;
        default:
            delete_lookup_point(q, at);
        }
        check(q);
    }
    rescale_lookup_points(q, true);
    check(q);
    return 0;
}
