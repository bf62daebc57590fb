// What the server hands a client that asks for the item "FileOpen": the
// outcome as a text ended by its zero, as every text a client reads in that
// format is.
#include "platform/clip.h"
#include "tests/datalinks/dde_server_fixture.h"

namespace {

TEST_F(DdeServer, TheFileOpenItemIsATextEndedByItsZero) {
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    const std::string population = sample("population.kmf");
    ASSERT_EQ(execute(server, "[FileOpen(\"" + population + "\")]"), 0x8001);
    inbox.clear();
    PostMessage(server, WM_DDE_REQUEST, reinterpret_cast<WPARAM>(client),
                PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("FileOpen")));
    drain();
    ASSERT_EQ(inbox.size(), 1u);
    ASSERT_EQ(inbox[0].message, static_cast<UINT>(WM_DDE_DATA));
    HGLOBAL data = reinterpret_cast<HGLOBAL>(inbox[0].lo);
    dde_block b;
    ASSERT_TRUE(read_dde_data(data, &b));
    EXPECT_EQ(b.format, CF_TEXT);
    const std::string text = "1 " + population;
    ASSERT_GT(b.value.size(), text.size());
    EXPECT_EQ(b.value.substr(0, text.size()), text);
    EXPECT_EQ(b.value[text.size()], '\0');
    // Read as a C text, as a client does.
    EXPECT_EQ(std::string(b.value.c_str()), text);
    if (b.release) GlobalFree(data);
    if (inbox[0].hi) GlobalDeleteAtom(static_cast<ATOM>(inbox[0].hi));
    expect_baseline();
}

} // namespace
