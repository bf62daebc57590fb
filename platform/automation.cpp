// Automation within one process (see automation.h).
#include "platform/automation.h"

#include <mutex>

namespace automation {

namespace {

struct server_entry {
    std::string program_id;
    factory make;
    std::shared_ptr<dispatch> active;
    bool registered = false;
};

struct running_entry {
    std::int32_t cookie = 0;
    std::string name;
    std::shared_ptr<dispatch> object;
};
// The registries are never destroyed: a worker thread may still use them
// while the program exits.
struct registry_data {
    std::mutex lock;
    std::vector<server_entry> servers; // class id = index + 1; entries are never removed
    std::vector<running_entry> running;
    std::int32_t next_cookie = 1;
};
registry_data& registry = *new registry_data;
std::mutex& registry_lock = registry.lock;
std::vector<server_entry>& servers = registry.servers;
std::vector<running_entry>& running = registry.running;
std::int32_t& next_cookie = registry.next_cookie;
thread_local int init_count = 0;

bool same_folded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        unsigned char x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

server_entry* find_server(class_id id) {
    if (id < 1 || static_cast<std::size_t>(id) > servers.size()) return nullptr;
    server_entry& s = servers[static_cast<std::size_t>(id - 1)];
    return s.registered ? &s : nullptr;
}

// The flat position of an index, or -1 outside the bounds.
std::int64_t flat_index(const safe_array& a, const std::vector<std::int32_t>& index) {
    if (index.size() != a.bounds.size()) return -1;
    std::int64_t at = 0;
    for (std::size_t d = 0; d < index.size(); ++d) {
        const std::int64_t k = static_cast<std::int64_t>(index[d]) - a.bounds[d].lower;
        if (k < 0 || k >= a.bounds[d].count) return -1;
        at = at * a.bounds[d].count + k;
    }
    return at;
}

} // namespace

variant variant::of_int(std::int32_t v) {
    variant r;
    r.type = vt::i4;
    r.integer = v;
    return r;
}
variant variant::of_double(double v) {
    variant r;
    r.type = vt::r8;
    r.real = v;
    return r;
}
variant variant::of_text(std::string v) {
    variant r;
    r.type = vt::bstr;
    r.text = std::move(v);
    return r;
}
variant variant::of_bool(bool v) {
    variant r;
    r.type = vt::boolean;
    r.integer = v ? -1 : 0;
    return r;
}
variant variant::of_object(std::shared_ptr<dispatch> v) {
    variant r;
    r.type = vt::dispatch;
    r.object = std::move(v);
    return r;
}
variant variant::of_error(std::int32_t code) {
    variant r;
    r.type = vt::error;
    r.integer = code;
    return r;
}

std::shared_ptr<safe_array> make_array(const std::vector<safe_array::bound>& bounds) {
    if (bounds.empty()) return nullptr;
    std::uint64_t n = 1;
    for (const auto& b : bounds) {
        if (b.count == 0) return nullptr;
        n *= b.count;
        if (n > (std::uint64_t{64} << 20)) return nullptr;
    }
    auto a = std::make_shared<safe_array>();
    a->bounds = bounds;
    a->elements.resize(static_cast<std::size_t>(n));
    return a;
}

hresult array_get(const safe_array& a, const std::vector<std::int32_t>& index, variant* out) {
    const std::int64_t at = flat_index(a, index);
    if (at < 0 || static_cast<std::size_t>(at) >= a.elements.size()) return e_bad_index;
    *out = a.elements[static_cast<std::size_t>(at)];
    return s_ok;
}

hresult array_put(safe_array& a, const std::vector<std::int32_t>& index, const variant& v) {
    const std::int64_t at = flat_index(a, index);
    if (at < 0 || static_cast<std::size_t>(at) >= a.elements.size()) return e_bad_index;
    a.elements[static_cast<std::size_t>(at)] = v;
    return s_ok;
}

hresult call(dispatch* object, const std::string& name, int kind, const std::vector<variant>& args,
             variant* result) {
    if (!object) return e_fail;
    dispid id = 0;
    if (hresult h = object->ids_of_names(name, &id); failed(h)) return h;
    variant ignored;
    return object->invoke(id, kind, args, result ? result : &ignored);
}

hresult initialise() {
    ++init_count;
    return s_ok;
}
void uninitialise() {
    if (init_count > 0) --init_count;
}
bool initialised() {
    return init_count > 0;
}

void register_server(const std::string& program_id, factory make) {
    std::lock_guard<std::mutex> g(registry_lock);
    for (server_entry& s : servers)
        if (same_folded(s.program_id, program_id)) {
            s.make = std::move(make);
            s.registered = true;
            return;
        }
    servers.push_back({program_id, std::move(make), nullptr, true});
}

void revoke_server(const std::string& program_id) {
    std::lock_guard<std::mutex> g(registry_lock);
    for (server_entry& s : servers)
        if (same_folded(s.program_id, program_id)) {
            s.registered = false;
            s.make = nullptr;
            s.active.reset();
        }
}

hresult class_from_program_id(const std::string& program_id, class_id* out) {
    std::lock_guard<std::mutex> g(registry_lock);
    if (!initialised()) return e_not_initialised;
    for (std::size_t k = 0; k < servers.size(); ++k)
        if (servers[k].registered && same_folded(servers[k].program_id, program_id)) {
            *out = static_cast<class_id>(k + 1);
            return s_ok;
        }
    return e_invalid_class;
}

hresult get_active_object(class_id id, std::shared_ptr<dispatch>* out) {
    std::lock_guard<std::mutex> g(registry_lock);
    if (!initialised()) return e_not_initialised;
    server_entry* s = find_server(id);
    if (!s || !s->active) return e_unavailable;
    *out = s->active;
    return s_ok;
}

hresult create_instance(class_id id, std::shared_ptr<dispatch>* out) {
    factory make;
    {
        std::lock_guard<std::mutex> g(registry_lock);
        if (!initialised()) return e_not_initialised;
        server_entry* s = find_server(id);
        if (!s || !s->make) return e_invalid_class;
        make = s->make;
    }
    // Made outside the lock: a server may register itself as active.
    std::shared_ptr<dispatch> made = make();
    if (!made) return e_fail;
    *out = std::move(made);
    return s_ok;
}

void register_active_object(class_id id, std::shared_ptr<dispatch> object) {
    std::lock_guard<std::mutex> g(registry_lock);
    if (server_entry* s = find_server(id)) s->active = std::move(object);
}

void revoke_active_object(class_id id) {
    std::lock_guard<std::mutex> g(registry_lock);
    if (server_entry* s = find_server(id)) s->active.reset();
}

std::int32_t register_running(const std::string& display_name, std::shared_ptr<dispatch> object) {
    std::lock_guard<std::mutex> g(registry_lock);
    running.push_back({next_cookie, display_name, std::move(object)});
    return next_cookie++;
}

void revoke_running(std::int32_t cookie) {
    std::lock_guard<std::mutex> g(registry_lock);
    for (auto it = running.begin(); it != running.end(); ++it)
        if (it->cookie == cookie) {
            running.erase(it);
            return;
        }
}

std::vector<std::string> running_names() {
    std::lock_guard<std::mutex> g(registry_lock);
    std::vector<std::string> names;
    for (const running_entry& r : running) names.push_back(r.name);
    return names;
}

hresult bind_running(const std::string& display_name, std::shared_ptr<dispatch>* out) {
    std::lock_guard<std::mutex> g(registry_lock);
    for (const running_entry& r : running)
        if (r.name == display_name) {
            *out = r.object;
            return s_ok;
        }
    return e_unavailable;
}

void reset_automation() {
    std::lock_guard<std::mutex> g(registry_lock);
    for (server_entry& s : servers) {
        s.registered = false;
        s.make = nullptr;
        s.active.reset();
    }
    running.clear();
}

} // namespace automation
