// Spreadsheet files as other programs write them: folded .ods rows, .xlsx
// parts cut short or lying about their size, openpyxl's absolute part names
// and inline strings, sheet-local names, names in any case of any script, and
// .csv with a byte-order mark, lone CRs or semicolons and decimal commas.
#include <cstdlib>
#include <filesystem>

#include "datalinks/workbook.h"
#include "datalinks/zip_parts.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

double number_at(const sheet& s, std::int64_t row, std::int64_t col) {
    const cell* c = s.at(row, col);
    if (!c || c->kind != cell_kind::number) return -999;
    return c->number;
}

std::string ods_with_rows(const std::string& rows) {
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"S\">" +
        rows + "</table:table></office:spreadsheet></office:body></office:document-content>";
    return zip_archive(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}},
        true);
}

std::string ods_row(const char* value, const char* repeat = nullptr) {
    std::string r = "<table:table-row";
    if (repeat) r += std::string(" table:number-rows-repeated=\"") + repeat + "\"";
    return r + "><table:table-cell office:value-type=\"float\" office:value=\"" + value +
           "\"><text:p>" + value + "</text:p></table:table-cell></table:table-row>";
}

TEST(WorkbookOthers, OdsRowsFoldedByARepeatCountReadInFull) {
    const std::string ods =
        ods_with_rows(ods_row("1") + ods_row("5", "3") + ods_row("6") +
                      // A blank tail folded over most of the sheet stays cheap.
                      "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell/>"
                      "</table:table-row>");
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes(ods, file_kind::ods, "", &b, &why), 1) << why;
    const sheet& s = b.sheets[0];
    const double want[] = {1, 5, 5, 5, 6};
    for (int r = 0; r < 5; ++r) EXPECT_EQ(number_at(s, r, 0), want[r]) << "row " << r + 1;
    EXPECT_EQ(s.used_rows(), 5);
}

// A directory entry may carry a comment after its name and extra field: the
// entries after it are found past it, every part read as written.
TEST(WorkbookOthers, ZipEntryCommentsAreSteppedOver) {
    temp_folder dir;
    write_prices_xlsx(dir / "p.xlsx");
    std::vector<zip_part> parts;
    std::string why;
    ASSERT_TRUE(unzip_parts(file_bytes(dir / "p.xlsx"), &parts, &why)) << why;
    ASSERT_GT(parts.size(), 1u);
    std::string zip = zip_archive(parts, true);
    const auto le = [&](std::size_t at, int bytes) {
        std::uint32_t v = 0;
        for (int k = bytes - 1; k >= 0; --k)
            v = v << 8 | static_cast<unsigned char>(zip[at + static_cast<std::size_t>(k)]);
        return v;
    };
    const auto put = [&](std::size_t at, int bytes, std::uint32_t v) {
        for (int k = 0; k < bytes; ++k, v >>= 8)
            zip[at + static_cast<std::size_t>(k)] = static_cast<char>(v & 0xFF);
    };
    // The end record: the directory's size at 12, its offset at 16; the first
    // entry's name, extra and comment lengths at 28, 30 and 32.
    const std::size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(eocd, std::string::npos);
    const std::size_t first = le(eocd + 16, 4);
    ASSERT_EQ(zip.compare(first, 4, std::string("PK\x01\x02", 4)), 0);
    const std::size_t after =
        first + 46 + le(first + 28, 2) + le(first + 30, 2) + le(first + 32, 2);
    const std::string note = "a note";
    const std::uint32_t cd_size = le(eocd + 12, 4);
    zip.insert(after, note);
    put(first + 32, 2, le(first + 32, 2) + static_cast<std::uint32_t>(note.size()));
    put(eocd + note.size() + 12, 4, cd_size + static_cast<std::uint32_t>(note.size()));
    std::vector<zip_part> back;
    ASSERT_TRUE(unzip_parts(zip, &back, &why)) << why;
    ASSERT_EQ(back.size(), parts.size());
    for (std::size_t k = 0; k < parts.size(); ++k) {
        EXPECT_EQ(back[k].name, parts[k].name);
        EXPECT_EQ(back[k].data, parts[k].data) << parts[k].name;
    }
}

TEST(WorkbookOthers, XlsxPartsCutShortOrLongerThanStatedAreRefused) {
    temp_folder dir;
    write_prices_xlsx(dir / "p.xlsx");
    const std::string good = file_bytes(dir / "p.xlsx");
    std::vector<zip_part> parts;
    std::string why;
    ASSERT_TRUE(unzip_parts(good, &parts, &why)) << why;
    workbook b;
    // Our own archive of the same parts reads (the writer round trip).
    ASSERT_EQ(read_workbook_bytes(zip_archive(parts, true), file_kind::xlsx, "", &b, &why), 1)
        << why;
    EXPECT_EQ(number_at(b.sheets[0], 5, 4), 8);

    // The sheet part cut after its second row: refused, not read in part.
    std::vector<zip_part> cut = parts;
    for (zip_part& p : cut)
        if (p.name == "xl/worksheets/sheet1.xml") {
            const std::size_t second = p.data.find("</row>", p.data.find("</row>") + 1);
            ASSERT_NE(second, std::string::npos);
            p.data.resize(second + 6);
        }
    EXPECT_EQ(read_workbook_bytes(zip_archive(cut, true), file_kind::xlsx, "", &b, &why), 0);
    EXPECT_NE(why.find("cut short"), std::string::npos) << why;
    EXPECT_TRUE(b.sheets.empty());

    // A part whose directory states a size smaller than it inflates to.
    std::string lying = zip_archive(parts, true);
    const std::string name = "xl/worksheets/sheet1.xml";
    for (std::size_t at = 0; (at = lying.find(name, at)) != std::string::npos; at += name.size()) {
        // The uncompressed size sits 8 bytes before the name's length field.
        const std::size_t size_at = at - (lying.compare(at - 46, 4, "PK\x01\x02") == 0 ? 22 : 8);
        lying[size_at] = static_cast<char>(static_cast<unsigned char>(lying[size_at]) - 10);
    }
    EXPECT_EQ(read_workbook_bytes(lying, file_kind::xlsx, "", &b, &why), 0);
    EXPECT_NE(why.find("sheet1.xml"), std::string::npos) << why;
}

