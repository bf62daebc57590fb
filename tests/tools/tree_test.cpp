// The Tree Diagram: measuring and fitting with fixed metrics (the fall
// through the five fonts, sizes past 16 bits), and the tool on the population
// sample through the test driver: the causes tree drawn with clickable names,
// both sides, the question for a tree too big and its refusal.
#include "draw/printing.h"
#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "model/model.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/global.h"
#include "platform/print.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/shot.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/texttools.h"
#include "tools/tree.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

// Font i: characters of 10 - 2i pixels, lines of 20 - 3i.
tree_font_metrics fixed(int i) {
    tree_font_metrics m;
    m.cw = 10 - 2 * i;
    m.lh = 20 - 3 * i;
    const int cw = m.cw;
    m.width = [cw](const std::string& s) { return static_cast<int>(s.size()) * cw; };
    return m;
}

// A root with n leaves, all names four characters long.
tree_diagram fan(int n) {
    tree_diagram t;
    t.nodes.resize(static_cast<std::size_t>(n) + 1);
    t.nodes[0].name = "root";
    for (int i = 1; i <= n; ++i) {
        t.nodes[static_cast<std::size_t>(i)].name = "leaf";
        t.nodes[0].children.push_back(i);
    }
    return t;
}

TEST(TreeFit, FallsThroughTheFiveFontsAndStopsAtTheSmallest) {
    tree_diagram t = fan(3);
    long long w = 0, h = 0;
    tree_measure(t, fixed(0), &w, &h);
    // Leaves: 40 + 5 wide, 20 + 13 high; the root 45 + 30 + 45 wide.
    EXPECT_EQ(t.nodes[1].height, 33);
    EXPECT_EQ(t.nodes[0].height, 99);
    EXPECT_EQ(t.nodes[0].subtree_width, 120);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 119);
    // Room for all of it: the largest font.
    EXPECT_EQ(tree_fit(t, fixed, 150, 119).font, 0);
    // Each smaller room picks the first font that reaches 0.9 of it.
    std::vector<int> chosen;
    for (int room : {140, 110, 90, 70}) chosen.push_back(tree_fit(t, fixed, room, room).font);
    EXPECT_TRUE(std::is_sorted(chosen.begin(), chosen.end()));
    EXPECT_GT(chosen.back(), chosen.front());
    // Nothing fits: the smallest font with its scales.
    const tree_fit_result tiny = tree_fit(t, fixed, 10, 10);
    EXPECT_EQ(tiny.font, 4);
    EXPECT_LT(tiny.sx, 0.5);
    EXPECT_DOUBLE_EQ(tiny.sx, 10.0 / static_cast<double>(tiny.need_w));
}

TEST(TreeFit, ThousandsOfLeavesKeepTheirHeight) {
    // 2,000 leaves of 33 pixels: 66,000, far past a 16-bit height.
    tree_diagram t = fan(2000);
    long long w = 0, h = 0;
    tree_measure(t, fixed(0), &w, &h);
    EXPECT_EQ(t.nodes[0].height, 2000LL * 33);
    EXPECT_EQ(h, 2000LL * 33 + 20);
    const tree_fit_result r = tree_fit(t, fixed, 800, 600);
    EXPECT_EQ(r.font, 4);
    EXPECT_GT(r.sy, 0.0);
    EXPECT_LT(r.sy, 0.5);
}

TEST(TreeFit, BothSidesShareTheVariablesName) {
    tree_diagram t;
    t.kind = 2;
    t.nodes.resize(4);
    t.nodes[0].name = "var";
    t.nodes[0].children = {2};
    t.nodes[1].name = "var";
    t.nodes[1].children = {3};
    t.nodes[2].name = "cause";
    t.nodes[3].name = "use";
    long long w = 0, h = 0;
    tree_measure(t, fixed(0), &w, &h);
    const long long causes = t.nodes[0].subtree_width, uses = t.nodes[1].subtree_width;
    EXPECT_EQ(w, causes + uses - t.nodes[0].name_width + 30 + 30);
    EXPECT_EQ(h, 33 + 20);
}

