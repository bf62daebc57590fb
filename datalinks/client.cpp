// The DDE client (see client.h).
#include "datalinks/client.h"

#include <cstring>
#include <vector>

#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/dde.h"
#include "platform/messages.h"
#include "shell/mainloop.h"
#include "shell/state.h"

namespace {

struct request_item {
    std::string name;
    int format = 0; // 0 text, 1 "XlTable", 2 "WK1"
    bool numbers = false;
    bool transposed = false;
    bool answered = false;
    bool table_received = false;
    std::string text;
    std::optional<sheets::data_matrix> matrix;
};

struct channel {
    HWND partner = nullptr;
    HWND client = nullptr;
    std::shared_ptr<automation::dispatch> object;
    std::string service, topic;                   // the automation links: path and sheet
    std::vector<request_item>* request = nullptr; // while a request waits
    std::vector<HGLOBAL> executes;                // command memory not yet acknowledged
    HGLOBAL waited_execute = nullptr;
    int execute_ack = -1;
    WORD execute_status = 0;
    bool free() const { return !partner && !object; }
};

std::vector<channel> channels;
std::vector<char> result_buffer; // grows, never shrinks: the answers stay until the next request
bool initiating = false;
int initiating_channel = -1;
bool waiting_execute = false;
bool quiet = false;
int last_ack = -1;
WORD last_status = 0;
clip_format_ids formats;
void (*release_links_hook)() = nullptr;
int started = 0;

std::int32_t level_of(HWND client) {
    return static_cast<std::int32_t>(token_of(client));
}

int channel_of_window(HWND w) {
    if (!w) return -1;
    for (std::size_t k = 0; k < channels.size(); ++k)
        if (channels[k].client == w) return static_cast<int>(k);
    return -1;
}

bool connected(int ch) {
    return ch >= 0 && static_cast<std::size_t>(ch) < channels.size() && channels[ch].partner;
}

// A free slot (zeroed), else the table grows by one.
int take_slot() {
    for (std::size_t k = 0; k < channels.size(); ++k)
        if (channels[k].free() && !channels[k].client) {
            channels[k] = channel{};
            return static_cast<int>(k);
        }
    channels.emplace_back();
    return static_cast<int>(channels.size() - 1);
}

// The table goes when no slot holds a partner or an object.
void free_table_if_unused() {
    for (const channel& c : channels)
        if (!c.free() || c.client) return;
    channels.clear();
    channels.shrink_to_fit();
}

std::string atom_name(ATOM a) {
    char buf[256];
    const UINT n = GlobalGetAtomNameA(a, buf, sizeof buf);
    return std::string(buf, n);
}

void ensure_class() {
    WNDCLASS wc{};
    if (GetClassInfo(nullptr, "Kavrel_ddeclient", &wc)) return;
    wc.lpfnWndProc = ddeclient_proc;
    wc.lpszClassName = "Kavrel_ddeclient";
    RegisterClass(&wc);
}

// Ends the wait of a channel's request when every item has its answer.
void end_request_if_complete(int ch) {
    channel& c = channels[static_cast<std::size_t>(ch)];
    if (!c.request) return;
    for (const request_item& it : *c.request)
        if (!it.answered) return;
    end_maintain(level_of(c.client), 1);
}

int terminate_channel(int ch, bool destroy);

void take_data(int ch, HGLOBAL data, ATOM item) {
    dde_block b;
    if (!read_dde_data(data, &b)) return;
    channel& c = channels[static_cast<std::size_t>(ch)];
    if (c.request) {
        const std::string name = atom_name(item);
        for (request_item& it : *c.request) {
            // The first of that name still waiting (an item asked twice gets two answers).
            if (it.name != name || it.answered) continue;
            if (b.format == CF_TEXT) {
                if (it.table_received) break;
                const std::size_t end = b.value.find('\0');
                const std::string_view text(b.value.data(),
                                            end == std::string::npos ? b.value.size() : end);
                if (it.numbers)
                    it.matrix = sheets::parse_text_table(text, it.transposed);
                else
                    it.text.assign(text);
                it.answered = true;
            } else if ((it.format == 1 && formats.xltable && b.format == formats.xltable) ||
                       (it.format == 2 && formats.wk1 && b.format == formats.wk1)) {
                it.matrix = it.format == 1 ? sheets::parse_xltable(b.value, it.transposed)
                                           : sheets::parse_wk1_table(b.value, it.transposed);
                if (it.matrix) it.table_received = true;
                it.answered = true;
            }
            break;
        }
        if (c.request->empty())
            end_maintain(level_of(c.client), 1);
        else
            end_request_if_complete(ch);
    }
    if (b.release) GlobalFree(data);
}

// A wait on the channel's window: timer 1 ends it with 0.
int wait_on(int ch, int timeout_ms) {
    const HWND w = channels[static_cast<std::size_t>(ch)].client;
    if (!SetTimer(w, 1, static_cast<UINT>(timeout_ms > 0 ? timeout_ms : 1), nullptr)) return 0;
    maintain(level_of(w));
    KillTimer(w, 1);
    return maintain_result;
}

// Posts the requests of the items; false (the atoms given back) when one fails.
bool post_requests(int ch, const std::vector<std::string>& names, UINT format) {
    const channel& c = channels[static_cast<std::size_t>(ch)];
    for (const std::string& n : names) {
        const ATOM a = GlobalAddAtomA(n.c_str());
        const LPARAM lp = PackDDElParam(WM_DDE_REQUEST, format, a);
        if (!PostMessage(c.partner, WM_DDE_REQUEST, reinterpret_cast<WPARAM>(c.client), lp)) {
            if (a) GlobalDeleteAtom(a);
            FreeDDElParam(WM_DDE_REQUEST, lp);
            return false;
        }
    }
    return true;
}

// Runs a request of the items until answered or timed out.
bool run_request(int ch, std::vector<request_item>& items, int timeout_ms) {
    channels[static_cast<std::size_t>(ch)].request = &items;
    const int r = wait_on(ch, timeout_ms);
    // The channel may have gone while the loop ran (its partner ended it).
    if (static_cast<std::size_t>(ch) < channels.size() && channels[ch].request == &items)
        channels[static_cast<std::size_t>(ch)].request = nullptr;
    return r == 1;
}

} // namespace

