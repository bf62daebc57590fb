// The spreadsheet stand-in's object model: Range.Value reads and puts, and
// saves that write a new .xlsx (never over the workbook read), which the
// office suite reads with the same cells.
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "datalinks/standin.h"
#include "platform/automation.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tests/datalinks/sheet_files.h"

using namespace automation;

namespace {

class Standin : public testing::Test {
protected:
    void SetUp() override {
        standin::install();
        initialise();
        xlsx_ = dir_ / "prices.xlsx";
        write_prices_xlsx(xlsx_);
    }
    void TearDown() override {
        standin::reset();
        uninitialise();
    }
    // The "prices" worksheet object of the workbook, opened through the
    // application as the links open it.
    std::shared_ptr<dispatch> worksheet() {
        class_id id = 0;
        std::shared_ptr<dispatch> app;
        EXPECT_EQ(class_from_program_id("Excel.Application", &id), s_ok);
        EXPECT_EQ(create_instance(id, &app), s_ok);
        variant books, book, sheets, sheet;
        EXPECT_EQ(call(app.get(), "Workbooks", invoke_get, {}, &books), s_ok);
        EXPECT_EQ(call(books.object.get(), "Open", invoke_method, {variant::of_text(xlsx_)}, &book),
                  s_ok);
        EXPECT_EQ(call(book.object.get(), "Worksheets", invoke_get, {}, &sheets), s_ok);
        EXPECT_EQ(
            call(sheets.object.get(), "Item", invoke_get, {variant::of_text("PRICES")}, &sheet),
            s_ok);
        return sheet.object;
    }
    variant value(dispatch* ws, const std::string& first, const std::string& last = "") {
        std::vector<variant> args{variant::of_text(first)};
        if (!last.empty()) args.push_back(variant::of_text(last));
        variant range, v;
        EXPECT_EQ(call(ws, "Range", invoke_get, args, &range), s_ok);
        EXPECT_EQ(call(range.object.get(), "Value", invoke_get, {}, &v), s_ok);
        return v;
    }
    hresult put(dispatch* ws, const std::string& range_text, const variant& v) {
        variant range;
        if (hresult h = call(ws, "Range", invoke_get, {variant::of_text(range_text)}, &range);
            failed(h))
            return h;
        return call(range.object.get(), "Value", invoke_put, {v});
    }

