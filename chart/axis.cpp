// The plot's axes: building each axis's ticks from a value range or a label
// series, and the tick settings (count, major, grid, labels).
#include "chart/axis.h"

#include "chart/data.h"
#include "chart/plotstate.h"

#include <algorithm>
#include <cmath>
#include <string>

CChartAxis::CChartAxis(CChartPlotState* plot, int title_kind, int label_mode)
    : plot_(plot), title_kind_(title_kind), label_mode_(label_mode), title_tick_(new CChartTick()) {
    MakeStyle();
    MakeTextStyle();
    text_style->SetPointSize(4.0);
    text_style->SetTextColor(CChartColor(0, 0, 0));
    const CChartColor back = plot_ ? plot_->GetBackgroundColour() : CChartColor(255, 255, 255);
    text_style->SetBackColor(back);
    title_tick_->MakeTextStyle();
    title_tick_->GetTextStyle()->SetPointSize(7.0);
    title_tick_->GetTextStyle()->SetBackColor(back);
}

CChartAxis::~CChartAxis() {
    delete title_tick_;
}

void CChartAxis::Project(CChartView3D* view) {
    ticks_.for_each([view](CChartTick* t) { t->Project(view); });
    title_tick_->Project(view);
}

int CChartAxis::ToScreen(CChartView3D* view) {
    ticks_.for_each([view](CChartTick* t) { t->ToScreen(view); });
    title_tick_->ToScreen(view);
    return viewed;
}

void CChartAxis::Scale(double sx, double sy, double sz) {
    const double o[3] = {ticks_.offset[0], ticks_.offset[1], ticks_.offset[2]};
    Translate(-o[0], -o[1], -o[2]);
    ticks_.scale_members(sx, sy, sz);
    title_tick_->Scale(sx, sy, sz);
    Translate(o[0] * sx, o[1] * sy, o[2] * sz);
}

void CChartAxis::Translate(double dx, double dy, double dz) {
    ticks_.translate_members(dx, dy, dz);
    title_tick_->Translate(dx, dy, dz);
}

void CChartAxis::SetTickCount(int n) {
    tick_count_ = n < 0 ? 0 : n;
    tick_count_given_ = 1;
}

int CChartAxis::SetMajorEvery(int n) {
    if (n < 0) {
        major_every_ = 0;
        return 0;
    }
    major_every_ = n;
    return 1;
}

int CChartAxis::SetTickLength(double percent) {
    if (!(percent >= 0)) { // negative or NaN
        tick_length_ = 0.0;
        return 0;
    }
    tick_length_ = percent * 0.01;
    return 1;
}

void CChartAxis::mark_every(int every, void (*apply)(CChartTick*, bool)) {
    for (int i = 1; i <= ticks_.count(); ++i)
        apply(ticks_.get(i), every > 0 && (i - 1) % every == 0);
}

int CChartAxis::SetGridEvery(int n) {
    const int ok = n < 0 ? 0 : 1;
    grid_every_ = n < 0 ? 0 : n;
    mark_every(grid_every_, [](CChartTick* t, bool on) { t->SetFirstSegment(on ? 1 : 0); });
    return ok;
}

int CChartAxis::SetLabelEvery(int n) {
    const int ok = n < 0 ? 0 : 1;
    label_every_ = n < 0 ? 0 : n;
    if (label_every_ == 0) label_max_tick_ = label_min_tick_ = 0;
    mark_every(label_every_, [](CChartTick* t, bool on) { t->ShowLabel(on ? 1 : 0); });
    return ok;
}

void CChartAxis::SetHideTickMarks(int v) {
    hide_tick_marks_ = v;
    ticks_.for_each([v](CChartTick* t) { t->SetSecondSegment(v == 0 ? 1 : 0); });
}

void CChartAxis::SetBackgroundColour(CChartColor c) {
    GetTextStyle()->SetBackColor(c);
    title_tick_->GetTextStyle()->SetBackColor(c);
}

