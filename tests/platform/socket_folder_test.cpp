// The DDE bridge's per-user folder is refused whenever any permission bit of
// the group or of others is set, whichever of them it is: a check of one
// class of users alone, or of some bits, lets a folder through that another
// user can list, enter or write.
#include "platform/dde_bridge.h"

#include "tests/common/env_override.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(SocketFolder, EveryGroupAndOtherPermissionBitIsRefused) {
    std::string tmpl = ::testing::TempDir() + "socket-folder-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    const std::filesystem::path base = buf.data();
    env_override env;
    env.set("XDG_RUNTIME_DIR", base.c_str());
    std::string why;
    const std::string folder = dde_bridge_folder(&why);
    ASSERT_EQ(folder, (base / "kavrel").string()) << why;

    // Modes that differ in their group bits, with the others' bits clear,
    // and the other way round; each bit alone and some together.
    const mode_t refused[] = {0710, 0720, 0740, 0750, 0760, 0770, 0701, 0702,
                              0704, 0705, 0707, 0711, 0744, 0755, 0777};
    for (mode_t mode : refused) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
        SCOPED_TRACE(octal);
        ASSERT_EQ(chmod(folder.c_str(), mode), 0);
        why.clear();
        EXPECT_EQ(dde_bridge_folder(&why), "");
        EXPECT_NE(why.find("open to other users"), std::string::npos) << why;
    }
    // The owner's own bits alone: accepted, and left as they were.
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(dde_bridge_folder(&why), folder) << why;
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
}

} // namespace
