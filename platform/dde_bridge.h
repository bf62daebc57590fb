// The DDE bridge: other local programs of the same user reach a DDE service
// of this process over a local socket. Each served service listens on one
// socket in a per-user folder ($XDG_RUNTIME_DIR/kavrel, else kavrel-<uid>
// under the temporary folder); a connection speaks DDE in frames (layout in
// docs/formats/dde-socket.md). A remote conversation gets a hidden proxy
// window here, so the service's code sees ordinary DDE messages from an
// ordinary client window. The frames and the client's side are the wire
// library's (platform/wire/dde_wire.h).
#pragma once

#include "platform/types.h"
#include "platform/wire/dde_wire.h"

#include <cstddef>
#include <cstdint>
#include <string>

// ---- serving (the program's side) ----------------------------------------------------
// Listens for the service; false with the reason (and nothing listening) when
// the folder is not safe or another process serves it already.
bool dde_bridge_listen(const char* service, std::string* why);
// Stops every listening socket, removes its file and ends every remote
// conversation (the partner is sent WM_DDE_TERMINATE).
void dde_bridge_stop();
// The window procedure of the proxy windows ("Kavrel_ddeproxy").
LRESULT dde_proxy_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Whether a service is being served, and how many connections are open.
bool dde_bridge_listening(const char* service);
std::size_t dde_bridge_connections();
// Serves a socket that is connected already (one end of a socket pair) as an
// accepted connection; the bridge closes it (tests and fuzzing).
void dde_bridge_serve_socket(int fd);
// How much may wait unsent for a peer before the connection is closed (64
// MiB; 0 restores that; tests make it small).
void set_dde_bridge_unsent_limit(std::size_t bytes);
// The bounds of what all peers together may hold: connections open (64),
// bytes waiting in them, read or unsent (64 MiB), the time from accepting a
// connection to its initiate (10 s) and the time a conversation may stay
// silent (30 min). 0 restores each default; tests make them small.
void set_dde_bridge_limits(std::size_t connections, std::size_t buffered, int handshake_ms,
                           int idle_ms);
// Where the bridge's complaints go (a connection it closed and why); unset,
// standard error.
void set_dde_bridge_log(void (*log)(const char* line));