class TreeTool : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_tools();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
        const std::string model = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
        if (HWND palette = td::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
        lock_model(0);
        workbench_var = {};
        workbench_var.var = find_symbol("Population");
        unlock_model(0);
        const int r = find_tool_row("Tree Diagram");
        tool_ = new_tool(r, "Tree Diagram", analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
        analysis_tool_table[r].setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        td::run_until_idle();
        free_tool(tool_);
        for (const char* row : {"Loops", "Outline", "Document", "Table", "Stats", "Tree Diagram"})
            set_tool_setup(find_tool_row(row), nullptr);
        set_report_sink(report_text, nullptr);
        set_report_sink(report_grid, nullptr);
        spread_window_hook = nullptr;
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
    handle run() {
        run_palette_tool(tool_);
        td::run_until_idle();
        tool_record* r = lock_tool(tool_);
        handle out = r ? r->output : 0;
        unlock_tool(tool_);
        return out;
    }
    tree_tool_options* options() {
        tool_record* r = lock_tool(tool_);
        auto* o = static_cast<tree_tool_options*>(tool_options(r));
        unlock_tool(tool_);
        return o;
    }
    handle tool_ = 0;
};

TEST_F(TreeTool, TheCausesOfPopulationAreDrawnAndANameClickedBecomesTheVariable) {
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const tree_diagram* t = tree_of(rec);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->title, "Population: Tree Diagram");
    std::vector<std::string> first;
    for (int c : t->nodes[0].children) first.push_back(t->nodes[static_cast<std::size_t>(c)].name);
    EXPECT_NE(std::find(first.begin(), first.end(), "births"), first.end());
    EXPECT_NE(std::find(first.begin(), first.end(), "deaths"), first.end());
    // Population is met again under births: drawn in parentheses.
    bool repeated = false;
    for (const tree_draw_node& n : t->nodes) repeated = repeated || n.name == "(Population)";
    EXPECT_TRUE(repeated);

    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    const QImage img = save_shot(w, "tree_population.png");
    ASSERT_FALSE(img.isNull());
    EXPECT_LE(tree_chosen_font(rec), 2) << "a small tree takes a large font";
    const std::vector<tree_spot> spots = tree_spots(rec);
    const auto births = std::find_if(spots.begin(), spots.end(),
                                     [](const tree_spot& s) { return s.var == "births"; });
    const auto root = std::find_if(spots.begin(), spots.end(),
                                   [](const tree_spot& s) { return s.var == "Population"; });
    ASSERT_NE(births, spots.end());
    ASSERT_NE(root, spots.end());
    EXPECT_LT(births->rect.right, root->rect.left) << "causes grow to the left";
    int ink = 0;
    for (int y = births->rect.top; y < births->rect.bottom; ++y)
        for (int x = births->rect.left; x < births->rect.right; ++x)
            if (qGray(img.pixel(x, y)) < 96) ++ink;
    EXPECT_GT(ink, 10) << "the name is drawn where its spot is";

    const int cx = (births->rect.left + births->rect.right) / 2;
    const int cy = (births->rect.top + births->rect.bottom) / 2;
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx, cy));
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(cx, cy));
    lock_model(0);
    const symbol_id b = find_symbol("births");
    unlock_model(0);
    EXPECT_EQ(workbench_var.var, b);
}

TEST_F(TreeTool, BothSidesDrawTheNameOnceBetweenCausesAndUses) {
    options()->kind = 2;
    handle rec = run();
    ASSERT_NE(rec, 0u);
    save_shot(outwin_window(rec), "tree_both.png");
    const std::vector<tree_spot> spots = tree_spots(rec);
    const int roots = static_cast<int>(std::count_if(
        spots.begin(), spots.end(), [](const tree_spot& s) { return s.var == "Population"; }));
    EXPECT_GE(roots, 1);
    const auto root = std::find_if(spots.begin(), spots.end(),
                                   [](const tree_spot& s) { return s.var == "Population"; });
    // births is both a cause and a use of Population: once on each side.
    int left = 0, right = 0;
    for (const tree_spot& s : spots)
        if (s.var == "births") (s.rect.right <= root->rect.left ? left : right) += 1;
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 1);
}

TEST_F(TreeTool, ATreeTooBigAsksAndNoLeavesNothingNamingARecord) {
    // A container too small for even the smallest font at half scale.
    MoveWindow(container_wnd, 0, 30, 60, 50, TRUE);
    td::run_until_idle();
    answerer::box("Question from Kavrel").press(IDNO);
    const handle before = cur_output;
    EXPECT_EQ(run(), 0u);
    EXPECT_EQ(answerer::pending(), 0u) << "the question was asked";
    EXPECT_EQ(cur_output, before);
    EXPECT_EQ(opening_tool, 0u);
    // Yes shows it anyway.
    answerer::box("Question from Kavrel").press(IDYES);
    handle rec = run();
    EXPECT_NE(rec, 0u);
    EXPECT_EQ(tree_chosen_font(rec), 4);
}