int CChartAxis::PlaceTitle(double x, double y, double z) {
    if (!title_tick_ || !plot_) return 0;
    return plot_->PlaceElement(title_tick_->GetStart(), x, y, z, 0);
}

void CChartAxis::TakeBox() {
    if (!plot_) return;
    for (int a = 0; a < 3; ++a) {
        box_[a] = plot_->GetDataMax(a);
        box_[3 + a] = plot_->GetDataMin(a);
        box_[6 + a] = plot_->GetBoxMax(a);
        box_[9 + a] = plot_->GetBoxMin(a);
        box_[12 + a] = box_[a] - box_[3 + a];
        box_[15 + a] = box_[6 + a] - box_[9 + a];
    }
}

double CChartAxis::place(int axis, double value) const {
    const double data_span = box_[12 + axis];
    const double k = std::fabs(data_span) < 0.001 ? 1.0 : box_[15 + axis] / data_span;
    double v = (value - box_[3 + axis]) * k;
    const double s = axis == 0 ? ticks_.scale[0] : axis == 1 ? ticks_.scale[1] : ticks_.scale[2];
    if (std::fabs(s) >= 0.001) v /= s;
    return v;
}

double CChartAxis::length(int minor) const {
    double t = flip_ticks_ == 1 ? -tick_length_ : tick_length_;
    return minor ? t * 0.5 : t;
}

CChartTick* CChartAxis::AddTick(CChartVertex* a, CChartVertex* b, CChartVertex* c) {
    auto* t = new CChartTick(a, b, c);
    t->SetSecondSegment(hide_tick_marks_ ? 0 : 1);
    // The box axes' marks stand across the label's side; the angle axis's
    // run out from the centre, and its labels keep their tips.
    t->SetLabelPastMark(Kind() != 7 ? 1 : 0);
    t->SetStyle(GetStyle());
    t->SetTextStyle(GetTextStyle());
    rank_.push_back(static_cast<int>(rank_.size()));
    return ticks_.add(t);
}

CChartTick* CChartAxis::PlaceTick(double, int) {
    return nullptr;
}

CChartTick* CChartAxis::AddValueTick(double value, int minor) {
    CChartTick* t = PlaceTick(value, minor);
    if (!t) return nullptr;
    t->SetFlipped(flip_ticks_);
    t->SetLabelValue(value, GetTextStyle()->GetText());
    return t;
}

void CChartAxis::ComputeStep(CChartData* data, int count) {
    if (count < 0) {
        tick_count_ = 0;
        step_ = 0.0;
        return;
    }
    tick_count_ = count;
    double span = 0.0;
    const int x_mode = data ? data->GetXMode() : 3;
    if (data) switch (label_mode_) {
        case 5:
            span = data->GetXSpan();
            if (x_mode == 3) {
                const double spacing = data->GetXStep();
                if (spacing > span) span = spacing;
            } else {
                span += 1.0;
            }
            break;
        case 6:
            span = data->GetYSpan();
            break;
        case 7:
            span = data->GetStackSpan();
            break;
        default:
            break;
        }
    // No ticks over a count of 0: the step is then not above 0.
    step_ = count > 0 ? span / count : 0.0;
    if (label_mode_ == 5 && (x_mode == 1 || x_mode == 2) && step_ < 1.0) step_ = 1.0;
    tick_count_given_ = 1;
}

