// The file layer: handles over disk files, package members and memory; text
// streams; names, extensions and paths.
// <fcntl.h> declares a struct of the same name as our file_handle type when
// GNU extensions are on; it is renamed while the header is read.
#define file_handle os_file_handle_
#include <fcntl.h>
#undef file_handle

#include "foundation/files.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"

namespace {

constexpr int answer_yes = 6;
constexpr int answer_no = 7;

// The path of a disk file: normalised, relative names left to the OS.
std::string disk_path(const char* name) {
    return normalise_path(name);
}

bool disk_file_exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// --------------------------------------------------------------- handles ---

enum class fh_kind { disk_read, disk_write, bytes_read, memory_write };

struct fh_rec {
    bool used = false;
    fh_kind kind = fh_kind::disk_read;
    int fd = -1;
    bool failed = false;
    int error = 0;                                        // errno of the first failed write
    std::string name;                                     // as opened
    std::string final_path;                               // disk writes: the file replaced at close
    std::string temp_path;                                // disk writes: the file being written
    std::shared_ptr<const std::vector<unsigned char>> ro; // bytes read
    std::vector<unsigned char> rw;                        // memory writes
    long pos = 0;
};

std::vector<fh_rec>& fh_table() {
    static std::vector<fh_rec> t;
    return t;
}

fh_rec* fh_get(file_handle h) {
    auto& t = fh_table();
    if (h < 1 || static_cast<std::size_t>(h) > t.size()) return nullptr;
    fh_rec& r = t[static_cast<std::size_t>(h) - 1];
    return r.used ? &r : nullptr;
}

file_handle fh_new(fh_rec rec) {
    auto& t = fh_table();
    rec.used = true;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (!t[i].used) {
            t[i] = std::move(rec);
            return static_cast<file_handle>(i + 1);
        }
    t.push_back(std::move(rec));
    return static_cast<file_handle>(t.size());
}

void fh_release(fh_rec& r) {
    r = fh_rec{};
}

std::map<std::string, std::vector<unsigned char>>& memory_files() {
    static std::map<std::string, std::vector<unsigned char>> m;
    return m;
}

// The real file a write replaces: a symbolic link's target, so that the link
// survives the rename.
std::string write_target(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string r = real;
            std::free(real);
            return r;
        }
    }
    return path;
}

// ----------------------------------------------------- temporary files ---

// A temporary file is named "." + the file's name + ".kvtmp" + the writing
// process's id + "-" + a counter, in the file's folder. Only names of exactly
// this form are ever removed as stale.
constexpr const char temp_mark[] = ".kvtmp";

// A file's name too long to take the mark within NAME_MAX is kept short: its
// first bytes, "~" and a hash of the whole name, so the temporary stays in
// the file's folder (the rename stays atomic) and keeps the form the sweeper
// knows.
constexpr std::size_t kept_name_bytes = 64;

std::string short_base(const std::string& base) {
    std::uint64_t h = 0xcbf29ce484222325ull; // FNV-1a
    for (unsigned char c : base) h = (h ^ c) * 0x100000001b3ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return base.substr(0, kept_name_bytes) + "~" + hex;
}

std::string temp_name(const std::string& base, long pid, unsigned n) {
    std::string tail = temp_mark + std::to_string(pid) + "-" + std::to_string(n);
    if (1 + base.size() + tail.size() <= NAME_MAX) return "." + base + tail;
    return "." + short_base(base) + tail;
}

bool all_digits(const std::string& s, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// The process id in a name of temp_name's form; 0 for any other name.
long temp_name_pid(const std::string& name) {
    std::size_t mark = name.rfind(temp_mark);
    // "." and at least one character of the file's own name come first.
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2) return 0;
    std::size_t digits = mark + sizeof temp_mark - 1;
    std::size_t dash = name.find('-', digits);
    if (dash == std::string::npos || !all_digits(name, digits, dash) ||
        !all_digits(name, dash + 1, name.size()) || dash - digits > 9)
        return 0;
    return std::strtol(name.c_str() + digits, nullptr, 10);
}

