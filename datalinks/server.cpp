// The DDE server: its conversations, the FileOpen command it carries out,
// and the answers every other request gets.
#include "datalinks/server.h"

#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "shell/dialogs.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/menustate.h"
#include "shell/pump.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/wip.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Where the conversation's last FileOpen stands, for the client's request of
// the item "FileOpen": none asked, being opened, or its outcome known.
enum class open_state : std::uint8_t { none, opening, known };

struct conversation {
    HWND client = nullptr;
    HWND server = nullptr;
    open_state open = open_state::none;
    unsigned outcome_before = 0; // the shell's open serial when the FileOpen came
    std::string result;          // "1 <path>" opened, "0 <reason>" not
};
// Newest first, as conversations are put at the head of the list.
std::vector<conversation> conversations;
// 5 while an execute request is carried out: requests pumped meanwhile are busy.
std::uint8_t dde_server_busy = 0;

constexpr const char* service_name = "Kavrel";
// A command text and a file name past these sizes are refused unread: no
// model file has a longer name, and a run-away request must not keep the
// viewer busy or fill its log and boxes.
constexpr std::size_t most_command = 64 * 1024;
constexpr std::size_t most_file_name = 4096;
// The item a client requests after its FileOpen to hear what came of it.
constexpr const char* result_item = "FileOpen";
constexpr WORD status_ack = 0x8000;
constexpr WORD status_busy = 0x4000;

conversation* by_client(HWND client) {
    for (auto& c : conversations)
        if (c.client == client) return &c;
    return nullptr;
}

bool same_name(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// One line in the error log for a refused request, never the request itself.
void log_refusal(const char* what, std::size_t size, std::size_t most) {
    char line[160];
    std::snprintf(line, sizeof line, "DDE server: refused %s of %zu bytes (at most %zu)", what,
                  size, most);
    log_message(3, line);
}

bool atom_is(ATOM atom, const char* name) {
    char buffer[64];
    return GlobalGetAtomNameA(atom, buffer, sizeof buffer) && same_name(buffer, name);
}

// An answer that could not be posted hands nothing over: its atom and
// packed parameter go here.
void post_or_free(HWND to, UINT message, WPARAM wparam, LPARAM lparam, ATOM atom) {
    if (PostMessage(to, message, wparam, lparam)) return;
    if (atom) GlobalDeleteAtom(atom);
    FreeDDElParam(message, lparam);
}

void remove_conversation(HWND server) {
    auto it = std::find_if(conversations.begin(), conversations.end(),
                           [&](const conversation& c) { return c.server == server; });
    if (it == conversations.end()) return;
    conversations.erase(it);
    // Its server window goes too; by then it is no longer listed, so its
    // WM_DESTROY posts no second terminate.
    if (IsWindow(server)) DestroyWindow(server);
}

// Cleared on every way out of an execute, including an unwinding Open road.
struct busy_flag {
    busy_flag() { dde_server_busy = 5; }
    ~busy_flag() { dde_server_busy = 0; }
    busy_flag(const busy_flag&) = delete;
    busy_flag& operator=(const busy_flag&) = delete;
};

bool copy_command(HGLOBAL memory, std::string* out) {
    const std::size_t size = GlobalSize(memory);
    const auto* p = static_cast<const char*>(GlobalLock(memory));
    if (!p) return false;
    const auto* end = static_cast<const char*>(std::memchr(p, 0, size));
    out->assign(p, end ? static_cast<std::size_t>(end - p) : size);
    GlobalUnlock(memory);
    return true;
}

// Something modal is up or a command is on the model: an Open now would be
// refused (or would close the model under the command), so the client is
// told to come back.
bool shell_busy() {
    return modal_depth() != 0 || modal_count != 0 || model_busy();
}

void answer_execute(HWND client, HWND server, HGLOBAL command, WORD status) {
    const LPARAM lp =
        PackDDElParam(WM_DDE_ACK, status, reinterpret_cast<UINT_PTR>(static_cast<void*>(command)));
    if (!PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server), lp)) {
        GlobalFree(command);
        FreeDDElParam(WM_DDE_ACK, lp);
    }
}

// The text of the command being carried out, for the run driver's question
// whether an existing run file may be overwritten (a request that begins
// with "O" may); null while no command is carried out.
const std::string* command_in_hand = nullptr;

class handling_command {
public:
    explicit handling_command(const std::string& text) : saved_(command_in_hand) {
        command_in_hand = &text;
    }
    ~handling_command() { command_in_hand = saved_; }
    handling_command(const handling_command&) = delete;
    handling_command& operator=(const handling_command&) = delete;

private:
    const std::string* saved_;
};

const char* pending_command_text() {
    return command_in_hand ? command_in_hand->c_str() : nullptr;
}

