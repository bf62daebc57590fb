// Fuzzes the readers of number, colour and font texts, which take their input
// from settings files, graph definitions and dialogs; also checks that what
// the writers make of a parsed font or colour reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/memory.h"
#include "foundation/names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* t = text.c_str();

    float v = 1.0f;
    parse_number(t, &v, 0);
    parse_number(t, &v, 1);

    std::int32_t c = read_color_spec(t);
    if (c >= 0 && read_color_spec(color_spec_text(c).c_str()) != c) std::abort();

    font_spec deflt{};
    deflt.size = 10;
    font_spec f{};
    const char* end = nullptr;
    if (read_font_spec(&f, t, &deflt, &end)) {
        if (end < t || end > t + text.size()) std::abort();
        font_spec back{};
        if (!read_font_spec(&back, font_spec_text(f).c_str(), &deflt)) std::abort();
        // Faces may lose '|' and control characters in writing; the rest survives.
        if (back.size != f.size || back.style != f.style) std::abort();
    }

    format_number_fmt(t, 0, 1234.5);
    format_number_fmt(t, 3, -0.001);
    wildcard_match("SOME VARIABLE NAME", t);
    wildcard_match(t, "*A*?B*");
    std::string copy = text;
    collapse_blanks(copy.data());
    free_scratch();
    return 0;
}