extern "C" {

int kdde_initiate(const char* service, const char* topic) {
    const std::string s = service ? service : "", t = topic ? topic : "";
    for (std::size_t k = 0; k < channels.size(); ++k)
        if (channels[k].partner && channels[k].service == s && channels[k].topic == t)
            return static_cast<int>(k);
    ensure_class();
    const HWND parent = main_wnd && IsWindow(main_wnd) ? main_wnd : nullptr;
    const HWND w = CreateWindowEx(0, "Kavrel_ddeclient", "", parent ? WS_CHILD : WS_POPUP, 0, 0, 0,
                                  0, parent, nullptr, nullptr, nullptr);
    if (!w) return -1;
    SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ddeclient_proc));
    const int ch = take_slot();
    channels[static_cast<std::size_t>(ch)].client = w;
    const ATOM sa = GlobalAddAtomA(s.c_str()), ta = GlobalAddAtomA(t.c_str());
    // A name no atom can hold would go out as 0, which every server takes
    // for "any": refused instead.
    if ((!s.empty() && !sa) || (!t.empty() && !ta)) {
        if (sa) GlobalDeleteAtom(sa);
        if (ta) GlobalDeleteAtom(ta);
        channels[static_cast<std::size_t>(ch)].client = nullptr;
        DestroyWindow(w);
        free_table_if_unused();
        return -1;
    }
    initiating = true;
    initiating_channel = ch;
    DWORD_PTR ignored = 0;
    SendMessageTimeout(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(w),
                       static_cast<LPARAM>(sa | (static_cast<LPARAM>(ta) << 16)), SMTO_NORMAL, 3000,
                       &ignored);
    initiating = false;
    initiating_channel = -1;
    if (sa) GlobalDeleteAtom(sa);
    if (ta) GlobalDeleteAtom(ta);
    channel& c = channels[static_cast<std::size_t>(ch)];
    if (!c.partner) {
        c.client = nullptr;
        DestroyWindow(w);
        free_table_if_unused();
        return -1;
    }
    c.service = s;
    c.topic = t;
    return ch;
}

