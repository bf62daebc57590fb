// Gives every test process a temporary folder of its own, so test programs run
// in parallel by CTest never share a file name (testing::TempDir() returns it),
// and its cache folder ($XDG_CACHE_HOME) in it, the compiled-code cache off
// unless the environment chose a folder.
// The folder and what the tests left in it are removed at exit, by the process
// that made it only: a death-test child that calls exit() must not remove the
// folder its parent goes on using.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct process_temp_dir {
    std::string path;
    pid_t owner = getpid();
    process_temp_dir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kavrel-test-XXXXXX";
        if (char* made = mkdtemp(pattern.data())) {
            path = made;
            setenv("TEST_TMPDIR", path.c_str(), 1);
            // What the program keeps between sessions (compiled code) goes
            // there too, not into the user's own cache.
            setenv("XDG_CACHE_HOME", (path + "/cache").c_str(), 1);
            // And none of it unless a test asks: a test that counts or fails
            // compiles must see them happen, not find another test's code.
            // (The engine suites' runs choose a folder of their own.)
            setenv("KAVREL_NATIVE_CACHE", "0", 0);
        }
    }
    ~process_temp_dir() {
        if (path.empty() || getpid() != owner || std::getenv("KAVREL_KEEP_TEST_FILES")) return;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

process_temp_dir the_dir;

} // namespace
