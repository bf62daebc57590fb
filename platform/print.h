// Printing of the platform stand-in: the printer list (the system's printers
// through Qt plus a "PDF file" printer), printer settings standing in for the
// device-mode interface (orientation, paper size, copies), printer device
// contexts of the drawing layer's device type, and print jobs with start and
// end of document and page and the abort procedure called between pages.
//
// Failures (no such printer, a document that cannot be written, a job the
// abort procedure stopped) give a clear message and a failure result; a job
// that failed never reports success, and a PDF that was not finished is
// removed.
#pragma once

#include "platform/gdi.h"
#include "platform/types.h"
#include "platform/win.h"

#include <string>
#include <vector>

// The name of the printer that writes PDF files.
inline constexpr const char* PDF_PRINTER_NAME = "PDF file";

// ---------------------------------------------------------------------------
// Printer settings (the device mode)

inline constexpr DWORD DM_ORIENTATION = 0x00000001;
inline constexpr DWORD DM_PAPERSIZE = 0x00000002;
inline constexpr DWORD DM_PAPERLENGTH = 0x00000004;
inline constexpr DWORD DM_PAPERWIDTH = 0x00000008;
inline constexpr DWORD DM_SCALE = 0x00000010;
inline constexpr DWORD DM_COPIES = 0x00000100;
inline constexpr DWORD DM_COLOR = 0x00000800;

inline constexpr short DMORIENT_PORTRAIT = 1;
inline constexpr short DMORIENT_LANDSCAPE = 2;
inline constexpr short DMPAPER_LETTER = 1;
inline constexpr short DMPAPER_LEGAL = 5;
inline constexpr short DMPAPER_A3 = 8;
inline constexpr short DMPAPER_A4 = 9;
inline constexpr short DMPAPER_A5 = 11;
inline constexpr short DMCOLOR_MONOCHROME = 1;
inline constexpr short DMCOLOR_COLOR = 2;

// Our own record: the fields the program sets and reads.
struct DEVMODE {
    char dmDeviceName[32];
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    short dmOrientation;
    short dmPaperSize;
    short dmPaperLength; // 0.1 mm, with DMPAPER 0
    short dmPaperWidth;
    short dmScale;
    short dmCopies;
    short dmColor;
};
using DEVMODEA = DEVMODE;

// DocumentProperties modes and answers.
inline constexpr DWORD DM_OUT_BUFFER = 2;
inline constexpr DWORD DM_IN_PROMPT = 4;
inline constexpr DWORD DM_IN_BUFFER = 8;
inline constexpr DWORD DM_UPDATE = 1;
inline constexpr DWORD DM_COPY = 2;
inline constexpr DWORD DM_PROMPT = 4;
inline constexpr DWORD DM_MODIFY = 8;

struct PRINTER_DEFAULTS {
    const char* pDatatype;
    DEVMODE* pDevMode;
    DWORD DesiredAccess;
};
inline constexpr DWORD PRINTER_ACCESS_USE = 0x00000008;
inline constexpr DWORD PRINTER_ALL_ACCESS = 0x000F000C;

// A printer handle for the settings calls (not a device context).
BOOL OpenPrinter(const char* name, HANDLE* printer, const PRINTER_DEFAULTS* defaults);
BOOL ClosePrinter(HANDLE printer);
// With mode 0: the size of a DEVMODE. DM_IN_BUFFER merges `in` into the
// printer's settings for this job, DM_IN_PROMPT shows the printer setup dialog
// (a dialog of ours, "Printer Setup"), DM_OUT_BUFFER writes the result to
// `out`. Returns IDOK, IDCANCEL, or a negative value on failure.
LONG DocumentProperties(HWND owner, HANDLE printer, const char* device, DEVMODE* out,
                        const DEVMODE* in, DWORD mode);

// The profile strings the program reads about printers: section "windows"
// key "device" gives "name,driver,port" of the default printer; section
// "PrinterPorts" gives "driver,port,15,45" per printer (a null key lists the
// names, each ended by a zero, the list by another). Other sections give the
// default.
DWORD GetProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                       DWORD size);

// ---------------------------------------------------------------------------
// Printer device contexts and jobs

// A device context for printer `device` (a name from the printer list), with
// the settings of `devmode` or the printer's own; null (with a message) for an
// unknown printer. `info_only` makes an information context (no jobs).
HDC print_create_dc(const char* device, const DEVMODE* devmode, bool info_only = false);

struct DOCINFO {
    int cbSize;
    const char* lpszDocName;
    const char* lpszOutput; // a file name: the PDF printer writes there
    const char* lpszDatatype;
    DWORD fwType;
};
using DOCINFOA = DOCINFO;

inline constexpr int SP_ERROR = -1;
inline constexpr int SP_APPABORT = -2;
inline constexpr int SP_USERABORT = -3;
inline constexpr int SP_OUTOFDISK = -4;
inline constexpr int SP_OUTOFMEMORY = -5;

using ABORTPROC = BOOL (*)(HDC dc, int error);

int StartDoc(HDC dc, const DOCINFO* info); // a job id > 0, or SP_ERROR
int StartPage(HDC dc);                     // > 0, or SP_ERROR
// Ends the page, then calls the abort procedure: FALSE from it aborts the
// job (SP_APPABORT; nothing is written).
int EndPage(HDC dc);
int EndDoc(HDC dc); // > 0 once the document is written, SP_ERROR when it could not be
int AbortDoc(HDC dc);
int SetAbortProc(HDC dc, ABORTPROC proc);

// ---------------------------------------------------------------------------
// Seams

// The printers: the system's (through Qt) and the PDF printer, the default first.
std::vector<std::string> print_printers();
std::string print_default_printer();
// Tests: hide the system's printers so only the PDF printer exists.
void print_use_system_printers(bool on);
// Where the PDF printer writes when the job names no file (empty: a file named
// after the document in the user's documents folder).
void print_set_pdf_output(const std::string& path);
// The file the PDF printer writes the job of a printer context into (the
// last job's after EndDoc); "" for another printer.
std::string print_output_file(HDC dc);
// Pages finished in the job of a printer context (0 when none).
int print_page_count(HDC dc);
