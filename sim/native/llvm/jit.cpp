// The JIT session: LLVM set up once, the target machines of the two levels,
// ORC's LLJIT linking the objects of a pass; a pass compiled in modules by
// several threads at once; the module's entry point (the code generator is
// loaded by the engine on its first compile, see loader.cpp).
#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "sim/flat.h"
#include "sim/interp_core.h"
#include "sim/native/compile_internal.h"
#include "sim/simdata.h"

using namespace native_detail;

#include <llvm/ExecutionEngine/JITEventListener.h>
#include <llvm/ExecutionEngine/Orc/LLJIT.h>
#include <llvm/ExecutionEngine/Orc/RTDyldObjectLinkingLayer.h>
#include <llvm/ExecutionEngine/Orc/ThreadSafeModule.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/LLVMContext.h>
#include <llvm/IR/LegacyPassManager.h>
#include <llvm/IR/MDBuilder.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Verifier.h>
#include <llvm/Passes/PassBuilder.h>
#include <llvm/Support/CommandLine.h>
#include <llvm/Support/FileSystem.h>
#include <llvm/Support/SmallVectorMemoryBuffer.h>
#include <llvm/Support/TargetSelect.h>
#include <llvm/Support/raw_ostream.h>
#include <llvm/Target/TargetMachine.h>
#include <llvm/Transforms/Scalar/SROA.h>

