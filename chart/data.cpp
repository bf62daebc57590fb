// The chart's data model: data sets and their points, palette, titles,
// legend and annotation series, bounds, and the ranges the plots scale to.
#include "chart/data.h"

#include "chart/plotpass.h"

#include <algorithm>
#include <cmath>

void CChartDataPoint::SetLabel(const char* text) {
    has_label_ = 1;
    if (!text) return;
    if (!label_) label_ = new CChartString();
    *label_ = text;
}

CChartDataPoint* CChartSeries::AddPoint(double x, double y, double z) {
    if (count_ >= CChartPtrArray<CChartDataPoint>::kMaxIndex) return nullptr;
    // Points live in chunks: one allocation each would dominate a refill.
    CChartDataPoint* p = storage_.make(x, y, z);
    points_.At(++count_) = p;
    if (count_ == 1) {
        x_max_ = x_min_ = x;
        y_max_ = y_min_ = y;
        z_max_ = z_min_ = z;
    } else {
        x_max_ = std::max(x_max_, x), x_min_ = std::min(x_min_, x);
        y_max_ = std::max(y_max_, y), y_min_ = std::min(y_min_, y);
        z_max_ = std::max(z_max_, z), z_min_ = std::min(z_min_, z);
    }
    x_sum_ += x, y_sum_ += y, z_sum_ += z;
    return p;
}

CChartDataPoint* CChartSeries::GetPoint(int i) {
    if (count_ == 0) {
        // Readers of an empty series (bar builds, labels) get a zero point;
        // adding one would change the data they are reading.
        static CChartDataPoint zero(0, 0, 0);
        return &zero;
    }
    if (i < 1) i = 1;
    if (i > count_) i = count_;
    return points_.Get(i);
}

void CChartSeries::Clear() {
    for (int i = 1; i <= count_; ++i) points_.At(i) = nullptr;
    storage_.clear();
    count_ = 0;
    x_max_ = x_min_ = x_sum_ = y_max_ = y_min_ = y_sum_ = z_max_ = z_min_ = z_sum_ = 0;
    configured_ = 1;
    name_ = "";
}

double CChartSeries::GetXStep() const {
    double step = 0;
    for (int i = 2; i <= count_; ++i) {
        double d = points_.Get(i)->GetX() - points_.Get(i - 1)->GetX();
        if (d > 0 && (step == 0 || d < step)) step = d;
    }
    if (step > 0) return step;
    double span = x_max_ - x_min_;
    return span > 0 ? span : 1.0;
}

double CChartSeries::GetAbsYSum() const {
    double s = 0;
    for (int i = 1; i <= count_; ++i) s += std::fabs(points_.Get(i)->GetY());
    return s;
}

namespace {

const CChartColor kPalette[16] = {
    {255, 0, 0},     {0, 255, 0},     {0, 0, 255},     {255, 255, 0},  {255, 0, 255}, {0, 255, 255},
    {128, 0, 0},     {0, 0, 128},     {0, 128, 0},     {255, 128, 0},  {0, 128, 255}, {128, 0, 255},
    {164, 200, 240}, {128, 128, 128}, {255, 255, 100}, {192, 220, 192}};

} // namespace

CChartData::CChartData(CChart* owner, int x_mode) : owner_(owner), x_mode_(x_mode) {
    std::copy(std::begin(kPalette), std::end(kPalette), palette_);
    groups_ = make_named("Groups");
    domain_ = make_named("Domain");
    range_ = make_named("Range");
    SelectDataSet(1);
    changed_ = 0;
}

CChartData::~CChartData() {
    for (int i = 1; i <= data_set_objects_; ++i) delete sets_.Get(i);
    for (int i = 1; i <= legend_count_; ++i) delete legends_.Get(i);
    for (int i = 1; i <= annotation_count_; ++i) delete annotations_.Get(i);
    for (CChartSeries* s : axis_title_) delete s;
    for (CChartSeries* s : axis_label_) delete s;
    for (CChartSeries* s : title_) delete s;
    delete groups_;
    delete domain_;
    delete range_;
}

CChartSeries* CChartData::make_named(const char* name) {
    auto* s = new CChartSeries();
    s->SetName(name);
    return s;
}

CChartColor CChartData::PaletteColour(int i) const {
    if (i < 1) return CChartColor(0, 0, 0);
    return palette_[(i - 1) % 16];
}