TEST_F(TreeTool, TheOptionLineReadsBackWithItsFonts) {
    const int r = find_tool_row("Tree Diagram");
    std::string out;
    options()->kind = 1;
    options()->fonts[2].size = 11;
    analysis_tool_table[r].setup(1, tool_, &out, nullptr);
    const char* text[] = {out.c_str()};
    handle again = new_tool(r, "Again", analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
    ASSERT_EQ(push_text_source(text, 1, 0), 1);
    analysis_tool_table[r].setup(0, again, nullptr, "x");
    close_text_source();
    tool_record* rec = lock_tool(again);
    const tree_tool_options o = *static_cast<tree_tool_options*>(tool_options(rec));
    const std::uint32_t icon = rec->icon;
    unlock_tool(again);
    free_tool(again);
    EXPECT_EQ(o.kind, 1);
    EXPECT_EQ(o.fonts[2].size, 11);
    EXPECT_EQ(o.fonts[0].size, 18);
    EXPECT_EQ(o.ninth_show, 1) << "the unsaved switch keeps its default";
    EXPECT_EQ(icon, 0x2D0010u);
}

} // namespace

namespace {

TEST_F(TreeTool, PrintsWithoutAskingHoweverSmallTheWindow) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const std::string pdf = dir + "/tree.pdf";
    const pdf_printer to_pdf(pdf);
    // No question is expected: an unexpected box fails the test.
    SendMessage(outwin_window(rec), WM_COMMAND, cmd_print_output, 0);
    std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("Population"), std::string::npos) << text;
    EXPECT_NE(text.find("births"), std::string::npos) << text;
    EXPECT_NE(text.find("initial population"), std::string::npos) << text;
}

} // namespace

namespace {

TEST_F(TreeTool, HiddenAuxiliariesLiftTheirCausesWithACrossOnTheLink) {
    options()->show[1] = 0; // auxiliaries hidden: births and deaths go
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const tree_diagram* t = tree_of(rec);
    ASSERT_NE(t, nullptr);
    bool births = false, lifted_rate = false, lifted_crowding = false;
    for (const tree_draw_node& n : t->nodes) {
        births = births || n.var == "births";
        lifted_rate = lifted_rate || (n.var == "birth rate" && n.lifted);
        lifted_crowding = lifted_crowding || (n.var == "crowding effect on births" && n.lifted);
    }
    EXPECT_FALSE(births) << "a hidden kind is not drawn";
    EXPECT_TRUE(lifted_rate) << "its causes move up, marked lifted";
    ASSERT_TRUE(lifted_crowding);
    HWND w = outwin_window(rec);
    const QImage img = save_shot(w, "tree_lifted.png");
    const std::vector<tree_spot> spots = tree_spots(rec);
    const auto root = std::find_if(spots.begin(), spots.end(),
                                   [](const tree_spot& s) { return s.var == "Population"; });
    // The lifted cause drawn level with the root: its link is flat, so
    // ink just above and below its middle is the cross line alone.
    const auto rate = std::find_if(spots.begin(), spots.end(), [](const tree_spot& s) {
        return s.var == "crowding effect on births";
    });
    ASSERT_NE(root, spots.end());
    ASSERT_NE(rate, spots.end());
    const int x1 = root->rect.left, y1 = (root->rect.top + root->rect.bottom) / 2;
    const int x2 = rate->rect.right, y2 = (rate->rect.top + rate->rect.bottom) / 2;
    const int mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
    int above = 0, below = 0;
    ASSERT_LE(std::abs(y2 - y1), 1) << "the link is flat";
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = 3; dy <= 5; ++dy) {
            if (qGray(img.pixel(mx + dx, my - dy)) < 96) ++above;
            if (qGray(img.pixel(mx + dx, my + dy)) < 96) ++below;
        }
    EXPECT_GT(above, 0);
    EXPECT_GT(below, 0);
}

} // namespace

