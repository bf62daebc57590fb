// Axis value labels as a user sees them: crowded labels thinned so that none
// overlap, every y tick of a short run labelled, and the corner where the
// axes meet numbered by both, apart. Charts are drawn through the control in a
// window and the labels checked on the image.
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/plot.h"
#include "chart_fixture.h"
#include "tests/driver/driver.h"

#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Shown {
    CChartCtrl ctrl;
    HWND hwnd = nullptr;
    Shown(int type, int dim) {
        test_driver::start();
        ctrl.CreateChart(type, dim, 3);
        RECT r{0, 0, 420, 320};
        ctrl.Create(WS_VISIBLE, r, static_cast<HWND>(nullptr), 101);
        hwnd = ctrl.m_hWnd;
    }
    QImage shot(const char* name) {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
        QImage img = test_driver::image(hwnd);
        if (const char* dir = std::getenv("KAVREL_CHART_PNG_DIR"))
            img.save(QString(dir) + "/" + name + ".png");
        return img;
    }
    CChartAxis* axis(int kind) { return ctrl.GetChart()->GetPlot()->GetAxis(kind); }
};

bool overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

struct Label {
    int index;
    std::string text;
    RECT r;
};

// The labels the axis shows by its switches, and those it draws on `dc`.
std::vector<Label> shown(CChartAxis* a, CChartDC* dc) {
    std::vector<Label> out;
    for (int i = 1; i <= a->GetTickCountUsed(); ++i) {
        RECT r{};
        if (a->GetTick(i)->LabelRect(dc, &r)) out.push_back({i, a->GetTick(i)->GetLabel(), r});
    }
    return out;
}
std::vector<Label> drawn(CChartAxis* a, CChartDC* dc) {
    const std::vector<char> keep = a->LayoutLabels(dc);
    std::vector<Label> out;
    for (const Label& l : shown(a, dc))
        if (keep[static_cast<std::size_t>(l.index)]) out.push_back(l);
    return out;
}

bool any_overlap(const std::vector<Label>& ls) {
    for (std::size_t i = 0; i < ls.size(); ++i)
        for (std::size_t j = i + 1; j < ls.size(); ++j)
            if (overlap(ls[i].r, ls[j].r)) return true;
    return false;
}

// Dark (text) pixels inside `r` of the image.
int ink(const QImage& img, const RECT& r) {
    int n = 0;
    for (int y = std::max(0, int(r.top)); y < std::min(img.height(), int(r.bottom)); ++y)
        for (int x = std::max(0, int(r.left)); x < std::min(img.width(), int(r.right)); ++x)
            n += qGray(img.pixel(x, y)) < 100;
    return n;
}

std::vector<std::string> texts(const std::vector<Label>& ls) {
    std::vector<std::string> t;
    for (const Label& l : ls) t.push_back(l.text);
    return t;
}

TEST(ChartLabels, CrowdedXLabelsAreThinnedUntilTheyStandApart) {
    Shown s(4, 1);
    for (int i = 0; i <= 1000; i += 10) s.ctrl.AddPoint(1, i, 50 + i % 70);
    CChartAxis* x = s.ctrl.SetAxis(2, 20, 1, 5.0, 0);
    s.ctrl.SetAxis(4, 5, 1, 5.0, 0);
    const QImage img = s.shot("labels_x20");
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);

    const std::vector<Label> all = shown(x, &dc);
    ASSERT_EQ(all.size(), 21u);
    ASSERT_TRUE(any_overlap(all)); // twenty divisions of "1000"-wide labels crowd
    const std::vector<Label> kept = drawn(x, &dc);
    EXPECT_FALSE(any_overlap(kept));
    // A regular thinning: every k-th label of the run, with 0 and the end.
    ASSERT_GE(kept.size(), 4u);
    EXPECT_EQ(kept.front().text, "0");
    EXPECT_EQ(kept.back().text, "1000");
    const int every = std::stoi(kept[1].text);
    EXPECT_GE(every, 100);
    for (std::size_t i = 1; i + 1 < kept.size(); ++i)
        EXPECT_EQ(std::stoi(kept[i].text), every * static_cast<int>(i));
    for (const Label& l : kept) EXPECT_GT(ink(img, l.r), 3) << l.text;
    // The drawing leaves the ticks' own switches alone.
    for (int i = 1; i <= x->GetTickCountUsed(); ++i) EXPECT_TRUE(x->GetTick(i)->IsLabelShown());

    // Short numbers over ten divisions all fit: nothing that has room is
    // thinned, the 0 at the corner neither: it stands right of the corner,
    // the y axis's lowest number (50, not 0) left of it.
    s.ctrl.ClearData(1);
    for (int i = 0; i <= 20; ++i) s.ctrl.AddPoint(1, i, 50 + i % 7);
    s.ctrl.SetAxis(2, 10, 1, 5.0, 0);
    const QImage short_img = s.shot("labels_x10_short");
    const std::vector<Label> short_kept = drawn(x, &dc);
    EXPECT_EQ(short_kept.size(), 11u);
    EXPECT_EQ(short_kept.front().text, "0");
    const std::vector<Label> y_kept = drawn(s.axis(3), &dc);
    ASSERT_FALSE(y_kept.empty());
    EXPECT_EQ(y_kept.front().text, "50");
    EXPECT_FALSE(overlap(short_kept.front().r, y_kept.front().r));
    EXPECT_LE(y_kept.front().r.right, short_kept.front().r.left);
    EXPECT_GT(ink(short_img, short_kept.front().r), 3);
}

