// Opening disk files by name for reading (and appending) without ever
// waiting on a pipe or reading a device, and the reasons of a failed open.
#pragma once

#include <cstdio>
#include <string>

// Reasons of the file layer's own, kept in errno like the system's numbers
// (and beyond their range): the name is there but is not a regular file.
// file_error_text says them; strerror does not know them.
enum : int {
    file_err_fifo = 0x4b560001, // a named pipe
    file_err_char_device,       // a character device
    file_err_block_device,      // a block device
    file_err_socket,            // a socket
    file_err_not_regular,       // any other kind of file that is not a regular one
};

// The reason of a failed open or write for a message: strerror(error) for the
// system's numbers, and what the name is for the file layer's own refusals
// ("Is a named pipe (FIFO), not a regular file").
std::string file_error_text(int error);
// The reason for a name that is there but is not a regular file, from its
// st_mode: EISDIR for a folder, else one of the file layer's own above.
int not_regular_error(unsigned mode);

// Opens a disk file as open(2) does with flags (O_RDONLY, O_RDWR, O_WRONLY |
// O_APPEND, with O_CREAT when it may be made), close-on-exec. Anything that
// is not a regular file (a folder, a named pipe, a device, a socket) is
// refused before it is opened, so an open never waits for a pipe's writer nor
// reads a device; the name is then opened without blocking and checked again
// by its descriptor, so a name swapped in between is refused too. The
// descriptor (blocking again), or -1 with errno set (file_error_text).
int open_regular(const char* path, int flags, unsigned create_mode = 0666);
// The same as a C stream: mode "r", "rb", "r+", "a", "a+" (with "b" or not),
// or "w" (truncated in place: for the error log only; files are otherwise
// written through a temporary file, see fh_open_write). Null with errno set.
std::FILE* open_regular_stream(const char* path, const char* mode);