namespace {

// The JIT, made on first use and kept for the process (never destroyed, so
// code freed at exit finds it still there). It only links: the passes'
// modules are compiled to objects by target machines of our own, several at
// once, each machine used by one compile at a time.
struct jit_state {
    std::once_flag once;
    llvm::orc::LLJIT* jit = nullptr;
    std::string error;
    // Tier 0 compiles for speed of compiling (fast instruction selection and
    // register allocation), tier 1 for speed of running.
    std::optional<llvm::orc::JITTargetMachineBuilder> machine[2];
    std::mutex machines_mutex;
    std::vector<std::unique_ptr<llvm::TargetMachine>> idle_machines[2];
    // Objects are added and linked one pass at a time.
    std::mutex linking;
};
jit_state jit_state_;
std::atomic<std::uint64_t> module_count{0};

// The name of a compile's entry: the same for every compile (each piece of
// code has a library of its own), so that the same pass makes the same
// modules; numbered for a profile, which tells the pieces apart by name.
std::string code_name(const char* kind) {
    static const bool numbered = std::getenv("KAVREL_PERF_JIT") != nullptr;
    return numbered ? kind + ("_" + std::to_string(module_count++)) : kind;
}

llvm::orc::LLJIT* the_jit() {
    jit_state& s = jit_state_;
    std::call_once(s.once, [&] {
        // The start reads much of LLVM's library once (see code_trimmer).
        code_trimmer trimmer(true, code_load_trim_interval);
        llvm::InitializeNativeTarget();
        llvm::InitializeNativeTargetAsmPrinter();
        auto tmb = llvm::orc::JITTargetMachineBuilder::detectHost();
        if (!tmb) {
            s.error = llvm::toString(tmb.takeError());
            return;
        }
        // Tier 0 with the register allocator of the optimising levels: its
        // own (local) allocator keeps every value in memory between blocks,
        // and that code ran no faster than the flat loop (the dense
        // world-size model, 15 sectors: 0.90 ms against 1.0 on the loop, 0.63
        // with this allocator, for a compile of 88 ms CPU instead of 37;
        // tier 1 takes 292). The setting is LLVM's own option, read when a
        // compile builds its machine passes; tier 1 uses that allocator anyway.
        {
            const char* args[] = {"kavrel", code_generator_options};
            llvm::raw_null_ostream quiet;
            llvm::cl::ParseCommandLineOptions(2, args, "", &quiet);
        }
        // No fused multiply-add: the same roundings as the flat loop.
        tmb->getOptions().AllowFPOpFusion = llvm::FPOpFusion::Strict;
        for (int level = 0; level < 2; ++level) {
            s.machine[level] = *tmb;
            s.machine[level]->setCodeGenOptLevel(level ? llvm::CodeGenOpt::Less
                                                       : llvm::CodeGenOpt::None);
        }
        auto jit = llvm::orc::LLJITBuilder().setJITTargetMachineBuilder(std::move(*tmb)).create();
        if (!jit) {
            s.error = llvm::toString(jit.takeError());
            return;
        }
        // The optimiser turns a loop that copies or fills memory into a call
        // of the C library's function (a copy of lanes inlined into the
        // compiled steps, say): the code links with the process's own.
        using copy_fn = void* (*)(void*, const void*, std::size_t);
        using fill_fn = void* (*)(void*, int, std::size_t);
        const std::pair<const char*, void*> library[] = {
            {"memcpy", reinterpret_cast<void*>(static_cast<copy_fn>(&std::memcpy))},
            {"memmove", reinterpret_cast<void*>(static_cast<copy_fn>(&std::memmove))},
            {"memset", reinterpret_cast<void*>(static_cast<fill_fn>(&std::memset))}};
        llvm::orc::SymbolMap symbols;
        for (const auto& [name, address] : library)
            symbols[(*jit)->mangleAndIntern(name)] = llvm::JITEvaluatedSymbol(
                llvm::pointerToJITTargetAddress(address),
                llvm::JITSymbolFlags::Exported | llvm::JITSymbolFlags::Callable);
        if (auto e = (*jit)->getMainJITDylib().define(llvm::orc::absoluteSymbols(symbols))) {
            s.error = llvm::toString(std::move(e));
            return;
        }
        // For profiling: KAVREL_PERF_JIT=1 describes each compiled function
        // to perf (record with -k 1, then perf inject --jit).
        if (std::getenv("KAVREL_PERF_JIT"))
            if (auto* perf = llvm::JITEventListener::createPerfJITEventListener())
                if (auto* layer = llvm::dyn_cast<llvm::orc::RTDyldObjectLinkingLayer>(
                        &(*jit)->getObjLinkingLayer()))
                    layer->registerJITEventListener(*perf);
        s.jit = jit->release();
        drop_code_pages(); // LLVM's start-up read much of its library
    });
    return s.jit;
}

// LLVM's library is large, and its code and read-only data read in by a
// compile (34 MB of its pages are touched by its start-up alone) stayed
// resident for the life of the process though the next compile may be
// minutes away. Once the worker's queue is empty they are handed back: they
// stay in the system's file cache, and the next compile maps them again
// (about 2 ms for 10,000 pages). Only pages read from the file are dropped;
// what the loader wrote (relocated data) is not.
void give_back_library_pages() {
#if defined(MADV_PAGEOUT)
    advise_library_pages(MADV_PAGEOUT, false);
#endif
}

} // namespace

namespace {

// What the compiles keep between them, given back once the worker has
// nothing left to do: the target machines (remade in about a millisecond),
// the free memory of every thread's heap and the library's pages.
void release_memory() {
    std::vector<std::unique_ptr<llvm::TargetMachine>> machines[2];
    {
        std::lock_guard<std::mutex> g(jit_state_.machines_mutex);
        for (int level = 0; level < 2; ++level)
            machines[level].swap(jit_state_.idle_machines[level]);
    }
    for (auto& m : machines) m.clear();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    give_back_library_pages();
}

} // namespace

native_detail::machine_lease::machine_lease(int l) : level(l) {
    {
        std::lock_guard<std::mutex> g(jit_state_.machines_mutex);
        auto& idle = jit_state_.idle_machines[level];
        if (!idle.empty()) {
            tm = std::move(idle.back());
            idle.pop_back();
            return;
        }
    }
    auto made = jit_state_.machine[level]->createTargetMachine();
    if (!made) throw std::runtime_error(llvm::toString(made.takeError()));
    tm = std::move(*made);
}

