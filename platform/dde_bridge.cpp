// The serving side of the DDE bridge (see dde_bridge.h): listening sockets,
// connections read and written by Qt's socket notifiers on the
// user-interface thread, and one proxy window per remote conversation.
#include "platform/dde_bridge.h"

#include "platform/dde.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "platform/win_internal.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

static_assert(dde_wire::first_message == WM_DDE_FIRST && dde_wire::last_message == WM_DDE_LAST,
              "the wire carries exactly the DDE messages");

namespace {

using dde_wire::frame;

void (*bridge_log)(const char*) = nullptr;

void log_line(const std::string& text) {
    const std::string line = "DDE bridge: " + text;
    if (bridge_log)
        bridge_log(line.c_str());
    else
        std::fprintf(stderr, "kavrel: %s\n", line.c_str());
}

constexpr const char* proxy_class = "Kavrel_ddeproxy";

// A request sent on behalf of the remote client and not answered yet: what
// it hands over is freed when the answer says the server did not take it.
struct pending_request {
    UINT message = 0;
    HGLOBAL memory = nullptr; // the command, poke data or advise options
    std::string item;
    ATOM atom = 0;        // a local client's item atom, given back with the answer
    bool release = false; // poke data the receiver frees when it takes it
};

struct connection {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader, writer;
    std::string in, out;
    HWND proxy = nullptr;
    HWND partner = nullptr; // the server window of the conversation
    std::string service;
    bool initiated = false, terminating = false, closing = false;
    // A conversation of a local client with another program's server: the
    // proxy stands for that server and the partner is the local client.
    bool client_side = false;
    std::deque<pending_request> pending;
    qint64 since = 0, last_active = 0; // clock() when accepted, and when last heard or answered
};

struct listener {
    std::string service, path;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    bool paused = false; // not accepting until a connection ends or descriptors free up
};

// What the bridge holds for all its peers together. A peer may open
// connections and say nothing, or send the head of a large frame and stop:
// the connections, the bytes waiting in them and the time they may stay
// silent are bounded, so no number of peers takes the program's memory or
// descriptors.
constexpr std::size_t default_max_connections = 64;
constexpr std::size_t default_max_buffered = 64u << 20;
constexpr int default_handshake_ms = 10 * 1000; // from accepting to the initiate
constexpr int default_idle_ms = 30 * 60 * 1000; // a conversation with no frame either way
std::size_t max_connections = default_max_connections;
std::size_t max_buffered = default_max_buffered;
int handshake_ms = default_handshake_ms;
int idle_ms = default_idle_ms;

qint64 clock_ms() {
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t.elapsed();
}

// A condition said once while it lasts (the log is not flooded by a peer
// that keeps knocking), and again when it comes back after it ended.
struct once_flag {
    bool said = false;
    void say(const std::string& text) {
        if (said) return;
        said = true;
        log_line(text);
    }
    void clear() { said = false; }
};
once_flag full_said, descriptors_said, idle_said;

// Kept for the life of the process (never destroyed: the notifiers must not
// outlive Qt at exit); the socket files are removed at exit all the same.
auto& listeners = *new std::vector<std::unique_ptr<listener>>;
auto& connections = *new std::vector<std::unique_ptr<connection>>;

void remove_socket_files() {
    for (const auto& l : listeners) unlink(l->path.c_str());
}
// Set while a proxy initiates: the first answer becomes its partner.
connection* initiating = nullptr;

connection* by_proxy(HWND proxy) {
    for (auto& c : connections)
        if (c->proxy == proxy) return c.get();
    return nullptr;
}

void free_pending(connection* c) {
    for (auto& p : c->pending) {
        // A local client's memory stays its own; the atoms it handed over are ours.
        if (p.memory && !c->client_side) GlobalFree(p.memory);
        if (p.atom) GlobalDeleteAtom(p.atom);
    }
    c->pending.clear();
}

// The socket itself goes.
void finish(connection* c) {
    if (c->reader) c->reader->setEnabled(false);
    if (c->writer) c->writer->setEnabled(false);
    if (c->fd >= 0) close(c->fd);
    c->fd = -1;
    c->out.clear();
}

void flush(connection* c);

// Messages still queued for a proxy that goes would be dropped with what
// they hand over: taken off the queue and released as their receiver would.
void discard_queued(HWND proxy) {
    auto& q = win::st().queue;
    std::vector<MSG> taken;
    for (auto it = q.begin(); it != q.end();) {
        if (it->msg.hwnd == proxy && it->msg.message >= WM_DDE_FIRST &&
            it->msg.message <= WM_DDE_LAST) {
            taken.push_back(it->msg);
            it = q.erase(it);
        } else {
            ++it;
        }
    }
    for (const MSG& m : taken) {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(m.message, m.lParam, &lo, &hi);
        const bool atom = hi && hi <= 0xFFFF;
        switch (m.message) {
        case WM_DDE_ACK: // an item's atom, or the command memory the proxy made
            if (atom)
                GlobalDeleteAtom(static_cast<ATOM>(hi));
            else if (hi)
                GlobalFree(reinterpret_cast<HGLOBAL>(hi));
            break;
        case WM_DDE_DATA:
        case WM_DDE_POKE:
        case WM_DDE_ADVISE:
            if (lo) GlobalFree(reinterpret_cast<HGLOBAL>(lo));
            [[fallthrough]];
        case WM_DDE_REQUEST:
        case WM_DDE_UNADVISE:
            if (atom) GlobalDeleteAtom(static_cast<ATOM>(hi));
            break;
        default: // an execute's command stays its client's
            break;
        }
        FreeDDElParam(m.message, m.lParam);
    }
}

// Ends a connection: the partner is told unless it ended the conversation
// itself; the proxy window goes at once, the socket once what is still to be
// sent (the last answer, a terminate) has gone as the peer reads it. The
// record is removed on a later turn, never from inside its own notifier.
void close_connection(connection* c, bool tell_partner) {
    if (c->closing) return;
    c->closing = true;
    if (tell_partner && c->partner && IsWindow(c->partner) && c->proxy)
        PostMessage(c->partner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(c->proxy), 0);
    free_pending(c);
    if (c->reader) c->reader->setEnabled(false);
    HWND proxy = c->proxy;
    c->proxy = nullptr;
    c->partner = nullptr;
    if (proxy) discard_queued(proxy);
    if (proxy && IsWindow(proxy)) DestroyWindow(proxy);
    flush(c);
    if (c->out.empty()) finish(c);
}

// The connections other programs opened to this one that are still open.
std::size_t served_connections() {
    std::size_t n = 0;
    for (const auto& c : connections) n += !c->client_side && !c->closing;
    return n;
}

// Bytes waiting in every connection, read and not yet a whole frame or
// written and not yet read by the peer.
std::size_t buffered_bytes() {
    std::size_t n = 0;
    for (const auto& c : connections) n += c->in.size() + c->out.size();
    return n;
}

void resume_listeners();

// Drops the records of ended connections, except the one whose notifier is
// running (its own notifier cannot be deleted under it).
void reap(const connection* running = nullptr) {
    std::erase_if(connections, [running](const std::unique_ptr<connection>& c) {
        return c->closing && c->fd < 0 && c.get() != running;
    });
    if (served_connections() < max_connections) resume_listeners();
}

void refuse(connection* c, const std::string& why) {
    log_line("closed a connection: " + why);
    c->out.clear(); // nothing more is said to a peer that broke the rules
    close_connection(c, true);
}

void flush(connection* c) {
    while (!c->out.empty() && c->fd >= 0) {
        const ssize_t n = send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c->out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // The peer went away: nothing more can be said.
        c->out.clear();
        if (c->closing)
            finish(c);
        else
            close_connection(c, true);
        return;
    }
    if (c->closing && c->out.empty()) {
        finish(c);
        return;
    }
    if (c->writer) c->writer->setEnabled(!c->out.empty() && c->fd >= 0);
}

// A peer that reads nothing while answers pile up is let go.
constexpr std::size_t default_max_unsent = 64u << 20;
std::size_t max_unsent = default_max_unsent;

void send_frame(connection* c, const frame& f) {
    if (c->closing) return;
    c->out += dde_wire::encode(f);
    c->last_active = clock_ms();
    if (c->out.size() > max_unsent) return refuse(c, "the peer reads nothing");
    if (buffered_bytes() > max_buffered)
        return refuse(c, "the peers' unread answers passed " + std::to_string(max_buffered >> 20) +
                             " MiB in all");
    flush(c);
}

std::string atom_name(ATOM atom) {
    char buf[dde_wire::max_name + 1];
    const UINT n = atom ? GlobalGetAtomNameA(atom, buf, sizeof buf) : 0;
    return std::string(buf, n);
}

// The answer to the remote client's initiate.
void initiate(connection* c, const frame& f) {
    if (f.name1.empty()) return refuse(c, "an initiate without an application");
    WNDCLASS wc{};
    wc.lpfnWndProc = dde_proxy_proc;
    wc.lpszClassName = proxy_class;
    RegisterClass(&wc); // fails harmlessly when it is there
    HWND proxy = CreateWindow(proxy_class, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!proxy) return refuse(c, "no proxy window");
    c->proxy = proxy;
    const ATOM app = GlobalAddAtomA(f.name1.c_str());
    const ATOM topic = f.name2.empty() ? 0 : GlobalAddAtomA(f.name2.c_str());
    initiating = c;
    SendMessage(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(proxy),
                PackDDElParam(WM_DDE_INITIATE, app, topic));
    initiating = nullptr;
    if (app) GlobalDeleteAtom(app);
    if (topic) GlobalDeleteAtom(topic);
    if (!c->partner) {
        // No one serves it: the client hears a terminate and the connection ends.
        send_frame(c, frame{WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
        close_connection(c, false);
        return;
    }
    c->initiated = true;
}

// Posts a request to the partner; what it hands over is freed when the post fails.
void post_request(connection* c, UINT message, LPARAM lp, ATOM atom, HGLOBAL memory,
                  const std::string& item) {
    if (PostMessage(c->partner, message, reinterpret_cast<WPARAM>(c->proxy), lp)) {
        c->pending.push_back({message, memory, item});
        return;
    }
    if (atom) GlobalDeleteAtom(atom);
    if (memory) GlobalFree(memory);
    FreeDDElParam(message, lp);
    send_frame(c, frame{WM_DDE_ACK, 0, 0, static_cast<WORD>(message), item, {}, {}});
}

void from_remote_server(connection* c, const frame& f);

void handle(connection* c, const frame& f) {
    if (c->client_side) return from_remote_server(c, f);
    if (!c->initiated) {
        if (f.message != WM_DDE_INITIATE) return refuse(c, "a conversation not begun by initiate");
        return initiate(c, f);
    }
    if (c->terminating) return; // what comes after the terminate is dropped
    const ATOM item =
        f.message == WM_DDE_EXECUTE || f.message == WM_DDE_TERMINATE || f.message == WM_DDE_ACK
            ? 0
            : GlobalAddAtomA(f.name1.c_str());
    if (!item && f.message != WM_DDE_EXECUTE && f.message != WM_DDE_TERMINATE &&
        f.message != WM_DDE_ACK)
        return refuse(c, "a request without an item");
    switch (f.message) {
    case WM_DDE_EXECUTE: {
        HGLOBAL cmd =
            global_from_bytes(f.data.c_str(), f.data.size() + 1, GMEM_MOVEABLE | GMEM_DDESHARE);
        if (!cmd) return refuse(c, "no memory for a command");
        return post_request(c, WM_DDE_EXECUTE,
                            PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd)), 0,
                            cmd, {});
    }
    case WM_DDE_REQUEST:
        return post_request(c, WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, f.word2, item), item,
                            nullptr, f.name1);
    case WM_DDE_UNADVISE:
        return post_request(c, WM_DDE_UNADVISE, PackDDElParam(WM_DDE_UNADVISE, f.word2, item), item,
                            nullptr, f.name1);
    case WM_DDE_POKE: {
        dde_block b;
        b.release = true;
        b.format = f.word2;
        b.value = f.data;
        HGLOBAL data = make_dde_poke(b);
        return post_request(c, WM_DDE_POKE,
                            PackDDElParam(WM_DDE_POKE, reinterpret_cast<UINT_PTR>(data), item),
                            item, data, f.name1);
    }
    case WM_DDE_ADVISE: {
        dde_block b;
        b.defer = f.word1 & 0x4000;
        b.ack_req = f.word1 & 0x8000;
        b.format = f.word2;
        HGLOBAL options = make_dde_advise(b);
        return post_request(c, WM_DDE_ADVISE,
                            PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(options), item),
                            item, options, f.name1);
    }
    case WM_DDE_TERMINATE:
        c->terminating = true;
        if (!PostMessage(c->partner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(c->proxy), 0)) {
            send_frame(c, frame{WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
            close_connection(c, false);
        }
        return;
    case WM_DDE_ACK:
        return; // the server sends no data that asks for one
    default:
        if (item) GlobalDeleteAtom(item);
        return refuse(c, "a message a client does not send (" + std::to_string(f.message) + ")");
    }
}

// Handles the whole frames received so far.
void drain_frames(connection* c) {
    std::size_t at = 0;
    while (!c->closing) {
        frame f;
        std::size_t used = 0;
        std::string why;
        const auto r = dde_wire::decode(c->in.data() + at, c->in.size() - at, &f, &used, &why);
        if (r == dde_wire::parsed::need_more) break;
        if (r == dde_wire::parsed::bad) {
            refuse(c, why);
            break;
        }
        at += used;
        handle(c, f);
    }
    if (c->closing)
        c->in.clear();
    else
        c->in.erase(0, at);
}

void on_readable(connection* c) {
    char chunk[65536];
    while (!c->closing) {
        const ssize_t n = recv(c->fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) { // the peer went away: its conversation ends
            close_connection(c, true);
            break;
        }
        c->in.append(chunk, static_cast<std::size_t>(n));
        c->last_active = clock_ms();
        drain_frames(c);
        // Frames begun and not finished, of all peers together: the one
        // that passes the limit is let go.
        if (!c->closing && buffered_bytes() > max_buffered) {
            refuse(c, "the frames waiting to be whole passed " +
                          std::to_string(max_buffered >> 20) + " MiB in all");
            break;
        }
    }
    reap(c);
}

// Once a second: connections that never initiated, and conversations silent
// too long, end; listeners paused for want of descriptors try again.
void sweep_connections() {
    const qint64 now = clock_ms();
    std::size_t mute = 0, silent = 0;
    for (auto& c : connections) {
        if (c->closing || c->client_side) continue;
        const bool never = !c->initiated && now - c->since > handshake_ms;
        if (!never && !(c->initiated && now - c->last_active > idle_ms)) continue;
        ++(never ? mute : silent);
        c->out.clear();
        close_connection(c.get(), true);
    }
    // One line for all a sweep lets go, and none for the next while peers
    // keep coming and going so (a flood of idle peers is said once).
    if (mute || silent) {
        std::string what = "let go ";
        if (mute)
            what += std::to_string(mute) + " connection(s) with no initiate within " +
                    std::to_string(handshake_ms) + " ms";
        if (mute && silent) what += " and ";
        if (silent)
            what += std::to_string(silent) + " conversation(s) silent for " +
                    std::to_string(idle_ms / 1000) + " s";
        idle_said.say(what);
    } else {
        idle_said.clear();
    }
    reap();
    resume_listeners();
}

QTimer* sweeper = nullptr; // lives as long as the process, as the connections do

int sweep_interval() {
    return std::max(20, std::min({1000, handshake_ms / 4, idle_ms / 4}));
}

void start_sweeping() {
    if (sweeper) return;
    sweeper = new QTimer;
    QObject::connect(sweeper, &QTimer::timeout, [] { sweep_connections(); });
    sweeper->start(sweep_interval());
}

// Watches a connection's socket both ways (writing only while answers
// wait) and keeps the connection.
connection* keep_connection(std::unique_ptr<connection> c) {
    connection* raw = c.get();
    c->since = c->last_active = clock_ms();
    start_sweeping();
    c->reader = std::make_unique<QSocketNotifier>(c->fd, QSocketNotifier::Read);
    QObject::connect(c->reader.get(), &QSocketNotifier::activated, [raw] { on_readable(raw); });
    c->writer = std::make_unique<QSocketNotifier>(c->fd, QSocketNotifier::Write);
    c->writer->setEnabled(false);
    QObject::connect(c->writer.get(), &QSocketNotifier::activated, [raw] {
        flush(raw);
        reap(raw);
    });
    connections.push_back(std::move(c));
    return raw;
}

// A connected socket served as a conversation's client side arrives.
connection* serve_connection(int fd, const std::string& service) {
    auto c = std::make_unique<connection>();
    c->fd = fd;
    c->service = service;
    return keep_connection(std::move(c));
}

void pause(listener* l) {
    l->paused = true;
    if (l->notifier) l->notifier->setEnabled(false);
}

// Listeners paused take new connections again while there is room; those
// paused for descriptors retry (another accept says whether there are some).
void resume_listeners() {
    const bool room = served_connections() < max_connections;
    if (room) full_said.clear();
    for (auto& l : listeners)
        if (l->paused && room) {
            l->paused = false;
            if (l->notifier) l->notifier->setEnabled(true);
        }
}

void accept_one(listener* l) {
    reap();
    for (;;) {
        // At the limit the listener rests (new peers wait in its queue)
        // rather than being woken by them again and again.
        if (served_connections() >= max_connections) {
            full_said.say(std::to_string(served_connections()) +
                          " connections are open: new ones wait until one ends");
            return pause(l);
        }
        const int fd = accept4(l->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // No descriptor for the peer: it stays queued; the sweep
                // tries again in a while, never at once.
                descriptors_said.say(std::string("cannot take a new connection (") +
                                     std::strerror(errno) + "): it waits");
                start_sweeping();
                return pause(l);
            }
            return;
        }
        descriptors_said.clear();
        ucred peer{};
        socklen_t len = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != getuid()) {
            log_line("refused a connection to \"" + l->service + "\" from user id " +
                     std::to_string(peer.uid));
            close(fd);
            continue;
        }
        serve_connection(fd, l->service);
    }
}

