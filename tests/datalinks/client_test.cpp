// The DDE client against the spreadsheet stand-in and against test servers
// that misbehave: one channel per service and topic, waits on the manual
// clock, items answered out of order, table answers, executes matched to
// their own memory, extra initiate answers ended, data asking for an
// acknowledgement acknowledged, quitting only when forced.
#include "tests/datalinks/links_fixture.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace td = test_driver;

namespace {

// A server of the service "Mute" (any topic) for the cases the stand-in does
// not produce: it answers requests never (silent), or with data asking for an
// acknowledgement, and counts the messages it gets.
struct test_server {
    enum { silent, ack_req } mode = silent;
    int terminates = 0;
    int acks = 0;
    WORD ack_status = 0;
    HWND window = nullptr;
};
std::vector<test_server*> servers;

LRESULT test_server_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    test_server* s = nullptr;
    for (test_server* x : servers)
        if (x->window == w) s = x;
    if (!s) return DefWindowProc(w, m, wp, lp);
    const HWND client = reinterpret_cast<HWND>(wp);
    switch (m) {
    case WM_DDE_INITIATE: {
        char name[64];
        GlobalGetAtomNameA(static_cast<ATOM>(lp & 0xFFFF), name, sizeof name);
        if (std::strcmp(name, "Mute") != 0) return 0;
        const ATOM a = GlobalAddAtomA("Mute"), t = GlobalAddAtomA("Any");
        SendMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w),
                    static_cast<LPARAM>(a | (static_cast<LPARAM>(t) << 16)));
        GlobalDeleteAtom(a);
        GlobalDeleteAtom(t);
        return 0;
    }
    case WM_DDE_REQUEST: {
        const ATOM item = static_cast<ATOM>((lp >> 16) & 0xFFFF);
        if (s->mode == test_server::silent) {
            GlobalDeleteAtom(item);
            return 0;
        }
        dde_block b;
        b.release = true;
        b.ack_req = true;
        b.format = CF_TEXT;
        b.value = std::string("7\t8", 4);
        HGLOBAL data = make_dde_data(b);
        PostMessage(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(w),
                    PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(data), item));
        return 0;
    }
    case WM_DDE_EXECUTE: // swallowed without an answer
        GlobalFree(reinterpret_cast<HGLOBAL>(lp));
        return 0;
    case WM_DDE_ACK: {
        UINT_PTR lo = 0, hi = 0;
        UnpackDDElParam(WM_DDE_ACK, lp, &lo, &hi);
        ++s->acks;
        s->ack_status = static_cast<WORD>(lo);
        GlobalDeleteAtom(static_cast<ATOM>(hi));
        FreeDDElParam(WM_DDE_ACK, lp);
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

class Client : public LinksTest {
protected:
    test_server* add_server() {
        auto* s = new test_server;
        s->window = make_test_window("Kavrel_test_ddeserver", test_server_proc, WS_POPUP);
        servers.push_back(s);
        return s;
    }
    void close_windows() override {
        LinksTest::close_windows();
        std::vector<test_server*> gone;
        gone.swap(servers); // their procedure no longer finds them
        for (test_server* s : gone) {
            DestroyWindow(s->window);
            delete s;
        }
    }
};

TEST_F(Client, OneChannelPerServiceAndTopicAndNoneWithoutAServer) {
    EXPECT_EQ(kdde_initiate("Excel", "System"), -1); // not running
    EXPECT_EQ(dde_client::channel_count(), 0);       // the slot went with the failure
    ASSERT_TRUE(standin::start_service("Excel", ""));
    const int a = kdde_initiate("Excel", "System");
    ASSERT_GE(a, 0);
    EXPECT_EQ(kdde_initiate("Excel", "System"), a);
    // Service and topic are compared as given.
    const int b = kdde_initiate("Excel", "system");
    ASSERT_GE(b, 0);
    EXPECT_NE(b, a);
    EXPECT_EQ(dde_client::channel_count(), 2);
    EXPECT_EQ(kdde_terminate(a), 1);
    // A free slot is used again before the table grows.
    EXPECT_EQ(kdde_initiate("Excel", "System"), a);
    EXPECT_EQ(kdde_terminate(7), 0);
    EXPECT_EQ(kdde_execute(7, "[Quit()]"), 0);
    EXPECT_EQ(dde_close_all(), 2);
    EXPECT_EQ(dde_client::channel_count(), 0);
}

TEST_F(Client, RequestsAnsweredAsTextTablesAndOutOfOrder) {
    ASSERT_TRUE(standin::start_service("Excel", xlsx_));
    const int ch = kdde_initiate("Excel", (dir_.path + "/[prices.xlsx]prices").c_str());
    ASSERT_GE(ch, 0);
    const char* items[] = {"R1C2:R1C4", "R3C3", "nonsense"};
    const char* results[3] = {"x", "x", "x"};
    // The third gets a negative acknowledgement, never data: the wait times
    // out with the other two in, whatever order they came in.
    const std::uint64_t t0 = td::now();
    EXPECT_EQ(kdde_vrequest(ch, items, results, 3, 800), 0);
    EXPECT_GE(td::now() - t0, 800u);
    ASSERT_NE(results[0], nullptr);
    ASSERT_NE(results[1], nullptr);
    EXPECT_EQ(results[2], nullptr);
    EXPECT_STREQ(results[0], "0\t1\t2\r\n");
    EXPECT_STREQ(results[1], "21.5\r\n");
    EXPECT_EQ(kdde_vrequest(ch, items, results, 2, 800), 1);
    // The same item twice gets both answers.
    const char* twice[] = {"R3C3", "R3C3"};
    EXPECT_EQ(kdde_vrequest(ch, twice, results, 2, 800), 1);
    EXPECT_STREQ(results[1], "21.5\r\n");
    // A name no atom holds is not sent as "any service".
    EXPECT_EQ(kdde_initiate(std::string(300, 'E').c_str(), "System"), -1);
    EXPECT_EQ(kdde_initiate("Excel", std::string(300, 'T').c_str()), -1);

    // The tables: "XlTable" and "WK1" blocks read into the same matrix.
    auto xl = dde_client::request_table(ch, "R2C2:R3C6", 1, false, 1500);
    ASSERT_TRUE(xl);
    EXPECT_EQ(xl->outer, 2);
    EXPECT_EQ(xl->inner, 5);
    EXPECT_EQ(xl->values[5], 20.0f);
    EXPECT_EQ(xl->values[6], 21.5f);
    EXPECT_EQ(xl->first_bad_row, -1);
    auto named = dde_client::request_table(ch, "Series", 1, false, 1500); // a defined name
    ASSERT_TRUE(named);
    EXPECT_EQ(named->values, xl->values);
    auto tr = dde_client::request_table(ch, "R2C2:R3C6", 1, true, 1500);
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->outer, 5);
    EXPECT_EQ(tr->values[1], 20.0f); // row 1, column 0
    // Text and blank cells: no number, the first such position kept.
    auto mixed = dde_client::request_table(ch, "R7C1:R8C3", 1, false, 1500);
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->first_bad_row, 0);
    EXPECT_EQ(mixed->first_bad_column, 0);
    EXPECT_EQ(mixed->values[2], 1.0f); // TRUE

    ASSERT_TRUE(standin::start_service("123w", ""));
    const int lotus = kdde_initiate("123w", xlsx_.c_str());
    ASSERT_GE(lotus, 0);
    // Blank cells keep the block's shape: row 4 is empty.
    auto wk = dde_client::request_table(lotus, "prices:B3..C5", 2, false, 1500);
    ASSERT_TRUE(wk);
    EXPECT_EQ(wk->outer, 3);
    EXPECT_EQ(wk->inner, 2);
    EXPECT_EQ(wk->values[0], 20.0f);
    EXPECT_EQ(wk->values[4], 1.0f);
    EXPECT_EQ(wk->first_bad_row, 1);
    kdde_terminate(lotus);
    kdde_terminate(ch);
}