// The temporary files open writes hold now (declared below).
std::set<std::string> open_temporaries();

// The folder part of path with its slash ("" for none), and the rest.
void split_folder(const std::string& path, std::string& dir, std::string& base) {
    std::size_t slash = path.rfind('/');
    dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
}

int remove_stale_in(const std::string& dir) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return 0;
    int saved = errno;
    const long self = ::getpid();
    std::set<std::string> held;
    bool held_known = false;
    int removed = 0;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        long pid = temp_name_pid(name);
        if (pid <= 0 || pid > INT_MAX) continue;
        std::string full = dir + name;
        if (pid == self) {
            if (!held_known) held = open_temporaries(), held_known = true;
            if (held.count(full)) continue;
        } else if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue; // its writer may still be at work
        }
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlink(full.c_str()) == 0) ++removed;
    }
    ::closedir(d);
    errno = saved;
    return removed;
}

// Makes the temporary file beside final; its descriptor, or -1 with errno
// set. Stale temporaries in that folder go first.
int make_temp_beside(const std::string& final, std::string& temp_out) {
    static unsigned counter = 0;
    std::string dir, base;
    split_folder(final, dir, base);
    if (base.empty()) {
        errno = EISDIR;
        return -1;
    }
    struct stat st;
    bool existed = ::stat(final.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) {
        // A folder, a pipe or a device is never replaced by a file.
        errno = not_regular_error(st.st_mode);
        return -1;
    }
    if (!existed) {
        // A link whose target cannot be reached (dangling, a loop) stays as
        // it is: writing would replace the link itself.
        int why = errno;
        struct stat lst;
        if (why != ENOENT || (::lstat(final.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode))) {
            errno = why;
            return -1;
        }
    }
    remove_stale_in(dir);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = dir + temp_name(base, ::getpid(), ++counter);
        int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (existed) (void)::fchmod(fd, st.st_mode & 07777);
            temp_out = temp;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Removes a temporary file, keeping errno for the caller's message.
void remove_temp(const std::string& temp) {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
}

// The disk file has been replaced: a package member of the same name would
// hide the newer file, so it goes.
void after_disk_write(const std::string& final) {
    if (package_open()) package_drop(final.c_str());
}

// Finishes a disk write: flushes, closes and renames. true on success; on
// failure the temporary file is removed and errno says why.
bool commit_temp(int fd, const std::string& temp, const std::string& final) {
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), final.c_str()) != 0) error = errno;
    if (!error) return true;
    errno = error;
    remove_temp(temp);
    return false;
}

// Writes all of data to fd. 0 on success, else the error (ENOSPC when the
// system took nothing without saying why).
int write_all(int fd, const void* data, std::size_t n) {
    auto p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < n) {
        errno = 0;
        ssize_t w = ::write(fd, p + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return errno ? errno : ENOSPC;
        done += static_cast<std::size_t>(w);
    }
    return 0;
}

// Writes a whole file through a temporary file beside it. false on failure
// (the old file kept, errno set).
bool write_file_atomic(const std::string& path, const unsigned char* data, std::size_t n) {
    std::string final = write_target(path), temp;
    int fd = make_temp_beside(final, temp);
    if (fd < 0) return false;
    if (int e = write_all(fd, data, n)) {
        ::close(fd);
        errno = e;
        remove_temp(temp);
        return false;
    }
    return commit_temp(fd, temp, final);
}

// ---------------------------------------------------------------- streams ---

// A stream being written goes through these functions to its temporary file,
// so that the system's error of a failed write is kept: the C library keeps
// only that there was one.
struct write_cookie {
    int fd = -1;
    int error = 0; // errno of the first failed write
};