TEST(ChartLabels, EveryTickOfAShortYRunCarriesItsNumber) {
    Shown s(4, 1);
    for (int i = 0; i <= 10; ++i) s.ctrl.AddPoint(1, i, 60.0 * i);
    s.ctrl.SetAxis(2, 5, 1, 5.0, 0);
    CChartAxis* y = s.ctrl.SetAxis(4, 5, 1, 5.0, 0);
    const QImage img = s.shot("labels_y600");
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);
    const std::vector<Label> kept = drawn(y, &dc);
    std::vector<std::string> t = texts(kept);
    EXPECT_EQ(t, (std::vector<std::string>{"0", "120", "240", "360", "480", "600"}));
    for (const Label& l : kept) EXPECT_GT(ink(img, l.r), 3) << l.text;
}

TEST(ChartLabels, TheCornerWhereBothAxesShowZeroShowsBothApart) {
    Shown s(4, 1);
    for (int i = 0; i <= 10; ++i) s.ctrl.AddPoint(1, i, 60.0 * i);
    CChartAxis* x = s.ctrl.SetAxis(2, 5, 1, 5.0, 0);
    CChartAxis* y = s.ctrl.SetAxis(4, 5, 1, 5.0, 0);
    s.shot("labels_corner");
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);
    const std::vector<Label> xs = shown(x, &dc), ys = shown(y, &dc);
    ASSERT_EQ(xs.front().text, "0");
    ASSERT_EQ(ys.front().text, "0");
    // The x axis's 0 stands right of the corner, the y axis's beside it:
    // both are drawn and neither meets the other.
    EXPECT_FALSE(overlap(xs.front().r, ys.front().r));
    EXPECT_EQ(texts(drawn(x, &dc)).front(), "0");
    const std::vector<Label> ykept = drawn(y, &dc);
    ASSERT_FALSE(ykept.empty());
    EXPECT_EQ(ykept.front().text, "0");
    for (const Label& l : ykept) EXPECT_FALSE(overlap(l.r, xs.front().r)) << l.text;
}

TEST(ChartLabels, ThreeDimensionalAxesThinTheirLabelsToo) {
    Shown s(4, 2);
    for (int i = 0; i <= 1000; i += 10) s.ctrl.AddPoint(1, i, 50 + i % 70);
    s.shot("labels_3d");
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);
    for (int kind = 1; kind <= 6; ++kind) {
        CChartAxis* a = s.axis(kind);
        if (!a->IsEnabled()) continue;
        const std::vector<Label> kept = drawn(a, &dc);
        EXPECT_FALSE(any_overlap(kept)) << kind;
        // Evenly thinned: the same distance between kept labels, but for
        // the end label, which may have pushed out its neighbour.
        for (std::size_t i = 2; i + 1 < kept.size(); ++i)
            EXPECT_DOUBLE_EQ(std::stod(kept[i].text) - std::stod(kept[i - 1].text),
                             std::stod(kept[1].text) - std::stod(kept[0].text))
                << kind << " " << kept[i].text;
        if (!shown(a, &dc).empty()) {
            EXPECT_GE(kept.size(), 2u) << kind;
        }
    }
}

} // namespace

