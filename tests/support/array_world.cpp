// A model of large arrays and its C++ (see array_world.h).
#include "tests/support/array_world.h"

#include <algorithm>
#include <cstdint>

#include "model/model.h"

namespace {

// The constants, as floats (what the engine reads).
constexpr float adjust = 0.0625f, perceive_time = 4, count_scale = 1;

float goal_of(int i) {
    return static_cast<float>(48 + (i * 37) % 97);
}

// The lookup's points: steps of x and y are short binary fractions, so the
// value exactly at a point is the same from either segment.
const std::vector<std::pair<float, float>>& effect_points() {
    static const std::vector<std::pair<float, float>> p = {{0, 0.25f},    {0.5f, 0.5f}, {1, 1},
                                                           {1.5f, 1.25f}, {2, 1.375f},  {4, 1.5f}};
    return p;
}

double effect(double v) {
    const auto& t = effect_points();
    if (v <= t.front().first) return t.front().second;
    if (v >= t.back().first) return t.back().second;
    std::size_t k = 1;
    while (t[k].first < v) ++k;
    const double x0 = t[k - 1].first, y0 = t[k - 1].second;
    return y0 + (v - x0) * (static_cast<double>(t[k].second) - y0) /
                    (static_cast<double>(t[k].first) - x0);
}

} // namespace

std::size_t array_world::row_size() const {
    std::size_t n = 0;
    for (const auto& v : saved) n += static_cast<std::size_t>(v.second);
    return n;
}

std::vector<std::size_t> array_world::slots(const model_builder& b) const {
    std::vector<std::size_t> s;
    for (const auto& [name, count] : saved) {
        const auto first =
            static_cast<std::size_t>(get_symbol(b.symbols(), b.id(name.c_str())).slot);
        for (int i = 0; i < count; ++i) s.push_back(first + static_cast<std::size_t>(i));
    }
    return s;
}

array_world build_array_world(model_builder& b, int cells) {
    b.control(0, 0.25f * array_world_steps, 0.25f, 0.25f);
    std::vector<std::string> names;
    for (int i = 0; i < cells; ++i) names.push_back("c" + std::to_string(i));
    std::vector<const char*> ptrs;
    for (const auto& n : names) ptrs.push_back(n.c_str());
    b.range("cells", ptrs);
    std::vector<float> goals;
    for (int i = 0; i < cells; ++i) goals.push_back(goal_of(i));
    b.constant_list("goal[cells]", goals);
    b.constant("adjust", adjust);
    b.constant("perceive time", perceive_time);
    b.constant("count scale", count_scale * static_cast<float>(cells));
    b.lookup("effect", effect_points());
    b.level("stock[cells]", "inflow[cells] - outflow[cells]", "goal[cells]");
    b.aux("ratio[cells]", "stock[cells] / goal[cells]");
    b.aux("effect on inflow[cells]", "effect(ratio[cells])");
    b.aux("total", "SUM(stock[cells!])");
    b.aux("largest", "VMAX(stock[cells!])");
    b.aux("share[cells]", "stock[cells] / total");
    b.aux("perceived[cells]",
          "SMOOTH3(effect on inflow[cells] * share[cells] * count scale, perceive time)");
    b.aux("inflow[cells]", "adjust * goal[cells] * perceived[cells]");
    b.aux("outflow[cells]", "adjust * stock[cells] * stock[cells] / largest");
    array_world w;
    w.cells = cells;
    w.saved = {{"stock", cells},     {"ratio", cells},  {"effect on inflow", cells},
               {"total", 1},         {"largest", 1},    {"share", cells},
               {"perceived", cells}, {"inflow", cells}, {"outflow", cells}};
    return w;
}

void array_world_cpp(int cells, std::vector<float>& rows) {
    const auto n = static_cast<std::size_t>(cells);
    std::vector<float> goal(n), stock(n), ratio(n), eff(n), share(n), perceived(n), inflow(n),
        outflow(n), rate(n), state(3 * n), state_rate(3 * n);
    float total = 0, largest = 0;
    const float scale = count_scale * static_cast<float>(cells);
    for (std::size_t i = 0; i < n; ++i) goal[i] = stock[i] = goal_of(static_cast<int>(i));
    rows.clear();
    rows.reserve((9 * n) * (array_world_steps + 1));
    const float h = 0.25f;
    for (int step = 0;; ++step) {
        for (std::size_t i = 0; i < n; ++i) {
            ratio[i] = static_cast<float>(double{stock[i]} / goal[i]);
            eff[i] = static_cast<float>(effect(ratio[i]));
        }
        double sum = 0, most = stock[0];
        for (std::size_t i = 0; i < n; ++i) {
            sum += stock[i];
            most = std::max(most, double{stock[i]});
        }
        total = static_cast<float>(sum);
        largest = static_cast<float>(most);
        for (std::size_t i = 0; i < n; ++i) share[i] = static_cast<float>(double{stock[i]} / total);
        const double stage = double{perceive_time} / 3;
        for (std::size_t i = 0; i < n; ++i) {
            const double in = double{eff[i]} * share[i] * scale;
            float* s = &state[3 * i];
            if (step == 0) s[0] = s[1] = s[2] = static_cast<float>(in);
            perceived[i] = s[2];
            inflow[i] = static_cast<float>(double{adjust} * goal[i] * perceived[i]);
            outflow[i] = static_cast<float>(double{adjust} * stock[i] * stock[i] / largest);
            rate[i] = static_cast<float>(double{inflow[i]} - outflow[i]);
            float* r = &state_rate[3 * i];
            double prev = in;
            for (int q = 0; q < 3; ++q) {
                r[q] = static_cast<float>((prev - s[q]) / stage);
                prev = s[q];
            }
        }
        for (const std::vector<float>* v : {&stock, &ratio, &eff})
            rows.insert(rows.end(), v->begin(), v->end());
        rows.push_back(total);
        rows.push_back(largest);
        for (const std::vector<float>* v : {&share, &perceived, &inflow, &outflow})
            rows.insert(rows.end(), v->begin(), v->end());
        if (step == array_world_steps) break;
        for (std::size_t i = 0; i < n; ++i) stock[i] = stock[i] + h * rate[i];
        for (std::size_t i = 0; i < 3 * n; ++i) state[i] = state[i] + h * state_rate[i];
    }
}
