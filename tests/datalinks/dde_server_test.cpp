// The DDE server in the process: who gets an answer to an initiate, the
// execute grammar, each acknowledgement word (done, refused, busy), FileOpen
// through the Open road and not while something modal is up, the other
// requests, terminate; atoms and global memory back at their baseline after
// every flow.
#include "datalinks/server.h"

#include "tests/datalinks/dde_server_fixture.h"

#include "platform/dde.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "shell/menustate.h"
#include "shell/upcalls.h"

namespace {

TEST(DdeCommands, GrammarOfTheExecuteString) {
    using v = std::vector<std::string>;
    EXPECT_EQ(dde_split_commands("[A()][B(\"x\")]"), (v{"[A()]", "[B(\"x\")]"}));
    // Nested brackets belong to their command; text between commands is skipped.
    EXPECT_EQ(dde_split_commands("[A([1])] junk [B]"), (v{"[A([1])]", "[B]"}));
    // Text that does not start with "[" is one last command; an unclosed "[" the rest.
    EXPECT_EQ(dde_split_commands("FileOpen(a.kmf)"), (v{"FileOpen(a.kmf)"}));
    EXPECT_EQ(dde_split_commands("[A][FileOpen(\"x"), (v{"[A]", "[FileOpen(\"x"}));
    EXPECT_EQ(dde_split_commands(""), v{});

    std::string name;
    ASSERT_TRUE(dde_fileopen_name("[FileOpen(\"/m/a b.kmf\")]", &name));
    EXPECT_EQ(name, "/m/a b.kmf");
    ASSERT_TRUE(dde_fileopen_name("[FileOpen(/m/a.kmf)]", &name));
    EXPECT_EQ(name, "/m/a.kmf");
    ASSERT_TRUE(dde_fileopen_name("FileOpen(\"bare.kmf\")", &name));
    EXPECT_EQ(name, "bare.kmf");
    ASSERT_TRUE(dde_fileopen_name("[FileOpen(\"unended.kmf", &name));
    EXPECT_EQ(name, "unended.kmf");
    EXPECT_FALSE(dde_fileopen_name("[fileopen(\"a.kmf\")]", &name)); // exact case
    EXPECT_FALSE(dde_fileopen_name("[FileOpen]", &name));            // no "("
    EXPECT_FALSE(dde_fileopen_name("[FileOpe(\"a.kmf\")]", &name));
}

TEST_F(DdeServer, InitiateAnswersTheServiceInAnyCaseAndAnyTopic) {
    HWND server = initiate("kavrel", "System");
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(inbox.back().app, "kavrel"); // as the client spelled it
    EXPECT_EQ(inbox.back().topic, "System");
    EXPECT_EQ(GetParent(server), main_wnd);
    EXPECT_EQ(dde_server_conversations(), 1u);

    // No topic: the answer names the application as its topic.
    inbox.clear();
    HWND second = initiate("KAVREL", nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(inbox.back().topic, "KAVREL");
    EXPECT_NE(second, server);

    // A wildcard application or another service: no answer, no conversation.
    inbox.clear();
    EXPECT_EQ(initiate(nullptr, "System"), nullptr);
    EXPECT_EQ(initiate("Excel", "System"), nullptr);
    EXPECT_EQ(initiate("Kavrel2", nullptr), nullptr);
    EXPECT_EQ(dde_server_conversations(), 2u);
    expect_baseline();
}

TEST_F(DdeServer, FileOpenGoesThroughTheOpenRoad) {
    const std::string population = sample("population.kmf");
    const std::string epidemic = sample("epidemic.kmf");
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);

    // Quoted path: done, return code 1.
    EXPECT_EQ(execute(server, "[FileOpen(\"" + population + "\")]"), 0x8001);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    // Bare path after another command.
    EXPECT_EQ(execute(server, "[Other(1)] [FileOpen(" + epidemic + ")][FileOpen(\"x.kmf\")]"),
              0x8001);
    EXPECT_NE(title().find("epidemic.kmf"), std::string::npos) << title();
    // Only the first FileOpen: the second path was not looked at.
    EXPECT_TRUE(answerer::seen().empty());

    // Lower case, no "(", or no FileOpen at all: done, code 0, nothing opens.
    EXPECT_EQ(execute(server, "[fileopen(\"" + population + "\")]"), 0x8000);
    EXPECT_EQ(execute(server, "[FileOpen]"), 0x8000);
    EXPECT_EQ(execute(server, "[Beep()]"), 0x8000);
    EXPECT_NE(title().find("epidemic.kmf"), std::string::npos) << title();
    EXPECT_FALSE(dde_server_is_busy());
    expect_baseline();
}

TEST_F(DdeServer, FileOpenAsksTheOpenRoadsQuestionsFirst) {
    const std::string population = sample("population.kmf");
    const std::string epidemic = sample("epidemic.kmf");
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(execute(server, "[FileOpen(\"" + population + "\")]"), 0x8001);
    // The open model has something to save and the user cancels: it stays.
    int asked = 0;
    static int* asked_p = nullptr;
    asked_p = &asked;
    graph_set_slots.ask_save = [](int) {
        ++*asked_p;
        return 0;
    };
    EXPECT_EQ(execute(server, "[FileOpen(\"" + epidemic + "\")]"), 0x8001);
    graph_set_slots.ask_save = nullptr;
    EXPECT_EQ(asked, 1);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    EXPECT_FALSE(dde_server_is_busy());
    expect_baseline();
}

TEST_F(DdeServer, FileOpenWhileABoxIsUpIsBusyAndRetriedLater) {
    const std::string population = sample("population.kmf");
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    const std::string command = "[FileOpen(\"" + population + "\")]";
    int status = -1;
    answerer::box(severity_caption(6))
        .text("box is up")
        .call([&](HWND) { status = execute(server, command); })
        .press(IDOK);
    report(6, "A box is up");
    // Not "done": busy without ack, so that the client asks again.
    EXPECT_EQ(status, 0x4000);
    EXPECT_EQ(title().find("population.kmf"), std::string::npos) << title();
    // After the box, the same request is carried out.
    EXPECT_EQ(execute(server, command), 0x8001);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    expect_baseline();
}

TEST_F(DdeServer, AnExecuteDuringTheOpenRoadIsAnsweredBusy) {
    std::string bad = dir + "/broken.kmf";
    std::ofstream(bad) << "not a model";
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    int nested = -1;
    bool busy_inside = false;
    // The open fails with a box; from inside the box a second request comes.
    answerer::box("Stop from Kavrel")
        .text("broken.kmf")
        .call([&](HWND) {
            busy_inside = dde_server_is_busy();
            std::vector<received> outer = inbox;
            nested = execute(server, "[Beep()]");
            inbox = outer;
        })
        .press(IDOK);
    EXPECT_EQ(execute(server, "[FileOpen(\"" + bad + "\")]"), 0x8001);
    EXPECT_TRUE(busy_inside);
    EXPECT_EQ(nested, 0x4000);
    EXPECT_FALSE(dde_server_is_busy());
    // Idle again: the next request is done.
    EXPECT_EQ(execute(server, "[Beep()]"), 0x8000);
    expect_baseline();
}

// The client's request of the item "FileOpen" after its FileOpen: the
// outcome as text, known even from inside the failure's box; nothing to tell
// before a FileOpen. Run-away requests are refused unread.
TEST_F(DdeServer, WhatAFileOpenCameToIsTheItemFileOpen) {
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    const WPARAM me = reinterpret_cast<WPARAM>(client);
    // The answer to a request: the data's text, or "ack <status>".
    auto request = [&] {
        inbox.clear();
        PostMessage(server, WM_DDE_REQUEST, me,
                    PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("FileOpen")));
        drain();
        if (inbox.size() != 1) return std::string("answers: ") + std::to_string(inbox.size());
        const received& r = inbox[0];
        if (r.message == WM_DDE_ACK) return "ack " + std::to_string(r.lo);
        std::string text;
        dde_block b;
        HGLOBAL data = reinterpret_cast<HGLOBAL>(r.lo);
        if (read_dde_data(data, &b)) {
            text = b.value.substr(0, b.value.find('\0'));
            EXPECT_TRUE(b.response);
            if (b.release) GlobalFree(data);
        }
        if (r.hi) GlobalDeleteAtom(static_cast<ATOM>(r.hi));
        return text;
    };
    EXPECT_EQ(request(), "ack 0"); // no FileOpen yet: refused as any request
    const std::string population = sample("population.kmf");
    ASSERT_EQ(execute(server, "[FileOpen(\"" + population + "\")]"), 0x8001);
    EXPECT_EQ(request(), "1 " + population);