native_detail::machine_lease::~machine_lease() {
    if (!tm) return;
    std::lock_guard<std::mutex> g(jit_state_.machines_mutex);
    jit_state_.idle_machines[level].push_back(std::move(tm));
}

namespace {

// The JIT's hold on a piece of code, the library of its own it lives in:
// removed with the code.
void free_library(void* owner) {
    auto* library = static_cast<llvm::orc::JITDylib*>(owner);
    llvm::consumeError(jit_state_.jit->getExecutionSession().removeJITDylib(*library));
    // The names of the code's functions, interned by the JIT, go too (each
    // compile has names of its own).
    jit_state_.jit->getExecutionSession().getSymbolStringPool()->clearDeadEntries();
}

} // namespace

namespace {

constexpr std::size_t module_ops = 160;
constexpr unsigned max_compile_threads = 8;
// The largest module of a compile on the worker (a module's compile cannot
// be stopped part way: at tier 1 this many instructions take about a tenth
// of a second on one core).
constexpr std::size_t worker_module_ops = 400;
const char* const dropped_text = "the compile was dropped";
const char* const not_cached_text = "the code is not in the cache";

// Whether the compile whose flag is dropped (null: not the worker's) is
// dropped, once the test hook no longer holds it.
bool module_dropped(const std::atomic<bool>* dropped) {
    if (!dropped) return false;
    {
        std::unique_lock<std::mutex> g(hold_mutex);
        if (compiles_held) {
            ++held_compiles;
            hold_changed.notify_all();
            hold_changed.wait(g, [] { return !compiles_held; });
            --held_compiles;
        }
    }
    return *dropped;
}

// How many threads compile a pass of ops instructions at once: modules of
// at least module_ops instructions (each costs the set-up of a compile, about
// 0.7 ms), no more threads than the processor has, at most 8. On the worker
// the run goes on meanwhile: one core is left to it at tier 0 (a few
// milliseconds), at tier 1 half of them, fewer when the machine is busy.
// While a live mode waits, all cores but one, the load notwithstanding (the
// re-runs keep the one). Set by a test, that many modules whatever the size
// (as many as there are parts).
unsigned compile_threads(int level, std::size_t ops, const compile_caller& caller) {
    if (threads_setting > 0) return static_cast<unsigned>(threads_setting.load());
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const bool on_worker = caller.worker;
    unsigned n = !on_worker ? cores : level && !caller.live ? cores / 2 : cores - 1;
    if (on_worker && level && !caller.live) {
        // Only cores the machine leaves free (its load over the last minute).
        double load = 0;
        if (getloadavg(&load, 1) == 1 && load > 0)
            n = std::min(n, cores - std::min(cores, static_cast<unsigned>(load + 0.5)));
    }
    n = std::clamp(n, 1u, max_compile_threads);
    return static_cast<unsigned>(
        std::min<std::size_t>(n, std::max<std::size_t>(1, ops / module_ops)));
}

} // namespace

