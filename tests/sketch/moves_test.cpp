// Moving the selection of a working copy and undoing it: what goes along
// (elements, connectors between them, the bend of an arc with one end
// moved), what stays (the shared view's and hidden elements), the 16-bit
// limit, and undo and redo bringing back exactly the places they recorded.
#include "sketch/moves.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

class SketchMoves : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        a = box(100, 100, 30, 15);
        b = box(300, 120, 30, 15);
        c = box(200, 300, 30, 15);
        ab = link(a, b, path_arc, {{200, 60}});
        bc = link(b, c, path_arc, {{290, 230}});
        ca = link(c, a, path_straight);
        before = s.view.elems;
    }
    void select(std::initializer_list<int> ns) {
        for (int n : ns) el(n).runtime |= ef_selected;
        s.selection = 1;
    }
    // Where everything stands: centres of elements, points and computed
    // ends of connectors.
    static void expect_same(const std::vector<sketch_elem>& x, const std::vector<sketch_elem>& y) {
        ASSERT_EQ(x.size(), y.size());
        for (std::size_t i = 1; i < x.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(x[i].x, y[i].x);
            EXPECT_EQ(x[i].y, y[i].y);
            ASSERT_EQ(x[i].points.size(), y[i].points.size());
            for (std::size_t p = 0; p < x[i].points.size(); ++p) {
                EXPECT_EQ(x[i].points[p].x, y[i].points[p].x);
                EXPECT_EQ(x[i].points[p].y, y[i].points[p].y);
            }
            EXPECT_EQ(x[i].start_x, y[i].start_x);
            EXPECT_EQ(x[i].start_y, y[i].start_y);
            EXPECT_EQ(x[i].end_x, y[i].end_x);
            EXPECT_EQ(x[i].end_y, y[i].end_y);
            EXPECT_FLOAT_EQ(x[i].arrow_x, y[i].arrow_x);
            EXPECT_FLOAT_EQ(x[i].arrow_y, y[i].arrow_y);
        }
    }
    int a = 0, b = 0, c = 0, ab = 0, bc = 0, ca = 0;
    std::vector<sketch_elem> before;
};

TEST_F(SketchMoves, TheSelectionMovesWithItsConnectorsAndUndoRedoRestoreExactly) {
    select({a, b});
    selection_move m;
    ASSERT_TRUE(begin_selection_move(s, &m));
    EXPECT_EQ(m.moved, (std::vector<int>{a, b}));
    EXPECT_EQ(m.connectors, (std::vector<int>{ab, bc, ca}));
    // Intermediate places do not add up: each is from the start.
    apply_selection_move(s, m, 7, 9);
    apply_selection_move(s, m, 30, -20);
    EXPECT_EQ(el(a).x, 130);
    EXPECT_EQ(el(a).y, 80);
    EXPECT_EQ(el(b).x, 330);
    EXPECT_EQ(el(b).y, 100);
    EXPECT_EQ(el(c).x, 200); // not selected: stays
    // Both ends moved: the arc moves whole, its drawn ends too.
    EXPECT_EQ(el(ab).points[0].x, 230);
    EXPECT_EQ(el(ab).points[0].y, 40);
    EXPECT_EQ(el(ab).start_x, before[static_cast<std::size_t>(ab)].start_x + 30);
    EXPECT_EQ(el(ab).start_y, before[static_cast<std::size_t>(ab)].start_y - 20);
    // One end moved: the arc keeps its bend about the end that stayed.
    const sketch_point kept = keep_bend(s, {290, 230}, {200, 300}, {300, 120}, {330, 100});
    EXPECT_EQ(el(bc).points[0].x, kept.x);
    EXPECT_EQ(el(bc).points[0].y, kept.y);
    // A straight connector's point is its middle again.
    EXPECT_NE(el(ca).points[0].x, before[static_cast<std::size_t>(ca)].points[0].x);
    const std::vector<sketch_elem> moved = s.view.elems;

    ASSERT_TRUE(finish_selection_move(s, m));
    bool on = false;
    EXPECT_EQ(undo_menu_text(s, false, &on), "&Undo Move\t(Ctrl+Z)");
    EXPECT_TRUE(on);
    EXPECT_EQ(undo_menu_text(s, true, &on), "&Redo\t(Ctrl+Y)");
    EXPECT_FALSE(on);

    ASSERT_TRUE(sketch_undo(s));
    expect_same(s.view.elems, before);
    EXPECT_FALSE(sketch_undo(s));
    EXPECT_EQ(undo_menu_text(s, true, &on), "&Redo Move\t(Ctrl+Y)");
    EXPECT_TRUE(on);
    ASSERT_TRUE(sketch_redo(s));
    expect_same(s.view.elems, moved);
    EXPECT_FALSE(sketch_redo(s));

    // A new move after an undo drops the step undone.
    ASSERT_TRUE(sketch_undo(s));
    ASSERT_TRUE(begin_selection_move(s, &m));
    apply_selection_move(s, m, -10, 0);
    ASSERT_TRUE(finish_selection_move(s, m));
    EXPECT_EQ(s.undo.size(), 1u);
    EXPECT_FALSE(sketch_redo(s));
    ASSERT_TRUE(sketch_undo(s));
    expect_same(s.view.elems, before);
}

