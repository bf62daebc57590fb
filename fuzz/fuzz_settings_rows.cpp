// Reads arbitrary bytes as a settings file and takes the settings rows, the
// custom colours and the window-position keys from it: nothing may crash,
// and the rows written from what was read must read back to the same texts.
#include "shell/settings_rows.h"

#include "foundation/ini.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int silent_hook(int, const char*, const char*) {
    return 0;
}

std::vector<std::string> row_texts(opt_block& o, std::uint8_t flags) {
    std::vector<std::string> out;
    int n = 0;
    const settings_row* rows = settings_rows(o, flags, &n);
    for (int i = 0; i < n; ++i) out.push_back(settings_row_value(rows[i]));
    for (std::uint32_t c : o.custom_colours) out.push_back(std::to_string(c));
    return out;
}

// Writes the block's rows and colours into the table and reads them back.
std::vector<std::string> round_trip(opt_block& from, std::uint8_t flags) {
    put_settings_rows(from, flags);
    put_custom_colours(from);
    opt_block back;
    std::uint8_t back_flags = 0;
    read_custom_colours(back);
    read_settings(back, back_flags);
    return row_texts(back, back_flags);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    set_message_hook(silent_hook);
    static const bool ready = [] {
        set_ini_directory(fuzz_temp_dir().c_str());
        return true;
    }();
    (void)ready;
    std::string path = fuzz_temp_dir() + "/settings_rows.ini";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    if (read_ini_file(path.c_str(), nullptr, 1) < 0) return 0;

    opt_block o;
    std::uint8_t flags = 0;
    read_custom_colours(o);
    read_settings(o, flags);
    for (const char* key : {"Control Dlg", "Subscript Dlg", "Sel History", "Err History"}) {
        window_place p, again;
        if (!parse_window_place(ini_value(key), &p)) continue;
        if (!parse_window_place(window_place_text(p).c_str(), &again)) std::abort();
        if (window_place_text(again) != window_place_text(p)) std::abort();
    }
    // Texts cut to their widths settle after one pass; from then on a row
    // written and read again gives the same text.
    std::vector<std::string> first = round_trip(o, flags);
    opt_block second_block;
    std::uint8_t second_flags = 0;
    read_custom_colours(second_block);
    read_settings(second_block, second_flags);
    if (round_trip(second_block, second_flags) != first) std::abort();
    write_ini_file(0);
    return 0;
}