ssize_t cookie_read(void* c, char* buf, std::size_t n) {
    for (;;) {
        ssize_t r = ::read(static_cast<write_cookie*>(c)->fd, buf, n);
        if (r >= 0 || errno != EINTR) return r;
    }
}

ssize_t cookie_write(void* c, const char* buf, std::size_t n) {
    auto* k = static_cast<write_cookie*>(c);
    std::size_t done = 0;
    while (done < n) {
        errno = 0;
        ssize_t w = ::write(k->fd, buf + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (!k->error) k->error = errno ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(done); // short: the library marks the stream failed
}

int cookie_seek(void* c, off64_t* offset, int whence) {
    off_t at = ::lseek(static_cast<write_cookie*>(c)->fd, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

// The descriptor stays open for the commit.
int cookie_close(void*) {
    return 0;
}

struct stream_rec {
    std::string final_path; // set for writes through a temporary file
    std::string temp_path;
    std::shared_ptr<const std::vector<unsigned char>> bytes; // package member being read
    std::unique_ptr<write_cookie> cookie;                    // writes
};

std::map<std::FILE*, stream_rec>& stream_table() {
    static std::map<std::FILE*, stream_rec> t;
    return t;
}

void (*before_delete_hook)(const char*) = nullptr;

std::set<std::string> open_temporaries() {
    std::set<std::string> held;
    for (const fh_rec& r : fh_table())
        if (r.used && r.kind == fh_kind::disk_write) held.insert(r.temp_path);
    for (const auto& [stream, rec] : stream_table())
        if (!rec.temp_path.empty()) held.insert(rec.temp_path);
    return held;
}

unsigned long failures_reported = 0;

// The question asked before a read-only file is deleted or replaced; verb
// says which.
std::string read_only_question(const std::string& path, const char* verb) {
    return "The file " + path + " is read only\nDo you want to " + verb + " it anyway";
}

} // namespace

// ----------------------------------------------------------- file handles ---

file_handle fh_open_read(const char* name) {
    if (!name || !*name) return -1;
    int m = package_find(name);
    if (m >= 0) {
        fh_rec r;
        r.kind = fh_kind::bytes_read;
        r.name = name;
        r.ro = package_member_data(m);
        if (!r.ro) {
            errno = EIO; // unreadable or damaged (said so)
            return -1;
        }
        return fh_new(std::move(r));
    }
    std::string path = disk_path(name);
    int fd = open_regular(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    fh_rec r;
    r.kind = fh_kind::disk_read;
    r.fd = fd;
    r.name = name;
    return fh_new(std::move(r));
}

file_handle fh_open_bytes(const void* data, std::size_t bytes, const char* name) {
    fh_rec r;
    r.kind = fh_kind::bytes_read;
    r.name = name ? name : "";
    auto p = static_cast<const unsigned char*>(data);
    r.ro = std::make_shared<const std::vector<unsigned char>>(p, p + (p ? bytes : 0));
    return fh_new(std::move(r));
}

file_handle fh_open_write(const char* name, int, int in_memory) {
    if (!name || !*name) return -1;
    fh_rec r;
    r.name = name;
    if (in_memory) {
        r.kind = fh_kind::memory_write;
        return fh_new(std::move(r));
    }
    r.kind = fh_kind::disk_write;
    r.final_path = write_target(disk_path(name));
    r.fd = make_temp_beside(r.final_path, r.temp_path);
    if (r.fd < 0) return -1;
    return fh_new(std::move(r));
}

std::size_t fh_read(file_handle h, void* buffer, std::size_t bytes) {
    fh_rec* r = fh_get(h);
    if (!r || !buffer) return 0;
    if (r->kind == fh_kind::disk_read || r->kind == fh_kind::disk_write) {
        std::size_t done = 0;
        auto p = static_cast<char*>(buffer);
        while (done < bytes) {
            ssize_t n = ::read(r->fd, p + done, bytes - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && !r->error) r->error = errno;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    const std::vector<unsigned char>& v = r->kind == fh_kind::bytes_read ? *r->ro : r->rw;
    if (r->pos < 0 || static_cast<std::size_t>(r->pos) >= v.size()) return 0;
    std::size_t n = std::min(bytes, v.size() - static_cast<std::size_t>(r->pos));
    std::memcpy(buffer, v.data() + r->pos, n);
    r->pos += static_cast<long>(n);
    return n;
}

std::size_t fh_write(file_handle h, const void* buffer, std::size_t bytes) {
    fh_rec* r = fh_get(h);
    if (!r || (!buffer && bytes)) return 0;
    if (r->kind == fh_kind::disk_write) {
        std::size_t done = 0;
        auto p = static_cast<const char*>(buffer);
        while (done < bytes) {
            errno = 0;
            ssize_t n = ::write(r->fd, p + done, bytes - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (!r->failed) r->error = errno ? errno : ENOSPC;
                r->failed = true;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    if (r->kind != fh_kind::memory_write) return 0;
    std::size_t end = static_cast<std::size_t>(r->pos) + bytes;
    if (end > LONG_MAX) {
        r->failed = true;
        return 0;
    }
    if (end > r->rw.size()) r->rw.resize(end, 0);
    if (bytes) std::memcpy(r->rw.data() + r->pos, buffer, bytes);
    r->pos = static_cast<long>(end);
    return bytes;
}

long fh_seek(file_handle h, long offset, int origin) {
    fh_rec* r = fh_get(h);
    if (!r || origin < 0 || origin > 2) return -1;
    if (r->fd >= 0) {
        off_t n = ::lseek(r->fd, offset,
                          origin == 0   ? SEEK_SET
                          : origin == 1 ? SEEK_CUR
                                        : SEEK_END);
        return n < 0 ? -1 : static_cast<long>(n);
    }
    long size = static_cast<long>(r->kind == fh_kind::bytes_read ? r->ro->size() : r->rw.size());
    long from = origin == 0 ? 0 : origin == 1 ? r->pos : size;
    if ((offset < 0 && from < -offset) || (offset > 0 && from > LONG_MAX - offset)) return -1;
    r->pos = from + offset;
    return r->pos;
}

long fh_size(file_handle h) {
    fh_rec* r = fh_get(h);
    if (!r) return -1;
    if (r->fd >= 0) {
        struct stat st;
        return ::fstat(r->fd, &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }
    return static_cast<long>(r->kind == fh_kind::bytes_read ? r->ro->size() : r->rw.size());
}

int fh_close(file_handle h) {
    fh_rec* r = fh_get(h);
    if (!r) return 0;
    fh_rec rec = std::move(*r);
    fh_release(*r);
    switch (rec.kind) {
    case fh_kind::disk_read:
        ::close(rec.fd);
        return 1;
    case fh_kind::bytes_read:
        return 1;
    case fh_kind::memory_write:
        if (rec.failed) {
            report(8, "Unable to write %s", rec.name.c_str());
            return -1;
        }
        memory_files()[rec.name] = std::move(rec.rw);
        return 1;
    case fh_kind::disk_write:
        if (rec.failed) {
            ::close(rec.fd);
            ::unlink(rec.temp_path.c_str());
            report_write_failure(rec.final_path.c_str(), rec.error);
            return -1;
        }
        if (!commit_temp(rec.fd, rec.temp_path, rec.final_path)) {
            report_write_failure(rec.final_path.c_str(), errno);
            return -1;
        }
        after_disk_write(rec.final_path);
        return 1;
    }
    return 0;
}

int fh_error(file_handle h) {
    fh_rec* r = fh_get(h);
    return r ? r->error : 0;
}

void fh_abandon(file_handle h) {
    fh_rec* r = fh_get(h);
    if (!r) return;
    fh_rec rec = std::move(*r);
    fh_release(*r);
    if (rec.fd >= 0) ::close(rec.fd);
    if (rec.kind == fh_kind::disk_write) ::unlink(rec.temp_path.c_str());
}

const unsigned char* fh_memory_data(file_handle h, std::size_t* bytes) {
    fh_rec* r = fh_get(h);
    const std::vector<unsigned char>* v = nullptr;
    if (r && r->kind == fh_kind::bytes_read) v = r->ro.get();
    if (r && r->kind == fh_kind::memory_write) v = &r->rw;
    if (bytes) *bytes = v ? v->size() : 0;
    if (!v) return nullptr;
    static const unsigned char empty = 0;
    return v->empty() ? &empty : v->data();
}

const char* fh_name(file_handle h) {
    fh_rec* r = fh_get(h);
    return r ? r->name.c_str() : "";
}

int fh_open_count() {
    int n = 0;
    for (const fh_rec& r : fh_table()) n += r.used ? 1 : 0;
    return n;
}

const unsigned char* memory_file_data(const char* name, std::size_t* bytes) {
    auto& m = memory_files();
    auto it = name ? m.find(name) : m.end();
    if (it == m.end()) {
        if (bytes) *bytes = 0;
        return nullptr;
    }
    if (bytes) *bytes = it->second.size();
    static const unsigned char empty = 0;
    return it->second.empty() ? &empty : it->second.data();
}

void memory_file_drop(const char* name) {
    if (name) memory_files().erase(name);
}

// ---------------------------------------------------------------- streams ---

std::FILE* open_stream(const char* name, const char* mode) {
    if (!name || !*name || !mode || !*mode) return nullptr;
    if (mode[0] == 'r' && !std::strchr(mode, '+')) {
        int m = package_find(name);
        if (m >= 0) {
            auto bytes = package_member_data(m);
            if (!bytes) {
                errno = EIO; // unreadable or damaged (said so)
                return nullptr;
            }
            std::FILE* f;
            if (bytes->empty()) {
                f = std::tmpfile();
            } else {
                // fmemopen only reads from the buffer, which the table keeps alive.
                f = ::fmemopen(const_cast<unsigned char*>(bytes->data()), bytes->size(), "r");
            }
            if (f) stream_table()[f] = stream_rec{{}, {}, bytes, nullptr};
            return f;
        }
    }
    std::string path = disk_path(name);
    if (mode[0] == 'w') {
        stream_rec rec;
        rec.final_path = write_target(path);
        int fd = make_temp_beside(rec.final_path, rec.temp_path);
        if (fd < 0) return nullptr;
        std::string m = mode;
        m.erase(std::remove(m.begin(), m.end(), 'x'), m.end());
        rec.cookie = std::make_unique<write_cookie>();
        rec.cookie->fd = fd;
        std::FILE* f = ::fopencookie(rec.cookie.get(), m.c_str(),
                                     {cookie_read, cookie_write, cookie_seek, cookie_close});
        if (!f) {
            ::close(fd);
            remove_temp(rec.temp_path);
            return nullptr;
        }
        stream_table()[f] = std::move(rec);
        return f;
    }
    return open_regular_stream(path.c_str(), mode);
}

int close_stream(std::FILE* stream) {
    if (!stream) return 0;
    auto& t = stream_table();
    auto it = t.find(stream);
    if (it == t.end()) return std::fclose(stream) == 0 ? 1 : -1;
    stream_rec rec = std::move(it->second);
    t.erase(it);
    if (rec.final_path.empty()) {
        std::fclose(stream);
        return 1;
    }
    std::fflush(stream);
    int error = rec.cookie->error;
    if (!error && std::ferror(stream)) error = EIO;
    int fd = rec.cookie->fd;
    std::fclose(stream);
    if (error) {
        ::close(fd);
        ::unlink(rec.temp_path.c_str());
        report_write_failure(rec.final_path.c_str(), error);
        return -1;
    }
    if (!commit_temp(fd, rec.temp_path, rec.final_path)) {
        report_write_failure(rec.final_path.c_str(), errno);
        return -1;
    }
    after_disk_write(rec.final_path);
    return 1;
}

void abandon_stream(std::FILE* stream) {
    if (!stream) return;
    auto& t = stream_table();
    auto it = t.find(stream);
    stream_rec rec;
    if (it != t.end()) {
        rec = std::move(it->second);
        t.erase(it);
    }
    std::fclose(stream); // while the cookie it may still write through lives
    if (rec.cookie) ::close(rec.cookie->fd);
    if (!rec.temp_path.empty()) ::unlink(rec.temp_path.c_str());
}

int write_crlf(std::FILE* stream, const char* text) {
    if (!stream) return 0;
    if (!text) return 1;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r')) {
            if (std::fputc('\r', stream) == EOF) return 0;
        }
        if (std::fputc(*p, stream) == EOF) return 0;
    }
    return 1;
}

int write_whole_file(const char* path, const void* data, std::size_t bytes) {
    if (!path || !*path || (!data && bytes)) {
        errno = EINVAL;
        return 0;
    }
    return write_file_atomic(disk_path(path), static_cast<const unsigned char*>(data), bytes) ? 1
                                                                                              : 0;
}

// -------------------------------------------------------- failed writes ---

std::string write_failure_text(const char* path, int error, const char* what) {
    std::string p = path ? path : "";
    std::string text = "Unable to write ";
    if (what && *what) text += std::string(what) + " ";
    text += p;
    if (error) text += ": " + file_error_text(error);
    text +=
        disk_file_exists(disk_path(p.c_str())) ? "; the old file is kept" : "; no file was written";
    return text;
}

void report_write_failure(const char* path, int error, const char* what) {
    ++failures_reported;
    report(8, "%s", write_failure_text(path, error, what).c_str());
}

unsigned long write_failures_reported() {
    return failures_reported;
}

void ignore_file_size_signal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

int remove_stale_temporaries(const char* path) {
    std::string dir, base;
    split_folder(path ? disk_path(path) : std::string(), dir, base);
    return remove_stale_in(dir);
}

// ------------------------------------------------------- files and names ---

int file_status(const char* name, int disk_only) {
    if (!name || !*name) return 0;
    bool on_disk = disk_file_exists(disk_path(name));
    if (!disk_only && package_find(name) >= 0) return on_disk ? 3 : 2;
    return on_disk ? 1 : 0;
}

void set_before_delete_hook(void (*hook)(const char* path)) {
    before_delete_hook = hook;
}

int delete_file(const char* name, int mode) {
    if (!name || !*name) return 0;
    if (mode == -2) return package_drop(name);
    if (mode != 1) return 0;
    std::string path = disk_path(name);
    if (before_delete_hook) before_delete_hook(path.c_str());
    int done = package_drop(name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return done;
    if (file_is_read_only(path.c_str())) {
        std::string q = read_only_question(path, "delete");
        if (ask_question(question_yes_no, q.c_str(), answer_no) != answer_yes) return done;
    }
    if (::unlink(path.c_str()) != 0) {
        report(8, "Unable to delete %s: %s", path.c_str(), std::strerror(errno));
        return done;
    }
    return 1;
}

int save_with_backup(const char* path, char** backup_out) {
    if (!path || !*path) return 0;
    std::string p = disk_path(path);
    std::string backup = p + ".bak";
    if (backup_out) *backup_out = scratch_strdup(backup.c_str());
    if (!disk_file_exists(p)) return 1;
    // A hard link keeps the old file in place until its replacement is
    // complete; a copy where links are not possible.
    ::unlink(backup.c_str());
    if (::link(p.c_str(), backup.c_str()) == 0) return 1;
    int error = errno;
    bool ok = false;
    if (std::FILE* in = open_regular_stream(p.c_str(), "rb")) {
        std::vector<unsigned char> bytes;
        unsigned char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        ok = !std::ferror(in);
        if (!ok) error = errno;
        std::fclose(in);
        if (ok) {
            ok = write_file_atomic(backup, bytes.data(), bytes.size());
            if (!ok) error = errno;
        }
    } else {
        error = errno;
    }
    if (!ok) {
        // The system's reason, so that a folder the user may not write in
        // says so.
        if (error)
            report(8, "Unable to rename %s to %s: %s", p.c_str(), backup.c_str(),
                   std::strerror(error));
        else
            report(8, "Unable to rename %s to %s", p.c_str(), backup.c_str());
        return 0;
    }
    return 1;
}

int ask_overwrite(const char* path) {
    if (!path || !*path) return 0;
    if (!disk_file_exists(disk_path(path))) return 1;
    if (file_is_read_only(path)) return ask_replace_read_only(path);
    std::string q = std::string("The file ") + path + " exists\nDo you want to overwrite it";
    return ask_question(question_yes_no, q.c_str(), answer_no) == answer_yes ? 1 : 0;
}

bool file_is_read_only(const char* path) {
    if (!path || !*path) return false;
    std::string p = disk_path(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    // The mode bits first: the superuser may write anything, yet a file no one
    // may write is read-only to the user all the same.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(p.c_str(), W_OK) != 0;
}

int ask_replace_read_only(const char* path) {
    if (!file_is_read_only(path)) return 1;
    std::string q = read_only_question(path, "overwrite");
    return ask_question(question_yes_no, q.c_str(), answer_no) == answer_yes ? 1 : 0;
}

char* extract_member(const char* name, int flag) {
    if (!name) return nullptr;
    int m = package_find(name);
    if (m < 0) return scratch_strdup(name);
    std::string path = package_dir() + std::string(package_member_name(m));
    if (disk_file_exists(path)) {
        if (!(flag & 1)) return scratch_strdup(path.c_str());
        std::string q = "Do you want to overwrite the file " + path + " with the package file";
        if (ask_question(question_yes_no, q.c_str(), answer_no) != answer_yes)
            return scratch_strdup(path.c_str());
    }
    // A member that cannot be read leaves no folders behind.
    auto bytes = package_member_data(m);
    if (!bytes) return nullptr; // unreadable or damaged (said so)
    // Members may sit in folders of their own.
    for (std::size_t i = std::strlen(package_dir()); (i = path.find('/', i)) != std::string::npos;
         ++i) {
        std::string dir = path.substr(0, i);
        if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
            report(8, "Unable to create the folder %s", dir.c_str());
            return nullptr;
        }
    }
    // The member stays in the package: its bytes equal the new disk file's.
    if (!write_file_atomic(path, bytes->data(), bytes->size())) {
        report_write_failure(path.c_str(), errno);
        return nullptr;
    }
    return scratch_strdup(path.c_str());
}

int list_package_members(int kind, char*** list_out, int grow) {
    if (list_out) *list_out = nullptr;
    if (grow < 1) grow = 20;
    std::vector<const char*> found;
    int n = package_member_count();
    for (int i = 0; i < n; ++i) {
        const char* nm = package_member_name(i);
        if (kind < 0 || file_kind_of(nm, -1) == kind) found.push_back(nm);
    }
    if (found.empty() || !list_out) return static_cast<int>(found.size());
    std::size_t cap = (found.size() + static_cast<std::size_t>(grow) - 1) /
                      static_cast<std::size_t>(grow) * static_cast<std::size_t>(grow);
    auto list = static_cast<char**>(scratch_alloc(cap * sizeof(char*)));
    for (std::size_t i = 0; i < found.size(); ++i) list[i] = scratch_strdup(found[i]);
    *list_out = list;
    return static_cast<int>(found.size());
}
