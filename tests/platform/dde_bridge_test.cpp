// The DDE bridge's frames and its per-user folder: frames read back as
// written, arrive in pieces, and every frame over the limits or out of shape
// is refused with its reason; the folder is made private and one that is not
// private is refused.
#include "platform/dde_bridge.h"

#include "platform/messages.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using dde_wire::frame;
using dde_wire::parsed;

parsed decode_all(const std::string& bytes, frame* f, std::string* why) {
    std::size_t used = 0;
    const parsed r = dde_wire::decode(bytes.data(), bytes.size(), f, &used, why);
    if (r == parsed::ok) {
        EXPECT_EQ(used, bytes.size());
    }
    return r;
}

TEST(DdeWire, FramesReadBackAsWrittenAndArriveInPieces) {
    frame poke{WM_DDE_POKE, 0x2000, 1, 0, "R1C1", "", std::string("12\0\t3", 5)};
    const std::string bytes = dde_wire::encode(poke);
    // Every cut short of the whole frame waits for more.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        frame f;
        std::size_t used = 0;
        std::string why;
        EXPECT_EQ(dde_wire::decode(bytes.data(), n, &f, &used, &why), parsed::need_more) << n;
    }
    frame back;
    std::string why;
    ASSERT_EQ(decode_all(bytes, &back, &why), parsed::ok) << why;
    EXPECT_EQ(back.message, WM_DDE_POKE);
    EXPECT_EQ(back.word1, 0x2000);
    EXPECT_EQ(back.word2, 1);
    EXPECT_EQ(back.name1, "R1C1");
    EXPECT_EQ(back.data, poke.data);

    // Two frames back to back: the first is read alone.
    frame init{WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "System", {}};
    const std::string two = dde_wire::encode(init) + bytes;
    std::size_t used = 0;
    ASSERT_EQ(dde_wire::decode(two.data(), two.size(), &back, &used, &why), parsed::ok);
    EXPECT_EQ(used, two.size() - bytes.size());
    EXPECT_EQ(back.name2, "System");

    // Names of exactly 255 bytes and data of exactly 16 MiB are within the limits.
    frame big{
        WM_DDE_DATA, 0, 1, 0, std::string(255, 'n'), {}, std::string(dde_wire::max_data, 'd')};
    ASSERT_EQ(decode_all(dde_wire::encode(big), &back, &why), parsed::ok) << why;
    EXPECT_EQ(back.name1.size(), 255u);
    EXPECT_EQ(back.data.size(), dde_wire::max_data);
}

// A frame built by hand: the length is counted unless given.
std::string raw(unsigned message, const std::string& names, const std::string& data_len,
                const std::string& data, long length = -1) {
    std::string body;
    body += static_cast<char>(message & 0xFF);
    body += static_cast<char>(message >> 8);
    body += std::string(6, '\0');
    body += names + data_len + data;
    const auto n = static_cast<std::uint32_t>(length < 0 ? static_cast<long>(body.size()) : length);
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out + body;
}
std::string le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

