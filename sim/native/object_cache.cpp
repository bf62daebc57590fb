// The object cache's folder and entries (see object_cache.h).
#include "sim/native/object_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <tuple>

#include "foundation/checksum.h"

using namespace native_detail;

namespace {

constexpr char entry_magic[8] = {'K', 'V', 'R', 'L', 'O', 'B', 'J', '\x1a'};
constexpr std::uint32_t entry_version = 1;
constexpr char entry_suffix[] = ".obj";
// A temporary file older than this is a write that never finished (its
// process ended): removed with the oldest entries.
constexpr time_t stale_temporary_s = 600;

struct cache_state {
    std::mutex mutex;
    bool chosen = false;
    std::string folder;
    // The folder's size as this process knows it (read at its first write,
    // then its own writes added): past the bound, the folder is read again
    // and trimmed.
    bool size_known = false;
    std::uint64_t size = 0;
    std::mutex trim_mutex;
    std::atomic<std::size_t> found{0}, missed{0}, refused{0}, written{0}, removed{0}, unkeyed{0};
};

cache_state& state() {
    static cache_state* s = new cache_state; // used by compiles until exit
    return *s;
}

std::string environment_folder() {
    if (const char* e = std::getenv("KAVREL_NATIVE_CACHE")) {
        const std::string v = e;
        if (v.empty() || v == "0" || v == "off") return {};
        return v;
    }
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kavrel/native";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/kavrel/native";
    return {};
}

std::string folder_now() {
    cache_state& s = state();
    std::lock_guard<std::mutex> g(s.mutex);
    if (!s.chosen) {
        s.folder = environment_folder();
        s.chosen = true;
    }
    return s.folder;
}

void put32(std::vector<char>& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(v >> (8 * k)));
}
void put64(std::vector<char>& out, std::uint64_t v) {
    for (int k = 0; k < 8; ++k) out.push_back(static_cast<char>(v >> (8 * k)));
}
std::uint64_t get(const char* p, int bytes) {
    std::uint64_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    return v;
}

std::string entry_name(const cache_key& key) {
    static const char hex[] = "0123456789abcdef";
    std::string name;
    for (unsigned char c : key) {
        name += hex[c >> 4];
        name += hex[c & 15];
    }
    return name + entry_suffix;
}