void CChartData::SetPalette(const CChartColor colours[16], int recolour) {
    if (!colours) return;
    std::copy(colours, colours + 16, palette_);
    if (recolour == 1)
        for (int i = 1; i <= data_set_objects_; ++i)
            sets_.Get(i)->GetStyle()->SetFillColor(PaletteColour(i));
    changed_ = 1;
}

CChartSeries* CChartData::SelectDataSet(int n) {
    n = std::clamp(n, 1, kMaxSets);
    while (data_set_objects_ < n) sets_.At(++data_set_objects_) = new CChartSeries();
    current_set_ = n;
    CChartSeries* s = sets_.Get(n);
    if (!s->IsConfigured()) {
        s->MarkConfigured();
        CChartStyle* st = s->GetStyle();
        st->SetPenColor(CChartColor(0, 0, 0));
        st->SetFillColor(PaletteColour(n));
        st->SetSwitchA(style_switch_a_);
        st->SetSwitchB(0);
    }
    if (n > highest_set_) highest_set_ = n;
    if (lowest_set_ == 0) lowest_set_ = n;
    return s;
}

CChartDataPoint* CChartData::AddPoint(double x, double y, const char* x_label,
                                      const char* y_label) {
    // One non-finite value would make every bound and scale of the chart NaN.
    if (!std::isfinite(x) || !std::isfinite(y)) return nullptr;
    if (current_set_ < 1) SelectDataSet(1);
    x_mode_ = 3;
    CChartDataPoint* p = sets_.Get(current_set_)->AddPoint(x, y, current_set_);
    if (x_label) {
        if (CChartDataPoint* d = domain_->AddPoint(x, 0, 0)) d->SetLabel(x_label);
    }
    if (y_label) {
        if (CChartDataPoint* r = range_->AddPoint(0, y, 0)) r->SetLabel(y_label);
    }
    changed_ = 1;
    return p;
}

CChartSeries* CChartData::AddLegend(const char* text, double x, double y, double z) {
    if (legend_count_ >= kMaxItems) return nullptr;
    auto* s = new CChartSeries();
    legends_.At(++legend_count_) = s;
    s->SetName(text ? text : "");
    s->MarkConfigured();
    s->GetStyle()->SetPenColor(CChartColor(0, 0, 0));
    s->GetStyle()->SetFillColor(PaletteColour(legend_count_));
    s->GetTextStyle()->SetHAnchor2();
    s->GetTextStyle()->SetTextColor(PaletteColour(legend_count_));
    for (int i = 0; i < 3; ++i) s->AddPoint(x, y, z);
    changed_ = 1;
    return s;
}

void CChartData::configure_item(CChartSeries* s, int n, bool legend) {
    if (s->IsConfigured()) return;
    s->MarkConfigured();
    CChartStyle* st = s->GetStyle();
    st->SetPenColor(CChartColor(0, 0, 0));
    st->SetFillColor(legend ? PaletteColour(n) : CChartColor(0, 0, 0));
    st->SetPenStyle(line_style_cycle_[0]);
    st->SetSwitchA(1);
    st->SetSwitchB(1);
    st->SetPenWidth(legend_pen_width_);
}

CChartSeries* CChartData::GetLegend(int n) {
    n = std::clamp(n, 1, kMaxItems);
    while (legend_count_ < n) {
        auto* s = new CChartSeries();
        s->SetName("Un-assigned Legend!");
        legends_.At(++legend_count_) = s;
    }
    CChartSeries* s = legends_.Get(n);
    configure_item(s, n, true);
    return s;
}

CChartSeries* CChartData::GetAnnotation(int n) {
    n = std::clamp(n, 1, kMaxItems);
    while (annotation_count_ < n) {
        auto* s = new CChartSeries();
        s->SetName("Un-assigned Annotation!");
        annotations_.At(++annotation_count_) = s;
    }
    CChartSeries* s = annotations_.Get(n);
    configure_item(s, n, false);
    return s;
}

CChartSeries* CChartData::GetTitle(int kind) {
    if (kind < 1 || kind > 7) kind = 2;
    CChartSeries*& s = title_[kind - 1];
    if (!s) s = new CChartSeries();
    if (!s->IsConfigured()) {
        s->MarkConfigured();
        s->GetStyle()->SetPenColor(CChartColor(0, 0, 0));
        s->GetStyle()->SetFillColor(CChartColor(0, 0, 0));
        CChartTextStyle* t = s->GetTextStyle();
        switch (kind) {
        case 1:
            t->SetVAnchor1();
            break;
        case 2:
        case 7:
            t->SetVAnchor2();
            break;
        case 3:
            t->SetHAnchor2();
            break;
        case 4:
            t->SetHAnchor1();
            break;
        case 5:
            t->SetHAnchor2(), t->SetVAnchor2();
            break;
        case 6:
            t->SetHAnchor1(), t->SetVAnchor1();
            break;
        }
    }
    return s;
}