int kdde_execute(int ch, const char* command) {
    if (!connected(ch) || !command) return 0;
    channel& c = channels[static_cast<std::size_t>(ch)];
    const std::size_t n = std::strlen(command);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, n + 8);
    char* p = static_cast<char*>(GlobalLock(mem));
    if (!p) {
        if (mem) GlobalFree(mem);
        return 0;
    }
    std::memcpy(p, command, n + 1);
    GlobalUnlock(mem);
    if (!PostMessage(c.partner, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(c.client),
                     PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(mem)))) {
        GlobalFree(mem);
        return 0;
    }
    c.executes.push_back(mem);
    c.waited_execute = mem;
    return 1;
}

int kdde_wait_execute(int ch, const char* command, int timeout_ms) {
    last_ack = -1;
    last_status = 0;
    if (!kdde_execute(ch, command)) return 0;
    channels[static_cast<std::size_t>(ch)].execute_ack = -1;
    channels[static_cast<std::size_t>(ch)].execute_status = 0;
    waiting_execute = true;
    const int r = wait_on(ch, timeout_ms);
    waiting_execute = false;
    if (static_cast<std::size_t>(ch) < channels.size()) {
        channel& c = channels[static_cast<std::size_t>(ch)];
        last_ack = r == 1 ? c.execute_ack : -1;
        last_status = r == 1 ? c.execute_status : 0;
        c.waited_execute = nullptr;
    }
    return r == 1 ? 1 : 0;
}

int kdde_poke(int ch, const char* item, const char* text) {
    if (!connected(ch) || !item || !text) return 0;
    const channel& c = channels[static_cast<std::size_t>(ch)];
    dde_block b;
    b.release = true;
    b.format = CF_TEXT;
    b.value.assign(text, std::strlen(text) + 1);
    HGLOBAL mem = make_dde_poke(b);
    if (!mem) return 0;
    const ATOM a = GlobalAddAtomA(item);
    const LPARAM lp = PackDDElParam(WM_DDE_POKE, reinterpret_cast<UINT_PTR>(mem), a);
    if (!PostMessage(c.partner, WM_DDE_POKE, reinterpret_cast<WPARAM>(c.client), lp)) {
        GlobalFree(mem);
        if (a) GlobalDeleteAtom(a);
        FreeDDElParam(WM_DDE_POKE, lp);
        return 0;
    }
    return 1;
}

int kdde_vrequest(int ch, const char** items, const char** results, int count, int timeout_ms) {
    if (results)
        for (int k = 0; k < count; ++k) results[k] = nullptr;
    if (!connected(ch) || count < 0 || (count > 0 && (!items || !results))) return 0;
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) names.emplace_back(items[k] ? items[k] : "");
    if (!post_requests(ch, names, CF_TEXT)) return 0;
    std::vector<request_item> pool(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) pool[k].name = names[k];
    run_request(ch, pool, timeout_ms);
    std::size_t total = 0;
    for (const request_item& it : pool)
        if (it.answered) total += it.text.size() + 1;
    if (total > result_buffer.size()) result_buffer.resize(total);
    std::size_t at = 0;
    int all = 1;
    for (std::size_t k = 0; k < pool.size(); ++k) {
        if (!pool[k].answered) {
            all = 0;
            continue;
        }
        std::memcpy(result_buffer.data() + at, pool[k].text.c_str(), pool[k].text.size() + 1);
        results[k] = result_buffer.data() + at;
        at += pool[k].text.size() + 1;
    }
    return all;
}

int kdde_request(int ch, const char* item, const char** result, int timeout_ms) {
    return kdde_vrequest(ch, &item, result, 1, timeout_ms);
}

int kdde_terminate(int ch) {
    return terminate_channel(ch, true);
}

} // extern "C"

namespace {

int terminate_channel(int ch, bool destroy) {
    if (ch < 0 || static_cast<std::size_t>(ch) >= channels.size()) return 0;
    channel& c = channels[static_cast<std::size_t>(ch)];
    c.object.reset();
    const HWND w = c.client;
    if (c.partner) PostMessage(c.partner, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(w), 0);
    c.partner = nullptr;
    c.client = nullptr;
    // Commands never acknowledged: their memory is the server's now (it may
    // still answer), so it is not freed here.
    c.executes.clear();
    if (c.request) end_maintain(level_of(w), 0);
    c.request = nullptr;
    free_table_if_unused();
    if (w && destroy) DestroyWindow(w);
    return 1;
}

} // namespace

