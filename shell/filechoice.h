// The file choice dialog: every file choice of the program goes through
// file_dialog. It offers rows of two fixed tables of file types selected by
// bit masks, starts in a sensible directory (passed to the dialog; the
// process's current directory is never changed), adds a missing extension
// from the chosen row, asks before overwriting on Save, checks that the file
// exists on Open, and returns the full path of the chosen file.
#pragma once

#include "platform/win.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Modes: 0 and 1 open an existing file, 3 saves (asks before overwriting).
enum file_dialog_mode : int { fd_open = 0, fd_open_data = 1, fd_save = 3 };

// Rows of the first table (bit n of mask 1) used by callers.
enum : std::uint32_t {
    ft_models = 1u << 0,
    ft_text_models = 1u << 1,
    ft_binary_models = 1u << 2,
    ft_runs = 1u << 3,
    ft_graph_defs = 1u << 4,
    ft_changes = 1u << 7,
    ft_csv = 1u << 8,
    ft_data_sources = 1u << 9,
    ft_excel = 1u << 11,
    ft_lotus = 1u << 12,
    ft_tab = 1u << 13,
    ft_app_defs = 1u << 18,
    ft_command_scripts = 1u << 21,
    ft_metafiles = 1u << 23,
    ft_gtx = 1u << 24,
    ft_text = 1u << 25,
    ft_toolsets = 1u << 26,
    ft_all = 1u << 30,
};
// Rows of the second table (bit n of mask 2).
enum : std::uint32_t { ft2_packaged_models = 1u << 3, ft2_packaged_apps = 1u << 4 };

// The chosen path in scratch memory, or null on Cancel or failure. title: the
// dialog's caption; initial: the name to start with (may be empty or null);
// default1/default2: the single bit of the row to preselect (a bit not among
// the shown rows preselects the first shown row); custom: a pattern offered
// (and preselected) as "Special (pattern)"; default_ext: appended after the
// custom filter when the name has no extension.
char* file_dialog(const char* title, const char* initial, int mode, std::uint32_t mask1,
                  std::uint32_t mask2, std::uint32_t default1, std::uint32_t default2,
                  const char* custom, const char* default_ext);

// The Open Model command's call: every kind the program opens (models,
// runs, application definitions, command scripts, packaged models and
// applications) and all files.
char* choose_model_file(const char* initial);

// The filter text of a choice: {description, patterns} pairs of the selected
// rows one after the other, each text zero-terminated, ended by an extra
// zero; and the position (from 1) of the preselected row.
struct filter_list {
    std::string text;                                      // the pairs as described
    std::vector<std::pair<std::string, std::string>> rows; // the same, as rows
    int preselected = 1;
};
filter_list build_filters(std::uint32_t mask1, std::uint32_t mask2, std::uint32_t default1,
                          std::uint32_t default2, const char* custom);

// The byte length of a pair with both terminating zeros; copies one pair and
// returns the place after it.
std::size_t filter_pair_length(const char* pair);
char* copy_filter_pair(char* destination, const char* pair);

// The extension a row adds: its first pattern without "*" and cut at the
// first ";" (".kmf"); "" for a pattern with wildcards in its extension.
std::string row_extension(const std::string& patterns);
// Whether the file-name part of a path (after its last "/" or "\\") holds an
// extension or ends in ".".
bool name_has_extension(const char* path);
// Whether a file name matches one of the ";"-separated patterns (no case).
bool matches_patterns(const char* name, const std::string& patterns);

// The directory the dialog starts in for an initial name: its directory when
// that exists, else the folder of the last file chosen, else the model's
// last-used directory when one is set, else the current directory. With a
// trailing "/".
std::string start_directory(const char* initial);

// The settings key of the folder of the last file chosen (the dialog
// starts there after a restart).
inline constexpr const char* last_folder_key = "FileFolder";

// The folder of the last file chosen ("" none), kept under last_folder_key
// when the settings are written.
const std::string& last_file_folder();
// Forgets this run's folder: the next dialog starts as after a restart, from
// the settings (tests).
void forget_file_folder();

// A text shortened in the middle ("/home/.../models/") to fit `width` pixels
// in the font of `dc`; the text itself when it fits.
std::string elide_middle(HDC dc, const std::string& text, int width);

// Longest path accepted from the dialog.
inline constexpr std::size_t file_name_max = 4096;
