// What a poke hands the server: the text with its ending zero, as every text
// in that format is, and the item it names; the server's acknowledgement
// frees the block.
#include <cstring>
#include <string>

#include "platform/global.h"
#include "tests/datalinks/links_fixture.h"

namespace {

// A server window of the test's own that answers the initiate for
// ("Poked", "Any") and keeps what each poke brought.
struct poke_server {
    HWND window = nullptr;
    std::string item, value;
    bool readable = false;
    int pokes = 0, terminates = 0;
};
poke_server* the_server = nullptr;

LRESULT poke_server_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    poke_server* s = the_server;
    if (!s || s->window != w) return DefWindowProc(w, m, wp, lp);
    const HWND client = reinterpret_cast<HWND>(wp);
    switch (m) {
    case WM_DDE_INITIATE: {
        char name[64] = {};
        GlobalGetAtomNameA(static_cast<ATOM>(lp & 0xFFFF), name, sizeof name);
        if (std::strcmp(name, "Poked") != 0) return 0;
        const ATOM a = GlobalAddAtomA("Poked"), t = GlobalAddAtomA("Any");
        SendMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w),
                    static_cast<LPARAM>(a | (static_cast<LPARAM>(t) << 16)));
        GlobalDeleteAtom(a);
        GlobalDeleteAtom(t);
        return 0;
    }
    case WM_DDE_POKE: {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_POKE, lp, &lo, &hi);
        FreeDDElParam(WM_DDE_POKE, lp);
        ++s->pokes;
        char name[64] = {};
        GlobalGetAtomNameA(static_cast<ATOM>(hi), name, sizeof name);
        s->item = name;
        dde_block b;
        s->readable = read_dde_poke(reinterpret_cast<HGLOBAL>(lo), &b);
        s->value = b.value;
        if (s->readable && b.release) GlobalFree(reinterpret_cast<HGLOBAL>(lo));
        PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w),
                    PackDDElParam(WM_DDE_ACK, 0x8000, hi));
        return 0;
    }
    case WM_DDE_TERMINATE:
        ++s->terminates;
        PostMessage(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(w), 0);
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

class ClientPokes : public LinksTest {
protected:
    void close_windows() override {
        LinksTest::close_windows();
        if (server_.window) DestroyWindow(server_.window);
        the_server = nullptr;
    }
    poke_server server_;
};

TEST_F(ClientPokes, APokedTextEndsWithItsZero) {
    server_.window = make_test_window("Kavrel_test_pokeserver", poke_server_proc, WS_POPUP);
    the_server = &server_;
    const int ch = kdde_initiate("Poked", "Any");
    ASSERT_GE(ch, 0);
    EXPECT_EQ(kdde_poke(ch, "R2C3", "5\t6\r\n7\t8\r\n"), 1);
    test_driver::run_until_idle();
    ASSERT_EQ(server_.pokes, 1);
    ASSERT_TRUE(server_.readable);
    EXPECT_EQ(server_.item, "R2C3");
    EXPECT_EQ(server_.value, std::string("5\t6\r\n7\t8\r\n", 11));
    kdde_terminate(ch);
    test_driver::run_until_idle();
}

} // namespace