int CChartAxis::MakeRangeTicks(int x_mode, double min, double max) {
    chart::TickRunSettings s;
    s.x_mode = x_mode;
    s.step = step_;
    s.grid_every = grid_every_;
    s.label_every = label_every_;
    s.major_every = major_every_;
    s.hide_tick_marks = hide_tick_marks_ != 0;
    s.end_tick_at_max = end_tick_at_max_ != 0;
    s.label_max_tick = label_max_tick_ != 0;
    s.end_tick_at_min = end_tick_at_min_ != 0;
    s.label_min_tick = label_min_tick_ != 0;
    const auto planned = chart::plan_range_ticks(s, min, max);
    if (planned.empty()) return 0;
    double low = 0, high = 0;
    // Places in the runs: the zero tick is the first of both, so the run
    // after it continues from 1.
    int next_rank = 0;
    bool zero_seen = false;
    for (const auto& p : planned) {
        CChartTick* t = AddValueTick(p.value, p.minor ? 1 : 0);
        if (!t) continue;
        if (!low_tick_ || p.value < low) low_tick_ = t, low = p.value;
        if (!high_tick_ || p.value > high) high_tick_ = t, high = p.value;
        if (p.end != 0) {
            rank_.back() = -1;
            next_rank = zero_seen ? 1 : 0;
        } else {
            zero_seen = zero_seen || p.value == 0.0;
            rank_.back() = next_rank++;
        }
        t->SetSecondSegment(p.mark ? 1 : 0);
        t->SetFirstSegment(p.grid ? 1 : 0);
        t->ShowLabel(p.label ? 1 : 0);
        if (p.end > 0) max_tick_ = t;
        if (p.end < 0) min_tick_ = t;
    }
    return 1;
}

int CChartAxis::MakeXTicks(CChartData* data) {
    if (!data) return 0;
    double min = data->GetXMin(), max = data->GetXMax();
    const int type = plot_ ? plot_->GetChartType() : 1;
    if (data->GetXMode() == 2 && (type == 2 || type == 3 || type == 8)) max += 1.0;
    if (tick_count_given_ == 1) ComputeStep(data, tick_count_);
    return MakeRangeTicks(data->GetXMode(), min, max);
}

int CChartAxis::MakeYTicks(CChartData* data) {
    if (!data) return 0;
    if (tick_count_given_ == 1) ComputeStep(data, tick_count_);
    return MakeRangeTicks(data->GetXMode(), data->GetYMin(), data->GetYMax());
}

int CChartAxis::MakeStackTicks(CChartData* data) {
    if (!data) return 0;
    if (tick_count_given_ == 1) ComputeStep(data, tick_count_);
    return MakeRangeTicks(data->GetXMode(), data->GetStackMin(), data->GetStackMax());
}

int CChartAxis::MakeSeriesTicks(CChartData* data) {
    if (!data) return 0;
    CChartSeries* s = label_mode_ == 1   ? data->GetGroups()
                      : label_mode_ <= 3 ? data->GetDomain()
                                         : data->GetRange();
    if (!s) return 0;
    if (tick_count_given_ == 1) ComputeStep(data, tick_count_);
    // A step of a billion or more is as good as one tick.
    const double step = step_ < 1e9 ? step_ : 1e9;
    const int every = static_cast<int>(step);
    if (every < 1) return 0;
    struct Counter {
        int limit, count;
        bool advance() {
            if (limit <= 0) return false;
            if (++count >= limit) {
                count = 0;
                return true;
            }
            return false;
        }
    } major{major_every_, major_every_}, grid{grid_every_, grid_every_},
        label{label_every_, label_every_};
    double running = 0.0;
    const int n = s->GetCount();
    for (int i = 1; i <= n; ++i) {
        CChartDataPoint* p = s->GetPoint(i);
        running += p->GetY();
        if ((i - 1) % every != 0) continue;
        if (ticks_.count() >= chart::kMaxTicks) break;
        const double value = label_mode_ == 1   ? p->GetX()
                             : label_mode_ == 2 ? p->GetY()
                             : label_mode_ == 3 ? running
                                                : p->GetZ();
        const int minor = major_every_ >= 1 && major.advance() ? 0 : 1;
        CChartTick* t = PlaceTick(value, minor);
        if (!t) continue;
        t->SetFlipped(flip_ticks_);
        if (p->HasLabel())
            t->SetLabelText(p->GetLabel());
        else
            t->SetLabelValue(value, "%g");
        t->SetSecondSegment(hide_tick_marks_ ? 0 : 1);
        t->SetFirstSegment(grid.advance() ? 1 : 0);
        t->ShowLabel(label.advance() ? 1 : 0);
    }
    return 1;
}

