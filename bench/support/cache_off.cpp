// Every benchmark compiles from scratch unless told otherwise: a cache of
// compiled code left by an earlier run (or the user's own) would time a
// read of it instead. KAVREL_NATIVE_CACHE set for the run is kept: two
// processes given one folder measure a cache filled by the first.
#include <cstdlib>

namespace {

const bool cache_chosen = [] {
    if (!std::getenv("KAVREL_NATIVE_CACHE")) setenv("KAVREL_NATIVE_CACHE", "0", 1);
    return true;
}();

} // namespace