TEST(DdeWire, MalformedFramesAreRefusedWithTheirReason) {
    const std::string two_names = std::string("item\0\0", 6);
    struct bad_case {
        std::string bytes;
        const char* reason;
    } cases[] = {
        // Over the limit: refused from its first four bytes, before any body arrives.
        {le32(static_cast<std::uint32_t>(dde_wire::max_body + 1)), "over the limit"},
        {le32(0xFFFFFFFFu), "over the limit"},
        {le32(3) + "abc", "shorter than its header"},
        // An unknown message is known from its first six bytes.
        {le32(100) + std::string("\x10\x00", 2), "unknown message"},
        {raw(WM_DDE_LAST + 1, two_names, le32(0), ""), "unknown message"},
        {raw(WM_DDE_EXECUTE, std::string(256, 'x') + std::string(2, '\0'), le32(0), ""),
         "longer than 255"},
        {raw(WM_DDE_EXECUTE, "abcdefghij", "", ""), "without its ending zero"},
        {raw(WM_DDE_EXECUTE, two_names, "", ""), "cut before its data length"},
        {raw(WM_DDE_EXECUTE, two_names, le32(5), "abc"), "does not fit"},
        {raw(WM_DDE_EXECUTE, two_names, le32(1), "abc"), "does not fit"},
        {raw(WM_DDE_EXECUTE, two_names, le32(0xFFFFFFF0u), "abc"), "does not fit"},
    };
    for (const auto& c : cases) {
        frame f;
        std::size_t used = 0;
        std::string why;
        EXPECT_EQ(dde_wire::decode(c.bytes.data(), c.bytes.size(), &f, &used, &why), parsed::bad)
            << c.reason;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

class DdeFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_old = old != nullptr;
        if (old) old_value = old;
        base = std::filesystem::path(::testing::TempDir()) / "dde-folder";
        std::filesystem::remove_all(base);
        std::filesystem::create_directories(base);
        setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    }
    void TearDown() override {
        if (had_old)
            setenv("XDG_RUNTIME_DIR", old_value.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(base);
    }
    std::filesystem::path base;
    bool had_old = false;
    std::string old_value;
};

TEST_F(DdeFolder, MadePrivateAndRefusedWhenNot) {
    std::string why;
    const std::string folder = dde_bridge_folder(&why);
    ASSERT_EQ(folder, (base / "kavrel").string()) << why;
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(dde_bridge_socket_path("KAVREL", &why), folder + "/kavrel");
    EXPECT_EQ(dde_bridge_socket_path("../x", &why), "");
    EXPECT_EQ(dde_bridge_socket_path("", &why), "");

    // Others may enter: refused, not repaired behind the user's back.
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(dde_bridge_folder(&why), "");
    EXPECT_NE(why.find("open to other users"), std::string::npos) << why;
    chmod(folder.c_str(), 0700);
    if (getuid() == 0) { // only the administrator can give a folder away
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(dde_bridge_folder(&why), "");
        EXPECT_NE(why.find("belongs to another user"), std::string::npos) << why;
    }
    // A link or a file in its place: refused.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory_symlink(base, folder);
    EXPECT_EQ(dde_bridge_folder(&why), "");
    EXPECT_NE(why.find("is not a folder"), std::string::npos) << why;

    // Without the runtime folder: one named by the user id under the temporary folder.
    unsetenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    const std::string saved_tmp = tmp ? tmp : "";
    setenv("TMPDIR", base.c_str(), 1);
    EXPECT_EQ(dde_bridge_folder(&why), (base / ("kavrel-" + std::to_string(getuid()))).string())
        << why;
    if (tmp)
        setenv("TMPDIR", saved_tmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// A socket's path holds at most 107 bytes and its ending zero.
TEST_F(DdeFolder, SocketPathsFitTheAddressWithTheirZero) {
    // A runtime folder deep enough that the longest name fits in 64 bytes:
    // "<runtime>/kavrel/" takes 60 bytes, leaving 47 for the name.
    const std::size_t depth = 60 - std::string("/kavrel/").size();
    ASSERT_LT(base.string().size() + 2, depth) << "the temporary folder is too deep";
    const std::filesystem::path deep = base / std::string(depth - base.string().size() - 1, 'd');
    std::filesystem::create_directories(deep);
    setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    std::string why;
    const std::string folder = dde_bridge_folder(&why);
    ASSERT_EQ(folder.size() + 1, 60u) << why;
    const std::size_t room = sizeof(sockaddr_un{}.sun_path); // 108
    const std::size_t longest = room - 1 - 60;               // a path of 107 bytes
    EXPECT_EQ(dde_bridge_socket_path(std::string(longest, 'a').c_str(), &why).size(), room - 1)
        << why;
    EXPECT_EQ(dde_bridge_socket_path(std::string(longest + 1, 'a').c_str(), &why), "");
    EXPECT_NE(why.find("too long"), std::string::npos) << why;
}
} // namespace
