// The application string block.

#include "foundation/app_strings.h"

#include <deque>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

struct cell_pool {
    std::deque<std::string> texts; // cell i is texts[i - 1]; a deque never moves them
    std::deque<bool> used;
    std::vector<std::int32_t> free_cells;
};

cell_pool& pool() {
    static cell_pool p;
    return p;
}

bool valid_cell(std::int32_t cell) {
    return cell > 0 && static_cast<std::size_t>(cell) <= pool().texts.size() &&
           pool().used[static_cast<std::size_t>(cell) - 1];
}

} // namespace

std::string program_directory_of(const std::string& path) {
    std::size_t at = path.find_last_of("/\\:");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

void set_prog_dir_from_exe() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    app_strings().prog_dir = ec ? std::string() : program_directory_of(exe.string());
}

app_string_block& app_strings() {
    static app_string_block block;
    static bool made = false;
    if (!made) {
        made = true;
        set_prog_dir_from_exe();
    }
    return block;
}

std::int32_t app_string_add(const char* text) {
    cell_pool& p = pool();
    std::int32_t cell;
    if (!p.free_cells.empty()) {
        cell = p.free_cells.back();
        p.free_cells.pop_back();
    } else {
        p.texts.emplace_back();
        p.used.push_back(false);
        cell = static_cast<std::int32_t>(p.texts.size());
    }
    p.texts[static_cast<std::size_t>(cell) - 1] = text ? text : "";
    p.used[static_cast<std::size_t>(cell) - 1] = true;
    return cell;
}

const char* app_string_text(std::int32_t cell) {
    if (!valid_cell(cell)) return "";
    return pool().texts[static_cast<std::size_t>(cell) - 1].c_str();
}

std::int32_t app_string_set(std::int32_t cell, const char* text) {
    if (!valid_cell(cell)) return app_string_add(text);
    pool().texts[static_cast<std::size_t>(cell) - 1] = text ? text : "";
    return cell;
}

void app_string_free(std::int32_t cell) {
    if (!valid_cell(cell)) return;
    cell_pool& p = pool();
    p.used[static_cast<std::size_t>(cell) - 1] = false;
    p.texts[static_cast<std::size_t>(cell) - 1].clear();
    p.texts[static_cast<std::size_t>(cell) - 1].shrink_to_fit();
    p.free_cells.push_back(cell);
}

void app_strings_clear_cells() {
    cell_pool& p = pool();
    p.texts.clear();
    p.used.clear();
    p.free_cells.clear();
}