namespace {

// Adds the compiled modules to the JIT as one piece of code and finds its
// entry (name), the code of a pass or of steps; null after telling log why.
template <typename Log>
native_handle link_modules(llvm::orc::LLJIT& jit, std::vector<module_task>& tasks,
                           const std::string& name, bool steps, Log&& log) {
    for (const module_task& t : tasks)
        if (!t.error.empty()) {
            log(t.error);
            return nullptr;
        }
    std::lock_guard<std::mutex> turn(jit_state_.linking);
    // Each piece of code in a library of its own: the names of its functions
    // are the same from one compile to the next (so are its objects, which
    // the cache keeps), and the engine's functions and values it uses are
    // symbols defined there (see llvm/cache.cpp).
    static std::uint64_t libraries = 0;
    llvm::orc::ExecutionSession& session = jit.getExecutionSession();
    llvm::orc::JITDylib& library =
        session.createBareJITDylib("kavrel_code_" + std::to_string(libraries++));
    native_handle code(new native_code(steps));
    code->owner = &library;
    code->free_owner = free_library;
    library.addToLinkOrder(jit.getMainJITDylib());
    llvm::orc::SymbolMap hosts;
    for (const module_task& t : tasks)
        for (const auto& [host, address] : t.hosts)
            hosts[jit.mangleAndIntern(host)] = llvm::JITEvaluatedSymbol(
                static_cast<llvm::JITTargetAddress>(address), llvm::JITSymbolFlags::Exported);
    if (!hosts.empty())
        if (auto e = library.define(llvm::orc::absoluteSymbols(std::move(hosts)))) {
            log("the native code could not be linked (" + llvm::toString(std::move(e)) + ")");
            return nullptr;
        }
    for (module_task& t : tasks)
        if (auto e = jit.addObjectFile(
                library, std::make_unique<llvm::SmallVectorMemoryBuffer>(std::move(t.object)))) {
            log("the native code could not be added (" + llvm::toString(std::move(e)) + ")");
            return nullptr;
        }
    auto sym = jit.lookup(library, name);
    if (!sym) {
        log("the native code could not be linked (" + llvm::toString(sym.takeError()) + ")");
        return nullptr;
    }
#if LLVM_VERSION_MAJOR >= 15
    code->entry = sym->toPtr<void*>();
#else
    code->entry = reinterpret_cast<void*>(sym->getAddress());
#endif
    return code;
}

// A compile at level 0 or 1 (compile(jit, level, log) does it): null, after
// one log line or with the reason in why, when there is no JIT, the test
// hook fails compiles of the level, or the compile throws.
template <typename Compile>
native_handle compile_code(int level, std::string* why, Compile&& compile) {
    auto log_fallback = [why](const std::string& text) {
        if (why)
            *why = text;
        else
            ::log_fallback(text);
    };
    level = level ? 1 : 0;
    llvm::orc::LLJIT* jit = the_jit();
    if (!jit) {
        log_fallback("no native code generator (" + jit_state_.error + ")");
        return nullptr;
    }
    if (fail_compiles & (1 << level)) {
        log_fallback("the native code could not be compiled (test hook)");
        return nullptr;
    }
    try {
        return compile(*jit, level, log_fallback);
    } catch (const std::exception& e) {
        log_fallback(e.what());
        return nullptr;
    }
}

} // namespace