int CChartAxis::Build(CChartData* data) {
    ticks_.delete_all();
    rank_.clear();
    max_tick_ = min_tick_ = nullptr;
    low_tick_ = high_tick_ = nullptr;
    if (!enabled_) return 0;
    if (data && title_kind_ >= 1 && title_kind_ <= 7) {
        CChartSeries* title = data->GetTitle(title_kind_);
        SetStyle(title->GetStyle());
        SetTextStyle(title->GetTextStyle());
    }
    TakeBox();
    switch (label_mode_) {
    case 1:
    case 2:
    case 3:
    case 4:
        return MakeSeriesTicks(data);
    case 5:
        return MakeXTicks(data);
    case 6:
        return MakeYTicks(data);
    case 7:
        return MakeStackTicks(data);
    case 9:
        return MakeNoTicks(data);
    default:
        return 0;
    }
}

void CChartAxis::DrawBody(CChartDC* dc) {
    if (!enabled_ || !dc) return;
    CChartTextStyle* ts = GetTextStyle();
    const COLORREF old_text = dc->CDC::GetTextColor(), old_back = dc->CDC::GetBkColor();
    dc->SetTextColor(ts->GetTextColor());
    dc->SetBackColor(ts->GetBackColor());
    ts->Realize(dc);
    dc->PushFont(new CChartFont(ts->GetLogFont()));
    SelectPen(dc);
    SelectBrush(dc);
    // Labels that would overlap are left out of this drawing only: the
    // ticks keep their switches for the next layout at another size.
    const std::vector<char> drawn = LayoutLabels(dc);
    for (int i = 1; i <= ticks_.count(); ++i) {
        CChartTick* t = ticks_.get(i);
        const bool hide = t->IsLabelShown() && !drawn[static_cast<std::size_t>(i)];
        if (hide) t->ShowLabel(0);
        t->DrawBody(dc);
        if (hide) t->ShowLabel(1);
    }
    title_tick_->DrawBody(dc);
    UnselectBrush(dc);
    UnselectPen(dc);
    delete dc->PopFont();
    dc->CDC::SetTextColor(old_text);
    dc->CDC::SetBkColor(old_back);
}

namespace {

bool apart(const RECT& a, const RECT& b, int gap) {
    return a.right + gap <= b.left || b.right + gap <= a.left || a.bottom + gap <= b.top ||
           b.bottom + gap <= a.top;
}

} // namespace

void CChartAxis::nudge_low_label() {
    if (!low_tick_ || !high_tick_ || low_tick_ == high_tick_) return;
    // Along the axis as it lies on the screen: its main direction only.
    const CChartPoint a = low_tick_->GetStart()->GetScreenPoint(),
                      b = high_tick_->GetStart()->GetScreenPoint();
    // An axis running across the screen moves its first label off the
    // corner; an upright one keeps its labels centred on their ticks (its
    // lowest then stands beside the corner, clear of the moved one).
    const int dx = b.x - a.x, dy = b.y - a.y;
    low_tick_->SetCornerNudge(std::abs(dx) >= std::abs(dy) ? (dx > 0 ? 1 : -1) : 0, 0);
}

void CChartAxis::assign_rows() {
    nudge_low_label();
    CChartTextStyle* ts = GetTextStyle();
    const bool on = ts && ts->IsAlternating();
    // Both rows stand below the axis, the second a line under the first:
    // a row anchored above a chart's bottom axis would stand inside the
    // plot, over the data.
    if (on) {
        rows_[0] = *ts;
        rows_[0].SetVAnchor2();
        rows_[1] = *ts;
        rows_[1].SetVAnchor2();
    }
    int turn = 0;
    ticks_.for_each([&](CChartTick* t) {
        const bool row = on && t->IsLabelShown();
        t->SetRowDrop(row ? turn % 2 : 0);
        t->SetRowStyle(row ? &rows_[turn++ % 2] : nullptr);
    });
}

