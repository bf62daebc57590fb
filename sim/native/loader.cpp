// The code generator's module, loaded on the first compile (see
// native_backend), and the calls that go to it.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "sim/native/compile_internal.h"

using namespace native_detail;

namespace {

struct loader_state {
    std::once_flag once;
    std::atomic<const native_backend*> backend{nullptr};
    std::string error;
};

loader_state& loader() {
    static loader_state* s = new loader_state; // kept to exit: code is freed late
    return *s;
}

#if defined(KAVREL_NATIVE_MODULE)
const char module_name[] = "libkavrel_native.so";

// Where the module may be: named by KAVREL_NATIVE_MODULE, beside the
// program, in the lib/kavrel folder beside its bin folder (an install), and
// where this build made it.
std::vector<std::string> module_places() {
    std::vector<std::string> places;
    if (const char* e = std::getenv("KAVREL_NATIVE_MODULE"); e && *e) {
        places.emplace_back(e); // only there: a test or an installer chose it
        return places;
    }
    std::string exe(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n > 0) {
        exe.resize(static_cast<std::size_t>(n));
        std::string dir = exe.substr(0, exe.rfind('/'));
        places.push_back(dir + "/" + module_name);
        places.push_back(dir + "/../lib/kavrel/" + module_name);
    }
    places.emplace_back(KAVREL_NATIVE_MODULE);
    return places;
}
#endif

// The engine's functions only the module calls (the object cache's), held
// here so that every program links them and exports them to it.
[[gnu::used]] void* const module_only[] = {
    reinterpret_cast<void*>(&cache_on),       reinterpret_cast<void*>(&cache_find),
    reinterpret_cast<void*>(&cache_keep),     reinterpret_cast<void*>(&cache_unkeyed),
    reinterpret_cast<void*>(&make_cache_key),
};

void load() {
    loader_state& s = loader();
#if !defined(KAVREL_NATIVE_MODULE)
    s.error = "this build has no native code generator";
#else
    const std::vector<std::string> places = module_places();
    std::string tried;
    for (std::size_t k = 0; k < places.size(); ++k) {
        const std::string& place = places[k];
        if (access(place.c_str(), R_OK) != 0) {
            // "a, b or c not found" once none is there.
            tried += (k == 0 ? "" : k + 1 < places.size() ? ", " : " or ") + place;
            if (k + 1 == places.size()) tried += " not found";
            continue;
        }
        // The load reads much of LLVM's library (see code_trimmer).
        code_trimmer trimmer(true, code_load_trim_interval);
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        drop_code_pages();
        if (!module) {
            const char* why = dlerror();
            tried = why ? why : place + " could not be loaded";
            break;
        }
        using entry_fn = const native_backend* (*)();
        auto entry = reinterpret_cast<entry_fn>(dlsym(module, "kavrel_native_backend"));
        const native_backend* b = entry ? entry() : nullptr;
        if (!b || b->size != sizeof(native_backend)) {
            tried = place + " is not this program's code generator";
            break; // left loaded: its statics have run, unloading it is not safe
        }
        s.backend = b;
        // The module's and LLVM's statics were made now, after the
        // program's, so at exit they go first: before them, the worker
        // stops and code freed later no longer goes back to the JIT. (The
        // module is loaded by the thread that asks for compiles, never by
        // the worker, so its load cannot race the exit of that thread.)
        std::atexit([] {
            stop_worker();
            exiting = true;
        });
        return;
    }
    s.error = "no native code generator (" + tried + ")";
#endif
}

// The module's entry, loaded on first use; null after leaving the reason.
const native_backend* backend() {
    loader_state& s = loader();
    std::call_once(s.once, load);
    return s.backend;
}

compile_caller caller() {
    return compile_caller{on_worker, compile_dropped, native_live(), live_flag()};
}

native_handle no_backend(std::string* why) {
    const std::string& text = loader().error;
    if (why)
        *why = text;
    else
        log_fallback(text);
    return nullptr;
}

} // namespace

void native_detail::load_backend() {
    backend();
}

bool native_available() {
    const native_backend* b = backend();
    return b && !b->start();
}

native_handle native_compile(const native_listing& listing, int level, std::string* why) {
    const native_backend* b = backend();
    return b ? b->compile(listing, level, why, caller()) : no_backend(why);
}

native_handle native_detail::cached_code(const native_listing& listing, int level) {
    const native_backend* b = backend();
    if (!b || !cache_on()) return nullptr;
    compile_caller c = caller();
    c.cache_only = true;
    std::string why; // not logged: the level is compiled instead
    return b->compile(listing, level, &why, c);
}

native_handle native_compile_steps(const native_listing& dynamic, const native_listing& rates,
                                   const native_step_shape& shape, int level, std::string* why) {
    const native_backend* b = backend();
    return b ? b->compile_steps(dynamic, rates, shape, level, why, caller()) : no_backend(why);
}

// Only a loaded generator has anything to give back.
void native_detail::release_compile_memory() {
    if (const native_backend* b = loader().backend.load()) b->release_memory();
}
