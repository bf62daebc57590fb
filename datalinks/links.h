// Spreadsheet links: the connection from a data or constant equation to a
// spreadsheet file, through the spreadsheet's automation interface (the
// workbook opened on a worker thread while "Opening %s" shows with Stop) or
// through DDE (the program started when it does not answer), and the reads of
// rectangular ranges from it. Redirect names ("?Prices") are asked for once
// per model.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "datalinks/tables.h"
#include "platform/automation.h"

namespace links {

// A channel number (the table of datalinks/client.h), or -1 after a message.
int connect_spreadsheet(const std::string& file, const std::string& sheet, bool is_123,
                        bool no_prompt);
// The file a data call names: a redirect name is asked for (once per model),
// a member of the open package copied to disk, a relative name made full
// beside the model; registered as a data source of the coming run. Empty
// after a message (or, with no_prompt, for a redirect).
std::string resolve_file(const std::string& file, bool is_123, bool no_prompt);

std::optional<sheets::data_matrix> request_range(int channel, const std::string& range, bool is_123,
                                                 bool transposed);
// Rows and columns count from 1; columns up to XFD (16384).
std::string range_text(const std::string& sheet, std::int64_t first_row, std::int64_t first_col,
                       std::int64_t rows, std::int64_t cols, bool is_123, bool automation);

// Channel; -1 to fall back to DDE; -2 to give up (the user pressed Stop).
int automation_connect(const std::string& path, const std::string& sheet);
std::shared_ptr<automation::dispatch> open_excel_sheet(const std::string& path,
                                                       const std::string& sheet);
// The workbook open in the spreadsheet program, opened by the worker when it
// is not (with "Opening %s" and Stop); false when it did not open or the
// user pressed Stop. stop_request is as it was before the call either way.
bool open_workbook_in_spreadsheet(const std::string& path,
                                  std::shared_ptr<automation::dispatch>* book);
// Whether the last open_workbook_in_spreadsheet was given up with Stop.
bool last_open_given_up();
bool find_open_workbook(const std::string& path, std::shared_ptr<automation::dispatch>* out);
bool get_worksheet(const std::string& sheet, std::shared_ptr<automation::dispatch> workbook,
                   std::shared_ptr<automation::dispatch>* out);
std::optional<sheets::data_matrix> excel_read_range(automation::dispatch* worksheet,
                                                    const std::string& first,
                                                    const std::string& last, bool transposed);
double variant_to_number(const automation::variant& v);

bool start_spreadsheet_program(const std::string& service, const std::string& file);
void set_redirect(const std::string& name, const std::string& value);
std::string redirect_of(const std::string& name); // "" when none
void release_excel_links();
int cached_links(); // entries of the workbook cache (tests)

// 0 idle or failed, 1 opening, 2 given up by the user, 3 opened; shared with
// the worker thread.
std::atomic<int>& excel_open_state();
// How the worker starts (tests make it fail): false when it could not start.
using worker_starter = bool (*)(const std::string& path);
void set_worker_starter(worker_starter starter); // null: a new thread

// Before each run prepares its outside data: the links of the last run end.
void setup_exogenous_data();

// Installs the stand-in spreadsheet, the release hook, the shell's quit call,
// the per-model redirect reset and the run's set-up hook (no window yet).
void install_spreadsheet_links();

} // namespace links