// An acknowledgement from the partner: matched to the request it answers.
void partner_ack(connection* c, LPARAM lp) {
    UINT_PTR status = 0, second = 0;
    UnpackDDElParam(WM_DDE_ACK, lp, &status, &second);
    FreeDDElParam(WM_DDE_ACK, lp);
    auto it = c->pending.end();
    std::string item;
    // An execute's answer names the command memory; an item's names its atom.
    for (auto p = c->pending.begin(); p != c->pending.end(); ++p)
        if (p->message == WM_DDE_EXECUTE &&
            p->memory == reinterpret_cast<HGLOBAL>(static_cast<std::uintptr_t>(second))) {
            it = p;
            break;
        }
    if (it == c->pending.end() && second && second <= 0xFFFF) {
        item = atom_name(static_cast<ATOM>(second));
        GlobalDeleteAtom(static_cast<ATOM>(second));
        for (auto p = c->pending.begin(); p != c->pending.end(); ++p)
            if (p->message != WM_DDE_EXECUTE && p->item.size() == item.size() &&
                std::equal(item.begin(), item.end(), p->item.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                it = p;
                break;
            }
    }
    if (it == c->pending.end()) return; // an answer to nothing asked: dropped
    // Taken off the list first: sending may end the connection, which empties it.
    const pending_request p = *it;
    c->pending.erase(it);
    const bool positive = status & 0x8000;
    // The command always comes back; poke data and advise options only when refused.
    if (p.memory && (p.message == WM_DDE_EXECUTE || !positive)) GlobalFree(p.memory);
    send_frame(c, frame{WM_DDE_ACK,
                        static_cast<WORD>(status),
                        0,
                        static_cast<WORD>(p.message),
                        p.message == WM_DDE_EXECUTE ? std::string() : p.item,
                        {},
                        {}});
}

void partner_data(connection* c, HWND from, LPARAM lp) {
    UINT_PTR mem = 0, atom = 0;
    UnpackDDElParam(WM_DDE_DATA, lp, &mem, &atom);
    HGLOBAL data = reinterpret_cast<HGLOBAL>(mem);
    dde_block b;
    const bool read = data && read_dde_data(data, &b);
    if (read) {
        frame f{
            WM_DDE_DATA, 0,      static_cast<WORD>(b.format), 0, atom_name(static_cast<ATOM>(atom)),
            {},          b.value};
        f.word1 = static_cast<WORD>((b.response ? 0x1000 : 0) | (b.ack_req ? 0x8000 : 0));
        // A request answered with data is answered once.
        for (auto p = c->pending.begin(); p != c->pending.end(); ++p)
            if (b.response && p->message == WM_DDE_REQUEST) {
                c->pending.erase(p);
                break;
            }
        send_frame(c, f);
    }
    if (read && b.ack_req) {
        const LPARAM ack = ReuseDDElParam(lp, WM_DDE_DATA, WM_DDE_ACK, 0x8000, atom);
        if (!PostMessage(from, WM_DDE_ACK, reinterpret_cast<WPARAM>(c->proxy), ack)) {
            if (atom) GlobalDeleteAtom(static_cast<ATOM>(atom));
            FreeDDElParam(WM_DDE_ACK, ack);
        }
    } else {
        if (atom) GlobalDeleteAtom(static_cast<ATOM>(atom));
        FreeDDElParam(WM_DDE_DATA, lp);
    }
    if (data && (!read || b.release)) GlobalFree(data);
}

// ---- a local client with another program's server ----------------------------------

// Posts to the local client; what the message hands over is taken back when
// the post fails.
void post_to_client(connection* c, UINT message, LPARAM lp, ATOM atom, HGLOBAL memory) {
    if (PostMessage(c->partner, message, reinterpret_cast<WPARAM>(c->proxy), lp)) return;
    if (atom) GlobalDeleteAtom(atom);
    if (memory) GlobalFree(memory);
    FreeDDElParam(message, lp);
}

bool same_item(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void from_remote_server(connection* c, const frame& f) {
    switch (f.message) {
    case WM_DDE_ACK: {
        auto it = std::find_if(c->pending.begin(), c->pending.end(), [&](const pending_request& p) {
            return p.message == f.word3 &&
                   (p.message == WM_DDE_EXECUTE || same_item(p.item, f.name1));
        });
        if (it == c->pending.end()) return; // an answer to nothing asked
        pending_request p = *it;
        c->pending.erase(it);
        const bool positive = f.word1 & 0x8000;
        if (p.message == WM_DDE_EXECUTE) {
            // The command memory goes back to the client, which frees it.
            post_to_client(c, WM_DDE_ACK,
                           PackDDElParam(WM_DDE_ACK, f.word1, reinterpret_cast<UINT_PTR>(p.memory)),
                           0, nullptr);
            return;
        }
        // Taken poke data marked for release and taken advise options are the
        // receiver's to free: here, for the other program.
        if (positive && p.memory && (p.message == WM_DDE_ADVISE || p.release)) GlobalFree(p.memory);
        post_to_client(c, WM_DDE_ACK, PackDDElParam(WM_DDE_ACK, f.word1, p.atom), p.atom, nullptr);
        return;
    }
    case WM_DDE_DATA: {
        if (f.name1.empty()) return refuse(c, "data without an item");
        dde_block b;
        b.response = f.word1 & 0x1000;
        b.ack_req = f.word1 & 0x8000;
        b.release = true; // the client frees what it is given
        b.format = f.word2;
        b.value = f.data;
        ATOM atom = 0;
        // The answer to a request reuses the request's atom.
        if (b.response)
            for (auto p = c->pending.begin(); p != c->pending.end(); ++p)
                if (p->message == WM_DDE_REQUEST && same_item(p->item, f.name1)) {
                    atom = p->atom;
                    c->pending.erase(p);
                    break;
                }
        if (!atom) atom = GlobalAddAtomA(f.name1.c_str());
        HGLOBAL data = make_dde_data(b);
        if (!data) {
            GlobalDeleteAtom(atom);
            return;
        }
        post_to_client(c, WM_DDE_DATA,
                       PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(data), atom), atom,
                       data);
        return;
    }
    case WM_DDE_TERMINATE:
        c->terminating = true;
        close_connection(c, true);
        return;
    default:
        return refuse(c, "a message a server does not send (" + std::to_string(f.message) + ")");
    }
}

// What the local client posts to the proxy goes to the other program.
LRESULT from_local_client(connection* c, UINT message, LPARAM lparam) {
    UINT_PTR lo = 0, hi = 0;
    UnpackDDElParam(message, lparam, &lo, &hi);
    const ATOM atom = hi <= 0xFFFF ? static_cast<ATOM>(hi) : 0;
    const std::string item = message == WM_DDE_EXECUTE ? std::string() : atom_name(atom);
    frame f{message, 0, 0, 0, item, {}, {}};
    pending_request p{message, nullptr, item, atom, false};
    switch (message) {
    case WM_DDE_EXECUTE: {
        HGLOBAL cmd = reinterpret_cast<HGLOBAL>(hi);
        const std::size_t size = GlobalSize(cmd);
        const auto* text = static_cast<const char*>(GlobalLock(cmd));
        if (!text) { // nothing to send: refused at once, the memory given back
            post_to_client(c, WM_DDE_ACK, PackDDElParam(WM_DDE_ACK, 0, hi), 0, nullptr);
            return 0;
        }
        const void* end = std::memchr(text, 0, size);
        f.data.assign(text, end ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                                : std::min(size, dde_wire::max_data));
        GlobalUnlock(cmd);
        p.memory = cmd;
        p.atom = 0;
        break;
    }
    case WM_DDE_REQUEST:
    case WM_DDE_UNADVISE:
        f.word2 = static_cast<WORD>(lo);
        break;
    case WM_DDE_POKE:
    case WM_DDE_ADVISE: {
        HGLOBAL mem = reinterpret_cast<HGLOBAL>(lo);
        dde_block b;
        const bool read =
            message == WM_DDE_POKE ? read_dde_poke(mem, &b) : read_dde_advise(mem, &b);
        FreeDDElParam(message, lparam);
        if (!read || b.value.size() > dde_wire::max_data) {
            // Unreadable: refused here; the client keeps its memory.
            post_to_client(c, WM_DDE_ACK, PackDDElParam(WM_DDE_ACK, 0, atom), atom, nullptr);
            return 0;
        }
        f.word1 = static_cast<WORD>((b.release ? 0x2000 : 0) | (b.defer ? 0x4000 : 0) |
                                    (b.ack_req ? 0x8000 : 0));
        f.word2 = static_cast<WORD>(b.format);
        f.data = std::move(b.value);
        p.memory = mem;
        p.release = b.release;
        break;
    }
    case WM_DDE_ACK: // the client's answer to data that asked for one
        FreeDDElParam(message, lparam);
        if (atom) GlobalDeleteAtom(atom);
        f.word1 = static_cast<WORD>(lo);
        f.word3 = WM_DDE_DATA;
        send_frame(c, f);
        return 0;
    case WM_DDE_TERMINATE:
        send_frame(c, frame{WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
        // The client's terminate is answered at once; the other program's
        // answer is not waited for.
        close_connection(c, true);
        return 0;
    default:
        return 0;
    }
    if (message != WM_DDE_POKE && message != WM_DDE_ADVISE) FreeDDElParam(message, lparam);
    c->pending.push_back(p);
    send_frame(c, f);
    return 0;
}

} // namespace

void dde_remote_initiate(WPARAM client, LPARAM lparam) {
    HWND client_wnd = reinterpret_cast<HWND>(client);
    UINT_PTR app = 0, topic = 0;
    UnpackDDElParam(WM_DDE_INITIATE, lparam, &app, &topic);
    const std::string service = atom_name(static_cast<ATOM>(app));
    // A wildcard, a service served here, or a proxy of ours asking: no socket.
    if (service.empty() || dde_bridge_listening(service.c_str()) || by_proxy(client_wnd) ||
        !IsWindow(client_wnd))
        return;
    std::string why;
    const std::string path = dde_bridge_socket_path(service.c_str(), &why);
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return;
    const int fd = dde_bridge_connect(service.c_str(), &why);
    if (fd < 0) return;
    std::string buffer;
    frame answer;
    // Like a broadcast, the answer is waited for (briefly) before this returns.
    if (!dde_bridge_send(
            fd, frame{WM_DDE_INITIATE, 0, 0, 0, service, atom_name(static_cast<ATOM>(topic)), {}},
            &why) ||
        !dde_bridge_receive(fd, &buffer, &answer, 2000, &why) || answer.message != WM_DDE_ACK ||
        answer.word3 != WM_DDE_INITIATE) {
        close(fd);
        return;
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = dde_proxy_proc;
    wc.lpszClassName = proxy_class;
    RegisterClass(&wc);
    HWND proxy = CreateWindow(proxy_class, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!proxy) {
        close(fd);
        return;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto c = std::make_unique<connection>();
    c->fd = fd;
    c->service = service;
    c->proxy = proxy;
    c->partner = client_wnd;
    c->client_side = true;
    c->initiated = true;
    c->in = std::move(buffer);
    connection* const raw = keep_connection(std::move(c));
    const ATOM a = GlobalAddAtomA(answer.name1.empty() ? service.c_str() : answer.name1.c_str());
    const ATOM t = answer.name2.empty() ? 0 : GlobalAddAtomA(answer.name2.c_str());
    SendMessage(client_wnd, WM_DDE_ACK, reinterpret_cast<WPARAM>(proxy),
                PackDDElParam(WM_DDE_INITIATE, a, t));
    if (a) GlobalDeleteAtom(a);
    if (t) GlobalDeleteAtom(t);
    // What the server sent right behind its answer.
    if (!raw->in.empty()) drain_frames(raw);
}

LRESULT dde_proxy_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message < WM_DDE_FIRST || message > WM_DDE_LAST)
        return DefWindowProc(window, message, wparam, lparam);
    connection* c = by_proxy(window);
    const HWND from = reinterpret_cast<HWND>(wparam);
    if (c && c->client_side && from == c->partner && !c->closing)
        return from_local_client(c, message, lparam);
    if (message == WM_DDE_ACK && c && initiating == c) {
        // The answer to the initiate: the first becomes the partner, any
        // further one is ended at once.
        UINT_PTR app = 0, topic = 0;
        UnpackDDElParam(WM_DDE_INITIATE, lparam, &app, &topic);
        if (c->partner) {
            PostMessage(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
            return 0;
        }
        c->partner = from;
        send_frame(c, frame{WM_DDE_ACK,
                            0x8000,
                            0,
                            static_cast<WORD>(WM_DDE_INITIATE),
                            atom_name(static_cast<ATOM>(app)),
                            atom_name(static_cast<ATOM>(topic)),
                            {}});
        return 0;
    }
    if (!c || from != c->partner || c->client_side) {
        // Not from its partner: nothing of it is kept.
        if (message == WM_DDE_ACK || message == WM_DDE_DATA) {
            UINT_PTR lo = 0, hi = 0;
            UnpackDDElParam(message, lparam, &lo, &hi);
            if (hi && hi <= 0xFFFF) GlobalDeleteAtom(static_cast<ATOM>(hi));
            FreeDDElParam(message, lparam);
        }
        return 0;
    }
    switch (message) {
    case WM_DDE_ACK:
        partner_ack(c, lparam);
        break;
    case WM_DDE_DATA:
        partner_data(c, from, lparam);
        break;
    case WM_DDE_TERMINATE:
        // The partner ended it (or answered ours): the client hears it, then
        // the connection ends.
        send_frame(c, frame{WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
        close_connection(c, false);
        break;
    default:
        break;
    }
    return 0;
}

bool dde_bridge_listen(const char* service, std::string* why) {
    if (dde_bridge_listening(service)) return true;
    const std::string path = dde_bridge_socket_path(service, why);
    if (path.empty()) return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            *why = path + " is there and is not a socket";
            return false;
        }
        // A socket another running program answers on is left to it; one
        // nobody answers is left over from a program that ended.
        std::string ignored;
        const int probe = dde_bridge_connect(service, &ignored);
        if (probe >= 0) {
            close(probe);
            *why = "another program serves \"" + std::string(service) + "\" already";
            return false;
        }
        unlink(path.c_str());
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    // Bound and listening under a name of its own first, then renamed into
    // place: a client that finds the socket's name can connect at once,
    // instead of being refused between the bind and the listen.
    std::string bound = path + ".new" + std::to_string(getpid());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (bound.size() >= sizeof addr.sun_path) bound = path;
    std::memcpy(addr.sun_path, bound.c_str(), bound.size() + 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        chmod(bound.c_str(), 0600) != 0 || listen(fd, 16) != 0 ||
        (bound != path && rename(bound.c_str(), path.c_str()) != 0)) {
        *why = path + ": " + std::strerror(errno);
        close(fd);
        unlink(bound.c_str());
        return false;
    }
    static const bool at_exit = std::atexit(remove_socket_files) == 0;
    (void)at_exit;
    auto l = std::make_unique<listener>();
    l->service = service;
    l->path = path;
    l->fd = fd;
    listener* raw = l.get();
    l->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(l->notifier.get(), &QSocketNotifier::activated, [raw] { accept_one(raw); });
    listeners.push_back(std::move(l));
    return true;
}

void dde_bridge_stop() {
    for (auto& c : connections) {
        if (!c->closing) send_frame(c.get(), frame{WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
        close_connection(c.get(), true);
        finish(c.get()); // what the peer has not read by now is dropped
    }
    connections.clear();
    for (auto& l : listeners) {
        l->notifier.reset();
        close(l->fd);
        unlink(l->path.c_str());
    }
    listeners.clear();
}

bool dde_bridge_listening(const char* service) {
    for (const auto& l : listeners)
        if (l->service.size() == std::strlen(service) &&
            std::equal(l->service.begin(), l->service.end(), service, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return true;
    return false;
}

std::size_t dde_bridge_connections() {
    reap();
    return connections.size();
}

void dde_bridge_serve_socket(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    serve_connection(fd, "");
}

void set_dde_bridge_unsent_limit(std::size_t bytes) {
    max_unsent = bytes ? bytes : default_max_unsent;
}

void set_dde_bridge_limits(std::size_t connections, std::size_t buffered, int handshake, int idle) {
    max_connections = connections ? connections : default_max_connections;
    max_buffered = buffered ? buffered : default_max_buffered;
    handshake_ms = handshake > 0 ? handshake : default_handshake_ms;
    idle_ms = idle > 0 ? idle : default_idle_ms;
    if (sweeper) sweeper->setInterval(sweep_interval());
}

void set_dde_bridge_log(void (*log)(const char* line)) {
    bridge_log = log;
}
