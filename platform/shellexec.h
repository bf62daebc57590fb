// Help and the shell: WinHelp opens the program's own HTML help in the
// browser (the ".hlp" file named by the program stands for a folder or page
// of HTML beside it); ShellExecute "open" opens a document or a web page with
// the desktop's own application through Qt, and starts a program only after
// the user has agreed in a message box. Tests record the requests instead of
// opening anything.
#pragma once

#include "platform/types.h"
#include "platform/win.h"

#include <string>
#include <vector>

inline constexpr UINT HELP_CONTEXT = 0x0001;
inline constexpr UINT HELP_QUIT = 0x0002;
inline constexpr UINT HELP_INDEX = 0x0003;
inline constexpr UINT HELP_CONTENTS = 0x0003;
inline constexpr UINT HELP_HELPONHELP = 0x0004;
inline constexpr UINT HELP_KEY = 0x0101;
inline constexpr UINT HELP_PARTIALKEY = 0x0105;
inline constexpr UINT HELP_FINDER = 0x000B;

// For `file` ".../help/kavread.hlp": ".../help/kavread/index.html", else
// ".../help/kavread.html" (".htm"); HELP_CONTEXT n opens
// ".../help/kavread/topic<n>.html" when it exists, else the index. FALSE
// (with a message) when no help page exists.
BOOL WinHelp(HWND owner, const char* file, UINT command, ULONG_PTR data);

inline constexpr INT_PTR SE_ERR_FNF = 2;
inline constexpr INT_PTR SE_ERR_PNF = 3;
inline constexpr INT_PTR SE_ERR_ACCESSDENIED = 5;
inline constexpr INT_PTR SE_ERR_OOM = 8;
inline constexpr INT_PTR SE_ERR_NOASSOC = 31;

// Returns a value above 32 on success, else an SE_ERR_* code (as a handle).
// Verbs: "open" (or null) and "explore"; others give SE_ERR_NOASSOC.
HINSTANCE ShellExecute(HWND owner, const char* verb, const char* file, const char* params,
                       const char* dir, int show);
inline HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* params,
                               const char* dir, int show) {
    return ShellExecute(owner, verb, file, params, dir, show);
}
inline INT_PTR shell_result(HINSTANCE h) {
    return static_cast<INT_PTR>(reinterpret_cast<std::intptr_t>(h));
}

// ---------------------------------------------------------------------------
// Seams

struct ShellRequest {
    std::string kind;   // "help", "url", "document", "program", "help-quit"
    std::string target; // URL, file or program (with its parameters after a blank)
};
// true: requests are recorded, nothing is opened or started (tests).
void shell_record_only(bool on);
const std::vector<ShellRequest>& shell_requests();
void shell_clear_requests();
