// Opening disk files by name: regular files only, never blocking.
// <fcntl.h> declares a struct of the same name as our file_handle type when
// GNU extensions are on; it is renamed while the header is read.
#define file_handle os_file_handle_
#include <fcntl.h>
#undef file_handle

#include "foundation/openfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

// The reason for a name that is there but is not a regular file.
int not_regular_error(unsigned mode) {
    if (S_ISDIR(mode)) return EISDIR;
    if (S_ISFIFO(mode)) return file_err_fifo;
    if (S_ISCHR(mode)) return file_err_char_device;
    if (S_ISBLK(mode)) return file_err_block_device;
    if (S_ISSOCK(mode)) return file_err_socket;
    return file_err_not_regular;
}

std::string file_error_text(int error) {
    switch (error) {
    case file_err_fifo:
        return "Is a named pipe (FIFO), not a regular file";
    case file_err_char_device:
        return "Is a character device, not a regular file";
    case file_err_block_device:
        return "Is a block device, not a regular file";
    case file_err_socket:
        return "Is a socket, not a regular file";
    case file_err_not_regular:
        return "Is not a regular file";
    default:
        return std::strerror(error);
    }
}

int open_regular(const char* path, int flags, unsigned create_mode) {
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    // Looked at first: opening a pipe or a device may wait or act by itself.
    struct stat st;
    if (::stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            errno = not_regular_error(st.st_mode);
            return -1;
        }
    } else if (errno != ENOENT || !(flags & O_CREAT)) {
        return -1;
    }
    int fd =
        ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, static_cast<mode_t>(create_mode));
    if (fd < 0) return -1;
    int why = ::fstat(fd, &st) != 0 ? errno
              : S_ISREG(st.st_mode) ? 0
                                    : not_regular_error(st.st_mode);
    if (why) {
        ::close(fd);
        errno = why;
        return -1;
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) (void)::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

std::FILE* open_regular_stream(const char* path, const char* mode) {
    if (!mode || !*mode) {
        errno = EINVAL;
        return nullptr;
    }
    bool plus = std::strchr(mode, '+') != nullptr;
    int flags;
    switch (mode[0]) {
    case 'r':
        flags = plus ? O_RDWR : O_RDONLY;
        break;
    case 'a':
        flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        break;
    case 'w':
        flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        break;
    default:
        errno = EINVAL;
        return nullptr;
    }
    int fd = open_regular(path, flags);
    if (fd < 0) return nullptr;
    std::string m = mode;
    m.erase(std::remove(m.begin(), m.end(), 'x'), m.end());
    std::FILE* f = ::fdopen(fd, m.c_str());
    if (!f) {
        int why = errno;
        ::close(fd);
        errno = why;
    }
    return f;
}