LRESULT ddeclient_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const int ch = channel_of_window(window);
    if (ch < 0) return DefWindowProc(window, message, wparam, lparam);
    const HWND sender = reinterpret_cast<HWND>(wparam);
    switch (message) {
    case WM_DESTROY:
        terminate_channel(ch, false);
        return 0;
    case WM_TIMER:
        end_maintain(level_of(window), 0);
        return 0;
    case WM_DDE_ACK: {
        if (initiating && ch == initiating_channel) {
            // The atoms belong to the answering server, which deletes them.
            const ATOM app = static_cast<ATOM>(lparam & 0xFFFF);
            const ATOM top = static_cast<ATOM>((lparam >> 16) & 0xFFFF);
            channel& c = channels[static_cast<std::size_t>(ch)];
            if (!c.partner) {
                c.partner = sender;
            } else {
                if (!quiet)
                    report(5, "Multiple response on DDE connection(%s,%s).  First used",
                           atom_name(app).c_str(), atom_name(top).c_str());
                // The extra conversation is ended, not left open on the server.
                PostMessage(sender, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
            }
            return 0;
        }
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_ACK, lparam, &lo, &hi);
        const dde_ack a = dde_ack_of(static_cast<WORD>(lo));
        if (a.busy) report(5, "DDE channel %d is busy and may be failing", ch);
        channel& c = channels[static_cast<std::size_t>(ch)];
        const HGLOBAL mem = reinterpret_cast<HGLOBAL>(hi);
        bool was_execute = false;
        for (auto it = c.executes.begin(); it != c.executes.end(); ++it)
            if (*it == mem) {
                c.executes.erase(it);
                was_execute = true;
                break;
            }
        if (was_execute) {
            // The answer to a command hands its memory back.
            GlobalFree(mem);
            if (waiting_execute && c.waited_execute == mem) {
                c.execute_ack = a.ack ? 1 : 0;
                c.execute_status = static_cast<WORD>(lo);
                end_maintain(level_of(window), 1);
            }
        } else if (hi) {
            GlobalDeleteAtom(static_cast<ATOM>(hi));
        }
        FreeDDElParam(WM_DDE_ACK, lparam);
        return 0;
    }
    case WM_DDE_DATA: {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_DATA, lparam, &lo, &hi);
        const HGLOBAL data = reinterpret_cast<HGLOBAL>(lo);
        const ATOM item = static_cast<ATOM>(hi);
        bool ack_req = false;
        if (data) {
            dde_block b;
            if (read_dde_data(data, &b)) ack_req = b.ack_req;
            take_data(ch, data, item); // frees the data when its release bit is set
        }
        if (ack_req && item) {
            // The server asked to hear that its data came: the atom goes back.
            const LPARAM ack = ReuseDDElParam(lparam, WM_DDE_DATA, WM_DDE_ACK,
                                              dde_ack_word({0, false, true}), item);
            if (!PostMessage(sender, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), ack)) {
                GlobalDeleteAtom(item);
                FreeDDElParam(WM_DDE_ACK, ack);
            }
            return 0;
        }
        if (item) GlobalDeleteAtom(item);
        FreeDDElParam(WM_DDE_DATA, lparam);
        return 0;
    }
    case WM_DDE_TERMINATE:
        if (sender != channels[static_cast<std::size_t>(ch)].partner) return 0; // an extra one
        PostMessage(sender, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        channels[static_cast<std::size_t>(ch)].partner = nullptr; // answered already
        kdde_terminate(ch);
        return 0;
    case WM_DDE_ADVISE:
    case WM_DDE_UNADVISE:
    case WM_DDE_REQUEST:
    case WM_DDE_POKE:
    case WM_DDE_EXECUTE: {
        // A client serves nothing: a negative acknowledgement.
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(message, lparam, &lo, &hi);
        if (message == WM_DDE_ADVISE && lo) GlobalFree(reinterpret_cast<HGLOBAL>(lo));
        if (message == WM_DDE_POKE && lo) {
            dde_block b;
            if (read_dde_poke(reinterpret_cast<HGLOBAL>(lo), &b) && b.release)
                GlobalFree(reinterpret_cast<HGLOBAL>(lo));
        }
        const LPARAM ack = ReuseDDElParam(lparam, message, WM_DDE_ACK, 0, hi);
        if (!PostMessage(sender, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), ack)) {
            if (message != WM_DDE_EXECUTE && hi) GlobalDeleteAtom(static_cast<ATOM>(hi));
            FreeDDElParam(WM_DDE_ACK, ack);
        }
        return 0;
    }
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

