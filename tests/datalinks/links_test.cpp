// The spreadsheet links against the stand-in: range texts, the connection
// paths (topic at once, a bad sheet, Open through "System", the program
// started, everything failing), redirect names, the automation link (open
// already, opened by the worker, Stop, the star flag, a worker that cannot
// start) and the reads of ranges through both.
#include "tests/datalinks/links_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/types.h"

#include <QWidget>

namespace td = test_driver;

namespace {

class Links : public LinksTest {};

TEST_F(Links, RangeTextsSpellColumnsUpToXfd) {
    const std::pair<std::int64_t, const char*> columns[] = {
        {1, "A"},   {26, "Z"},   {27, "AA"},   {52, "AZ"},
        {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& [n, letters] : columns) {
        SCOPED_TRACE(letters);
        const std::string c = letters;
        EXPECT_EQ(links::range_text("", 5, n, 50, 1, false, true), c + "5:" + c + "54");
        EXPECT_EQ(links::range_text("Sheet1", 5, n, 50, 1, true, false),
                  "Sheet1:" + c + "5.." + c + "54");
        EXPECT_EQ(links::range_text("", 5, n, 50, 1, true, false), c + "5.." + c + "54");
        EXPECT_EQ(links::range_text("", 5, n, 50, 1, false, false),
                  "R5C" + std::to_string(n) + ":R54C" + std::to_string(n));
        // Read back as the same column.
        std::int64_t row = 0, col = 0;
        ASSERT_TRUE(sheets::parse_cell_ref(c + "7", &row, &col));
        EXPECT_EQ(col, n);
    }
    // The R1C1 letters of the options.
    opts.r1c1_row = 'Z';
    opts.r1c1_col = 'S';
    EXPECT_EQ(links::range_text("", 2, 3, 1, 1, false, false), "Z2S3:Z2S3");
    opts.r1c1_row = 'R';
    opts.r1c1_col = 'C';
}

TEST_F(Links, DdeConnectionsTakeEveryPathTheProgramNeeds) {
    opts.r1c1_star = 1; // Excel files through DDE only
    // Nothing running: the program is started with the file, its bit set.
    int ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_TRUE(standin::running("Excel"));
    EXPECT_EQ(started_programs(), 1);
    EXPECT_EQ(dde_client::channel_object(ch), nullptr);
    auto m =
        links::request_range(ch, links::range_text("", 2, 2, 1, 5, false, false), false, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->values[4], 14.0f);
    EXPECT_EQ(dde_close_all(), 1);

    // Running with the workbook open: the topic answers at once.
    ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    dde_close_all();

    // Open but without that sheet.
    EXPECT_EQ(links::connect_spreadsheet(xlsx_, "nosuch", false, false), -1);
    EXPECT_NE(messages().find("The sheet name nosuch appears to be invalid"), std::string::npos);
    EXPECT_EQ(messages().find("Multiple"), std::string::npos);

    // Running without the workbook: opened through "System".
    standin::reset();
    ASSERT_TRUE(standin::start_service("Excel", ""));
    started_programs() = 0;
    ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_TRUE(standin::is_open(xlsx_));
    EXPECT_EQ(started_programs(), 0);
    dde_close_all();

    // 1-2-3: the full path as topic, "WK1" blocks.
    ch = links::connect_spreadsheet(xlsx_, "prices", true, false);
    ASSERT_GE(ch, 0);
    EXPECT_EQ(started_programs(), 2);
    m = links::request_range(ch, links::range_text("prices", 5, 2, 2, 4, true, false), true, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 4);
    EXPECT_EQ(m->inner, 2);
    EXPECT_EQ(m->values[1], 5.0f);
    dde_close_all();
}

TEST_F(Links, AFileNoProgramOpensFailsWithOneMessage) {
    opts.r1c1_star = 1;
    const std::string bad = dir_ / "broken.xlsx";
    write_bytes(bad, "not a zip at all");
    ASSERT_TRUE(standin::start_service("Excel", ""));
    EXPECT_EQ(links::connect_spreadsheet(bad, "prices", false, false), -1);
    EXPECT_NE(messages().find("Failed to connect to Excel to get data from " + bad),
              std::string::npos);
    clear_message_list();
    EXPECT_EQ(links::connect_spreadsheet(dir_ / "absent.xlsx", "prices", false, false), -1);
    EXPECT_NE(
        messages().find("The file " + (dir_ / "absent.xlsx") + " does not exist - can't read info"),
        std::string::npos);
    EXPECT_EQ(dde_client::live_channels(), 0);
}

TEST_F(Links, RedirectNamesAreAskedForOncePerModel) {
    opts.r1c1_star = 1;
    // No prompt, "=" in the name: refused without a question.
    EXPECT_EQ(links::connect_spreadsheet("?Prices", "prices", false, true), -1);
    EXPECT_EQ(links::connect_spreadsheet("?a=b", "prices", false, false), -1);
    EXPECT_NE(messages().find("Illegal redirect name ?a=b includes ="), std::string::npos);

    answerer::dialog("Spreadsheet file Prices").set_text(fdc_name, xlsx_).press(IDOK);
    int ch = links::connect_spreadsheet("?Prices", "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_EQ(links::redirect_of("?PRICES"), xlsx_);
    dde_close_all();
    // Taken again without a question.
    ch = links::connect_spreadsheet("?prices", "prices", false, false);
    EXPECT_GE(ch, 0);
    dde_close_all();
    // Cancel gives up.
    answerer::dialog("Spreadsheet file Costs").press(IDCANCEL);
    EXPECT_EQ(links::connect_spreadsheet("?Costs", "prices", false, false), -1);
    // A file that went away is asked for again.
    const std::string moved = dir_ / "moved.xlsx";
    std::filesystem::rename(xlsx_, moved);
    standin::reset();
    answerer::dialog("Spreadsheet file Prices").set_text(fdc_name, moved).press(IDOK);
    ch = links::connect_spreadsheet("?Prices", "prices", false, false);
    EXPECT_GE(ch, 0);
    EXPECT_EQ(links::redirect_of("?Prices"), moved);
    dde_close_all();
    ASSERT_EQ(answerer::seen().size(), 3u);
    EXPECT_EQ(answerer::seen()[0].caption, "Spreadsheet file Prices");
}

TEST_F(Links, AutomationUsesAnOpenWorkbookAtOnce) {
    std::string why;
    ASSERT_TRUE(standin::open_book(xlsx_, &why)) << why;
    std::atomic<int> starts{0};
    static std::atomic<int>* counter = nullptr;
    counter = &starts;
    links::set_worker_starter([](const std::string&) {
        ++*counter;
        return false;
    });
    const int ch = links::connect_spreadsheet(xlsx_, "PRICES", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_EQ(starts.load(), 0) << "a worker started for an open workbook";
    EXPECT_NE(dde_client::channel_object(ch), nullptr);
    EXPECT_FALSE(standin::running("Excel")); // no DDE
    // The same path and sheet give the same channel.
    EXPECT_EQ(links::automation_connect(xlsx_, "PRICES"), ch);
    // Ranges: cells, one cell, a defined name, transposed.
    auto m = links::request_range(ch, "B2:F3", false, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 2);
    EXPECT_EQ(m->inner, 5);
    EXPECT_EQ(m->values[6], 21.5f);
    EXPECT_EQ(m->first_bad_row, -1);
    m = links::request_range(ch, "C3", false, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->values[0], 21.5f);
    m = links::request_range(ch, "Ks", false, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 4);
    EXPECT_EQ(m->inner, 1);
    // Text and booleans are no numbers here, and no position is kept.
    m = links::request_range(ch, "A7:C7", false, false);
    ASSERT_TRUE(m);
    EXPECT_TRUE(is_na(m->values[0]));
    EXPECT_TRUE(is_na(m->values[2]));
    EXPECT_EQ(m->first_bad_row, -1);
    EXPECT_FALSE(links::request_range(ch, "nosuchname", false, false));
    EXPECT_GE(links::cached_links(), 1);
    dde_close_all();
    EXPECT_EQ(links::cached_links(), 0);
}

TEST_F(Links, TheWorkerOpensTheWorkbookWhileTheProgramWaits) {
    const int ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_TRUE(standin::is_open(xlsx_));
    EXPECT_NE(dde_client::channel_object(ch), nullptr);
    EXPECT_EQ(links::excel_open_state().load(), 0);
    auto m = links::request_range(ch, "B1:F1", false, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->values[4], 4.0f);
    dde_close_all();
}

TEST_F(Links, AWorkerThatCannotStartFallsBackAndLeavesNoOpeningBehind) {
    links::set_worker_starter([](const std::string&) { return false; });
    stop_request = 0;
    EXPECT_EQ(links::automation_connect(xlsx_, "prices"), -1);
    EXPECT_EQ(links::excel_open_state().load(), 0)
        << "an opening nobody runs blocks every later one";
    // The connection goes on through DDE.
    const int ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_EQ(dde_client::channel_object(ch), nullptr);
    dde_close_all();
    // With a worker again, automation works.
    standin::reset();
    links::set_worker_starter(nullptr);
    const int a = links::automation_connect(xlsx_, "prices");
    ASSERT_GE(a, 0);
    EXPECT_NE(dde_client::channel_object(a), nullptr);
    dde_close_all();
}

// The worker's opening waits here until the test lets it go.
std::atomic<bool> release_open{false};
std::atomic<bool> opening_seen{false};
// A minute at most: a test whose Stop never reached the panel then fails
// instead of hanging.
void held_open(const std::string&) {
    opening_seen = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!release_open && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

TEST_F(Links, StopWhileOpeningGivesUpWithoutDdeAndTheStateComesBack) {
    release_open = false;
    opening_seen = false;
    standin::set_open_hook(held_open);
    // The Stop button is pressed while "Opening %s" shows; the screen is
    // kept as a PNG and checked.
    static std::string png;
    png = testing::TempDir() + "/kavrel_links_opening.png";
    static bool shot = false;
    static std::string line, line2;
    static int button_dark = 0;
    shot = false;
    // (On a loaded machine the panel may come later than the first tick.)
    const UINT_PTR timer = SetTimer(nullptr, 0, 1000, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (!wip_wnd || !IsWindowVisible(wip_wnd)) return;
        KillTimer(nullptr, id);
        line = wip_line(1);
        line2 = wip_line(2);
        // The panel grabbed with its Stop button (a control of its own).
        HWND stop = GetDlgItem(wip_wnd, 2);
        RECT r{};
        GetClientRect(stop, &r);
        QWidget* widget = win_widget(wip_wnd);
        const QImage panel = widget ? widget->grab().toImage() : QImage();
        QWidget* button_widget = win_widget(stop);
        const QImage button = button_widget ? button_widget->grab().toImage() : QImage();
        button_dark = 0;
        for (int y = 0; y < button.height(); ++y)
            for (int x = 0; x < button.width(); ++x) button_dark += qGray(button.pixel(x, y)) < 100;
        shot = wip_stop_shown() && IsWindowVisible(stop) && panel.save(QString::fromStdString(png));
        td::click(stop, r.right / 2, r.bottom / 2);
    });
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(links::connect_spreadsheet(xlsx_, "prices", false, false), -1);
    EXPECT_TRUE(opening_seen.load());
    EXPECT_TRUE(shot);
    EXPECT_EQ(line, "Opening prices.xlsx");
    EXPECT_EQ(line2, (dir_.path + "/").substr(0, 59)); // its folder below
    EXPECT_FALSE(standin::running("Excel")) << "DDE was tried after Stop";
    EXPECT_EQ(links::excel_open_state().load(), 2);
    // The worker finishes later: the state goes back to idle.
    release_open = true;
    for (int k = 0; k < 2000 && links::excel_open_state().load() != 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(links::excel_open_state().load(), 0);
    // The screen: the panel with its text and button drawn.
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 100);
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 50) << "nothing drawn on the panel";
    EXPECT_GT(button_dark, 10) << "the Stop button's word is not drawn";
    stop_request = 0;
    standin::set_open_hook(nullptr);
}

TEST_F(Links, TheStarFlagKeepsExcelFilesOffAutomation) {
    opts.r1c1_star = 1;
    std::string why;
    ASSERT_TRUE(standin::open_book(xlsx_, &why)) << why;
    const int ch = links::connect_spreadsheet(xlsx_, "prices", false, false);
    ASSERT_GE(ch, 0);
    EXPECT_EQ(dde_client::channel_object(ch), nullptr);
    EXPECT_NE(dde_client::channel_partner(ch), nullptr);
    dde_close_all();
}

// A worksheet whose Range gives arrays of any shape (the reader's ruling:
// only two dimensions are a range).
class shaped_sheet final : public automation::dispatch {
public:
    std::vector<automation::safe_array::bound> bounds;
    automation::hresult ids_of_names(const std::string& name, automation::dispid* id) override {
        *id = name == "Range" ? 1 : name == "Value" ? 2 : 0;
        return *id ? automation::s_ok : automation::e_unknown_name;
    }
    automation::hresult invoke(automation::dispid id, int, const std::vector<automation::variant>&,
                               automation::variant* out) override {
        if (id == 1) {
            *out = automation::variant::of_object(std::make_shared<shaped_sheet>(*this));
            return automation::s_ok;
        }
        out->type = automation::vt::array;
        out->array = automation::make_array(bounds);
        for (std::size_t k = 0; k < out->array->elements.size(); ++k)
            out->array->elements[k] = automation::variant::of_double(static_cast<double>(k));
        return automation::s_ok;
    }
};

TEST_F(Links, RangeValuesOfOneOrThreeDimensionsAreFailedReads) {
    shaped_sheet s;
    s.bounds = {{1, 3}};
    EXPECT_FALSE(links::excel_read_range(&s, "A1", "C1", false));
    s.bounds = {{1, 2}, {1, 2}, {1, 2}};
    EXPECT_FALSE(links::excel_read_range(&s, "A1", "B2", false));
    s.bounds = {{0, 2}, {5, 3}}; // any lower bounds
    auto m = links::excel_read_range(&s, "A1", "C2", true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 3);
    EXPECT_EQ(m->inner, 2);
    EXPECT_EQ(m->values[1], 3.0f); // row 1, column 0
    // The array's element (r, c) holds 3r + c: transposed, column by column.
    EXPECT_EQ(m->values, (std::vector<float>{0, 3, 1, 4, 2, 5}));
    auto rows = links::excel_read_range(&s, "A1", "C2", false);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->outer, 2);
    EXPECT_EQ(rows->inner, 3);
    EXPECT_EQ(rows->values, (std::vector<float>{0, 1, 2, 3, 4, 5}));
}

TEST_F(Links, VariantsBecomeNumbersByType) {
    using automation::variant;
    using automation::vt;
    variant v;
    EXPECT_TRUE(is_na(static_cast<float>(links::variant_to_number(v))));
    v.type = vt::i2;
    v.integer = -7;
    EXPECT_EQ(links::variant_to_number(v), -7.0);
    v.type = vt::cy;
    v.integer = 123456;
    EXPECT_DOUBLE_EQ(links::variant_to_number(v), 12.3456);
    v = variant::of_double(2.5);
    v.type = vt::date;
    EXPECT_EQ(links::variant_to_number(v), 2.5);
    EXPECT_EQ(links::variant_to_number(variant::of_text(" 3E3 ")), 3000.0);
    EXPECT_TRUE(is_na(static_cast<float>(links::variant_to_number(variant::of_text("1.5")))));
    EXPECT_TRUE(is_na(static_cast<float>(links::variant_to_number(variant::of_bool(true)))));
    EXPECT_TRUE(is_na(static_cast<float>(links::variant_to_number(variant::of_error(2042)))));
}

} // namespace