    std::string bad = dir + "/broken.kmf";
    std::ofstream(bad) << "not a model";
    std::string inside;
    answerer::box("Stop from Kavrel")
        .text("broken.kmf")
        .call([&](HWND) {
            std::vector<received> outer = inbox;
            inside = request();
            inbox = outer;
        })
        .press(IDOK);
    ASSERT_EQ(execute(server, "[FileOpen(\"" + bad + "\")]"), 0x8001);
    EXPECT_EQ(inside.rfind("0 ", 0), 0u) << inside;
    EXPECT_NE(inside.find("is not a binary model"), std::string::npos) << inside;
    EXPECT_EQ(request(), inside);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();

    // A tool set: its tools are read into the palette (the model stays) and
    // the outcome says so; one that is refused says why.
    const std::string tools = dir + "/mine.kts";
    std::ofstream(tools) << "1.62\n=4,=30,=1,=1,=1,=1\nLoops|Mine\n=0,=0,=-1,=-1,=0,=0,=0,=0,=0,\n";
    ASSERT_EQ(execute(server, "[FileOpen(\"" + tools + "\")]"), 0x8001);
    EXPECT_EQ(request(), "1 " + tools);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    const std::string no_tools = dir + "/none.kts";
    std::ofstream(no_tools) << "1.62\n=4,=30,=1,=1,=1,=1\n";
    answerer::box("Caution from Kavrel").text("No tools loaded").press(IDOK);
    ASSERT_EQ(execute(server, "[FileOpen(\"" + no_tools + "\")]"), 0x8001);
    const std::string refused = request();
    EXPECT_EQ(refused.rfind("0 ", 0), 0u) << refused;
    EXPECT_NE(refused.find("No tools loaded from"), std::string::npos) << refused;