std::vector<char> CChartAxis::layout(CChartDC* dc, const std::vector<RECT>* taken,
                                     std::vector<RECT>* kept) {
    const int n = ticks_.count();
    std::vector<char> out(static_cast<std::size_t>(n) + 1, 0);
    if (!dc || !enabled_) return out;
    assign_rows();
    struct Label {
        int index;
        int rank;
        RECT r;
    };
    std::vector<Label> labels;
    int gap = 0, max_rank = 0;
    for (int i = 1; i <= n; ++i) {
        RECT r{};
        if (!ticks_.get(i)->LabelRect(dc, &r)) continue;
        const int rank = static_cast<std::size_t>(i) <= rank_.size() ? rank_[i - 1] : i - 1;
        // A small space between neighbours, a quarter of the text height.
        gap = std::max(gap, static_cast<int>((r.bottom - r.top) / 4));
        max_rank = std::max(max_rank, rank);
        labels.push_back({i, rank, r});
    }
    if (gap < 1) gap = 1;
    if (taken) {
        std::erase_if(labels, [&](const Label& l) {
            for (const RECT& t : *taken)
                if (!apart(l.r, t, 0)) return true; // another axis: a real overlap only
            return false;
        });
    }
    // The zero, run-start and end labels take their places first.
    std::vector<const Label*> order;
    for (int k = 1;; ++k) {
        order.clear();
        for (const Label& l : labels)
            if (l.rank <= 0) order.push_back(&l);
        for (const Label& l : labels)
            if (l.rank > 0 && l.rank % k == 0) order.push_back(&l);
        // Only the zero, run-start and end labels may push a label out;
        // two ordinary labels that meet call for a wider k.
        std::vector<const Label*> accepted;
        bool crowded = false;
        for (const Label* l : order) {
            bool clear = true;
            for (const Label* a : accepted)
                if (!apart(l->r, a->r, gap)) {
                    clear = false;
                    crowded = crowded || (a->rank > 0 && l->rank > 0);
                }
            if (clear) accepted.push_back(l);
        }
        if (!crowded || k > max_rank) {
            for (const Label* a : accepted) {
                out[static_cast<std::size_t>(a->index)] = 1;
                if (kept) kept->push_back(a->r);
            }
            return out;
        }
    }
}

bool CChartAxis::HasScaleLabels() {
    CChartTextStyle* ts = GetTextStyle();
    const char* f = ts ? ts->GetText() : nullptr;
    return f && f[0] == '\t';
}

bool CChartAxis::YieldsTo(CChartAxis* other) {
    const bool mine = HasScaleLabels(), theirs = other->HasScaleLabels();
    return mine == theirs ? other->Kind() < Kind() : theirs;
}

void CChartAxis::PriorityLabels(CChartDC* dc, CChartAxis* other, std::vector<RECT>& out) {
    if (!dc || !enabled_) return;
    const bool scale = HasScaleLabels();
    // The other axis's end labels: a label of ours that reads the same at
    // the same corner ("0" and "0") is shown once, by the stronger axis.
    std::vector<std::string> theirs;
    for (int i = 1; i <= other->ticks_.count(); ++i) {
        const int rank =
            static_cast<std::size_t>(i) <= other->rank_.size() ? other->rank_[i - 1] : i - 1;
        if (rank <= 0 && other->ticks_.get(i)->IsLabelShown())
            theirs.emplace_back(other->ticks_.get(i)->GetLabel());
    }
    assign_rows();
    for (int i = 1; i <= ticks_.count(); ++i) {
        const int rank = static_cast<std::size_t>(i) <= rank_.size() ? rank_[i - 1] : i - 1;
        if (!scale && rank > 0) continue;
        RECT r{};
        if (!ticks_.get(i)->LabelRect(dc, &r)) continue;
        const std::string text = ticks_.get(i)->GetLabel();
        if (std::find(theirs.begin(), theirs.end(), text) != theirs.end()) continue;
        out.push_back(r);
    }
}