TEST(WorkbookOthers, AnOpenpyxlWorkbookReadsWhole) {
    ASSERT_EQ(packages_missing({"python3-openpyxl"}), "");
    temp_folder dir;
    const std::string path = dir / "py.xlsx";
    const std::string script = "import openpyxl\n"
                               "wb = openpyxl.Workbook()\n"
                               "ws = wb.active\n"
                               "ws.title = 'Données'\n"
                               "ws.append(['Time', 0, 1, 2])\n"
                               "ws.append(['a', 10, 20, 30])\n"
                               "ws['A4'] = 'Größe <&>'\n"
                               "wb.save('" +
                               path + "')\n";
    write_bytes(dir / "make.py", script);
    ASSERT_EQ(std::system(("/usr/bin/python3 " + dir / "make.py").c_str()), 0);
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
    const int s = b.find_sheet("DONNÉES");
    ASSERT_EQ(s, 0);
    const sheet& sh = b.sheets[0];
    EXPECT_EQ(number_at(sh, 0, 3), 2);
    EXPECT_EQ(number_at(sh, 1, 2), 20);
    ASSERT_NE(sh.at(3, 0), nullptr);
    ASSERT_EQ(sh.at(3, 0)->kind, cell_kind::text);
    EXPECT_EQ(b.texts[sh.at(3, 0)->text], "Größe <&>");
    EXPECT_EQ(b.texts[sh.at(0, 0)->text], "Time");
}

TEST(WorkbookOthers, SheetLocalNamesAndNamesOfAnyCase) {
    temp_folder dir;
    const std::string path = dir / "local.xlsx";
    lxw_workbook* wb = workbook_new(path.c_str());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* a = workbook_add_worksheet(wb, "A");
    lxw_worksheet* bs = workbook_add_worksheet(wb, "Ωμέγα");
    worksheet_write_number(a, 0, 0, 1, nullptr);
    worksheet_write_number(bs, 0, 0, 2, nullptr);
    worksheet_write_number(bs, 1, 0, 3, nullptr);
    workbook_define_name(wb, "A!K", "=A!$A$1");
    workbook_define_name(wb, "'Ωμέγα'!K", "='Ωμέγα'!$A$1");
    workbook_define_name(wb, "Größe", "='Ωμέγα'!$A$2");
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
    const int sa = b.find_sheet("a"), sb = b.find_sheet("ΩΜΈΓΑ");
    ASSERT_EQ(sa, 0);
    ASSERT_EQ(sb, 1);
    ASSERT_NE(b.find_name("k", sa), nullptr);
    ASSERT_NE(b.find_name("k", sb), nullptr);
    EXPECT_EQ(b.find_name("K", sa)->sheet, sa);
    EXPECT_EQ(b.find_name("K", sb)->sheet, sb);
    const named_range* g = b.find_name("GRÖSSE");
    EXPECT_EQ(g, nullptr); // ß has no one-letter capital: no match, as in the suites
    g = b.find_name("GRÖßE", sa);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->row0, 1);
    EXPECT_EQ(g->spelled, "Größe");
}

TEST(WorkbookOthers, CsvAsOtherProgramsWriteIt) {
    workbook b;
    std::string why;
    // A byte-order mark, then lone CRs between rows.
    ASSERT_EQ(read_workbook_bytes("\xEF\xBB\xBF"
                                  "0,1,2\r10,11,12\r\n20,21,22",
                                  file_kind::csv, "s", &b, &why),
              1)
        << why;
    EXPECT_EQ(number_at(b.sheets[0], 0, 0), 0);
    EXPECT_EQ(number_at(b.sheets[0], 1, 2), 12);
    EXPECT_EQ(number_at(b.sheets[0], 2, 0), 20);
    EXPECT_EQ(b.sheets[0].used_rows(), 3);
    // Semicolons between fields and the comma as the decimal sign.
    ASSERT_EQ(read_workbook_bytes("Time;1,5;2,5\nx;-1,25e2;3\n", file_kind::csv, "s", &b, &why), 1)
        << why;
    EXPECT_EQ(number_at(b.sheets[0], 0, 1), 1.5);
    EXPECT_EQ(number_at(b.sheets[0], 1, 1), -125);
    EXPECT_EQ(number_at(b.sheets[0], 1, 2), 3);
    // A comma file keeps the comma between fields.
    ASSERT_EQ(read_workbook_bytes("a;b,1\n", file_kind::csv, "s", &b, &why), 1) << why;
    EXPECT_EQ(number_at(b.sheets[0], 0, 1), 1);
}

} // namespace
