// The spreadsheet program inside the viewer: the links of the data equations
// talk to a spreadsheet through automation ("Excel.Application") and through
// DDE (the services "Excel" and "123w"); on this system that spreadsheet is a
// stand-in serving both over the workbook reader, so the links run as they
// would against a real program.
//
// Automation: Application (Visible, Workbooks, Quit), Workbooks (Open, Count,
// Item), Workbook (Name, FullName, Worksheets, SaveAs, Close), Worksheets
// (Count, Item by number or name), Worksheet (Name, Range(first[, last])),
// Range (Value: a scalar for one cell, else a 2-D array from 1 of rows by
// columns; writes change the sheet). Open workbooks are in the running-object
// table under their full paths. Opening may run on a worker thread.
//
// DDE: a service answers once started (start_service); topics "System", a
// workbook ("dir" "file", "dir[file]sheet", "[file]sheet" for the Excel
// service; the full path or the file name for 1-2-3); commands
// [Open("path")], [run({FILE-OPEN "path"})], [Quit()], [run({QUIT})], and
// [Save.As("path")] / [run({FILE-SAVE "path"})] (the topic's workbook, or on
// "System" the one opened last; a refused save is reported); items
// are ranges (R1C1:R2C2 for Excel, [sheet:]A1..B2 for 1-2-3, or a defined
// name) answered as "XlTable", "WK1" or tab-separated text; pokes of text
// change the cells from the item's first cell.
//
// Saves write .xlsx to a new file (temporary, then renamed); saving over the
// file a workbook was read from is refused (its formulas and formatting would
// be lost).
#pragma once

#include <memory>
#include <string>

#include "datalinks/workbook.h"

namespace standin {

// Registers "Excel.Application" and the window classes of the services.
void install();
// Closes every workbook and ends the services (tests; shutdown).
void reset();

// Services by name ("Excel", "123w"): whether one answers, starting one (the
// file opened in it when given; false when it does not open), ending one.
bool running(const std::string& service);
bool start_service(const std::string& service, const std::string& file);
void quit_service(const std::string& service);

// Workbooks open in the stand-in (full paths as opened).
bool open_book(const std::string& path, std::string* why);
bool is_open(const std::string& path);
// An open workbook's contents, for reading on the user-interface thread (the
// only one that changes cells); null when it is not open, or when its file
// changed on disk since it was read and no cell was changed here (it is
// closed then, to be opened again).
std::shared_ptr<const sheets::workbook> book_of(const std::string& path);
// A copy of an open workbook's contents (tests, the save).
bool book_copy(const std::string& path, sheets::workbook* out);
// Writes the open workbook `path` as .xlsx to `target`; false with a reason.
bool save_book(const std::string& path, const std::string& target, std::string* why);

// Writes a workbook's cells and names as .xlsx (a temporary file beside the
// target, flushed, then renamed; a replaced file keeps its mode). A read-only
// target is refused with the reason, as is a failed write (the system's
// reason; the old file kept).
// Also removes what a killed save of an earlier version left: "<name>.part"
// and the id of a process no longer running (see remove_stale_parts).
bool write_xlsx(const sheets::workbook& book, const std::string& target, std::string* why);
// Removes the stale "<name>.part<pid>" files of target's workbook; how many.
int remove_stale_parts(const std::string& target);
// The .xlsx bytes of a workbook; empty with the reason (a sheet name the
// format does not allow).
std::string xlsx_bytes(const sheets::workbook& book, std::string* why);

// Called on the opening thread before a workbook is read (tests hold an
// opening there to see the program wait).
void set_open_hook(void (*hook)(const std::string& path));

} // namespace standin
