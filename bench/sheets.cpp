// Spreadsheet data: opening a 100,000-row by 10-column .xlsx, reading a
// 100 x 100 range of an open workbook, and a data equation's 100,000-point
// time column read from an open workbook.
#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "datalinks/client.h"
#include "datalinks/links.h"
#include "datalinks/sheet_data.h"
#include "datalinks/standin.h"
#include "datalinks/tables.h"
#include "model/constants.h"
#include "platform/automation.h"
#include "sim/interp.h"

namespace {

constexpr int rows = 100000;
constexpr int cols = 10;

// Times down column A from row 2, nine series beside them.
struct big_book {
    std::string path;
    big_book() {
        path = "/tmp/bench_sheets_" + std::to_string(getpid()) + ".xlsx";
        lxw_workbook* wb = workbook_new(path.c_str());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Data");
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                worksheet_write_number(ws, static_cast<lxw_row_t>(r + 1), static_cast<lxw_col_t>(c),
                                       c == 0 ? r : r * 0.5 + c, nullptr);
        if (workbook_close(wb) != LXW_NO_ERROR) std::abort();
    }
    ~big_book() { std::remove(path.c_str()); }
};

const big_book& book() {
    static big_book b;
    return b;
}

void BM_OpenLargeXlsx(benchmark::State& state) {
    const std::string& path = book().path;
    for (auto _ : state) {
        sheets::workbook b;
        std::string why;
        if (!sheets::read_workbook(path, &b, &why)) state.SkipWithError(why.c_str());
        benchmark::DoNotOptimize(b.sheets.data());
    }
}
BENCHMARK(BM_OpenLargeXlsx)->Unit(benchmark::kMillisecond);

void BM_RangeOfAnOpenWorkbook(benchmark::State& state) {
    std::string why;
    const sheets::workbook* b = sheets::open_workbook(book().path, &why);
    if (!b) {
        state.SkipWithError(why.c_str());
        return;
    }
    for (auto _ : state) {
        sheets::matrix m = sheets::request_range(b->sheets[0], 5000, 0, 100, cols, false);
        benchmark::DoNotOptimize(m.outer.data());
        sheets::matrix t = sheets::request_range(b->sheets[0], 5000, 0, 100, 100, true);
        benchmark::DoNotOptimize(t.outer.data());
    }
}
BENCHMARK(BM_RangeOfAnOpenWorkbook)->Unit(benchmark::kMicrosecond);

void BM_TimeColumnOfADataEquation(benchmark::State& state) {
    data_source_call call;
    call.function = fn_get_xls_data;
    call.texts = {book().path, "Data", "A", "B2"};
    call.elements = 9;
    call.target = "series";
    std::string why;
    if (!sheets::open_workbook(book().path, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    for (auto _ : state) {
        std::vector<std::vector<float>> times, values;
        if (!sheets::get_xls_data(call, &times, &values)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(values.data());
    }
}
BENCHMARK(BM_TimeColumnOfADataEquation)->Unit(benchmark::kMillisecond);

// The same 100 x 100 range through the spreadsheet link: the workbook open in
// the stand-in, read by Range.Value into a matrix.
void BM_RangeThroughTheLink(benchmark::State& state) {
    standin::install();
    std::string why;
    if (!standin::open_book(book().path, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    const int ch = links::automation_connect(book().path, "Data");
    if (ch < 0) {
        state.SkipWithError("no link");
        return;
    }
    const std::string range = links::range_text("", 5001, 1, 100, 100, false, true);
    for (auto _ : state) {
        auto m = links::request_range(ch, range, false, false);
        if (!m) state.SkipWithError("no matrix");
        benchmark::DoNotOptimize(m->values.data());
    }
    dde_close_all();
    standin::reset();
}
BENCHMARK(BM_RangeThroughTheLink)->Unit(benchmark::kMicrosecond);

// An "XlTable" block of 1,000 x 1,000 numbers, in float records of 1,000.
void BM_ParseXlTable(benchmark::State& state) {
    std::string block;
    auto u16 = [&](unsigned v) {
        block.push_back(static_cast<char>(v & 0xFF));
        block.push_back(static_cast<char>(v >> 8));
    };
    u16(16), u16(4), u16(1000), u16(1000);
    for (int r = 0; r < 1000; ++r) {
        // A record's count is 16 bits: 1,000 doubles go in two records.
        for (int half = 0; half < 2; ++half) {
            u16(1), u16(8 * 500);
            for (int c = 0; c < 500; ++c) {
                const double v = r + c * 0.5;
                block.append(reinterpret_cast<const char*>(&v), 8);
            }
        }
    }
    for (auto _ : state) {
        auto m = sheets::parse_xltable(block, false);
        if (!m) state.SkipWithError("no matrix");
        benchmark::DoNotOptimize(m->values.data());
    }
}
BENCHMARK(BM_ParseXlTable)->Unit(benchmark::kMillisecond);

} // namespace
