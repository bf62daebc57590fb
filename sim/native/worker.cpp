// The compile worker: one thread compiling the passes' jobs in order, and
// the handover of their code to the passes.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
};

namespace {

// One thread compiling the jobs in order, every job's tier 0 before any
// tier 1 (tier 0 takes a fraction of the time). Made on first use; at exit
// it finishes the compile under way and stops.
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
            auto at = std::find_if(queue_.begin(), queue_.end(),
                                   [&](const auto& j) { return j.get() == &job; });
            if (at == queue_.end()) return;
            gone = std::move(*at);
            queue_.erase(at);
            if (queue_.empty() && !busy_) idle_.notify_all();
        }
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
            auto at = std::find_if(queue_.begin(), queue_.end(),
                                   [](const auto& j) { return j->levels.front() == 0; });
            if (at == queue_.end()) at = queue_.begin();
            std::shared_ptr<native_job> job = std::move(*at);
            queue_.erase(at);
            busy_ = true;
            g.unlock();
            const int level = job->levels.front();
            job->levels.erase(job->levels.begin());
            compile_dropped = &job->cancelled;
            if (!job->cancelled)
                job->code[level] = job->rates
                                       ? native_compile_steps(job->listing, *job->rates, job->shape,
                                                              level, &job->why[level])
                                       : native_compile(job->listing, level, &job->why[level]);
            compile_dropped = nullptr;
#if defined(__GLIBC__)
            // What the compile freed goes back at once, not only once the
            // queue is empty: the next compile's peak is not on top of it.
            malloc_trim(0);
#endif
            job->ready[level] = true;
            const bool more = !job->levels.empty() && !job->cancelled;
            if (!more) {
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
            if (more)
                queue_.push_back(std::move(job));
            else
                ended_.push_back(std::move(job));
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
    std::vector<std::shared_ptr<native_job>> ended_; // jobs the worker is done with
    bool stop_ = false, busy_ = false;
    std::thread thread_;
};

native_worker& worker() {
    static native_worker w;
    return w;
}

} // namespace

std::shared_ptr<native_job> native_compile_later(native_listing listing, int level) {
    auto job = std::make_shared<native_job>();
    job->listing = std::move(listing);
    if (level < 0 && job->listing.ops.size() <= native_auto_tier0_max_ops) job->levels.push_back(0);
    job->levels.push_back(level == 0 ? 0 : 1);
    load_backend();
    worker().add(job);
    return job;
}

std::shared_ptr<native_job> native_compile_steps_later(native_listing dynamic, native_listing rates,
                                                       const native_step_shape& shape) {
    auto job = std::make_shared<native_job>();
    job->listing = std::move(dynamic);
    job->rates = std::move(rates);
    job->shape = shape;
    job->steps = true;
    job->levels.push_back(1);
    load_backend();
    worker().add(job);
    return job;
}

bool native_done(const native_job& job) {
    return job.done;
}

native_handle native_take(native_job& job) {
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
