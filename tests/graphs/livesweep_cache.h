// Livesweep as the graphs see it through the value cache, for the tests of
// graphs that follow its re-runs: the first selected run is the one re-run,
// and a finished re-run has left its points in the cache.
#pragma once

#include <gtest/gtest.h>

#include "foundation/memory.h"
#include "runs/cache.h"
#include "tools/output.h"

// Livesweep on for the life of the object (or from start), with `points`
// points of each re-run in the cache; the cache is as outside Livesweep again
// when it ends (stop, or the object goes).
class livesweep_session {
public:
    livesweep_session() = default;
    explicit livesweep_session(int points) { start(points); }
    ~livesweep_session() { stop(); }
    livesweep_session(const livesweep_session&) = delete;
    livesweep_session& operator=(const livesweep_session&) = delete;

    void start(int points) {
        set_cache_livesweep(true);
        reset_value_cache(0, 0, 0);
        set_cache_points_counter(points);
    }
    void stop() {
        set_cache_livesweep(false);
        reset_value_cache(0, 1, 0);
    }
};

// The update a re-run's end calls on an output window's record; null when
// the record has none.
inline void (*live_update_of(handle rec))(handle) {
    auto* o = static_cast<output_record*>(lock_handle(rec));
    void (*live)(handle) = o ? o->live_update : nullptr;
    unlock_handle(rec);
    return live;
}

// Calls that update, as a re-run's end does; a record without one fails.
inline void update_live(handle rec) {
    void (*live)(handle) = live_update_of(rec);
    ASSERT_NE(live, nullptr);
    live(rec);
}
