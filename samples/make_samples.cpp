// Writes the sample models into the folder given on the command line.
#include <cstdio>
#include <string>

#include "model/model.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

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
    // The stock and its flows, with a slider for the birth rate; a second
    // view of the crowding effects; a shared view with a link between them.
    view_layout shared(b, "Notes", 1);
    shared.text_box("See the crowding effects", 620, 30, 3);
    view_layout v(b, "Population");
    int source = v.cloud(60, 180);
    int stock = v.stock("Population", 320, 180);
    int sink = v.cloud(600, 180);
    v.flow("births", source, stock, 180, 180);
    v.flow("deaths", stock, sink, 460, 180);
    v.variable("birth rate", 120, 300);
    v.variable("average lifetime", 520, 300);
    v.variable("carrying capacity", 320, 320);
    v.variable("crowding effect on births", 120, 90);
    v.variable("crowding effect on deaths", 520, 90);
    v.shadow("initial population", 320, 90);
    v.arrows_from_causes();
    v.input_slider("birth rate", 120, 400, "0,0.1,0.005");
    view_layout crowding(b, "Crowding");
    crowding.shadow("Population", 120, 120);
    crowding.shadow("carrying capacity", 120, 240);
    crowding.variable("crowding effect on births", 360, 120);
    crowding.variable("crowding effect on deaths", 360, 240);
    crowding.text_box("Crowding slows births and hastens deaths", 240, 340, 2);
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
    view_layout v(b, "Inventory");
    int in = v.cloud(60, 120);
    int inventory = v.stock("Inventory", 320, 120);
    int out = v.cloud(600, 120);
    v.flow("production", in, inventory, 180, 120);
    v.flow("shipments", inventory, out, 460, 120);
    int hire_from = v.cloud(60, 420);
    int workforce = v.stock("Workforce", 320, 420);
    v.flow("net hiring", hire_from, workforce, 180, 420);
    v.variable("customer orders", 600, 230);
    v.variable("expected orders", 460, 290);
    v.variable("order trend", 640, 330);
    v.variable("desired inventory", 320, 250);
    v.variable("desired production", 320, 330);
    v.variable("desired workforce", 460, 380);
    v.variable("order averaging time", 600, 400);
    v.variable("inventory coverage", 160, 250);
    v.variable("inventory adjustment time", 150, 310);
    v.variable("productivity", 460, 480);
    v.variable("hiring delay", 160, 500);
    v.variable("production delay", 60, 30);
    v.shadow("Time", 700, 180);
    v.arrows_from_causes();
    // The graph set's "Orders" graph shown on the view, following the runs.
    v.output_graph("Orders", 380, 700, 200, 140);
    // A graph set in the settings: the work-in-progress graph, custom graphs,
    // a bar graph, a table and a report whose lines show values of the run.
    b.settings_text(":FLAGS 0 0\n"
                    ":NOTE Inventory and workforce answering a step in orders.\n"
                    "///---\\\\\\\n"
                    ":GRAPH Inventory_WIP\n"
                    ":TITLE Inventory while simulating\n"
                    ":WIP\n"
                    ":MAX-POINTS 250\n"
                    ":VAR Inventory\n"
                    ":VAR desired inventory\n"
                    "\n"
                    ":GRAPH Orders\n"
                    ":TITLE Orders and workforce of \\&*1/\n"
                    ":X-DIV ?0=start?50=middle?100=end\n"
                    ":Y-LABEL 0=none?100=base?150=high\n"
                    ":SCALE\n"
                    ":VAR customer orders|Orders,expected orders\n"
                    ":SCALE\n"
                    ":VAR Workforce\n"
                    ":LINE-STYLE DASH\n"
                    ":LINE-COLOR 160-0-160\n"
                    "\n"
                    ":BAR-GRAPH Bars\n"
                    ":AS-RUN Stocks\n"
                    ":VAR Inventory,Workforce\n"
                    ":AS-RUN Flows\n"
                    ":VAR production,shipments\n"
                    "\n"
                    ":TABLE Rates\n"
                    ":PRINT-EVERY 10\n"
                    ":VAR production,shipments\n"
                    "\n"
                    ":REPORT Summary\n"
                    ":TITLE Inventory report for \\&*1/\n"
                    "Inventory at the end: \\Inventory@END%.1f/ widgets\n"
                    "Workforce at the start: \\/ people\n"
                    ":VAR Workforce@START%.0f\n"
                    ":END-OF-REPORT\n"
                    "\n"
                    ":GRAPH Style_1\n"
                    ":GRAPH-STYLE 1\n"
                    ":VAR Inventory\n"
                    "\n"
                    ":GRAPH Style_3\n"
                    ":GRAPH-STYLE 3\n"
                    ":VAR Workforce\n");
    return save(b, dir, "inventory.kmf");
}