namespace dde_client {

int last_execute_ack() {
    return last_ack;
}

WORD last_execute_status() {
    return last_status;
}

std::optional<sheets::data_matrix> request_table(int ch, const std::string& item, int wanted_format,
                                                 bool transposed, int timeout_ms) {
    if (!connected(ch)) return std::nullopt;
    register_clip_formats();
    UINT format = wanted_format == 1 ? formats.xltable : wanted_format == 2 ? formats.wk1 : 0;
    if (!format) format = CF_TEXT;
    if (!post_requests(ch, {item}, format)) return std::nullopt;
    std::vector<request_item> pool(1);
    pool[0].name = item;
    pool[0].format = wanted_format;
    pool[0].numbers = true;
    pool[0].transposed = transposed;
    run_request(ch, pool, timeout_ms);
    return std::move(pool[0].matrix);
}

int add_automation_channel(std::shared_ptr<automation::dispatch> worksheet, const std::string& path,
                           const std::string& sheet) {
    if (!worksheet) return -1;
    const int ch = take_slot();
    channel& c = channels[static_cast<std::size_t>(ch)];
    c.object = std::move(worksheet);
    c.service = path;
    c.topic = sheet;
    return ch;
}

int find_automation_channel(const std::string& path, const std::string& sheet) {
    for (std::size_t k = 0; k < channels.size(); ++k)
        if (channels[k].object && channels[k].service == path && channels[k].topic == sheet)
            return static_cast<int>(k);
    return -1;
}

automation::dispatch* channel_object(int ch) {
    if (ch < 0 || static_cast<std::size_t>(ch) >= channels.size()) return nullptr;
    return channels[static_cast<std::size_t>(ch)].object.get();
}

HWND channel_partner(int ch) {
    return connected(ch) ? channels[static_cast<std::size_t>(ch)].partner : nullptr;
}

int channel_count() {
    return static_cast<int>(channels.size());
}

int live_channels() {
    int n = 0;
    for (const channel& c : channels) n += !c.free();
    return n;
}

void set_quiet(bool q) {
    quiet = q;
}

} // namespace dde_client

int dde_close_all() {
    if (release_links_hook) release_links_hook();
    int closed = 0;
    for (int k = static_cast<int>(channels.size()) - 1; k >= 0; --k) {
        if (static_cast<std::size_t>(k) >= channels.size()) continue;
        if (channels[static_cast<std::size_t>(k)].free()) continue;
        kdde_terminate(k);
        ++closed;
    }
    return closed;
}

void quit_started_spreadsheets(int force) {
    if (!force) return;
    if (started & 2) {
        const int ch = kdde_initiate("123w", "System");
        if (ch >= 0) {
            kdde_execute(ch, "[run({QUIT})]");
            kdde_terminate(ch);
        }
    }
    if (started & 1) {
        const int ch = kdde_initiate("Excel", "System");
        if (ch >= 0) {
            kdde_execute(ch, "[Quit()]");
            kdde_terminate(ch);
        }
    }
    started = 0;
}

void register_clip_formats() {
    if (!formats.xltable) formats.xltable = RegisterClipboardFormat("XlTable");
    if (!formats.wk1) formats.wk1 = RegisterClipboardFormat("WK1");
    if (!formats.biff) formats.biff = RegisterClipboardFormat("Biff");
}

const clip_format_ids& clip_formats() {
    return formats;
}

void set_release_links_hook(void (*hook)()) {
    release_links_hook = hook;
}

int& started_programs() {
    return started;
}
