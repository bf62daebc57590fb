// The application string block: the program's fixed texts (names of its
// files, titles, the version), the program's directory, and a pool of
// numbered text cells that other records name by cell index (tool set names,
// graph set names, link parameters).
#pragma once

#include <cstdint>
#include <string>

struct app_string_block {
    std::string program_name = "Kavrel Viewer";
    std::string version = "0.1.0";
    std::string short_name = "Kavrel"; // in captions: "Message from Kavrel"
    // The program's directory, ending in its separator so that file names are
    // appended directly ("/opt/kavrel/"); "" when it cannot be found.
    std::string prog_dir;
    std::string error_log_name = "kavrel.err";
    std::string ini_name = "kavread.ini";
    std::string ini_section = "kavrel"; // the settings file's section line "[kavrel]"
    std::string default_model = "kavread.kmf";
    std::string help_file = "kavread.hlp";
    std::string readme_help_file = "readme.hlp";
    std::string help_dir = "help";
    std::string main_title = "Kavrel Viewer";
    std::string window_class_prefix = "Kavrel_";
    std::string dde_service = "Kavrel";
    std::string analysis_toolsets_title = "Analysis Toolsets"; // file choice filter
    std::string analysis_toolset_ext = "kts";
    std::string sketch_toolsets_title = "Sketch Toolsets";
    std::string sketch_toolset_ext = "sts";
    std::string default_toolset_name = "default"; // the built-in tool set
};

// The one block; made (with prog_dir filled in) on first use.
app_string_block& app_strings();

// The directory of a program file path, separator kept: the text up to and
// including its last '/', '\' or ':' ("" when it has none).
std::string program_directory_of(const std::string& path);
// Fills prog_dir from /proc/self/exe (else leaves it ""); called by
// app_strings() the first time, again only when asked.
void set_prog_dir_from_exe();

// Numbered text cells. Cell 0 is "no text". app_string_add stores a copy and
// returns its cell (> 0); app_string_text gives the text of a cell ("" for 0
// or a free or unknown cell; valid until that cell is set or freed);
// app_string_set replaces the text of a cell, or with cell 0 adds one, and
// returns the cell; app_string_free frees a cell (0 ignored) for reuse.
std::int32_t app_string_add(const char* text);
const char* app_string_text(std::int32_t cell);
std::int32_t app_string_set(std::int32_t cell, const char* text);
void app_string_free(std::int32_t cell);
// Frees every cell (for tests and shutdown).
void app_strings_clear_cells();