CChartSeries* CChartData::GetAxisLabel(int kind) {
    if (kind < 1 || kind > 7) kind = 2;
    CChartSeries*& s = axis_label_[kind - 1];
    if (!s) s = new CChartSeries();
    if (!s->IsConfigured()) {
        s->MarkConfigured();
        CChartTextStyle* t = s->GetTextStyle();
        switch (kind) {
        case 1:
        case 6:
            t->SetHAnchor1(), t->SetVAnchor1();
            break;
        case 2:
        case 5:
            t->SetHAnchor2(), t->SetVAnchor2();
            break;
        case 3:
            t->SetHAnchor2(), t->SetVAnchor2(), t->SetAngle(-90);
            break;
        case 4:
            t->SetHAnchor1(), t->SetVAnchor1(), t->SetAngle(90);
            break;
        case 7:
            t->SetVAnchor2();
            break;
        }
    }
    return s;
}

CChartSeries* CChartData::GetAxisTitle(int axis) {
    CChartSeries*& s = axis_title_[axis == 2 ? 1 : 0];
    if (!s) s = new CChartSeries();
    if (!s->IsConfigured()) {
        s->MarkConfigured();
        s->GetStyle()->SetPenColor(CChartColor(0, 0, 0));
        s->GetStyle()->SetFillColor(CChartColor(0, 0, 0));
    }
    return s;
}

CChartSeries* CChartData::SetAxisTitle(const char* text, int axis, double x, double y, double z) {
    CChartSeries* s = GetAxisTitle(axis);
    s->Clear();
    for (int i = 0; i < 3; ++i) s->AddPoint(x, y, z);
    s->SetName(text ? text : "");
    changed_ = 1;
    return s;
}

void CChartData::Clear() {
    groups_->Clear(), groups_->SetName("Groups");
    domain_->Clear(), domain_->SetName("Domain");
    range_->Clear(), range_->SetName("Range");
    for (int i = 1; i <= data_set_objects_; ++i) delete sets_.Get(i), sets_.At(i) = nullptr;
    data_set_objects_ = highest_set_ = lowest_set_ = current_set_ = 0;
    SelectDataSet(1);
    changed_ = 1;
}

// The bounds below visit only data sets that hold points: a set made on the
// way to a higher number has no data and must not pull the range to zero.

double CChartData::GetXMin() const {
    double v;
    if (x_mode_ == 3) {
        bool any = false;
        v = 0;
        for (int i = 1; i <= highest_set_; ++i) {
            const CChartSeries* s = sets_.Get(i);
            if (!s || !s->HasPoints()) continue;
            v = any ? std::min(v, s->XMin()) : s->XMin();
            any = true;
        }
    } else {
        v = x_mode_ == 2 ? 0.0 : 1.0;
    }
    if (has_fixed_x_min_) v = std::min(v, fixed_x_min_);
    return v;
}

double CChartData::GetXMax() const {
    double v = 0;
    if (x_mode_ == 3) {
        bool any = false;
        for (int i = 1; i <= highest_set_; ++i) {
            const CChartSeries* s = sets_.Get(i);
            if (!s || !s->HasPoints()) continue;
            v = any ? std::max(v, s->XMax()) : s->XMax();
            any = true;
        }
    } else {
        const CChartSeries* first = sets_.Get(1);
        v = first ? first->XMax() : 0.0;
        for (int i = 2; i <= highest_set_; ++i)
            if (const CChartSeries* s = sets_.Get(i))
                v = std::max(v, static_cast<double>(s->GetCount()));
        if (x_mode_ == 2) v -= 1.0;
    }
    if (has_fixed_x_max_) v = std::max(v, fixed_x_max_);
    return v;
}

double CChartData::GetXStep() const {
    if (x_mode_ != 3) return 1.0;
    double step = 1.0;
    for (int i = std::max(lowest_set_, 1); i <= highest_set_; ++i)
        if (const CChartSeries* s = sets_.Get(i); s && s->HasPoints())
            step = std::min(step, s->GetXStep());
    return step;
}

