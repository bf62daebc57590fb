// Printing: the printer chosen in the settings (or the system's default) as
// a drawing device, the print document, text jobs printed line by line with a
// page header, the date stamp and the footer of graph pages. While a job runs
// `drawing.printing` is 1 for a graph and 2 for a text job, so that every size
// conversion uses the printer's resolution.
#pragma once

#include "foundation/names.h"
#include "platform/print.h"

#include <ctime>
#include <string>

struct print_state {
    // Text jobs: the printable width and the line pitch (a graph's place on
    // the page is drawing.page_offset_x and _y).
    int page_x = 0, page_y = 0;
    int page_number = 0;
    int lines_per_page = 0, cur_line = 0;
    std::string page_title;
    bool has_title = false;
    std::string date_stamp;
    ABORTPROC abort_proc = nullptr; // null: abort_print_proc
    std::string output_file;        // where the PDF printer writes ("" its default)
    bool progress_shown = false;
    // "Open on printing": a graph's print shows the print options first (not
    // in the option block yet; its dialog keeps the box hidden).
    bool open_on_printing = false;
};
extern print_state printer;

// The size graph layout must use (0 = choose), shared by printing and export.
extern SIZE out_size;

// Opens or configures a printer. orientation "L" or "P" (null: no job is
// about to print); name chooses a printer ("" the default) and keeps the
// device open only to test it and read its resolution; a setup owner shows
// the printer's setup dialog (and opens nothing); quiet shows no progress
// text and no configuration message. The device (non-zero) or null.
HDC open_printer_dc(const char* orientation, const char* name, HWND setup_owner, bool quiet);
// Starts the document "Kavrel" on the printer; 1 when started, else 0 with
// "Unable to start the printer" and no printer left open.
int start_print_doc();
// Ends the job: pages > 0 ends the last page first, pages >= 0 ends the
// document ("Problems printing (%d)" when it could not be written), pages < 0
// only deletes the device. With no printer open: severity 10 "close_printer".
void close_printer(int pages);
// Whether a printer device is open (close only what is open).
bool printer_is_open();
// The abort procedure: go on while the error is 0.
BOOL abort_print_proc(HDC dc, int error);

// "Mon Jan 02, 2006 3:04PM" of a time: the date text's first ten characters,
// the year, the hour on a 12-hour clock (midnight and noon as 12) and minute.
std::string date_stamp_of(const std::tm& when);
void make_date_stamp();

// A text job: with "Open on printing" the print options for the output
// record first (Cancel: null); then opens the printer with the settings'
// orientation, starts the document, pushes the printer with `font`
// selected. The device or null.
HDC start_text_print(const char* title, const font_spec* font, int record = 0);
// One line of a text job (see printing.cpp); a form feed first starts a page.
void print_text_line(const char* text, int length, int x, bool advance);
// Ends a text job (closes the printer with its page count).
void end_text_print();
// The print comment and the date stamp at the bottom of a graph page, in
// `font`; graph_height bounds the footer to the graph with position "Graph".
void print_page_footer(const font_spec* font, int graph_height);