std::vector<char> CChartAxis::layout_among(CChartDC* dc, std::vector<RECT>* kept, int depth) {
    // Where two axes' labels meet: the end labels of an axis (its zero and
    // the ends of its runs: the lowest y number, the first time) and all
    // labels of a scale come first; then the axis of the lower kind keeps
    // its label (scale labels counting before plain numbers).
    std::vector<RECT> taken;
    if (plot_)
        for (int k = 1; k <= 7; ++k) {
            CChartAxis* other = plot_->GetAxis(k);
            if (!other || other == this || !other->IsEnabled()) continue;
            if (YieldsTo(other)) {
                if (depth < 7) other->layout_among(dc, &taken, depth + 1);
            } else if (HasScaleLabels() == other->HasScaleLabels()) {
                other->PriorityLabels(dc, this, taken);
            }
        }
    return layout(dc, taken.empty() ? nullptr : &taken, kept);
}

std::vector<char> CChartAxis::LayoutLabels(CChartDC* dc) {
    return layout_among(dc, nullptr, 0);
}

// ---------------------------------------------------------------- kinds

CChartTick* CChartAxis1::PlaceTick(double value, int minor) {
    const double x = place(0, value), sy = span(1), t = length(minor);
    return AddTick(new CChartVertex(x, 0, 0), new CChartVertex(x, sy, 0),
                   new CChartVertex(x, sy + t * sy, 0));
}

CChartTick* CChartAxis2::PlaceTick(double value, int minor) {
    const double x = place(0, value), sy = span(1), sz = span(2), t = length(minor);
    return AddTick(new CChartVertex(x, 0, 0), new CChartVertex(x, 0, sz),
                   new CChartVertex(x, t * sy, sz));
}

CChartTick* CChartAxis3::PlaceTick(double value, int minor) {
    const double y = place(1, value), sx = span(0), sz = span(2), t = length(minor);
    return AddTick(new CChartVertex(0, y, 0), new CChartVertex(0, y, sz),
                   new CChartVertex(t * sx, y, sz));
}

CChartTick* CChartAxis4::PlaceTick(double value, int minor) {
    const double y = place(1, value), sx = span(0), t = length(minor);
    return AddTick(new CChartVertex(0, y, 0), new CChartVertex(sx, y, 0),
                   new CChartVertex(sx + t * sx, y, 0));
}

CChartTick* CChartAxis5::PlaceTick(double value, int minor) {
    const double z = place(2, value), sx = span(0), sy = span(1), t = length(minor);
    return AddTick(new CChartVertex(0, 0, z), new CChartVertex(0, sy, z),
                   new CChartVertex(t * sx, sy, z));
}

CChartTick* CChartAxis6::PlaceTick(double value, int minor) {
    const double z = place(2, value), sx = span(0), t = length(minor);
    return AddTick(new CChartVertex(0, 0, z), new CChartVertex(sx, 0, z),
                   new CChartVertex(sx + t * sx, 0, z));
}

CChartTick* CChartAxis7::PlaceTick(double a, int) {
    const double ox = plot_ ? plot_->GetOriginX() : 0.0;
    const double oy = plot_ ? plot_->GetOriginY() : 0.0;
    const double oz = plot_ ? plot_->GetOriginZ() : 0.0;
    const double r = GetBox()[6]; // the element-bound x maximum
    const double r2 = (GetTickLength() + 1.0) * r;
    return AddTick(new CChartVertex(ox, oy, oz),
                   new CChartVertex(r * std::cos(a), oy, -r * std::sin(a)),
                   new CChartVertex(r2 * std::cos(a), oy, -r2 * std::sin(a)));
}