namespace {

native_handle compile_pass(const native_listing& listing, int level, std::string* why,
                           const compile_caller& caller) {
    return compile_code(level, why, [&](llvm::orc::LLJIT& jit, int level, auto&& log_fallback) {
        const std::string name = code_name("kavrel_pass");
        code_trimmer trimmer(listing.ops.size() <= code_trim_max_ops, code_small_trim_interval);
        // The parts split into modules of about equal size, one thread each.
        const std::vector<std::size_t> sizes = part_sizes(listing, level);
        const unsigned threads = compile_threads(level, listing.ops.size(), caller);
        std::vector<module_task> tasks(1);
        tasks[0].main = true;
        // Two modules a thread: a thread the system holds up does not hold
        // up the pass (on a busy machine 9 x 150 levels compiled 10-20% faster).
        // The threads counted are the most a pass of its size may have, not
        // those at hand (unless a test sets them): a pass is cut into the
        // same modules on a busy machine as on an idle one, and so finds its
        // objects in the cache. On the worker no module is larger than
        // worker_module_ops, so a compile dropped part way ends soon after.
        const std::size_t most_threads =
            threads_setting > 0
                ? threads
                : std::min<std::size_t>(max_compile_threads,
                                        std::max<std::size_t>(1, listing.ops.size() / module_ops));
        std::size_t modules = most_threads > 1 ? 2 * most_threads : 1;
        if (caller.worker)
            modules =
                std::max(modules, (listing.ops.size() + worker_module_ops - 1) / worker_module_ops);
        if (modules > 1) {
            const std::size_t share = std::max(threads_setting > 0 ? std::size_t{1} : module_ops,
                                               (listing.ops.size() + modules - 1) / modules);
            std::size_t filled = 0;
            for (std::size_t k = 0; k < sizes.size(); ++k) {
                if (filled >= share) {
                    tasks.back().end = k;
                    tasks.emplace_back();
                    tasks.back().first = k;
                    filled = 0;
                }
                filled += sizes[k];
            }
        }
        tasks.back().end = sizes.size();
        const llvm::DataLayout layout = jit.getDataLayout();
        std::atomic<std::size_t> next{0};
        const std::atomic<bool>* dropped = caller.dropped;
        // From the cache only: the first module not there ends the search.
        std::atomic<bool> not_cached{false};
        auto one = [&](std::size_t k) {
            tasks[k].cache_only = caller.cache_only;
            if (module_dropped(dropped))
                tasks[k].error = dropped_text;
            else if (caller.cache_only && not_cached)
                tasks[k].error = not_cached_text;
            else
                compile_module(listing, level, name, layout, tasks[k]);
            if (caller.cache_only && !tasks[k].error.empty()) not_cached = true;
        };
        auto work = [&] {
            for (std::size_t k; (k = next++) < tasks.size();) one(k);
        };
        {
            std::vector<std::thread> helpers;
            // Helpers up to want threads in all (this one included).
            auto add_helpers = [&](unsigned want) {
                for (std::size_t k = helpers.size() + 1;
                     k < std::min<std::size_t>(want, tasks.size()); ++k) {
                    try {
                        helpers.emplace_back(work);
                    } catch (const std::system_error&) {
                        break; // no thread to be had: fewer compile the modules
                    }
                }
            };
            add_helpers(threads);
            // A live mode that begins while a worker's compile is under way
            // (Livesweep entered while the passes of a first run compile)
            // gets the threads it allows for the modules left.
            bool grown = caller.live || !caller.worker || !caller.live_now;
            for (std::size_t k; (k = next++) < tasks.size();) {
                one(k);
                if (!grown && caller.live_now->load()) {
                    grown = true;
                    compile_caller live = caller;
                    live.live = true;
                    add_helpers(compile_threads(level, listing.ops.size(), live));
                }
            }
            for (std::thread& t : helpers) t.join();
#if defined(__GLIBC__)
            // The helpers' heaps keep what their compile freed: without
            // handing it back, 400 tier 1 compiles on four threads grew the
            // resident size by 1.5 MB (120 KB with it; one thread: 72 KB).
            if (!helpers.empty()) malloc_trim(0);
#endif
        }
        if (not_cached) {
            log_fallback(not_cached_text);
            return native_handle{};
        }
        if (dropped && *dropped) {
            dropped_compiles.fetch_add(1, std::memory_order_relaxed);
            log_fallback(dropped_text);
            return native_handle{};
        }
        native_handle code = link_modules(jit, tasks, name, false, log_fallback);
        if (code && !why) compiled();
        return code;
    });
}

native_handle compile_steps(const native_listing& dynamic, const native_listing& rates,
                            const native_step_shape& shape, int level, std::string* why,
                            const compile_caller& caller) {
    return compile_code(level, why, [&](llvm::orc::LLJIT& jit, int level, auto&& log_fallback) {
        const std::string name = code_name("kavrel_steps");
        code_trimmer trimmer(true); // the steps of small passes only
        if (module_dropped(caller.dropped)) {
            dropped_compiles.fetch_add(1, std::memory_order_relaxed);
            log_fallback(dropped_text);
            return native_handle{};
        }
        std::vector<module_task> tasks(1);
        compile_steps_module(dynamic, rates, shape, level, name, jit.getDataLayout(), tasks[0]);
        return link_modules(jit, tasks, name, true, log_fallback);
    });
}

const char* start() {
    return the_jit() ? nullptr : jit_state_.error.c_str();
}

const native_backend backend{sizeof(native_backend), start, compile_pass, compile_steps,
                             release_memory};

} // namespace

extern "C" const native_backend* kavrel_native_backend() {
    return &backend;
}