// What a FileOpen came to, as the client hears it: "1 <path>" when the model
// opened, "0 <reason>" when not; "" while it is not known yet.
std::string open_result(unsigned serial_before) {
    const open_outcome& o = last_open_outcome();
    if (o.serial == serial_before)
        return "0 The model was not opened: the open model was kept, or the open was cancelled.";
    if (o.opened) return "1 " + o.path;
    // A reason that names a run-away text is cut: the client prints it.
    std::string reason = o.reason.size() > 2000 ? o.reason.substr(0, 2000) + "..." : o.reason;
    return "0 " + reason;
}

// Answers the request of the item "FileOpen": busy while the model is being
// opened (unless the shell already knows the outcome, as it does before a
// failure's box waits for the user), the outcome as text once known.
void answer_result_request(conversation* conv, HWND client, HWND server, LPARAM lparam, ATOM item) {
    std::string result;
    if (conv->open == open_state::known)
        result = conv->result;
    else if (last_open_outcome().serial != conv->outcome_before)
        result = open_result(conv->outcome_before);
    if (result.empty()) {
        post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server),
                     ReuseDDElParam(lparam, WM_DDE_REQUEST, WM_DDE_ACK, status_busy, item), item);
        return;
    }
    dde_block block;
    block.response = true;
    block.release = true;
    block.format = CF_TEXT;
    block.value = result;
    block.value.push_back('\0');
    HGLOBAL data = make_dde_data(block);
    if (!data) {
        post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server),
                     ReuseDDElParam(lparam, WM_DDE_REQUEST, WM_DDE_ACK, 0, item), item);
        return;
    }
    const LPARAM lp =
        ReuseDDElParam(lparam, WM_DDE_REQUEST, WM_DDE_DATA, reinterpret_cast<UINT_PTR>(data), item);
    if (!PostMessage(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(server), lp)) {
        GlobalFree(data);
        if (item) GlobalDeleteAtom(item);
        FreeDDElParam(WM_DDE_DATA, lp);
    }
}

void dde_execute_request(conversation* conv, HGLOBAL command, HWND client, HWND server) {
    auto answer_and_clear = [&](WORD status) {
        answer_execute(client, server, command, status);
        wip_message(0, "%s", "");
    };
    if (dde_server_busy) return answer_and_clear(status_busy);
    if (!conv) return answer_and_clear(0);
    std::string text;
    if (GlobalSize(command) > most_command) {
        log_refusal("a command", GlobalSize(command), most_command);
        return answer_and_clear(0);
    }
    // A command that cannot be read was not carried out: negative, not "done".
    if (!copy_command(command, &text)) return answer_and_clear(0);
    busy_flag busy;
    for (const std::string& cmd : dde_split_commands(text)) {
        std::string name;
        if (!dde_fileopen_name(cmd, &name)) continue;
        if (name.size() > most_file_name) {
            log_refusal("a FileOpen name", name.size(), most_file_name);
            return answer_and_clear(0);
        }
        handling_command handling(cmd);
        // Only the first FileOpen counts; the commands after it are not looked at.
        if (shell_busy()) {
            // Nothing opens now: busy without ack, so the client asks again.
            answer_execute(client, server, command, status_busy);
            return;
        }
        answer_execute(client, server, command, static_cast<WORD>(status_ack | 1));
        conv->open = open_state::opening;
        conv->outcome_before = last_open_outcome().serial;
        conv->result.clear();
        set_pending_open(1, name.c_str(), 0);
        menu_command(cmd_open_model);
        set_pending_open(0, nullptr, 0);
        // The conversation may have ended while the model opened.
        if (conversation* c = by_client(client)) {
            c->result = open_result(c->outcome_before);
            c->open = open_state::known;
        }
        return;
    }
    answer_and_clear(status_ack);
}

} // namespace

std::vector<std::string> dde_split_commands(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '[') {
            out.push_back(text.substr(i));
            break;
        }
        int depth = 0;
        std::size_t j = i;
        for (; j < text.size(); ++j) {
            if (text[j] == '[') ++depth;
            if (text[j] == ']' && --depth == 0) break;
        }
        if (j >= text.size()) { // unclosed: the rest
            out.push_back(text.substr(i));
            break;
        }
        out.push_back(text.substr(i, j + 1 - i));
        i = text.find('[', j + 1);
    }
    return out;
}

bool dde_fileopen_name(const std::string& command, std::string* name) {
    // The command's own text starts after its "[" (a bare command has none).
    const std::size_t start = !command.empty() && command[0] == '[' ? 1 : 0;
    if (command.compare(start, 8, "FileOpen") != 0) return false;
    std::size_t p = command.find('(', start + 8);
    if (p == std::string::npos) return false;
    ++p;
    if (p < command.size() && command[p] == '"') ++p;
    const std::size_t end = command.find_first_of("\")", p);
    *name = command.substr(p, end == std::string::npos ? std::string::npos : end - p);
    return true;
}