double CChartData::raw_y_max() const {
    double v = 0;
    bool any = false;
    for (int i = std::max(lowest_set_, 1); i <= highest_set_; ++i) {
        const CChartSeries* s = sets_.Get(i);
        if (!s || !s->HasPoints()) continue;
        v = any ? std::max(v, s->YMax()) : s->YMax();
        any = true;
    }
    return v;
}

double CChartData::raw_y_min() const {
    double v = 0;
    bool any = false;
    for (int i = std::max(lowest_set_, 1); i <= highest_set_; ++i) {
        const CChartSeries* s = sets_.Get(i);
        if (!s || !s->HasPoints()) continue;
        v = any ? std::min(v, s->YMin()) : s->YMin();
        any = true;
    }
    return v;
}

double CChartData::apply_max(double v) const {
    if (has_fixed_y_max_ && fixed_y_max_ > v) v = fixed_y_max_;
    if (round_max_) v = std::ceil(v + max_margin_);
    return v;
}

double CChartData::apply_min(double v) const {
    if (has_fixed_y_min_ && fixed_y_min_ < v) v = fixed_y_min_;
    if (round_min_) v = std::floor(v - min_margin_);
    return v;
}

double CChartData::GetYMax() const {
    double hi = raw_y_max(), lo = raw_y_min();
    if (hi < 0 && (force_zero_ == 1 || !((hi - lo) * zero_factor_ < -hi))) hi = 0.0;
    return apply_max(hi);
}

double CChartData::GetYMin() const {
    double hi = raw_y_max(), lo = raw_y_min();
    if (lo > 0 && (force_zero_ == 1 || !((hi - lo) * zero_factor_ < lo))) lo = 0.0;
    return apply_min(lo);
}

double CChartData::GetStackMax() {
    int lowest = std::max(lowest_set_, 1);
    int most = 0;
    for (int i = lowest; i <= highest_set_; ++i)
        if (const CChartSeries* s = sets_.Get(i)) most = std::max(most, s->GetCount());
    const CChartSeries* low = sets_.Get(lowest);
    double v = low ? low->YMax() : 0.0;
    for (int p = 1; p <= most; ++p) {
        double sum = 0;
        for (int i = lowest; i <= highest_set_; ++i) {
            CChartSeries* s = sets_.Get(i);
            if (s && s->GetCount() >= p) sum += std::max(0.0, s->GetPoint(p)->GetY());
        }
        v = std::max(v, sum);
    }
    return apply_max(v);
}

double CChartData::GetStackMin() {
    int lowest = std::max(lowest_set_, 1);
    int most = 0;
    for (int i = lowest; i <= highest_set_; ++i)
        if (const CChartSeries* s = sets_.Get(i)) most = std::max(most, s->GetCount());
    const CChartSeries* low = sets_.Get(lowest);
    double v = low ? low->YMin() : 0.0;
    for (int p = 1; p <= most; ++p) {
        double sum = 0;
        for (int i = lowest; i <= highest_set_; ++i) {
            CChartSeries* s = sets_.Get(i);
            if (s && s->GetCount() >= p) sum += std::min(0.0, s->GetPoint(p)->GetY());
        }
        v = std::min(v, sum);
    }
    return apply_min(v);
}

double CChartData::GetZMax() const {
    if (x_mode_ != 3) return highest_set_;
    double v = 0;
    bool any = false;
    for (int i = std::max(lowest_set_, 1); i <= highest_set_; ++i) {
        const CChartSeries* s = sets_.Get(i);
        if (!s || !s->HasPoints()) continue;
        v = any ? std::max(v, s->ZMax()) : s->ZMax();
        any = true;
    }
    return v;
}

double CChartData::GetZMin() const {
    if (x_mode_ != 3) return 0.0;
    double v = 0;
    bool any = false;
    for (int i = std::max(lowest_set_, 1); i <= highest_set_; ++i) {
        const CChartSeries* s = sets_.Get(i);
        if (!s || !s->HasPoints()) continue;
        v = any ? std::min(v, s->ZMin()) : s->ZMin();
        any = true;
    }
    return v;
}

void CChartData::Notify(int build, int rebuild, int project, int to_screen, int set_view) {
    if (!plot_) return;
    bool all = build == 1 || changed_ == 1;
    if (all || rebuild == 1) {
        if (all) {
            plot_->Build(this);
            changed_ = 0;
        }
        plot_->Rebuild();
    }
    if (all || project == 1) plot_->ProjectPass();
    if (all || to_screen == 1) plot_->ToScreenPass();
    if (all || set_view == 1) plot_->SetViewPass();
}