namespace {

TEST(TreeLinks, WidthCodesGiveLineStyles) {
    EXPECT_EQ(tree_link_style(0), 1);
    EXPECT_EQ(tree_link_style(3), -3) << "a pen style";
    EXPECT_EQ(tree_link_style(12), 2);
    EXPECT_EQ(tree_link_style(21), 2);
}

symbol_id births_symbol = 0;
bool births_red(std::uint32_t cause, std::uint32_t, tree_link_look* out) {
    if (cause != births_symbol) return false;
    out->colour = 0x0000FF;
    out->width = 22;
    out->polarity = '+';
    return true;
}

TEST_F(TreeTool, LinksTakeTheSketchConnectorsLookWhenAsked) {
    lock_model(0);
    births_symbol = find_symbol("births");
    unlock_model(0);
    tree_link_style_hook = births_red;
    auto look_of = [](handle rec, const char* var) {
        for (const tree_draw_node& n : tree_of(rec)->nodes)
            if (n.var == var) return n;
        return tree_draw_node{};
    };
    // Asked for: births' link red, thicker and signed; deaths' plain.
    options()->link_colours = options()->link_widths = options()->link_signs = 1;
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const tree_draw_node births = look_of(rec, "births");
    EXPECT_EQ(births.colour, 0x0000FF);
    EXPECT_EQ(births.style, 3);
    EXPECT_EQ(births.sign, '+');
    const tree_draw_node deaths = look_of(rec, "deaths");
    EXPECT_EQ(deaths.colour, -1);
    EXPECT_EQ(deaths.style, 1);
    const QImage img = save_shot(outwin_window(rec), "tree_links.png");
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == 0xFF0000) ++red;
    EXPECT_GT(red, 20) << "the red link is drawn";
    // Not asked for: every link plain.
    close_framed_tool_windows(1);
    td::run_until_idle();
    options()->link_colours = options()->link_widths = options()->link_signs = 0;
    rec = run();
    EXPECT_EQ(look_of(rec, "births").colour, -1);
    tree_link_style_hook = nullptr;
}

// Export puts the tree on the clipboard as a picture holding every name and
// as an indented outline with Windows-style line ends; Save writes a
// metafile or the outline by the name's ending.
TEST_F(TreeTool, ExportAndSaveCarryTheTreeAsAPictureAndAsText) {
    handle rec = run();
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    clip_use_private(true);
    clip_reset();
    SendMessage(w, WM_COMMAND, cmd_export_output, 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    std::vector<BYTE> bytes(emf ? GetEnhMetaFileBits(emf, 0, nullptr) : 0);
    if (emf) GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
    std::string text;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    clip_use_private(false);
    // The picture draws each name (text records hold it in UTF-16).
    auto utf16 = [](const std::string& s) {
        std::string out;
        for (char c : s) out += {c, '\0'};
        return out;
    };
    const std::string raw(bytes.begin(), bytes.end());
    for (const char* name : {"Population", "births", "deaths", "initial population"})
        EXPECT_NE(raw.find(utf16(name)), std::string::npos) << name;
    // The outline: the title, the root, its causes four blanks in, theirs
    // eight; CR LF line ends.
    EXPECT_EQ(text.rfind("Population: Tree Diagram\r\nPopulation\r\n    ", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n    births\r\n        "), std::string::npos) << text;
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              std::count(text.begin(), text.end(), '\r'));

    // Save as a placeable metafile (its key first) and as the outline.
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    ASSERT_EQ(tree_save(rec, (dir + "/tree.wmf").c_str()), 1);
    const std::string wmf = read(dir + "/tree.wmf");
    ASSERT_GT(wmf.size(), 22u);
    EXPECT_EQ(wmf.substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4));
    EXPECT_NE(wmf.find("births"), std::string::npos);
    ASSERT_EQ(tree_save(rec, (dir + "/tree.TXT").c_str()), 1);
    const std::string saved = read(dir + "/tree.TXT");
    EXPECT_EQ(saved.rfind("Population: Tree Diagram\nPopulation\n    ", 0), 0u) << saved;
    // Save (Ctrl+S) asks for the file.
    answerer::dialog(dlg_file_choice).set_text(fdc_name, dir + "/asked.wmf").press(IDOK);
    SendMessage(w, WM_COMMAND, cmd_save_output, 0);
    td::run_until_idle();
    EXPECT_TRUE(std::filesystem::exists(dir + "/asked.wmf"));
    // A folder that does not exist: said, nothing written.
    answerer::box("Stop from Kavrel").press(IDOK);
    EXPECT_EQ(tree_save(rec, (dir + "/no/such/t.txt").c_str()), 0);
    EXPECT_EQ(answerer::pending(), 0u);
}

} // namespace
