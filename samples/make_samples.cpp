// Writes the sample models into the folder given on the command line.
#include <cstdio>
#include <string>

#include "model/model.h"
#include "tests/support/model_builder.h"

namespace {

bool save(model_builder& b, const std::string& dir, const char* name) {
    if (!b.finish()) {
        for (const auto& e : b.errors()) std::fprintf(stderr, "%s: %s\n", name, e.c_str());
        return false;
    }
    std::string path = dir + "/" + name;
    if (b.write(path.c_str()) != 1) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool population(const std::string& dir) {
    model_builder b("population");
    b.control(0, 200, 0.5f, 1);
    symbol_id pop = b.level("Population", "births - deaths", "initial population", "people");
    b.constant("initial population", 1000, "people");
    b.aux("births",
          "Population * birth rate * crowding effect on births(Population / carrying capacity)",
          "people/year");
    b.aux(
        "deaths",
        "Population / average lifetime * crowding effect on deaths(Population / carrying capacity)",
        "people/year");
    symbol_id br = b.constant("birth rate", 0.04f, "1/year");
    b.constant("average lifetime", 60, "year");
    b.constant("carrying capacity", 10000, "people");
    b.lookup("crowding effect on births",
             {{0, 1.1f}, {0.5f, 1}, {1, 0.7f}, {1.5f, 0.3f}, {2, 0.1f}});
    b.lookup("crowding effect on deaths", {{0, 0.9f}, {0.5f, 1}, {1, 1.4f}, {1.5f, 2.5f}, {2, 4}});
    symbol_id g = b.group("Population sector");
    b.in_group(pop, g).in_group(br, g);
    b.comment(pop, "The people living in the region.");
    b.limits(br, 0, 0.1f, 0.005f);
    b.flags(br, sf_changeable | sf_slider);
    b.settings_text(":FLAGS 0 0\n:NOTE A population limited by crowding.\n");
    return save(b, dir, "population.kmf");
}

bool inventory(const std::string& dir) {
    model_builder b("inventory");
    b.control(0, 100, 0.25f, 0.5f);
    b.level("Inventory", "production - shipments", "desired inventory", "widgets");
    // Started at what the firm needs (from its production is a loop: the delay
    // in production takes its first value from the workforce).
    b.level("Workforce", "net hiring", "desired production / productivity", "people");
    b.aux("shipments", "customer orders", "widgets/week");
    b.aux("customer orders", "100 + STEP(20, 10) + 10 * SIN(Time / 5)", "widgets/week");
    b.aux("expected orders", "SMOOTH(customer orders, order averaging time)", "widgets/week");
    b.aux("desired inventory", "expected orders * inventory coverage", "widgets");
    b.aux("desired production",
          "MAX(0, expected orders + (desired inventory - Inventory) / inventory adjustment time)",
          "widgets/week");
    b.aux("desired workforce", "desired production / productivity", "people");
    b.aux("net hiring", "(desired workforce - Workforce) / hiring delay", "people/week");
    b.aux("production", "DELAY3(Workforce * productivity, production delay)", "widgets/week");
    b.aux("order trend", "TREND(customer orders, 8, 0)", "1/week");
    b.constant("order averaging time", 4, "week");
    b.constant("inventory coverage", 3, "week");
    b.constant("inventory adjustment time", 6, "week");
    b.constant("productivity", 2.5f, "widgets/people/week");
    b.constant("hiring delay", 8, "week");
    b.constant("production delay", 2, "week");
    return save(b, dir, "inventory.kmf");
}

bool epidemic(const std::string& dir) {
    model_builder b("epidemic");
    b.control(0, 120, 0.125f, 1);
    b.level("Susceptible", "-infections", "total population - 1", "people");
    b.level("Infected", "infections - recoveries", "1", "people");
    b.level("Recovered", "recoveries", "0", "people");
    b.aux("infections", "Susceptible * Infected * contact rate * infectivity / total population",
          "people/day");
    b.aux("recoveries", "Infected / illness duration", "people/day");
    b.constant("total population", 10000, "people");
    b.constant("contact rate", 6, "1/day");
    b.constant("infectivity", 0.05f, "dmnl");
    b.constant("illness duration", 7, "day");
    b.aux("share infected", "SAFE DIV(Infected, total population, 0)", "dmnl");
    b.string_var("title", "A simple epidemic");
    return save(b, dir, "epidemic.kmf");
}

bool subscripted(const std::string& dir) {
    model_builder b("subscripted");
    b.control(0, 50, 0.5f, 1);
    b.range("region", {"north", "south", "east", "west"});
    b.range("product", {"food", "tools", "cloth"});
    b.constant_list("demand[region, product]", {10, 5, 2, 8, 4, 3, 12, 6, 1, 9, 3, 4},
                    "units/month");
    b.level("Stock[region, product]", "supply[region, product] - demand[region, product]", "100",
            "units");
    b.aux("supply[region, product]", "SMOOTH(demand[region, product], 3)", "units/month");
    b.aux("regional stock[region]", "SUM(Stock[region, product!])", "units");
    b.aux("largest stock", "VMAX(regional stock[region!])", "units");
    b.aux("smallest stock", "VMIN(regional stock[region!])", "units");
    b.aux("stock product", "PROD(regional stock[region!]) / 1e6", "dmnl");
    return save(b, dir, "subscripted.kmf");
}

bool large(const std::string& dir) {
    model_builder b("large");
    b.control(0, 100, 1, 1);
    add_stock_ring(b);
    return save(b, dir, "large.kmf");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_samples <folder>\n");
        return 2;
    }
    init_vocabulary();
    std::string dir = argv[1];
    bool ok = population(dir) && inventory(dir) && epidemic(dir) && subscripted(dir) && large(dir);
    return ok ? 0 : 1;
}