bool make_folder(const std::string& folder) {
    // Each missing folder on the way, private to the user.
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool read_whole(int fd, std::vector<char>& data, std::uint64_t limit) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) > limit)
        return false;
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false; // shorter than it said: being replaced, or a fault
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool write_whole(int fd, std::string_view a, std::string_view b) {
    for (std::string_view part : {a, b}) {
        while (!part.empty()) {
            const ssize_t n = write(fd, part.data(), part.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            part.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    return true;
}

struct folder_entry {
    std::string path;
    std::uint64_t bytes;
    struct timespec used;
    bool temporary;
};

std::vector<folder_entry> list_folder(const std::string& folder) {
    std::vector<folder_entry> entries;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return entries;
    while (dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        const bool temporary = name.rfind(".tmp-", 0) == 0;
        const bool entry = name.size() > sizeof entry_suffix &&
                           name.compare(name.size() - (sizeof entry_suffix - 1),
                                        sizeof entry_suffix - 1, entry_suffix) == 0;
        if (!temporary && !entry) continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        entries.push_back({path, static_cast<std::uint64_t>(st.st_size), st.st_mtim, temporary});
    }
    closedir(dir);
    return entries;
}

std::uint64_t total_bytes(const std::vector<folder_entry>& entries) {
    std::uint64_t total = 0;
    for (const folder_entry& e : entries) total += e.bytes;
    return total;
}

} // namespace

std::string native_cache_folder() {
    return folder_now();
}

void set_native_cache_folder(const std::string& folder) {
    cache_state& s = state();
    std::lock_guard<std::mutex> g(s.mutex);
    s.folder = folder;
    s.chosen = true;
    s.size_known = false;
}

void set_native_cache_folder_default() {
    cache_state& s = state();
    std::lock_guard<std::mutex> g(s.mutex);
    s.chosen = false;
    s.size_known = false;
}

native_cache_counts native_cache_counts_now() {
    cache_state& s = state();
    native_cache_counts c;
    c.found = s.found;
    c.missed = s.missed;
    c.refused = s.refused;
    c.written = s.written;
    c.removed = s.removed;
    c.unkeyed = s.unkeyed;
    return c;
}

std::uint64_t native_cache_size() {
    const std::string folder = folder_now();
    if (folder.empty()) return 0;
    std::uint64_t total = 0;
    for (const folder_entry& e : list_folder(folder))
        if (!e.temporary) total += e.bytes;
    return total;
}

std::vector<char> native_detail::make_cache_entry(const cache_key& key, std::string_view object) {
    std::vector<char> out(entry_magic, entry_magic + sizeof entry_magic);
    put32(out, entry_version);
    put32(out, static_cast<std::uint32_t>(cache_header_size));
    out.insert(out.end(), key.begin(), key.end());
    put64(out, object.size());
    sha256 h;
    h.update(object.data(), object.size());
    const auto digest = h.finish();
    out.insert(out.end(), digest.begin(), digest.end());
    out.insert(out.end(), object.begin(), object.end());
    return out;
}

bool native_detail::read_cache_entry(std::string_view data, const cache_key& key,
                                     std::string_view* object) {
    if (data.size() < cache_header_size) return false;
    const char* p = data.data();
    if (std::memcmp(p, entry_magic, sizeof entry_magic) != 0) return false;
    if (get(p + 8, 4) != entry_version || get(p + 12, 4) != cache_header_size) return false;
    if (std::memcmp(p + 16, key.data(), key.size()) != 0) return false;
    const std::uint64_t length = get(p + 48, 8);
    if (length != data.size() - cache_header_size) return false;
    const std::string_view body = data.substr(cache_header_size);
    sha256 h;
    h.update(body.data(), body.size());
    const auto digest = h.finish();
    if (std::memcmp(p + 56, digest.data(), digest.size()) != 0) return false;
    *object = body;
    return true;
}

cache_key native_detail::make_cache_key(std::string_view identity, std::string_view module) {
    sha256 h;
    std::vector<char> lengths;
    put64(lengths, identity.size());
    put64(lengths, module.size());
    h.update(lengths.data(), lengths.size());
    h.update(identity.data(), identity.size());
    h.update(module.data(), module.size());
    const auto digest = h.finish();
    cache_key key;
    std::copy(digest.begin(), digest.end(), key.begin());
    return key;
}

bool native_detail::cache_on() {
    return !folder_now().empty();
}

bool native_detail::cache_find(const cache_key& key, std::vector<char>& object, bool compiling) {
    cache_state& s = state();
    const std::string folder = folder_now();
    if (folder.empty()) return false;
    const std::string path = folder + "/" + entry_name(key);
    // Not blocking: a pipe in an entry's place is refused, not waited on.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (compiling) ++s.missed;
        return false;
    }
    std::vector<char> data;
    const bool whole = read_whole(fd, data, native_cache_bound);
    close(fd);
    std::string_view body;
    if (!whole || !read_cache_entry(std::string_view(data.data(), data.size()), key, &body)) {
        if (compiling) ++s.missed;
        ++s.refused;
        return false;
    }
    object.assign(body.begin(), body.end());
    // Used now: the last to go when the folder is trimmed.
    utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    ++s.found;
    return true;
}

void native_detail::cache_keep(const cache_key& key, std::string_view object) {
    cache_state& s = state();
    const std::string folder = folder_now();
    if (folder.empty() || object.size() + cache_header_size > native_cache_bound / 8) return;
    if (!make_folder(folder)) return;
    // A name of this write's own: two viewers writing the same entry each
    // rename a whole file over it.
    static std::atomic<std::uint64_t> serial{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string temporary = folder + "/.tmp-" + std::to_string(getpid()) + "-" +
                                  std::to_string(serial++) + "-" + std::to_string(random());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::vector<char> entry = make_cache_entry(key, object);
    const std::string_view whole(entry.data(), entry.size());
    const bool ok =
        write_whole(fd, whole.substr(0, cache_header_size), whole.substr(cache_header_size));
    if (close(fd) != 0 || !ok ||
        rename(temporary.c_str(), (folder + "/" + entry_name(key)).c_str()) != 0) {
        unlink(temporary.c_str());
        return;
    }
    ++s.written;
    bool trim = false;
    {
        std::lock_guard<std::mutex> g(s.mutex);
        if (!s.size_known) {
            s.size_known = true;
            s.size = total_bytes(list_folder(folder));
        } else {
            s.size += entry.size();
        }
        trim = s.size > native_cache_bound;
    }
    if (trim) cache_trim(native_cache_bound);
}

void native_detail::cache_unkeyed() {
    ++state().unkeyed;
}

void native_detail::cache_trim(std::uint64_t bound) {
    cache_state& s = state();
    const std::string folder = folder_now();
    if (folder.empty()) return;
    std::lock_guard<std::mutex> one_at_a_time(s.trim_mutex);
    std::vector<folder_entry> entries = list_folder(folder);
    std::uint64_t total = total_bytes(entries);
    const time_t now = time(nullptr);
    if (total > bound) {
        std::sort(entries.begin(), entries.end(), [](const folder_entry& a, const folder_entry& b) {
            return std::tie(a.used.tv_sec, a.used.tv_nsec) <
                   std::tie(b.used.tv_sec, b.used.tv_nsec);
        });
        const std::uint64_t goal = bound / 4 * 3;
        for (const folder_entry& e : entries) {
            if (total <= goal) break;
            // Another process's write under way is left to it.
            if (e.temporary && now - e.used.tv_sec < stale_temporary_s) continue;
            if (unlink(e.path.c_str()) == 0) {
                total -= e.bytes;
                if (!e.temporary) ++s.removed;
            }
        }
    }
    std::lock_guard<std::mutex> g(s.mutex);
    s.size_known = true;
    s.size = total;
}