bool epidemic(const std::string& dir) {
    model_builder b("epidemic");
    b.control(0, 120, 0.125f, 1);
    b.level("Susceptible", "-infections", "total population - 1", "people");
    b.level("Infected", "infections - recoveries", "1", "people");
    b.level("Recovered", "recoveries", "0", "people");
    b.aux("infections",
          "Susceptible * Infected * contact rate * distancing * infectivity / total population",
          "people/day");
    // The player's decision in a game: the share of contacts still made.
    b.game_input("distancing", "1", "dmnl");
    b.aux("recoveries", "Infected / illness duration", "people/day");
    b.constant("total population", 10000, "people");
    b.constant("contact rate", 6, "1/day");
    b.constant("infectivity", 0.05f, "dmnl");
    b.constant("illness duration", 7, "day");
    b.aux("share infected", "SAFE DIV(Infected, total population, 0)", "dmnl");
    b.string_var("title", "A simple epidemic");
    // Behaviour tests: no one is lost (holds), and the infected stay under a
    // tenth of the population (broken at the height of the outbreak).
    b.constraint("population kept",
                 "ABS(Susceptible + Infected + Recovered - total population) < 1");
    b.constraint("outbreak contained", "Infected < total population / 10");
    view_layout v(b, "Epidemic");
    int s = v.stock("Susceptible", 100, 150);
    int i = v.stock("Infected", 360, 150);
    int r = v.stock("Recovered", 620, 150);
    v.flow("infections", s, i, 230, 150);
    v.flow("recoveries", i, r, 490, 150);
    v.variable("total population", 100, 300);
    v.variable("contact rate", 230, 300);
    v.variable("infectivity", 330, 260);
    v.variable("illness duration", 560, 280);
    v.variable("share infected", 360, 360);
    v.variable("distancing", 230, 50);
    v.arrows_from_causes();
    // The player's decision on a slider: it sets the game input in a game.
    v.input_slider("distancing", 120, 430, "0,1,0.05");
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
    view_layout v(b, "Stocks by region");
    int in = v.cloud(60, 120);
    int stock = v.stock("Stock", 320, 120);
    int out = v.cloud(600, 120);
    v.flow("supply", in, stock, 180, 120);
    v.flow("demand", stock, out, 460, 120);
    v.variable("regional stock", 320, 260);
    v.variable("largest stock", 180, 360);
    v.variable("smallest stock", 320, 380);
    v.variable("stock product", 460, 360);
    v.arrows_from_causes();
    // Sliders on the subscripted constant: one on the element the subscript
    // selection picks, one on a named element.
    v.input_slider("demand", 180, 470, "0,20,1");
    v.input_slider("demand[south,tools]", 460, 470, "0,20,1");
    return save(b, dir, "subscripted.kmf");
}

bool large(const std::string& dir) {
    model_builder b("large");
    b.control(0, 100, 1, 1);
    add_stock_ring(b);
    lay_out_stock_ring(b);
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