TEST_F(Client, ItemsOutsideTheSheetAreRefusedAndTheOptionsLettersRead) {
    ASSERT_TRUE(standin::start_service("Excel", xlsx_));
    const int ch = kdde_initiate("Excel", (dir_.path + "/[prices.xlsx]prices").c_str());
    ASSERT_GE(ch, 0);
    for (const char* item :
         {"R99999999999C1", "R1C16385", "R0C1", "R1C", "RC1", "R1C1:", "R1C1x"}) {
        SCOPED_TRACE(item);
        EXPECT_FALSE(dde_client::request_table(ch, item, 1, false, 200));
    }
    // Letters of another language, as the options give them.
    opts.r1c1_row = 'Z';
    opts.r1c1_col = 'S';
    auto m = dde_client::request_table(ch, "z3s3", 1, false, 200);
    opts.r1c1_row = 'R';
    opts.r1c1_col = 'C';
    ASSERT_TRUE(m);
    EXPECT_EQ(m->values[0], 21.5f);
    kdde_terminate(ch);
}

TEST_F(Client, AServerThatNeverAnswersCostsTheTimeOutOnly) {
    test_server* s = add_server();
    const int ch = kdde_initiate("Mute", "Any");
    ASSERT_GE(ch, 0);
    const char* result = "x";
    const std::uint64_t t0 = td::now();
    EXPECT_EQ(kdde_request(ch, "A1", &result, 1500), 0);
    EXPECT_EQ(result, nullptr);
    EXPECT_GE(td::now() - t0, 1500u);
    EXPECT_EQ(kdde_wait_execute(ch, "[Open(\"x\")]", 4500), 0);
    EXPECT_EQ(dde_client::last_execute_ack(), -1);
    EXPECT_EQ(kdde_terminate(ch), 1);
    td::run_until_idle();
    EXPECT_EQ(s->terminates, 1);
}