    // A name no file can have and a command past 64 KiB: refused, nothing
    // opened, no box.
    EXPECT_EQ(execute(server, "[FileOpen(\"" + std::string(5000, 'a') + ".kmf\")]"), 0);
    EXPECT_EQ(execute(server, "[Beep(" + std::string(70000, 'b') + ")]"), 0);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    EXPECT_FALSE(dde_server_is_busy());
    expect_baseline();
}

TEST_F(DdeServer, UnreadableCommandsAndStrangersAreRefused) {
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    // A command whose memory cannot be read was not carried out: refused, not done.
    HGLOBAL stale = global_from_bytes("[Beep()]", 9, GMEM_MOVEABLE);
    GlobalFree(stale);
    inbox.clear();
    PostMessage(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(client),
                PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(stale)));
    drain();
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].lo, 0u);

    // A window with no conversation: refused too.
    HWND stranger = make_test_window("dde_test_stranger", client_proc);
    HGLOBAL cmd = global_from_bytes("[Beep()]", 9, GMEM_MOVEABLE);
    inbox.clear();
    PostMessage(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(stranger),
                PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd)));
    drain();
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].lo, 0u);
    EXPECT_EQ(reinterpret_cast<HGLOBAL>(inbox[0].hi), cmd);
    GlobalFree(cmd);
    DestroyWindow(stranger);
}