// One element moved alone and the move undone: the connectors leaving it
// and those ending at it come back with it.
TEST_F(SketchMoves, UndoingAMoveOfOneElementBringsBackTheConnectorsEndingThere) {
    select({a});
    selection_move m;
    ASSERT_TRUE(begin_selection_move(s, &m));
    apply_selection_move(s, m, 40, 25);
    ASSERT_TRUE(finish_selection_move(s, m));
    EXPECT_NE(el(ca).end_x, before[static_cast<std::size_t>(ca)].end_x);
    ASSERT_TRUE(sketch_undo(s));
    expect_same(s.view.elems, before);
}

// The selection's box holds every selected element shown, those at the
// shown level too; elements above it are left out.
TEST_F(SketchMoves, TheSelectionsBoxHoldsTheElementsAtTheShownLevel) {
    select({a, c});
    el(c).level = 3;
    s.shown_level = 3;
    int l = 0, t = 0, r = 0, btm = 0;
    ASSERT_TRUE(selected_box(s, &l, &t, &r, &btm));
    EXPECT_EQ(l, 70);
    EXPECT_EQ(t, 85);
    EXPECT_EQ(r, 230);
    EXPECT_EQ(btm, 315);
    s.shown_level = 2;
    ASSERT_TRUE(selected_box(s, &l, &t, &r, &btm));
    EXPECT_EQ(r, 130);
    EXPECT_EQ(btm, 115);
    s.shown_level = max_level;
}

TEST_F(SketchMoves, WhatCannotMoveStaysAndNothingMovedIsNoStep) {
    bool on = true;
    EXPECT_EQ(undo_menu_text(s, false, &on), "&Undo\t(Ctrl+Z)");
    EXPECT_FALSE(on);
    EXPECT_FALSE(sketch_undo(s));
    // Nothing selected, or only connectors: nothing to move.
    selection_move m;
    EXPECT_FALSE(begin_selection_move(s, &m));
    select({ab});
    EXPECT_FALSE(begin_selection_move(s, &m));
    // The shared view's element and a hidden one stay; a move that ends
    // where it began is no step.
    el(a).runtime |= ef_shared;
    el(c).level |= level_hidden;
    select({a, b, c});
    ASSERT_TRUE(begin_selection_move(s, &m));
    EXPECT_EQ(m.moved, (std::vector<int>{b}));
    apply_selection_move(s, m, 12, 0);
    EXPECT_EQ(el(a).x, 100);
    EXPECT_EQ(el(c).x, 200);
    apply_selection_move(s, m, 0, 0);
    EXPECT_FALSE(finish_selection_move(s, m));
    EXPECT_TRUE(s.undo.empty());
}

TEST_F(SketchMoves, AMoveStopsAtTheSixteenBitEdgeAndCancelPutsItBack) {
    el(b).x = 32700;
    select({b});
    selection_move m;
    ASSERT_TRUE(begin_selection_move(s, &m));
    apply_selection_move(s, m, 500, -70000);
    EXPECT_EQ(el(b).x, 32767);
    EXPECT_EQ(el(b).y, -32768);
    for (const sketch_point& p : el(bc).points) {
        EXPECT_GE(p.x, -32768);
        EXPECT_LE(p.x, 32767);
    }
    cancel_selection_move(s, m);
    EXPECT_EQ(el(b).x, 32700);
    EXPECT_EQ(el(b).y, 120);
    EXPECT_TRUE(s.undo.empty());
    // A move begun on one view does nothing to another.
    ASSERT_TRUE(begin_selection_move(s, &m));
    box(10, 10, 5, 5);
    apply_selection_move(s, m, 40, 40);
    EXPECT_EQ(el(b).x, 32700);
    EXPECT_FALSE(finish_selection_move(s, m));
}

// An arc laid out straight for now (its handle on the line between its ends)
// keeps its handle point where it was when one end moves: the bend comes back
// from there once the ends stand apart again.
TEST_F(SketchMoves, AnArcLaidOutStraightKeepsItsHandleWhenOneEndMoves) {
    const int p = box(100, 500, 30, 15), q = box(300, 500, 30, 15);
    const int pq = link(p, q, path_arc, {{200, 500}});
    ASSERT_EQ(el(pq).arc_width, 0) << "collinear: laid out straight";
    select({p});
    selection_move m;
    ASSERT_TRUE(begin_selection_move(s, &m));
    apply_selection_move(s, m, 0, 80);
    EXPECT_EQ(el(p).y, 580);
    ASSERT_EQ(el(pq).points.size(), 1u);
    EXPECT_EQ(el(pq).points[0].x, 200);
    EXPECT_EQ(el(pq).points[0].y, 500);
    EXPECT_GT(el(pq).arc_width, 0) << "now a bend through the kept handle";
}

} // namespace