TEST_F(Client, ExecuteAnswersFreeTheirCommandAndTellARefusal) {
    ASSERT_TRUE(standin::start_service("Excel", ""));
    const int ch = kdde_initiate("Excel", "System");
    ASSERT_GE(ch, 0);
    // An item atom alive during the executes: answers must not delete it.
    const ATOM keep = GlobalAddAtomA("R1C1");
    const std::size_t blocks = global_live_blocks();
    // Refused (no such file): the exported result is 1 for any answer.
    EXPECT_EQ(kdde_wait_execute(ch, "[Open(\"/nowhere/x.xlsx\")]", 4500), 1);
    EXPECT_EQ(dde_client::last_execute_ack(), 0);
    EXPECT_EQ(global_live_blocks(), blocks) << "the command memory was not freed";
    const std::string open = "[Open(\"" + xlsx_ + "\")]";
    EXPECT_EQ(kdde_wait_execute(ch, open.c_str(), 4500), 1);
    EXPECT_EQ(dde_client::last_execute_ack(), 1);
    EXPECT_TRUE(standin::is_open(xlsx_));
    // Unwaited commands are freed when their answers come.
    EXPECT_EQ(kdde_execute(ch, open.c_str()), 1);
    td::run_until_idle();
    EXPECT_EQ(global_live_blocks(), blocks);
    // Saves: never over the workbook read (refused, with a message), a new
    // file otherwise.
    const std::string over = "[Save.As(\"" + xlsx_ + "\")]";
    EXPECT_EQ(kdde_wait_execute(ch, over.c_str(), 4500), 1);
    EXPECT_EQ(dde_client::last_execute_ack(), 0);
    EXPECT_NE(messages().find("was not saved as " + xlsx_), std::string::npos);
    const std::string copy = dir_ / "copy.xlsx";
    const std::string save = "[SAVE.AS(\"" + copy + "\")]";
    EXPECT_EQ(kdde_wait_execute(ch, save.c_str(), 4500), 1);
    EXPECT_EQ(dde_client::last_execute_ack(), 1);
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(global_live_blocks(), blocks);
    char name[16];
    EXPECT_EQ(GlobalGetAtomNameA(keep, name, sizeof name), 4u);
    GlobalDeleteAtom(keep);
    kdde_terminate(ch);
}

TEST_F(Client, ExtraInitiateAnswersAreEndedAndReported) {
    test_server* a = add_server();
    test_server* b = add_server();
    const int ch = kdde_initiate("Mute", "Any");
    ASSERT_GE(ch, 0);
    td::run_until_idle();
    const HWND partner = dde_client::channel_partner(ch);
    test_server* extra = partner == a->window ? b : a;
    EXPECT_EQ(extra->terminates, 1) << "the second conversation was left open";
    EXPECT_EQ((partner == a->window ? a : b)->terminates, 0);
    EXPECT_NE(messages().find("Multiple response on DDE connection(Mute,Any).  First used"),
              std::string::npos);
    // Its answer to the terminate does not end the channel in use.
    EXPECT_EQ(dde_client::channel_partner(ch), partner);
    kdde_terminate(ch);
    // The quiet flag of a connection attempt keeps the report back.
    clear_message_list();
    dde_client::set_quiet(true);
    const int again = kdde_initiate("Mute", "Any");
    dde_client::set_quiet(false);
    EXPECT_EQ(messages(), "");
    kdde_terminate(again);
}

