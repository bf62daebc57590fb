// The compile worker: one thread compiling the passes' jobs in order, and
// the handover of their code to the passes.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/native/compile_internal.h"

using namespace native_detail;

// A job compiles its levels in turn (tier 0 first, when asked); each
// level's code is handed over on its own: the worker fills a slot and then
// marks it ready, the pass takes it once.
struct native_job {
    native_listing listing;
    // For the steps of a program: its rate pass (listing is the dynamic pass).
    std::optional<native_listing> rates;
    native_step_shape shape;
    bool steps = false;      // a failure leaves the passes on their own code: nothing to tell
    std::vector<int> levels; // still to compile, in order
    std::atomic<bool> cancelled{false}, done{false};
    native_handle code[2];           // by level, written by the worker before ready
    std::atomic<bool> ready[2] = {}; // code[level] (or why[level]) is there
    bool taken[2] = {};              // by the pass's thread
    bool handed = false;             // code of a level was taken
    std::string why[2], failed;
    // Tier 1 waits until the pass proves hot (set_native_tier1_when_hot):
    // with hot_wait, the job parks once tier 0 is done (steps at once),
    // listing kept, unless it is hot by then; native_take finds it hot when
    // the pass is still asked for native_hot_after after the job was made,
    // or while a live mode is on. hot_wait is set when the job is made; hot,
    // parked and (while parked) levels change under the worker's lock.
    bool hot_wait = false, hot = false, parked = false;
    std::chrono::steady_clock::time_point made = std::chrono::steady_clock::now();
    bool told_hot = false; // by the pass's thread
    // How many times the pass asked for its code (once a run of the pass),
    // which tells the worker which compiles a run waits on most.
    std::atomic<std::uint64_t> asked{0};
};

namespace {

// KAVREL_NATIVE_TRACE=1: a line on stderr per compile of the worker (its
// size, level, time and the process's peak resident size after it).
bool tracing() {
    static const bool on = [] {
        const char* e = std::getenv("KAVREL_NATIVE_TRACE");
        return e && *e && *e != '0';
    }();
    return on;
}

// A field of /proc/self/status (VmRSS, VmHWM) in MB, or -1.
double status_mb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double mb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) mb = std::atof(line + n) / 1024;
    std::fclose(f);
    return mb;
}

std::atomic<native_compile_hook> compile_hook{nullptr};

// A pass asked for its code less than once in rare_runs times of the most
// asked pass waiting (the initial pass, once a run, against the passes run
// every step) is run rarely: what its compiles gain a re-run is small.
constexpr std::uint64_t rare_runs = 8;

// Which of the queued jobs (none of them parked) the worker compiles next.
std::size_t next_job_index(const std::deque<std::shared_ptr<native_job>>& queue) {
    std::uint64_t most = 0;
    for (const auto& j : queue) most = std::max(most, j->asked.load(std::memory_order_relaxed));
    // Compiled steps carry every step of a run however often they are asked.
    auto rare = [&](const native_job& j) {
        return !j.rates && j.asked.load(std::memory_order_relaxed) * rare_runs < most;
    };
    // Tier 0 of the passes run often, then their tier 1, then the rare
    // passes' compiles in the same order; the order asked among equals.
    for (bool rarely : {false, true})
        for (bool tier0 : {true, false})
            for (std::size_t k = 0; k < queue.size(); ++k)
                if (rare(*queue[k]) == rarely && (!tier0 || queue[k]->levels.front() == 0))
                    return k;
    return 0;
}

// One thread compiling the jobs: every tier 0 before any tier 1 (tier 0
// takes a fraction of the time), except that the compiles of passes run
// rarely come after those of the passes run often (next_job_index). Made on
// first use; at exit it finishes the compile under way and stops.
// Whether the worker exists (made, and not yet destroyed at exit: passes
// kept in statics are dropped after it).
std::atomic<bool> worker_alive{false};