TEST_F(DdeServer, RequestPokeAdviseUnadviseDataAndTerminate) {
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    const WPARAM me = reinterpret_cast<WPARAM>(client);
    auto one_ack = [&](const char* item) {
        drain();
        EXPECT_EQ(inbox.size(), 1u);
        if (inbox.empty()) return -1;
        EXPECT_EQ(inbox[0].message, WM_DDE_ACK);
        EXPECT_EQ(inbox[0].app, item); // the same item atom comes back
        return static_cast<int>(inbox[0].lo);
    };

    // Request: refused.
    inbox.clear();
    PostMessage(server, WM_DDE_REQUEST, me,
                PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("Topics")));
    EXPECT_EQ(one_ack("Topics"), 0);

    // Poke: done; the data marked for release is the server's to free.
    dde_block poke;
    poke.release = true;
    poke.format = 1;
    poke.value = "42";
    inbox.clear();
    PostMessage(server, WM_DDE_POKE, me,
                PackDDElParam(WM_DDE_POKE, reinterpret_cast<UINT_PTR>(make_dde_poke(poke)),
                              GlobalAddAtomA("Cell")));
    EXPECT_EQ(one_ack("Cell"), 0x8000);

    // Advise: refused, and the options stay for the client to free.
    dde_block advise;
    advise.format = 1;
    HGLOBAL options = make_dde_advise(advise);
    inbox.clear();
    PostMessage(
        server, WM_DDE_ADVISE, me,
        PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(options), GlobalAddAtomA("Level")));
    EXPECT_EQ(one_ack("Level"), 0);
    dde_block back;
    EXPECT_TRUE(read_dde_advise(options, &back)) << "the server freed the client's options";
    EXPECT_EQ(GlobalFree(options), nullptr);

    // Unadvise: done (there are no links to end).
    inbox.clear();
    PostMessage(server, WM_DDE_UNADVISE, me,
                PackDDElParam(WM_DDE_UNADVISE, 1, GlobalAddAtomA("Level")));
    EXPECT_EQ(one_ack("Level"), 0x8000);

    // Data and stray acknowledgements: cleaned up, no answer.
    dde_block data;
    data.release = true;
    data.value = "1";
    inbox.clear();
    PostMessage(server, WM_DDE_DATA, me,
                PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(make_dde_data(data)),
                              GlobalAddAtomA("Item")));
    PostMessage(server, WM_DDE_ACK, me, PackDDElParam(WM_DDE_ACK, 0x8000, GlobalAddAtomA("Item")));
    drain();
    EXPECT_TRUE(inbox.empty());
    expect_baseline();

    // Terminate: answered, the conversation and its window go.
    PostMessage(server, WM_DDE_TERMINATE, me, 0);
    drain();
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].message, WM_DDE_TERMINATE);
    EXPECT_EQ(inbox[0].from, server);
    EXPECT_FALSE(IsWindow(server));
    EXPECT_EQ(dde_server_conversations(), 0u);

    expect_baseline();
}

TEST_F(DdeServer, ClosingTheWorkbenchTerminatesEveryConversation) {
    HWND a = initiate("Kavrel", "System");
    ASSERT_NE(a, nullptr);
    HWND first_client = client;
    client = nullptr;
    HWND b = initiate("Kavrel", "Other");
    ASSERT_NE(b, nullptr);
    inbox.clear();
    shutdown_ui();
    drain();
    int terminates = 0;
    for (const auto& r : inbox) terminates += r.message == WM_DDE_TERMINATE;
    EXPECT_EQ(terminates, 2);
    EXPECT_EQ(dde_server_conversations(), 0u);
    DestroyWindow(first_client);
    expect_baseline();
}

// A failure whose reason runs past 2000 characters (a model deep in long
// folders) is told cut there, with "..." after it.
TEST_F(DdeServer, ALongReasonIsCutAtTwoThousandCharacters) {
    std::string deep = dir;
    for (int k = 0; k < 10; ++k) deep += "/" + std::string(240, static_cast<char>('a' + k));
    std::error_code ec;
    std::filesystem::create_directories(deep, ec);
    ASSERT_FALSE(ec) << ec.message();
    const std::string bad = deep + "/broken.kmf";
    std::ofstream(bad) << "not a model";
    HWND server = initiate("Kavrel", "System");
    ASSERT_NE(server, nullptr);
    answerer::box("Stop from Kavrel").text("broken.kmf").press(IDOK);
    ASSERT_EQ(execute(server, "[FileOpen(\"" + bad + "\")]"), 0x8001);
    inbox.clear();
    PostMessage(server, WM_DDE_REQUEST, reinterpret_cast<WPARAM>(client),
                PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("FileOpen")));
    drain();
    ASSERT_EQ(inbox.size(), 1u);
    ASSERT_EQ(inbox[0].message, static_cast<UINT>(WM_DDE_DATA));
    std::string text;
    dde_block b;
    HGLOBAL data = reinterpret_cast<HGLOBAL>(inbox[0].lo);
    ASSERT_TRUE(read_dde_data(data, &b));
    text = b.value.substr(0, b.value.find('\0'));
    if (b.release) GlobalFree(data);
    if (inbox[0].hi) GlobalDeleteAtom(static_cast<ATOM>(inbox[0].hi));
    EXPECT_EQ(text.size(), 2u + 2000u + 3u) << text.substr(0, 200);
    EXPECT_EQ(text.rfind("0 ", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 3), "...");
    EXPECT_FALSE(dde_server_is_busy());
    expect_baseline();
}

} // namespace
