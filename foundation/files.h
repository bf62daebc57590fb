// The file layer: operating-system files, members of the open package and
// in-memory files behind one small-integer handle; text streams; file names,
// extensions and paths.
//
// Writing never destroys the old file before the new one is complete: every
// write goes to a temporary file in the same folder, which replaces the old
// file only when it is closed successfully. A failed or abandoned write leaves
// the old file as it was. A temporary file that a killed process left behind,
// or that could not be removed, goes the next time its folder is written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "foundation/openfile.h"
#include "foundation/paths.h"
#include "foundation/types.h"

// ----------------------------------------------------------- file handles ---

// Opens for reading: a member of the open package of that name first (see
// file_status), else the disk file, which must be a regular file (see
// open_regular). Negative when neither exists, or the disk file cannot be
// opened (errno says why: file_error_text), or when the member's bytes cannot
// be read or are damaged (a message says so; errno is EIO).
file_handle fh_open_read(const char* name);
// Opens bytes from memory for reading (the bytes are copied).
file_handle fh_open_bytes(const void* data, std::size_t bytes, const char* name);
// Opens for writing (and reading back). in_memory 0: a temporary file in the
// same folder, renamed over name by a successful fh_close; in_memory 1: an
// in-memory file kept under name after fh_close (memory_file_*). Negative
// when the file cannot be made (errno says why; no message).
file_handle fh_open_write(const char* name, int unused, int in_memory);
// Bytes moved (0 at the end or on failure; a failed write marks the handle
// so that fh_close refuses to commit it).
std::size_t fh_read(file_handle h, void* buffer, std::size_t bytes);
std::size_t fh_write(file_handle h, const void* buffer, std::size_t bytes);
// origin 0 from the start, 1 from the current position, 2 from the end. The
// new position, or -1 (position unchanged) for a bad handle, origin or a
// position before the start. Positions past the end are allowed; a write
// there fills the gap with zeros.
long fh_seek(file_handle h, long offset, int origin);
long fh_size(file_handle h); // -1 for a bad handle
// Closes. For a write: commits it (the new file replaces the old). Negative
// when the final write or the rename failed, or a write had failed before:
// then the old file is kept, the temporary one removed, and
// report_write_failure tells why. 0 for a bad handle, 1 on success.
int fh_close(file_handle h);
// The system's error (errno) of the first failed read or write on h; 0 when
// none failed or for a bad handle.
int fh_error(file_handle h);
// Drops a write: the temporary file is removed and the old file kept. For a
// read handle the same as fh_close. No message.
void fh_abandon(file_handle h);
// The bytes of an open in-memory file or package member (null otherwise).
const unsigned char* fh_memory_data(file_handle h, std::size_t* bytes);
// The name a handle was opened with ("" for a bad handle).
const char* fh_name(file_handle h);
int fh_open_count();

// Closes a handle when the guard ends unless released; a write still open then
// is abandoned (the old file is kept), so an unwind never commits half a file.
class fh_guard {
public:
    explicit fh_guard(file_handle h) : h_(h) {}
    ~fh_guard() {
        if (h_ > 0) fh_abandon(h_);
    }
    fh_guard(const fh_guard&) = delete;
    fh_guard& operator=(const fh_guard&) = delete;
    file_handle get() const { return h_; }
    // Commits through fh_close; its result.
    int close() {
        file_handle h = h_;
        h_ = -1;
        return fh_close(h);
    }

private:
    file_handle h_;
};

// In-memory files closed by fh_close: their bytes by name (null when none).
const unsigned char* memory_file_data(const char* name, std::size_t* bytes);
void memory_file_drop(const char* name);

// ---------------------------------------------------------------- streams ---

