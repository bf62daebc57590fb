// The bridge's frames, its per-user folder and the client's side of a
// connection.
#include "platform/wire/dde_wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace dde_wire {

namespace {

void put16(std::string* s, unsigned v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string* s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
unsigned get16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<unsigned>(u[0] | (u[1] << 8));
}
std::uint32_t get32(const char* p) {
    return static_cast<std::uint32_t>(get16(p)) | (static_cast<std::uint32_t>(get16(p + 2)) << 16);
}

// A name ended by a zero within the limit, starting at *at and before end.
bool take_name(const char* p, std::size_t* at, std::size_t end, std::string* name,
               std::string* why) {
    const std::size_t room = std::min(end - *at, max_name + 1);
    const void* zero = std::memchr(p + *at, 0, room);
    if (!zero) {
        *why = room > max_name ? "a name longer than 255 bytes" : "a name without its ending zero";
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(zero) - (p + *at));
    name->assign(p + *at, n);
    *at += n + 1;
    return true;
}

} // namespace

std::string encode(const frame& f) {
    const std::size_t name1 = std::min(f.name1.size(), max_name);
    const std::size_t name2 = std::min(f.name2.size(), max_name);
    const std::size_t data = std::min(f.data.size(), max_data);
    std::string s;
    s.reserve(header_size + name1 + name2 + 6 + data);
    put32(&s, static_cast<std::uint32_t>(header_size - 4 + name1 + 1 + name2 + 1 + 4 + data));
    put16(&s, f.message);
    put16(&s, f.word1);
    put16(&s, f.word2);
    put16(&s, f.word3);
    s.append(f.name1, 0, name1);
    s.push_back('\0');
    s.append(f.name2, 0, name2);
    s.push_back('\0');
    put32(&s, static_cast<std::uint32_t>(data));
    s.append(f.data, 0, data);
    return s;
}

parsed decode(const char* p, std::size_t n, frame* out, std::size_t* used, std::string* why) {
    if (n < 4) return parsed::need_more;
    const std::uint32_t body = get32(p);
    // The smallest body: the words, two empty names and a zero data length.
    if (body < header_size - 4 + 2 + 4) {
        *why = "a frame shorter than its header";
        return parsed::bad;
    }
    if (body > max_body) {
        *why = "a frame of " + std::to_string(body) + " bytes, over the limit";
        return parsed::bad;
    }
    // The message is checked as soon as it is there, before the body is waited for.
    if (n >= 6) {
        const unsigned message = get16(p + 4);
        if (message < first_message || message > last_message) {
            *why = "an unknown message " + std::to_string(message);
            return parsed::bad;
        }
    }
    if (n - 4 < body) return parsed::need_more;
    const std::size_t end = 4 + static_cast<std::size_t>(body);
    frame f;
    f.message = get16(p + 4);
    f.word1 = static_cast<std::uint16_t>(get16(p + 6));
    f.word2 = static_cast<std::uint16_t>(get16(p + 8));
    f.word3 = static_cast<std::uint16_t>(get16(p + 10));
    std::size_t at = header_size;
    if (!take_name(p, &at, end, &f.name1, why) || !take_name(p, &at, end, &f.name2, why))
        return parsed::bad;
    if (end - at < 4) {
        *why = "a frame cut before its data length";
        return parsed::bad;
    }
    const std::uint32_t data = get32(p + at);
    at += 4;
    if (data > max_data || data != end - at) {
        *why = "a data length of " + std::to_string(data) + " that does not fit the frame";
        return parsed::bad;
    }
    f.data.assign(p + at, data);
    *out = std::move(f);
    *used = end;
    return parsed::ok;
}

} // namespace dde_wire

namespace {

bool safe_folder(const std::string& path, std::string* why) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = path + " is not a folder";
        return false;
    }
    if (st.st_uid != getuid()) {
        *why = path + " belongs to another user";
        return false;
    }
    if (st.st_mode & 077) {
        *why = path + " is open to other users";
        return false;
    }
    return true;
}

} // namespace

std::string dde_bridge_folder(std::string* why) {
    std::string folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        folder = std::string(runtime) + "/kavrel";
    } else {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/kavrel-" +
                 std::to_string(getuid());
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = folder + ": " + std::strerror(errno);
        return "";
    }
    return safe_folder(folder, why) ? folder : "";
}

std::string dde_bridge_socket_path(const char* service, std::string* why) {
    std::string name;
    for (const char* c = service; c && *c; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (!std::isalnum(u) && u != '_' && u != '-' && u != '.') {
            *why = std::string("the service name \"") + service + "\" cannot name a socket";
            return "";
        }
        name.push_back(static_cast<char>(std::tolower(u)));
    }
    if (name.empty() || name.size() > 64 || name[0] == '.') {
        *why = "the service name cannot name a socket";
        return "";
    }
    const std::string folder = dde_bridge_folder(why);
    if (folder.empty()) return "";
    const std::string path = folder + "/" + name;
    if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        *why = path + ": too long for a socket";
        return "";
    }
    return path;
}

int dde_bridge_connect(const char* service, std::string* why) {
    const std::string path = dde_bridge_socket_path(service, why);
    if (path.empty()) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = std::string("no socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *why = path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    ucred peer{};
    socklen_t len = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid()) {
        *why = path + " is served by another user";
        close(fd);
        return -1;
    }
    return fd;
}

bool dde_bridge_send(int fd, const dde_wire::frame& f, std::string* why) {
    const std::string bytes = dde_wire::encode(f);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *why = std::string("the connection broke: ") + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool dde_bridge_receive(int fd, std::string* buffer, dde_wire::frame* f, int timeout_ms,
                        std::string* why) {
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::size_t used = 0;
        switch (dde_wire::decode(buffer->data(), buffer->size(), f, &used, why)) {
        case dde_wire::parsed::ok:
            buffer->erase(0, used);
            return true;
        case dde_wire::parsed::bad:
            return false;
        case dde_wire::parsed::need_more:
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now()).count();
        if (left <= 0) {
            *why = "no answer in time";
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char chunk[65536];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *why = "the connection was closed";
            return false;
        }
        buffer->append(chunk, static_cast<std::size_t>(n));
    }
}
