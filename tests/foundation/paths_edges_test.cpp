// Folders at the edge of the tree: a model file named in the root folder
// makes the root the current folder, and a settings folder given with
// trailing slashes is taken without them (the root staying "/").
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "foundation/ini.h"
#include "foundation/paths.h"

namespace {

TEST(PathEdges, AFileInTheRootFolderMakesTheRootCurrent) {
    const std::filesystem::path before = std::filesystem::current_path();
    const int done = change_dir("/no-such-model-here.kmf");
    const std::filesystem::path now = std::filesystem::current_path();
    std::filesystem::current_path(before);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(now, std::filesystem::path("/"));
}

TEST(PathEdges, TheSettingsFolderLosesTrailingSlashesButTheRootStays) {
    set_ini_directory("/tmp/some/where///");
    EXPECT_EQ(ini_directory(), "/tmp/some/where");
    set_ini_directory("/");
    EXPECT_EQ(ini_directory(), "/");
    set_ini_directory("///");
    EXPECT_EQ(ini_directory(), "/");
    set_ini_directory(nullptr);
}

} // namespace
