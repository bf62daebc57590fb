// The clipboard of the platform stand-in: the platform's calls and formats
// (text, metafile picture, enhanced metafile, bitmap, registered formats by
// name) over Qt's clipboard, one MIME type per format, so other Linux
// programs can paste what the program copies: text also as plain text,
// pictures also as PNG and SVG. Tests use a private in-process clipboard.
//
// Ownership follows the platform: a handle given to SetClipboardData belongs
// to the clipboard (freed when the clipboard is emptied); a handle from
// GetClipboardData stays the clipboard's and must not be freed.
//
// Data is checked when it is set and when it arrives from another program: a
// block too small for its format, an unterminated text, or a malformed
// picture is refused with a message (SetClipboardData returns null; a bad
// foreign format is simply not offered).
#pragma once

#include "platform/global.h"
#include "platform/types.h"
#include "platform/win.h"

#include <cstddef>
#include <string>

inline constexpr UINT CF_TEXT = 1;
inline constexpr UINT CF_BITMAP = 2;
inline constexpr UINT CF_METAFILEPICT = 3;
inline constexpr UINT CF_SYLK = 4;
inline constexpr UINT CF_DIF = 5;
inline constexpr UINT CF_OEMTEXT = 7;
inline constexpr UINT CF_DIB = 8;
inline constexpr UINT CF_UNICODETEXT = 13;
inline constexpr UINT CF_ENHMETAFILE = 14;

BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard(); // publishes what was set
BOOL EmptyClipboard(); // frees the old contents, the caller becomes the owner
HANDLE SetClipboardData(UINT format, HANDLE data);
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
// The next format after `format` (0 starts), 0 at the end.
UINT EnumClipboardFormats(UINT format);
int CountClipboardFormats();
// Case-insensitive names; ids from 0xC000; 0 for an empty name.
UINT RegisterClipboardFormat(const char* name);
int GetClipboardFormatName(UINT format, char* buffer, int size);
HWND GetClipboardOwner();
HWND GetOpenClipboardWindow();

// Puts one block on the clipboard in place of what it held (opening and
// closing it for the owner): true when the clipboard took it, which then
// owns it; false leaves the block the caller's to free.
bool clip_put(HWND owner, UINT format, HANDLE data);

// ---------------------------------------------------------------------------
// Seams

// true: a private clipboard inside the process (tests); false: Qt's system
// clipboard (the default).
void clip_use_private(bool on);
// The MIME type a format travels under ("text/plain" for text, its CR LF
// line ends kept; "image/x-wmf", "image/x-emf", "image/bmp"; "text/html" for
// the registered "HTML Format", which holds an HTML document in the
// program's text code; "application/x-kavrel-<name>" for other registered
// formats).
std::string clip_mime_type(UINT format);
// Drops everything (tests).
void clip_reset();
// Takes data another program offered under `mime` ("text/plain" in UTF-8,
// "image/x-wmf", "image/x-emf", "application/x-kavrel-<name>") into the
// clipboard after checking it, as reading Qt's clipboard does; FALSE (with a
// message for malformed pictures) when it is refused.
BOOL clip_import_foreign(const char* mime, const void* data, std::size_t size);