void dde_server_initiate(HWND client, LPARAM lparam) {
    UINT_PTR app = 0, topic = 0;
    UnpackDDElParam(WM_DDE_INITIATE, lparam, &app, &topic);
    char buffer[512];
    if (!app || !GlobalGetAtomNameA(static_cast<ATOM>(app), buffer, sizeof buffer)) return;
    if (!same_name(buffer, service_name)) return;
    const std::string app_name = buffer;
    std::string topic_name = app_name;
    if (topic && GlobalGetAtomNameA(static_cast<ATOM>(topic), buffer, sizeof buffer))
        topic_name = buffer;
    if (!main_wnd) return;
    HWND server = CreateWindow("Kavrel_ddeserver", "", WS_CHILD, 0, 0, 0, 0, main_wnd, nullptr,
                               hinst, nullptr);
    if (!server) return;
    conversation conv;
    conv.client = client;
    conv.server = server;
    conversations.insert(conversations.begin(), conv);
    const ATOM a = GlobalAddAtomA(app_name.c_str());
    const ATOM t = GlobalAddAtomA(topic_name.c_str());
    SendMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server),
                PackDDElParam(WM_DDE_INITIATE, a, t));
    GlobalDeleteAtom(a);
    GlobalDeleteAtom(t);
}

LRESULT ddeserver_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        for (const auto& c : conversations)
            if (c.server == window) {
                PostMessage(c.client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
                break;
            }
        auto it = std::find_if(conversations.begin(), conversations.end(),
                               [&](const conversation& c) { return c.server == window; });
        if (it != conversations.end()) conversations.erase(it);
        return DefWindowProc(window, message, wparam, lparam);
    }
    if (message < WM_DDE_INITIATE || message > WM_DDE_EXECUTE || message == WM_DDE_INITIATE)
        return DefWindowProc(window, message, wparam, lparam);
    const HWND client = reinterpret_cast<HWND>(wparam);
    UINT_PTR lo = 0, hi = 0;
    UnpackDDElParam(message, lparam, &lo, &hi);
    const ATOM item = static_cast<ATOM>(hi);
    conversation* conv = by_client(client);
    switch (message) {
    case WM_DDE_TERMINATE:
        remove_conversation(window);
        PostMessage(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        return 0;
    case WM_DDE_ADVISE:
        // Refused; the options stay the client's, which frees them on the
        // negative acknowledgement.
        post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     ReuseDDElParam(lparam, WM_DDE_ADVISE, WM_DDE_ACK, 0, item), item);
        return 0;
    case WM_DDE_UNADVISE:
        if (conv)
            post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                         ReuseDDElParam(lparam, WM_DDE_UNADVISE, WM_DDE_ACK, status_ack, item),
                         item);
        else {
            if (item) GlobalDeleteAtom(item);
            FreeDDElParam(message, lparam);
        }
        return 0;
    case WM_DDE_ACK:
        if (item) GlobalDeleteAtom(item);
        FreeDDElParam(message, lparam);
        return 0;
    case WM_DDE_DATA: {
        HGLOBAL data = reinterpret_cast<HGLOBAL>(lo);
        dde_block block;
        if (data && read_dde_data(data, &block) && block.release) GlobalFree(data);
        if (item) GlobalDeleteAtom(item);
        FreeDDElParam(message, lparam);
        return 0;
    }
    case WM_DDE_REQUEST:
        if (!conv) {
            if (item) GlobalDeleteAtom(item);
        } else if (item && conv->open != open_state::none && atom_is(item, result_item)) {
            answer_result_request(conv, client, window, lparam, item);
        } else if (item) {
            post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                         ReuseDDElParam(lparam, WM_DDE_REQUEST, WM_DDE_ACK, 0, item), item);
        }
        // REQUEST packs its values in the parameter itself: nothing to free.
        return 0;
    case WM_DDE_POKE: {
        HGLOBAL data = reinterpret_cast<HGLOBAL>(lo);
        dde_block block;
        if (data && read_dde_poke(data, &block) && block.release) GlobalFree(data);
        post_or_free(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     ReuseDDElParam(lparam, WM_DDE_POKE, WM_DDE_ACK, status_ack, item), item);
        return 0;
    }
    case WM_DDE_EXECUTE:
        FreeDDElParam(message, lparam);
        dde_execute_request(conv, reinterpret_cast<HGLOBAL>(hi), client, window);
        return 0;
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

std::size_t dde_server_conversations() {
    return conversations.size();
}

bool dde_server_is_busy() {
    return dde_server_busy != 0;
}

namespace {

void log_bridge(const char* line) {
    log_message(3, line);
}

// Other programs reach the service from the workbench's creation to its end.
void start_bridge(HWND) {
    set_dde_bridge_log(log_bridge);
    std::string why;
    if (!dde_bridge_listen(service_name, &why)) log_bridge(("DDE bridge: " + why).c_str());
}

void stop_bridge() {
    dde_bridge_stop();
}

} // namespace

void install_dde_server() {
    dde_server_hooks.initiate = dde_server_initiate;
    dde_server_hooks.proc = ddeserver_proc;
    dde_server_hooks.opened = start_bridge;
    dde_server_hooks.closing = stop_bridge;
    set_dde_pending_hook(pending_command_text);
}