TEST_F(Client, DataAskingForAnAcknowledgementGetsOne) {
    test_server* s = add_server();
    s->mode = test_server::ack_req;
    const int ch = kdde_initiate("Mute", "Any");
    ASSERT_GE(ch, 0);
    const char* result = nullptr;
    ASSERT_EQ(kdde_request(ch, "A1", &result, 1500), 1);
    EXPECT_STREQ(result, "7\t8");
    td::run_until_idle();
    EXPECT_EQ(s->acks, 1);
    EXPECT_TRUE(dde_ack_of(s->ack_status).ack);
    kdde_terminate(ch);
}

TEST_F(Client, PokesChangeTheSheetTheRequestsRead) {
    ASSERT_TRUE(standin::start_service("Excel", xlsx_));
    const int ch = kdde_initiate("Excel", (dir_.path + "/[prices.xlsx]prices").c_str());
    ASSERT_GE(ch, 0);
    EXPECT_EQ(kdde_poke(ch, "R10C2", "5\t6\r\n7\tword\r\n"), 1);
    td::run_until_idle();
    const char* result = nullptr;
    ASSERT_EQ(kdde_request(ch, "R10C2:R11C3", &result, 1500), 1);
    EXPECT_STREQ(result, "5\t6\r\n7\tword\r\n");
    kdde_terminate(ch);
}

// Cells poked into an open workbook are kept when someone else saves its
// file meanwhile: the book is not read again over them.
TEST_F(Client, PokedCellsOutliveAnotherSaveOfTheFile) {
    ASSERT_TRUE(standin::start_service("Excel", xlsx_));
    const int ch = kdde_initiate("Excel", (dir_.path + "/[prices.xlsx]prices").c_str());
    ASSERT_GE(ch, 0);
    ASSERT_EQ(kdde_poke(ch, "R10C2", "77"), 1);
    td::run_until_idle();
    {
        std::ofstream grow(xlsx_, std::ios::app | std::ios::binary);
        grow << std::string(16, '\0');
    }
    std::error_code ec;
    std::filesystem::last_write_time(
        xlsx_, std::filesystem::last_write_time(xlsx_, ec) + std::chrono::seconds(5), ec);
    const auto book = standin::book_of(xlsx_);
    ASSERT_NE(book, nullptr);
    const int s = book->find_sheet("prices");
    ASSERT_GE(s, 0);
    const sheets::cell* c = book->sheets[static_cast<std::size_t>(s)].at(9, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, sheets::cell_kind::number);
    EXPECT_EQ(c->number, 77);
    kdde_terminate(ch);
}

TEST_F(Client, SpreadsheetsTheLinksStartedQuitOnlyWhenForced) {
    ASSERT_TRUE(standin::start_service("Excel", ""));
    ASSERT_TRUE(standin::start_service("123w", ""));
    started_programs() = 3;
    ASSERT_GE(kdde_initiate("Excel", "System"), 0);
    dde_quit_spreadsheets(0); // the shutdown's call: the links end, the programs stay
    td::run_until_idle();
    EXPECT_EQ(dde_client::live_channels(), 0);
    EXPECT_TRUE(standin::running("Excel"));
    EXPECT_TRUE(standin::running("123w"));
    dde_quit_spreadsheets(1);
    td::run_until_idle();
    EXPECT_FALSE(standin::running("Excel"));
    EXPECT_FALSE(standin::running("123w"));
    EXPECT_EQ(started_programs(), 0);
}

TEST_F(Client, TheClipboardFormatsAreRegisteredOnce) {
    register_clip_formats();
    const clip_format_ids first = clip_formats();
    EXPECT_NE(first.xltable, 0u);
    EXPECT_NE(first.wk1, 0u);
    EXPECT_NE(first.biff, 0u);
    EXPECT_EQ(first.xltable, RegisterClipboardFormat("XlTable"));
    register_clip_formats();
    EXPECT_EQ(clip_formats().wk1, first.wk1);
}

} // namespace
