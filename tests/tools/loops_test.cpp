// The loop search: the loops of a level and its flows, checks against the
// equations (initial values are no feedback), hidden members and repeats, the
// depth memo, the question past 50 loops and the cap of a dense model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/tools_fixture.h"
#include "tools/loops.h"

namespace {

class Loops : public ToolsTest {
protected:
    // The loops found as text: "a>b|c" for two loops [a, b] and [c].
    static std::string loops_text_of(const loop_list& list) {
        std::string out;
        for (const auto& loop : list.loops) {
            if (!out.empty()) out += "|";
            for (std::size_t i = 0; i < loop.size(); ++i) {
                if (i) out += ">";
                out += sym_name(loop[i]);
            }
        }
        return out;
    }
    std::string find(const char* name, bool show_all = false, loop_list* keep = nullptr) {
        loop_list list;
        EXPECT_EQ(lock_model(1), 1);
        find_loops(find_symbol(name), show_all, list);
        std::string out = loops_text_of(list);
        EXPECT_EQ(unlock_model(1), 1);
        if (keep) *keep = list;
        return out;
    }
    // A variable used by `count` auxiliaries that it adds up: that many loops
    // of length 1.
    void star(int count) {
        model_builder b("star");
        std::string sum;
        for (int i = 0; i < count; ++i) {
            std::string u = "u" + std::to_string(i);
            b.aux(u.c_str(), "hub * 0.5");
            sum += (i ? " + " : "") + u;
        }
        b.aux("hub", sum.c_str());
        make_current(b);
    }
    static int asked_count;
    static int answer;
    static int ask(int n) {
        asked_count = n;
        return answer;
    }
};
int Loops::asked_count = 0;
int Loops::answer = 0;

TEST_F(Loops, LevelAndFlowsWrittenAsTheToolShowsThem) {
    model_builder b("population");
    b.level("Population", "births - deaths", "initial population");
    b.constant("initial population", 1000);
    b.aux("births", "Population * birth rate");
    b.aux("deaths", "Population / lifetime");
    b.constant("birth rate", 0.03f);
    b.constant("lifetime", 70);
    make_current(b);

    loop_list list;
    EXPECT_EQ(find("Population", false, &list), "deaths|births");
    EXPECT_EQ(list.checked, 2);
    EXPECT_FALSE(list.capped);

    EXPECT_EQ(loops_text(find_symbol("Population"), false, nullptr), 2);
    EXPECT_EQ(report_text(), "Loop Number 1 of length 1\n"
                             "  Population\n"
                             "       deaths\n"
                             "Loop Number 2 of length 1\n"
                             "  Population\n"
                             "       births\n");

    // A constant is refused with the message and writes nothing.
    text_report(512, 0, 0, report_none, 0, 0);
    EXPECT_EQ(loops_text(find_symbol("lifetime"), false, nullptr), 0);
    EXPECT_NE(messages().find("Only Auxiliary and Level variables can be involved in feedback "
                              "loops"),
              std::string::npos);
    EXPECT_EQ(report_text(), "");
}

TEST_F(Loops, InitialValuesCloseNoLoop) {
    // L's only link back from x is its initial value; i is an initial
    // variable, which the search never passes.
    model_builder b("init");
    b.level("L", "i", "x");
    b.aux("x", "L + 1");
    b.initial("i", "L * 2");
    b.level("M", "y", "1");
    b.aux("y", "M * 0.1");
    make_current(b);
    EXPECT_EQ(find("L"), "");
    EXPECT_EQ(find("M"), "y");
    EXPECT_EQ(loops_text(find_symbol("L"), false, nullptr), 0);
    EXPECT_NE(messages().find("There are no feedback loops involving L"), std::string::npos);
}

TEST_F(Loops, HiddenMembersAndRepeatsAnywhereWithinALength) {
    // Three loops through r: via h1 and a, via b, via h2 and a (uses in that
    // order). With the hidden auxiliaries left out the first and the last are
    // the same loop, although another of the same length stands between them.
    model_builder b("dups");
    b.aux("r", "a + b");
    b.aux("h1", "r");
    b.aux("h2", "r");
    b.aux("a", "h1 + h2");
    b.aux("b", "r");
    b.flags(b.id("h1"), sf_hidden);
    b.flags(b.id("h2"), sf_hidden);
    make_current(b);
    std::string all = find("r", true);
    EXPECT_EQ(all.rfind("b|", 0), 0u) << all;
    EXPECT_EQ(all.size(), std::string("b|h1>a|h2>a").size()) << all;
    EXPECT_NE(all.find("h1>a"), std::string::npos);
    EXPECT_NE(all.find("h2>a"), std::string::npos);
    std::string shown = find("r", false);
    EXPECT_TRUE(shown == "a|b" || shown == "b|a") << shown;
}

TEST_F(Loops, DepthMemoKeepsLoopsFoundPastACut) {
    // x is met first through p1 at depth 1: its first user starts a chain too
    // long for the depth limit, its second closes the loop. Met again through
    // p2 and q at depth 2, it must still give its loop.
    model_builder b("memo");
    for (int i = 1; i <= 40; ++i) {
        std::string name = "c" + std::to_string(i);
        std::string prev = i == 1 ? "x" : "c" + std::to_string(i - 1);
        b.aux(name.c_str(), prev.c_str());
    }
    b.aux("r", "x + 1");
    b.aux("p1", "r");
    b.aux("p2", "r");
    b.aux("q", "p2");
    b.aux("x", "p1 + q");
    make_current(b);
    EXPECT_EQ(find("r"), "p1>x|p2>q>x");
}

TEST_F(Loops, MoreThanFiftyAsks) {
    star(50);
    asked_count = 0;
    EXPECT_EQ(loops_text(find_symbol("hub"), false, ask), 50);
    EXPECT_EQ(asked_count, 0);

    star(51);
    text_report(512, 0, 0, report_none, 0, 0);
    answer = 0;
    EXPECT_EQ(loops_text(find_symbol("hub"), false, ask), 50);
    EXPECT_EQ(asked_count, 51);
    EXPECT_NE(report_text().find("Loop Number 50 of length 1\n"), std::string::npos);
    EXPECT_EQ(report_text().find("Loop Number 51 "), std::string::npos);

    text_report(512, 0, 0, report_none, 0, 0);
    answer = 1;
    EXPECT_EQ(loops_text(find_symbol("hub"), false, ask), 51);
    EXPECT_NE(report_text().find("Loop Number 51 of length 1\n"), std::string::npos);
}

TEST_F(Loops, DenseModelStopsPastTheCap) {
    // Nine auxiliaries each using all the others: over 100,000 simple cycles
    // through any of them.
    model_builder b("dense");
    constexpr int n = 9;
    for (int i = 0; i < n; ++i) {
        std::string expr;
        for (int j = 0; j < n; ++j)
            if (j != i) expr += (expr.empty() ? "" : " + ") + ("v" + std::to_string(j));
        b.aux(("v" + std::to_string(i)).c_str(), expr.c_str());
    }
    make_current(b);
    loop_list list;
    find("v0", false, &list);
    EXPECT_TRUE(list.capped);
    EXPECT_EQ(list.checked, loop_count_cap + 1);
    EXPECT_EQ(list.loops.size(), static_cast<std::size_t>(loop_table_max));
    EXPECT_NE(messages().find("Too many (32766) loops - truncating to 8000"), std::string::npos);
    for (std::size_t i = 1; i < list.loops.size(); ++i)
        ASSERT_LE(list.loops[i - 1].size(), list.loops[i].size());
}

TEST_F(Loops, TheDepthLimitIsSaidWhereItCutsTheSearch) {
    // A ring of n auxiliaries through r: one loop of n - 1 members besides r.
    auto ring = [&](int n, bool with_short_loop) {
        model_builder b("ring");
        for (int i = 1; i < n; ++i) {
            const std::string prev = i == 1 ? "r" : "a" + std::to_string(i - 1);
            b.aux(("a" + std::to_string(i)).c_str(), (prev + " * 0.5").c_str());
        }
        const std::string last = "a" + std::to_string(n - 1);
        b.aux("r", (last + (with_short_loop ? " + s" : "")).c_str());
        if (with_short_loop) b.aux("s", "r * 0.1");
        make_current(b);
    };
    // 33 members: the longest loop the search reaches, found whole.
    ring(34, false);
    loop_list list;
    find("r", false, &list);
    ASSERT_EQ(list.loops.size(), 1u);
    EXPECT_EQ(list.loops[0].size(), 33u);
    EXPECT_FALSE(list.cut);
    text_report(512, 0, 0, report_none, 0, 0);
    EXPECT_EQ(loops_text(find_symbol("r"), false, nullptr), 1);
    EXPECT_EQ(report_text().rfind("Loop Number 1 of length 33\n", 0), 0u) << report_text();

    // 34 members: cut. With nothing else found the message says so.
    ring(35, false);
    find("r", false, &list);
    EXPECT_TRUE(list.loops.empty());
    EXPECT_TRUE(list.cut);
    text_report(512, 0, 0, report_none, 0, 0);
    EXPECT_EQ(loops_text(find_symbol("r"), false, nullptr), 0);
    EXPECT_NE(messages().find("There are no feedback loops involving r.\n"
                              "The search was cut at its depth limit of 34 links (loops of up to "
                              "33 variables).\nLonger loops through r may exist and are not "
                              "listed."),
              std::string::npos)
        << messages();

    // A short loop beside the long ring: listed, with the note above it; the
    // text goes where the open callback points the report, called once the
    // loops are known.
    ring(200, true);
    int opened = 0;
    text_report(512, 0, 0, report_none, 0, 0);
    EXPECT_EQ(loops_text(find_symbol("r"), false, nullptr,
                         [&] {
                             ++opened;
                             text_report(512, 0, 0, report_none, 0, 0);
                             return true;
                         }),
              1);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(report_text(), "The search was cut at its depth limit of 34 links (loops of up to 33 "
                             "variables).\n"
                             "Longer loops through r may exist and are not listed.\n"
                             "Loop Number 1 of length 1\n"
                             "  r\n"
                             "       s\n");
    // A window that cannot be opened gets nothing written.
    text_report(512, 0, 0, report_none, 0, 0);
    EXPECT_EQ(loops_text(find_symbol("r"), false, nullptr, [] { return false; }), 0);
    EXPECT_EQ(report_text(), "");
}

} // namespace