// A text stream; mode as fopen. "w"/"wb" write a temporary file renamed over
// name by close_stream; "r" reads a package member when the package holds
// name. Other modes open the disk file through open_regular_stream. Null when
// it cannot be opened (errno says why; no message, except for a package member
// that cannot be read or is damaged).
std::FILE* open_stream(const char* name, const char* mode);
// Closes a stream of open_stream (any other stream is simply closed). For a
// write: negative when the stream had an error or the rename failed (the old
// file kept, told by report_write_failure), else 1.
int close_stream(std::FILE* stream);
// Drops a stream being written: the old file is kept. No message.
void abandon_stream(std::FILE* stream);
// Writes text with each line feed as CR LF. 1 on success, 0 on failure.
int write_crlf(std::FILE* stream, const char* text);

// A whole disk file written at once through a temporary file beside it. 1 on
// success; 0 on failure, with errno set, the old file kept and no message.
int write_whole_file(const char* path, const void* data, std::size_t bytes);

// -------------------------------------------------------- failed writes ---

// A write past the process's file-size limit raises SIGXFSZ, which ends the
// process without a word by default. The program ignores it, so such a write
// fails with EFBIG and is reported like any other failed write.
void ignore_file_size_signal();

// The one wording of a failed write, whoever the writer: "Unable to write
// the run file /x/Current.kdf: No space left on device; the old file is
// kept". what names the kind of file ("the run file"; null: the path alone,
// as the file layer itself says it); the reason is strerror(error), left out
// when error is 0; the ending says whether an old file is still there.
std::string write_failure_text(const char* path, int error, const char* what = nullptr);
// Reports write_failure_text at severity 8, a box the user sees (while a run
// file is written, that ends the write: see writer_unwind).
void report_write_failure(const char* path, int error, const char* what = nullptr);
// Failed writes reported so far: a caller that must not stay silent about a
// failed write can tell whether the writer already said why.
unsigned long write_failures_reported();

// Removes, in the folder of path (or the current folder when path has no
// folder), the temporary files of our own naming whose process has ended, and
// those of this process that no open write holds (a rename or removal that
// failed in a folder that was read-only then). Nothing else is touched. The
// number removed.
int remove_stale_temporaries(const char* path);

// ------------------------------------------------------- files and names ---

// 0 missing, 1 disk file only, 2 member of the open package, 3 member of the
// open package that also exists on disk. disk_only: the package is not
// consulted (0 or 1).
int file_status(const char* name, int disk_only);
// mode 1: deletes the disk file (asking first about a read-only one) and drops
// a package member of that name, after closing a loaded run of that name
// (through the hook below). mode -2: drops only a package member of that name
// and never touches the disk. 1 when something was deleted or dropped.
int delete_file(const char* name, int mode);
// Called by delete_file(name, 1) before the file goes: the runs subsystem
// installs a function that closes a loaded run of that name. Null: none.
void set_before_delete_hook(void (*hook)(const char* path));
// Keeps the current file at path as its backup (path + ".bak") before a save;
// the file itself stays in place until the new one replaces it. Non-zero when
// the backup was made or there was no file; 0 after "Unable to rename %s to
// %s" (severity 8). backup_out (may be null) receives the backup's path in
// scratch memory.
int save_with_backup(const char* path, char** backup_out);
// 1 when no disk file exists at path or the user agrees to overwrite it; a
// read-only file is asked about as delete_file asks about it.
int ask_overwrite(const char* path);
// Whether the disk file at path is read-only: its mode gives no one write
// permission, or this process may not write it.
bool file_is_read_only(const char* path);
// 1 unless a read-only disk file is at path and the user does not agree to
// replace it (the question delete_file asks; default no).
int ask_replace_read_only(const char* path);
// When the open package holds name: writes the member to the disk file of the
// same name (beside the package) and returns that path (scratch). When such a
// disk file exists already: flag 1 asks "Do you want to overwrite the file %s
// with the package file" first, flag 0 keeps the disk file; either way the
// disk path is returned. Without such a member, the name itself. Null on
// failure (a message says why).
char* extract_member(const char* name, int flag);
// The names of the open package's members of a file kind (-1: every kind) in
// a scratch array (grown by grow entries at a time; the names are scratch
// copies); *list_out is null when there are none. Returns the count.
int list_package_members(int kind, char*** list_out, int grow);
