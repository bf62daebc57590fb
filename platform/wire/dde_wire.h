// The bridge's wire: its frames, its per-user folder and the client's side of a
// connection. No Qt and nothing else of the platform, so the client program
// (kavrel-open) links this library alone; the serving side is dde_bridge.h.
// Frame layout in docs/formats/dde-socket.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- frames ----------------------------------------------------------------------
namespace dde_wire {

// The DDE messages a frame may carry (WM_DDE_FIRST to WM_DDE_LAST; the
// platform checks that they agree).
inline constexpr std::uint32_t first_message = 0x03E0;
inline constexpr std::uint32_t last_message = 0x03E8;

inline constexpr std::size_t max_name = 255;       // bytes, without its ending zero
inline constexpr std::size_t max_data = 16u << 20; // 16 MiB
inline constexpr std::size_t header_size = 12;     // length, message, three words
inline constexpr std::size_t max_body = header_size - 4 + 2 * (max_name + 1) + 4 + max_data;

// One DDE message. word1 is the status word of an ACK and the flags of DATA,
// POKE and ADVISE; word2 the clipboard format; word3, in an ACK, the message
// it answers (WM_DDE_INITIATE for the answer to an initiate). name1 is the
// application (INITIATE and its answer) or the item; name2 the topic; data
// the command (EXECUTE) or the value (DATA, POKE).
struct frame {
    std::uint32_t message = 0;
    std::uint16_t word1 = 0, word2 = 0, word3 = 0;
    std::string name1, name2, data;
};

std::string encode(const frame& f);

enum class parsed { need_more, ok, bad };
// Reads one frame from the front of [p, p + n): ok with *used set, need_more
// while the frame is not all there, bad with the reason (its length or a name
// over the limits, a name without its ending zero, an unknown message, bytes
// left over or missing). A bad frame ends the connection.
parsed decode(const char* p, std::size_t n, frame* out, std::size_t* used, std::string* why);

} // namespace dde_wire

// ---- the per-user folder and the sockets ------------------------------------------
// The folder, made 0700 when missing; "" with the reason when it cannot be made
// or is not safe (not a folder, another user's, open to others).
std::string dde_bridge_folder(std::string* why);
// The socket of a service (its name in lower case, letters, digits, "_", "-"
// and "." only); "" with the reason.
std::string dde_bridge_socket_path(const char* service, std::string* why);
// Connects to a service's socket as a client (blocking); the descriptor, or -1
// with the reason. Refuses a socket whose peer is another user.
int dde_bridge_connect(const char* service, std::string* why);
// Writes all of a buffer to a blocking socket, and reads one frame from it,
// giving up after timeout_ms (false with the reason).
bool dde_bridge_send(int fd, const dde_wire::frame& f, std::string* why);
bool dde_bridge_receive(int fd, std::string* buffer, dde_wire::frame* f, int timeout_ms,
                        std::string* why);
