// The engine's reader of outside data (GET KDF DATA, GET KDF CONSTANTS, GET
// KDF LOOKUPS, and the spreadsheet forms) over the runs subsystem's readers.
#pragma once

#include <vector>

struct data_source_call;

// Fills the engine's per-element series (data and lookup forms) or values
// (constants forms) from a run file through get_run_data. The run file is
// the call's first text (the run-file extension added when it has none; a
// relative name not found from the working folder is taken beside the open
// model), registered as a data source of the run. The spreadsheet forms go to
// the spreadsheet reader the data links install (set_spreadsheet_source_reader);
// without one they are refused with a message naming the workbook. 1 on
// success, 0 after a message.
int read_run_data_source(const data_source_call& call, std::vector<std::vector<float>>* times,
                         std::vector<std::vector<float>>* values);
// Installs read_run_data_source as the engine's data-source reader.
void install_run_data_source_reader();
// The reader of the spreadsheet forms (GET XLS ..., GET 123 ...); null
// refuses them.
void set_spreadsheet_source_reader(int (*reader)(const data_source_call& call,
                                                 std::vector<std::vector<float>>* times,
                                                 std::vector<std::vector<float>>* values));