    temp_folder dir_;
    std::string xlsx_;
};

TEST_F(Standin, RangeValuesAreArraysFromOneAndPutsChangeTheSheet) {
    auto ws = worksheet();
    ASSERT_TRUE(ws);
    EXPECT_EQ(running_names(), std::vector<std::string>{xlsx_});
    variant one = value(ws.get(), "C3");
    EXPECT_EQ(one.type, vt::r8);
    EXPECT_EQ(one.real, 21.5);
    variant block = value(ws.get(), "B1", "F2");
    ASSERT_EQ(block.type, vt::array);
    ASSERT_EQ(block.array->bounds.size(), 2u);
    EXPECT_EQ(block.array->bounds[0].lower, 1);
    EXPECT_EQ(block.array->bounds[0].count, 2u);
    EXPECT_EQ(block.array->bounds[1].count, 5u);
    variant e;
    ASSERT_EQ(array_get(*block.array, {2, 5}, &e), s_ok);
    EXPECT_EQ(e.real, 14.0);
    EXPECT_EQ(value(ws.get(), "A7").text, "note");
    EXPECT_EQ(value(ws.get(), "Ks").array->bounds[1].count, 4u); // a defined name
    EXPECT_EQ(value(ws.get(), "H20").type, vt::empty);

    // A 2-D array writes its cells; a scalar fills the range.
    auto arr = make_array({{1, 2}, {1, 2}});
    arr->elements = {variant::of_int(1), variant::of_text("two"), variant::of_bool(true),
                     variant::of_double(4.5)};
    variant a;
    a.type = vt::array;
    a.array = arr;
    EXPECT_EQ(put(ws.get(), "B10:C11", a), s_ok);
    EXPECT_EQ(put(ws.get(), "D10:D11", variant::of_double(-1)), s_ok);
    EXPECT_EQ(value(ws.get(), "C10").text, "two");
    EXPECT_EQ(value(ws.get(), "C11").real, 4.5);
    EXPECT_EQ(value(ws.get(), "D11").real, -1.0);
    // Values no cell holds are refused.
    EXPECT_TRUE(failed(put(ws.get(), "E10", variant::of_double(std::nan("")))));
    EXPECT_TRUE(failed(put(ws.get(), "E10", variant::of_object(ws))));
    // Not a range at all.
    variant range;
    EXPECT_TRUE(failed(call(ws.get(), "Range", invoke_get, {variant::of_text("nosuch")}, &range)));
    EXPECT_TRUE(failed(call(ws.get(), "Range", invoke_get, {variant::of_int(3)}, &range)));
}

TEST_F(Standin, SavesWriteANewFileAndNeverTheWorkbookRead) {
    auto ws = worksheet();
    ASSERT_TRUE(ws);
    ASSERT_EQ(put(ws.get(), "B2", variant::of_double(99)), s_ok);
    const std::string before = file_bytes(xlsx_);
    std::string why;
    EXPECT_FALSE(standin::save_book(xlsx_, xlsx_, &why));
    EXPECT_NE(why.find("refused: its formulas and formatting would be lost"), std::string::npos);
    // The same file by another name is the same file.
    const std::string alias = dir_.path + "/./prices.xlsx";
    EXPECT_FALSE(standin::save_book(xlsx_, alias, &why));
    EXPECT_EQ(file_bytes(xlsx_), before);

    const std::string saved = dir_ / "saved.xlsx";
    ASSERT_TRUE(standin::save_book(xlsx_, saved, &why)) << why;
    for (const auto& f : std::filesystem::directory_iterator(dir_.path))
        EXPECT_EQ(f.path().string().find(".part"), std::string::npos) << f.path();
    sheets::workbook back, open;
    ASSERT_EQ(sheets::read_workbook(saved, &back, &why), 1) << why;
    ASSERT_TRUE(standin::book_copy(xlsx_, &open));
    const sheets::sheet& s = back.sheets[static_cast<std::size_t>(back.find_sheet("prices"))];
    EXPECT_EQ(s.at(1, 1)->number, 99.0);
    EXPECT_EQ(s.at(2, 2)->number, 21.5);
    EXPECT_EQ(back.texts[s.at(6, 1)->text], "hello");
    EXPECT_EQ(s.at(6, 2)->kind, sheets::cell_kind::boolean);
    ASSERT_NE(back.find_name("Series"), nullptr);
    EXPECT_EQ(back.find_name("Series")->col1, 5);
    // Saving a second time over the saved copy (not a workbook read) is fine.
    EXPECT_TRUE(standin::save_book(xlsx_, saved, &why)) << why;
    // A folder that does not exist: a reason, no file.
    EXPECT_FALSE(standin::save_book(xlsx_, dir_ / "no/such.xlsx", &why));
    EXPECT_FALSE(why.empty());
}

TEST_F(Standin, ASaveReadsTheSameInTheOfficeSuite) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    auto ws = worksheet();
    ASSERT_TRUE(ws);
    ASSERT_EQ(put(ws.get(), "B9", variant::of_double(0.125)), s_ok);
    ASSERT_EQ(put(ws.get(), "C9", variant::of_text("poked")), s_ok);
    const std::string saved = dir_ / "saved.xlsx";
    std::string why;
    ASSERT_TRUE(standin::save_book(xlsx_, saved, &why)) << why;
    const std::string command = "cd " + dir_.path + " && HOME=" + dir_.path +
                                " timeout -k 10 300 soffice -env:UserInstallation=file://" +
                                dir_.path + "/profile --headless --convert-to csv --outdir " +
                                dir_.path + " " + saved + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    sheets::workbook ours, theirs;
    ASSERT_TRUE(standin::book_copy(xlsx_, &ours));
    ASSERT_EQ(sheets::read_workbook(dir_ / "saved.csv", &theirs, &why), 1) << why;
    const sheets::sheet& a = ours.sheets[0];
    const sheets::sheet& b = theirs.sheets[0];
    EXPECT_EQ(a.used_rows(), b.used_rows());
    int compared = 0;
    for (std::int64_t r = 0; r < a.used_rows(); ++r)
        for (std::int64_t c = 0; c < a.used_columns(); ++c) {
            const sheets::cell* x = a.at(r, c);
            const sheets::cell* y = b.at(r, c);
            SCOPED_TRACE(sheets::column_letters(c + 1) + std::to_string(r + 1));
            if (!x || x->kind == sheets::cell_kind::empty) {
                EXPECT_TRUE(!y || y->kind == sheets::cell_kind::empty);
                continue;
            }
            ASSERT_NE(y, nullptr);
            if (x->kind == sheets::cell_kind::number) {
                EXPECT_EQ(y->kind, sheets::cell_kind::number);
                EXPECT_EQ(x->number, y->number);
            } else if (x->kind == sheets::cell_kind::text) {
                EXPECT_EQ(ours.texts[x->text], theirs.texts[y->text]);
            }
            ++compared;
        }
    EXPECT_GT(compared, 20);
}

// Every kind of value a program puts becomes the cell the spreadsheet would
// hold: whole numbers of each width, currency (in ten-thousandths), truth
// values, texts and errors; an error cell reads back as #N/A (code 2042).
TEST_F(Standin, EachKindOfValuePutReadsBackAsItsCell) {
    auto ws = worksheet();
    ASSERT_TRUE(ws);
    variant money;
    money.type = vt::cy;
    money.integer = 1234567; // 123.4567
    EXPECT_EQ(put(ws.get(), "B20", money), s_ok);
    EXPECT_EQ(value(ws.get(), "B20").type, vt::r8);
    EXPECT_DOUBLE_EQ(value(ws.get(), "B20").real, 123.4567);
    variant small;
    small.type = vt::i2;
    small.integer = -5;
    EXPECT_EQ(put(ws.get(), "C20", small), s_ok);
    EXPECT_EQ(value(ws.get(), "C20").real, -5.0);
    variant byte;
    byte.type = vt::ui1;
    byte.integer = 200;
    EXPECT_EQ(put(ws.get(), "D20", byte), s_ok);
    EXPECT_EQ(value(ws.get(), "D20").real, 200.0);
    EXPECT_EQ(put(ws.get(), "E20", variant::of_bool(true)), s_ok);
    EXPECT_EQ(value(ws.get(), "E20").type, vt::boolean);
    EXPECT_NE(value(ws.get(), "E20").integer, 0);
    EXPECT_EQ(put(ws.get(), "F20", variant::of_error(2042)), s_ok);
    const variant e = value(ws.get(), "F20");
    EXPECT_EQ(e.type, vt::error);
    EXPECT_EQ(e.integer, 2042);
}

} // namespace