class native_worker {
public:
    native_worker() { worker_alive = true; }
    ~native_worker() {
        worker_alive = false;
        stop();
    }
    // Finishes the compile under way and ends the thread; no other starts.
    void stop() {
        {
            std::lock_guard<std::mutex> g(m_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    void add(std::shared_ptr<native_job> job) {
        std::vector<std::shared_ptr<native_job>> ended;
        {
            std::lock_guard<std::mutex> g(m_);
            queue_.push_back(std::move(job));
            if (!thread_.joinable() && !stop_) thread_ = std::thread([this] { loop(); });
            ended.swap(ended_);
        }
        wake_.notify_all();
    }
    // Takes a dropped job out of the queue (it is freed here, on the thread
    // that asked for it); one under way stops at its next module.
    void drop(const native_job& job) {
        std::shared_ptr<native_job> gone;
        {
            std::lock_guard<std::mutex> g(m_);
            auto same = [&](const auto& j) { return j.get() == &job; };
            if (auto p = std::find_if(parked_.begin(), parked_.end(), same); p != parked_.end()) {
                gone = std::move(*p);
                parked_.erase(p);
                return;
            }
            auto at = std::find_if(queue_.begin(), queue_.end(), same);
            if (at == queue_.end()) return;
            gone = std::move(*at);
            queue_.erase(at);
            if (queue_.empty() && !busy_) idle_.notify_all();
        }
    }
    // A job (or, with job null, every waiting one) is hot: queued for its
    // tier 1 if it waits parked, else it does not park.
    void make_hot(native_job* job) {
        {
            std::lock_guard<std::mutex> g(m_);
            if (job) job->hot = true;
            for (auto at = parked_.begin(); at != parked_.end();) {
                if (job && at->get() != job) {
                    ++at;
                    continue;
                }
                native_job& j = **at;
                j.hot = true;
                j.levels.assign(1, 1);
                j.parked = false;
                queue_.push_back(std::move(*at));
                at = parked_.erase(at);
            }
            if (!queue_.empty() && !thread_.joinable() && !stop_)
                thread_ = std::thread([this] { loop(); });
        }
        wake_.notify_all();
    }
    // A job whose first level waits until it is hot.
    void park(std::shared_ptr<native_job> job) {
        std::lock_guard<std::mutex> g(m_);
        job->parked = true;
        parked_.push_back(std::move(job));
    }
    void wait_idle() {
        std::vector<std::shared_ptr<native_job>> ended;
        std::unique_lock<std::mutex> g(m_);
        idle_.wait(g, [&] { return queue_.empty() && !busy_; });
        ended.swap(ended_);
    }

private:
    void loop() {
        on_worker = true;
        std::unique_lock<std::mutex> g(m_);
        for (;;) {
            wake_.wait(g, [&] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            auto at = queue_.begin() + static_cast<std::ptrdiff_t>(next_job_index(queue_));
            std::shared_ptr<native_job> job = std::move(*at);
            queue_.erase(at);
            busy_ = true;
            g.unlock();
            int level = job->levels.front();
            job->levels.erase(job->levels.begin());
            compile_dropped = &job->cancelled;
            const auto began = std::chrono::steady_clock::now();
            const double before = tracing() ? status_mb("VmRSS:") : 0;
            // A pass whose tier 1 the object cache has whole (a model opened
            // again) links it at once, for less than its tier 0's compile,
            // hot or not: tier 0 is not needed (unless asked for alone).
            if (level == 0 && !job->rates && !job->cancelled &&
                (!job->levels.empty() || job->hot_wait))
                if (native_handle cached = cached_code(job->listing, 1)) {
                    level = 1;
                    job->levels.clear();
                    job->code[1] = std::move(cached);
                }
            if (!job->cancelled && !job->code[level])
                job->code[level] = job->rates
                                       ? native_compile_steps(job->listing, *job->rates, job->shape,
                                                              level, &job->why[level])
                                       : native_compile(job->listing, level, &job->why[level]);
            compile_dropped = nullptr;
            const std::size_t instructions =
                job->listing.ops.size() + (job->rates ? job->rates->ops.size() : 0);
            if (tracing())
                std::fprintf(stderr,
                             "kavrel: compiled %s of %zu instructions at tier %d: %.0f ms%s; "
                             "resident before %.1f MB, peak so far %.1f MB\n",
                             job->rates ? "steps" : "a pass", instructions, level,
                             std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - began)
                                 .count(),
                             job->code[level] ? "" : " (no code)", before, status_mb("VmHWM:"));
            if (auto* hook = compile_hook.load()) hook(instructions, level);
#if defined(__GLIBC__)
            // What the compile freed goes back at once, not only once the
            // queue is empty: the next compile's peak is not on top of it.
            malloc_trim(0);
#endif
            job->ready[level] = true;
            const bool more = !job->levels.empty() && !job->cancelled;
            // Tier 0 done, tier 1 waiting to be hot: parked, or queued at
            // once when it is hot already (decided under the lock that
            // make_hot takes).
            const bool may_park = !more && level == 0 && job->hot_wait && !job->cancelled;
            if (!more && !may_park) {
                job->listing = native_listing{};
                job->rates.reset();
                job->done = true;
            }
            // A job dropped while it compiled frees its code here (its pass
            // no longer reads it). The worker never frees a job: the threads
            // that ask for compiles do (ended_), so a job's last owner is
            // always on one thread.
            if (job->cancelled)
                for (native_handle& code : job->code) code.reset();
            g.lock();
            if (may_park && job->cancelled) {
                job->done = true;
                ended_.push_back(std::move(job));
            } else if (may_park && (job->hot || native_live())) {
                job->levels.assign(1, 1);
                queue_.push_back(std::move(job));
            } else if (may_park) {
                job->parked = true;
                parked_.push_back(std::move(job));
            } else if (more) {
                queue_.push_back(std::move(job));
            } else {
                ended_.push_back(std::move(job));
            }
            if (queue_.empty()) {
                // Nothing more to compile: what the compiles kept goes back
                // (before the worker says it is idle, so a measure after
                // native_wait_idle sees it gone).
                g.unlock();
                release_compile_memory();
                g.lock();
            }
            busy_ = false;
            if (queue_.empty()) idle_.notify_all();
        }
    }
    std::mutex m_;
    std::condition_variable wake_, idle_;
    std::deque<std::shared_ptr<native_job>> queue_;
    std::vector<std::shared_ptr<native_job>> ended_;  // jobs the worker is done with
    std::vector<std::shared_ptr<native_job>> parked_; // waiting to be hot
    bool stop_ = false, busy_ = false;
    std::thread thread_;
};

native_worker& worker() {
    static native_worker w;
    return w;
}

} // namespace

namespace {

std::atomic<bool> tier1_when_hot{false};
std::atomic<std::int64_t> hot_after_ms{native_hot_after.count()};

// Whether a new job's tier 1 waits until its pass is hot.
bool waits_until_hot() {
    return tier1_when_hot && !native_live();
}

} // namespace

void set_native_tier1_when_hot(bool on) {
    tier1_when_hot = on;
}

void set_native_hot_after(std::chrono::milliseconds after) {
    hot_after_ms = after.count();
}

void native_detail::resume_parked_jobs() {
    if (worker_alive) worker().make_hot(nullptr);
}

std::shared_ptr<native_job> native_compile_later(native_listing listing, int level) {
    auto job = std::make_shared<native_job>();
    job->listing = std::move(listing);
    if (level < 0 && job->listing.ops.size() <= native_auto_tier0_max_ops) {
        job->levels.push_back(0);
        job->hot_wait = waits_until_hot();
    }
    if (!job->hot_wait) job->levels.push_back(level == 0 ? 0 : 1);
    load_backend();
    worker().add(job);
    return job;
}

namespace {

// What a step of a listing computes, in instructions: a unit of several
// lanes counts each lane (its loop runs them all).
std::size_t step_work(const native_listing& listing) {
    std::size_t work = listing.ops.size();
    for (const native_wide& w : listing.wides) work += w.lanes > 0 ? w.lanes - 1 : 0;
    return work;
}

} // namespace

std::shared_ptr<native_job> native_compile_steps_later(native_listing dynamic, native_listing rates,
                                                       const native_step_shape& shape) {
    auto job = std::make_shared<native_job>();
    // Steps of many lanes gain nothing from a call fewer per pass, and their
    // one function was the largest compile of a run (the large sample's
    // 100 units of 100 lanes: 0.9 s and the compiles' highest peak): the
    // job ends at once, without code, and the passes run on their own.
    if (step_work(dynamic) + step_work(rates) > native_steps_max_ops) {
        job->steps = true;
        job->done = true;
        return job;
    }
    job->listing = std::move(dynamic);
    job->rates = std::move(rates);
    job->shape = shape;
    job->steps = true;
    load_backend();
    if (waits_until_hot()) {
        job->hot_wait = true;
        worker().park(job);
        return job;
    }
    job->levels.push_back(1);
    worker().add(job);
    return job;
}

bool native_done(const native_job& job) {
    return job.done;
}

native_handle native_take(native_job& job) {
    job.asked.fetch_add(1, std::memory_order_relaxed);
    if (job.hot_wait && !job.told_hot &&
        (native_live() ||
         std::chrono::steady_clock::now() - job.made >= std::chrono::milliseconds(hot_after_ms))) {
        // Still asked for a while after it was made (a long run, a later
        // run of the kept passes), or a live mode waits: tier 1 is worth it.
        job.told_hot = true;
        if (tracing())
            std::fprintf(stderr, "kavrel: a compile job is hot after %.0f ms: its tier 1 follows\n",
                         std::chrono::duration<double, std::milli>(
                             std::chrono::steady_clock::now() - job.made)
                             .count());
        worker().make_hot(&job);
    }
    const bool done = job.done; // every level is ready after this
    for (int level : {1, 0}) {
        if (!job.ready[level] || job.taken[level]) continue;
        job.taken[level] = true;
        if (!job.code[level]) {
            job.failed = job.why[level];
            continue;
        }
        job.taken[0] = job.handed = true; // never back from tier 1 to tier 0
        return std::move(job.code[level]);
    }
    // A failure is told once the pass has no code and will get none (tier 1
    // failing after tier 0 leaves the pass on tier 0, not on the loop).
    if (done && !job.handed && !job.failed.empty() && !job.steps) {
        log_fallback(job.failed);
        job.failed.clear();
    }
    return nullptr;
}

void native_cancel(native_job& job) {
    job.cancelled = true;
    if (worker_alive) worker().drop(job);
}

void native_detail::stop_worker() {
    if (worker_alive) worker().stop();
}

void native_wait_idle() {
    worker().wait_idle();
}

void set_native_compile_hook(native_compile_hook hook) {
    compile_hook = hook;
}