namespace {

// The screen box of a tick's mark (its second segment), right and bottom
// inclusive.
RECT mark_box(const CChartTick* t) {
    const CChartPoint b = t->GetMiddle()->GetScreenPoint(), c = t->GetEnd()->GetScreenPoint();
    return RECT{std::min(b.x, c.x), std::min(b.y, c.y), std::max(b.x, c.x) + 1,
                std::max(b.y, c.y) + 1};
}

// Every label clear of its own tick mark, on the side its anchoring puts
// it: the x labels wholly below their marks, the y labels wholly left of
// them; and the image shows text there, not a mark through it.
void expect_labels_past_marks(Shown& s, CChartAxis* x, CChartAxis* y, const QImage& img,
                              const char* what) {
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);
    int checked = 0;
    for (CChartAxis* a : {x, y})
        for (const Label& l : drawn(a, &dc)) {
            const RECT m = mark_box(a->GetTick(l.index));
            EXPECT_FALSE(overlap(l.r, m)) << what << " " << l.text;
            if (a == x)
                EXPECT_GE(l.r.top, m.bottom) << what << " " << l.text;
            else
                EXPECT_LE(l.r.right, m.left) << what << " " << l.text;
            EXPECT_GT(ink(img, l.r), 3) << what << " " << l.text;
            ++checked;
        }
    EXPECT_GE(checked, 8) << what;
    (void)s;
}

} // namespace

TEST(ChartLabels, ValueLabelsStandPastTheirTickMarks) {
    // Marks pointing into the box (the label anchored at the inner tip had
    // the mark running through it), then pointing out of it.
    for (int flags : {0, 2}) {
        Shown s(4, 1);
        for (int i = 0; i <= 40; ++i) s.ctrl.AddPoint(1, i, 10 + i);
        CChartAxis* x = s.ctrl.SetAxis(2, 4, 1, 8.0, flags);
        CChartAxis* y = s.ctrl.SetAxis(4, 5, 1, 8.0, flags);
        const QImage img = s.shot(flags ? "labels_marks_out" : "labels_marks_in");
        expect_labels_past_marks(s, x, y, img, flags ? "out" : "in");
    }
}

// An axis whose text style has an alternation switch on puts its labels on
// two rows below the marks' tips in turn (a row above them would stand
// inside the plot), so crowded labels that one row would thin all find
// room; none overlaps another or its mark.
TEST(ChartLabels, AlternatingRowsMakeRoomForCrowdedLabels) {
    Shown s(4, 1);
    for (int i = 0; i <= 1000; i += 10) s.ctrl.AddPoint(1, i, 50 + i % 70);
    CChartAxis* x = s.ctrl.SetAxis(2, 10, 1, 5.0, 0);
    s.ctrl.SetAxis(4, 5, 1, 5.0, 0);
    s.shot("labels_one_row");
    charttest::Canvas c(420, 320);
    CChartDC dc(&c.cdc);
    const std::vector<Label> one_row = drawn(x, &dc);

    x->GetTextStyle()->SetVAnchor4();
    const QImage img = s.shot("labels_two_rows");
    const std::vector<Label> two_rows = drawn(x, &dc);
    EXPECT_GT(two_rows.size(), one_row.size());
    EXPECT_EQ(two_rows.size(), 11u);
    EXPECT_FALSE(any_overlap(two_rows));
    for (std::size_t i = 0; i + 1 < two_rows.size(); ++i)
        EXPECT_NE(two_rows[i].r.top, two_rows[i + 1].r.top) << two_rows[i].text;
    for (std::size_t i = 0; i + 2 < two_rows.size(); ++i)
        EXPECT_EQ(two_rows[i].r.top, two_rows[i + 2].r.top) << two_rows[i].text;
    for (const Label& l : two_rows) {
        EXPECT_FALSE(overlap(l.r, mark_box(x->GetTick(l.index)))) << l.text;
        EXPECT_GE(l.r.top, x->GetTick(l.index)->GetStart()->GetScreenPoint().y) << l.text;
        EXPECT_GT(ink(img, l.r), 3) << l.text;
    }

    // Switched off again: one row, thinned as before.
    x->GetTextStyle()->SetVAnchor2();
    EXPECT_EQ(drawn(x, &dc).size(), one_row.size());
}

namespace {

// Pixels of a clear green, not grey text nor anti-aliased black.
int green(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            n += qGreen(p) > 120 && qRed(p) < 90 && qBlue(p) < 90;
        }
    return n;
}

// A legend is written in its own text colour.
TEST(ChartLabels, ALegendIsWrittenInItsOwnTextColour) {
    auto legend_green = [](bool coloured) {
        Shown s(4, 1);
        for (int i = 0; i <= 20; ++i) s.ctrl.AddPoint(1, i, 50 + i);
        EXPECT_NE(s.ctrl.AddLegend("Population of the town", -60.0, -112.0, 100.0), nullptr);
        CChartTextStyle* ts = s.ctrl.GetLegendTextStyle(1);
        EXPECT_NE(ts, nullptr);
        if (ts && coloured) ts->SetTextColor(CChartColor(0, 170, 0));
        return green(s.shot(coloured ? "legend_green" : "legend_plain"));
    };
    const int before = legend_green(false), after = legend_green(true);
    EXPECT_GT(after, before + 20) << before << " " << after;
}

} // namespace
